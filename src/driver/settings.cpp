#include "driver/settings.h"

#include <cstdarg>

namespace mendra {

// The channels are called like fprintf, so they take a C argument list; the
// format attribute on the declaration checks every call.
// NOLINTNEXTLINE(cert-dcl50-cpp)
int log_print(std::FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stream, format, args);
  va_end(args);
  return 0;
}

// NOLINTNEXTLINE(cert-dcl50-cpp): called like fprintf, as above
int log_silent(std::FILE* /*stream*/, const char* /*format*/, ...) {
  return 0;
}

void reset_settings(RunSettings& settings) {
  settings = RunSettings{};
}

}  // namespace mendra
