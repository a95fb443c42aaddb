#include "cutlist/cut_list.h"

#include <cstdint>
#include <cstdio>
#include <iterator>

#include "cutlist/cut_readers.h"
#include "util/frame_rate.h"
#include "util/int_math.h"
#include "util/text_reader.h"

namespace mendra {
namespace {

// A reader that cannot fail, in the shape of the table.
template <void (*Read)(CutListContext&)>
bool always_succeeds(CutListContext& context) {
  Read(context);
  return true;
}

// One row per kind, in the order the usage lists their options; the kinds
// recognised by their content follow the kind whose option they share.
constexpr CutListKindRow kKinds[] = {
    {CutListKind::DelList, "-l", true,
     "  -l <AviUtl_DelList.txt>       default: input_del.txt (or input.edl)\n", " [del]", true,
     nullptr, read_del_list},
    {CutListKind::AvsTrim, "-t", true, "  -t <trimfile.avs>\n", " [avs]", false, nullptr,
     always_succeeds<read_avs_trim>},
    {CutListKind::VcfRanges, "-v", true, "  -v <vcffile.vcf>\n", " [vcf]", false, nullptr,
     always_succeeds<read_vcf_ranges>},
    // Any other word of the k family lets the file choose between Odd and
    // Even; the chosen reader prints its own trace line.
    {CutListKind::KeyAuto, "-k", true, "  -k{1|2|3} <TMPGEnc.keyframe>\n", "", false, nullptr,
     read_key_auto},
    {CutListKind::KeyOdd, "-k1", false, "", " [key]\t1 : Odd", false, nullptr, read_key_odd},
    {CutListKind::KeyEven, "-k2", false, "", " [key]\t2 : Even", false, nullptr, read_key_even},
    {CutListKind::KeyRanges, "-k3", false, "", " [key]\t3", false, nullptr, read_key_ranges},
    {CutListKind::Edl, "-edl", false,
     "  -edl <list.edl>               cut: START END [ACTION] per line\n", " [edl]", true, nullptr,
     read_edl},
    {CutListKind::MpvEdl, "-edl", false, "", " [mpv edl]", false, is_mpv_edl, read_mpv_edl},
    {CutListKind::KeptSegments, "-segments", false,
     "  -segments <segments.csv>      kept: start,end[,label] per line\n", " [seg]", false, nullptr,
     read_kept_segments},
    {CutListKind::LosslessCut, "-segments", false, "", " [llc]", false, is_losslesscut_project,
     read_losslesscut_project},
    {CutListKind::ConcatScript, "-concat", false,
     "  -concat <script.ffconcat>     kept: inpoint, outpoint of each file\n", " [concat]", false,
     nullptr, read_concat_script},
    {CutListKind::AvidemuxProject, "-avidemux", false,
     "  -avidemux <project.py>        kept: adm.addSegment, markers A and B\n", " [avidemux]",
     false, nullptr, read_avidemux_project},
};

constexpr bool one_row_per_kind() {
  if (std::size(kKinds) != static_cast<std::size_t>(CutListKind::Count)) return false;
  for (std::size_t kind = 0; kind < std::size(kKinds); ++kind) {
    int rows = 0;
    for (const CutListKindRow& row : kKinds) {
      if (static_cast<std::size_t>(row.kind) == kind) ++rows;
    }
    if (rows != 1) return false;
  }
  return true;
}
static_assert(one_row_per_kind(), "kKinds needs exactly one row per kind");

bool same_option(const CutListKindRow& a, const CutListKindRow& b) {
  return std::string_view(a.option) == b.option;
}

// The kind a list given as `kind` turns out to be: one read under the same
// option whose content its first bytes show, or `kind` itself.
const CutListKindRow& kind_from_content(const CutListKindRow& named, std::string_view first_bytes) {
  if (!has_own_option(named)) return named;
  for (const CutListKindRow& row : kKinds) {
    if (!has_own_option(row) && same_option(row, named) && row.recognise(first_bytes)) return row;
  }
  return named;
}

CutListRead read_open_list(TextReader& file, std::string_view name, CutListKind kind,
                           const FrameClock& clock, const Log& log, CutMap& map,
                           std::string_view recording) {
  CutMapBuilder builder(clock);
  NamedRecordings recordings;
  const CutListKindRow* row = find_cut_list_kind(kind);
  // Looked at before the first read, as a pipe cannot be read twice.
  if (row != nullptr) row = &kind_from_content(*row, file.peek_start());
  CutListContext context{file,      builder, clock, log, name, row != nullptr ? row->label : "",
                         recordings};
  skip_utf8_bom(file);
  // A number that is not a kind fails without a message of its own.
  const bool ok = row != nullptr && row->read(context);
  if (ok) report_named_recordings(log, name, recording, recordings);
  // The other kinds keep their order, which may be deliberate, but it is
  // worth a word.
  if (row != nullptr && !row->sorts_itself && builder.kept_out_of_order()) {
    log(LogLevel::Error, "warning: kept ranges out of order or overlapping in %.*s\n",
        static_cast<int>(name.size()), name.data());
  }
  // Closes the last deleted interval and the list, also after a failure.
  builder.finish(map);
  file.close();
  print_cut_summary(builder.counters(), clock, log);
  report_frames_past_end(clock, log);
  return ok ? CutListRead::Read : CutListRead::Rejected;
}

}  // namespace

std::span<const CutListKindRow> cut_list_kinds() {
  return kKinds;
}

const CutListKindRow* find_cut_list_kind(CutListKind kind) {
  for (const CutListKindRow& row : kKinds) {
    if (row.kind == kind) return &row;
  }
  return nullptr;
}

bool keeps_any_frame(const CutMap& map) {
  // The kept stretches lie between the end of one deleted interval (odd
  // index) and the start of the next; 64 bits, so no difference wraps.
  for (std::size_t i = 1; i + 1 < map.size(); i += 2) {
    if (static_cast<std::int64_t>(map[i + 1]) - map[i] >= 2) return true;
  }
  return false;
}

CutListRead read_cut_list(const std::string& path, CutListKind kind, const FrameClock& clock,
                          const Log& log, CutMap& map, std::string_view recording) {
  map.clear();
  TextReader file;
  // The driver reports an unreadable list itself; nothing is printed here.
  if (!file.open(path)) return CutListRead::Unopened;
  return read_open_list(file, path, kind, clock, log, map, recording);
}

CutListRead read_cut_list_bytes(std::string_view bytes, CutListKind kind, const FrameClock& clock,
                                const Log& log, CutMap& map, std::string_view name,
                                std::string_view recording) {
  map.clear();
  TextReader file;
  file.open_memory(bytes);
  return read_open_list(file, name, kind, clock, log, map, recording);
}

}  // namespace mendra
