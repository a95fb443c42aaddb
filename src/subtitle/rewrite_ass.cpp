// Dialogue lines of ASS ("Dialogue: 0,0:00:01.00,0:00:02.00,...") and of
// SSA v4 ("Dialogue: Marked=0,0:00:01.00,0:00:02.00,..."): the two times
// are re-timed, everything else on the line and every other line is copied.
#include <cstdint>
#include <string>
#include <string_view>

#include "subtitle/ass_effects.h"
#include "subtitle/line_rewriter.h"
#include "subtitle/retime.h"
#include "subtitle/time_text.h"
#include "util/format_int.h"
#include "util/int_math.h"
#include "util/scan.h"

namespace mendra {
namespace {

// Layer, start hours, minutes, seconds, centiseconds, then the end time.
// Hours of any length, so that a file written with 10 hours or more reads
// back.
constexpr ScanPattern kDialoguePattern =
    compile_scan_pattern("Dialogue: %d,%d:%02d:%02d.%02d,%d:%02d:%02d.%02d,");
constexpr int kDialogueFields = 9;
// The two times after the first field of an SSA line, whose first field
// ("Marked=0") is kept as it stands.
constexpr ScanPattern kTimesPattern = compile_scan_pattern("%d:%02d:%02d.%02d,%d:%02d:%02d.%02d,");
constexpr int kTimeFields = 8;
// How nearly every Dialogue line begins (layer 0 to 9); such a line is read
// without the general scan, with the same result.
constexpr std::string_view kUsualDialogueLayout = "Dialogue: 9,9:99:99.99,9:99:99.99,";
constexpr std::string_view kDialoguePrefix = "Dialogue: ";
constexpr std::string_view kDialogueKeyword = "Dialogue:";
constexpr std::string_view kMarkedField = "Marked=";
constexpr int kStartHoursWidth = 1;
constexpr int kEndHoursWidth = 0;
constexpr int kCentisecondsWidth = 2;
// The commas after the first field, the start and the end time; the rest
// of the line (style, name, margins, effect, text) is copied untouched.
constexpr int kCommasBeforeTail = 3;
constexpr std::size_t kHeaderBufferBytes = 128;

// Position just after the third comma of the line, or npos when it has
// fewer. The whole line is searched, bytes after a NUL included, so a tail
// is never cut short.
std::size_t tail_start(std::string_view line) {
  std::size_t pos = 0;
  for (int i = 0; i < kCommasBeforeTail; ++i) {
    const std::size_t comma = line.find(',', pos);
    if (comma == std::string_view::npos) return std::string_view::npos;
    pos = comma + 1;
  }
  return pos;
}

// The style, name, three margins and effect fields before the text.
constexpr int kCommasBeforeText = 6;

// The rest of the line after the times. A start moved to a cut point takes
// the effects timed from it along (see ass_effects.h); every other line's
// rest is copied as it is.
void write_tail(std::string_view tail, const TimePipeline& pipeline, const CutTime& start,
                std::int64_t written_start_ms, std::int64_t duration_ms, LineSink& out) {
  // Nearly every start is not moved: it is told without the call.
  const StartShift moved =
      start.at_cut ? moved_start_shift(pipeline, start, written_start_ms) : StartShift{};
  if (moved.ms <= 0 && moved.cs <= 0) {
    out.write(tail);
    return;
  }
  std::size_t text = 0;
  for (int i = 0; i < kCommasBeforeText && text != std::string_view::npos; ++i) {
    text = tail.find(',', text);
    if (text != std::string_view::npos) ++text;
  }
  std::string shifted;
  if (text != std::string_view::npos &&
      shift_effects(tail.substr(text), EffectShift{moved.ms, moved.cs, clamp_to_int(duration_ms)},
                    shifted)) {
    out.write(tail.substr(0, text));
    out.write(shifted);
    return;
  }
  out.write(tail);
}

// Every Dialogue line stands alone: nothing carries from one to the next.
struct NoState {};

void finish_nothing(NoState& /*state*/, LineSink& /*out*/) {}

// A line that names itself a Dialogue line (after any white space) but
// whose times could not be read: it is copied, and counted as not re-timed.
bool looks_like_dialogue(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  return start != std::string_view::npos && line.substr(start).starts_with(kDialogueKeyword);
}

// The SSA form: "Dialogue:", blanks, "Marked=" and its value up to the first
// comma, then the two times. `lead` receives the line up to that comma,
// written back as it was.
bool read_marked_line(std::string_view line, std::string_view& lead, int* const* times) {
  if (!line.starts_with(kDialogueKeyword)) return false;
  const std::size_t field = line.find_first_not_of(" \t", kDialogueKeyword.size());
  if (field == std::string_view::npos ||
      line.substr(field).substr(0, kMarkedField.size()) != kMarkedField) {
    return false;
  }
  const std::size_t comma = line.find(',', field);
  if (comma == std::string_view::npos) return false;
  lead = line.substr(0, comma + 1);
  return scan_ints(line.substr(comma + 1), kTimesPattern, times, kTimeFields) == kTimeFields;
}

// Writes one line re-timed, leaves it out when nothing of it survives the
// cut, or copies it unchanged when it is not a Dialogue line we can read.
// The SSA form is read in SSA files only: an ASS file's Marked= line is
// none of its own events, and stays as it was.
template <bool kReadsMarked>
void rewrite_line(std::string_view line, const LineContext& context, NoState& /*state*/,
                  LineSink& out) {
  int layer = 0;
  int sh = 0, sm = 0, ss = 0, scs = 0;
  int eh = 0, em = 0, es = 0, ecs = 0;
  int* const fields[] = {&layer, &sh, &sm, &ss, &scs, &eh, &em, &es, &ecs};
  std::string_view marked_lead;
  if (!match_digit_layout(line, kUsualDialogueLayout, fields, kDialogueFields) &&
      scan_ints(line, kDialoguePattern, fields, kDialogueFields) != kDialogueFields &&
      !(kReadsMarked && read_marked_line(line, marked_lead, fields + 1))) {
    if (looks_like_dialogue(line)) out.mark_unread(out.line_number);
    out.write(line);
    return;
  }
  RetimedSpan span;
  if (!retime_span(context.pipeline, ass_time_ms(sh, sm, ss, scs), ass_time_ms(eh, em, es, ecs),
                   span)) {
    ++out.counts.dropped;
    return;
  }
  ++out.counts.retimed;
  const int start_cs = written_time(context.pipeline, span.start, TimePrecision::Centiseconds);
  const TimeFields start = centisecond_fields(start_cs);
  const TimeFields end =
      centisecond_fields(written_time(context.pipeline, span.end, TimePrecision::Centiseconds));
  // "Dialogue: %d,%d:%02d:%02d.%02d,%d:%02d:%02d.%02d," written field by
  // field: formatting nine numbers per line through printf dominated the run.
  char header[kHeaderBufferBytes];
  char* end_of_header = header;
  if (marked_lead.empty()) {
    for (char c : kDialoguePrefix) *end_of_header++ = c;
    end_of_header = append_int(end_of_header, layer, 0);
    *end_of_header++ = ',';
  } else {
    out.write(marked_lead);
  }
  end_of_header = append_time(end_of_header, start, kStartHoursWidth, '.', kCentisecondsWidth);
  *end_of_header++ = ',';
  end_of_header = append_time(end_of_header, end, kEndHoursWidth, '.', kCentisecondsWidth);
  *end_of_header++ = ',';
  out.write(std::string_view(header, static_cast<std::size_t>(end_of_header - header)));
  const std::size_t tail = tail_start(line);
  if (tail != std::string_view::npos) {
    const std::int64_t duration_ms =
        std::int64_t{ass_time_ms(eh, em, es, ecs)} - ass_time_ms(sh, sm, ss, scs);
    write_tail(line.substr(tail), context.pipeline, span.start, std::int64_t{start_cs} * 10,
               duration_ms, out);
  } else {
    // A line that ends right after its end time has no tail: it keeps its
    // line end so that the next line does not run into it.
    out.write(line_end_of(line));
  }
}

}  // namespace

void rewrite_ass_lines(TextReader& in, const LineContext& context, LineSink& out) {
  stream_lines<NoState, rewrite_line<false>, finish_nothing>(in, context, out);
}

void rewrite_ssa_lines(TextReader& in, const LineContext& context, LineSink& out) {
  stream_lines<NoState, rewrite_line<true>, finish_nothing>(in, context, out);
}

}  // namespace mendra
