#include "cutlist/cut_list.h"

#include <cstdint>
#include <cstdio>
#include <iterator>

#include "cutlist/cut_readers.h"
#include "time/frame_rate.h"
#include "util/file_failure.h"
#include "util/int_math.h"
#include "util/text_reader.h"

namespace mendra {
namespace {

// One row per kind, in the order the usage lists their options; the kinds
// read under another kind's option follow it.
constexpr CutListKindRow kKinds[] = {
    {CutListKind::DelList, "-l", true,
     "  -l <AviUtl_DelList.txt>       default: input_del.txt (or input.edl)\n",
     "an AviUtl deleted-frame list", " [del]", true, nullptr, read_del_list},
    {CutListKind::AvsTrim, "-t", true, "  -t <trimfile.avs>\n", "an AviSynth script", " [avs]",
     false, nullptr, read_avs_trim},
    {CutListKind::VcfRanges, "-v", true, "  -v <vcffile.vcf>\n", "a VirtualDub job", " [vcf]",
     false, nullptr, read_vcf_ranges},
    // Any other argument of the k letter lets the file choose between Odd
    // and Even; the chosen reader prints its own trace line.
    {CutListKind::KeyAuto, "-k", true, "  -k{1|2|3} <TMPGEnc.keyframe>\n",
     "a TMPGEnc keyframe list", "", false, nullptr, read_key_auto},
    {CutListKind::KeyOdd, "-k1", false, "", nullptr, " [key]\t1 : Odd", false, nullptr,
     read_key_odd},
    {CutListKind::KeyEven, "-k2", false, "", nullptr, " [key]\t2 : Even", false, nullptr,
     read_key_even},
    {CutListKind::KeyRanges, "-k3", false, "", nullptr, " [key]\t3", false, nullptr,
     read_key_ranges},
    {CutListKind::Edl, "-edl", false,
     "  -edl <list.edl>               cut: START END [ACTION] per line\n", nullptr, " [edl]", true,
     nullptr, read_edl},
    {CutListKind::MpvEdl, "-edl", false, "", nullptr, " [mpv edl]", false, is_mpv_edl,
     read_mpv_edl},
    {CutListKind::KeptSegments, "-segments", false,
     "  -segments <segments.csv>      kept: start,end[,label] per line\n", nullptr, " [seg]", false,
     nullptr, read_kept_segments},
    {CutListKind::LosslessCut, "-segments", false, "", nullptr, " [llc]", false,
     is_losslesscut_project, read_losslesscut_project},
    {CutListKind::ConcatScript, "-concat", false,
     "  -concat <script.ffconcat>     kept: inpoint, outpoint of each file\n", nullptr, " [concat]",
     false, nullptr, read_concat_script},
    {CutListKind::AvidemuxProject, "-avidemux", false,
     "  -avidemux <project.py>        kept: adm.addSegment, markers A and B\n", nullptr,
     " [avidemux]", false, nullptr, read_avidemux_project},
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

// The letter row a word is read under: the one whose letter begins it
// ("-k" for "-k1"); nullptr for a letter row itself and for other words.
const CutListKindRow* letter_row_of(const CutListKindRow& row) {
  if (row.option_by_letter) return nullptr;
  const std::string_view word = row.option;
  for (const CutListKindRow& letter : kKinds) {
    if (letter.option_by_letter && word.size() > 2 && word.starts_with(letter.option)) {
      return &letter;
    }
  }
  return nullptr;
}

// The kind a list given as `named` turns out to be: one read under the
// same option whose content its first bytes show, or `named` itself.
const CutListKindRow& kind_from_content(const CutListKindRow& named, std::string_view first_bytes) {
  if (named.recognise != nullptr) return named;
  for (const CutListKindRow& row : kKinds) {
    if (row.recognise != nullptr && same_option(row, named) && row.recognise(first_bytes)) {
      return row;
    }
  }
  return named;
}

// The verdict on what a reader that did not fail met, the same for every
// kind; a list of which nothing could be read is refused with one message.
CutListRead judge_lines(CutListContext& context) {
  ListLines& lines = context.lines;
  if (lines.any_read) {
    if (!lines.unread.empty()) report_lines_unread(context.log, context.list_name, lines.unread);
    return CutListRead::Read;
  }
  if (lines.unread.empty()) {
    // A reader that tallies no lines of its own may still have read ranges.
    if (context.builder.has_ranges()) return CutListRead::Read;
    lines.unread = count_text_lines(context.file);
    if (lines.unread.empty()) return CutListRead::Empty;
  }
  report_no_cuts_read(context.log, context.list_name, lines.unread);
  // What was taken from the unread lines (a keyframe line without a number
  // is frame 0) means nothing: the map keeps no range.
  context.builder = CutMapBuilder{context.clock};
  return CutListRead::Rejected;
}

CutListRead read_open_list(TextReader& file, std::string_view name, CutListKind kind,
                           const FrameClock& clock, const Log& log, CutMap& map,
                           std::string_view recording) {
  CutMapBuilder builder(clock);
  NamedRecordings recordings;
  const CutListKindRow* row = find_cut_list_kind(kind);
  // Looked at before the first read, as a pipe cannot be read twice.
  if (row != nullptr) row = &kind_from_content(*row, file.peek_start());
  const char* label = row != nullptr ? row->label : "";
  CutListContext context{file, builder, clock, log, name, label, recordings};
  skip_utf8_bom(file);
  // A number that is not a kind fails without a message of its own.
  const bool ok = row != nullptr && row->read(context);
  CutListRead verdict = ok ? judge_lines(context) : CutListRead::Rejected;
  // A list that could not be read to its end must not pass for a list
  // that ends there.
  if (file.read_failed()) {
    report_file_failure(
        log, FileFailure{"list file", FileAction::Read, name, name, file.error_number()});
    builder = CutMapBuilder{clock};
    verdict = CutListRead::Rejected;
  }
  if (verdict == CutListRead::Read) report_named_recordings(log, name, recording, recordings);
  // The kinds that do not sort their ranges keep their order, which may be
  // deliberate, but it is worth a word.
  if (row != nullptr && !row->sorts_itself && builder.kept_out_of_order()) {
    log(LogLevel::Warning, "kept ranges out of order or overlapping in %.*s\n",
        static_cast<int>(name.size()), name.data());
  }
  // Closes the last deleted interval and the list, also after a failure.
  builder.finish(map);
  file.close();
  print_cut_summary(builder.counters(), clock, log);
  report_frames_past_end(clock, log);
  return verdict;
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

bool has_own_option(const CutListKindRow& row) {
  return row.recognise == nullptr && letter_row_of(row) == nullptr;
}

CutListKind cut_list_kind_named(CutListKind kind, std::string_view arg) {
  const CutListKindRow* named = find_cut_list_kind(kind);
  if (named == nullptr || !named->option_by_letter) return kind;
  for (const CutListKindRow& row : kKinds) {
    if (letter_row_of(row) == named && arg == row.option) return row.kind;
  }
  return kind;
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
  // A keyframe list may be read twice (its pairing is chosen first), also
  // when it comes through a pipe.
  if (!file.open_rewindable(path)) return CutListRead::Unopened;
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
