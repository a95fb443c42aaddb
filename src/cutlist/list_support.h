// What the cut-list readers and read_cut_list share besides the map: the
// byte-order mark, the rewind, the piece size of a line and the cut summary.
// Kept apart from read_cut_list, which dispatches to the readers, so that no
// reader leans on the file that calls it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cutlist/cut_map_builder.h"
#include "time/frame_clock.h"
#include "util/line_tally.h"
#include "util/log.h"
#include "util/scan.h"
#include "util/text_reader.h"

namespace mendra {

// Longest piece a cut-list line is read in; a longer line arrives as several
// pieces, each read as a line of its own.
constexpr std::size_t kCutListPieceBytes = 255;

// Skips a UTF-8 byte-order mark at the current position, as editors write it
// at the start of a file; any other bytes stay unread.
void skip_utf8_bom(TextReader& file);

// Back to the start of the list, past a byte-order mark again.
void rewind_list(TextReader& file);

// "no cuts could be read from <list> (N lines, first: line K)": a list that
// has lines to read, none of which its reader could, is refused rather
// than taken for a list that cuts nothing.
void report_no_cuts_read(const Log& log, std::string_view list_name, const LineTally& unreadable);

// "N lines of <list> could not be read (first: line K)", a warning.
void report_lines_unread(const Log& log, std::string_view list_name, const LineTally& unreadable);

// The lines of the list that hold text: neither blank nor beginning (after
// blanks) with '#', which every kind that has comments begins them with.
// Reads the list from its start and rewinds it.
LineTally count_text_lines(TextReader& file);

// Lists read as a whole (a project, a list whose values may span lines)
// are held in memory up to this size; more is no list but junk.
constexpr std::size_t kWholeListMaxBytes = std::size_t{16} << 20;

// Reads the rest of the list into `text`. False, with "cut list too large:
// <list> (more than 16 MiB)", when it holds more than kWholeListMaxBytes.
bool read_whole_list(TextReader& file, std::string& text, const Log& log,
                     std::string_view list_name);

// A kept segment of a time-based list, from its first frame to before
// `end` (the first frames at or after its start and its end): traced and
// handed to the builder. An end at the int limit, a time past the end of
// the frame axis, keeps everything from `first` on (nothing when `first`
// lies there too); a segment shorter than a frame keeps nothing.
void keep_segment(CutMapBuilder& builder, const Log& log, std::int32_t first, std::int32_t end);

// The recordings a list says it was cut from, as it names them: the first
// few different ones, told apart by their file names in any case, and how
// many more there are.
struct NamedRecordings {
  static constexpr std::size_t kShown = 4;
  // Beyond this many different names every further name counts as one
  // more, so that a hostile list cannot make the set grow without end.
  static constexpr std::size_t kMaxTold = 10000;
  std::vector<std::string> names;  // the first kShown, as written
  int more = 0;                    // how many different ones follow them
  std::set<std::string> told;      // every file name met, in lower case

  void add(std::string_view path);
};

// Whether a list's file and the recording are one: the same file name
// without extension in any case, folders and extensions aside, or the
// recording's name is the file's followed by a '.' (the track "rec.en.srt"
// of "rec.ts").
bool names_same_recording(std::string_view named, std::string_view recording);

// Warns when the list names several recordings, or one that is not
// `recording` (skipped when that is empty): its times may then belong to
// another file.
void report_named_recordings(const Log& log, std::string_view list_name, std::string_view recording,
                             const NamedRecordings& named);

// "   ---- cut info ----" with the kept and cut frames and their durations
// on the clock.
void print_cut_summary(const CutCounters& counters, const FrameClock& clock, const Log& log);

}  // namespace mendra
