// Readers that build the cut map from the cut-list files of the outside
// tools: TMPGEnc keyframe lists, AviSynth Trim calls, VirtualDub jobs,
// AviUtl deleted-frame lists, edit decision lists, kept-segment exports,
// mpv EDLs, LosslessCut projects, ffmpeg concat scripts and Avidemux
// projects; each kind one row of the kind table.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "cutlist/cut_list_kind.h"
#include "time/cut_map.h"
#include "time/frame_clock.h"
#include "util/log.h"

namespace mendra {

struct CutListContext;

// Everything that sets one kind of cut list apart, in its row of the kind
// table: adding a kind is its reader and one row. The cut-list options of
// the command line are made from these rows.
struct CutListKindRow {
  CutListKind kind;
  // The option that names such a list ("-edl"), known by its letter alone
  // in either case ("-l", "-L", "-list") or only as the whole word. A kind
  // recognised by its content repeats the option of the kind it is read
  // under.
  const char* option;
  bool option_by_letter;
  // The option's lines of the usage text; empty where another row's lines
  // speak for it.
  const char* usage;
  // For an option known by its letter: what its value is ("an AviSynth
  // script"), for the warning about a word taken by its first letter;
  // nullptr for the others.
  const char* noun;
  // The trace line the reader prints when it starts (" [edl]"); empty for
  // none.
  const char* label;
  // Whether the reader puts its ranges in order itself, so that no warning
  // about their order is due.
  bool sorts_itself;
  // Whether a list named by `option` is of this kind after all, from its
  // first bytes (a UTF-8 mark included); nullptr for a kind known by its
  // option alone.
  bool (*recognise)(std::string_view first_bytes);
  // Adds the list's ranges to the builder; false when the list is refused.
  bool (*read)(CutListContext& context);
};

// Every kind, in the order the usage lists their options.
std::span<const CutListKindRow> cut_list_kinds();

// The row of a kind; nullptr for a number that is not a kind.
const CutListKindRow* find_cut_list_kind(CutListKind kind);

// Whether the row makes an option of its own. A kind recognised by its
// content is read under the option of another, and so is a kind whose word
// begins with the letter of a letter option (-k1 under -k): the letter row
// takes every argument of its letter, and the word chooses the kind only
// when written exactly so.
bool has_own_option(const CutListKindRow& row);

// The kind an option argument names: `kind`, the kind of the option's row,
// or a kind read under that row whose word the argument is exactly ("-k1").
CutListKind cut_list_kind_named(CutListKind kind, std::string_view arg);

// What became of a list: read into the map; empty (no line but blank
// lines and comments: the map is what the kind makes of nothing, and a
// delay alone may stand in for a list beside the input); not opened
// (nothing is printed then, and the map stays empty: the caller names the
// file); or rejected, with the reason printed: "no cuts could be read from
// <list> (N lines, first: line K)" when none of its lines of text could be.
enum class CutListRead { Read, Empty, Unopened, Rejected };

// Empties and fills `map` from the file and prints the cut summary, its
// durations from the clock, which also turns the times of the lists that
// give times into frames. A
// UTF-8 byte-order mark at the start of the file is skipped for every kind.
// Kept ranges out of order or overlapping are used as given, with a warning
// naming the list (the AviUtl and edit-decision readers sort and merge
// their ranges instead). A list given as one kind is read as another kind
// read under the same option when its content shows it (an mpv EDL under
// -edl). `recording` is the file the cuts are for (the stream measured, or
// the subtitle re-timed; empty when unknown): a list that names the files
// it was cut from says so when they are several, or another recording.
CutListRead read_cut_list(const std::string& path, CutListKind kind, const FrameClock& clock,
                          const Log& log, CutMap& map, std::string_view recording = {});

// The same for the bytes of a list held in memory, read as a file holding
// them would read; `name` stands for the path in messages.
CutListRead read_cut_list_bytes(std::string_view bytes, CutListKind kind, const FrameClock& clock,
                                const Log& log, CutMap& map, std::string_view name = "<memory>",
                                std::string_view recording = {});

// True when some kept stretch of a finished map holds at least one frame.
bool keeps_any_frame(const CutMap& map);

}  // namespace mendra
