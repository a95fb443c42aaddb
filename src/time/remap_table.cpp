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

__extension__ using Wide = __int128;

// Sums of clock times saturate here, as the clock's own times do.
ClockTime bounded(Wide ticks) {
  constexpr Wide kFar = Wide{1} << 61;
  return ClockTime{static_cast<std::int64_t>(ticks > kFar ? kFar : ticks < -kFar ? -kFar : ticks)};
}

// The cut video's times of every pair's kept stretch: the first frame's
// time plus the durations of the stretches before it, as signed sums, so
// that ranges out of order count as they are given.
void add_cut_times(const CutMap& map, const FrameClock& clock, RemapTable& table) {
  const ClockTime first_frame = frame_start(clock, 0);
  ClockTime base = first_frame;
  const std::size_t n = map.size();
  RemapTable::PairTimes pair;
  for (std::size_t i = 0; n >= 1 && i < n - 1; i += 2) {
    pair.first_frame = std::int64_t{map[i + 1]} + 1;
    pair.source_first = frame_start(clock, pair.first_frame);
    pair.cut_first = base;
    table.pair_times.push_back(pair);
    if (i + 2 >= n) break;
    const std::int64_t next = map[i + 2];
    const ClockTime next_start = frame_start(clock, next);
    base = bounded(Wide{base.ticks} + next_start.ticks - pair.source_first.ticks);
    if (next > pair.first_frame) {
      pair.previous_duration = bounded(Wide{next_start.ticks} - frame_start(clock, next - 1).ticks);
      pair.has_previous = true;
    }
  }
  // The cut video ends where the last pair's stretch would begin; the last
  // pair of a finished map, (last + 1, -1), begins it at frame 0.
  if (table.pair_times.empty()) {
    table.end = first_frame;
    return;
  }
  const RemapTable::PairTimes& last = table.pair_times.back();
  table.end = bounded(Wide{last.cut_first.ticks} + first_frame.ticks - last.source_first.ticks);
  table.last_duration = pair.previous_duration;
  table.has_last = pair.has_previous;
}

}  // namespace

RemapTable make_remap_table(const CutMap& map, const FrameClock& clock) {
  RemapTable table;
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
  add_cut_times(map, clock, table);
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

CutTime cut_time(const RemapTable& table, const FrameClock& clock, ClockTime t, bool is_start) {
  CutTime out;
  const std::int64_t frame = frame_shown_at(clock, t);
  const FrameRemap remap = remap_source_frame(table, frame);
  out.placed = true;
  out.at_cut = remap.kind != FrameRemap::Kind::Kept;
  switch (remap.kind) {
    case FrameRemap::Kind::Kept: {
      const RemapTable::PairTimes& pair = table.pair_times[remap.pair];
      out.time = bounded(Wide{t.ticks} - pair.source_first.ticks + pair.cut_first.ticks);
      const ClockTime start = frame_start(clock, frame);
      if (t > start) {
        // Inside the frame: the cut video's next frame starts where this one
        // ends, whether or not the uncut video kept the frame after it.
        out.frame_below = bounded(Wide{out.time.ticks} - t.ticks + start.ticks);
        out.frame_above = bounded(Wide{out.frame_below.ticks} +
                                  frame_start(clock, frame + 1).ticks - start.ticks);
        out.has_frame_below = true;
        return out;
      }
      out.frame_above = out.time;
      if (frame > pair.first_frame) {
        out.frame_below =
            bounded(Wide{out.time.ticks} - start.ticks + frame_start(clock, frame - 1).ticks);
        out.has_frame_below = true;
        return out;
      }
      out.frame_below = bounded(Wide{out.time.ticks} - pair.previous_duration.ticks);
      out.has_frame_below = pair.has_previous;
      return out;
    }
    case FrameRemap::Kind::AtCut: {
      const RemapTable::PairTimes& pair = table.pair_times[remap.pair];
      out.time = pair.cut_first;
      out.frame_above = out.time;
      out.frame_below = bounded(Wide{out.time.ticks} - pair.previous_duration.ticks);
      out.has_frame_below = pair.has_previous;
      return out;
    }
    case FrameRemap::Kind::BeyondLastKept:
      break;
  }
  out.placed = !is_start;
  out.time = table.end;
  out.frame_above = out.time;
  out.frame_below = bounded(Wide{out.time.ticks} - table.last_duration.ticks);
  out.has_frame_below = table.has_last;
  return out;
}

}  // namespace mendra
