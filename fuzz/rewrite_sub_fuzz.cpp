// The .sub line rewriter on an arbitrary buffer, through a cut map with a
// few kept ranges and a delay, at the rate its first line names (as the
// driver sets the clock from it); then with a change of speed and a sync,
// which name another rate and move frames through wider arithmetic; then on
// a timecode file's clock, which names none; and converted, through its
// cues, to .srt and back, so that frames meet clock time both ways.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "subtitle/rewrite.h"
#include "time/cut_map.h"
#include "time/frame_clock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mendra;
  static const SubtitleFormat& format = *find_subtitle_format(".sub");
  static const SubtitleFormat& srt = *find_subtitle_format(".srt");
  static const FrameClock timecodes = [] {
    FrameClock clock;
    read_timecode_bytes("# timecode format v1\nassume 29.97\n0,99,23.976\n300,399,59.94\n",
                        "tc.txt", Log{}, clock);
    return clock;
  }();
  const std::string_view text = fuzz::as_text(data, size);
  Timing timing;
  timing.delay_ms = -1500;
  FrameRate rate{};
  const std::size_t line_end = text.find('\n');
  if (format.own_rate(text.substr(0, line_end == text.npos ? text.size() : line_end + 1), rate)) {
    timing.clock = constant_clock(rate);
  }
  // Kept frames 100..199 and 300..399.
  const CutMap map = {-1, 99, 200, 299, 400, -1, -1};
  RewriteCounts counts;
  std::string output;
  rewrite_text(format, text, format, map, timing, counts, output);
  Timing stretched = timing;
  stretched.speed = SpeedStep{FrameRate{24000, 1001}, FrameRate{25, 1}};
  stretched.sync.points = 2;
  stretched.sync.first = SyncPoint{Milliseconds{1000}, Milliseconds{1500}};
  stretched.sync.second = SyncPoint{Milliseconds{3600000}, Milliseconds{3601250}};
  rewrite_text(format, text, format, map, stretched, counts, output);
  Timing on_timecodes = timing;
  on_timecodes.clock = timecodes;
  rewrite_text(format, text, format, map, on_timecodes, counts, output);
  rewrite_text(format, text, srt, map, stretched, counts, output);
  std::string as_srt;
  if (rewrite_text(format, text, srt, map, timing, counts, as_srt) == RewriteOutcome::Written) {
    rewrite_text(srt, as_srt, format, map, on_timecodes, counts, output);
  }
  return 0;
}
