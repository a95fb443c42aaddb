#include "cutlist/list_time.h"

#include <algorithm>
#include <limits>

#include "util/scan.h"

namespace mendra {
namespace {

// Beyond this many seconds (some 30 million years) a field is not a time
// but junk; the bound keeps whole × rate inside 128 bits.
constexpr std::int64_t kMaxFieldSeconds = 1'000'000'000'000;

// Digits only, at least one, into value; false when too large.
bool parse_field(std::string_view text, std::int64_t& value) {
  if (text.empty()) return false;
  value = 0;
  for (const char c : text) {
    if (!is_digit(c)) return false;
    value = value * 10 + (c - '0');
    if (value > kMaxFieldSeconds) return false;
  }
  return true;
}

}  // namespace

bool parse_decimal_seconds(std::string_view text, ListTime& time) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return false;
  time.whole = 0;
  if (!whole.empty() && !parse_field(whole, time.whole)) return false;
  for (const char c : fraction) {
    if (!is_digit(c)) return false;
  }
  time.fraction = fraction;
  return true;
}

bool parse_clock_seconds(std::string_view text, ListTime& time) {
  constexpr std::int64_t kSecondsPerMinute = 60;
  // Up to two "field:" prefixes: minutes, or hours and minutes.
  std::int64_t prefix_seconds = 0;
  int prefixes = 0;
  for (std::size_t colon = text.find(':'); colon != std::string_view::npos;
       colon = text.find(':')) {
    if (++prefixes > 2) return false;
    std::int64_t field = 0;
    if (!parse_field(text.substr(0, colon), field)) return false;
    prefix_seconds = (prefix_seconds + field) * kSecondsPerMinute;
    text.remove_prefix(colon + 1);
  }
  if (!parse_decimal_seconds(text, time)) return false;
  time.whole += prefix_seconds;
  return true;
}

bool parse_scaled_seconds(std::string_view text, int scale, std::string& storage, ListTime& time) {
  constexpr int kMaxScale = 40;
  if (scale < -kMaxScale || scale > kMaxScale) return false;
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return false;
  for (const std::string_view part : {whole, fraction}) {
    for (const char c : part) {
      if (!is_digit(c)) return false;
    }
  }
  // All digits in a row, and where the point falls among them once the
  // count is scaled to seconds; it may fall before the first digit or past
  // the last.
  std::string digits;
  digits.reserve(whole.size() + fraction.size());
  digits.append(whole).append(fraction);
  const std::int64_t at = static_cast<std::int64_t>(whole.size()) - scale;
  storage.clear();
  if (at <= 0) {
    storage.append("0.").append(static_cast<std::size_t>(-at), '0').append(digits);
  } else if (at >= static_cast<std::int64_t>(digits.size())) {
    storage.append(digits).append(static_cast<std::size_t>(at) - digits.size(), '0');
  } else {
    const auto split = static_cast<std::size_t>(at);
    storage.append(digits, 0, split).append(1, '.').append(digits, split);
  }
  return parse_decimal_seconds(storage, time);
}

ListTime add_list_times(const ListTime& a, const ListTime& b, std::string& storage) {
  // Digit by digit from the last, the missing digits of the shorter
  // fraction counting as zeros; what carries past the point goes to the
  // whole seconds.
  const std::size_t digits = std::max(a.fraction.size(), b.fraction.size());
  storage.assign(digits, '0');
  int carry = 0;
  for (std::size_t i = digits; i-- > 0;) {
    const int da = i < a.fraction.size() ? a.fraction[i] - '0' : 0;
    const int db = i < b.fraction.size() ? b.fraction[i] - '0' : 0;
    const int sum = da + db + carry;
    storage[i] = static_cast<char>('0' + sum % 10);
    carry = sum / 10;
  }
  // Each whole part is bounded by what the parsers accept, far below the
  // int64 limit.
  return ListTime{a.whole + b.whole + carry, storage};
}

int compare_list_times(const ListTime& a, const ListTime& b) {
  if (a.whole != b.whole) return a.whole < b.whole ? -1 : 1;
  // Missing digits of the shorter fraction count as zeros.
  const std::size_t digits = std::max(a.fraction.size(), b.fraction.size());
  for (std::size_t i = 0; i < digits; ++i) {
    const char da = i < a.fraction.size() ? a.fraction[i] : '0';
    const char db = i < b.fraction.size() ? b.fraction[i] : '0';
    if (da != db) return da < db ? -1 : 1;
  }
  return 0;
}

namespace {

// ceil(time * ticks_per_second) for ticks_per_second in 1..2^41 (the
// finest clock), exact for any number of fraction digits; saturates far
// beyond any video.
std::int64_t ceil_ticks(const ListTime& time, std::int64_t ticks_per_second) {
  constexpr std::int64_t kFar = std::int64_t{1} << 61;
  std::int64_t whole_ticks = 0;
  if (__builtin_mul_overflow(time.whole, ticks_per_second, &whole_ticks) || whole_ticks > kFar) {
    return kFar;
  }
  // The fraction times ticks_per_second, one digit at a time from the last:
  // what carries past the point is its whole part, and a nonzero digit left
  // behind means it has a fractional part, which rounds it up.
  std::int64_t carry = 0;
  bool fraction_left = false;
  for (auto digit = time.fraction.rbegin(); digit != time.fraction.rend(); ++digit) {
    const std::int64_t product = (*digit - '0') * ticks_per_second + carry;
    if (product % 10 != 0) fraction_left = true;
    carry = product / 10;
  }
  return whole_ticks + carry + (fraction_left ? 1 : 0);
}

}  // namespace

std::int32_t first_frame_from(const ListTime& time, const FrameClock& clock) {
  // A frame starts at or after the time exactly when it starts at or after
  // the time rounded up to the clock's ticks, since frames start on whole
  // ticks.
  constexpr std::int64_t kMsPerSecond = 1000;
  const std::int64_t ticks = ceil_ticks(time, ticks_per_ms(clock) * kMsPerSecond);
  const std::int64_t frame = first_frame_at_or_after(clock, ClockTime{ticks});
  return static_cast<std::int32_t>(
      std::min<std::int64_t>(frame, std::numeric_limits<std::int32_t>::max()));
}

bool parse_frame_number(std::string_view text, std::int32_t& frame) {
  if (text.empty()) return false;
  std::int64_t value = 0;
  for (const char c : text) {
    if (!is_digit(c)) return false;
    value =
        std::min<std::int64_t>(value * 10 + (c - '0'), std::numeric_limits<std::int32_t>::max());
  }
  frame = static_cast<std::int32_t>(value);
  return true;
}

}  // namespace mendra
