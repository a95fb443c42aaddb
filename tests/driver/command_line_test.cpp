#include <gtest/gtest.h>

#include "driver/command_line.h"

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

}  // namespace
}  // namespace mendra
