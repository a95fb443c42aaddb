// What the chapter formats share: a reader finds the chapters of a file and
// the bytes their times stand in, and the re-timing (chapters.cpp) copies
// every other byte as it is. Each format is one file and one row of the
// format table: its extension, how its content is recognised, its reader,
// how it writes a time, and the writer of a new file of chapter marks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "time/pipeline.h"
#include "util/line_tally.h"

namespace mendra {

// Bytes [begin, end) of the chapter file's text.
struct TextSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
};

struct ChapterTime {
  std::int64_t count = 0;  // in the chapter's unit
  TextSpan text;           // the bytes the time is written in, replaced by the new time
};

// One chapter as its reader found it.
struct Chapter {
  ChapterTime start;
  bool has_end = false;
  ChapterTime end;
  TimeUnit unit;  // what its times count: the format's precision
  // The bytes that go with the chapter when it is left out: its element, its
  // section, or its two lines (which need not be next to each other).
  std::array<TextSpan, 2> parts{};
  std::size_t part_count = 0;
  // Chapters of one group are siblings (one edition's chapters, the
  // chapters nested in one chapter): only among them does a chapter that
  // lands on another's time make way for the later one.
  std::size_t group = 0;
  int line = 0;           // where it begins, from 1
  std::string_view name;  // its title as written, for messages; may be empty
  // The chapter numbers a format counts its chapters by ("01" of
  // "CHAPTER01=" and "CHAPTER01NAME="): numbered again from 1 over the
  // chapters kept, with at least as many digits as written.
  std::array<TextSpan, 2> numbers{};
  std::size_t number_count = 0;
};

// What a reader found in a file.
struct ChapterRead {
  std::vector<Chapter> chapters;  // in the order of the file
  // Lines that should have held a chapter time that could not be read; they
  // are copied as they are.
  LineTally unread;
  // Why the file cannot be read as the format at all (empty when it can),
  // and the line it says so of.
  std::string error;
  int error_line = 0;
};

// One chapter of a new file of marks, in the unit of the format's marks.
struct ChapterMark {
  std::int64_t start = 0;
  std::int64_t end = 0;
  bool has_end = false;  // false: where the video ends is not known
};

struct ChapterFormat {
  const char* extension;  // ".xml": what a file of the format ends in
  const char* label;      // "Matroska chapters": how messages name it
  // Whether a text's first bytes (a UTF-8 mark skipped) are of the format.
  bool (*recognise)(std::string_view first_bytes);
  // Reads the chapters of `text` (UTF-8, its line ends as read, a UTF-8
  // mark left off); false, with read.error set, when the text is not of the
  // format at all.
  bool (*read)(std::string_view text, ChapterRead& read);
  // A time of the format's own unit as it writes it ("00:01:02.345").
  std::string (*time_text)(std::int64_t count);
  // The unit of a new file of marks, and its writer: one chapter each,
  // named "Chapter 1", "Chapter 2", ...
  TimeUnit mark_unit;
  void (*write_marks)(std::span<const ChapterMark> marks, std::string& out);
};

// Every format, in the order their contents are tried.
std::span<const ChapterFormat> chapter_formats();

// The format whose extension is `extension` in any case (".XML"), or
// nullptr.
const ChapterFormat* find_chapter_format(std::string_view extension);

// The format a text's first bytes show, or nullptr.
const ChapterFormat* sniff_chapter_format(std::string_view first_bytes);

// The starts of a text's lines, so that the line of any byte is found by a
// binary search rather than by counting line ends from the start.
struct LineStarts {
  std::vector<std::size_t> starts;

  explicit LineStarts(std::string_view text);
  // The line of byte `offset`, from 1.
  int line_of(std::size_t offset) const;
};

// "h:mm:ss" with at least two digits for the hours, then `digits` decimals
// of the second, for a time of `count` units of 10^-digits seconds; a time
// below 0 is written as 0.
std::string clock_time_text(std::int64_t count, int digits);

// Reads "h:mm:ss" with any number of hour digits and two each for the
// minutes and seconds, then '.' and at most `digits` decimals (fewer are
// read as if zeros followed, none at all without the '.'), into units of
// 10^-digits seconds; false for anything else, or beyond 10^6 hours.
bool parse_clock_time(std::string_view text, int digits, std::int64_t& count);

// The chapter format rows' readers and writers.
bool is_ogm_chapters(std::string_view first_bytes);
bool read_ogm_chapters(std::string_view text, ChapterRead& read);
std::string ogm_time_text(std::int64_t ms);
void write_ogm_marks(std::span<const ChapterMark> marks, std::string& out);

bool is_matroska_chapters(std::string_view first_bytes);
bool read_matroska_chapters(std::string_view text, ChapterRead& read);
std::string matroska_time_text(std::int64_t ns);
void write_matroska_marks(std::span<const ChapterMark> marks, std::string& out);

bool is_ffmetadata(std::string_view first_bytes);
bool read_ffmetadata_chapters(std::string_view text, ChapterRead& read);
std::string ffmetadata_time_text(std::int64_t count);
void write_ffmetadata_marks(std::span<const ChapterMark> marks, std::string& out);

}  // namespace mendra
