// read_cut_list on arbitrary bytes: the first byte picks the kind (modulo
// the number of kinds) and, above that, the frame rate the time-based lists
// convert with; the rest is the list, read from memory.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "cutlist/cut_list.h"
#include "fuzz_support.h"
#include "time/frame_clock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mendra;
  constexpr int kKinds = static_cast<int>(CutListKind::Count);
  // The default first, so that a seed whose first byte is the kind alone
  // reads at the default rate; then rates with large and small numbers.
  constexpr std::array<std::optional<FrameRate>, 5> kRates{
      std::nullopt, FrameRate{25, 1}, FrameRate{60000, 1001}, FrameRate{1, 1000},
      FrameRate{INT64_MAX, 1}};
  if (size == 0) return 0;
  const auto kind = static_cast<CutListKind>(data[0] % kKinds);
  const std::optional<FrameRate> rate =
      kRates[static_cast<std::size_t>(data[0] / kKinds) % kRates.size()];
  const FrameClock clock = constant_clock(rate ? *rate : fps_frame_rate(kFallbackFps));
  CutMap map;
  // A recording to hold the names a list gives against.
  read_cut_list_bytes(fuzz::as_text(data + 1, size - 1), kind, clock, fuzz::tracing_log(), map,
                      "<memory>", "rec.srt");
  return 0;
}
