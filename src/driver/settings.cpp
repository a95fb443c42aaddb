#include "driver/settings.h"

#include <cstdarg>

namespace mendra {

int log_print(std::FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stream, format, args);
  va_end(args);
  return 0;
}

int log_silent(std::FILE* /*stream*/, const char* /*format*/, ...) {
  return 0;
}

void reset_settings(RunSettings& settings) {
  settings = RunSettings{};
}

}  // namespace mendra
