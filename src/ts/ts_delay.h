// Measurement of the start delay from an MPEG-2 transport stream.
#pragma once

#include <cstdint>
#include <string>

#include "util/settings.h"

namespace mendra {

enum DelayMode : int {
  DelayNone = -1,
  DelayDgindex = 0,  // -md
  DelayMpg2vfp = 1,  // -mv
  DelayTmpgenc = 2,  // -mt
};

// The three delays a measurement reports, in ms; all 0 when the video start
// was not found.
struct TsDelays {
  int dgindex_ms = 0;
  int mpg2vfp_ms = 0;
  int tmpgenc_ms = 0;
};

// Analyses the stream at ts_path (188-byte packets, or 192-byte ones with a
// time-stamp prefix, told apart by their first packets), prints the three
// delays and fills `delays`. False when the stream cannot be opened or
// names no PCR or video PID. With `mode` DelayTmpgenc, a tmpgenc delay that
// had no audio start to use is explained on the info channel.
bool measure_ts_delay(const std::string& ts_path, const RunSettings& settings, TsDelays& delays,
                      int mode = DelayNone);

// The delay that `mode` (DelayDgindex, DelayMpg2vfp or DelayTmpgenc) uses;
// 0 for any other mode.
int delay_for_mode(const TsDelays& delays, int mode);

// 2^33: one turn of the 33-bit 90 kHz clock.
inline constexpr std::int64_t kClockWrap = std::int64_t{1} << 33;
// A PTS up to this many ticks below the start PCR still counts as unwrapped.
inline constexpr std::int64_t kClockWrapThreshold = 5000;

// The delay in ms from the start PCR to `pts`; a PTS more than 5000 ticks
// below the PCR is taken to have wrapped past 2^33.
int clock_delay_ms(std::int64_t pts, std::int64_t start_pcr);

}  // namespace mendra
