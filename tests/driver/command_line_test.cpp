#include <gtest/gtest.h>

#include "driver/command_line.h"
#include "util/rate_parse.h"

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

TEST(FrameRateTextTest, ReadsExactRatesInLowestTerms) {
  const struct {
    const char* text;
    std::int64_t num;
    std::int64_t den;
  } cases[] = {
      // N/D, reduced
      {"30000/1001", 30000, 1001},
      {"24000/1001", 24000, 1001},
      {"25/1", 25, 1},
      {"50/2", 25, 1},
      {"60000/2002", 30000, 1001},
      {"2000000/2", 1000000, 1},
      {"1/1000000", 1, 1000000},
      {"3000000/3000000", 1, 1},  // terms beyond the bound that reduce into it
      // whole numbers are exactly that rate, not n/1.001
      {"25", 25, 1},
      {"50", 50, 1},
      {"30", 30, 1},
      {"025", 25, 1},
      {"1000000", 1000000, 1},
      // decimals near n * 1000/1001 are that television rate
      {"29.97", 30000, 1001},
      {"23.976", 24000, 1001},
      {"59.94", 60000, 1001},
      {"119.88", 120000, 1001},
      {"29.970", 30000, 1001},
      {"23.98", 24000, 1001},
      {"29.95", 30000, 1001},   // 0.07 % below 30/1.001
      {"29.999", 30000, 1001},  // 0.097 % above
      {"14.985", 15000, 1001},
      {"47.952", 48000, 1001},
      // other decimals are themselves
      {"29.9", 299, 10},  // 0.23 % below 30/1.001
      {"25.0", 25, 1},
      {"25.000", 25, 1},
      {"25.000000000000000000000000000000", 25, 1},  // zeros say nothing
      {"12.5", 25, 2},
      {"0.5", 1, 2},
      {"0.000001", 1, 1000000},
      {"0.0000019073486328125", 1, 524288},  // 2^-19: every digit counts
      {"47.9", 479, 10},                     // 0.11 % below 48/1.001
      {"30.01", 3001, 100},                  // 0.13 % above 30/1.001
  };
  for (const auto& c : cases) {
    FrameRate rate;
    ASSERT_TRUE(parse_frame_rate(c.text, rate)) << c.text;
    EXPECT_EQ(rate.num, c.num) << c.text;
    EXPECT_EQ(rate.den, c.den) << c.text;
  }
}

TEST(FrameRateTextTest, RejectsWhatIsNoPositiveRateAndLeavesTheRate) {
  const char* const cases[] = {
      "",
      "abc",
      "0",
      "-25",
      "+25",
      " 25",
      "25 ",
      "25fps",
      "1e3",
      "29,97",
      "0.0",
      "0/1",
      "1/0",
      "25/x",
      "x/25",
      "/25",
      "25/",
      "25/1/1",
      "-25/1",
      "25.",
      ".5",
      "2.5.1",
      "25.x",
      "1000001",
      "1000001/1",
      "1/1000001",
      "1000000.5",
      "0.0000001",                  // beyond the bounds
      "99999999999999999999999/1",  // reduces to nothing usable
      "9999999999999999999999999999999999999999/1",
      "1/99999999999999999999999999999999999999999",
      "1.1234567890123456789012345",  // more digits than any usable rate needs
  };
  for (const char* text : cases) {
    FrameRate rate{7, 3};
    EXPECT_FALSE(parse_frame_rate(text, rate)) << '"' << text << '"';
    EXPECT_EQ(rate.num, 7) << text;
    EXPECT_EQ(rate.den, 3) << text;
  }
}

}  // namespace
}  // namespace mendra
