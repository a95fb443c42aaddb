// Where the video is taken to start: the rule the -gop count and a DGIndex
// project's start offset set, and the PMT to measure. Only the measurement
// reads it; every video scanner applies the rule through start_rule_met.
#pragma once

#include <cstdint>

namespace mendra {

struct StartRule {
  int gop_offset = -1;  // -1: no -gop given; else start at that GOP (count from 0)
  // Byte offset of the DGIndex project's start; recordings exceed 2 GiB.
  std::int64_t d2v_start_bytes = 0;
  std::uint16_t pmt_pid = 0;  // 0: first program of the PAT
};

// True when a start picture met now may become the start: `counted` is the
// scanner's count of GOPs (MPEG-2) or random-access pictures (H.264, HEVC)
// met so far, minus one; `sync_offset` the file offset of the packet that
// holds the picture. Without -gop and without a project offset every
// candidate qualifies.
inline bool start_rule_met(const StartRule& rule, int counted, std::int64_t sync_offset) {
  if (rule.gop_offset >= 0) return counted >= rule.gop_offset;
  // Offsets of recordings beyond 2 GiB compare as 64-bit values.
  if (rule.d2v_start_bytes > 0) return sync_offset >= rule.d2v_start_bytes;
  return true;
}

}  // namespace mendra
