#include "cutlist/cut_timecodes.h"

#include <cstdio>
#include <cstring>

#include "cutlist/cut_map_builder.h"
#include "time/remap_table.h"
#include "time/time_steps.h"
#include "util/file_failure.h"
#include "util/output_file.h"

namespace mendra {
namespace {

// More lines than some forty days of video at 30 fps: a list that keeps
// more (a header naming a last frame near the int limit) is refused rather
// than filling the disk.
constexpr std::int64_t kMaxFrames = 100000000;

constexpr std::string_view kRole = "output timecodes";

// The cut video's frame times cannot be known: no file is begun.
void report_failure(const std::string& path, const Log& log, const char* reason) {
  log(LogLevel::Error, "%.*s open error: %s\n", static_cast<int>(kRole.size()), kRole.data(),
      path.c_str());
  log(LogLevel::Error, "\t%s: %s\n", path.c_str(), reason);
}

// A kept stretch of the map, frames first to before end.
struct Stretch {
  std::int64_t first = 0;
  std::int64_t end = 0;
  std::size_t pair = 0;
};

}  // namespace

std::string timecode_ms_text(std::int64_t ns) {
  char text[48];
  const bool negative = ns < 0;
  const std::uint64_t magnitude =
      negative ? std::uint64_t{0} - static_cast<std::uint64_t>(ns) : static_cast<std::uint64_t>(ns);
  const auto per_ms = static_cast<std::uint64_t>(kNsPerMs);
  std::uint64_t fraction = magnitude % per_ms;
  int written = std::snprintf(text, sizeof text, "%s%llu", negative ? "-" : "",
                              static_cast<unsigned long long>(magnitude / per_ms));
  if (fraction != 0) {
    int digits = 6;
    while (fraction % 10 == 0) {
      fraction /= 10;
      --digits;
    }
    std::snprintf(text + written, sizeof text - static_cast<std::size_t>(written), ".%0*llu",
                  digits, static_cast<unsigned long long>(fraction));
  }
  return text;
}

bool prepare_cut_timecodes(const std::string& path, const CutMap& map, const FrameClock& clock,
                           const SpeedStep& speed, const Log& log, OutputFile& file,
                           std::int64_t& frames) {
  // The kept stretches between the pairs, as the re-timing sees them.
  std::vector<Stretch> stretches;
  frames = 0;
  const std::size_t n = map.size();
  for (std::size_t i = 0; n >= 1 && i + 2 < n; i += 2) {
    Stretch stretch{std::int64_t{map[i + 1]} + 1, map[i + 2], i / 2};
    if (stretch.end <= stretch.first) continue;
    if (stretch.end - 1 >= kOpenEndFrame) {
      // Open toward the end: the clock's file says where the video ends.
      if (!says_where_video_ends(clock)) {
        report_failure(path, log,
                       "the cut list leaves the end of the video open, and a constant frame "
                       "rate does not say where it ends");
        return false;
      }
      stretch.end = std::max(stretch.first, known_frames(clock));
    }
    frames += stretch.end - stretch.first;
    if (frames > kMaxFrames) {
      report_failure(path, log, "the cut video would have too many frames");
      return false;
    }
    note_frame_used(clock, stretch.end - 1);
    stretches.push_back(stretch);
  }
  if (!file.open(path)) {
    report_file_failure(log, FileFailure{kRole, FileAction::Open, path, path, file.error_number()});
    return false;
  }
  file.write("# timestamp format v2\n");
  const RemapTable table = make_remap_table(map, clock);
  // The cut video plays at the new speed of a -fps-change.
  AfterCut at_speed = after_cut(ticks_per_ms(clock));
  add_step(at_speed, speed);
  for (const Stretch& stretch : stretches) {
    const RemapTable::PairTimes& pair = table.pair_times[stretch.pair];
    for (std::int64_t frame = stretch.first; frame < stretch.end; ++frame) {
      const ClockTime cut{pair.cut_first.ticks +
                          (frame_start(clock, frame).ticks - pair.source_first.ticks)};
      file.write(timecode_ms_text(output_ns(at_speed, cut).count));
      file.write("\n");
    }
  }
  report_frames_past_end(clock, log);
  return true;
}

void report_cut_timecodes_failure(const std::string& path, const OutputFile& file, const Log& log) {
  report_file_failure(log, FileFailure{kRole, FileAction::Write, path, path, file.error_number()});
}

bool write_cut_timecodes(const std::string& path, const CutMap& map, const FrameClock& clock,
                         const SpeedStep& speed, const Log& log) {
  OutputFile file;
  std::int64_t frames = 0;
  if (!prepare_cut_timecodes(path, map, clock, speed, log, file, frames)) return false;
  if (!file.commit()) {
    report_cut_timecodes_failure(path, file, log);
    return false;
  }
  return true;
}

}  // namespace mendra
