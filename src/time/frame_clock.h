// The frame clock: when each frame of the uncut video is shown. Every
// conversion between a time and a frame goes through it, so that the cut-list
// readers, the cut summary and the re-timing work the same whatever the clock
// is made of. It answers which frame is shown at a time (the last frame that
// starts at or before it), when a frame starts, and which is the first frame
// that starts at or after a time (where a cut list's time begins a range);
// when the cut video's frames start depends on the cut map too and is worked
// out from these by the re-timing table.
//
// One record holds either kind of clock: a constant rate, whose conversions
// are exact fractions, or the frame times of a timecode file, held as
// integer nanoseconds (no sum of rounded frame durations can drift). No
// caller asks which kind it has: every answer, the durations of the cut
// summary and the times of the cut video included, comes from the functions
// below.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "time/frame_rate.h"
#include "time/time_types.h"
#include "util/log.h"

namespace mendra {

enum class TimecodeFormat : std::uint8_t {
  None,  // a constant rate
  V1,    // ranges of frames at a rate each, the rest at an assumed rate
  V2,    // one time per frame (v4 files read as v2 once sorted)
};

// A run of frames at one rate in a v1 file: frame n (from first_frame on)
// starts at start_ns + (n - first_frame) / (rate_num / rate_den) seconds,
// rounded to the nanosecond. The last section runs on without end.
struct TimecodeSection {
  std::int64_t first_frame = 0;
  std::int64_t start_ns = 0;
  std::int64_t rate_num = 1;
  std::int64_t rate_den = 1;
};

// The frame times of a v2 file, exact to the nanosecond in about 4.5 bytes
// a frame. Each run of kRunFrames frames holds the time of its first frame,
// and each frame its nanoseconds after that in 32 bits (4.29 s: a run at
// 7.5 frames per second or more); a run whose frames lie further apart
// holds their whole times in `wide_ns` instead. Frames come in blocks of a
// fixed size, so that growing never copies what was read.
struct FrameTimes {
  static constexpr std::size_t kRunFrames = 32;
  static constexpr std::size_t kBlockFrames = std::size_t{1} << 16;
  struct Run {
    std::int64_t first_ns = 0;
    std::int64_t wide = -1;  // where its times start in wide_ns; -1: offsets
  };
  struct Block {
    std::vector<Run> runs;
    std::vector<std::uint32_t> after_first;  // one a frame, unused in a wide run
  };
  std::vector<Block> blocks;
  std::vector<std::int64_t> wide_ns;
  std::int64_t count = 0;

