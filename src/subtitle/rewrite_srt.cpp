#include <string_view>

#include "subtitle/line_rewriter.h"
#include "subtitle/retime.h"
#include "util/format_int.h"
#include "util/int_math.h"
#include "util/scan.h"

namespace mendra {
namespace {

constexpr ScanPattern kNumberPattern = compile_scan_pattern("%d\n");
constexpr ScanPattern kTimingPattern =
    compile_scan_pattern("%d:%02d:%02d,%03d --> %d:%02d:%02d,%03d\n");
constexpr int kTimingFields = 8;
// How nearly every timing line is written; such a line is read without the
// general scan, with the same result.
constexpr std::string_view kUsualTimingLayout = "99:99:99,999 --> 99:99:99,999";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kHeaderBufferBytes = 128;

enum class CueState {
  SeekNumber,   // between cues: waiting for a cue's number line
  AfterNumber,  // the number was read: the timing line should follow
  CopyText,     // the cue was written: copy its text up to the blank line
  SkipText,     // the cue was dropped: drop its text up to the blank line
};

bool is_blank(std::string_view line) {
  return !line.empty() && line.front() == '\n';
}

bool is_number_line(std::string_view line) {
  // A line that begins with a digit always reads a number; only the others
  // need the scan (white space and a sign before the digits).
  if (!line.empty() && line.front() >= '0' && line.front() <= '9') return true;
  int number = 0;
  return scan_format(line, kNumberPattern, &number) == 1;
}

// Writes a surviving cue's number and re-timed timing line,
// "%d\n%02d:%02d:%02d,%03d --> %02d:%02d:%02d,%03d\n", field by field:
// formatting them through printf dominated the run.
void write_cue_header(const RetimedSpan& span, int sequence, LineSink& out) {
  constexpr int kHoursWidth = 2;
  constexpr int kMillisecondsWidth = 3;
  constexpr std::string_view kArrow = " --> ";
  char header[kHeaderBufferBytes];
  char* end = append_int(header, sequence, 0);
  *end++ = '\n';
  end = append_clock(end, srt_clock(span.start_ms), kHoursWidth, ',', kMillisecondsWidth);
  for (char c : kArrow) *end++ = c;
  end = append_clock(end, srt_clock(span.end_ms), kHoursWidth, ',', kMillisecondsWidth);
  *end++ = '\n';
  out.write(std::string_view(header, static_cast<std::size_t>(end - header)));
}

struct CueWalk {
  CueState state = CueState::SeekNumber;
  int sequence = 1;
};

// One line of the cue walk; the walk is the per-file state.
void walk_line(std::string_view line, const LineContext& context, CueWalk& walk, LineSink& out) {
  switch (walk.state) {
    case CueState::SeekNumber:
      // The mark is kept in front of the number it precedes.
      if (line.starts_with(kByteOrderMark)) {
        out.write(kByteOrderMark);
        line.remove_prefix(kByteOrderMark.size());
      }
      // Anything else between cues (stray text, extra blank lines) is left out.
      if (is_number_line(line)) walk.state = CueState::AfterNumber;
      return;
    case CueState::AfterNumber: {
      int sh = 0, sm = 0, ss = 0, sms = 0;
      int eh = 0, em = 0, es = 0, ems = 0;
      int* const fields[] = {&sh, &sm, &ss, &sms, &eh, &em, &es, &ems};
      if (!match_digit_layout(line, kUsualTimingLayout, fields, kTimingFields) &&
          scan_ints(line, kTimingPattern, fields, kTimingFields) != kTimingFields) {
        // Not a cue after all: the line stays, its number line is lost.
        out.write(line);
        walk.state = CueState::SeekNumber;
        return;
      }
      RetimedSpan span;
      if (retime_span(context.map, context.settings, srt_time_ms(sh, sm, ss, sms),
                      srt_time_ms(eh, em, es, ems), span)) {
        write_cue_header(span, walk.sequence, out);
        walk.sequence = wrap_add(walk.sequence, 1);
        walk.state = CueState::CopyText;
      } else {
        walk.state = CueState::SkipText;
      }
      return;
    }
    case CueState::CopyText:
      out.write(line);
      if (is_blank(line)) walk.state = CueState::SeekNumber;
      return;
    case CueState::SkipText:
      if (is_blank(line)) walk.state = CueState::SeekNumber;
      return;
  }
}

}  // namespace

void rewrite_srt_lines(TextReader& in, const LineContext& context, LineSink& out) {
  stream_lines<CueWalk, walk_line>(in, context, out);
}

}  // namespace mendra
