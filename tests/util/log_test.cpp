#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "util/log.h"

namespace mendra {
namespace {

// Collects "<level>:<message>" for every message that reaches the sink.
void capture(void* user, LogLevel level, const char* format, std::va_list args) {
  char text[128];
  std::vsnprintf(text, sizeof text, format, args);
  *static_cast<std::string*>(user) += std::to_string(static_cast<int>(level)) + ":" + text;
}

// -silent keeps errors and warnings, the default adds the summaries, -debug
// the traces; the user data reaches the sink with every message, and a
// warning reaches it as one message that says it is one.
TEST(LogTest, PassesOnWhatItsLevelShows) {
  const struct {
    LogLevel level;
    const char* seen;
  } cases[] = {
      {LogLevel::Error, "0:e=1;"},
      {LogLevel::Warning, "0:e=1;1:warning: w=4;"},
      {LogLevel::Info, "0:e=1;1:warning: w=4;2:i=2;"},
      {LogLevel::Debug, "0:e=1;1:warning: w=4;2:i=2;3:d=3;3:pcr: 900 [10ms]\n"},
  };
  for (const auto& c : cases) {
    std::string seen;
    const Log log{capture, &seen, c.level};
    log(LogLevel::Error, "e=%d;", 1);
    log(LogLevel::Warning, "w=%d;", 4);
    log(LogLevel::Info, "i=%d;", 2);
    log(LogLevel::Debug, "d=%d;", 3);
    log_clock(log, LogLevel::Debug, "pcr: ", 900, "\n");
    EXPECT_EQ(seen, c.seen) << static_cast<int>(c.level);
  }
}

TEST(LogTest, WithoutASinkNothingIsWritten) {
  const Log log{nullptr, nullptr, LogLevel::Debug};
  EXPECT_FALSE(log.shows(LogLevel::Error));
  log(LogLevel::Error, "%d", 1);  // must not call through a null sink
}

TEST(LogTest, DefaultGoesToStandardErrorAtInfo) {
  testing::internal::CaptureStderr();
  const Log log;
  log(LogLevel::Info, "%d-%s\n", 42, "x");
  log(LogLevel::Debug, "hidden\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "42-x\n");
}

}  // namespace
}  // namespace mendra
