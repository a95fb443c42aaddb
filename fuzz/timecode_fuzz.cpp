// read_timecode_file on an arbitrary file, then the clock it made asked for
// frames and times around and past its ends, as the cut lists and the
// re-timing ask it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "time/frame_clock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mendra;
  const auto path = fuzz::process_temp_dir() / "timecodes.txt";
  fuzz::write_bytes(path, fuzz::as_text(data, size));
  FrameClock clock;
  if (!read_timecode_file(path.string(), fuzz::tracing_log(), clock)) return 0;
  constexpr std::int64_t kNsPerHour = std::int64_t{3600} * 1000 * 1000 * 1000;
  for (const std::int64_t t_ns :
       {std::int64_t{-1}, std::int64_t{0}, std::int64_t{33366667}, kNsPerHour, 600 * kNsPerHour}) {
    const std::int64_t frame = frame_shown_at(clock, ClockTime{t_ns});  // ticks are ns
    frame_start(clock, frame);
    first_frame_at_or_after(clock, ClockTime{t_ns});
  }
  frame_rate_line(clock);
  report_frames_past_end(clock, fuzz::tracing_log());
  return 0;
}
