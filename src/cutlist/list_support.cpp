#include "cutlist/list_support.h"

#include <cstdint>

#include "util/frame_rate.h"
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

void report_lines_unread(const Log& log, std::string_view list_name, const LineTally& unreadable) {
  log(LogLevel::Warning, "%d lines of %.*s could not be read (first: line %d)\n", unreadable.count,
      static_cast<int>(list_name.size()), list_name.data(), unreadable.first_line);
}

LineTally count_text_lines(TextReader& file) {
  rewind_list(file);
  LineTally text;
  std::string_view line;
  for (int line_number = 1; file.next_line(line); ++line_number) {
    const std::size_t first = line.find_first_not_of(" \t\r\n\v\f");
    if (first != std::string_view::npos && line[first] != '#') text.add(line_number);
  }
  rewind_list(file);
  return text;
}

void print_cut_summary(const CutCounters& counters, const FrameClock& clock, const Log& log) {
  // Exact durations, truncated toward zero; frame counts near the int limits
  // saturate.
  const bool constant = is_constant(clock);
  const SummaryTime kept = split_ms(constant ? frames_duration_ms(clock, counters.kept_frames)
                                             : ns_to_ms(counters.kept_ns));
  const SummaryTime cut = split_ms(constant ? frames_duration_ms(clock, counters.cut_frames)
                                            : ns_to_ms(counters.cut_ns));
  log(LogLevel::Info, "   ---- cut info ----\n");
  log(LogLevel::Info, "\tTotal  frame: %d  \ttime: %02d:%02d:%02d.%03d\n", counters.kept_frames,
      kept.hours, kept.minutes, kept.seconds, kept.millis);
  log(LogLevel::Info, "\t cut   frame: %d  \ttime: %02d:%02d:%02d.%03d\n", counters.cut_frames,
      cut.hours, cut.minutes, cut.seconds, cut.millis);
  log(LogLevel::Info, "\n");
}

}  // namespace mendra
