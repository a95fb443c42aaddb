// The effect shifting of a moved start on arbitrary text: the first bytes
// choose the shift (small and at the int limits alike), the rest is the
// Dialogue text field. Only override blocks change: the text before the
// first one comes through as it was.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "subtitle/ass_effects.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mendra;
  constexpr std::size_t kShiftBytes = 3;
  if (size < kShiftBytes) return 0;
  constexpr int kShifts[] = {0, 1, 9, 10, 499, 5000, 60000, std::numeric_limits<int>::max()};
  constexpr std::size_t kCount = sizeof kShifts / sizeof kShifts[0];
  EffectShift shift;
  shift.ms = kShifts[data[0] % kCount];
  shift.cs = shift.ms / 10 + (data[0] / kCount) % 2;
  shift.event_ms = kShifts[data[1] % kCount] - (data[2] % 2);
  const std::string_view text = fuzz::as_text(data + kShiftBytes, size - kShiftBytes);
  std::string out;
  if (shift_effects(text, shift, out) && !out.starts_with(text.substr(0, text.find('{')))) {
    __builtin_trap();
  }
  return 0;
}
