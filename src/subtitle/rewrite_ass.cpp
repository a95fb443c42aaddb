#include <string_view>
#include <type_traits>

#include "subtitle/line_rewriter.h"
#include "subtitle/retime.h"
#include "util/format_int.h"
#include "util/scan.h"

namespace mendra {
namespace {

// Layer, start hours (one digit), minutes, seconds, centiseconds, then the
// end time with hours of any length.
constexpr ScanPattern kDialoguePattern =
    compile_scan_pattern("Dialogue: %d,%01d:%02d:%02d.%02d,%d:%02d:%02d.%02d,");
constexpr int kDialogueFields = 9;
// How nearly every Dialogue line begins (layer 0 to 9); such a line is read
// without the general scan, with the same result.
constexpr std::string_view kUsualDialogueLayout = "Dialogue: 9,9:99:99.99,9:99:99.99,";
constexpr std::string_view kDialoguePrefix = "Dialogue: ";
constexpr int kStartHoursWidth = 1;
constexpr int kEndHoursWidth = 0;
constexpr int kCentisecondsWidth = 2;
// The commas after the layer, the start and the end time; the rest of the
// line (style, name, margins, effect, text) is copied untouched.
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

// Every Dialogue line stands alone: nothing carries from one to the next.
struct NoState {};

template <typename Sink>
void finish_nothing(NoState& /*state*/, Sink& /*out*/) {}

// A line that names itself a Dialogue line (after any white space) but
// whose times could not be read: it is copied, and counted as not re-timed.
bool looks_like_dialogue(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  return start != std::string_view::npos && line.substr(start).starts_with("Dialogue:");
}

// Writes one line re-timed, leaves it out when nothing of it survives the
// cut, or copies it unchanged when it is not a Dialogue line we can read.
template <typename Sink>
void rewrite_line(std::string_view line, const LineContext& context, NoState& /*state*/,
                  Sink& out) {
  int layer = 0;
  int sh = 0, sm = 0, ss = 0, scs = 0;
  int eh = 0, em = 0, es = 0, ecs = 0;
  int* const fields[] = {&layer, &sh, &sm, &ss, &scs, &eh, &em, &es, &ecs};
  if (!match_digit_layout(line, kUsualDialogueLayout, fields, kDialogueFields) &&
      scan_ints(line, kDialoguePattern, fields, kDialogueFields) != kDialogueFields) {
    if (looks_like_dialogue(line)) out.mark_not_retimed(out.line_number);
    out.write(line);
    return;
  }
  RetimedSpan span;
  if (!retime_span(context.map, context.timing, ass_time_ms(sh, sm, ss, scs),
                   ass_time_ms(eh, em, es, ecs), span)) {
    return;
  }
  const ClockFields start =
      span.start_at_cut ? ass_cut_clock(span.start_ms) : ass_clock(span.start_ms);
  const ClockFields end = span.end_at_cut ? ass_cut_clock(span.end_ms) : ass_clock(span.end_ms);
  // "Dialogue: %d,%01d:%02d:%02d.%02d,%d:%02d:%02d.%02d," written field by
  // field: formatting nine numbers per line through printf dominated the run.
  char header[kHeaderBufferBytes];
  char* end_of_header = header;
  for (char c : kDialoguePrefix) *end_of_header++ = c;
  end_of_header = append_int(end_of_header, layer, 0);
  *end_of_header++ = ',';
  end_of_header = append_clock(end_of_header, start, kStartHoursWidth, '.', kCentisecondsWidth);
  *end_of_header++ = ',';
  end_of_header = append_clock(end_of_header, end, kEndHoursWidth, '.', kCentisecondsWidth);
  *end_of_header++ = ',';
  out.write(std::string_view(header, static_cast<std::size_t>(end_of_header - header)));
  const std::size_t tail = tail_start(line);
  if (tail != std::string_view::npos) {
    out.write(line.substr(tail));
  } else {
    // A line that ends right after its end time has no tail: it keeps its
    // line end so that the next line does not run into it.
    out.write(line_end_of(line));
  }
}

}  // namespace

void rewrite_ass_lines(TextReader& in, const LineContext& context, LineSink& out) {
  with_target_sink(out, [&](auto& sink) {
    using Sink = std::remove_reference_t<decltype(sink)>;
    stream_lines<NoState, Sink, rewrite_line<Sink>, finish_nothing<Sink>>(in, context, sink);
  });
}

}  // namespace mendra
