#include "chapter/chapters.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "chapter/chapter_format.h"
#include "cutlist/cut_map_builder.h"
#include "time/pipeline.h"
#include "time/remap_table.h"
#include "util/file_failure.h"
#include "util/input_file.h"
#include "util/path.h"
#include "util/scan.h"
#include "util/text_encoding.h"
#include "util/text_reader.h"

namespace mendra {
namespace {

// The formats in the order their contents are tried; OGM last, as its
// "CHAPTER01=" is the least particular.
constexpr ChapterFormat kFormats[] = {
    {".xml", "Matroska chapters", is_matroska_chapters, read_matroska_chapters, matroska_time_text,
     TimeUnit{1, 1000000}, write_matroska_marks},
    {".ffmeta", "FFmpeg metadata", is_ffmetadata, read_ffmetadata_chapters, ffmetadata_time_text,
     TimeUnit{1, 1}, write_ffmetadata_marks},
    {".txt", "OGM chapters", is_ogm_chapters, read_ogm_chapters, ogm_time_text, TimeUnit{1, 1},
     write_ogm_marks},
};

// Chapter files are read whole; more is no chapter file but junk.
constexpr std::size_t kMaxChapterFileBytes = std::size_t{16} << 20;

// How many chapters a warning names before it only counts the rest, and
// how much of each name it shows.
constexpr std::size_t kNamesShown = 4;
constexpr std::size_t kNameBytesShown = 60;

constexpr std::string_view kInputRole = "input chapters";
constexpr std::string_view kOutputRole = "output chapters";
constexpr std::string_view kStandardStream = "-";

__extension__ using Wide = __int128;

bool same_letters(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

bool same_extension(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, same_letters);
}

// What becomes of one chapter.
struct Decision {
  bool kept = false;
  bool on_later_time = false;  // left out: a later chapter of its group lands on its time
  std::int64_t start = 0;
  std::int64_t end = 0;
  FineCutTime exact_start;  // on the cut video's clock
};

// A time as an exact fraction of a millisecond, in lowest terms.
std::pair<Wide, Wide> exact_ms(std::int64_t count, TimeUnit unit) {
  Wide num = Wide{count} * unit.num;
  Wide den = unit.den;
  Wide a = num < 0 ? -num : num;
  Wide b = den;
  while (b != 0) {
    const Wide rest = a % b;
    a = b;
    b = rest;
  }
  if (a > 1) {
    num /= a;
    den /= a;
  }
  return {num, den};
}

// The chapters through the pipeline, and the rules of what is kept.
std::vector<Decision> decide(const std::vector<Chapter>& chapters, const TimePipeline& pipeline) {
  std::vector<Decision> decisions(chapters.size());
  for (std::size_t i = 0; i < chapters.size(); ++i) {
    const Chapter& chapter = chapters[i];
    Decision& decision = decisions[i];
    const FineCutTime start = map_time_in_units(pipeline, chapter.start.count, chapter.unit, true);
    // A start past the last kept frame lies after the end of the cut video.
    if (!start.cut.placed) continue;
    decision.kept = true;
    decision.exact_start = start;
    decision.start = written_units(pipeline, start, chapter.unit);
    if (chapter.has_end) {
      const FineCutTime end = map_time_in_units(pipeline, chapter.end.count, chapter.unit, false);
      decision.end = written_units(pipeline, end, chapter.unit);
    }
  }
  // The last of the chapters of a group on one time is kept: it marks what
  // follows the cut. One time is the same time as written (of units that
  // differ, compared as exact fractions of a millisecond) or the same time
  // of the cut video (a cut point, whatever the units make of it).
  std::set<std::tuple<std::size_t, Wide, Wide>> written;
  std::set<std::tuple<std::size_t, std::int64_t, std::int64_t, std::int64_t>> exact;
  for (std::size_t i = chapters.size(); i-- > 0;) {
    Decision& decision = decisions[i];
    if (!decision.kept) continue;
    const std::size_t group = chapters[i].group;
    const auto [num, den] = exact_ms(decision.start, chapters[i].unit);
    const FineCutTime& start = decision.exact_start;
    const bool new_written = written.emplace(group, num, den).second;
    const bool new_exact =
        exact.emplace(group, start.cut.time.ticks, start.rest, start.rest_den).second;
    if (!new_written || !new_exact) {
      decision.kept = false;
      decision.on_later_time = true;
    }
  }
  return decisions;
}

// A chapter inside one that is left out (nested Matroska chapters) goes
// with it. The parts left out are nested or apart, never overlapping.
void leave_out_nested(const std::vector<Chapter>& chapters, std::vector<Decision>& decisions) {
  std::vector<TextSpan> removed;
  for (std::size_t i = 0; i < chapters.size(); ++i) {
    if (decisions[i].kept) continue;
    for (std::size_t p = 0; p < chapters[i].part_count; ++p)
      removed.push_back(chapters[i].parts[p]);
  }
  if (removed.empty()) return;
  std::ranges::sort(removed, {}, &TextSpan::begin);
  // The outermost spans, apart from each other and in order.
  std::vector<TextSpan> outer;
  for (const TextSpan& span : removed) {
    if (!outer.empty() && span.begin < outer.back().end) {
      outer.back().end = std::max(outer.back().end, span.end);
    } else {
      outer.push_back(span);
    }
  }
  for (std::size_t i = 0; i < chapters.size(); ++i) {
    if (!decisions[i].kept || chapters[i].part_count == 0) continue;
    const TextSpan part = chapters[i].parts[0];
    const auto after = std::ranges::upper_bound(outer, part.begin, {}, &TextSpan::begin);
    if (after == outer.begin()) continue;
    const TextSpan& before = *(after - 1);
    if (part.begin >= before.begin && part.end <= before.end) decisions[i].kept = false;
  }
}

struct Edit {
  TextSpan span;
  std::string text;
};

std::string padded_number(int number, std::size_t digits) {
  std::string text = std::to_string(number);
  if (text.size() < digits) text.insert(0, digits - text.size(), '0');
  return text;
}

// The new text: every kept chapter's new times and numbers, without the
// chapters left out, every other byte as it was.
std::string edited_text(std::string_view text, const ChapterFormat& format,
                        const std::vector<Chapter>& chapters,
                        const std::vector<Decision>& decisions) {
  std::vector<Edit> edits;
  int number = 0;
  for (std::size_t i = 0; i < chapters.size(); ++i) {
    const Chapter& chapter = chapters[i];
    const Decision& decision = decisions[i];
    if (!decision.kept) {
      for (std::size_t p = 0; p < chapter.part_count; ++p) edits.push_back({chapter.parts[p], ""});
      continue;
    }
    edits.push_back({chapter.start.text, format.time_text(decision.start)});
    if (chapter.has_end) edits.push_back({chapter.end.text, format.time_text(decision.end)});
    if (chapter.number_count > 0) ++number;
    for (std::size_t n = 0; n < chapter.number_count; ++n) {
      const TextSpan span = chapter.numbers[n];
      edits.push_back({span, padded_number(number, span.end - span.begin)});
    }
  }
  std::ranges::stable_sort(edits, {}, [](const Edit& edit) { return edit.span.begin; });
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  for (const Edit& edit : edits) {
    // An edit inside a part already left out goes with it.
    if (edit.span.begin < at) continue;
    out.append(text.substr(at, edit.span.begin - at));
    out += edit.text;
    at = edit.span.end;
  }
  out.append(text.substr(at));
  return out;
}

// A name as a message shows it: its first line, cut short, quoted.
std::string shown_name(const Chapter& chapter) {
  std::string_view name = chapter.name.substr(0, chapter.name.find_first_of("\r\n"));
  std::string shown;
  const bool quoted = !name.empty();
  if (quoted) {
    const bool long_name = name.size() > kNameBytesShown;
    if (long_name) {
      std::size_t cut = kNameBytesShown;
      // Not inside a UTF-8 sequence.
      while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
      name = name.substr(0, cut);
    }
    shown += '"';
    shown += name;
    if (long_name) shown += "...";
    shown += "\" (";
  }
  shown += "line ";
  shown += std::to_string(chapter.line);
  if (quoted) shown += ')';
  return shown;
}

void report_left_on_later_time(const std::vector<Chapter>& chapters,
                               const std::vector<Decision>& decisions, std::string_view name,
                               const Log& log) {
  std::string names;
  std::size_t count = 0;
  for (std::size_t i = 0; i < chapters.size(); ++i) {
    if (!decisions[i].on_later_time) continue;
    if (++count <= kNamesShown) names += (count > 1 ? ", " : "") + shown_name(chapters[i]);
  }
  if (count == 0) return;
  if (count > kNamesShown) names += " and " + std::to_string(count - kNamesShown) + " more";
  log(LogLevel::Warning,
      "%zu chapters of %.*s land on the time of a later chapter and are left out: %s\n", count,
      static_cast<int>(name.size()), name.data(), names.c_str());
}

// The file read whole, its line ends as read; false when it is too large.
bool read_whole(TextReader& in, std::string_view name, const Log& log, std::string& text) {
  std::string_view line;
  while (in.next_line(line)) {
    if (line.size() > kMaxChapterFileBytes - text.size()) {
      log(LogLevel::Error, "chapter file too large: %.*s (more than %d MiB)\n",
          static_cast<int>(name.size()), name.data(), static_cast<int>(kMaxChapterFileBytes >> 20));
      return false;
    }
    text.append(line);
  }
  return true;
}

// Reads, re-times and writes one chapter file; `name` is the file as
// messages name it.
ChapterOutcome retime_open(TextReader& in, std::string_view name, const CutMap& map,
                           const Timing& timing, const Log& log, ChapterCounts& counts,
                           OutputFile& file) {
  counts = ChapterCounts{};
  std::string text;
  if (!read_whole(in, name, log, text)) return ChapterOutcome::Failed;
  if (in.read_failed()) {
    report_file_failure(log,
                        FileFailure{kInputRole, FileAction::Read, name, name, in.error_number()});
    return ChapterOutcome::Failed;
  }
  const std::size_t mark = starts_with_utf8_bom(text) ? kUtf8ByteOrderMark.size() : 0;
  const std::string_view body = std::string_view(text).substr(mark);
  const ChapterFormat* format = sniff_chapter_format(body);
  if (format == nullptr) {
    log(LogLevel::Error,
        "not a chapter file: %.*s (OGM chapters, Matroska chapter XML or FFmpeg metadata)\n",
        static_cast<int>(name.size()), name.data());
    return ChapterOutcome::Failed;
  }
  ChapterRead read;
  if (!format->read(body, read)) {
    log(LogLevel::Error, "chapter file %.*s, line %d: %s\n", static_cast<int>(name.size()),
        name.data(), read.error_line, read.error.c_str());
    return ChapterOutcome::Failed;
  }
  if (read.chapters.empty() && !read.unread.empty()) {
    log(LogLevel::Error, "no chapter times could be read in %.*s (first: line %d)\n",
        static_cast<int>(name.size()), name.data(), read.unread.first_line);
    return ChapterOutcome::Failed;
  }
  const TimePipeline pipeline = make_time_pipeline(map, timing);
  std::vector<Decision> decisions = decide(read.chapters, pipeline);
  leave_out_nested(read.chapters, decisions);
  if (!read.unread.empty()) {
    log(LogLevel::Warning, "%d lines of %.*s were not re-timed (first: line %d)\n",
        read.unread.count, static_cast<int>(name.size()), name.data(), read.unread.first_line);
  }
  report_left_on_later_time(read.chapters, decisions, name, log);
  for (const Decision& decision : decisions) ++(decision.kept ? counts.kept : counts.left_out);
  // A UTF-16 text is written in its own encoding, its mark in front.
  file.set_encoding(in.encoding());
  if (in.encoding() != TextEncoding::Utf8) file.write(kUtf8ByteOrderMark);
  file.write(std::string_view(text).substr(0, mark));
  file.write(edited_text(body, *format, read.chapters, decisions));
  return ChapterOutcome::Written;
}

// A kept stretch of the map: frames first to before end; end unknown when
// the list leaves it open and the clock does not say where the video ends.
struct Stretch {
  std::int64_t first = 0;
  std::int64_t end = 0;
  bool end_known = true;
  std::size_t pair = 0;
};

std::vector<Stretch> kept_stretches(const CutMap& map, const FrameClock& clock) {
  std::vector<Stretch> stretches;
  const std::size_t n = map.size();
  for (std::size_t i = 0; n >= 1 && i + 2 < n; i += 2) {
    Stretch stretch{std::int64_t{map[i + 1]} + 1, map[i + 2], true, i / 2};
    if (stretch.end <= stretch.first) continue;
    if (stretch.end - 1 >= kOpenEndFrame) {
      stretch.end_known = says_where_video_ends(clock) && known_frames(clock) > stretch.first;
      stretch.end = stretch.end_known ? known_frames(clock) : stretch.first + 1;
    }
    stretches.push_back(stretch);
  }
  return stretches;
}

// The cut video's start of a source frame of the stretch (`frame` from
// its first to its end), as a time at a frame start.
FineCutTime stretch_time(const RemapTable& table, const FrameClock& clock, const Stretch& stretch,
                         std::int64_t frame) {
  const RemapTable::PairTimes& pair = table.pair_times[stretch.pair];
  const auto cut_of = [&](std::int64_t source) {
    return ClockTime{pair.cut_first.ticks +
                     (frame_start(clock, source).ticks - pair.source_first.ticks)};
  };
  FineCutTime time;
  time.cut.placed = true;
  time.cut.at_cut = true;
  time.cut.time = cut_of(frame);
  time.cut.frame_above = time.cut.time;
  if (frame > stretch.first) {
    time.cut.frame_below = cut_of(frame - 1);
    time.cut.has_frame_below = true;
  } else if (pair.has_previous) {
    time.cut.frame_below = ClockTime{pair.cut_first.ticks - pair.previous_duration.ticks};
    time.cut.has_frame_below = true;
  }
  return time;
}

}  // namespace

LineStarts::LineStarts(std::string_view text) {
  starts.push_back(0);
  for (std::size_t at = text.find('\n'); at != std::string_view::npos;
       at = text.find('\n', at + 1)) {
    starts.push_back(at + 1);
  }
}

int LineStarts::line_of(std::size_t offset) const {
  const auto after = std::ranges::upper_bound(starts, offset);
  return static_cast<int>(after - starts.begin());
}

std::string clock_time_text(std::int64_t count, int digits) {
  std::int64_t per_second = 1;
  for (int i = 0; i < digits; ++i) per_second *= 10;
  if (count < 0) count = 0;
  const std::int64_t seconds = count / per_second;
  char text[64];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%0*lld",
                static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                static_cast<long long>(seconds % 60), digits,
                static_cast<long long>(count % per_second));
  return text;
}

