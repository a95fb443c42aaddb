// Avidemux project scripts (".py"): the editor's state as the calls that
// rebuild it. What is kept comes from three kinds of line:
//   adm.loadVideo("rec.ts") / adm.appendVideo("more.ts")  the sources, each
//       at first kept whole;
//   adm.clearSegments() and adm.addSegment(ref, start_us, duration_us)
//       the segments of the edited video, in order, each from start_us for
//       duration_us microseconds of its source;
//   adm.markerA = us / adm.markerB = us  the part of the edited video that
//       is saved: [A, B) on its own time line.
// A kept stretch keeps the frames whose start time lies in it. Every other
// statement (codecs, filters, audio) and every '#' comment is passed over.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cutlist/cut_readers.h"
#include "cutlist/list_time.h"
#include "util/line_tally.h"
#include "util/scan.h"

namespace mendra {
namespace {

// Beyond this many microseconds (some 31 years) a value is no time but
// junk; the bound keeps every sum below far from the int64 limit.
constexpr std::int64_t kMaxMicroseconds = 1'000'000'000'000'000;
// "To the end": a source kept whole, or no marker B.
constexpr std::int64_t kEndless = INT64_MAX;

struct AdmSegment {
  std::int64_t start_us = 0;
  std::int64_t duration_us = kEndless;  // kEndless: the whole source from start_us
};

std::string_view trim_blanks(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

// Whole microseconds, digits only, within kMaxMicroseconds.
bool parse_microseconds(std::string_view text, std::int64_t& us) {
  text = trim_blanks(text);
  if (text.empty()) return false;
  us = 0;
  for (const char c : text) {
    if (!is_digit(c)) return false;
    us = us * 10 + (c - '0');
    if (us > kMaxMicroseconds) return false;
  }
  return true;
}

// The arguments between the parentheses that follow `call` in the line,
// split at the commas; false when the line does not close them.
bool call_arguments(std::string_view line, std::string_view call,
                    std::vector<std::string_view>& arguments) {
  const std::size_t open = line.find(call) + call.size();
  const std::size_t close = line.find(')', open);
  if (close == std::string_view::npos) return false;
  arguments.clear();
  std::string_view inside = line.substr(open, close - open);
  for (std::size_t comma = inside.find(','); comma != std::string_view::npos;
       comma = inside.find(',')) {
    arguments.push_back(inside.substr(0, comma));
    inside.remove_prefix(comma + 1);
  }
  arguments.push_back(inside);
  return true;
}

// A Python string literal at the start of `text` ("..." or '...', r"..."
// too), its escapes resolved.
bool python_string(std::string_view text, std::string& out) {
  text = trim_blanks(text);
  const bool raw = !text.empty() && (text[0] == 'r' || text[0] == 'R');
  if (raw) text.remove_prefix(1);
  if (text.empty() || (text[0] != '"' && text[0] != '\'')) return false;
  const char quote = text[0];
  out.clear();
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == quote) return true;
    if (c == '\\' && !raw && i + 1 < text.size()) {
      const char next = text[++i];
      if (next == '\\' || next == '"' || next == '\'') {
        out.push_back(next);
      } else {
        out.push_back('\\');  // Python keeps an unknown escape as written
        out.push_back(next);
      }
    } else {
      out.push_back(c);
    }
  }
  return false;  // the quote never closes
}

// Microseconds as decimal seconds on the clock, the first frame at or after
// them; kEndless is past every frame.
std::int32_t frame_at(std::int64_t us, const FrameClock& clock) {
  if (us == kEndless) return INT32_MAX;
  std::string storage;
  ListTime time;
  parse_scaled_seconds(std::to_string(us), 6, storage, time);
  return first_frame_from(time, clock);
}

// What the script sets, in the order it sets it.
struct AdmProject {
  std::vector<AdmSegment> segments;
  bool segments_set = false;  // clearSegments or addSegment was called
  std::int64_t marker_a = 0;
  std::int64_t marker_b = kEndless;
};

enum class AdmLine { Other, Read, Unreadable };

AdmLine read_statement(std::string_view line, AdmProject& project, NamedRecordings& recordings) {
  std::vector<std::string_view> arguments;
  if (line.find("adm.loadVideo(") != std::string_view::npos ||
      line.find("adm.appendVideo(") != std::string_view::npos) {
    const std::string_view call = line.find("adm.loadVideo(") != std::string_view::npos
                                      ? "adm.loadVideo("
                                      : "adm.appendVideo(";
    std::string path;
    if (!python_string(line.substr(line.find(call) + call.size()), path))
      return AdmLine::Unreadable;
    recordings.add(path);
    // A source is kept whole until the script says which parts of it.
    if (!project.segments_set) project.segments.push_back(AdmSegment{});
    return AdmLine::Read;
  }
  if (line.find("adm.clearSegments(") != std::string_view::npos) {
    project.segments.clear();
    project.segments_set = true;
    return AdmLine::Read;
  }
  if (line.find("adm.addSegment(") != std::string_view::npos) {
    std::int64_t ref = 0;
    AdmSegment segment;
    if (!call_arguments(line, "adm.addSegment(", arguments) || arguments.size() != 3 ||
        !parse_microseconds(arguments[0], ref) ||
        !parse_microseconds(arguments[1], segment.start_us) ||
        !parse_microseconds(arguments[2], segment.duration_us)) {
      return AdmLine::Unreadable;
    }
    project.segments.push_back(segment);
    project.segments_set = true;
    return AdmLine::Read;
  }
  for (const auto& [name, marker] :
       {std::pair{std::string_view("adm.markerA"), &project.marker_a},
        std::pair{std::string_view("adm.markerB"), &project.marker_b}}) {
    const std::size_t at = line.find(name);
    if (at == std::string_view::npos) continue;
    std::string_view rest = trim_blanks(line.substr(at + name.size()));
    if (rest.empty() || rest[0] != '=') return AdmLine::Unreadable;
    return parse_microseconds(rest.substr(1), *marker) ? AdmLine::Read : AdmLine::Unreadable;
  }
  return AdmLine::Other;
}

// The segments laid one after another on the edited video's time line,
// each kept where it lies inside [A, B), at its place in its source. The
// markers are at most kMaxMicroseconds, so no difference below wraps.
void keep_within_markers(CutListContext& context, const AdmProject& project) {
  context.log(LogLevel::Debug, "\t  markers:\tA=%lld\tB=%lld\n",
              static_cast<long long>(project.marker_a),
              static_cast<long long>(project.marker_b == kEndless ? -1 : project.marker_b));
  // Where the segment begins on the edited time line; after a source kept
  // whole its length is unknown, and what follows lies past every marker B.
  std::int64_t at = 0;
  for (const AdmSegment& segment : project.segments) {
    const std::int64_t length = segment.duration_us;
    // The stretch of the segment that is saved, from its own start.
    const std::int64_t skip = std::max<std::int64_t>(0, project.marker_a - at);
    const std::int64_t keep_to =
        project.marker_b == kEndless ? length : std::min(length, project.marker_b - at);
    if (skip < keep_to) {
      keep_segment(
          context.builder, context.log, frame_at(segment.start_us + skip, context.clock),
          frame_at(keep_to == kEndless ? kEndless : segment.start_us + keep_to, context.clock));
    }
    at = length == kEndless || length > kEndless - at ? kEndless : at + length;
  }
}

}  // namespace

bool read_avidemux_project(CutListContext& context) {
  const Log& log = context.log;
  announce_kind(log, context.label);
  AdmProject project;
  std::string line;
  LineTally unreadable;
  int line_number = 0;
  bool any_read = false;
  while (context.file.read_line(line)) {
    ++line_number;
    const std::string_view statement = trim_blanks(line);
    if (statement.empty() || statement[0] == '#') continue;
    switch (read_statement(statement, project, context.recordings)) {
      case AdmLine::Other:
        break;
      case AdmLine::Read:
        any_read = true;
        break;
      case AdmLine::Unreadable:
        unreadable.add(line_number);
        break;
    }
  }
  keep_within_markers(context, project);
  log(LogLevel::Debug, "\n");
  context.lines.any_read = any_read;
  context.lines.unread = unreadable;
  return true;
}

}  // namespace mendra
