// AviUtl deleted-frame lists: a header line "first * last" followed by the
// deleted ranges "j - k" or single deleted frames "j". Lines that begin with
// '#' are comments. The deleted ranges are appended as they come, without
// any check of order, overlap or lying inside the header range.
#include <cstdio>
#include <string>

#include "cutlist/cut_readers.h"
#include "util/int_math.h"
#include "util/scan.h"

namespace mendra {
namespace {

bool is_comment(const std::string& piece) {
  return !piece.empty() && piece[0] == '#';
}

}  // namespace

bool read_del_list(CutListContext& context) {
  const RunSettings& settings = context.settings;
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
  if (!have_header || first == -1 || last == -1) {
    settings.log_error(stderr, "list file read error\n");
    return false;
  }

  settings.log_info(stderr, " [del]\n");
  // The trace lists the kept ranges: each "s=" is completed by the "e=" of
  // the next deleted range or of the end of the video.
  settings.log_debug(stderr, "\t list:\ts=%d", first);
  context.builder.open_kept(first);

  while (context.file.read_piece(piece, kCutListPieceBytes)) {
    int j = -1;
    int k = -1;
    if (is_comment(piece)) continue;
    if (scan_format(piece, "%d * %d", &j, &k) == 2) continue;  // a repeated header
    if (scan_format(piece, "%d - %d", &j, &k) == 0) continue;
    // A single deleted frame: an end that was not read (or reads as -1)
    // equals the start.
    if (k == -1) k = j;
    context.builder.add_deleted(j, k);
    settings.log_debug(stderr, "\te=%d\n", wrap_sub(j, 1));
    settings.log_debug(stderr, "\t list:\ts=%d", wrap_add(k, 1));
  }

  context.builder.close_kept(last);
  settings.log_debug(stderr, "\te=%d\n", last);
  settings.log_debug(stderr, "\n");
  return true;
}

}  // namespace mendra
