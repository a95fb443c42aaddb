#include <gtest/gtest.h>

#include "driver/command_line.h"
#include "driver/settings.h"

namespace mendra {
namespace {

TEST(PmtPidTest, ValueIsHexadecimalBehindAnAddedPrefix) {
  const struct {
    const char* text;
    std::uint16_t pid;
  } cases[] = {
      {"1f0", 0x1F0},    {"1F0", 0x1F0},
      {"0x1f0", 0},  // "0x0x1f0" stops at its first digit
      {"12345", 0x2345}, {"", 0},
      {"zz", 0},         {"ffffffffffffffffffffffff", 0xFFFF},  // saturates, then the low 16 bits
      {"-5", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(pmt_pid_from_text(c.text), c.pid) << c.text;
}

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
  EXPECT_EQ(s.log_info, &log_print);
  EXPECT_EQ(s.log_debug, &log_silent);
  EXPECT_EQ(s.log_error, &log_print);
}

TEST(SettingsTest, ChannelsFormatOrStaySilent) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(log_print(stderr, "%d-%s\n", 42, "x"), 0);
  EXPECT_EQ(log_silent(stderr, "%d\n", 7), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "42-x\n");
}

}  // namespace
}  // namespace mendra
