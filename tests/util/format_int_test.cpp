#include "util/format_int.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

namespace mendra {
namespace {

// printf is the reference: every field the rewriters print must come out
// exactly as "%0<width>d" would print it.
TEST(AppendIntTest, MatchesPrintfForEveryWidthAndSign) {
  const int values[] = {0,      1,    5,     9,      10,      42,      99,          100,       999,
                        1000,   1234, 65535, 100000, INT_MAX, -1,      -5,          -10,       -99,
                        999999, -100, -999,  -1000,  -12345,  INT_MIN, INT_MIN + 1, 1000000000};
  for (int width = 0; width <= 7; ++width) {
    for (int value : values) {
      char expected[32];
      std::snprintf(expected, sizeof expected, "%0*d", width, value);
      char got[32];
      const char* end = append_int(got, value, width);
      EXPECT_EQ(std::string(got, static_cast<std::size_t>(end - got)), expected)
          << "value " << value << " width " << width;
    }
  }
}

}  // namespace
}  // namespace mendra
