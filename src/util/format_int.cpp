#include "util/format_int.h"

#include <cstdint>
#include <cstring>

namespace mendra {

char* append_any_int(char* out, int value, int width) {
  // Below a million (cue numbers, hours of long files) as two groups of
  // three digits, each from the inline path.
  constexpr int kThousand = 1000;
  constexpr int kGroupDigits = 3;
  if (value >= kThousand && value < kThousand * kThousand && width <= 2 * kGroupDigits) {
    out = append_int(out, value / kThousand, width > kGroupDigits ? width - kGroupDigits : 0);
    return append_int(out, value % kThousand, kGroupDigits);
  }
  // Work on the magnitude unsigned, so the most negative int has one.
  std::uint32_t magnitude = static_cast<std::uint32_t>(value);
  if (value < 0) {
    *out++ = '-';
    magnitude = 0U - magnitude;
    --width;  // the sign counts toward the width
  }
  // The digits are written from the last one back, two at a time from the
  // table, straight into place: the count is known first.
  int count = 1;
  for (std::uint64_t power = 10; magnitude >= power; power *= 10) ++count;
  for (int pad = width - count; pad > 0; --pad) *out++ = '0';
  char* end = out + count;
  char* digit = end;
  while (magnitude >= 100) {
    digit -= 2;
    std::memcpy(digit, kDigitPairs + std::size_t{2} * (magnitude % 100), 2);
    magnitude /= 100;
  }
  if (magnitude >= 10) {
    digit -= 2;
    std::memcpy(digit, kDigitPairs + std::size_t{2} * magnitude, 2);
  } else {
    *--digit = static_cast<char>('0' + magnitude);
  }
  return end;
}

}  // namespace mendra
