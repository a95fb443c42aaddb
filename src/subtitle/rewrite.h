// Re-timing of subtitle files through the cut map and delays. Every format
// is one row of a table: its extension, its name in messages, the precision
// of its times, how its content is recognised, its line rewriter and its
// reader and writer of cues. A file re-timed into its own format goes
// through the line rewriter, which keeps every byte that is not a time; a
// file written as another format is read into cues by its reader and
// written by the other format's writer. The file and the buffer variants
// run the same code.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "subtitle/cues.h"
#include "time/cut_map.h"
#include "time/rounding.h"
#include "time/timing.h"
#include "util/line_tally.h"
#include "util/log.h"
#include "util/output_file.h"

namespace mendra {

struct TextReader;
struct LineContext;
struct LineSink;
struct CueWriting;

// The markup a format's cue text is written in: a cue read in one family
// and written in another loses what only its own family carries.
enum class CueFamily : std::uint8_t { Substation, Html, MicroDvd };

struct SubtitleFormat {
  const char* extension;  // ".ass": what the input and the output file end in
  const char* label;      // "ass": how the format's messages name it
  // The precision of the format's times: its writer takes every time from
  // the pipeline rounded to it, and a delay applied on its own is cut to a
  // multiple of it (centiseconds for .ass).
  TimePrecision precision;
  // Whether a text's first bytes (a UTF-8 mark skipped) are of this format;
  // nullptr for the format taken when no row claims them.
  bool (*sniff)(std::string_view first_bytes);
  // Re-times every line of `in` into `out`, with per-file state of its own;
  // nullptr for the row that stands for "recognised from the content".
  void (*rewrite_lines)(TextReader& in, const LineContext& context, LineSink& out);
  // The conversions: the reader turns a whole file into cues, the writer
  // writes re-timed cues read from any format.
  void (*read_cues)(TextReader& in, CueFile& file, LineSink& out);
  void (*write_cues)(const CueWriting& writing, LineSink& out);
  CueFamily family;
  // Whether the writer takes the cues in order of their start times (its
  // players show them in file order); otherwise in the order read.
  bool start_order;
  // Whether the format's times count frames of the video rather than clock
  // time: its times go through the cut as frames and are written as the
  // output video's frames (written_frame).
  bool counts_frames;
  // The frame rate a file of the format may name in its first line, which
  // its frames run at when no -rate, -fps or -timecodes says otherwise;
  // nullptr for formats that name none.
  bool (*own_rate)(std::string_view first_line, FrameRate& rate);
};

// The formats an input of another extension is re-timed as, in that order:
// .ass and .srt. A .vtt or .ssa input is re-timed only when named.
std::span<const SubtitleFormat> subtitle_formats();

// The format whose extension is `extension` in any case (".ass", ".ASS",
// ".vtt", ".ssa"), or nullptr.
const SubtitleFormat* find_subtitle_format(std::string_view extension);

// The format a text's first bytes show: "[Script Info]" on its first line
// is ASS, or SSA when its "ScriptType:" says v4.00 without the '+'; a
// "WEBVTT" first line is WebVTT; anything else is SRT. A UTF-8 mark is
// skipped.
const SubtitleFormat& sniff_subtitle_format(std::string_view first_bytes);

// A stand-in row for rewrite_file and rewrite_text: as the input format,
// the input's format is recognised from its first bytes; as the output
// format, the output is written in the input's format.
const SubtitleFormat& format_from_content();

// The frame rate the first line of the file at `path` names, read as
// `format`; false when the format names none, the file cannot be read, or
// its first line names no rate.
bool subtitle_file_rate(const SubtitleFormat& format, const std::string& path, FrameRate& rate);

// Whether subtitles read as `in` can be written as `out`: the same format,
// or any two formats that have a reader and a writer of cues.
bool can_write_as(const SubtitleFormat& in, const SubtitleFormat& out);

// What a rewrite did with the subtitles it met.
struct RewriteCounts {
  int retimed = 0;  // written with new times
  int dropped = 0;  // left out: nothing of them survives the cut
  // Lines meant to be re-timed whose times could not be read; they were
  // copied as they were (left out by a conversion).
  LineTally unread;
  // What a conversion left out because the output format cannot carry it.
  CueLosses left_out;
};

enum class RewriteOutcome {
  Written,         // the output is in place
  InputMissing,    // the input could not be opened; nothing was written
  Failed,          // the output could not be written, the input not read to
                   // its end, or the formats do not convert; the target is
                   // left as it was
  NothingRetimed,  // lines were meant to be re-timed and none could be read:
                   // nothing was written
};

// Reads in_path as in_format and writes out_path as out_format; "-" reads
// standard input or writes standard output, in constant memory either way
// when the output is in the input's format (a conversion holds the file's
// cues).
// The output keeps the input's encoding and line ends, except that WebVTT
// is always written in UTF-8: a UTF-16 input is turned into it (without a
// mark), and an input that is not UTF-8 is not written as WebVTT ("not
// written: <out>: WebVTT must be UTF-8, <in> is not (line K)"). Reports
// every failure itself, once, on log's error level: an open error names the
// file without its extension, then its full path and the system's reason;
// "no times could be read in <file> (first: line K)"; and a warning counting
// the lines that were copied because their times could not be read when
// others were re-timed. The caller reports what was written from `counts`.
// With a `charset` (any name iconv knows), the input is read in that
// character set and written as UTF-8; a name iconv does not know fails
// ("not written: <in>: no character set is named <name>"), and so does a
// byte that is not of the set ("not written: <in> is not <name> (line K)").
RewriteOutcome rewrite_file(const SubtitleFormat& in_format, const std::string& in_path,
                            const SubtitleFormat& out_format, const std::string& out_path,
                            const CutMap& map, const Timing& timing, const Log& log,
                            RewriteCounts& counts, const std::string& charset = std::string());

// An output written whole by rewrite_into, waiting to be committed together
// with the other outputs of its input (commit_together), or dropped.
struct PendingOutput {
  OutputFile file;
  const SubtitleFormat* written_as = nullptr;  // the format it holds
};

// rewrite_file without its last step: the output is written into out.file
// (a new file beside out_path, or held back for standard output) and
// nothing replaces out_path yet. Reports what rewrite_file reports, except
// a failure of the commit, which report_output_failure says.
RewriteOutcome rewrite_into(const SubtitleFormat& in_format, const std::string& in_path,
                            const SubtitleFormat& out_format, const std::string& out_path,
                            const CutMap& map, const Timing& timing, const Log& log,
                            RewriteCounts& counts, PendingOutput& out,
                            const std::string& charset = std::string());

// An output whose commit failed (a full disk, a failed rename): "output
// <format> write error: <out_path>: <reason>".
void report_output_failure(const PendingOutput& out, const std::string& out_path, const Log& log);

// The same for the bytes of a whole file held in memory: `output` receives
// what the file variant would have written (nothing unless Written). It
// reports nothing; `counts` holds what the file variant's messages would
// say.
RewriteOutcome rewrite_text(const SubtitleFormat& in_format, std::string_view input,
                            const SubtitleFormat& out_format, const CutMap& map,
                            const Timing& timing, RewriteCounts& counts, std::string& output);

}  // namespace mendra
