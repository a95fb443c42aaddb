// FFmpeg metadata files: ";FFMETADATA1", global "key=value" lines, then
// sections in brackets. A [CHAPTER] section holds TIMEBASE=num/den (seconds
// per unit; nanoseconds without it), START= and END= in that unit; its
// other keys, the other sections and the comments (';' or '#') are copied.
// A value ending in a backslash goes on over the line end, so the next line
// is part of it and no key.
#include <numeric>
#include <string>
#include <string_view>

#include "chapter/chapter_format.h"
#include "util/scan.h"

namespace mendra {
namespace {

constexpr std::string_view kHeader = ";FFMETADATA";
constexpr std::int64_t kMsPerSecond = 1000;
// The time base without a TIMEBASE line: nanoseconds.
constexpr TimeUnit kDefaultUnit{1, 1000000};
// The terms of a TIMEBASE as 32-bit integers hold them.
constexpr std::int64_t kMaxBaseTerm = 2147483647;

std::string_view view(std::string_view text, TextSpan span) {
  return text.substr(span.begin, span.end - span.begin);
}

// Digits only, at least one, at most `limit`.
bool read_count(std::string_view text, std::int64_t limit, std::int64_t& value) {
  if (text.empty()) return false;
  value = 0;
  for (const char c : text) {
    if (!is_digit(c) || value > (limit - (c - '0')) / 10) return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// An integer with an optional '-', of at most 62 bits.
bool read_time_count(std::string_view text, std::int64_t& count) {
  constexpr std::int64_t kLimit = std::int64_t{1} << 62;
  const bool negative = text.starts_with('-');
  if (negative) text.remove_prefix(1);
  if (!read_count(text, kLimit, count)) return false;
  if (negative) count = -count;
  return true;
}

// "num/den" seconds as a unit of milliseconds.
bool read_time_base(std::string_view text, TimeUnit& unit) {
  const std::size_t slash = text.find('/');
  std::int64_t num = 0;
  std::int64_t den = 0;
  if (slash == std::string_view::npos || !read_count(text.substr(0, slash), kMaxBaseTerm, num) ||
      !read_count(text.substr(slash + 1), kMaxBaseTerm, den) || num == 0 || den == 0) {
    return false;
  }
  num *= kMsPerSecond;
  const std::int64_t common = std::gcd(num, den);
  unit = TimeUnit{num / common, den / common};
  return unit.num <= kMaxUnitTerm;
}

// One line of the file: where it begins and ends, and its content without
// the line end.
struct MetaLine {
  TextSpan whole;
  TextSpan content;
  int number = 0;
};

// Whether a line's value goes on over its line end: an odd number of
// backslashes before it.
bool continues(std::string_view content) {
  std::size_t slashes = 0;
  while (slashes < content.size() && content[content.size() - 1 - slashes] == '\\') ++slashes;
  return slashes % 2 == 1;
}

// The [CHAPTER] section being read.
struct Section {
  bool open = false;
  Chapter chapter;
  bool has_start = false;
  bool times_unreadable = false;  // its TIMEBASE could not be read
  int start_line = 0;
};

void close_section(Section& section, std::size_t end, ChapterRead& read) {
  if (!section.open) return;
  section.open = false;
  Chapter& chapter = section.chapter;
  chapter.parts[0].end = end;
  chapter.part_count = 1;
  if (section.times_unreadable) return;
  if (!section.has_start) {
    read.unread.add(chapter.line);
    return;
  }
  read.chapters.push_back(chapter);
}

// A key of the open section: TIMEBASE, START, END or the title.
void read_key(std::string_view text, const MetaLine& line, Section& section, ChapterRead& read) {
  const std::string_view content = view(text, line.content);
  const std::size_t equals = content.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view key = content.substr(0, equals);
  const TextSpan value{line.content.begin + equals + 1, line.content.end};
  Chapter& chapter = section.chapter;
  if (key == "title") {
    chapter.name = view(text, value);
  } else if (key == "TIMEBASE") {
    if (!read_time_base(view(text, value), chapter.unit)) {
      section.times_unreadable = true;
      read.unread.add(line.number);
    }
  } else if (key == "START" || key == "END") {
    ChapterTime time;
    if (!read_time_count(view(text, value), time.count)) {
      read.unread.add(line.number);
      if (key == "START") section.times_unreadable = true;
      return;
    }
    time.text = value;
    if (key == "START") {
      chapter.start = time;
      section.has_start = true;
    } else {
      chapter.end = time;
      chapter.has_end = true;
    }
  }
}

}  // namespace

bool is_ffmetadata(std::string_view first_bytes) {
  return first_bytes.starts_with(kHeader);
}

bool read_ffmetadata_chapters(std::string_view text, ChapterRead& read) {
  Section section;
  bool continued = false;
  int number = 0;
  for (std::size_t begin = 0; begin < text.size();) {
    MetaLine line;
    line.number = ++number;
    std::size_t end = text.find('\n', begin);
    end = end == std::string_view::npos ? text.size() : end + 1;
    line.whole = TextSpan{begin, end};
    std::size_t content_end = end;
    if (content_end > begin && text[content_end - 1] == '\n') --content_end;
    if (content_end > begin && text[content_end - 1] == '\r') --content_end;
    line.content = TextSpan{begin, content_end};
    begin = end;
    const std::string_view content = view(text, line.content);
    const bool part_of_value = continued;
    continued = continues(content);
    if (part_of_value || content.empty() || content.front() == ';' || content.front() == '#') {
      continue;
    }
    if (content.front() == '[') {
      close_section(section, line.whole.begin, read);
      if (content == "[CHAPTER]") {
        section = Section{};
        section.open = true;
        section.chapter.unit = kDefaultUnit;
        section.chapter.line = line.number;
        section.chapter.parts[0].begin = line.whole.begin;
      }
      continue;
    }
    if (section.open) read_key(text, line, section, read);
  }
  close_section(section, text.size(), read);
  return true;
}

std::string ffmetadata_time_text(std::int64_t count) {
  return std::to_string(count);
}

void write_ffmetadata_marks(std::span<const ChapterMark> marks, std::string& out) {
  out += ";FFMETADATA1\n";
  int number = 0;
  for (const ChapterMark& mark : marks) {
    ++number;
    out += "[CHAPTER]\nTIMEBASE=1/1000\n";
    out += "START=" + ffmetadata_time_text(mark.start) + "\n";
    // The format asks for an end: a chapter whose end is not known ends
    // where it starts.
    out += "END=" + ffmetadata_time_text(mark.has_end ? mark.end : mark.start) + "\n";
    out += "title=Chapter " + std::to_string(number) + "\n";
  }
}

}  // namespace mendra
