#include "util/format_int.h"

#include <cstdint>

namespace mendra {

char* append_any_int(char* out, int value, int width) {
  // Work on the magnitude in 64 bits, so the most negative int has one.
  std::int64_t magnitude = value;
  if (magnitude < 0) {
    *out++ = '-';
    magnitude = -magnitude;
    --width;  // the sign counts toward the width
  }
  char digits[kMaxIntChars];
  int count = 0;
  // Two digits at a time from the table, lowest first.
  while (magnitude >= 100) {
    const char* pair = kDigitPairs + 2 * (magnitude % 100);
    digits[count++] = pair[1];
    digits[count++] = pair[0];
    magnitude /= 100;
  }
  if (magnitude >= 10) {
    const char* pair = kDigitPairs + 2 * magnitude;
    digits[count++] = pair[1];
    digits[count++] = pair[0];
  } else {
    digits[count++] = static_cast<char>('0' + magnitude);
  }
  for (int pad = width - count; pad > 0; --pad) *out++ = '0';
  while (count > 0) *out++ = digits[--count];
  return out;
}

}  // namespace mendra
