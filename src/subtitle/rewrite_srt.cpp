// SubRip: cues of a number line, a timing line ("00:00:01,000 -->
// 00:00:02,000", perhaps followed by position text) and text up to a blank
// line. Re-timed as SRT, cues are renumbered from 1 in output order and
// every other byte stays as it was. The same file also holds the format's
// reader and writer of cues, through which it converts to and from the
// other formats.
#include <string_view>

#include "subtitle/cue_io.h"
#include "subtitle/line_rewriter.h"
#include "subtitle/retime.h"
#include "subtitle/time_text.h"
#include "util/format_int.h"
#include "util/int_math.h"
#include "util/scan.h"

namespace mendra {
namespace {

constexpr ScanPattern kNumberPattern = compile_scan_pattern("%d\n");
// Times are written with ',' before the milliseconds; '.' is read as well,
// as some tools write it, also mixed within one line.
constexpr ScanPattern kTimingPatterns[] = {
    compile_scan_pattern("%d:%02d:%02d,%03d --> %d:%02d:%02d,%03d\n"),
    compile_scan_pattern("%d:%02d:%02d.%03d --> %d:%02d:%02d.%03d\n"),
    compile_scan_pattern("%d:%02d:%02d,%03d --> %d:%02d:%02d.%03d\n"),
    compile_scan_pattern("%d:%02d:%02d.%03d --> %d:%02d:%02d,%03d\n"),
};
constexpr int kTimingFields = 8;
// How nearly every timing line is written; such a line is read without the
// general scan, with the same result.
constexpr std::string_view kUsualTimingLayout = "99:99:99,999 --> 99:99:99,999";
constexpr std::string_view kByteOrderMark = kUtf8ByteOrderMark;
constexpr std::size_t kHeaderBufferBytes = 128;

enum class CueState {
  SeekNumber,   // between cues: waiting for a cue's number or timing line
  AfterNumber,  // the number was read: the timing line should follow
  CopyText,     // the cue was written: copy its text up to the blank line
  SkipText,     // the cue was dropped: drop its text up to the blank line
};

inline bool is_number_line(std::string_view line) {
  // A line that begins with a digit always reads a number; only the others
  // need the scan (white space and a sign before the digits).
  if (!line.empty() && line.front() >= '0' && line.front() <= '9') return true;
  int number = 0;
  return scan_format(line, kNumberPattern, &number) == 1;
}

struct CueTimes {
  int fields[kTimingFields] = {};
  std::size_t tail = 0;  // where the text after the end time begins
};

bool is_scan_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Past one number as the scan reads it: white space, then at most `width`
// characters (0: any number) of sign and digits.
std::size_t skip_scanned_int(std::string_view line, std::size_t pos, std::size_t width) {
  while (pos < line.size() && is_scan_space(line[pos])) ++pos;
  const std::size_t limit = width == 0 ? line.size() : std::min(line.size(), pos + width);
  if (pos < limit && (line[pos] == '+' || line[pos] == '-')) ++pos;
  while (pos < limit && line[pos] >= '0' && line[pos] <= '9') ++pos;
  return pos;
}

// Where the end time of a timing line the scan has read ends: after the
// first "-->", its four numbers and the three separators between them.
std::size_t end_of_end_time(std::string_view line) {
  constexpr std::size_t kFieldWidths[] = {0, 2, 2, 3};
  std::size_t pos = line.find("-->") + 3;
  for (std::size_t i = 0; i < std::size(kFieldWidths); ++i) {
    if (i > 0) ++pos;  // ':', ':', then ',' or '.'
    pos = skip_scanned_int(line, pos, kFieldWidths[i]);
  }
  return pos;
}

bool scan_timing_line(std::string_view line, int* const* outs) {
  for (const ScanPattern& pattern : kTimingPatterns) {
    if (scan_ints(line, pattern, outs, kTimingFields) == kTimingFields) return true;
  }
  return false;
}

// Inline: the usual layout is a short run of byte tests on every cue.
[[gnu::always_inline]] inline bool read_timing_line(std::string_view line, CueTimes& times) {
  int* const outs[] = {&times.fields[0], &times.fields[1], &times.fields[2], &times.fields[3],
                       &times.fields[4], &times.fields[5], &times.fields[6], &times.fields[7]};
  if (match_digit_layout(line, kUsualTimingLayout, outs, kTimingFields)) [[likely]] {
    times.tail = kUsualTimingLayout.size();
    return true;
  }
  if (!scan_timing_line(line, outs)) return false;
  times.tail = end_of_end_time(line);
  return true;
}

// The usual number line: it begins with a digit (so it reads a number) and
// is too short to be a timing line ("0:0:0,0-->0:0:0,0" is the shortest).
constexpr std::size_t kShortestTimingLine = 17;
bool is_short_number_line(std::string_view line) {
  return !line.empty() && line.front() >= '0' && line.front() <= '9' &&
         line.size() < kShortestTimingLine;
}

// Only a line that begins like a time (white space, then a digit) can be
// one; a number line is tested for a timing line only then.
bool may_be_timing_line(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  return start != std::string_view::npos && line[start] >= '0' && line[start] <= '9' &&
         line.find("-->") != std::string_view::npos;
}

// Writes a surviving cue's number and re-timed timing line,
// "%d\n%02d:%02d:%02d,%03d --> %02d:%02d:%02d,%03d", then whatever followed
// the end time, field by field: formatting them through printf dominated the
// run. Each line ends as the line it stands for did.
// Inline: it runs once per cue, and the call showed in the run time.
[[gnu::always_inline]] inline void write_cue_header(const RetimedSpan& span, int sequence,
                                                    bool number_crlf, std::string_view timing_line,
                                                    std::size_t tail, LineSink& out) {
  constexpr int kHoursWidth = 2;
  constexpr int kMillisecondsWidth = 3;
  constexpr std::string_view kArrow = " --> ";
  char header[kHeaderBufferBytes];
  char* end = header;
  end = append_int(end, sequence, 0);
  if (number_crlf) *end++ = '\r';
  *end++ = '\n';
  end = append_time(end, millisecond_fields(span.start_ms), kHoursWidth, ',', kMillisecondsWidth);
  for (char c : kArrow) *end++ = c;
  end = append_time(end, millisecond_fields(span.end_ms), kHoursWidth, ',', kMillisecondsWidth);
  const std::string_view rest = timing_line.substr(tail);
  out.write(std::string_view(header, static_cast<std::size_t>(end - header)));
  out.write(rest);
  // The last line of the file gets a line end, so that the cue's text does
  // not run into its header.
  if (!rest.ends_with('\n')) out.write("\n");
}

struct CueWalk {
  CueState state = CueState::SeekNumber;
  int sequence = 1;
  // The number line read in AfterNumber, written again in front of the
  // timing line, or copied as it was if no timing line follows it. Held as
  // a view that the reader keeps valid across the next read: copying it for
  // every cue showed in the run time. Empty in the other states, so that a
  // refill of the reader's buffer copies nothing.
  std::string_view kept_line;
  int number_line_at = 0;
  // Lines that could not be understood were copied since the last cue: the
  // blank line after them is kept, so they stay apart from the next cue.
  bool after_copied = false;
};

// Whether a line ends in CR LF: the number line written in its place ends
// the same way.
bool ends_crlf(std::string_view line) {
  return line.size() >= 2 && line[line.size() - 2] == '\r' && line.back() == '\n';
}

[[gnu::always_inline]] inline void start_cue(std::string_view timing_line, bool number_crlf,
                                             const CueTimes& times, const LineContext& context,
                                             CueWalk& walk, LineSink& out) {
  const int* f = times.fields;
  RetimedSpan span;
  if (retime_span(context.pipeline, srt_time_ms(f[0], f[1], f[2], f[3]),
                  srt_time_ms(f[4], f[5], f[6], f[7]), span)) {
    write_cue_header(span, walk.sequence, number_crlf, timing_line, times.tail, out);
    walk.sequence = wrap_add(walk.sequence, 1);
    walk.state = CueState::CopyText;
    ++out.counts.retimed;
  } else {
    walk.state = CueState::SkipText;
    ++out.counts.dropped;
  }
  walk.after_copied = false;
}

[[gnu::always_inline]] inline void remember_number(std::string_view line, CueWalk& walk,
                                                   const LineSink& out) {
  walk.kept_line = line;
  walk.number_line_at = out.line_number;
  walk.state = CueState::AfterNumber;
}

// A line met between cues: a cue's number, a cue's timing line without its
// number, a blank line, or something else, which is copied.
void seek_cue(std::string_view line, const LineContext& context, CueWalk& walk, LineSink& out) {
  if (is_blank_line(line)) {
    // Extra blank lines between cues are written as none; the one after
    // copied lines as one.
    if (walk.after_copied) out.write(line);
    walk.after_copied = false;
    return;
  }
  CueTimes times;
  if (may_be_timing_line(line) && read_timing_line(line, times)) {
    start_cue(line, ends_crlf(line), times, context, walk, out);
    return;
  }
  if (is_number_line(line)) {
    remember_number(line, walk, out);
    return;
  }
  out.mark_unread(out.line_number);
  out.write(line);
  walk.after_copied = true;
}

// One line of the cue walk; the walk is the per-file state.
void walk_line(std::string_view line, const LineContext& context, CueWalk& walk, LineSink& out) {
  switch (walk.state) {
    case CueState::SeekNumber:
      // The mark is kept in front of the number it precedes.
      if (line.starts_with(kByteOrderMark)) {
        out.write(kByteOrderMark);
        line.remove_prefix(kByteOrderMark.size());
        // The mark alone, as editors save an empty file: nothing follows.
        if (line.empty()) return;
      }
      // The usual cue begins with its number alone on a line.
      if (is_short_number_line(line)) [[likely]] {
        remember_number(line, walk, out);
        return;
      }
      seek_cue(line, context, walk, out);
      return;
    case CueState::AfterNumber: {
      const std::string_view number_line = walk.kept_line;
      walk.kept_line = {};
      CueTimes times;
      if (read_timing_line(line, times)) {
        start_cue(line, ends_crlf(number_line), times, context, walk, out);
        return;
      }
      // Not a cue after all: its number line stays as it was, and the line
      // is looked at afresh.
      out.mark_unread(walk.number_line_at);
      out.write(number_line);
      walk.after_copied = true;
      walk.state = CueState::SeekNumber;
      seek_cue(line, context, walk, out);
      return;
    }
    case CueState::CopyText:
      out.write(line);
      if (is_blank_line(line)) walk.state = CueState::SeekNumber;
      return;
    case CueState::SkipText:
      if (is_blank_line(line)) walk.state = CueState::SeekNumber;
      return;
  }
}

// A number line at the end of the file is no cue: it stays as it was.
void finish_walk(CueWalk& walk, LineSink& out) {
  if (walk.state != CueState::AfterNumber) return;
  out.mark_unread(walk.number_line_at);
  out.write(walk.kept_line);
}

}  // namespace

void rewrite_srt_lines(TextReader& in, const LineContext& context, LineSink& out) {
  stream_lines<CueWalk, walk_line, finish_walk>(in, context, out);
}

namespace {

// The reader's walk: like the rewriter's, but the cues are collected.
enum class ReadState { Seek, AfterNumber, Text };

struct SrtReading {
  ReadState state = ReadState::Seek;
  int number_line_at = 0;
};

void begin_cue(std::string_view line, const CueTimes& times, CueFile& file, SrtReading& reading) {
  const int* f = times.fields;
  Cue& cue = file.cues.emplace_back();
  cue.start = srt_time_ms(f[0], f[1], f[2], f[3]);
  cue.end = srt_time_ms(f[4], f[5], f[6], f[7]);
  // Position text after the end time ("X1:100 X2:200 Y1:10 Y2:20").
  const std::string_view rest = without_line_end(line.substr(times.tail));
  if (rest.find_first_not_of(" \t") != std::string_view::npos) ++cue.losses.positions;
  reading.state = ReadState::Text;
}

void read_srt_line(std::string_view line, CueFile& file, SrtReading& reading, LineSink& out) {
  CueTimes times;
  switch (reading.state) {
    case ReadState::Text:
      if (is_blank_line(line)) {
        reading.state = ReadState::Seek;
        return;
      }
      if (!file.cues.back().pieces.empty()) file.cues.back().add(CuePiece::Kind::Break);
      read_html_text(without_line_end(line), false, file.cues.back());
      return;
    case ReadState::AfterNumber:
      if (read_timing_line(line, times)) {
        begin_cue(line, times, file, reading);
        return;
      }
      out.mark_unread(reading.number_line_at);
      reading.state = ReadState::Seek;
      break;
    case ReadState::Seek:
      break;
  }
  if (is_blank_line(line)) return;
  if (may_be_timing_line(line) && read_timing_line(line, times)) {
    begin_cue(line, times, file, reading);
  } else if (is_number_line(line)) {
    reading.state = ReadState::AfterNumber;
    reading.number_line_at = out.line_number;
  } else {
    out.mark_unread(out.line_number);
  }
}

constexpr int kSrtHoursWidth = 2;
constexpr int kSrtMillisecondsWidth = 3;

}  // namespace

void read_srt_cues(TextReader& in, CueFile& file, LineSink& out) {
  SrtReading reading;
  std::string_view line;
  while (in.next_line(line)) {
    if (++out.line_number == 1) {
      line = note_first_line(line, file);
      if (line.empty()) continue;
    }
    read_srt_line(line, file, reading, out);
  }
  if (reading.state == ReadState::AfterNumber) out.mark_unread(reading.number_line_at);
}

void write_srt_cues(const CueWriting& writing, LineSink& out) {
  const std::string_view line_end = writing.file.line_end;
  write_byte_order_mark(writing.file, out);
  int sequence = 1;
  for (const WrittenCue& written : writing.cues) {
    char header[kHeaderBufferBytes];
    char* end = append_int(header, sequence, 0);
    out.write(std::string_view(header, static_cast<std::size_t>(end - header)));
    out.write(line_end);
    end = append_time(header, millisecond_fields(static_cast<int>(written.start)), kSrtHoursWidth,
                      ',', kSrtMillisecondsWidth);
    for (const char c : std::string_view(" --> ")) *end++ = c;
    end = append_time(end, millisecond_fields(static_cast<int>(written.end)), kSrtHoursWidth, ',',
                      kSrtMillisecondsWidth);
    out.write(std::string_view(header, static_cast<std::size_t>(end - header)));
    out.write(line_end);
    write_html_text(*written.cue, false, line_end, out, writing.dropped);
    // Every cue ends with its blank line, the last one too.
    out.write(line_end);
    out.write(line_end);
    sequence = wrap_add(sequence, 1);
  }
}

}  // namespace mendra