bool parse_clock_time(std::string_view text, int digits, std::int64_t& count) {
  constexpr std::int64_t kMaxHours = 1000000;
  std::int64_t hours = 0;
  std::size_t at = 0;
  while (at < text.size() && is_digit(text[at])) {
    hours = hours * 10 + (text[at] - '0');
    if (hours > kMaxHours) return false;
    ++at;
  }
  const auto two_digits = [&](std::int64_t& value) {
    if (at + 3 > text.size() || text[at] != ':' || !is_digit(text[at + 1]) ||
        !is_digit(text[at + 2])) {
      return false;
    }
    value = (text[at + 1] - '0') * 10 + (text[at + 2] - '0');
    at += 3;
    return value < 60;
  };
  std::int64_t minutes = 0;
  std::int64_t seconds = 0;
  if (at == 0 || !two_digits(minutes) || !two_digits(seconds)) return false;
  std::int64_t fraction = 0;
  int read_digits = 0;
  if (at < text.size() && text[at] == '.') {
    ++at;
    while (at < text.size() && is_digit(text[at]) && read_digits < digits) {
      fraction = fraction * 10 + (text[at++] - '0');
      ++read_digits;
    }
    if (read_digits == 0) return false;
  }
  if (at != text.size()) return false;
  for (int i = read_digits; i < digits; ++i) fraction *= 10;
  std::int64_t per_second = 1;
  for (int i = 0; i < digits; ++i) per_second *= 10;
  count = ((hours * 60 + minutes) * 60 + seconds) * per_second + fraction;
  return true;
}

