// Times with their unit in the type. A subtitle file counts milliseconds, a
// transport stream the ticks of its 90 kHz clock, a timecode file
// nanoseconds, and a frame clock the ticks of its own scale (ClockTime, in
// frame_clock.h); a value of one unit never passes for another, and every
// conversion between them is a named function.
#pragma once

#include <compare>
#include <cstdint>

namespace mendra {

struct Milliseconds {
  std::int64_t count = 0;
  auto operator<=>(const Milliseconds&) const = default;
};

struct Nanoseconds {
  std::int64_t count = 0;
  auto operator<=>(const Nanoseconds&) const = default;
};

// A count of the 90 kHz clock of MPEG systems (PCR base, PTS, DTS). One that
// was not found is an empty std::optional, never 0: 0 is a time like any
// other.
struct Ticks90k {
  std::int64_t count = 0;
  auto operator<=>(const Ticks90k&) const = default;
};

inline constexpr std::int64_t kNsPerMs = 1000000;
inline constexpr std::int64_t kTicks90kPerMs = 90;

// 90 kHz ticks as milliseconds, truncated toward zero.
inline constexpr Milliseconds ticks90k_to_ms(Ticks90k ticks) {
  return Milliseconds{ticks.count / kTicks90kPerMs};
}

}  // namespace mendra
