// Edit decision lists as media players read them and commercial detectors
// write them: one range per line, "START END [ACTION]", separated by blanks
// or tabs. START and END are seconds ("12.345"), clock times ("1:02:03.5")
// or frame numbers ("#1234"); ACTION 0 (cut) and 3 (commercial break)
// delete the range, 1 (mute) and 2 (scene marker) leave the picture alone,
// and no ACTION means cut. A time range deletes the frames whose start time
// lies in [START, END); a frame range "#a #b" deletes frames a to b - 1, the
// same half-open reading. The list names only what goes, in any order, so
// the ranges are sorted and merged, and everything after the last one is
// kept, open toward the end of the video.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cutlist/cut_readers.h"
#include "cutlist/list_time.h"
#include "util/line_tally.h"
#include "util/scan.h"

namespace mendra {
namespace {

// A range of deleted frames, first to before `end`; 64 bits, so that the
// frame after a range ending at the int limit has a value.
struct EdlRange {
  std::int64_t first;
  std::int64_t end;
};

// One START or END field: a frame number or a time.
struct EdlPoint {
  bool is_frame = false;
  std::int32_t frame = 0;
  ListTime time;
};

bool parse_point(std::string_view field, EdlPoint& point) {
  if (field.size() >= 2 && field[0] == '#') {
    point.is_frame = true;
    return parse_frame_number(field.substr(1), point.frame);
  }
  point.is_frame = false;
  return parse_clock_seconds(field, point.time);
}

std::int32_t point_frame(const EdlPoint& point, const FrameClock& clock) {
  return point.is_frame ? point.frame : first_frame_from(point.time, clock);
}

enum class EdlLine { Skipped, Range, Unreadable };

// At most three fields are meaningful; a fourth makes the line unreadable.
constexpr std::size_t kMaxFields = 3;

// Reads one line into `range` (frames) and `action`.
EdlLine read_line_fields(std::string_view line, const FrameClock& clock, EdlRange& range,
                         int& action) {
  std::size_t pos = 0;
  while (pos < line.size() && is_blank(line[pos])) ++pos;
  if (pos == line.size()) return EdlLine::Skipped;
  // '#' with a digit after it is a frame number; any other '#' starts a
  // comment.
  if (line[pos] == '#' && (pos + 1 == line.size() || !is_digit(line[pos + 1]))) {
    return EdlLine::Skipped;
  }
  std::array<std::string_view, kMaxFields> fields;
  std::size_t count = 0;
  for (;;) {
    while (pos < line.size() && is_blank(line[pos])) ++pos;
    if (pos == line.size()) break;
    const std::size_t start = pos;
    while (pos < line.size() && !is_blank(line[pos])) ++pos;
    if (count == kMaxFields) return EdlLine::Unreadable;
    fields[count++] = line.substr(start, pos - start);
  }
  if (count < 2) return EdlLine::Unreadable;
  EdlPoint start;
  EdlPoint end;
  if (!parse_point(fields[0], start) || !parse_point(fields[1], end)) return EdlLine::Unreadable;
  action = 0;
  if (count == 3) {
    if (fields[2].size() != 1 || fields[2][0] < '0' || fields[2][0] > '3') {
      return EdlLine::Unreadable;
    }
    action = fields[2][0] - '0';
  }
  range.first = point_frame(start, clock);
  range.end = point_frame(end, clock);
  // Two times compare exactly; where a frame number takes part, the frames
  // do.
  const bool backwards = start.is_frame || end.is_frame
                             ? range.end < range.first
                             : compare_list_times(end.time, start.time) < 0;
  return backwards ? EdlLine::Unreadable : EdlLine::Range;
}

// Sorts by the first frame and joins ranges that overlap or touch; empty
// ranges delete nothing and go.
void sort_and_merge(std::vector<EdlRange>& ranges) {
  std::erase_if(ranges, [](const EdlRange& r) { return r.end <= r.first; });
  std::sort(ranges.begin(), ranges.end(),
            [](const EdlRange& a, const EdlRange& b) { return a.first < b.first; });
  std::size_t kept = 0;
  for (const EdlRange& range : ranges) {
    if (kept > 0 && range.first <= ranges[kept - 1].end) {
      ranges[kept - 1].end = std::max(ranges[kept - 1].end, range.end);
    } else {
      ranges[kept++] = range;
    }
  }
  ranges.resize(kept);
}

}  // namespace

bool read_edl(CutListContext& context) {
  const Log& log = context.log;
  announce_kind(log, context.label);
  std::vector<EdlRange> deleted;
  std::string line;
  int line_number = 0;
  LineTally unreadable;
  bool any_read = false;
  while (context.file.read_line(line)) {
    ++line_number;
    EdlRange range{};
    int action = 0;
    switch (read_line_fields(line, context.clock, range, action)) {
      case EdlLine::Skipped:
        break;
      case EdlLine::Unreadable:
        unreadable.add(line_number);
        break;
      case EdlLine::Range:
        any_read = true;
        log(LogLevel::Debug, "\t range:\ts=%d\te=%d\taction=%d\n",
            static_cast<std::int32_t>(range.first), static_cast<std::int32_t>(range.end - 1),
            action);
        // Mute and scene marker leave every frame in place.
        if (action == 0 || action == 3) deleted.push_back(range);
        break;
    }
  }
  sort_and_merge(deleted);
  context.lines.any_read = any_read;
  context.lines.unread = unreadable;
  // Nothing read from lines of text: no range may pass for "cut nothing".
  if (!unreadable.empty() && !any_read) return true;

  // The kept stretches lie between the merged ranges; one before a range
  // that starts at frame 0 holds nothing and is left out.
  std::int64_t next_kept = 0;
  for (const EdlRange& range : deleted) {
    if (range.first > next_kept) {
      const auto first = static_cast<std::int32_t>(next_kept);
      const auto last = static_cast<std::int32_t>(range.first - 1);
      log(LogLevel::Debug, "\t  kept:\ts=%d\te=%d\n", first, last);
      context.builder.add_kept(first, last);
    }
    next_kept = range.end;
  }
  // The list does not know the length of the video: what follows the last
  // range is kept to the end, as Trim(x,0) keeps it. A range that runs past
  // the end of the frame axis leaves nothing after it, and the map ends
  // after the last kept stretch, as a list that knows its last frame does.
  if (next_kept <= kOpenEndFrame) {
    const auto open_first = static_cast<std::int32_t>(next_kept);
    log(LogLevel::Debug, "\t  kept:\ts=%d\te=%d\n", open_first, kOpenEndFrame);
    context.builder.add_kept_to_end(open_first);
  }
  log(LogLevel::Debug, "\n");
  return true;
}

}  // namespace mendra
