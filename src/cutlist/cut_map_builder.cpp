#include "cutlist/cut_map_builder.h"

#include <utility>

#include "util/int_math.h"

namespace mendra {

CutMapBuilder::CutMapBuilder() : map_{-1} {}

CutMapBuilder::CutMapBuilder(const FrameClock& clock) : CutMapBuilder() {
  clock_ = &clock;
}

void CutMapBuilder::add_duration(ClockTime& sum, std::int64_t first, std::int64_t end) {
  if (clock_ == nullptr) return;
  // Both times saturate far inside 64 bits, and so does their difference;
  // the sum stops at the int64 limits.
  const std::int64_t span = frame_start(*clock_, end).ticks - frame_start(*clock_, first).ticks;
  __extension__ using Wide = __int128;
  const Wide total = static_cast<Wide>(sum.ticks) + span;
  sum.ticks = total > INT64_MAX   ? INT64_MAX
              : total < INT64_MIN ? INT64_MIN
                                  : static_cast<std::int64_t>(total);
}

void CutMapBuilder::add_kept(std::int32_t first, std::int32_t last) {
  map_.push_back(wrap_sub(first, 1));
  map_.push_back(wrap_add(last, 1));
  const std::int32_t kept = wrap_add(wrap_sub(last, first), 1);
  const std::int32_t cut = wrap_sub(wrap_sub(first, 1), previous_last_);
  counters_.kept_frames = wrap_add(counters_.kept_frames, kept);
  counters_.cut_frames = wrap_add(counters_.cut_frames, cut);
  // The durations of the frames the counts count, so that the two agree
  // even where a count wrapped.
  add_duration(counters_.kept_time, first, std::int64_t{first} + kept);
  add_duration(counters_.cut_time, std::int64_t{previous_last_} + 1,
               std::int64_t{previous_last_} + 1 + cut);
  if (clock_ != nullptr) note_frame_used(*clock_, last);
  previous_last_ = last;
  note_order(first, last);
}

void CutMapBuilder::add_kept_to_end(std::int32_t first) {
  map_.push_back(wrap_sub(first, 1));
  map_.push_back(wrap_add(kOpenEndFrame, 1));
  const std::int32_t cut = wrap_sub(wrap_sub(first, 1), previous_last_);
  counters_.cut_frames = wrap_add(counters_.cut_frames, cut);
  add_duration(counters_.cut_time, std::int64_t{previous_last_} + 1,
               std::int64_t{previous_last_} + 1 + cut);
  previous_last_ = wrap_sub(first, 1);
  note_order(first, kOpenEndFrame);
}

void CutMapBuilder::note_order(std::int32_t first, std::int32_t last) {
  if (last < first) return;  // an empty range keeps nothing to overlap
  if (first <= order_last_) out_of_order_ = true;
  if (last > order_last_) order_last_ = last;
}

void CutMapBuilder::open_kept(std::int32_t first) {
  open_first_ = first;
}

void CutMapBuilder::add_deleted(std::int32_t from, std::int32_t to) {
  add_kept(open_first_, wrap_sub(from, 1));
  open_first_ = wrap_add(to, 1);
}

void CutMapBuilder::close_kept(std::int32_t last) {
  add_kept(open_first_, last);
}

void CutMapBuilder::finish(CutMap& map) {
  map_.push_back(-1);
  map_.push_back(-1);
  map = std::move(map_);
  map_.clear();
}

}  // namespace mendra
