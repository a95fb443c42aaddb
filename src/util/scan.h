// Number reading with the rules of atoi and of sscanf's %d, made safe: the
// text may hold any bytes (a NUL ends it, as it ends a C string), and values
// beyond the int range saturate at its limits instead of being undefined.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace mendra {

// A decimal digit, whatever the locale.
inline bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// The blanks that separate fields of a list line: space, tab and the line
// end characters.
inline bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Leading white space, optional sign, decimal digits; 0 when there are none.
int parse_atoi(std::string_view text);

// A scanf-style format that holds only %d conversions (with an optional field
// width such as %02d), white space directives (matching any run of white
// space, none included) and literal characters, taken apart once so that a
// format used for every line of a file is not parsed again for each of them.
struct ScanStep {
  enum Kind : std::uint8_t { Space, Literal, Int, Unsupported };
  Kind kind = Unsupported;
  char literal = 0;
  std::uint8_t width = 0;  // 0: no limit
};

constexpr std::size_t kMaxScanSteps = 64;

struct ScanPattern {
  std::array<ScanStep, kMaxScanSteps> steps{};
  std::size_t count = 0;
};

constexpr ScanPattern compile_scan_pattern(const char* format) {
  ScanPattern pattern;
  for (const char* f = format; *f != '\0' && pattern.count < kMaxScanSteps; ++f) {
    ScanStep step;
    const char c = *f;
    if (c == ' ' || (c >= '\t' && c <= '\r')) {
      step.kind = ScanStep::Space;
    } else if (c == '%' && f[1] == '%') {
      step.kind = ScanStep::Literal;
      step.literal = '%';
      ++f;
    } else if (c == '%') {
      unsigned width = 0;
      while (f[1] >= '0' && f[1] <= '9') width = width * 10 + static_cast<unsigned>(*++f - '0');
      step.width = static_cast<std::uint8_t>(width > 255 ? 255 : width);
      step.kind = f[1] == 'd' ? ScanStep::Int : ScanStep::Unsupported;
      if (f[1] != '\0') ++f;
    } else {
      step.kind = ScanStep::Literal;
      step.literal = c;
    }
    pattern.steps[pattern.count++] = step;
  }
  return pattern;
}

// Matches `text` against the pattern, stores the converted values into
// outs[0], outs[1], ... (at most max_outs) and returns how many conversions
// succeeded before the first mismatch.
int scan_ints(std::string_view text, const ScanPattern& pattern, int* const* outs, int max_outs);

// A shortcut for the one layout that nearly every line of a kind has: true
// when `text` begins with `layout`, where each run of '9' stands for that
// many digits and every other character for itself; the numbers are then
// stored in outs[0], outs[1], ... For text of this layout the result is the
// one the matching scan pattern gives; any other text must go to the scan.
[[gnu::always_inline]] inline bool match_digit_layout(std::string_view text,
                                                      std::string_view layout, int* const* outs,
                                                      int max_outs) {
  // Inline and unrolled: with the constant layouts of the rewriters this
  // becomes a short run of byte tests for every timing line of a file.
  if (text.size() < layout.size()) return false;
  int converted = 0;
  int value = 0;
  bool in_number = false;
#pragma GCC unroll 64
  for (std::size_t i = 0; i < layout.size(); ++i) {
    if (layout[i] == '9') {
      // A run of '9' is one number of exactly that many digits; the runs
      // are short (clock fields), so the value cannot overflow.
      const unsigned digit = static_cast<unsigned char>(text[i]) - unsigned{'0'};
      if (digit > 9) return false;
      value = (in_number ? value * 10 : 0) + static_cast<int>(digit);
      in_number = true;
      continue;
    }
    if (in_number) {
      if (converted >= max_outs) return false;
      *outs[converted++] = value;
      in_number = false;
    }
    if (text[i] != layout[i]) return false;
  }
  if (in_number) {
    if (converted >= max_outs) return false;
    *outs[converted++] = value;
  }
  return converted == max_outs;
}

template <typename... Ints>
int scan_format(std::string_view text, const ScanPattern& pattern, Ints*... outs) {
  int* targets[] = {outs...};
  return scan_ints(text, pattern, targets, static_cast<int>(sizeof...(outs)));
}

template <typename... Ints>
int scan_format(std::string_view text, const char* format, Ints*... outs) {
  return scan_format(text, compile_scan_pattern(format), outs...);
}

}  // namespace mendra
