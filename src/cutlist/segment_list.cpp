// Kept segments as video cutters export them: a CSV with one segment per
// record, "start,end[,label]", times in seconds ("12.345") or as clock times
// ("1:02:03.5", "02:03.5"), read as the edit-decision lists read them. A
// segment keeps the frames whose start time lies in [start, end); an empty
// start is 0, an empty end (a segment that runs to the end of the video)
// keeps everything from its start on. A first record whose first field is
// neither a time nor empty is a header. Labels may
// be quoted, with commas, "" for a quote and even line ends inside; they
// are read past, never used. Segments are taken in the order given.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cutlist/cut_readers.h"
#include "cutlist/list_time.h"
#include "util/line_tally.h"
#include "util/scan.h"

namespace mendra {
namespace {

std::string_view trim_blanks(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

// True when the record ends inside a quoted field, so that the next line
// belongs to it.
bool quote_open(std::string_view record) {
  bool open = false;
  for (const char c : record) {
    if (c == '"') open = !open;  // "" inside a field closes and reopens
  }
  return open;
}

// Splits a record into its fields, the quotes of quoted fields removed.
// False when text follows a closing quote, or a quote never closes.
bool split_record(std::string_view record, std::vector<std::string>& fields) {
  fields.clear();
  std::size_t pos = 0;
  for (;;) {
    while (pos < record.size() && is_blank(record[pos])) ++pos;
    std::string field;
    if (pos < record.size() && record[pos] == '"') {
      ++pos;
      for (;;) {
        if (pos == record.size()) return false;
        if (record[pos] == '"') {
          if (pos + 1 < record.size() && record[pos + 1] == '"') {
            field.push_back('"');
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        field.push_back(record[pos++]);
      }
      while (pos < record.size() && is_blank(record[pos])) ++pos;
      if (pos < record.size() && record[pos] != ',') return false;
    } else {
      const std::size_t comma = record.find(',', pos);
      const std::size_t end = comma == std::string_view::npos ? record.size() : comma;
      field = trim_blanks(record.substr(pos, end - pos));
      pos = end;
    }
    fields.push_back(std::move(field));
    if (pos == record.size()) return true;
    ++pos;  // past the comma
  }
}

enum class SegmentRecord { Segment, OpenSegment, Unreadable };

SegmentRecord read_segment(const std::vector<std::string>& fields, const FrameClock& clock,
                           std::int32_t& first, std::int32_t& end) {
  if (fields.size() < 2) return SegmentRecord::Unreadable;
  ListTime start_time;  // 0 when empty
  if (!fields[0].empty() && !parse_clock_seconds(fields[0], start_time)) {
    return SegmentRecord::Unreadable;
  }
  first = first_frame_from(start_time, clock);
  if (fields[1].empty()) return SegmentRecord::OpenSegment;
  ListTime end_time;
  if (!parse_clock_seconds(fields[1], end_time)) return SegmentRecord::Unreadable;
  if (compare_list_times(end_time, start_time) < 0) return SegmentRecord::Unreadable;
  end = first_frame_from(end_time, clock);
  return SegmentRecord::Segment;
}

}  // namespace

bool read_kept_segments(CutListContext& context) {
  const Log& log = context.log;
  announce_kind(log, context.label);
  std::string line;
  std::string record;
  std::vector<std::string> fields;
  int line_number = 0;
  bool first_record = true;
  LineTally unreadable;
  bool any_read = false;  // a segment or the header
  while (context.file.read_line(line)) {
    const int record_line = ++line_number;
    record = line;
    // A quoted label may hold line ends: the record runs on.
    while (quote_open(record) && context.file.read_line(line)) {
      ++line_number;
      record += line;
    }
    if (!record.empty() && record.back() == '\n') record.pop_back();
    if (trim_blanks(record).empty()) continue;
    const bool header_allowed = first_record;
    first_record = false;
    std::int32_t first = 0;
    std::int32_t end = 0;
    const SegmentRecord kind = split_record(record, fields)
                                   ? read_segment(fields, context.clock, first, end)
                                   : SegmentRecord::Unreadable;
    if (kind == SegmentRecord::Unreadable) {
      ListTime unused;
      if (header_allowed && !fields.empty() && !fields[0].empty() &&
          !parse_clock_seconds(fields[0], unused)) {
        any_read = true;
        continue;  // column names
      }
      unreadable.add(record_line);
      continue;
    }
    any_read = true;
    if (kind == SegmentRecord::OpenSegment) {
      log(LogLevel::Debug, "\t  kept:\ts=%d\te=%d\n", first, kOpenEndFrame);
      context.builder.add_kept_to_end(first);
      continue;
    }
    // end - 1 cannot wrap: end is a frame number from 0 on.
    log(LogLevel::Debug, "\t  kept:\ts=%d\te=%d\n", first, end - 1);
    // A segment shorter than a frame keeps nothing and would only disturb
    // the counts.
    if (end > first) context.builder.add_kept(first, end - 1);
  }
  log(LogLevel::Debug, "\n");
  context.lines.any_read = any_read;
  context.lines.unread = unreadable;
  return true;
}

}  // namespace mendra
