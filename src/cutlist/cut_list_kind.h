// The kinds of cut-list file, as the options name them and the traces number
// them.
#pragma once

namespace mendra {

// The numbers are those the traces print.
enum class CutListKind : int {
  KeyAuto = 0,           // keyframe list, Odd or Even chosen from the file
  KeyOdd = 1,            // keyframe list, Odd pairing
  KeyEven = 2,           // keyframe list, Even pairing
  KeyRanges = 3,         // keyframe list as inclusive kept ranges
  AvsTrim = 4,           // AviSynth script
  VcfRanges = 5,         // VirtualDub job
  DelList = 6,           // AviUtl deleted-frame list (the default)
  Edl = 7,               // edit decision list: deleted time or frame ranges
  KeptSegments = 8,      // CSV of kept segments in seconds
  MpvEdl = 9,            // mpv EDL: kept segments, read under -edl
  LosslessCut = 10,      // LosslessCut project (JSON5), read under -segments
  ConcatScript = 11,     // ffmpeg concat script: inpoint/outpoint of each file
  AvidemuxProject = 12,  // Avidemux project script: addSegment and the markers
  Count                  // not a kind: how many there are
};

}  // namespace mendra
