#include "time/remap_table.h"

#include <algorithm>

#include "util/int_math.h"

namespace mendra {
namespace {

using Entry = RemapTable::Entry;

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
  std::int64_t cut_index = 0;
  for (std::size_t i = 0; n >= 1 && i < n - 1; i += 2) {
    pair.first_frame = std::int64_t{map[i + 1]} + 1;
    pair.source_first = frame_start(clock, pair.first_frame);
    pair.cut_first = base;
    pair.cut_index = cut_index;
    // Counted as the times are summed: a stretch given backwards counts
    // back, so that index and time stay one for any map.
    const std::int64_t counted = i + 2 < n ? map[i + 2] - pair.first_frame : 0;
    pair.frames = std::max<std::int64_t>(counted, 0);
    cut_index += counted;
    table.pair_times.push_back(pair);
    if (i + 2 >= n) break;
    const std::int64_t next = map[i + 2];
    const ClockTime next_start = frame_start(clock, next);
    base = bounded(Wide{base.ticks} + next_start.ticks - pair.source_first.ticks);
    if (next < pair.first_frame) table.cut_times_ordered = false;
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

// Every clock time and every sum of the table lies within 2^61 ticks, so a
// sum of three cannot overflow; each result is held within 2^61 again.
ClockTime held(std::int64_t ticks) {
  return ClockTime{
      std::clamp(ticks, -frame_clock_detail::kFarTicks, frame_clock_detail::kFarTicks)};
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
  for (Entry& entry : table.entries) {
    const RemapTable::PairTimes& times = table.pair_times[entry.pair];
    entry.cut_first = times.cut_first.ticks;
    entry.shift = times.cut_first.ticks - times.source_first.ticks;
    entry.previous_duration = times.previous_duration.ticks;
    entry.has_previous = times.has_previous;
  }
  return table;
}

namespace {

// The entry whose pair decides `frame`, or nullptr beyond the last kept
// range; `deleted` says whether it lies in the pair's deleted interval.
const Entry* deciding_entry(const RemapTable& table, std::int64_t frame, bool& deleted) {
  const auto decides = [&](const Entry& entry) {
    deleted = entry.d <= frame && frame <= entry.e;
    return deleted || (entry.has_next && entry.e < frame && frame < entry.next);
  };
  if (!table.ordered) {
    for (const Entry& entry : table.entries) {
      if (decides(entry)) return &entry;
    }
    return nullptr;
  }
  // With bounds in order, "the run lies wholly before the frame" holds for a
  // leading run of entries; the first entry after that run is the first one
  // that can match, and if it does not, no later one does. The entry found
  // last time, or the one after it, is mostly that entry again.
  const std::vector<Entry>& entries = table.entries;
  const auto first_after_run = [&](std::size_t i) {
    return i < entries.size() && entries[i].high >= frame &&
           (i == 0 || entries[i - 1].high < frame);
  };
  std::size_t first = table.hint;
  if (!first_after_run(first) && !first_after_run(++first)) {
    first = static_cast<std::size_t>(
        std::partition_point(entries.begin(), entries.end(),
                             [frame](const Entry& entry) { return entry.high < frame; }) -
        entries.begin());
  }
  if (first >= entries.size()) return nullptr;
  table.hint = first;
  return decides(entries[first]) ? &entries[first] : nullptr;
}

}  // namespace

FrameRemap remap_source_frame(const RemapTable& table, std::int64_t frame) {
  FrameRemap result;
  bool deleted = false;
  const Entry* entry = deciding_entry(table, frame, deleted);
  if (entry == nullptr) {
    result.kind = FrameRemap::Kind::BeyondLastKept;
    result.cut_frame = -std::int64_t{table.final_count};
    return result;
  }
  result.pair = entry->pair;
  if (deleted) {
    result.kind = FrameRemap::Kind::AtCut;
    result.cut_frame = std::int64_t{entry->e} + 1 - entry->count;
  } else {
    result.kind = FrameRemap::Kind::Kept;
    result.shift = entry->count;
  }
  return result;
}

CutTime cut_time(const RemapTable& table, const FrameClock& clock, ClockTime t, bool is_start,
                 bool past_tick) {
  CutTime out;
  const std::int64_t frame = frame_shown_at(clock, t);
  bool deleted = false;
  const Entry* entry = deciding_entry(table, frame, deleted);
  out.placed = true;
  if (entry == nullptr) {
    out.placed = !is_start;
    out.at_cut = true;
    out.time = table.end;
    out.frame_above = out.time;
    out.frame_below = held(out.time.ticks - table.last_duration.ticks);
    out.has_frame_below = table.has_last;
    return out;
  }
  out.pair = static_cast<std::int64_t>(entry->pair);
  if (deleted) {
    out.at_cut = true;
    out.time = ClockTime{entry->cut_first};
    // cut_first - shift is where the uncut video shows the frame after the
    // cut; all three lie within 2^61 ticks.
    out.skipped = held(entry->cut_first - entry->shift - t.ticks);
    out.frame_above = out.time;
    out.frame_below = held(entry->cut_first - entry->previous_duration);
    out.has_frame_below = entry->has_previous;
    return out;
  }
  // The kept stretch moves as a whole: every time in it by the same amount,
  // so a time keeps its place in its frame.
  const std::int64_t start = frame_start(clock, frame).ticks;
  out.time = held(t.ticks + entry->shift);
  out.has_frame_below = true;
  if (t.ticks > start || past_tick) {
    // Inside the frame: the cut video's next frame starts where this one
    // ends, whether or not the uncut video kept the frame after it.
    out.frame_below = held(start + entry->shift);
    out.frame_above = held(frame_start(clock, frame + 1).ticks + entry->shift);
    return out;
  }
  out.frame_above = out.time;
  if (frame > std::int64_t{entry->e} + 1) {
    out.frame_below = held(frame_start(clock, frame - 1).ticks + entry->shift);
    return out;
  }
  out.frame_below = held(out.time.ticks - entry->previous_duration);
  out.has_frame_below = entry->has_previous;
  return out;
}

std::int64_t cut_frame_in_pair(const RemapTable& table, const FrameClock& clock,
                               const CutTime& time) {
  if (time.pair < 0 || static_cast<std::size_t>(time.pair) >= table.pair_times.size()) {
    return cut_frame_at_or_after(table, clock, time.time);
  }
  const RemapTable::PairTimes& pair = table.pair_times[static_cast<std::size_t>(time.pair)];
  const ClockTime source{held(time.time.ticks - pair.cut_first.ticks + pair.source_first.ticks)};
  return pair.cut_index + (first_frame_at_or_after(clock, source) - pair.first_frame);
}

std::int64_t cut_frame_at_or_after(const RemapTable& table, const FrameClock& clock, ClockTime t) {
  const std::vector<RemapTable::PairTimes>& pairs = table.pair_times;
  // The stretch that shows `t`: the last one that starts at or before it,
  // among those that keep any frame.
  const RemapTable::PairTimes* found = nullptr;
  if (table.cut_times_ordered) {
    const auto after = std::partition_point(pairs.begin(), pairs.end(), [t](const auto& pair) {
      return pair.cut_first.ticks <= t.ticks;
    });
    for (auto it = after; it != pairs.begin();) {
      --it;
      if (it->frames > 0) {
        found = &*it;
        break;
      }
    }
  } else {
    // Ranges out of order: the cut video shows them as given, each after
    // the one before, so the stretch that holds `t` is looked for by its
    // span; past every span, the latest stretch that starts before `t`.
    for (const RemapTable::PairTimes& pair : pairs) {
      if (pair.frames <= 0 || pair.cut_first.ticks > t.ticks) continue;
      const std::int64_t end =
          pair.cut_first.ticks +
          (frame_start(clock, pair.first_frame + pair.frames).ticks - pair.source_first.ticks);
      if (t.ticks < end) {
        found = &pair;
        break;
      }
      if (found == nullptr || pair.cut_first.ticks >= found->cut_first.ticks) found = &pair;
    }
  }
  if (found == nullptr) return 0;
  const ClockTime source{held(t.ticks - found->cut_first.ticks + found->source_first.ticks).ticks};
  std::int64_t frame = std::max(first_frame_at_or_after(clock, source), found->first_frame);
  // Past the last kept stretch the cut video has no frames, but a subtitle
  // moved there by a delay is still written, as the formats in time write
  // it: the frames go on at the clock's pace after the cut video's end.
  const std::int64_t stretch_end = found->first_frame + found->frames;
  const auto later_kept =
      std::any_of(found + 1, pairs.data() + pairs.size(),
                  [](const RemapTable::PairTimes& pair) { return pair.frames > 0; });
  if (frame > stretch_end && later_kept) frame = stretch_end;
  return found->cut_index + (frame - found->first_frame);
}

}  // namespace mendra
