// AviSynth scripts: the kept ranges are the Trim calls, in file order. The
// script is not parsed as AviSynth: it is scanned one character at a time,
// comments are skipped, every "Trim" followed by '(' starts a call, and each
// argument is the text of its digits, operators and parentheses, reduced by
// eval_trim_expr.
#include <cstdio>
#include <string>
#include <string_view>

#include "cutlist/cut_readers.h"
#include "cutlist/trim_expr.h"
#include "util/int_math.h"
#include "util/scan.h"

namespace mendra {
namespace {

// An argument text keeps at most this many characters; the characters that
// follow are dropped, while their parentheses still count toward the depth
// and a ',' or the closing ')' still ends the argument. This bounds the work
// of eval_trim_expr for a script with a pathological argument; real Trim
// arguments are a few characters long.
constexpr std::size_t kMaxArgumentChars = 255;

bool is_argument_char(int c) {
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '*' || c == '%';
}

// Skips a block comment whose "/*" has been read. The character after a '*'
// is consumed unexamined, so "**/" does not end the comment. False when the
// file ends first.
bool skip_block_comment(TextReader& file) {
  for (;;) {
    const int c = file.get();
    if (c == EOF) return false;
    if (c != '*') continue;
    const int follower = file.get();
    if (follower == EOF) return false;
    if (follower == '/') return true;
  }
}

int lower_ascii(int c) {
  return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

void append_argument_char(std::string& text, int c) {
  if (text.size() < kMaxArgumentChars) text.push_back(static_cast<char>(c));
}

std::int32_t evaluate_argument(std::string& text, const Log& log) {
  eval_trim_expr(text, log);
  const std::int32_t value = parse_atoi(text);
  text.clear();
  return value;
}

// Adds the kept range of a closed call.
void close_call(CutListContext& context, std::int32_t s, std::int32_t e) {
  context.lines.any_read = true;
  // An end of 0 means the end of the clip, so the range stays open.
  if (e == 0) {
    context.log(LogLevel::Debug, "\t Trim:\ts=%d\te=%d\n", s, kOpenEndFrame);
    context.builder.add_kept_to_end(s);
    return;
  }
  // A range that ends before it begins keeps no frame; among the ranges
  // used in their order it would still move the times of the others.
  const bool keeps_nothing = e > 0 && e < s;
  // A negative end is a frame count: the range holds -e frames from s.
  if (e < 0) e = wrap_sub(wrap_sub(s, e), 1);
  context.log(LogLevel::Debug, "\t Trim:\ts=%d\te=%d\n", s, e);
  if (!keeps_nothing) context.builder.add_kept(s, e);
}

// Reads one call after its "Trim". Returns false when the file ends first;
// an unfinished call appends nothing.
bool read_trim_call(CutListContext& context) {
  TextReader& file = context.file;
  const Log& log = context.log;
  // Up to the call's '(', whatever lies between (comments and line ends
  // included).
  for (;;) {
    const int c = file.get();
    if (c == EOF) return false;
    if (c == '(') break;
  }

  // Slot 0 is the first frame, slot 1 the last frame or a negative frame
  // count; later arguments are evaluated and dropped. Both slots start at 0
  // for every call, so a call that gives no end (or nothing at all) reads a
  // missing value as 0, like an explicit 0, instead of inheriting a value
  // from the previous call.
  std::int32_t slots[2] = {0, 0};
  std::size_t slot_index = 0;
  // 64 bits: no script can hold enough '(' to overflow it.
  long long depth = 1;
  std::string text;
  int c = file.get();
  for (;;) {
    if (c == EOF) return false;
    if (c == '/') {
      const int next = file.get();
      if (next == EOF) return false;
      if (next == '*') {
        if (!skip_block_comment(file)) return false;
        c = file.get();
        continue;
      }
      // A lone '/' is the division operator; the character after it is then
      // handled like any other.
      append_argument_char(text, '/');
      c = next;
      continue;
    }
    if (is_argument_char(c)) {
      append_argument_char(text, c);
    } else if (c == '(') {
      append_argument_char(text, c);
      ++depth;
    } else if (c == ')') {
      if (--depth > 0) {
        append_argument_char(text, c);
      } else {
        // The last argument is taken as it is: a negative end is a count.
        const std::int32_t value = evaluate_argument(text, log);
        if (slot_index < 2) slots[slot_index] = value;
        close_call(context, slots[0], slots[1]);
        return true;
      }
    } else if (c == ',') {
      // An argument that a comma ends reads a negative value as 0.
      std::int32_t value = evaluate_argument(text, log);
      if (value < 0) value = 0;
      if (slot_index < 2) slots[slot_index++] = value;
    }
    // Anything else (white space, line ends, letters, '.', '#', quotes) is
    // ignored inside a call.
    c = file.get();
  }
}

// Reads on after a '_' that begins a line; true when the line begins with
// "__END__", otherwise the characters after the '_' are put back.
bool at_end_marker(TextReader& file) {
  static constexpr std::string_view kRest = "_END__";
  int read[kRest.size()];
  std::size_t count = 0;
  while (count < kRest.size()) {
    const int c = file.get();
    read[count++] = c;
    if (c != static_cast<unsigned char>(kRest[count - 1])) {
      while (count > 0) file.unget(read[--count]);
      return false;
    }
  }
  return true;
}

}  // namespace

bool read_avs_trim(CutListContext& context) {
  announce_kind(context.log, context.label);
  TextReader& file = context.file;
  std::string comment;
  // A line that begins with "__END__" ends the script: what follows is not
  // script text.
  bool line_start = true;
  for (;;) {
    const int c = file.get();
    if (c == EOF) break;
    const bool first_of_line = line_start;
    line_start = c == '\n';
    if (c == '_' && first_of_line) {
      if (at_end_marker(file)) break;
    } else if (c == '#') {
      // A comment runs to the line end, read as one piece of at most 255
      // characters; the rest of a longer comment line is scanned as script.
      if (!file.read_piece(comment, kCutListPieceBytes)) break;
      line_start = comment.back() == '\n';
    } else if (c == '/') {
      // The character after a '/' is consumed unexamined unless it opens a
      // block comment, so a Trim right after a '/' is missed.
      const int next = file.get();
      if (next == '*' && !skip_block_comment(file)) break;
      line_start = next == '\n';
    } else if (c == 'T' || c == 't') {
      // Look ahead for "rim" in any case, as AviSynth names are; on any
      // other text go back to just after the 'T'. Whatever precedes the 'T'
      // does not matter, so a Trim inside a longer name or a string starts a
      // call as well.
      const int r = file.get();
      const int i = file.get();
      const int m = file.get();
      if (r == EOF || i == EOF || m == EOF) break;
      if (lower_ascii(r) == 'r' && lower_ascii(i) == 'i' && lower_ascii(m) == 'm') {
        if (!read_trim_call(context)) break;
      } else {
        file.unget(m);
        file.unget(i);
        file.unget(r);
      }
    }
  }
  context.log(LogLevel::Debug, "\n");
  return true;
}

}  // namespace mendra
