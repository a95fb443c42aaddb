// VirtualDub jobs: every line that begins with
// VirtualDub.subset.AddRange(start,count) names one kept range; all other
// lines are skipped.
#include <cstdio>
#include <string>

#include "cutlist/cut_readers.h"
#include "util/int_math.h"
#include "util/scan.h"

namespace mendra {

void read_vcf_ranges(CutListContext& context) {
  const RunSettings& settings = context.settings;
  CutCounters& counters = context.counters;
  settings.log_info(stderr, " [vcf]\n");
  std::string piece;
  // The first range counts its leading frames from 0 as cut.
  std::int32_t previous_end = 0;
  while (context.file.read_piece(piece, kCutListPieceBytes)) {
    int s = 0;
    int n = 0;
    // The closing ");" is not required: two numbers make a match.
    if (scan_format(piece, "VirtualDub.subset.AddRange(%d,%d);", &s, &n) != 2) continue;
    const std::int32_t end_after = wrap_add(s, n);  // first frame after the range
    context.map.push_back(wrap_sub(s, 1));
    context.map.push_back(end_after);
    settings.log_debug(stderr, "\tRange:\ts=%d\te=%d\n", s, wrap_sub(end_after, 1));
    counters.kept_frames = wrap_add(counters.kept_frames, n);
    counters.cut_frames = wrap_add(counters.cut_frames, wrap_sub(s, previous_end));
    previous_end = end_after;
  }
  settings.log_debug(stderr, "\n");
}

}  // namespace mendra
