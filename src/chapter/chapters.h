// Chapter files re-timed with the subtitles of an input: through the same
// cut map, clock, delays and steps, every chapter's times written at its
// format's precision as the subtitles' are. A chapter whose start lies in
// deleted material moves to the cut point; of the chapters of one group that
// land on the same time the last is kept (it marks what follows the cut);
// a chapter that starts after the end of the cut video is left out; an end
// follows the end rule of subtitles. Everything else in the file is copied
// as it is. Also the writer of a new chapter file that marks where each
// kept segment of the cut video starts.
#pragma once

#include <string>
#include <string_view>

#include "time/cut_map.h"
#include "time/frame_clock.h"
#include "time/time_steps.h"
#include "time/timing.h"
#include "util/log.h"
#include "util/output_file.h"

namespace mendra {

// Whether an input of this extension, in any case, is a chapter file
// re-timed on its own: ".xml" and ".ffmeta". A ".txt" input names the
// subtitles beside it, as it always has.
bool is_chapter_input(std::string_view extension);

// Whether chapters can be written under this extension, in any case:
// ".txt" (OGM), ".xml" (Matroska) or ".ffmeta" (FFmpeg metadata).
bool names_chapter_format(std::string_view extension);

// What a re-timing did with the chapters it met.
struct ChapterCounts {
  int kept = 0;
  int left_out = 0;
};

enum class ChapterOutcome {
  Written,       // the output is written and waits to be committed
  InputMissing,  // the chapter file could not be opened; nothing was written
  Failed,        // not a chapter file, nothing in it could be read, or the
                 // output could not be written: nothing was written
};

// Re-times the chapter file `in_path` (its format recognised by its content)
// into `out`: a new file beside out_path, or standard output for "-", which
// replaces nothing until it is committed (commit_together). The output
// keeps the input's encoding and line ends. Reports every failure itself;
// lines whose times could not be read are copied as they are and counted
// in one warning, and the chapters left out because a later one lands on
// their time are named in another.
ChapterOutcome retime_chapters_into(const std::string& in_path, const std::string& out_path,
                                    const CutMap& map, const Timing& timing, const Log& log,
                                    ChapterCounts& counts, OutputFile& out);

// The same for the bytes of a whole file held in memory; `name` stands for
// its path in messages. `output` receives the new file (nothing unless
// Written).
ChapterOutcome retime_chapter_text(std::string_view input, std::string_view name, const CutMap& map,
                                   const Timing& timing, const Log& log, ChapterCounts& counts,
                                   std::string& output);

// A new chapter file that marks the start of each kept segment of the cut
// video ("Chapter 1", "Chapter 2", ...), in the format of the path's
// extension, written whole into `file` (a new file beside `path`) and not
// yet committed. Its times are those of the cut video on `clock`, at the
// new speed of `speed`; a segment's end is written where it is known.
// `chapters` is the number of chapters written. Says itself why it failed.
bool prepare_chapter_marks(const std::string& path, const CutMap& map, const FrameClock& clock,
                           const SpeedStep& speed, const Log& log, OutputFile& file, int& chapters);

// A chapter file whose commit failed: "output chapters write error:
// <path>: <reason>".
void report_chapters_failure(const std::string& path, const OutputFile& file, const Log& log);

}  // namespace mendra
