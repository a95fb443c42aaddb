// What the cut-list readers and read_cut_list share besides the map: the
// byte-order mark, the rewind, the piece size of a line and the cut summary.
// Kept apart from read_cut_list, which dispatches to the readers, so that no
// reader leans on the file that calls it.
#pragma once

#include <cstddef>
#include <string_view>

#include "cutlist/cut_map_builder.h"
#include "util/frame_clock.h"
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

// "   ---- cut info ----" with the kept and cut frames and their durations
// on the clock.
void print_cut_summary(const CutCounters& counters, const FrameClock& clock, const Log& log);

}  // namespace mendra
