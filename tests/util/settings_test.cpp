#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "util/settings.h"

namespace mendra {
namespace {

TEST(SettingsTest, ResetRestoresEveryDefault) {
  RunSettings s;
  s.fps = 24;
  s.delay_ms = -5;
  s.ts_delay_ms = 7;
  s.gop_offset = 3;
  s.d2v_start_bytes = 4'000'000'000LL;
  s.pmt_pid = 0x1F0;
  s.log_info = log_silent;
  s.log_debug = log_print;
  s.log_error = log_silent;
  reset_settings(s);
  EXPECT_EQ(s.fps, 30);
  EXPECT_EQ(s.delay_ms, 0);
  EXPECT_EQ(s.ts_delay_ms, 0);
  EXPECT_EQ(s.gop_offset, -1);
  EXPECT_EQ(s.d2v_start_bytes, 0);
  EXPECT_EQ(s.pmt_pid, 0);
  EXPECT_EQ(s.log_info, log_print);
  EXPECT_EQ(s.log_debug, log_silent);
  EXPECT_EQ(s.log_error, log_print);
}

TEST(SettingsTest, ChannelsFormatOrStaySilent) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(log_print(stderr, "%d-%s\n", 42, "x"), 0);
  EXPECT_EQ(log_silent(stderr, "%d\n", 7), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "42-x\n");
}

// A channel's user data reaches its sink with every message, so a caller can
// collect what one module reports without redirecting standard error.
TEST(SettingsTest, ChannelHandsItsUserDataToTheSink) {
  std::string seen;
  const LogChannel capture{[](void* user, std::FILE*, const char* format, std::va_list args) {
                             char text[64];
                             std::vsnprintf(text, sizeof text, format, args);
                             *static_cast<std::string*>(user) += text;
                             return 0;
                           },
                           &seen};
  capture(stderr, "%s=%d;", "a", 1);
  log_clock(capture, "pcr: ", 900, "\n");
  EXPECT_EQ(seen, "a=1;pcr: 900 [10ms]\n");
  EXPECT_EQ(LogChannel{}(stderr, "%d", 1), 0);  // an empty channel writes nothing
}

}  // namespace
}  // namespace mendra