std::span<const ChapterFormat> chapter_formats() {
  return kFormats;
}

const ChapterFormat* find_chapter_format(std::string_view extension) {
  for (const ChapterFormat& format : kFormats) {
    if (same_extension(extension, format.extension)) return &format;
  }
  return nullptr;
}

const ChapterFormat* sniff_chapter_format(std::string_view first_bytes) {
  if (starts_with_utf8_bom(first_bytes)) first_bytes.remove_prefix(kUtf8ByteOrderMark.size());
  for (const ChapterFormat& format : kFormats) {
    if (format.recognise(first_bytes)) return &format;
  }
  return nullptr;
}

bool is_chapter_input(std::string_view extension) {
  return same_extension(extension, ".xml") || same_extension(extension, ".ffmeta");
}

bool names_chapter_format(std::string_view extension) {
  return find_chapter_format(extension) != nullptr;
}

ChapterOutcome retime_chapters_into(const std::string& in_path, const std::string& out_path,
                                    const CutMap& map, const Timing& timing, const Log& log,
                                    ChapterCounts& counts, OutputFile& out) {
  counts = ChapterCounts{};
  TextReader in;
  in.set_keep_crlf(true);
  if (!in.open(in_path)) {
    report_file_failure(
        log, FileFailure{kInputRole, FileAction::Open, path_without_extension(in_path), in_path,
                         open_error_number(in_path)});
    return ChapterOutcome::InputMissing;
  }
  if (out_path == kStandardStream) {
    out.open_standard_output();
  } else if (!out.open(out_path)) {
    report_file_failure(
        log, FileFailure{kOutputRole, FileAction::Open, path_without_extension(out_path), out_path,
                         out.error_number()});
    return ChapterOutcome::Failed;
  }
  const ChapterOutcome outcome = retime_open(in, in_path, map, timing, log, counts, out);
  if (outcome != ChapterOutcome::Written) out.discard();
  return outcome;
}

