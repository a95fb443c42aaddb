// What a format's line rewriter works with: the prepared cut map and the
// settings, a sink for its output, and the loop that streams whole lines
// through it with its per-file state.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

#include "cutlist/remap_table.h"
#include "util/output_file.h"
#include "util/settings.h"
#include "util/text_reader.h"

namespace mendra {

struct LineContext {
  const RemapTable& map;  // prepared once: every subtitle looks up two times
  const RunSettings& settings;
  // The clock and the delays every time of the file is re-timed with.
  Timing timing = run_timing(settings);
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

// A LineSink with its target fixed when compiled: the line loops of the
// formats whose files are large run with one of these, so that the file path
// writes every piece without the branch between file and string. Its counts
// go back to the LineSink when the loop ends.
template <typename Target>
struct TargetSink {
  Target& target;
  int line_number = 0;  // of the line being handled, from 1
  int not_retimed = 0;
  int first_not_retimed = 0;

  void mark_not_retimed(int number) {
    if (not_retimed == 0) first_not_retimed = number;
    ++not_retimed;
  }

  void write(std::string_view piece) {
    if constexpr (std::is_same_v<Target, std::string>) {
      target.append(piece);
    } else {
      target.write(piece);
    }
  }
};

// Calls run(sink) with the TargetSink of out's target.
template <typename Run>
void with_target_sink(LineSink& out, Run run) {
  const auto take_counts = [&out](const auto& sink) {
    out.line_number = sink.line_number;
    out.not_retimed = sink.not_retimed;
    out.first_not_retimed = sink.first_not_retimed;
  };
  if (out.file != nullptr) {
    TargetSink<OutputFile> sink{*out.file, out.line_number, out.not_retimed, out.first_not_retimed};
    run(sink);
    take_counts(sink);
  } else {
    TargetSink<std::string> sink{*out.text, out.line_number, out.not_retimed,
                                 out.first_not_retimed};
    run(sink);
    take_counts(sink);
  }
}

// Feeds every line of `in` to Step with one State for the whole file, then
// lets Finish write what the state still holds. Whole lines, however long: a
// karaoke line must be re-timed or dropped as one, and a long text line must
// not split into a false blank line. A State with a `kept_line` view keeps
// that line valid across the next read (see TextReader::next_line): the
// line it holds on to while it waits for the next is not copied.
template <typename State, typename Sink,
          void (*Step)(std::string_view line, const LineContext& context, State& state, Sink& out),
          void (*Finish)(State& state, Sink& out)>
void stream_lines(TextReader& in, const LineContext& context, Sink& out) {
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

// The line rewriters of the format table's rows.
void rewrite_ass_lines(TextReader& in, const LineContext& context, LineSink& out);
void rewrite_srt_lines(TextReader& in, const LineContext& context, LineSink& out);
void rewrite_vtt_lines(TextReader& in, const LineContext& context, LineSink& out);

}  // namespace mendra
