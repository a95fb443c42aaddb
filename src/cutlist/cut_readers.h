// What the individual cut-list readers share with read_cut_list: each one
// gets the open file and adds its ranges to the builder, which already holds
// the leading -1 of the map. The trailing -1, -1, the closing of the file
// and the summary stay with read_cut_list.
#pragma once

#include <cstddef>
#include <string_view>

#include "cutlist/cut_list_kind.h"
#include "cutlist/cut_map_builder.h"
#include "cutlist/list_support.h"
#include "time/frame_clock.h"
#include "util/log.h"
#include "util/text_reader.h"

namespace mendra {

// Everything a reader works on during one read_cut_list call.
struct CutListContext {
  TextReader& file;
  CutMapBuilder& builder;
  const FrameClock& clock;  // turns the times of a list into frames
  const Log& log;
  std::string_view list_name;  // the list's path, or a display name for one in memory
};

// Chooses the Odd or the Even pairing of a keyframe list from the spacing of
// its values and rewinds the file. Returns KeyOdd or KeyEven, or KeyAuto
// when the file has no line at all.
CutListKind choose_key_pairing(TextReader& file, const Log& log);

// TMPGEnc keyframe list with the pairing chosen from the file; fails when
// the file has no line to choose from.
bool read_key_auto(CutListContext& context);
// TMPGEnc keyframe list under the Odd or the Even pairing, or as inclusive
// kept ranges; fails when no line that holds text holds a number.
bool read_key_odd(CutListContext& context);
bool read_key_even(CutListContext& context);
bool read_key_ranges(CutListContext& context);

// The Trim calls of an AviSynth script.
void read_avs_trim(CutListContext& context);

// VirtualDub job: the VirtualDub.subset.AddRange lines.
void read_vcf_ranges(CutListContext& context);

// AviUtl deleted-frame list. Fails when the header line is missing or holds
// -1.
bool read_del_list(CutListContext& context);

// Edit decision list: deleted ranges in seconds or frames, sorted and
// merged, kept open toward the end of the video after the last one. Fails
// when the list has lines to read and none could be read.
bool read_edl(CutListContext& context);

// CSV of kept segments, in the order given. Fails when the list has records
// and none, not even a header, could be read.
bool read_kept_segments(CutListContext& context);

}  // namespace mendra
