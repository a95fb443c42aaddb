#include "util/log.h"

#include <cstdio>
#include <string>

namespace mendra {

void stderr_message_sink(void* /*user*/, LogLevel /*level*/, const char* format,
                         std::va_list args) {
  std::vfprintf(stderr, format, args);
}

namespace {

// Hands an already formatted message to the sink, which takes a printf
// format and its argument list.
// NOLINTNEXTLINE(cert-dcl50-cpp): the sink takes a C argument list
[[gnu::format(printf, 3, 4)]] void pass_on(const Log& log, LogLevel level, const char* format,
                                           ...) {
  va_list args;
  va_start(args, format);
  log.sink(log.user, level, format, args);
  va_end(args);
}

}  // namespace

// NOLINTNEXTLINE(cert-dcl50-cpp): called like printf, so it takes a C argument list
void Log::operator()(LogLevel message_level, const char* format, ...) const {
  if (!shows(message_level)) return;
  va_list args;
  va_start(args, format);
  if (message_level != LogLevel::Warning) {
    sink(user, message_level, format, args);
    va_end(args);
    return;
  }
  // Warnings are rare: formatting the text first costs nothing that shows.
  va_list measure;
  va_copy(measure, args);
  const int size = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text(size > 0 ? static_cast<std::size_t>(size) + 1 : 1, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  text.pop_back();
  pass_on(*this, message_level, "warning: %s", text.c_str());
}

void log_clock(const Log& log, LogLevel level, const char* prefix, std::int64_t ticks,
               const char* suffix) {
  constexpr std::int64_t kTicksPerMs = 90;
  log(level, "%s%lld [%lldms]%s", prefix, static_cast<long long>(ticks),
      static_cast<long long>(ticks / kTicksPerMs), suffix);
}

}  // namespace mendra