  std::int64_t operator[](std::int64_t frame) const {
    const auto index = static_cast<std::size_t>(frame);
    const Block& block = blocks[index / kBlockFrames];
    const std::size_t in_block = index % kBlockFrames;
    const Run& run = block.runs[in_block / kRunFrames];
    if (run.wide >= 0) [[unlikely]] {
      return wide_ns[static_cast<std::size_t>(run.wide) + in_block % kRunFrames];
    }
    return run.first_ns + block.after_first[in_block];
  }
  void push_back(std::int64_t ns);
};

struct FrameClock {
  // A constant rate: frame n starts at n / rate seconds, n * scale.ms ticks
  // of 1 / scale.frames ms.
  FrameRate rate = fps_frame_rate(kFallbackFps);
  FrameScale scale = frame_scale(fps_frame_rate(kFallbackFps));
  TimecodeFormat timecodes = TimecodeFormat::None;
  std::string timecode_path;              // the file the times were read from
  std::int64_t frame_count = 0;           // frames the file describes
  FrameTimes frame_ns;                    // V2
  std::vector<TimecodeSection> sections;  // V1, in frame order
  // Set when a time or a frame past the last frame of a v2 file was asked
  // for, so that the input warns about it once.
  mutable bool ran_past_end = false;
  mutable bool past_end_reported = false;
  // The frame the last search of a v2 file found: subtitles come in time
  // order, so the next search starts from there.
  mutable std::int64_t search_hint = 0;
};

// A rate that is not positive, or whose scale exceeds the bounds of
// FrameScale (a record filled elsewhere), falls back to the default rather
// than dividing by zero or overflowing.
inline FrameClock constant_clock(FrameRate rate) {
  constexpr std::int64_t kMaxScaleTerm = std::int64_t{1} << 31;
  FrameClock clock;
  if (rate.num > 0 && rate.den > 0 && rate.den < kMaxScaleTerm) {
    const FrameScale scale = frame_scale(rate);
    if (scale.frames < kMaxScaleTerm && scale.ms < kMaxScaleTerm) {
      clock.rate = rate;
      clock.scale = scale;
    }
  }
  return clock;
}

// A time on a clock's own scale, in ticks of 1 / ticks_per_ms(clock)
// milliseconds, chosen so that every frame start and every whole millisecond
// is a whole number of ticks: a constant rate of F frames per M ms ticks F
// times a millisecond (frame n starts at tick n * M), a timecode file ticks
// in nanoseconds. Sums and differences of clock times are exact, so a time
// keeps its offset within its frame through any cut.
struct ClockTime {
  std::int64_t ticks = 0;
  auto operator<=>(const ClockTime&) const = default;
};

namespace frame_clock_detail {

// Times far outside any video saturate here, well inside 64 bits, so that
// the sums and differences of a few such times cannot overflow either.
inline constexpr std::int64_t kFarTicks = std::int64_t{1} << 61;

inline std::int64_t saturating_product(std::int64_t a, std::int64_t b) {
  std::int64_t product = 0;
  if (__builtin_mul_overflow(a, b, &product) || product > kFarTicks || product < -kFarTicks) {
    return (a < 0) == (b < 0) ? kFarTicks : -kFarTicks;
  }
  return product;
}

// The timecode file's answers; the constant rate's are worked out inline,
// since every subtitle time asks them.
ClockTime file_clock_time(const FrameClock& clock, Milliseconds ms);
ClockTime file_frame_start(const FrameClock& clock, std::int64_t frame);
std::int64_t file_frame_shown_at(const FrameClock& clock, ClockTime t);

}  // namespace frame_clock_detail

inline std::int64_t ticks_per_ms(const FrameClock& clock) {
  return clock.timecodes == TimecodeFormat::None ? clock.scale.frames : kNsPerMs;
}

// Milliseconds on the clock, exactly; saturates far outside any video.
inline ClockTime clock_time(const FrameClock& clock, Milliseconds ms) {
  if (clock.timecodes != TimecodeFormat::None)
    return frame_clock_detail::file_clock_time(clock, ms);
  return ClockTime{frame_clock_detail::saturating_product(ms.count, clock.scale.frames)};
}

// When frame n starts. Frames before the first and past the last frame of a
// file continue at the duration of the frame next to them. Saturates far
// outside any video.
inline ClockTime frame_start(const FrameClock& clock, std::int64_t frame) {
  if (clock.timecodes != TimecodeFormat::None) {
    return frame_clock_detail::file_frame_start(clock, frame);
  }
  return ClockTime{frame_clock_detail::saturating_product(frame, clock.scale.ms)};
}

// The frame shown at t: the last frame that starts at or before it; -1
// before the first frame of a file.
inline std::int64_t frame_shown_at(const FrameClock& clock, ClockTime t) {
  if (clock.timecodes != TimecodeFormat::None) {
    return frame_clock_detail::file_frame_shown_at(clock, t);
  }
  // floor(t / ms); ms > 0
  std::int64_t frame = t.ticks / clock.scale.ms;
  if (t.ticks % clock.scale.ms < 0) --frame;
  return frame;
}

// The first frame that starts at or after t.
std::int64_t first_frame_at_or_after(const FrameClock& clock, ClockTime t);

// What a time on the clock may lack and still count as the whole millisecond
// above it: nothing on a constant rate, whose times are exact; a microsecond
// on a timecode file, whose frame times lie within a nanosecond of the exact
// ones when the file was written from a constant rate, so that a time summed
// from a few of them (a cut video's frame start) must not fall a whole
// millisecond short where the exact time is whole.
ClockTime whole_ms_tolerance(const FrameClock& clock);

// A duration or time on the clock as milliseconds, truncated toward zero
// (with the clock's tolerance) and saturated to the int range: what the cut
// summary prints.
int clock_time_ms(const FrameClock& clock, ClockTime t);

// A time on the clock in nanoseconds, rounded to the nearest: what a
// timecode file holds.
Nanoseconds clock_time_ns(const FrameClock& clock, ClockTime t);

// Whether the clock says where the video ends: a timecode file does, after
// known_frames(clock) frames; a constant rate does not.
bool says_where_video_ends(const FrameClock& clock);
std::int64_t known_frames(const FrameClock& clock);

// Notes a frame a cut list uses: one past the last frame of a v2 file is
// worth the warning.
void note_frame_used(const FrameClock& clock, std::int64_t frame);

// The text after "\tframe rate  : ": "30000/1001 (29.970 fps)" or
// "timecodes <file> (v2, N frames)".
std::string frame_rate_line(const FrameClock& clock);

// Reads the frame times of a timecode file (format v1, v2 or v4) into
// `clock`. On a bad file, says what is wrong with the file's name and the
// line, and leaves `clock` as it was.
bool read_timecode_file(const std::string& path, const Log& log, FrameClock& clock);
// The same for the bytes of a whole file, read before under `name`.
bool read_timecode_bytes(std::string_view bytes, const std::string& name, const Log& log,
                         FrameClock& clock);

// Once per clock: warns when times past the last frame of a v2 file were
// used, which continue at its last frame's duration.
void report_frames_past_end(const FrameClock& clock, const Log& log);

}  // namespace mendra
