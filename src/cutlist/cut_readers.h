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
#include "util/line_tally.h"
#include "util/log.h"
#include "util/text_reader.h"

namespace mendra {

// What a reader met besides its ranges: whether it read any line (a
// header counts), and the lines holding text that it could not read.
// read_cut_list turns them into the same verdict and messages for every
// kind: nothing read from lines of text is "no cuts could be read", some
// lines unread a warning. A reader that tallies no lines is judged by the
// lines of text the list holds.
struct ListLines {
  bool any_read = false;
  LineTally unread;
};

// Everything a reader works on during one read_cut_list call.
struct CutListContext {
  TextReader& file;
  CutMapBuilder& builder;
  const FrameClock& clock;  // turns the times of a list into frames
  const Log& log;
  std::string_view list_name;  // the list's path, or a display name for one in memory
  const char* label;           // the kind's trace line, from its row
  // The files a list says its segments come from, for the warning when
  // they are not the recording the cuts are for.
  NamedRecordings& recordings;
  ListLines lines{};
};

// Prints the kind's trace line, as a reader does when it starts.
inline void announce_kind(const Log& log, const char* label) {
  if (label[0] != '\0') log(LogLevel::Info, "%s\n", label);
}

// Chooses the Odd or the Even pairing of a keyframe list from the spacing of
// its values and rewinds the file. Returns KeyOdd or KeyEven, or KeyAuto
// when the file has no line at all.
CutListKind choose_key_pairing(TextReader& file, const Log& log);

// Every reader returns false only for a reason it has reported itself;
// what it could and could not read goes into context.lines.

// TMPGEnc keyframe list with the pairing chosen from the file (a file
// without a line reads nothing).
bool read_key_auto(CutListContext& context);
// TMPGEnc keyframe list under the Odd or the Even pairing, or as inclusive
// kept ranges; a line that holds text but no plain frame number is unread.
bool read_key_odd(CutListContext& context);
bool read_key_even(CutListContext& context);
bool read_key_ranges(CutListContext& context);

// The Trim calls of an AviSynth script.
bool read_avs_trim(CutListContext& context);

// VirtualDub job: the VirtualDub.subset.AddRange lines.
bool read_vcf_ranges(CutListContext& context);

// AviUtl deleted-frame list; nothing is read without a header line that
// holds no -1.
bool read_del_list(CutListContext& context);

// Edit decision list: deleted ranges in seconds or frames, sorted and
// merged, kept open toward the end of the video after the last one.
bool read_edl(CutListContext& context);

// CSV of kept segments, in the order given.
bool read_kept_segments(CutListContext& context);

// mpv EDL: the segments of the recording, kept in order. Recognised by its
// first line "# mpv EDL v0".
bool is_mpv_edl(std::string_view first_bytes);
bool read_mpv_edl(CutListContext& context);

// LosslessCut project (JSON5): its cutSegments, kept in order. Recognised
// by the '{' that opens it. A project that is no JSON5, or holds no list
// of segments, reads nothing.
bool is_losslesscut_project(std::string_view first_bytes);
bool read_losslesscut_project(CutListContext& context);

// ffmpeg concat script: from each file's inpoint to its outpoint (or for
// its duration), in order.
bool read_concat_script(CutListContext& context);

// Avidemux project script: the addSegment calls, within marker A and
// marker B of the edited video.
bool read_avidemux_project(CutListContext& context);

}  // namespace mendra
