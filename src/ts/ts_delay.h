// Measurement of the start delay from an MPEG-2 transport stream.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "time/time_types.h"
#include "ts/start_rule.h"
#include "util/log.h"

namespace mendra {

// Which of the measured delays re-timing uses.
enum class DelayMode {
  None,
  Dgindex,  // -md
  Mpg2vfp,  // -mv
  Tmpgenc,  // -mt
};

// The three delays a measurement reports, in ms; all 0 when the video start
// was not found.
struct TsDelays {
  int dgindex_ms = 0;
  int mpg2vfp_ms = 0;
  int tmpgenc_ms = 0;
};

// One elementary stream the measurement chose, and where it starts.
struct TsStreamStart {
  std::uint16_t pid = 0;  // 0: the programme names no such stream
  std::uint8_t stream_type = 0;
  // None when the start was not found before the end of the stream.
  std::optional<Ticks90k> start_pts;
};

// The PTS each demultiplexer starts at; none when the video start was not
// found. The delays are the first PCR minus these.
struct TsStarts {
  // The first picture with temporal reference 0 after the key.
  std::optional<Ticks90k> dgindex_pts;
  std::optional<Ticks90k> mpg2vfp_pts;  // the first I (or random-access) picture
  // The audio start, or the dgindex start when nearer the clock.
  std::optional<Ticks90k> tmpgenc_pts;
};

// What one measurement found.
struct TsMeasurement {
  int packet_bytes = 188;  // 188, or 192 with a time-stamp prefix
  std::uint16_t pcr_pid = 0;
  std::optional<Ticks90k> first_pcr;
  TsStreamStart video;  // start_pts: the dgindex start
  TsStreamStart audio;
  TsStarts starts;
  TsDelays delays;
};

// Analyses the stream at ts_path (188-byte packets, or 192-byte ones with a
// time-stamp prefix, told apart by their first packets), prints the three
// delays and fills `measured`. False when the stream cannot be opened or
// names no PCR or video PID; the failure is reported here. With `mode`
// Tmpgenc, a tmpgenc delay that had no audio start to use is explained at
// the info level.
bool measure_ts_delay(const std::string& ts_path, const StartRule& rule, DelayMode mode,
                      const Log& log, TsMeasurement& measured);

// The delay that `mode` uses; 0 for DelayMode::None.
int delay_for_mode(const TsDelays& delays, DelayMode mode);

// 2^33: one turn of the 33-bit 90 kHz clock.
inline constexpr std::int64_t kClockWrap = std::int64_t{1} << 33;
// A PTS up to this many ticks below the start PCR still counts as unwrapped.
inline constexpr std::int64_t kClockWrapThreshold = 5000;

// The delay in ms from the start PCR to `pts`; a PTS more than 5000 ticks
// below the PCR is taken to have wrapped past 2^33.
int clock_delay_ms(Ticks90k pts, Ticks90k start_pcr);

}  // namespace mendra
