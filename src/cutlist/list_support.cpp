#include "cutlist/list_support.h"

#include <cctype>
#include <cstdint>
#include <utility>

#include "util/text_encoding.h"

namespace mendra {
namespace {

// One duration of the summary as hours:minutes:seconds.milliseconds. The
// hour field runs modulo 60 like the other two; negative counts (from ranges
// given backwards) print their fields with a minus sign each.
struct SummaryTime {
  int hours;
  int minutes;
  int seconds;
  int millis;
};

SummaryTime split_ms(std::int32_t ms) {
  // Division truncates toward zero, and no step can overflow: every divisor
  // is positive and larger than 1.
  return SummaryTime{ms / 1000 / 60 / 60 % 60, ms / 1000 / 60 % 60, ms / 1000 % 60, ms % 1000};
}

// The file name of a path as lists write them, with '/' or '\\' between
// folders (Windows tools write the latter).
std::string_view file_name_of(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view without_extension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string joined_names(const NamedRecordings& named) {
  std::string text;
  for (const std::string& name : named.names) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  if (named.more > 0) text += " and " + std::to_string(named.more) + " more";
  return text;
}

}  // namespace

void skip_utf8_bom(TextReader& file) {
  // Reads as far as the bytes agree with the mark and puts back what was
  // read when they part.
  int read[3] = {};
  std::size_t matched = 0;
  while (matched < kUtf8ByteOrderMark.size()) {
    read[matched] = file.get();
    if (read[matched] != static_cast<unsigned char>(kUtf8ByteOrderMark[matched])) {
      for (std::size_t i = matched + 1; i-- > 0;) file.unget(read[i]);
      return;
    }
    ++matched;
  }
}

void rewind_list(TextReader& file) {
  file.rewind();
  skip_utf8_bom(file);
}

void report_no_cuts_read(const Log& log, std::string_view list_name, const LineTally& unreadable) {
  log(LogLevel::Error, "no cuts could be read from %.*s (%d lines, first: line %d)\n",
      static_cast<int>(list_name.size()), list_name.data(), unreadable.count,
      unreadable.first_line);
}

void report_lines_unread(const Log& log, std::string_view list_name, const LineTally& unreadable) {
  log(LogLevel::Warning, "%d lines of %.*s could not be read (first: line %d)\n", unreadable.count,
      static_cast<int>(list_name.size()), list_name.data(), unreadable.first_line);
}

LineTally count_text_lines(TextReader& file) {
  rewind_list(file);
  LineTally text;
  std::string_view line;
  for (int line_number = 1; file.next_line(line); ++line_number) {
    const std::size_t first = line.find_first_not_of(" \t\r\n\v\f");
    if (first != std::string_view::npos && line[first] != '#') text.add(line_number);
  }
  rewind_list(file);
  return text;
}

bool read_whole_list(TextReader& file, std::string& text, const Log& log,
                     std::string_view list_name) {
  text.clear();
  // In pieces, so that not even one endless line is held beyond the limit.
  constexpr std::size_t kPieceBytes = std::size_t{64} * 1024;
  std::string line;
  while (file.read_piece(line, kPieceBytes)) {
    if (line.size() > kWholeListMaxBytes - text.size()) {
      log(LogLevel::Error, "cut list too large: %.*s (more than %d MiB)\n",
          static_cast<int>(list_name.size()), list_name.data(),
          static_cast<int>(kWholeListMaxBytes >> 20));
      return false;
    }
    text.append(line);
  }
  return true;
}

void keep_segment(CutMapBuilder& builder, const Log& log, std::int32_t first, std::int32_t end) {
  if (end == INT32_MAX) {
    // A start past the end of the frame axis leaves nothing to keep.
    if (first > kOpenEndFrame) return;
    log(LogLevel::Debug, "\t  kept:\ts=%d\te=%d\n", first, kOpenEndFrame);
    builder.add_kept_to_end(first);
    return;
  }
  // end - 1 cannot wrap: end is a frame number from 0 on.
  log(LogLevel::Debug, "\t  kept:\ts=%d\te=%d\n", first, end - 1);
  if (end > first) builder.add_kept(first, end - 1);
}

void NamedRecordings::add(std::string_view path) {
  std::string file(file_name_of(path));
  for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (told.size() >= kMaxTold) {
    if (told.count(file) == 0 && more < INT32_MAX) ++more;
    return;
  }
  if (!told.insert(std::move(file)).second) return;
  if (names.size() < kShown) {
    names.emplace_back(path);
  } else {
    ++more;
  }
}

bool names_same_recording(std::string_view named, std::string_view recording) {
  const std::string_view named_base = without_extension(file_name_of(named));
  const std::string_view recording_base = without_extension(file_name_of(recording));
  if (same_ignoring_case(named_base, recording_base)) return true;
  return recording_base.size() > named_base.size() && recording_base[named_base.size()] == '.' &&
         same_ignoring_case(recording_base.substr(0, named_base.size()), named_base);
}

void report_named_recordings(const Log& log, std::string_view list_name, std::string_view recording,
                             const NamedRecordings& named) {
  if (named.names.size() + static_cast<std::size_t>(named.more) > 1) {
    log(LogLevel::Warning, "%.*s names several recordings: %s\n",
        static_cast<int>(list_name.size()), list_name.data(), joined_names(named).c_str());
    return;
  }
  if (named.names.empty() || recording.empty() ||
      names_same_recording(named.names.front(), recording)) {
    return;
  }
  log(LogLevel::Warning, "%.*s names another recording than %.*s: %s\n",
      static_cast<int>(list_name.size()), list_name.data(), static_cast<int>(recording.size()),
      recording.data(), named.names.front().c_str());
}

void print_cut_summary(const CutCounters& counters, const FrameClock& clock, const Log& log) {
  // Exact durations, truncated toward zero; durations beyond the int range
  // saturate.
  const SummaryTime kept = split_ms(clock_time_ms(clock, counters.kept_time));
  const SummaryTime cut = split_ms(clock_time_ms(clock, counters.cut_time));
  log(LogLevel::Info, "   ---- cut info ----\n");
  log(LogLevel::Info, "\tTotal  frame: %d  \ttime: %02d:%02d:%02d.%03d\n", counters.kept_frames,
      kept.hours, kept.minutes, kept.seconds, kept.millis);
  log(LogLevel::Info, "\t cut   frame: %d  \ttime: %02d:%02d:%02d.%03d\n", counters.cut_frames,
      cut.hours, cut.minutes, cut.seconds, cut.millis);
  log(LogLevel::Info, "\n");
}

}  // namespace mendra
