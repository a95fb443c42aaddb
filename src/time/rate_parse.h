// Reading an exact frame rate from the command line.
#pragma once

#include <string_view>

#include "time/frame_rate.h"
#include "time/time_steps.h"

namespace mendra {

// Reads "N/D", a whole number ("25": exactly 25 fps) or a decimal. A decimal
// with a fraction that lies within 0.1 % of n * 1000/1001 for a whole n
// (29.97, 23.976, 59.94) means that rate; any other decimal means itself
// exactly (25.0 is 25, 12.5 is 25/2). Digits are read exactly, never through
// a binary fraction. The rate comes out in lowest terms with both terms in
// 1..kMaxRateTerm; false, and `rate` untouched, for anything else: no sign,
// blank or other character is accepted.
bool parse_frame_rate(std::string_view text, FrameRate& rate);

// num / den in lowest terms, when both terms then lie in 1..kMaxRateTerm;
// false, and `rate` untouched, otherwise.
bool lowest_terms_rate(AfterCut::Wide num, AfterCut::Wide den, FrameRate& rate);

}  // namespace mendra
