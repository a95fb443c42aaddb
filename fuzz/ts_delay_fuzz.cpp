// The whole transport-stream analysis on arbitrary bytes as the stream. The
// first byte picks the delay mode and whether a -gop offset, a PMT PID or a
// DGIndex start offset is set, so those branches are reached too.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "ts/ts_delay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mendra;
  if (size == 0) return 0;
  const std::uint8_t control = data[0];
  const auto dir = fuzz::process_temp_dir();
  fuzz::write_bytes(dir / "in.ts", fuzz::as_text(data + 1, size - 1));
  StartRule rule;
  if (control & 0x04) rule.gop_offset = (control >> 6) & 0x03;
  if (control & 0x08) rule.pmt_pid = 0x1F0;
  if (control & 0x10) rule.d2v_start_bytes = 188 * 4;
  constexpr int kModes = static_cast<int>(DelayMode::Tmpgenc) + 1;
  const auto mode = static_cast<DelayMode>(control % kModes);
  TsMeasurement measured;
  if (measure_ts_delay((dir / "in.ts").string(), rule, mode, fuzz::tracing_log(), measured)) {
    static_cast<void>(delay_for_mode(measured.delays, mode));
  }
  return 0;
}
