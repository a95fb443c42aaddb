// The chapter readers on an arbitrary buffer (recognised by its content as
// OGM chapters, Matroska chapter XML or FFmpeg metadata), re-timed through a
// cut map with a few kept ranges and a delay, so that moving to cut points,
// leaving out and renumbering all run; then with a change of speed and a
// sync, whose exact arithmetic on fine units is wider.
#include <cstddef>
#include <cstdint>
#include <string>

#include "chapter/chapters.h"
#include "fuzz_support.h"
#include "time/cut_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mendra;
  static const Log log = fuzz::tracing_log();
  Timing timing;
  timing.delay_ms = -1500;
  // Kept frames 100..199 and 300..399.
  const CutMap map = {-1, 99, 200, 299, 400, -1, -1};
  ChapterCounts counts;
  std::string output;
  retime_chapter_text(fuzz::as_text(data, size), "fuzz", map, timing, log, counts, output);
  Timing stretched = timing;
  stretched.speed = SpeedStep{FrameRate{24000, 1001}, FrameRate{25, 1}};
  stretched.sync.points = 2;
  stretched.sync.first = SyncPoint{Milliseconds{1000}, Milliseconds{1500}};
  stretched.sync.second = SyncPoint{Milliseconds{3600000}, Milliseconds{3601250}};
  retime_chapter_text(fuzz::as_text(data, size), "fuzz", map, stretched, log, counts, output);
  return 0;
}
