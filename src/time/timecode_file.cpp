// Timecode files as video muxers read and write them: a header line
// "# timecode format v1" (or "timestamp", and v2, v4), then either an
// "assume <fps>" line and "start,end,fps" ranges (v1), or one time per frame
// in milliseconds (v2; v4 lists the same times in any order). Blank lines
// and '#' comments are skipped; a UTF-8 byte-order mark and CR LF line ends
// are read as usual.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "time/frame_clock.h"
#include "util/file_failure.h"
#include "util/scan.h"
#include "util/text_encoding.h"
#include "util/text_reader.h"

namespace mendra {
namespace {

__extension__ using Wide = __int128;

constexpr std::int64_t kNsPerSecond = 1000000000;
// More whole milliseconds than any video lasts (some 285 years); the bound
// keeps every time in nanoseconds far inside 64 bits.
constexpr std::int64_t kMaxWholeMs = 9000000000000;
// Frame numbers of v1 ranges stay within the int range of the cut lists.
constexpr std::int64_t kMaxFrame = 2147483647;
// The terms a rate is held in: a denominator up to 10^9 keeps every frame
// time of the sections far inside 128 bits.
constexpr std::int64_t kMaxRateDen = 1000000000;
constexpr std::int64_t kMaxRateWhole = 1000000;
constexpr std::int64_t kMaxRateNum = kMaxRateWhole * kMaxRateDen;
// Decimals read exactly; those after them change a rate by less than
// 10^-30 fps and are passed over.
constexpr std::size_t kReadRateDecimals = 30;

std::string_view trim_blanks(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// The next word of `text` (up to a blank), taken off its front.
std::string_view take_word(std::string_view& text) {
  text = trim_blanks(text);
  std::size_t end = 0;
  while (end < text.size() && !is_blank(text[end])) ++end;
  const std::string_view word = text.substr(0, end);
  text.remove_prefix(end);
  return word;
}

// "123" or "123.456": whole digits with an optional fraction, into the
// whole part and the fraction's digits. No sign, no exponent.
bool split_decimal(std::string_view text, std::string_view& whole, std::string_view& fraction) {
  const std::size_t point = text.find('.');
  whole = text.substr(0, point);
  fraction = point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
  if (whole.empty() || (point != std::string_view::npos && fraction.empty())) return false;
  return std::ranges::all_of(whole, is_digit) && std::ranges::all_of(fraction, is_digit);
}

// A time in milliseconds as nanoseconds, rounded to the nearest.
bool parse_ms(std::string_view text, std::int64_t& ns) {
  std::string_view whole;
  std::string_view fraction;
  if (!split_decimal(text, whole, fraction)) return false;
  std::int64_t ms = 0;
  for (const char c : whole) {
    ms = ms * 10 + (c - '0');
    if (ms > kMaxWholeMs) return false;
  }
  std::int64_t sub_ms = 0;  // the first six fraction digits
  for (std::size_t i = 0; i < 6; ++i) {
    sub_ms = sub_ms * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  }
  const bool round_up = fraction.size() > 6 && fraction[6] >= '5';
  ns = ms * kNsPerMs + sub_ms + (round_up ? 1 : 0);
  return true;
}

// A fraction near a / b whose terms stay within kMaxRateNum and
// kMaxRateDen: the last convergent of its continued fraction that does.
// That is a / b itself when its lowest terms fit. Otherwise the next
// convergent's terms do not fit, which puts it within about 10^-9 / den
// fps of a / b: a frame at 1 fps or more then lasts less than a nanosecond
// longer or shorter than the digits say, and the digits of a rate printed
// from a double (29.970029970029970) give the fraction they were printed
// from (30000/1001).
void nearest_rate(Wide a, Wide b, std::int64_t& num, std::int64_t& den) {
  Wide num_before = 0;  // the convergent before the last, and the last
  Wide den_before = 1;
  Wide num_last = 1;
  Wide den_last = 0;
  while (b != 0) {
    const Wide term = a / b;
    // Compared before multiplying: a term can be as large as 10^36.
    if (num_last != 0 && term > (kMaxRateNum - num_before) / num_last) break;
    if (den_last != 0 && term > (kMaxRateDen - den_before) / den_last) break;
    const Wide next_num = term * num_last + num_before;
    const Wide next_den = term * den_last + den_before;
    num_before = num_last;
    den_before = den_last;
    num_last = next_num;
    den_last = next_den;
    const Wide rest = a - term * b;
    a = b;
    b = rest;
  }
  num = static_cast<std::int64_t>(num_last);
  den = static_cast<std::int64_t>(den_last);
}

enum class RateText { Rate, NotARate, TooHigh, TooLow };

// A rate in frames per second as num / den, read from any number of
// decimals; above 0 and at most kMaxRateWhole.
RateText parse_rate(std::string_view text, std::int64_t& num, std::int64_t& den) {
  std::string_view whole;
  std::string_view fraction;
  if (!split_decimal(text, whole, fraction)) return RateText::NotARate;
  // Trailing zeros of the fraction change nothing.
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  fraction = fraction.substr(0, kReadRateDecimals);
  Wide a = 0;
  for (const char c : whole) {
    a = a * 10 + (c - '0');
    if (a > kMaxRateWhole) return RateText::TooHigh;
  }
  Wide b = 1;
  for (const char c : fraction) {
    a = a * 10 + (c - '0');
    b *= 10;
  }
  if (a == 0) return RateText::NotARate;
  if (a > kMaxRateWhole * b) return RateText::TooHigh;
  nearest_rate(a, b, num, den);
  // Nothing near a rate far below 1 / 10^9 fps can be held.
  return num > 0 ? RateText::Rate : RateText::TooLow;
}

// Why a rate cannot be used, after `what` ("the rate "29.97"").
std::string rate_fault(RateText read) {
  if (read == RateText::TooHigh) {
    return " is more than " + std::to_string(kMaxRateWhole) + " frames per second";
  }
  if (read == RateText::TooLow) return " is less than one frame in 10^9 seconds";
  return " is not a rate above 0";
}

bool parse_frame(std::string_view text, std::int64_t& frame) {
  text = trim_blanks(text);
  if (text.empty() || !std::ranges::all_of(text, is_digit)) return false;
  frame = 0;
  for (const char c : text) {
    frame = frame * 10 + (c - '0');
    if (frame > kMaxFrame) return false;
  }
  return true;
}

// What a line says is wrong, shown in quotes; long lines are cut short.
std::string quoted(std::string_view text) {
  constexpr std::size_t kShown = 40;
  std::string shown(1, '"');
  shown.append(text.substr(0, kShown));
  if (text.size() > kShown) shown.append("...");
  shown.push_back('"');
  return shown;
}

struct V1Range {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::int64_t rate_num = 1;
  std::int64_t rate_den = 1;
  int line = 0;
};

// Reads the lines after the header, one at a time, past blank lines and
// comments; reports errors with the file's name and the line.
struct TimecodeLines {
  TextReader& file;
  const std::string& path;
  const Log& log;
  int line_number = 1;  // the header's

  // `line` stays valid until the next call: a file of one time per frame is
  // read without copying its lines.
  bool next(std::string_view& line) {
    std::string_view read;
    while (file.next_line(read)) {
      ++line_number;
      line = trim_blanks(read);
      if (line.empty() || line.front() == '#') continue;
      return true;
    }
    return false;
  }

  bool fail(int line, const std::string& what) const {
    log(LogLevel::Error, "timecode file %s, line %d: %s\n", path.c_str(), line, what.c_str());
    return false;
  }
};

// Whole frame times in blocks of FrameTimes::kBlockFrames, every block but
// the last full, walked as one sequence so that they sort in place.
using WholeTimes = std::vector<std::vector<std::int64_t>>;

struct WholeTimesIterator {
  using iterator_category = std::random_access_iterator_tag;
  using value_type = std::int64_t;
  using difference_type = std::ptrdiff_t;
  using pointer = std::int64_t*;
  using reference = std::int64_t&;

  WholeTimes* blocks = nullptr;
  difference_type at = 0;

  reference operator*() const {
    const auto index = static_cast<std::size_t>(at);
    return (*blocks)[index / FrameTimes::kBlockFrames][index % FrameTimes::kBlockFrames];
  }
  reference operator[](difference_type n) const { return *(*this + n); }
  WholeTimesIterator& operator++() {
    ++at;
    return *this;
  }
  // NOLINTNEXTLINE(cert-dcl21-cpp): an iterator's postfix step returns a plain copy
  WholeTimesIterator operator++(int) {
    WholeTimesIterator before = *this;
    ++at;
    return before;
  }
  WholeTimesIterator& operator--() {
    --at;
    return *this;
  }
  // NOLINTNEXTLINE(cert-dcl21-cpp): an iterator's postfix step returns a plain copy
  WholeTimesIterator operator--(int) {
    WholeTimesIterator before = *this;
    --at;
    return before;
  }
  WholeTimesIterator& operator+=(difference_type n) {
    at += n;
    return *this;
  }
  WholeTimesIterator& operator-=(difference_type n) {
    at -= n;
    return *this;
  }
  friend WholeTimesIterator operator+(WholeTimesIterator it, difference_type n) { return it += n; }
  // What a random-access iterator offers, though sorting may not ask for it.
  [[maybe_unused]] friend WholeTimesIterator operator+(difference_type n, WholeTimesIterator it) {
    return it += n;
  }
  friend WholeTimesIterator operator-(WholeTimesIterator it, difference_type n) { return it -= n; }
  friend difference_type operator-(const WholeTimesIterator& a, const WholeTimesIterator& b) {
    return a.at - b.at;
  }
  friend bool operator==(const WholeTimesIterator& a, const WholeTimesIterator& b) {
    return a.at == b.at;
  }
  friend auto operator<=>(const WholeTimesIterator& a, const WholeTimesIterator& b) {
    return a.at <=> b.at;
  }
};

void append_whole(WholeTimes& whole, std::int64_t ns) {
  if (whole.empty() || whole.back().size() == FrameTimes::kBlockFrames) {
    whole.emplace_back();
    whole.back().reserve(FrameTimes::kBlockFrames);
  }
  whole.back().push_back(ns);
}

// The table of a v4 file's times, put in order first unless they are. A
// v4 file is read as whole times (its runs going backwards would not fit
// the table's offsets); each block leaves them as soon as the table holds
// it, so that no frame is ever held twice over.
FrameTimes frame_table(WholeTimes& whole, bool in_order) {
  if (!in_order && !whole.empty()) {
    const auto count = static_cast<std::ptrdiff_t>((whole.size() - 1) * FrameTimes::kBlockFrames +
                                                   whole.back().size());
    std::sort(WholeTimesIterator{&whole, 0}, WholeTimesIterator{&whole, count});
  }
  FrameTimes times;
  for (std::vector<std::int64_t>& block : whole) {
    for (const std::int64_t ns : block) times.push_back(ns);
    block = std::vector<std::int64_t>{};
  }
  return times;
}

bool read_v2(TimecodeLines& lines, bool any_order, FrameClock& clock) {
  FrameTimes times;  // a v2 file's, as read
  WholeTimes whole;  // a v4 file's, until they are in order
  std::string_view line;
  std::int64_t count = 0;
  std::int64_t previous = 0;
  bool in_order = true;  // v4 files are mostly written in order already
  while (lines.next(line)) {
    std::int64_t ns = 0;
    if (!parse_ms(line, ns)) return lines.fail(lines.line_number, "not a time " + quoted(line));
    if (count > 0 && ns <= previous) {
      if (!any_order) {
        return lines.fail(lines.line_number,
                          "time " + quoted(line) + " is not after the time of the frame before it");
      }
      if (ns < previous) in_order = false;
    }
    if (any_order) {
      append_whole(whole, ns);
    } else {
      times.push_back(ns);
    }
    ++count;
    previous = ns;
  }
  if (any_order) times = frame_table(whole, in_order);
  if (times.count < 2) {
    return lines.fail(lines.line_number,
                      "at least two frame times are needed, to know how long "
                      "the last frame lasts");
  }
  if (times[times.count - 1] == times[times.count - 2]) {
    return lines.fail(lines.line_number,
                      "the last two frame times are equal: the last frame "
                      "would last no time");
  }
  clock.frame_count = times.count;
  clock.frame_ns = std::move(times);
  return true;
}

bool read_v1(TimecodeLines& lines, FrameClock& clock) {
  std::string_view line;
  if (!lines.next(line)) return lines.fail(lines.line_number, "no \"assume <fps>\" line");
  std::string_view rest = line;
  const std::string_view keyword = take_word(rest);
  std::int64_t assumed_num = 0;
  std::int64_t assumed_den = 1;
  if (!equal_ignoring_case(keyword, "assume")) {
    return lines.fail(lines.line_number, "expected \"assume <fps>\", not " + quoted(line));
  }
  if (const RateText read = parse_rate(trim_blanks(rest), assumed_num, assumed_den);
      read != RateText::Rate) {
    return lines.fail(lines.line_number,
                      "the assumed rate " + quoted(trim_blanks(rest)) + rate_fault(read));
  }
  std::vector<V1Range> ranges;
  while (lines.next(line)) {
    const std::size_t comma1 = line.find(',');
    const std::size_t comma2 =
        comma1 == std::string_view::npos ? comma1 : line.find(',', comma1 + 1);
    V1Range range;
    range.line = lines.line_number;
    if (comma2 == std::string_view::npos || !parse_frame(line.substr(0, comma1), range.first) ||
        !parse_frame(line.substr(comma1 + 1, comma2 - comma1 - 1), range.last)) {
      return lines.fail(lines.line_number, "expected \"start,end,fps\", not " + quoted(line));
    }
    const std::string_view rate_text = trim_blanks(line.substr(comma2 + 1));
    if (const RateText read = parse_rate(rate_text, range.rate_num, range.rate_den);
        read != RateText::Rate) {
      return lines.fail(lines.line_number, "the rate " + quoted(rate_text) + rate_fault(read));
    }
    if (range.last < range.first) {
      return lines.fail(lines.line_number, "the range " + quoted(line) + " ends before it begins");
    }
    ranges.push_back(range);
  }
  std::stable_sort(ranges.begin(), ranges.end(),
                   [](const V1Range& a, const V1Range& b) { return a.first < b.first; });
  for (std::size_t i = 1; i < ranges.size(); ++i) {
    if (ranges[i].first <= ranges[i - 1].last) {
      const V1Range& later = ranges[i].line > ranges[i - 1].line ? ranges[i] : ranges[i - 1];
      return lines.fail(later.line,
                        "frames " + std::to_string(ranges[i].first) + " to " +
                            std::to_string(std::min(ranges[i].last, ranges[i - 1].last)) +
                            " lie in two ranges");
    }
  }
  // Sections in frame order: the gaps before and between the ranges, and
  // everything after the last, run at the assumed rate.
  std::vector<TimecodeSection> sections;
  std::int64_t frame = 0;
  std::int64_t start_ns = 0;
  const auto add = [&](std::int64_t first, std::int64_t end, std::int64_t num, std::int64_t den) {
    TimecodeSection section{first, start_ns, num, den};
    sections.push_back(section);
    start_ns = static_cast<std::int64_t>(
        section.start_ns +
        (static_cast<Wide>(end - first) * den * kNsPerSecond * 2 + num) / (Wide{2} * num));
    frame = end;
  };
  for (const V1Range& range : ranges) {
    if (range.first > frame) add(frame, range.first, assumed_num, assumed_den);
    add(range.first, range.last + 1, range.rate_num, range.rate_den);
  }
  clock.frame_count = frame;
  TimecodeSection rest_of_video{frame, start_ns, assumed_num, assumed_den};
  sections.push_back(rest_of_video);
  clock.sections = std::move(sections);
  return true;
}

// The file opened but could not be read to its end: what was read says
// nothing about the frames after it.
bool report_read_failure(const TextReader& file, const std::string& path, const Log& log) {
  report_file_failure(
      log, FileFailure{"timecode file", FileAction::Read, path, path, file.error_number()});
  return false;
}

enum class Header { V1, V2, V4, Unknown, Missing };

Header read_header(std::string_view line) {
  line = trim_blanks(line);
  if (line.empty() || line.front() != '#') return Header::Missing;
  line.remove_prefix(1);
  const std::string_view name = take_word(line);
  if (!equal_ignoring_case(name, "timecode") && !equal_ignoring_case(name, "timestamp")) {
    return Header::Missing;
  }
  if (!equal_ignoring_case(take_word(line), "format")) return Header::Missing;
  const std::string_view version = take_word(line);
  if (!trim_blanks(line).empty()) return Header::Unknown;
  if (equal_ignoring_case(version, "v1")) return Header::V1;
  if (equal_ignoring_case(version, "v2")) return Header::V2;
  if (equal_ignoring_case(version, "v4")) return Header::V4;
  return Header::Unknown;
}

}  // namespace

namespace {

bool read_timecodes(TextReader& file, const std::string& path, const Log& log, FrameClock& clock) {
  TimecodeLines lines{file, path, log, 1};
  std::string first;
  std::string_view header_line;
  const bool any_line = file.read_line(first);
  if (file.read_failed()) return report_read_failure(file, path, log);
  if (any_line) {
    header_line = first;
    if (starts_with_utf8_bom(header_line)) header_line.remove_prefix(kUtf8ByteOrderMark.size());
  }
  FrameClock read;
  read.rate = clock.rate;
  read.timecode_path = path;
  bool ok = false;
  switch (read_header(header_line)) {
    case Header::Missing:
      return lines.fail(1, "no header \"# timestamp format v1\" (or v2, v4)");
    case Header::Unknown:
      return lines.fail(
          1, "unknown format " + quoted(trim_blanks(header_line)) + " (v1, v2 and v4 are read)");
    case Header::V1:
      read.timecodes = TimecodeFormat::V1;
      ok = read_v1(lines, read);
      break;
    case Header::V2:
    case Header::V4:
      read.timecodes = TimecodeFormat::V2;
      ok = read_v2(lines, read_header(header_line) == Header::V4, read);
      break;
  }
  if (ok && file.read_failed()) return report_read_failure(file, path, log);
  if (ok) clock = std::move(read);
  return ok;
}

}  // namespace

bool read_timecode_file(const std::string& path, const Log& log, FrameClock& clock) {
  TextReader file;
  if (!file.open(path)) {
    report_file_failure(log, FileFailure{"timecode file", FileAction::Open, path, path, errno});
    return false;
  }
  return read_timecodes(file, path, log, clock);
}

bool read_timecode_bytes(std::string_view bytes, const std::string& name, const Log& log,
                         FrameClock& clock) {
  TextReader file;
  file.open_memory(bytes);
  return read_timecodes(file, name, log, clock);
}

}  // namespace mendra
