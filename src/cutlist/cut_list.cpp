#include "cutlist/cut_list.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "cutlist/cut_readers.h"
#include "util/file_failure.h"
#include "util/frame_rate.h"
#include "util/int_math.h"
#include "util/text_reader.h"

namespace mendra {
namespace {

using CutListReader = bool (*)(CutListContext&);

struct CutListReaderRow {
  CutListKind kind;
  CutListReader read;
};

// One row per kind, in the order of their numbers.
constexpr std::array<CutListReaderRow, static_cast<std::size_t>(CutListKind::Count)> kReaders{{
    {CutListKind::KeyAuto, read_key_auto},
    {CutListKind::KeyOdd, read_key_odd},
    {CutListKind::KeyEven, read_key_even},
    {CutListKind::KeyRanges, read_key_ranges},
    {CutListKind::AvsTrim, read_avs_trim},
    {CutListKind::VcfRanges, read_vcf_ranges},
    {CutListKind::DelList, read_del_list},
    {CutListKind::Edl, read_edl},
    {CutListKind::KeptSegments, read_kept_segments},
}};

constexpr bool rows_in_kind_order() {
  for (std::size_t i = 0; i < kReaders.size(); ++i) {
    if (static_cast<std::size_t>(kReaders[i].kind) != i) return false;
  }
  return true;
}
static_assert(rows_in_kind_order(), "kReaders needs one row per kind, in the order of the kinds");

// The reader of a kind; none for a number that is not a kind.
CutListReader reader_of(CutListKind kind) {
  const int index = static_cast<int>(kind);
  if (index < 0 || index >= static_cast<int>(kReaders.size())) return nullptr;
  return kReaders[static_cast<std::size_t>(index)].read;
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
                           const FrameClock& clock, const Log& log, CutMap& map) {
  CutMapBuilder builder(clock);
  CutListContext context{file, builder, clock, log, name};
  const CutListReader read = reader_of(kind);
  skip_utf8_bom(file);
  // A number that is not a kind fails without a message of its own.
  const bool ok = read != nullptr && read(context);
  CutListRead verdict = ok ? judge_lines(context) : CutListRead::Rejected;
  // A list that could not be read to its end must not pass for a list
  // that ends there.
  if (file.read_failed()) {
    report_file_failure(
        log, FileFailure{"list file", FileAction::Read, name, name, file.error_number()});
    builder = CutMapBuilder{clock};
    verdict = CutListRead::Rejected;
  }
  // The AviUtl reader sorts and merges its ranges itself; the other kinds
  // keep their order, which may be deliberate, but it is worth a word.
  if (kind != CutListKind::DelList && builder.kept_out_of_order()) {
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

bool keeps_any_frame(const CutMap& map) {
  // The kept stretches lie between the end of one deleted interval (odd
  // index) and the start of the next; 64 bits, so no difference wraps.
  for (std::size_t i = 1; i + 1 < map.size(); i += 2) {
    if (static_cast<std::int64_t>(map[i + 1]) - map[i] >= 2) return true;
  }
  return false;
}

CutListRead read_cut_list(const std::string& path, CutListKind kind, const FrameClock& clock,
                          const Log& log, CutMap& map) {
  map.clear();
  TextReader file;
  // The driver reports an unreadable list itself; nothing is printed here.
  // A keyframe list may be read twice (its pairing is chosen first), also
  // when it comes through a pipe.
  if (!file.open_rewindable(path)) return CutListRead::Unopened;
  return read_open_list(file, path, kind, clock, log, map);
}

CutListRead read_cut_list_bytes(std::string_view bytes, CutListKind kind, const FrameClock& clock,
                                const Log& log, CutMap& map, std::string_view name) {
  map.clear();
  TextReader file;
  file.open_memory(bytes);
  return read_open_list(file, name, kind, clock, log, map);
}

}  // namespace mendra
