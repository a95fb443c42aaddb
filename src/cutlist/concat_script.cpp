// ffmpeg concat scripts: one directive per line, "ffconcat version 1.0"
// first, then for each part of the result a "file <path>" followed by the
// directives that apply to it: "inpoint <time>", "outpoint <time>" and
// "duration <time>". Each file keeps the frames whose start time lies in
// [inpoint, outpoint), or [inpoint, inpoint + duration) without an
// outpoint, or from its inpoint on without either; the files are kept in
// the order given. Times are seconds ("12.5", "12500ms", "12500000us") or
// clock times ("00:00:12.500"). Paths may be quoted with '...' or escaped
// with '\'. Blank lines and lines beginning with '#' are comments; the
// other directives of the format (stream and metadata settings) say
// nothing about what is kept and are passed over.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cutlist/cut_readers.h"
#include "cutlist/list_time.h"
#include "util/line_tally.h"
#include "util/scan.h"

namespace mendra {
namespace {

enum class Token { None, Word, Broken };

// The next word of a line: quotes keep blanks, a backslash takes the next
// character as it is. Broken when a quote never closes.
Token next_token(std::string_view line, std::size_t& pos, std::string& word) {
  while (pos < line.size() && is_blank(line[pos])) ++pos;
  if (pos == line.size()) return Token::None;
  word.clear();
  while (pos < line.size() && !is_blank(line[pos])) {
    const char c = line[pos++];
    if (c == '\\') {
      if (pos < line.size()) word.push_back(line[pos++]);
    } else if (c == '\'') {
      const std::size_t close = line.find('\'', pos);
      if (close == std::string_view::npos) return Token::Broken;
      word.append(line.substr(pos, close - pos));
      pos = close + 1;
    } else {
      word.push_back(c);
    }
  }
  return Token::Word;
}

// A time as the script writes it, as plain decimal seconds ("12.5"), so
// that it can be kept past the line it was read from. Negative times mean
// nothing here and are refused.
bool concat_seconds(std::string_view text, std::string& seconds) {
  ListTime time;
  std::string storage;
  bool ok = false;
  if (text.find(':') != std::string_view::npos) {
    ok = parse_clock_seconds(text, time);
  } else {
    int scale = 0;
    if (text.ends_with("ms")) {
      scale = 3;
      text.remove_suffix(2);
    } else if (text.ends_with("us")) {
      scale = 6;
      text.remove_suffix(2);
    } else if (text.ends_with("s")) {
      text.remove_suffix(1);
    }
    ok = parse_scaled_seconds(text, scale, storage, time);
  }
  if (!ok) return false;
  seconds = std::to_string(time.whole);
  if (!time.fraction.empty()) seconds.append(".").append(time.fraction);
  return true;
}

ListTime as_time(const std::string& seconds) {
  ListTime time;
  parse_decimal_seconds(seconds, time);  // written by concat_seconds, so it reads
  return time;
}

// One "file" of the script and the times given for it.
struct ConcatPart {
  std::string path;  // empty: no file yet
  std::string inpoint = "0";
  std::string outpoint;  // empty: not given
  std::string duration;  // empty: not given
};

// The directives of the format that do not change what is kept.
constexpr std::array<std::string_view, 9> kOtherDirectives = {
    "file_packet_meta", "file_packet_metadata", "option",           "stream",  "exact_stream_id",
    "stream_meta",      "stream_codec",         "stream_extradata", "chapter",
};

// No directive takes more words than "chapter id start end".
constexpr std::size_t kMaxWords = 4;

// The words of a line, at most kMaxWords; false when it has more, or a
// quote never closes.
bool split_words(std::string_view line, std::vector<std::string>& words) {
  words.clear();
  std::size_t pos = 0;
  std::string word;
  for (;;) {
    switch (next_token(line, pos, word)) {
      case Token::None:
        return true;
      case Token::Broken:
        return false;
      case Token::Word:
        if (words.size() == kMaxWords) return false;
        words.push_back(word);
        break;
    }
  }
}

// Sets one of the part's times from its directive; false when the time
// cannot be read or would put the outpoint before the inpoint.
bool set_time(ConcatPart& part, std::string_view directive, std::string_view text) {
  std::string seconds;
  if (!concat_seconds(text, seconds)) return false;
  const std::string& inpoint = directive == "inpoint" ? seconds : part.inpoint;
  const std::string& outpoint = directive == "outpoint" ? seconds : part.outpoint;
  if (!outpoint.empty() && compare_list_times(as_time(outpoint), as_time(inpoint)) < 0) {
    return false;
  }
  if (directive == "inpoint") part.inpoint = seconds;
  if (directive == "outpoint") part.outpoint = seconds;
  if (directive == "duration") part.duration = seconds;
  return true;
}

void keep_part(CutListContext& context, const ConcatPart& part) {
  const ListTime inpoint = as_time(part.inpoint);
  const std::int32_t first = first_frame_from(inpoint, context.clock);
  std::int32_t end = INT32_MAX;  // neither outpoint nor duration: to the end
  if (!part.outpoint.empty()) {
    end = first_frame_from(as_time(part.outpoint), context.clock);
  } else if (!part.duration.empty()) {
    std::string sum;
    end = first_frame_from(add_list_times(inpoint, as_time(part.duration), sum), context.clock);
  }
  context.recordings.add(part.path);
  keep_segment(context.builder, context.log, first, end);
}

// Whether the line is a directive the script may hold, and what it does to
// the parts.
bool read_directive(CutListContext& context, const std::vector<std::string>& words,
                    ConcatPart& part) {
  const std::string& directive = words[0];
  if (directive == "ffconcat") {
    return words.size() == 3 && words[1] == "version" && words[2] == "1.0";
  }
  if (std::find(kOtherDirectives.begin(), kOtherDirectives.end(), directive) !=
      kOtherDirectives.end()) {
    return true;
  }
  if (words.size() != 2) return false;
  if (directive == "file") {
    if (!part.path.empty()) keep_part(context, part);
    // A file without a name is no part: the times after it are unreadable
    // too, rather than taken for the part before.
    part = ConcatPart{};
    part.path = words[1];
    return !part.path.empty();
  }
  // The times apply to the file before them; there must be one.
  const bool time_directive =
      directive == "inpoint" || directive == "outpoint" || directive == "duration";
  return time_directive && !part.path.empty() && set_time(part, directive, words[1]);
}

}  // namespace

bool read_concat_script(CutListContext& context) {
  const Log& log = context.log;
  announce_kind(log, context.label);
  std::string line;
  std::vector<std::string> words;
  ConcatPart part;
  LineTally unreadable;
  int line_number = 0;
  bool any_read = false;
  while (context.file.read_line(line)) {
    ++line_number;
    const std::size_t first = line.find_first_not_of(" \t\r\n");
    if (first == std::string::npos || line[first] == '#') continue;
    if (split_words(line, words) && read_directive(context, words, part)) {
      any_read = true;
    } else {
      unreadable.add(line_number);
    }
  }
  if (!part.path.empty()) keep_part(context, part);
  log(LogLevel::Debug, "\n");
  context.lines.any_read = any_read;
  context.lines.unread = unreadable;
  return true;
}

}  // namespace mendra
