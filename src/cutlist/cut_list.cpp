#include "cutlist/cut_list.h"

#include <cstdio>

#include "cutlist/cut_readers.h"
#include "util/int_math.h"
#include "util/text_reader.h"

namespace mendra {
namespace {

// One duration of the summary as hours:minutes:seconds.milliseconds. The
// hour field runs modulo 60 like the other two; negative counts (from ranges
// given backwards) print their fields with a minus sign each.
struct SummaryTime {
  int hours;
  int minutes;
  int seconds;
  int millis;
};

SummaryTime split_ms(std::int32_t ms) {
  // Division truncates toward zero, and no step can overflow: every divisor
  // is positive and larger than 1.
  return SummaryTime{ms / 1000 / 60 / 60 % 60, ms / 1000 / 60 % 60, ms / 1000 % 60, ms % 1000};
}

// Frames run at fps / 1.001 per second. The driver never passes a fps below
// 1; should one arrive anyway it counts as the default 30 rather than
// dividing by zero.
double frame_rate_value(const RunSettings& settings) {
  return settings.fps > 0 ? static_cast<double>(settings.fps) : 30.0;
}

}  // namespace

void print_cut_summary(const CutCounters& counters, const RunSettings& settings) {
  const double fps = frame_rate_value(settings);
  // The two products are formed in this order on purpose; truncate_to_int
  // saturates the durations of frame counts near the int limits.
  const SummaryTime kept = split_ms(truncate_to_int(counters.kept_frames * 1001.0 / fps));
  const SummaryTime cut = split_ms(truncate_to_int(1001.0 * counters.cut_frames / fps));
  settings.log_info(stderr, "   ---- cut info ----\n");
  settings.log_info(stderr, "\tTotal  frame: %d  \ttime: %02d:%02d:%02d.%03d\n",
                    counters.kept_frames, kept.hours, kept.minutes, kept.seconds, kept.millis);
  settings.log_info(stderr, "\t cut   frame: %d  \ttime: %02d:%02d:%02d.%03d\n",
                    counters.cut_frames, cut.hours, cut.minutes, cut.seconds, cut.millis);
  settings.log_info(stderr, "\n");
}

int read_cut_list(const std::string& path, int kind, CutMap& map, const RunSettings& settings) {
  map.clear();
  TextReader file;
  // The driver reports an unreadable list itself; nothing is printed here.
  if (!file.open(path)) return -1;
  map.push_back(-1);
  CutListContext context{file, map, settings, CutCounters{}};

  if (kind == KeyAuto) kind = choose_key_pairing(file, settings);

  int result = 0;
  switch (kind) {
    case KeyAuto:  // the automatic choice found no line to choose from
      settings.log_error(stderr, " [key]\tAuto: Err!! Not select Odd/Even.\n\n");
      result = -1;
      break;
    case KeyOdd:
    case KeyEven:
    case KeyRanges:
      read_keyframe_list(context, kind);
      break;
    case AvsTrim:
      read_avs_trim(context);
      break;
    case VcfRanges:
      read_vcf_ranges(context);
      break;
    case DelList:
      result = read_del_list(context);
      break;
    default:  // not a CutListKind: fails without a message of its own
      result = -1;
      break;
  }

  // Closes the last deleted interval and the list, also after a failure.
  map.push_back(-1);
  map.push_back(-1);
  file.close();
  print_cut_summary(context.counters, settings);
  return result;
}

}  // namespace mendra
