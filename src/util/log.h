// Where every module reports: one sink with its user data, as a C library's
// message callback has, and the most detailed level that reaches it. A test
// or a fuzz target swaps the sink to capture or count messages without
// touching standard error or globals.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace mendra {

// How much a message matters; a Log passes on every message up to its level.
// -silent keeps errors and warnings only, -debug adds the traces.
enum class LogLevel : int {
  Error = 0,    // the input or the run failed: always shown
  Warning = 1,  // done, but perhaps not as meant; begins with "warning: "
  Info = 2,     // summaries, the "written:" lines
  Debug = 3,    // traces of the cut lists and the stream analysis
};

// Receives every message a Log passes on: its user data, the level and the
// printf format with its arguments.
using LogMessageSink = void (*)(void* user, LogLevel level, const char* format, std::va_list args);

// Writes the message to standard error, whatever its level.
[[gnu::format(printf, 3, 0)]] void stderr_message_sink(void* user, LogLevel level,
                                                       const char* format, std::va_list args);

struct Log {
  LogMessageSink sink = stderr_message_sink;
  void* user = nullptr;
  LogLevel level = LogLevel::Info;

  bool shows(LogLevel message_level) const {
    return sink != nullptr && static_cast<int>(message_level) <= static_cast<int>(level);
  }
  // Called like printf after the level; the format attribute lets -Wformat
  // check every message against its arguments (the object is argument 1).
  // A warning reaches the sink as one message with "warning: " in front, so
  // no message text spells the word itself.
  [[gnu::format(printf, 3, 4)]] void operator()(LogLevel message_level, const char* format,
                                                ...) const;
};

// A 90 kHz clock value as "<prefix><count> [<count / 90>ms]<suffix>", the
// form every clock trace of the stream analysis takes.
void log_clock(const Log& log, LogLevel level, const char* prefix, std::int64_t ticks,
               const char* suffix);

}  // namespace mendra
