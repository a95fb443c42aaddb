// The .vtt line rewriter on an arbitrary buffer, through a cut map with a
// few kept ranges and a delay, so that dropping, moving, clamping and the
// timestamp tags all run.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "subtitle/rewrite.h"
#include "time/cut_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mendra;
  static const SubtitleFormat& format = *find_subtitle_format(".vtt");
  Timing timing;
  timing.delay_ms = -1500;
  // Kept frames 100..199 and 300..399.
  const CutMap map = {-1, 99, 200, 299, 400, -1, -1};
  RewriteCounts counts;
  std::string output;
  rewrite_text(format, fuzz::as_text(data, size), format, map, timing, counts, output);
  // And converted, through its cues, to the other format of the HTML family.
  static const SubtitleFormat& other = *find_subtitle_format(".srt");
  rewrite_text(format, fuzz::as_text(data, size), other, map, timing, counts, output);
  return 0;
}
