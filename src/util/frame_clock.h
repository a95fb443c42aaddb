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
// integer nanoseconds (no sum of rounded frame durations can drift).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/frame_rate.h"
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

// The frame times of a v2 file in blocks of a fixed size, so that growing
// never copies what was read: memory stays at 8 bytes per frame.
struct FrameTimes {
  static constexpr std::size_t kBlockFrames = std::size_t{1} << 16;
  std::vector<std::vector<std::int64_t>> blocks;
  std::int64_t count = 0;

  std::int64_t operator[](std::int64_t frame) const {
    const auto index = static_cast<std::size_t>(frame);
    return blocks[index / kBlockFrames][index % kBlockFrames];
  }
  void push_back(std::int64_t ns);
};

struct FrameClock {
  // A constant rate: frame n starts at n / rate seconds.
  FrameRate rate = fps_frame_rate(kFallbackFps);
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

// A rate that is not positive (a record filled elsewhere) falls back to the
// default rather than dividing by zero.
inline FrameClock constant_clock(FrameRate rate) {
  FrameClock clock;
  if (rate.num > 0 && rate.den > 0) clock.rate = rate;
  return clock;
}

inline bool is_constant(const FrameClock& clock) {
  return clock.timecodes == TimecodeFormat::None;
}

// The exact frames-to-milliseconds scale of a constant clock.
inline FrameScale clock_scale(const FrameClock& clock) {
  return frame_scale(clock.rate);
}

constexpr std::int64_t kNsPerMs = 1000000;

// When frame n starts, in nanoseconds (a constant rate's times rounded to
// the nearest). Frames before the first and past the last frame of a file
// continue at the duration of the frame next to them. Saturates far outside
// any video.
std::int64_t frame_start_ns(const FrameClock& clock, std::int64_t frame);

// The frame shown at t: the last frame that starts at or before it; -1
// before the first frame of a file.
std::int64_t frame_shown_at_ns(const FrameClock& clock, std::int64_t t_ns);

// The first frame that starts at or after t.
std::int64_t first_frame_at_or_after_ns(const FrameClock& clock, std::int64_t t_ns);

// Notes a frame a cut list uses: one past the last frame of a v2 file is
// worth the warning.
void note_frame_used(const FrameClock& clock, std::int64_t frame);

// Nanoseconds as milliseconds, truncated toward zero and saturated to the
// int range. A time less than a microsecond short of a whole millisecond
// counts as that millisecond: the frame times of a file written from a
// constant rate lie within a nanosecond of the exact ones, and a time that
// sums a few of them (a cut video's frame start) must not fall a whole
// millisecond short where the exact time is whole.
int ns_to_ms(std::int64_t ns);

// How long `frames` frames of a constant clock last, in milliseconds
// truncated toward zero and saturated to the int range; negative counts give
// negative durations.
int frames_duration_ms(const FrameClock& clock, std::int64_t frames);

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
