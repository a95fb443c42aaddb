#include "cutlist/remap_table.h"

#include <algorithm>

#include "util/int_math.h"

namespace mendra {
namespace {

using Entry = RemapTable::Entry;

// Bounds compared as points of the real line with their closedness: a closed
// lower bound lies before an open one at the same value, an open upper bound
// before a closed one.
bool lower_not_before(const Entry& later, const Entry& earlier) {
  if (later.low != earlier.low) return later.low > earlier.low;
  return !later.low_closed || earlier.low_closed;
}

bool upper_not_before(const Entry& later, const Entry& earlier) {
  if (later.high != earlier.high) return later.high > earlier.high;
  return later.high_closed || !earlier.high_closed;
}

// Where a position lies among the frames, as one integer: 2n for the frame n
// itself, 2n + 1 anywhere strictly between n and n + 1. Then for a frame f,
// f <= x exactly when 2f <= key and f < x exactly when 2f < key, so every
// test of a lookup is a plain 64-bit comparison after one division, whatever
// the position's denominator: no product of a frame and a denominator, which
// needs 128 bits in general, for each entry the search looks at.
// Frames are int32, so clamping far positions to +-2^33 changes no test and
// keeps 2n + 1 in range.
std::int64_t half_frame_key(FramePosition position) {
  constexpr std::int64_t kFar = std::int64_t{1} << 33;
  std::int64_t whole = position.num / position.den;  // den > 0
  std::int64_t rest = position.num % position.den;
  if (rest < 0) {
    --whole;
    rest += position.den;
  }
  whole = std::clamp(whole, -kFar, kFar);
  return 2 * whole + (rest != 0 ? 1 : 0);
}

std::int64_t twice(std::int32_t frame) {
  return 2 * std::int64_t{frame};
}

// The two tests of remap_frame for one pair, and the result they give.
bool match(const Entry& entry, std::int64_t key, FramePosition position, int side,
           FramePosition& result) {
  if (twice(entry.d) <= key && !(twice(entry.e) < key)) {
    result = side > 0 ? whole_frames(std::int64_t{entry.e} + 1 - entry.count, position)
                      : whole_frames(std::int64_t{entry.d} - 1 - entry.previous, position);
    return true;
  }
  if (entry.has_next && twice(entry.e) < key && !(twice(entry.next) <= key)) {
    result = minus_frames(position, entry.count);
    return true;
  }
  return false;
}

FramePosition fall_through(const RemapTable& table, FramePosition position, int side) {
  return side < 0 ? whole_frames(-std::int64_t{table.final_count}, position)
                  : whole_frames(kBeyondLastKept, position);
}

}  // namespace

RemapTable make_remap_table(const CutMap& map, const FrameClock& clock) {
  RemapTable table;
  table.scale = clock_scale(clock);
  const std::size_t n = map.size();
  std::int32_t count = -1;
  for (std::size_t i = 0; n >= 1 && i < n - 1; i += 2) {
    Entry entry;
    entry.d = map[i];
    entry.e = map[i + 1];
    entry.previous = count;
    count = wrap_add(wrap_add(count, wrap_sub(entry.e, entry.d)), 1);
    entry.count = count;
    entry.has_next = i + 2 < n;
    entry.next = entry.has_next ? map[i + 2] : 0;
    const bool deleted = entry.d <= entry.e;
    const bool kept = entry.has_next && entry.e < entry.next;
    if (!deleted && !kept) continue;
    // [d, e] and (e, next) meet at e, so together they are one interval.
    entry.low = deleted ? entry.d : entry.e;
    entry.low_closed = deleted;
    entry.high = kept ? entry.next : entry.e;
    entry.high_closed = !kept;
    // Past a closed bound means 2 * high < key, past an open one
    // 2 * high <= key: either way past_key <= key.
    entry.past_key = twice(entry.high) + (entry.high_closed ? 1 : 0);
    if (!table.entries.empty()) {
      const Entry& before = table.entries.back();
      if (!lower_not_before(entry, before) || !upper_not_before(entry, before)) {
        table.ordered = false;
      }
    }
    table.entries.push_back(entry);
  }
  table.final_count = count;
  return table;
}

FramePosition remap_frame(const RemapTable& table, FramePosition position, int side) {
  const std::int64_t key = half_frame_key(position);
  FramePosition result;
  if (!table.ordered) {
    for (const Entry& entry : table.entries) {
      if (match(entry, key, position, side, result)) return result;
    }
    return fall_through(table, position, side);
  }
  // With bounds in order, "the position lies past the interval" holds for a
  // leading run of entries; the first entry after that run is the first one
  // that can match, and if it does not, no later one does.
  const auto first =
      std::partition_point(table.entries.begin(), table.entries.end(),
                           [key](const Entry& entry) { return entry.past_key <= key; });
  if (first != table.entries.end() && match(*first, key, position, side, result)) return result;
  return fall_through(table, position, side);
}

}  // namespace mendra
