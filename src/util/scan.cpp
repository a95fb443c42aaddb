#include "util/scan.h"

#include <cstdint>
#include <cstring>

#include "util/int_math.h"

namespace mendra {
namespace {

// The C locale's white space, as scanf skips it.
bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Beyond 2^31 the value saturates anyway; growing stops there, so the
// accumulator cannot overflow however many digits follow.
constexpr std::int64_t kSaturated = 0x80000000LL;

// Reads sign and digits of at most `width` characters (0: unlimited) from p;
// white space before them is skipped first and does not count. Saturates
// at the int limits. Returns the position after the number, or nullptr when
// there is none.
[[gnu::always_inline]] inline const char* read_int(const char* p, const char* end,
                                                   std::size_t width, int& value) {
  while (p < end && is_space(*p)) ++p;
  const char* limit = (width == 0 || static_cast<std::size_t>(end - p) <= width) ? end : p + width;
  bool negative = false;
  if (p < limit && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p >= limit || !is_digit(*p)) return nullptr;
  std::int64_t magnitude = *p++ - '0';
  for (; p < limit && is_digit(*p); ++p) {
    if (magnitude <= kSaturated) magnitude = magnitude * 10 + (*p - '0');
  }
  value = clamp_to_int(negative ? -magnitude : magnitude);
  return p;
}

// The text up to its first NUL: what a reader of C strings would see.
const char* c_string_end(std::string_view text) {
  const void* nul = std::memchr(text.data(), '\0', text.size());
  return nul != nullptr ? static_cast<const char*>(nul) : text.data() + text.size();
}

}  // namespace

int parse_atoi(std::string_view text) {
  int value = 0;
  return read_int(text.data(), c_string_end(text), 0, value) != nullptr ? value : 0;
}

int scan_ints(std::string_view text, const ScanPattern& pattern, int* const* outs, int max_outs) {
  const char* p = text.data();
  const char* const end = c_string_end(text);
  int converted = 0;
  for (std::size_t i = 0; i < pattern.count; ++i) {
    const ScanStep& step = pattern.steps[i];
    switch (step.kind) {
      case ScanStep::Space:
        while (p < end && is_space(*p)) ++p;
        break;
      case ScanStep::Literal:
        if (p >= end || *p != step.literal) return converted;
        ++p;
        break;
      case ScanStep::Int: {
        if (converted >= max_outs) return converted;
        int value = 0;
        p = read_int(p, end, step.width, value);
        if (p == nullptr) return converted;
        *outs[converted++] = value;
        break;
      }
      case ScanStep::Unsupported:
        return converted;
    }
  }
  return converted;
}

}  // namespace mendra
