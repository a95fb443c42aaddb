// Number reading with the rules of atoi and of sscanf's %d, made safe: the
// text may hold any bytes (a NUL ends it, as it ends a C string), and values
// beyond the int range saturate at its limits instead of being undefined.
#pragma once

#include <string_view>

namespace mendra {

// Leading white space, optional sign, decimal digits; 0 when there are none.
int parse_atoi(std::string_view text);

// Matches `text` against a scanf-style `format` that holds only %d
// conversions (with an optional field width such as %02d), white space
// directives (matching any run of white space, none included) and literal
// characters. Stores the converted values into outs[0], outs[1], ... and
// returns how many conversions succeeded before the first mismatch.
int scan_ints(std::string_view text, const char* format, int* const* outs, int max_outs);

template <typename... Ints>
int scan_format(std::string_view text, const char* format, Ints*... outs) {
  int* targets[] = {outs...};
  return scan_ints(text, format, targets, static_cast<int>(sizeof...(outs)));
}

}  // namespace mendra
