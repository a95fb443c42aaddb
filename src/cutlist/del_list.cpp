// AviUtl deleted-frame lists: a header line "first * last" followed by the
// deleted ranges "j - k" or single deleted frames "j". Lines that begin with
// '#' are comments. The deleted ranges are sorted and merged where they
// overlap or touch, since the list only says which frames go, not in what
// order; they are not checked for lying inside the header range.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cutlist/cut_readers.h"
#include "util/int_math.h"
#include "util/scan.h"

namespace mendra {
namespace {

bool is_comment(const std::string& piece) {
  return !piece.empty() && piece[0] == '#';
}

struct DeletedRange {
  std::int32_t from;
  std::int32_t to;
};

// Sorts the ranges by their first frame and joins those that overlap or
// touch. A range given backwards holds no frame and is dropped.
void sort_and_merge(std::vector<DeletedRange>& ranges) {
  std::erase_if(ranges, [](const DeletedRange& r) { return r.to < r.from; });
  std::sort(ranges.begin(), ranges.end(),
            [](const DeletedRange& a, const DeletedRange& b) { return a.from < b.from; });
  std::size_t kept = 0;
  for (const DeletedRange& range : ranges) {
    // 64 bits: the frame after a range ending at the int limit.
    if (kept > 0 && range.from <= static_cast<std::int64_t>(ranges[kept - 1].to) + 1) {
      ranges[kept - 1].to = std::max(ranges[kept - 1].to, range.to);
    } else {
      ranges[kept++] = range;
    }
  }
  ranges.resize(kept);
}

}  // namespace

bool read_del_list(CutListContext& context) {
  const Log& log = context.log;
  std::string piece;

  // The header: the first frame H and the last frame I of the video. Free
  // text and comments before it are skipped.
  int first = -1;
  int last = -1;
  bool have_header = false;
  while (context.file.read_piece(piece, kCutListPieceBytes)) {
    if (is_comment(piece)) continue;
    if (scan_format(piece, "%d * %d", &first, &last) == 2) {
      have_header = true;
      break;
    }
  }
  // Without a header there is no video to delete frames from: nothing is
  // read, whatever the other lines hold.
  if (!have_header || first == -1 || last == -1) return true;
  context.lines.any_read = true;

  announce_kind(log, context.label);
  std::vector<DeletedRange> deleted;
  while (context.file.read_piece(piece, kCutListPieceBytes)) {
    int j = -1;
    int k = -1;
    if (is_comment(piece)) continue;
    if (scan_format(piece, "%d * %d", &j, &k) == 2) continue;  // a repeated header
    if (scan_format(piece, "%d - %d", &j, &k) == 0) continue;
    // A single deleted frame: an end that was not read (or reads as -1)
    // equals the start.
    if (k == -1) k = j;
    deleted.push_back(DeletedRange{j, k});
  }
  sort_and_merge(deleted);

  // The trace lists the kept ranges: each "s=" is completed by the "e=" of
  // the next deleted range or of the end of the video.
  log(LogLevel::Debug, "\t list:\ts=%d", first);
  context.builder.open_kept(first);
  for (const DeletedRange& range : deleted) {
    context.builder.add_deleted(range.from, range.to);
    log(LogLevel::Debug, "\te=%d\n", wrap_sub(range.from, 1));
    log(LogLevel::Debug, "\t list:\ts=%d", wrap_add(range.to, 1));
  }

  context.builder.close_kept(last);
  log(LogLevel::Debug, "\te=%d\n", last);
  log(LogLevel::Debug, "\n");
  return true;
}

}  // namespace mendra
