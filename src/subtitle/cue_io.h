// The readers and writers of cues that the format table's rows name, and
// the pieces of cue text they share.
#pragma once

#include <span>
#include <string_view>

#include "subtitle/cues.h"
#include "subtitle/line_rewriter.h"
#include "time/frame_rate.h"

namespace mendra {

// A cue as the writer gets it: its times already re-timed and written in
// the writer's unit (milliseconds, centiseconds or frames of the output
// video), the start before the end.
struct WrittenCue {
  const Cue* cue = nullptr;
  std::int64_t start = 0;
  std::int64_t end = 0;
};

struct CueWriting {
  const CueFile& file;
  std::span<const WrittenCue> cues;
  // What the writer left out because its format cannot carry it, added to
  // what the reader noted.
  CueLosses& dropped;
  // The output video's constant frame rate, for a writer in frames that
  // names it; nullptr when the video has none (a timecode file).
  const FrameRate* frame_rate = nullptr;
};

// A reader fills `file` from every line of `in`, counting on `out` the lines
// meant to hold times that it could not read (out.mark_unread); a writer
// writes the whole output. Both see the lines with their line ends.
void read_substation_cues(TextReader& in, CueFile& file, LineSink& out);
void write_ass_cues(const CueWriting& writing, LineSink& out);
void write_ssa_cues(const CueWriting& writing, LineSink& out);
void read_srt_cues(TextReader& in, CueFile& file, LineSink& out);
void write_srt_cues(const CueWriting& writing, LineSink& out);
void read_vtt_cues(TextReader& in, CueFile& file, LineSink& out);
void write_vtt_cues(const CueWriting& writing, LineSink& out);
void read_microdvd_cues(TextReader& in, CueFile& file, LineSink& out);
void write_microdvd_cues(const CueWriting& writing, LineSink& out);

// The text of SRT and WebVTT cues, the HTML family: <i>, <b>, <u> and their
// end tags in any case (with WebVTT classes, <i.loud>) are styles; any other
// tag is markup; a WebVTT timestamp tag (<00:06.500>) is left out; a '<'
// that begins no tag is text. WebVTT escapes (&amp; &lt; &gt; &nbsp; &lrm;
// &rlm;) stand for their characters when `webvtt`.
void read_html_text(std::string_view line, bool webvtt, Cue& cue);
// The pieces of a cue as SRT or WebVTT text, its lines ended by `line_end`
// (none after the last): styles as tags, nested as HTML wants them and
// closed at the end of the cue; WebVTT escapes '&', '<' and '>'. WebVTT
// keeps the markup tags of its own (c, v, lang, ruby, rt), SRT the others
// (font); each leaves out the other's, counted in `dropped`.
void write_html_text(const Cue& cue, bool webvtt, std::string_view line_end, LineSink& out,
                     CueLosses& dropped);

// The line without its line end.
inline std::string_view without_line_end(std::string_view line) {
  if (line.ends_with('\n')) line.remove_suffix(1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

// Notes the first line's end and a UTF-8 mark in front of it, which every
// writer keeps; returns the line without the mark.
std::string_view note_first_line(std::string_view line, CueFile& file);

// The mark, when the input had one, as the first bytes of every output.
void write_byte_order_mark(const CueFile& file, LineSink& out);

}  // namespace mendra
