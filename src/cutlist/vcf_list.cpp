// VirtualDub jobs: every line that begins with
// VirtualDub.subset.AddRange(start,count) names one kept range; all other
// lines are skipped.
#include <cstdio>
#include <string>

#include "cutlist/cut_readers.h"
#include "util/int_math.h"
#include "util/scan.h"

namespace mendra {

bool read_vcf_ranges(CutListContext& context) {
  const Log& log = context.log;
  announce_kind(log, context.label);
  std::string piece;
  while (context.file.read_piece(piece, kCutListPieceBytes)) {
    int s = 0;
    int n = 0;
    // The closing ");" is not required: two numbers make a match.
    if (scan_format(piece, "VirtualDub.subset.AddRange(%d,%d);", &s, &n) != 2) continue;
    // n frames from s; the first range counts its leading frames from 0 as
    // cut, like every kept range.
    const std::int32_t last = wrap_sub(wrap_add(s, n), 1);
    log(LogLevel::Debug, "\tRange:\ts=%d\te=%d\n", s, last);
    context.lines.any_read = true;
    // A count of 0 or below keeps no frame; among the ranges used in their
    // order it would still move the times of the others.
    if (n > 0) context.builder.add_kept(s, last);
  }
  log(LogLevel::Debug, "\n");
  return true;
}

}  // namespace mendra
