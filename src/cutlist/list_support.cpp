#include "cutlist/list_support.h"

#include <cstdint>

#include "util/text_encoding.h"

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

}  // namespace

void skip_utf8_bom(TextReader& file) {
  // Reads as far as the bytes agree with the mark and puts back what was
  // read when they part.
  int read[3] = {};
  std::size_t matched = 0;
  while (matched < kUtf8ByteOrderMark.size()) {
    read[matched] = file.get();
    if (read[matched] != static_cast<unsigned char>(kUtf8ByteOrderMark[matched])) {
      for (std::size_t i = matched + 1; i-- > 0;) file.unget(read[i]);
      return;
    }
    ++matched;
  }
}

void rewind_list(TextReader& file) {
  file.rewind();
  skip_utf8_bom(file);
}

void report_no_cuts_read(const Log& log, std::string_view list_name, const LineTally& unreadable) {
  log(LogLevel::Error, "no cuts could be read from %.*s (%d lines, first: line %d)\n",
      static_cast<int>(list_name.size()), list_name.data(), unreadable.count,
      unreadable.first_line);
}

void print_cut_summary(const CutCounters& counters, const FrameClock& clock, const Log& log) {
  // Exact durations, truncated toward zero; durations beyond the int range
  // saturate.
  const SummaryTime kept = split_ms(clock_time_ms(clock, counters.kept_time));
  const SummaryTime cut = split_ms(clock_time_ms(clock, counters.cut_time));
  log(LogLevel::Info, "   ---- cut info ----\n");
  log(LogLevel::Info, "\tTotal  frame: %d  \ttime: %02d:%02d:%02d.%03d\n", counters.kept_frames,
      kept.hours, kept.minutes, kept.seconds, kept.millis);
  log(LogLevel::Info, "\t cut   frame: %d  \ttime: %02d:%02d:%02d.%03d\n", counters.cut_frames,
      cut.hours, cut.minutes, cut.seconds, cut.millis);
  log(LogLevel::Info, "\n");
}

}  // namespace mendra