ChapterOutcome retime_chapter_text(std::string_view input, std::string_view name, const CutMap& map,
                                   const Timing& timing, const Log& log, ChapterCounts& counts,
                                   std::string& output) {
  output.clear();
  TextReader in;
  in.set_keep_crlf(true);
  in.open_memory(input);
  OutputFile file;
  file.open_string(output);
  const ChapterOutcome outcome = retime_open(in, name, map, timing, log, counts, file);
  if (outcome != ChapterOutcome::Written) {
    file.discard();
    output.clear();
    return outcome;
  }
  file.commit();
  return outcome;
}

bool prepare_chapter_marks(const std::string& path, const CutMap& map, const FrameClock& clock,
                           const SpeedStep& speed, const Log& log, OutputFile& file,
                           int& chapters) {
  const ChapterFormat* format = find_chapter_format(split_path(path).extension);
  if (format == nullptr) {
    log(LogLevel::Error, "not written: %s: name chapters .txt, .xml or .ffmeta\n", path.c_str());
    return false;
  }
  const RemapTable table = make_remap_table(map, clock);
  // The cut video plays at the new speed of a -fps-change.
  AfterCut at_speed = after_cut(ticks_per_ms(clock));
  add_step(at_speed, speed);
  std::vector<ChapterMark> marks;
  for (const Stretch& stretch : kept_stretches(map, clock)) {
    ChapterMark mark;
    const TimeUnit unit = format->mark_unit;
    mark.start =
        written_units(at_speed, clock, stretch_time(table, clock, stretch, stretch.first), unit);
    mark.has_end = stretch.end_known;
    if (mark.has_end) {
      mark.end =
          written_units(at_speed, clock, stretch_time(table, clock, stretch, stretch.end), unit);
    }
    marks.push_back(mark);
  }
  if (!file.open(path)) {
    report_file_failure(log, FileFailure{kOutputRole, FileAction::Open,
                                         path_without_extension(path), path, file.error_number()});
    return false;
  }
  std::string text;
  format->write_marks(marks, text);
  file.write(text);
  chapters = static_cast<int>(marks.size());
  return true;
}

void report_chapters_failure(const std::string& path, const OutputFile& file, const Log& log) {
  report_file_failure(log,
                      FileFailure{kOutputRole, FileAction::Write, path, path, file.error_number()});
}

}  // namespace mendra
