// LosslessCut projects (".llc"): JSON5 with the segments of one recording,
//   { version: 2, mediaFileName: 'rec.ts',
//     cutSegments: [ { start: 3.33, end: 6.67, name: 'Act 1' }, ... ] }
// Each segment keeps the frames whose start time lies in [start, end), in
// the order given; its times are seconds, read exactly as written. A
// segment without an end is a marker, which keeps nothing; one whose
// "selected" is false is left out of the export and keeps nothing either.
#include <cstdint>
#include <string>
#include <string_view>

#include "cutlist/cut_readers.h"
#include "cutlist/list_time.h"
#include "util/json5.h"
#include "util/line_tally.h"
#include "util/scan.h"

namespace mendra {
namespace {

// A JSON5 number as seconds: decimal, with an optional '+' and exponent,
// or hexadecimal whole seconds. Negative, infinite and NaN times are none.
bool json5_seconds(const Json5Value& value, std::string& storage, ListTime& time) {
  if (value.type != Json5Type::Number) return false;
  std::string_view text = value.text;
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.starts_with("0x") || text.starts_with("0X")) {
    std::int64_t seconds = 0;
    for (const char c : text.substr(2)) {
      const int digit = is_digit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
      seconds = seconds * 16 + digit;
      if (seconds > 1'000'000'000'000) return false;  // far beyond any recording
    }
    storage = std::to_string(seconds);
    return parse_decimal_seconds(storage, time);
  }
  const std::size_t exponent_at = text.find_first_of("eE");
  int scale = 0;
  if (exponent_at != std::string_view::npos) {
    std::string_view exponent = text.substr(exponent_at + 1);
    text = text.substr(0, exponent_at);
    const bool negative = exponent.starts_with('-');
    if (negative || exponent.starts_with('+')) exponent.remove_prefix(1);
    // parse_scaled_seconds refuses scales beyond 40; longer digit runs are
    // junk anyway.
    if (exponent.empty() || exponent.size() > 3) return false;
    for (const char c : exponent) {
      if (!is_digit(c)) return false;
      scale = scale * 10 + (c - '0');
    }
    if (!negative) scale = -scale;
  }
  return parse_scaled_seconds(text, scale, storage, time);
}

enum class LlcSegment { Kept, LeftOut, Marker, Unreadable };

LlcSegment read_segment(CutListContext& context, const Json5Value& segment) {
  if (segment.type != Json5Type::Object) return LlcSegment::Unreadable;
  const Json5Value* start_value = json5_member(segment, "start");
  const Json5Value* end_value = json5_member(segment, "end");
  const Json5Value* selected = json5_member(segment, "selected");
  std::string start_text;
  ListTime start;  // 0 when not given
  if (start_value != nullptr && start_value->type != Json5Type::Null &&
      !json5_seconds(*start_value, start_text, start)) {
    return LlcSegment::Unreadable;
  }
  if (end_value == nullptr || end_value->type == Json5Type::Null) return LlcSegment::Marker;
  std::string end_text;
  ListTime end;
  if (!json5_seconds(*end_value, end_text, end) || compare_list_times(end, start) < 0) {
    return LlcSegment::Unreadable;
  }
  if (selected != nullptr && selected->type == Json5Type::Boolean && !selected->boolean) {
    return LlcSegment::LeftOut;
  }
  keep_segment(context.builder, context.log, first_frame_from(start, context.clock),
               first_frame_from(end, context.clock));
  return LlcSegment::Kept;
}

// The lines of the text, for a project that cannot be read at all.
int count_lines(std::string_view text) {
  int lines = 0;
  for (std::size_t at = 0; at < text.size(); ++lines) {
    const std::size_t end = text.find('\n', at);
    at = end == std::string_view::npos ? text.size() : end + 1;
  }
  return lines;
}

// A project that cannot be read at all: every line of it unread, the line
// where reading stopped first.
bool nothing_read(CutListContext& context, std::string_view text, int line, const char* why) {
  // Nothing but blanks is an empty list, as for every kind.
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return true;
  context.log(LogLevel::Debug, "\t  line %d: %s\n", line, why);
  context.lines.unread.count = count_lines(text);
  context.lines.unread.first_line = line;
  return true;
}

}  // namespace

bool is_losslesscut_project(std::string_view first_bytes) {
  if (first_bytes.starts_with("\xEF\xBB\xBF")) first_bytes.remove_prefix(3);
  // Blanks and comments may come before the object.
  for (;;) {
    while (!first_bytes.empty() && is_blank(first_bytes.front())) first_bytes.remove_prefix(1);
    if (first_bytes.starts_with("//")) {
      const std::size_t end = first_bytes.find('\n');
      first_bytes.remove_prefix(end == std::string_view::npos ? first_bytes.size() : end);
    } else if (first_bytes.starts_with("/*")) {
      const std::size_t end = first_bytes.find("*/");
      if (end == std::string_view::npos) return false;
      first_bytes.remove_prefix(end + 2);
    } else {
      return first_bytes.starts_with('{');
    }
  }
}

bool read_losslesscut_project(CutListContext& context) {
  const Log& log = context.log;
  announce_kind(log, context.label);
  std::string text;
  if (!read_whole_list(context.file, text, log, context.list_name)) return false;
  Json5Value project;
  Json5Error error;
  if (!parse_json5(text, project, error))
    return nothing_read(context, text, error.line, error.what);
  const Json5Value* segments = json5_member(project, "cutSegments");
  if (segments == nullptr || segments->type != Json5Type::Array) {
    return nothing_read(context, text, project.line, "no list of cutSegments");
  }
  const Json5Value* media = json5_member(project, "mediaFileName");
  if (media != nullptr && media->type == Json5Type::String) context.recordings.add(media->text);

  LineTally unreadable;
  LineTally markers;
  for (const Json5Value& segment : segments->items) {
    switch (read_segment(context, segment)) {
      case LlcSegment::Kept:
        break;
      case LlcSegment::LeftOut:
        log(LogLevel::Debug, "\t  line %d: not selected, left out\n", segment.line);
        break;
      case LlcSegment::Marker:
        markers.add(segment.line);
        break;
      case LlcSegment::Unreadable:
        unreadable.add(segment.line);
        break;
    }
  }
  log(LogLevel::Debug, "\n");
  if (!markers.empty()) {
    log(LogLevel::Warning,
        "%d segments of %.*s have no end: markers, they keep nothing (first: line %d)\n",
        markers.count, static_cast<int>(context.list_name.size()), context.list_name.data(),
        markers.first_line);
  }
  // The project itself was read, even with no segment in it; only when
  // every segment was unreadable is nothing read.
  context.lines.any_read = segments->items.empty() ||
                           static_cast<std::size_t>(unreadable.count) < segments->items.size();
  context.lines.unread = unreadable;
  return true;
}

}  // namespace mendra
