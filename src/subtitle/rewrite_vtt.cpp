// WebVTT: a header, then blocks separated by blank lines. A cue block is an
// optional identifier line, a timing line ("00:05.000 --> 00:08.000" and its
// settings) and the cue text, which may hold timestamp tags
// ("<00:06.500>"). NOTE, STYLE and REGION blocks carry no times and are
// copied. Only the timestamps themselves are rewritten: every other byte of
// a timing line or a text line, its settings and line end included, stays
// as it was. A timestamp tag that would no longer lie strictly inside its
// cue, after the tag before it, is left out (its text stays), so the file
// stays valid. The same file also holds the format's reader and writer of
// cues, through which it converts to and from the other formats.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "subtitle/cue_io.h"
#include "subtitle/line_rewriter.h"
#include "subtitle/retime.h"
#include "subtitle/time_text.h"
#include "util/format_int.h"
#include "util/int_math.h"
#include "util/scan.h"

namespace mendra {
namespace {

constexpr std::string_view kByteOrderMark = kUtf8ByteOrderMark;
constexpr std::string_view kSignature = "WEBVTT";
constexpr std::string_view kArrow = "-->";
// Blocks that carry no times, named by their first word.
constexpr std::string_view kCopiedBlocks[] = {"NOTE", "STYLE", "REGION"};

constexpr int kMsPerSecond = 1000;
constexpr int kSecondsPerMinute = 60;
constexpr int kMaxMinuteOrSecond = 59;
constexpr int kMsPerMinute = 60000;
constexpr int kMsPerHour = 3600000;
// More hour digits than any time in int milliseconds needs: accumulating
// stops here, so a long run of digits cannot overflow and reads as too large.
constexpr std::int64_t kDigitValueCap = std::int64_t{1} << 40;
constexpr std::size_t kTimeBufferBytes = 32;

bool is_blank_or_tab(char c) {
  return c == ' ' || c == '\t';
}

// A line that holds "-->" is a timing line wherever it stands: it ends the
// block before it, as a player reads it.
bool has_arrow(std::string_view line) {
  return line.find(kArrow) != std::string_view::npos;
}

// `word` alone, or followed by a space, a tab or the line end.
bool starts_with_word(std::string_view line, std::string_view word) {
  if (!line.starts_with(word)) return false;
  if (line.size() == word.size()) return true;
  const char next = line[word.size()];
  return is_blank_or_tab(next) || next == '\n' || next == '\r';
}

bool is_copied_block_start(std::string_view line) {
  return std::ranges::any_of(
      kCopiedBlocks, [line](std::string_view word) { return starts_with_word(line, word); });
}

// One timestamp as it stood in the file.
struct VttTime {
  int ms = 0;
  bool has_hours = false;  // written as hh:mm:ss.ttt
  std::size_t begin = 0;   // its bytes within the line
  std::size_t end = 0;
};

// Reads digits from `pos` on; returns how many there were.
std::size_t read_digits(std::string_view text, std::size_t& pos, std::int64_t& value) {
  const std::size_t start = pos;
  value = 0;
  while (pos < text.size() && is_digit(text[pos])) {
    value = std::min(value * 10 + (text[pos] - '0'), kDigitValueCap);
    ++pos;
  }
  return pos - start;
}

bool take(std::string_view text, std::size_t& pos, char expected) {
  if (pos >= text.size() || text[pos] != expected) return false;
  ++pos;
  return true;
}

// A timestamp at `pos`: [hours:]mm:ss.ttt, with hours of two or more digits
// (a first field of other than two digits, or above 59, is hours), minutes
// and seconds of two digits up to 59, exactly three fraction digits. A time
// beyond the int range of milliseconds is not read.
bool read_timestamp(std::string_view text, std::size_t pos, VttTime& time) {
  time.begin = pos;
  std::int64_t first = 0;
  std::int64_t second = 0;
  std::int64_t third = 0;
  std::int64_t fraction = 0;
  const std::size_t first_digits = read_digits(text, pos, first);
  if (first_digits == 0) return false;
  bool has_hours = first_digits != 2 || first > kMaxMinuteOrSecond;
  if (!take(text, pos, ':') || read_digits(text, pos, second) != 2) return false;
  if (has_hours || (pos < text.size() && text[pos] == ':')) {
    if (!take(text, pos, ':') || read_digits(text, pos, third) != 2) return false;
    has_hours = true;
  } else {
    third = second;
    second = first;
    first = 0;
  }
  if (!take(text, pos, '.') || read_digits(text, pos, fraction) != 3) return false;
  if (second > kMaxMinuteOrSecond || third > kMaxMinuteOrSecond) return false;
  const std::int64_t ms =
      ((first * kSecondsPerMinute + second) * kSecondsPerMinute + third) * kMsPerSecond + fraction;
  if (ms > std::numeric_limits<int>::max()) return false;
  time.ms = static_cast<int>(ms);
  time.has_hours = has_hours;
  time.end = pos;
  return true;
}

std::size_t skip_blanks(std::string_view text, std::size_t pos) {
  while (pos < text.size() && is_blank_or_tab(text[pos])) ++pos;
  return pos;
}

struct CueTiming {
  VttTime start;
  VttTime end;
};

// "start --> end", each side with any blanks, then the settings, which
// are kept whatever they hold.
bool read_timing_line(std::string_view line, CueTiming& timing) {
  if (!read_timestamp(line, skip_blanks(line, 0), timing.start)) return false;
  const std::size_t arrow = skip_blanks(line, timing.start.end);
  if (line.substr(arrow, kArrow.size()) != kArrow) return false;
  return read_timestamp(line, skip_blanks(line, arrow + kArrow.size()), timing.end);
}

// Writes a re-timed time as mm:ss.ttt, or as hh:mm:ss.ttt when it was
// written with hours or has become an hour or more. Hours do not wrap:
// WebVTT allows any number of hour digits.
void write_time(int ms, bool with_hours, LineSink& out) {
  constexpr int kTwoDigits = 2;
  constexpr int kThreeDigits = 3;
  char text[kTimeBufferBytes];
  char* end = text;
  const int hours = ms / kMsPerHour;
  if (with_hours || hours > 0) {
    end = append_int(end, hours, kTwoDigits);
    *end++ = ':';
  }
  end = append_int(end, ms / kMsPerMinute % kSecondsPerMinute, kTwoDigits);
  *end++ = ':';
  end = append_int(end, ms / kMsPerSecond % kSecondsPerMinute, kTwoDigits);
  *end++ = '.';
  end = append_int(end, ms % kMsPerSecond, kThreeDigits);
  out.write(std::string_view(text, static_cast<std::size_t>(end - text)));
}

void write_timing_line(std::string_view line, const CueTiming& timing, const RetimedSpan& span,
                       LineSink& out) {
  out.write(line.substr(0, timing.start.begin));
  write_time(span.start_ms, timing.start.has_hours, out);
  out.write(line.substr(timing.start.end, timing.end.begin - timing.start.end));
  write_time(span.end_ms, timing.end.has_hours, out);
  out.write(line.substr(timing.end.end));
}

// Copies a line of cue text with every timestamp tag re-timed, or left out
// when its new time is not strictly inside the cue and after the tag before
// it (`last_tag_ms`, the cue's start for the first): a tag in deleted
// material, or beyond the last kept frame, would otherwise point outside
// the cue or repeat a time. Anything else in angle brackets ("<b>",
// "<v Anna>", a broken time) is text.
void write_cue_text(std::string_view line, const LineContext& context, const RetimedSpan& cue,
                    int& last_tag_ms, LineSink& out) {
  std::size_t copied = 0;
  for (std::size_t open = line.find('<'); open != std::string_view::npos;
       open = line.find('<', open + 1)) {
    VttTime tag;
    if (!read_timestamp(line, open + 1, tag) || tag.end >= line.size() || line[tag.end] != '>') {
      continue;
    }
    int retimed_ms = 0;
    const bool placed = retime_start(context.pipeline, tag.ms, retimed_ms) &&
                        retimed_ms > last_tag_ms && retimed_ms < cue.end_ms;
    if (placed) {
      out.write(line.substr(copied, tag.begin - copied));
      write_time(retimed_ms, tag.has_hours, out);
      last_tag_ms = retimed_ms;
      copied = tag.end;
    } else {
      out.write(line.substr(copied, open - copied));
      copied = tag.end + 1;  // past the '>'
    }
    open = tag.end;
  }
  out.write(line.substr(copied));
}

enum class BlockState {
  BetweenBlocks,    // waiting for the first line of the next block
  Header,           // the WEBVTT line was read: the header block is copied
  AfterIdentifier,  // a cue identifier was read: its timing line should follow
  CueText,          // the cue was written: its text is copied, tags re-timed
  SkipText,         // the cue was dropped: its text and blank line go too
  CopyBlock,        // a block without times, or a cue whose times could not
                    // be read: copied up to its blank line
};

struct BlockWalk {
  BlockState state = BlockState::BetweenBlocks;
  bool first_line = true;
  // The identifier line, written only with a cue that survives.
  std::string identifier;
  int identifier_at = 0;
  RetimedSpan cue;      // of the cue whose text is being copied
  int last_tag_ms = 0;  // the last timestamp tag written in it
};

// A timing line, after an identifier or not: the cue is written re-timed,
// left out, or copied as it was when its times cannot be read.
void start_cue(std::string_view line, bool with_identifier, const LineContext& context,
               BlockWalk& walk, LineSink& out) {
  CueTiming timing;
  if (!read_timing_line(line, timing)) {
    if (with_identifier) out.write(walk.identifier);
    out.mark_unread(out.line_number);
    out.write(line);
    walk.state = BlockState::CopyBlock;
    return;
  }
  RetimedSpan span;
  if (!retime_span(context.pipeline, timing.start.ms, timing.end.ms, span)) {
    ++out.counts.dropped;
    walk.state = BlockState::SkipText;
    return;
  }
  ++out.counts.retimed;
  if (with_identifier) out.write(walk.identifier);
  write_timing_line(line, timing, span, out);
  walk.cue = span;
  walk.last_tag_ms = span.start_ms;
  walk.state = BlockState::CueText;
}

void begin_block(std::string_view line, const LineContext& context, BlockWalk& walk,
                 LineSink& out) {
  if (is_blank_line(line)) {
    // Blank lines between blocks are kept as they are.
    out.write(line);
    walk.state = BlockState::BetweenBlocks;
    return;
  }
  if (has_arrow(line)) {
    start_cue(line, false, context, walk, out);
    return;
  }
  if (is_copied_block_start(line)) {
    out.write(line);
    walk.state = BlockState::CopyBlock;
    return;
  }
  walk.identifier.assign(line);
  walk.identifier_at = out.line_number;
  walk.state = BlockState::AfterIdentifier;
}

// The line after a possible identifier: a timing line makes it a cue; any
// other line makes the block one without times, copied as it was.
void after_identifier(std::string_view line, const LineContext& context, BlockWalk& walk,
                      LineSink& out) {
  if (has_arrow(line)) {
    start_cue(line, true, context, walk, out);
    return;
  }
  out.mark_unread(walk.identifier_at);
  out.write(walk.identifier);
  out.write(line);
  walk.state = is_blank_line(line) ? BlockState::BetweenBlocks : BlockState::CopyBlock;
}

// The header is "WEBVTT" alone or followed by a space or tab and any text.
bool is_signature_line(std::string_view line) {
  if (!line.starts_with(kSignature)) return false;
  if (line.size() == kSignature.size()) return true;
  const char next = line[kSignature.size()];
  return is_blank_or_tab(next) || next == '\n' || next == '\r';
}

void walk_line(std::string_view line, const LineContext& context, BlockWalk& walk, LineSink& out) {
  if (walk.first_line) {
    walk.first_line = false;
    if (line.starts_with(kByteOrderMark)) {
      out.write(kByteOrderMark);
      line.remove_prefix(kByteOrderMark.size());
      // The mark alone, as editors save an empty file: nothing follows.
      if (line.empty()) return;
    }
    // A file without the header still has its cues re-timed.
    if (is_signature_line(line)) {
      out.write(line);
      walk.state = BlockState::Header;
      return;
    }
  }
  switch (walk.state) {
    case BlockState::BetweenBlocks:
      break;
    case BlockState::AfterIdentifier:
      after_identifier(line, context, walk, out);
      return;
    case BlockState::Header:
    case BlockState::CopyBlock:
    case BlockState::CueText:
    case BlockState::SkipText: {
      const bool drops = walk.state == BlockState::SkipText;
      if (is_blank_line(line)) {
        if (!drops) out.write(line);
        walk.state = BlockState::BetweenBlocks;
        return;
      }
      // A timing line within a block begins the next cue.
      if (has_arrow(line)) break;
      if (walk.state == BlockState::CueText) {
        write_cue_text(line, context, walk.cue, walk.last_tag_ms, out);
      } else if (!drops) {
        out.write(line);
      }
      return;
    }
  }
  begin_block(line, context, walk, out);
}

// An identifier at the end of the file belongs to no cue: it stays.
void finish_walk(BlockWalk& walk, LineSink& out) {
  if (walk.state != BlockState::AfterIdentifier) return;
  out.mark_unread(walk.identifier_at);
  out.write(walk.identifier);
}

}  // namespace

void rewrite_vtt_lines(TextReader& in, const LineContext& context, LineSink& out) {
  stream_lines<BlockWalk, walk_line, finish_walk>(in, context, out);
}

namespace {

// The reader's walk over the blocks: the header and the NOTE, STYLE and
// REGION blocks are passed over, cues are collected with their text.
enum class ReadState { Between, SkipBlock, AfterIdentifier, Text };

struct VttReading {
  ReadState state = ReadState::Between;
  int identifier_at = 0;
};

void begin_cue(std::string_view line, CueFile& file, VttReading& reading, LineSink& out) {
  CueTiming timing;
  if (!read_timing_line(line, timing)) {
    out.mark_unread(out.line_number);
    reading.state = ReadState::SkipBlock;
    return;
  }
  Cue& cue = file.cues.emplace_back();
  cue.start = timing.start.ms;
  cue.end = timing.end.ms;
  // Cue settings ("align:start position:10%") place the cue.
  const std::string_view settings = without_line_end(line.substr(timing.end.end));
  if (settings.find_first_not_of(" \t") != std::string_view::npos) ++cue.losses.positions;
  reading.state = ReadState::Text;
}

void read_vtt_line(std::string_view line, CueFile& file, VttReading& reading, LineSink& out) {
  const bool blank = is_blank_line(line);
  switch (reading.state) {
    case ReadState::Text:
    case ReadState::SkipBlock:
      if (blank) {
        reading.state = ReadState::Between;
        return;
      }
      // A timing line within a block begins the next cue.
      if (has_arrow(line)) break;
      if (reading.state == ReadState::Text) {
        Cue& cue = file.cues.back();
        if (!cue.pieces.empty()) cue.add(CuePiece::Kind::Break);
        read_html_text(without_line_end(line), true, cue);
      }
      return;
    case ReadState::AfterIdentifier:
      if (has_arrow(line)) break;
      out.mark_unread(reading.identifier_at);
      reading.state = blank ? ReadState::Between : ReadState::SkipBlock;
      return;
    case ReadState::Between:
      if (blank) return;
      if (has_arrow(line)) break;
      if (is_copied_block_start(line)) {
        reading.state = ReadState::SkipBlock;
      } else {
        reading.state = ReadState::AfterIdentifier;
        reading.identifier_at = out.line_number;
      }
      return;
  }
  begin_cue(line, file, reading, out);
}

}  // namespace

void read_vtt_cues(TextReader& in, CueFile& file, LineSink& out) {
  VttReading reading;
  std::string_view line;
  while (in.next_line(line)) {
    if (++out.line_number == 1) {
      line = note_first_line(line, file);
      if (line.empty()) continue;
      // The header block says nothing a cue needs.
      if (is_signature_line(line)) {
        reading.state = ReadState::SkipBlock;
        continue;
      }
    }
    read_vtt_line(line, file, reading, out);
  }
  if (reading.state == ReadState::AfterIdentifier) out.mark_unread(reading.identifier_at);
}

void write_vtt_cues(const CueWriting& writing, LineSink& out) {
  constexpr int kHoursWidth = 2;
  constexpr int kMillisecondsWidth = 3;
  const std::string_view line_end = writing.file.line_end;
  write_byte_order_mark(writing.file, out);
  out.write(kSignature);
  out.write(line_end);
  out.write(line_end);
  for (const WrittenCue& written : writing.cues) {
    char header[kTimeBufferBytes * 2];
    char* end = append_time(header, millisecond_fields(static_cast<int>(written.start)),
                            kHoursWidth, '.', kMillisecondsWidth);
    for (const char c : std::string_view(" --> ")) *end++ = c;
    end = append_time(end, millisecond_fields(static_cast<int>(written.end)), kHoursWidth, '.',
                      kMillisecondsWidth);
    out.write(std::string_view(header, static_cast<std::size_t>(end - header)));
    out.write(line_end);
    write_html_text(*written.cue, true, line_end, out, writing.dropped);
    // Every cue ends with its blank line, the last one too.
    out.write(line_end);
    out.write(line_end);
  }
}

}  // namespace mendra
