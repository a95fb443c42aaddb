// OGM ("simple") chapters, as muxers of Ogg and Matroska files read them:
// two lines per chapter, "CHAPTER01=00:01:02.345" and "CHAPTER01NAME=Intro",
// times to the millisecond. The names are kept byte for byte; the chapters
// kept are numbered again from 1.
#include <cstdio>
#include <string>
#include <string_view>

#include "chapter/chapter_format.h"
#include "util/scan.h"

namespace mendra {
namespace {

constexpr std::string_view kKey = "CHAPTER";
constexpr std::string_view kNameKey = "NAME=";
constexpr int kMsDigits = 3;

// A line of the file: "CHAPTER", its number, then "=" and a time or
// "NAME=" and a name.
struct OgmLine {
  TextSpan number;
  bool is_name = false;
  TextSpan value;  // without the line end and trailing blanks
};

bool read_key(std::string_view text, std::size_t begin, std::size_t end, OgmLine& line) {
  const std::string_view content = text.substr(begin, end - begin);
  if (!content.starts_with(kKey)) return false;
  std::size_t at = kKey.size();
  while (at < content.size() && is_digit(content[at])) ++at;
  if (at == kKey.size()) return false;
  line.number = TextSpan{begin + kKey.size(), begin + at};
  const std::string_view rest = content.substr(at);
  if (rest.starts_with('=')) {
    line.value.begin = begin + at + 1;
  } else if (rest.starts_with(kNameKey)) {
    line.is_name = true;
    line.value.begin = begin + at + kNameKey.size();
  } else {
    return false;
  }
  std::size_t value_end = end;
  while (value_end > line.value.begin && is_blank(text[value_end - 1])) --value_end;
  line.value.end = value_end;
  return true;
}

std::string_view view(std::string_view text, TextSpan span) {
  return text.substr(span.begin, span.end - span.begin);
}

}  // namespace

bool is_ogm_chapters(std::string_view first_bytes) {
  std::size_t at = 0;
  while (at < first_bytes.size() && is_blank(first_bytes[at])) ++at;
  const std::string_view rest = first_bytes.substr(at);
  return rest.starts_with(kKey) && rest.size() > kKey.size() && is_digit(rest[kKey.size()]);
}

bool read_ogm_chapters(std::string_view text, ChapterRead& read) {
  int line_number = 0;
  for (std::size_t begin = 0; begin < text.size();) {
    std::size_t end = text.find('\n', begin);
    end = end == std::string_view::npos ? text.size() : end + 1;
    ++line_number;
    const TextSpan whole{begin, end};
    OgmLine line;
    const bool keyed = read_key(text, begin, end, line);
    begin = end;
    bool blank = true;
    for (std::size_t i = whole.begin; i < whole.end; ++i) blank &= is_blank(text[i]);
    if (blank) continue;
    if (!keyed) {
      read.unread.add(line_number);
      continue;
    }
    if (line.is_name) {
      // The name of the latest chapter of its number; one before any such
      // chapter is copied as it is.
      for (auto chapter = read.chapters.rbegin(); chapter != read.chapters.rend(); ++chapter) {
        if (view(text, chapter->numbers[0]) != view(text, line.number)) continue;
        if (chapter->part_count < 2 && chapter->number_count < 2) {
          chapter->parts[chapter->part_count++] = whole;
          chapter->numbers[chapter->number_count++] = line.number;
          chapter->name = view(text, line.value);
        }
        break;
      }
      continue;
    }
    Chapter chapter;
    if (!parse_clock_time(view(text, line.value), kMsDigits, chapter.start.count)) {
      read.unread.add(line_number);
      continue;
    }
    chapter.start.text = line.value;
    chapter.parts[chapter.part_count++] = whole;
    chapter.numbers[chapter.number_count++] = line.number;
    chapter.line = line_number;
    read.chapters.push_back(chapter);
  }
  return true;
}

std::string ogm_time_text(std::int64_t ms) {
  return clock_time_text(ms, kMsDigits);
}

void write_ogm_marks(std::span<const ChapterMark> marks, std::string& out) {
  int number = 0;
  for (const ChapterMark& mark : marks) {
    ++number;
    char key[32];
    std::snprintf(key, sizeof key, "CHAPTER%02d", number);
    out += key;
    out += '=';
    out += ogm_time_text(mark.start);
    out += '\n';
    out += key;
    out += "NAME=Chapter ";
    out += std::to_string(number);
    out += '\n';
  }
}

}  // namespace mendra
