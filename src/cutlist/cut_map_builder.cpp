#include "cutlist/cut_map_builder.h"

#include <utility>

#include "util/int_math.h"

namespace mendra {

CutMapBuilder::CutMapBuilder() : map_{-1} {}

CutMapBuilder::CutMapBuilder(const FrameClock& clock) : CutMapBuilder() {
  if (!is_constant(clock)) clock_ = &clock;
}

void CutMapBuilder::add_duration(std::int64_t& ns, std::int64_t first, std::int64_t end) {
  if (clock_ == nullptr) return;
  // Both times saturate far inside 64 bits, and so does their difference;
  // the sum stops at the int64 limits.
  const std::int64_t span = frame_start_ns(*clock_, end) - frame_start_ns(*clock_, first);
  __extension__ using Wide = __int128;
  const Wide sum = static_cast<Wide>(ns) + span;
  ns = sum > INT64_MAX ? INT64_MAX : sum < INT64_MIN ? INT64_MIN : static_cast<std::int64_t>(sum);
}

void CutMapBuilder::add_kept(std::int32_t first, std::int32_t last) {
  map_.push_back(wrap_sub(first, 1));
  map_.push_back(wrap_add(last, 1));
  counters_.kept_frames = wrap_add(counters_.kept_frames, wrap_add(wrap_sub(last, first), 1));
  counters_.cut_frames =
      wrap_add(counters_.cut_frames, wrap_sub(wrap_sub(first, 1), previous_last_));
  add_duration(counters_.kept_ns, first, std::int64_t{last} + 1);
  add_duration(counters_.cut_ns, std::int64_t{previous_last_} + 1, first);
  if (clock_ != nullptr) note_frame_used(*clock_, last);
  previous_last_ = last;
  note_order(first, last);
}

void CutMapBuilder::add_kept_to_end(std::int32_t first) {
  map_.push_back(wrap_sub(first, 1));
  map_.push_back(wrap_add(kOpenEndFrame, 1));
  counters_.cut_frames =
      wrap_add(counters_.cut_frames, wrap_sub(wrap_sub(first, 1), previous_last_));
  add_duration(counters_.cut_ns, std::int64_t{previous_last_} + 1, first);
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
