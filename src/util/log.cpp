#include "util/log.h"

#include <cstdio>

namespace mendra {

void stderr_message_sink(void* /*user*/, LogLevel /*level*/, const char* format,
                         std::va_list args) {
  std::vfprintf(stderr, format, args);
}

// NOLINTNEXTLINE(cert-dcl50-cpp): called like printf, so it takes a C argument list
void Log::operator()(LogLevel message_level, const char* format, ...) const {
  if (!shows(message_level)) return;
  va_list args;
  va_start(args, format);
  sink(user, message_level, format, args);
  va_end(args);
}

void log_clock(const Log& log, LogLevel level, const char* prefix, std::int64_t ticks,
               const char* suffix) {
  constexpr std::int64_t kTicksPerMs = 90;
  log(level, "%s%lld [%lldms]%s", prefix, static_cast<long long>(ticks),
      static_cast<long long>(ticks / kTicksPerMs), suffix);
}

}  // namespace mendra
