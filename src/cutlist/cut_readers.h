// What the individual cut-list readers share with read_cut_list: each one
// gets the open file, appends its values to the cut map after the leading -1
// that read_cut_list has already written, and counts frames for the summary.
// The trailing -1, -1, the closing of the file and the summary stay with
// read_cut_list.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cutlist/cut_map.h"
#include "util/settings.h"
#include "util/text_reader.h"

namespace mendra {

// The two counters printed by the cut summary. Both wrap around in 32 bits,
// since hand-typed lists can hold frame numbers near the int limits.
struct CutCounters {
  std::int32_t kept_frames = 0;  // frames inside the kept ranges
  std::int32_t cut_frames = 0;   // frames deleted before the end of the last kept range
};

// Everything a reader works on during one read_cut_list call.
struct CutListContext {
  TextReader& file;
  CutMap& map;
  const RunSettings& settings;
  CutCounters counters;
};

// Longest piece a cut-list line is read in; a longer line arrives as several
// pieces, each read as a line of its own.
constexpr std::size_t kCutListPieceBytes = 255;

// Chooses the Odd or the Even pairing of a keyframe list from the spacing of
// its values and rewinds the file. Returns KeyOdd or KeyEven, or KeyAuto
// when the file has no line at all.
int choose_key_pairing(TextReader& file, const RunSettings& settings);

// TMPGEnc keyframe list under KeyOdd, KeyEven or KeyRanges.
void read_keyframe_list(CutListContext& context, int kind);

// VirtualDub job: the VirtualDub.subset.AddRange lines.
void read_vcf_ranges(CutListContext& context);

// AviUtl deleted-frame list. Returns 0, or -1 when the header line is
// missing or holds -1.
int read_del_list(CutListContext& context);

// The Trim calls of an AviSynth script.
void read_avs_trim(CutListContext& context);

// "   ---- cut info ----" with the kept and cut frames and their durations.
void print_cut_summary(const CutCounters& counters, const RunSettings& settings);

}  // namespace mendra
