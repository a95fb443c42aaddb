// What a format's line rewriter works with: the time pipeline, the one sink
// its output and its counts go to, and the loop that streams whole lines
// through it with its per-file state.
#pragma once

#include <string_view>

#include "subtitle/rewrite.h"
#include "time/pipeline.h"
#include "util/output_file.h"
#include "util/text_reader.h"

namespace mendra {

struct LineContext {
  // Prepared once for the file: every subtitle sends two times through it.
  const TimePipeline& pipeline;
};

// Where re-timed text goes, and what the rewriter counts on the way. The
// writer is the same for a file, standard output and a string, so every
// piece goes into its buffer without a branch or an indirect call.
struct LineSink {
  OutputFile& file;
  int line_number = 0;  // of the line being handled, from 1
  RewriteCounts counts;

  void write(std::string_view piece) { file.write(piece); }
  void mark_unread(int number) { counts.unread.add(number); }
};

// Feeds every line of `in` to Step with one State for the whole file, then
// lets Finish write what the state still holds. Whole lines, however long: a
// karaoke line must be re-timed or dropped as one, and a long text line must
// not split into a false blank line. A State with a `kept_line` view keeps
// that line valid across the next read (see TextReader::next_line): the
// line it holds on to while it waits for the next is not copied.
template <typename State,
          void (*Step)(std::string_view line, const LineContext& context, State& state,
                       LineSink& out),
          void (*Finish)(State& state, LineSink& out)>
void stream_lines(TextReader& in, const LineContext& context, LineSink& out) {
  State state{};
  std::string_view line;
  for (;;) {
    if constexpr (requires { state.kept_line; }) {
      if (!in.next_line(line, state.kept_line)) break;
    } else {
      if (!in.next_line(line)) break;
    }
    ++out.line_number;
    Step(line, context, state, out);
  }
  Finish(state, out);
}

// The line end a line was read with ("\r\n", "\n" or none at the end of
// the file): a line the tool writes in its place ends the same way.
inline std::string_view line_end_of(std::string_view line) {
  if (line.ends_with("\r\n")) return "\r\n";
  if (line.ends_with('\n')) return "\n";
  return {};
}

// A blank line ends a cue or block; with the line ends kept as read,
// "\r\n" is blank too. A line of spaces is not.
inline bool is_blank_line(std::string_view line) {
  return !line.empty() && (line.front() == '\n' || line.starts_with("\r\n"));
}

// The line rewriters of the format table's rows, which re-time a file into
// its own format. The SSA one also reads the SSA v4 form of a Dialogue
// line, "Dialogue: Marked=0,...".
void rewrite_ass_lines(TextReader& in, const LineContext& context, LineSink& out);
void rewrite_ssa_lines(TextReader& in, const LineContext& context, LineSink& out);
void rewrite_srt_lines(TextReader& in, const LineContext& context, LineSink& out);
void rewrite_vtt_lines(TextReader& in, const LineContext& context, LineSink& out);
void rewrite_microdvd_lines(TextReader& in, const LineContext& context, LineSink& out);

// Whether a text begins with a MicroDVD subtitle ("{0}{25}..."), and the
// rate a MicroDVD first line names ("{1}{1}23.976"; a UTF-8 mark skipped).
bool sniffs_microdvd(std::string_view first_bytes);
bool read_microdvd_rate(std::string_view first_line, FrameRate& rate);

}  // namespace mendra
