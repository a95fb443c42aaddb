// Per-input settings: everything one input is processed with.
#pragma once

#include <cstdint>

#include <optional>

#include "util/frame_clock.h"
#include "util/frame_rate.h"
#include "util/log.h"
#include "util/timing.h"

namespace mendra {

// Options fill it, the readers and rewriters read it, and reset_settings
// puts it back after every input so that nothing carries over to the next
// one.
struct RunSettings {
  int fps = 30;  // frames per second are fps / 1.001
  // An exact rate (-rate); when set it wins over fps.
  std::optional<FrameRate> rate;
  int delay_ms = 0;     // user delay, added after remapping
  int ts_delay_ms = 0;  // measured from the transport stream
  int gop_offset = -1;  // -1: no -gop given
  // Byte offset of the DGIndex project's start; recordings exceed 2 GiB.
  std::int64_t d2v_start_bytes = 0;
  std::uint16_t pmt_pid = 0;  // 0: first program of the PAT
  LogChannel log_info = log_print;
  LogChannel log_debug = log_silent;
  LogChannel log_error = log_print;
};

void reset_settings(RunSettings& settings);

// The frame rate every time <-> frame conversion of this input uses.
inline FrameRate run_frame_rate(const RunSettings& settings) {
  return settings.rate ? *settings.rate : fps_frame_rate(settings.fps);
}

// The records the cut lists and the re-timing take, as these settings give
// them.
inline FrameClock run_frame_clock(const RunSettings& settings) {
  return constant_clock(run_frame_rate(settings));
}

inline Timing run_timing(const RunSettings& settings) {
  return Timing{run_frame_clock(settings), settings.delay_ms, settings.ts_delay_ms};
}

// -silent leaves errors only, -debug adds the traces.
inline Log run_log(const RunSettings& settings) {
  Log log;
  if (settings.log_debug != log_silent) {
    log.level = LogLevel::Debug;
  } else if (settings.log_info == log_silent) {
    log.level = LogLevel::Error;
  }
  return log;
}

}  // namespace mendra
