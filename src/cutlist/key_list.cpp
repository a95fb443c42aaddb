// TMPGEnc keyframe lists: one frame number per line. Every line counts,
// blank or not (a line without digits is frame 0), and a line longer than
// the piece size arrives as several values. A line that holds anything but
// a plain frame number ("3.33,6.67" of a CSV given by mistake) is counted
// as unread; a list in which no line is a frame number is no keyframe list
// at all and is refused.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "cutlist/cut_list.h"
#include "cutlist/cut_readers.h"
#include "util/int_math.h"
#include "util/line_tally.h"
#include "util/scan.h"

namespace mendra {
namespace {

bool read_value(TextReader& file, std::string& piece, std::int32_t& value) {
  if (!file.read_piece(piece, kCutListPieceBytes)) return false;
  value = parse_atoi(piece);
  return true;
}

// Digits alone, perhaps with blanks and the line end around them: what
// TMPGEnc writes.
bool is_plain_frame_number(std::string_view piece) {
  std::size_t at = 0;
  while (at < piece.size() && is_blank(piece[at])) ++at;
  const std::size_t digits = at;
  while (at < piece.size() && is_digit(piece[at])) ++at;
  if (at == digits) return false;
  while (at < piece.size() && is_blank(piece[at])) ++at;
  return at == piece.size();
}

// The values of a list, one piece at a time, noting the pieces that hold
// text but no plain frame number.
struct KeyValues {
  TextReader& file;
  std::string piece;
  int piece_number = 0;
  LineTally unreadable;
  bool any_number = false;

  bool next(std::int32_t& value) {
    if (!read_value(file, piece, value)) return false;
    ++piece_number;
    if (is_plain_frame_number(piece)) {
      any_number = true;
    } else if (!std::ranges::all_of(piece, is_blank)) {
      unreadable.add(piece_number);
    }
    return true;
  }
};

}  // namespace

CutListKind choose_key_pairing(TextReader& file, const Log& log) {
  std::string piece;
  std::int32_t previous = 0;
  CutListKind kind = CutListKind::KeyAuto;
  if (read_value(file, piece, previous)) {
    // Odd lists pair (x2, x3), (x4, x5), ...: a kept range lies between the
    // even-numbered value and the next, so the even steps are the long ones.
    // Even lists pair the other way round. The sums compare the two kinds of
    // steps; -2 per odd step allows for the two boundary frames that the Odd
    // pairing excludes.
    std::int32_t odd_sum = 0;
    std::int32_t even_sum = 0;
    std::int32_t value = 0;
    for (long long line = 2; read_value(file, piece, value); ++line) {
      const std::int32_t step = wrap_sub(value, previous);
      if (line % 2 == 0) {
        odd_sum = wrap_add(odd_sum, step);
      } else {
        even_sum = wrap_add(even_sum, wrap_sub(step, 2));
      }
      previous = value;
    }
    kind = odd_sum > even_sum ? CutListKind::KeyEven : CutListKind::KeyOdd;  // a tie chooses Odd
    log(LogLevel::Debug, " [key]\to:%d\te:%d\t >> auto select:%d\n", odd_sum, even_sum,
        static_cast<int>(kind));
  }
  // The chosen reader reads the file again from line 1.
  rewind_list(file);
  return kind;
}

namespace {

// How the values of a keyframe list pair into kept ranges.
enum class KeyPairing {
  Odd,     // line 1 is skipped; (x2, x3), (x4, x5), ... are the deleted frames around a kept range
  Even,    // line 1 is the first kept frame; then as Odd from line 2
  Ranges,  // (x1, x2), (x3, x4), ... are the first and last kept frames
};

// `label` is the trace line of the kind read, which under the automatic
// choice is not the kind the list was given as.
bool read_keyframe_list(CutListContext& context, KeyPairing pairing, const char* label) {
  const Log& log = context.log;
  KeyValues values{context.file, {}, 0, {}, false};
  std::int32_t slots[2] = {0, 0};
  int slot_index = 0;
  std::int32_t value = 0;

  announce_kind(log, label);
  if (pairing == KeyPairing::Odd) {
    values.next(value);  // line 1 is not part of any pair
  } else if (pairing == KeyPairing::Even) {
    // Line 1 is the first kept frame itself; stored as the frame before it,
    // it pairs like the start value of every later range.
    if (values.next(value)) {
      slots[0] = wrap_sub(value, 1);
      slot_index = 1;
    }
  }

  while (values.next(value)) {
    slots[slot_index] = value;
    slot_index ^= 1;
    if (slot_index != 0) continue;  // a pair is handled once slot 1 is filled
    std::int32_t first = slots[0];
    std::int32_t last = slots[1];
    if (pairing != KeyPairing::Ranges) {
      // The pair holds the deleted frames on either side of the kept range,
      // which the builder turns back into exactly these two map values.
      first = wrap_add(first, 1);
      last = wrap_sub(last, 1);
    }
    log(LogLevel::Debug, "\t  cut:\ts=%d\te=%d\n", first, last);
    // A range that ends before it begins keeps no frame; in the map it
    // would count frames backwards and move the times around it.
    if (last >= first) context.builder.add_kept(first, last);
  }
  // A value left without a partner is ignored.
  log(LogLevel::Debug, "\n");
  context.lines.any_read = values.any_number;
  context.lines.unread = values.unreadable;
  return true;
}

}  // namespace

bool read_key_auto(CutListContext& context) {
  switch (choose_key_pairing(context.file, context.log)) {
    case CutListKind::KeyOdd:
      return read_keyframe_list(context, KeyPairing::Odd,
                                find_cut_list_kind(CutListKind::KeyOdd)->label);
    case CutListKind::KeyEven:
      return read_keyframe_list(context, KeyPairing::Even,
                                find_cut_list_kind(CutListKind::KeyEven)->label);
    default:  // the file has no line to choose from: nothing is read
      return true;
  }
}

bool read_key_odd(CutListContext& context) {
  return read_keyframe_list(context, KeyPairing::Odd, context.label);
}

bool read_key_even(CutListContext& context) {
  return read_keyframe_list(context, KeyPairing::Even, context.label);
}

bool read_key_ranges(CutListContext& context) {
  return read_keyframe_list(context, KeyPairing::Ranges, context.label);
}

}  // namespace mendra
