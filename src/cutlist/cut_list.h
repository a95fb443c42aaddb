// Readers that build the cut map from the cut-list files of the outside
// tools: TMPGEnc keyframe lists, AviSynth Trim calls, VirtualDub jobs,
// AviUtl deleted-frame lists, edit decision lists and kept-segment exports.
#pragma once

#include <string>
#include <string_view>

#include "cutlist/cut_list_kind.h"
#include "cutlist/cut_map.h"
#include "util/frame_clock.h"
#include "util/log.h"

namespace mendra {

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
// their ranges instead).
CutListRead read_cut_list(const std::string& path, CutListKind kind, const FrameClock& clock,
                          const Log& log, CutMap& map);

// The same for the bytes of a list held in memory, read as a file holding
// them would read; `name` stands for the path in messages.
CutListRead read_cut_list_bytes(std::string_view bytes, CutListKind kind, const FrameClock& clock,
                                const Log& log, CutMap& map, std::string_view name = "<memory>");

// True when some kept stretch of a finished map holds at least one frame.
bool keeps_any_frame(const CutMap& map);

}  // namespace mendra
