// mpv EDLs: a first line "# mpv EDL v0", then one segment of a source file
// per entry, "file,start,length" in seconds, entries ending at a line end
// or a ';'. Parameters may be named ("start=10", "length=20") and a value
// may be guarded by its length ("%18%name,with,commas.ts"). A missing start
// is 0 and a missing length runs to the end of the file. The segments are
// what is kept, in the order given; each keeps the frames whose start time
// lies in [start, start + length). Lines beginning with '#' are comments,
// and those with '!' header entries: after a "!new_stream" that follows
// segments, the entries are another stream played alongside (a separate
// audio track), not more of the picture, and are not read.
#include <cstdint>
#include <string>
#include <string_view>

#include "cutlist/cut_readers.h"
#include "cutlist/list_time.h"
#include "util/line_tally.h"
#include "util/scan.h"

namespace mendra {
namespace {

constexpr std::string_view kMpvEdlHeader = "# mpv EDL v0";

// A length-guarded value longer than this is no file name but junk.
constexpr std::size_t kMaxGuardedBytes = std::size_t{1} << 20;

// A cursor over the whole list that counts the lines it passes.
struct EdlCursor {
  std::string_view text;
  std::size_t pos = 0;
  int line = 1;

  bool at_end() const { return pos >= text.size(); }
  char peek() const { return text[pos]; }
  // Moves past `count` bytes, counting the line ends among them.
  void advance(std::size_t count) {
    for (std::size_t end = pos + count; pos < end; ++pos) {
      if (text[pos] == '\n') ++line;
    }
  }
  // To the end of the line, its line end not taken.
  void skip_line() {
    while (!at_end() && peek() != '\n') ++pos;
  }
};

bool ends_entry(char c) {
  return c == ',' || c == ';' || c == '\n';
}

// One parameter, [name '='] (value | '%' count '%' bytes), and the ',' after
// it; false when it cannot be read.
bool read_param(EdlCursor& at, std::string_view& name, std::string_view& value) {
  name = {};
  std::size_t end = at.pos;
  while (end < at.text.size() && !ends_entry(at.text[end]) && at.text[end] != '=' &&
         at.text[end] != '%') {
    ++end;
  }
  if (end < at.text.size() && at.text[end] == '=') {
    name = at.text.substr(at.pos, end - at.pos);
    at.pos = end + 1;
  }
  if (!at.at_end() && at.peek() == '%') {
    const std::size_t close = at.text.find('%', at.pos + 1);
    if (close == std::string_view::npos) return false;
    std::int32_t count = 0;
    if (!parse_frame_number(at.text.substr(at.pos + 1, close - at.pos - 1), count) ||
        static_cast<std::size_t>(count) > kMaxGuardedBytes ||
        static_cast<std::size_t>(count) > at.text.size() - close - 1) {
      return false;
    }
    value = at.text.substr(close + 1, static_cast<std::size_t>(count));
    at.pos = close + 1;
    at.advance(value.size());  // a guarded value may hold line ends
    if (!at.at_end() && !ends_entry(at.peek())) return false;
  } else {
    const std::size_t start = at.pos;
    while (!at.at_end() && !ends_entry(at.peek())) ++at.pos;
    value = at.text.substr(start, at.pos - start);
  }
  if (!at.at_end() && at.peek() == ',') ++at.pos;
  return true;
}

// What one segment entry says.
struct MpvSegment {
  std::string_view file;
  std::string_view start;   // empty: 0
  std::string_view length;  // empty: to the end of the file
  bool in_seconds = true;   // false for timestamps=chapters and the like
};

// Reads the parameters of an entry up to its ';' or line end (not taken).
bool read_segment(EdlCursor& at, MpvSegment& segment) {
  int position = 0;
  for (;;) {
    if (at.at_end() || at.peek() == ';' || at.peek() == '\n') return true;
    std::string_view name;
    std::string_view value;
    if (!read_param(at, name, value)) return false;
    // A parameter without a name takes that of its place in the entry,
    // counted over all parameters.
    if (name.empty()) {
      name = position == 0 ? "file" : position == 1 ? "start" : position == 2 ? "length" : "";
    }
    ++position;
    if (name == "file") segment.file = value;
    if (name == "start") segment.start = value;
    if (name == "length") segment.length = value;
    if (name == "timestamps") segment.in_seconds = value == "seconds";
  }
}

// A header entry, '!' and its name with any parameters; the name is given
// back.
bool read_header(EdlCursor& at, std::string_view& header) {
  ++at.pos;  // '!'
  const std::size_t start = at.pos;
  while (!at.at_end() && !ends_entry(at.peek())) ++at.pos;
  header = at.text.substr(start, at.pos - start);
  if (!at.at_end() && at.peek() == ',') {
    ++at.pos;
    MpvSegment ignored;
    return read_segment(at, ignored);
  }
  return true;
}

// Keeps the segment; false when its times cannot be read.
bool keep_mpv_segment(CutListContext& context, const MpvSegment& segment) {
  if (segment.file.empty() || !segment.in_seconds) return false;
  ListTime start;
  if (!segment.start.empty() && !parse_clock_seconds(segment.start, start)) return false;
  const std::int32_t first = first_frame_from(start, context.clock);
  std::int32_t end = INT32_MAX;  // no length: to the end of the file
  if (!segment.length.empty()) {
    ListTime length;
    if (!parse_clock_seconds(segment.length, length)) return false;
    std::string sum;
    end = first_frame_from(add_list_times(start, length, sum), context.clock);
  }
  context.recordings.add(segment.file);
  keep_segment(context.builder, context.log, first, end);
  return true;
}

}  // namespace

bool is_mpv_edl(std::string_view first_bytes) {
  if (first_bytes.starts_with("\xEF\xBB\xBF")) first_bytes.remove_prefix(3);
  if (!first_bytes.starts_with(kMpvEdlHeader)) return false;
  const std::string_view rest = first_bytes.substr(kMpvEdlHeader.size());
  return rest.empty() || rest.starts_with("\n") || rest.starts_with("\r\n");
}

bool read_mpv_edl(CutListContext& context) {
  const Log& log = context.log;
  announce_kind(log, context.label);
  std::string text;
  if (!read_whole_list(context.file, text, log, context.list_name)) return false;
  EdlCursor at{text};
  LineTally unreadable;
  int last_unreadable = 0;
  bool any_read = false;  // a segment or a header entry
  bool any_segment = false;
  bool other_stream = false;
  while (!at.at_end()) {
    const char c = at.peek();
    if (c == '\n') {
      at.advance(1);
      continue;
    }
    if (c == ';') {
      ++at.pos;
      continue;
    }
    if (c == '#') {  // a comment, the header line among them
      at.skip_line();
      continue;
    }
    const int entry_line = at.line;
    bool readable = true;
    if (c == '!') {
      std::string_view header;
      readable = read_header(at, header);
      if (readable && header == "new_stream" && any_segment && !other_stream) {
        other_stream = true;
        log(LogLevel::Debug, "\t  line %d: another stream from here on, not read\n", entry_line);
      }
    } else {
      MpvSegment segment;
      readable = read_segment(at, segment) && (other_stream || keep_mpv_segment(context, segment));
      any_segment = any_segment || readable;
    }
    if (readable) {
      any_read = true;
      continue;
    }
    // The rest of the line cannot be told apart from the broken entry.
    at.skip_line();
    if (entry_line != last_unreadable) unreadable.add(entry_line);
    last_unreadable = entry_line;
  }
  log(LogLevel::Debug, "\n");
  context.lines.any_read = any_read;
  context.lines.unread = unreadable;
  return true;
}

}  // namespace mendra
