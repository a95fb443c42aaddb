// Measurement of the start delay from an MPEG-2 transport stream, and the
// DGIndex project reader that names the stream.
#pragma once

#include <cstdint>
#include <string>

#include "driver/settings.h"

namespace mendra {

enum DelayMode : int {
  DelayNone = -1,
  DelayDgindex = 0,  // -md
  DelayMpg2vfp = 1,  // -mv
  DelayTmpgenc = 2,  // -mt
};

// Analyses ts_base + ".ts" and stores the delay for `mode` in
// settings.ts_delay_ms. Returns 1 on success and -1 on failure.
int measure_ts_delay(const std::string& ts_base, int mode, RunSettings& settings);

// Reads a DGIndex project: the stream's path without extension goes to
// ts_base, the project's start offset to d2v_start_bytes.
int read_d2v(const std::string& d2v_path, std::int64_t& d2v_start_bytes, std::string& ts_base,
             const RunSettings& settings);

}  // namespace mendra
