// What a format's line rewriter works with: the prepared cut map and the
// settings, a sink for its output, and the loop that streams whole lines
// through it with its per-file state.
#pragma once

#include <string>
#include <string_view>

#include "cutlist/remap_table.h"
#include "util/output_file.h"
#include "util/settings.h"
#include "util/text_reader.h"

namespace mendra {

struct LineContext {
  const RemapTable& map;  // prepared once: every subtitle looks up two times
  const RunSettings& settings;
  // The frame scale of the settings' rate, worked out once per file: every
  // time of every subtitle converts through it.
  FrameScale scale = frame_scale(run_frame_rate(settings));
};

// Where re-timed text goes: the output file, or a string for a buffer. A
// branch rather than a call through a pointer, since every line is written
// in two or three pieces. It also counts the lines that were meant to be
// re-timed but could not be read, and so were copied as they were.
struct LineSink {
  OutputFile* file = nullptr;
  std::string* text = nullptr;
  int line_number = 0;  // of the line being handled, from 1
  int not_retimed = 0;
  int first_not_retimed = 0;

  void mark_not_retimed(int number) {
    if (not_retimed == 0) first_not_retimed = number;
    ++not_retimed;
  }

  void write(std::string_view piece) {
    if (file != nullptr) {
      file->write(piece);
    } else {
      text->append(piece);
    }
  }
};

// Feeds every line of `in` to Step with one State for the whole file, then
// lets Finish write what the state still holds. Whole lines, however long: a
// karaoke line must be re-timed or dropped as one, and a long text line must
// not split into a false blank line.
template <typename State,
          void (*Step)(std::string_view line, const LineContext& context, State& state,
                       LineSink& out),
          void (*Finish)(State& state, LineSink& out)>
void stream_lines(TextReader& in, const LineContext& context, LineSink& out) {
  State state{};
  std::string_view line;
  while (in.next_line(line)) {
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

// The line rewriters of the format table's rows.
void rewrite_ass_lines(TextReader& in, const LineContext& context, LineSink& out);
void rewrite_srt_lines(TextReader& in, const LineContext& context, LineSink& out);
void rewrite_vtt_lines(TextReader& in, const LineContext& context, LineSink& out);

}  // namespace mendra
