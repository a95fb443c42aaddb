// Readers that build the cut map from the cut-list files of the outside
// tools: TMPGEnc keyframe lists, AviSynth Trim calls, VirtualDub jobs and
// AviUtl deleted-frame lists.
#pragma once

#include <string>

#include "cutlist/cut_map.h"
#include "util/settings.h"

namespace mendra {

enum CutListKind : int {
  KeyAuto = 0,    // keyframe list, Odd or Even chosen from the file
  KeyOdd = 1,     // keyframe list, Odd pairing
  KeyEven = 2,    // keyframe list, Even pairing
  KeyRanges = 3,  // keyframe list as inclusive kept ranges
  AvsTrim = 4,    // AviSynth script
  VcfRanges = 5,  // VirtualDub job
  DelList = 6,    // AviUtl deleted-frame list (the default)
};

// Empties and fills `map` from the file and prints the cut summary. Returns
// 0 on success and -1 on failure.
int read_cut_list(const std::string& path, int kind, CutMap& map, const RunSettings& settings);

}  // namespace mendra
