// Readers that build the cut map from the cut-list files of the outside
// tools: TMPGEnc keyframe lists, AviSynth Trim calls, VirtualDub jobs,
// AviUtl deleted-frame lists, edit decision lists and kept-segment exports.
#pragma once

#include <string>
#include <string_view>

#include "cutlist/cut_map.h"
#include "util/settings.h"

namespace mendra {

// The numbers are those the traces print.
enum class CutListKind : int {
  KeyAuto = 0,       // keyframe list, Odd or Even chosen from the file
  KeyOdd = 1,        // keyframe list, Odd pairing
  KeyEven = 2,       // keyframe list, Even pairing
  KeyRanges = 3,     // keyframe list as inclusive kept ranges
  AvsTrim = 4,       // AviSynth script
  VcfRanges = 5,     // VirtualDub job
  DelList = 6,       // AviUtl deleted-frame list (the default)
  Edl = 7,           // edit decision list: deleted time or frame ranges
  KeptSegments = 8,  // CSV of kept segments in seconds
  Count              // not a kind: how many there are
};

// Empties and fills `map` from the file and prints the cut summary. False
// when the list cannot be read: a file that cannot be opened (nothing is
// printed then, and the map stays empty), or a list its reader rejects. A
// UTF-8 byte-order mark at the start of the file is skipped for every kind.
// Kept ranges out of order or overlapping are used as given, with a warning
// naming the list (the AviUtl and edit-decision readers sort and merge
// their ranges instead).
bool read_cut_list(const std::string& path, CutListKind kind, CutMap& map,
                   const RunSettings& settings);

// The same for the bytes of a list held in memory, read as a file holding
// them would read; `name` stands for the path in messages.
bool read_cut_list_bytes(std::string_view bytes, CutListKind kind, CutMap& map,
                         const RunSettings& settings, std::string_view name = "<memory>");

// True when some kept stretch of a finished map holds at least one frame.
bool keeps_any_frame(const CutMap& map);

}  // namespace mendra
