// Times in seconds as the edit-decision lists and segment exports write
// them ("12.345", Kodi's "1:02:03.5"), turned into frame numbers exactly: a
// decimal fraction is a fraction of a power of ten, so a time that lands on
// a frame's start must give that very frame, which a binary double cannot
// promise for rates such as 30000/1001.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "time/frame_clock.h"

namespace mendra {

// whole + 0.<fraction> seconds; `fraction` holds only decimal digits (maybe
// none) and points into the text that was read.
struct ListTime {
  std::int64_t whole = 0;
  std::string_view fraction;
};

// Decimal seconds: digits with an optional '.' and fraction digits ("12",
// "12.345", "12.", ".5"); no sign, no blanks. False for anything else, and
// for more whole seconds than any recording lasts.
bool parse_decimal_seconds(std::string_view text, ListTime& time);

// Decimal seconds, or "m:ss.fff" or "h:mm:ss.fff" (the minutes and seconds
// fields are not limited to 59).
bool parse_clock_seconds(std::string_view text, ListTime& time);

// Decimal digits with an optional '.' read as a count of 10^-scale seconds
// ("1500" at scale 3 is 1.5 s, "15" at scale -2 is 1500 s), as lists write
// milliseconds, microseconds or an exponent. The digits are written again
// as decimal seconds into `storage`, which the time then views. False for
// anything parse_decimal_seconds would refuse, and for a scale beyond +-40.
bool parse_scaled_seconds(std::string_view text, int scale, std::string& storage, ListTime& time);

// a + b, exact (a start and a length); the sum's fraction digits are kept in
// `storage`, which the result views.
ListTime add_list_times(const ListTime& a, const ListTime& b, std::string& storage);

// -1, 0 or 1 as a lies before, at or after b; exact.
int compare_list_times(const ListTime& a, const ListTime& b);

// The first frame that starts at or after the time on the clock, exact for
// any number of fraction digits (on a constant rate, ceil(time × rate)),
// saturated at the int limit.
std::int32_t first_frame_from(const ListTime& time, const FrameClock& clock);

// A frame number written as digits; saturates at the int limit. False when
// the text is not all digits or empty.
bool parse_frame_number(std::string_view text, std::int32_t& frame);

}  // namespace mendra
