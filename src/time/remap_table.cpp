#include "time/remap_table.h"

#include <algorithm>

#include "util/int_math.h"

namespace mendra {
namespace {

using Entry = RemapTable::Entry;

// The two tests of remap_source_frame for one pair, and the result they give.
bool match(const Entry& entry, std::int64_t frame, FrameRemap& result) {
  if (entry.d <= frame && frame <= entry.e) {
    result.kind = FrameRemap::Kind::AtCut;
    result.cut_frame = std::int64_t{entry.e} + 1 - entry.count;
    result.pair = entry.pair;
    return true;
  }
  if (entry.has_next && entry.e < frame && frame < entry.next) {
    result.kind = FrameRemap::Kind::Kept;
    result.shift = entry.count;
    result.pair = entry.pair;
    return true;
  }
  return false;
}

FrameRemap beyond_last_kept(const RemapTable& table) {
  FrameRemap result;
  result.kind = FrameRemap::Kind::BeyondLastKept;
  result.cut_frame = -std::int64_t{table.final_count};
  return result;
}

// The cut video's times of every pair's kept stretch: the first frame's
// time plus the durations of the stretches before it, as signed sums, so
// that ranges out of order count as a constant rate counts them.
void add_cut_times(const CutMap& map, const FrameClock& clock, RemapTable& table) {
  __extension__ using Wide = __int128;
  constexpr Wide kFar = Wide{1} << 61;
  const auto bounded = [](Wide ns) {
    return static_cast<std::int64_t>(ns > kFar ? kFar : ns < -kFar ? -kFar : ns);
  };
  table.timecodes = true;
  const std::int64_t first_frame_ns = frame_start_ns(clock, 0);
  Wide base = first_frame_ns;
  const std::size_t n = map.size();
  for (std::size_t i = 0; n >= 1 && i < n - 1; i += 2) {
    const std::int64_t first_ns = frame_start_ns(clock, std::int64_t{map[i + 1]} + 1);
    table.pair_base_ns.push_back(bounded(base));
    table.pair_first_ns.push_back(first_ns);
    if (i + 2 < n) base = bounded(base + frame_start_ns(clock, map[i + 2]) - first_ns);
  }
  // The cut video ends where the last pair's stretch would begin; the last
  // pair of a finished map, (last + 1, -1), begins it at frame 0.
  table.end_ns =
      table.pair_base_ns.empty()
          ? first_frame_ns
          : bounded(Wide{table.pair_base_ns.back()} + first_frame_ns - table.pair_first_ns.back());
}

}  // namespace

RemapTable make_remap_table(const CutMap& map, const FrameClock& clock) {
  RemapTable table;
  table.scale = clock_scale(clock);
  const std::size_t n = map.size();
  std::int32_t count = -1;
  for (std::size_t i = 0; n >= 1 && i < n - 1; i += 2) {
    Entry entry;
    entry.pair = i / 2;
    entry.d = map[i];
    entry.e = map[i + 1];
    count = wrap_add(wrap_add(count, wrap_sub(entry.e, entry.d)), 1);
    entry.count = count;
    entry.has_next = i + 2 < n;
    entry.next = entry.has_next ? map[i + 2] : 0;
    const bool deleted = entry.d <= entry.e;
    const bool kept = entry.has_next && std::int64_t{entry.e} + 1 < entry.next;
    if (!deleted && !kept) continue;
    // [d, e] and [e + 1, next - 1] meet, so together they are one run.
    entry.low = deleted ? entry.d : std::int64_t{entry.e} + 1;
    entry.high = kept ? std::int64_t{entry.next} - 1 : entry.e;
    if (!table.entries.empty()) {
      const Entry& before = table.entries.back();
      if (entry.low < before.low || entry.high < before.high) table.ordered = false;
    }
    table.entries.push_back(entry);
  }
  table.final_count = count;
  if (!is_constant(clock)) add_cut_times(map, clock, table);
  return table;
}

FrameRemap remap_source_frame(const RemapTable& table, std::int64_t frame) {
  FrameRemap result;
  if (!table.ordered) {
    for (const Entry& entry : table.entries) {
      if (match(entry, frame, result)) return result;
    }
    return beyond_last_kept(table);
  }
  // With bounds in order, "the run lies wholly before the frame" holds for a
  // leading run of entries; the first entry after that run is the first one
  // that can match, and if it does not, no later one does.
  const auto first =
      std::partition_point(table.entries.begin(), table.entries.end(),
                           [frame](const Entry& entry) { return entry.high < frame; });
  if (first != table.entries.end() && match(*first, frame, result)) return result;
  return beyond_last_kept(table);
}

}  // namespace mendra
