// TMPGEnc keyframe lists: one frame number per line. Every line counts,
// blank or not (a line without digits is frame 0), and a line longer than
// the piece size arrives as several values.
#include <cstdio>
#include <string>

#include "cutlist/cut_list.h"
#include "cutlist/cut_readers.h"
#include "util/int_math.h"
#include "util/scan.h"

namespace mendra {
namespace {

bool read_value(TextReader& file, std::string& piece, std::int32_t& value) {
  if (!file.read_piece(piece, kCutListPieceBytes)) return false;
  value = parse_atoi(piece);
  return true;
}

}  // namespace

int choose_key_pairing(TextReader& file, const RunSettings& settings) {
  std::string piece;
  std::int32_t previous = 0;
  int kind = KeyAuto;
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
    kind = odd_sum > even_sum ? KeyEven : KeyOdd;  // a tie chooses Odd
    settings.log_debug(stderr, " [key]\to:%d\te:%d\t >> auto select:%d\n", odd_sum, even_sum, kind);
  }
  // The chosen reader reads the file again from line 1.
  file.rewind();
  return kind;
}

void read_keyframe_list(CutListContext& context, int kind) {
  const RunSettings& settings = context.settings;
  CutCounters& counters = context.counters;
  std::string piece;
  std::int32_t slots[2] = {0, 0};
  int slot_index = 0;
  std::int32_t value = 0;
  std::int32_t previous_end = 0;

  if (kind == KeyOdd) {
    settings.log_info(stderr, " [key]\t1 : Odd\n");
    read_value(context.file, piece, value);  // line 1 is not part of any pair
  } else if (kind == KeyEven) {
    settings.log_info(stderr, " [key]\t2 : Even\n");
    // Line 1 is the first kept frame itself; stored as the frame before it,
    // it pairs like the start value of every later range.
    if (read_value(context.file, piece, value)) {
      slots[0] = wrap_sub(value, 1);
      slot_index = 1;
    }
  } else {
    settings.log_info(stderr, " [key]\t3\n");
    previous_end = -1;
  }

  while (read_value(context.file, piece, value)) {
    slots[slot_index] = value;
    slot_index ^= 1;
    if (slot_index != 0) continue;  // a pair is handled once slot 1 is filled
    const std::int32_t s = slots[0];
    const std::int32_t e = slots[1];
    if (kind == KeyRanges) {
      // s and e are the first and last kept frame.
      context.map.push_back(wrap_sub(s, 1));
      context.map.push_back(wrap_add(e, 1));
      settings.log_debug(stderr, "\t  cut:\ts=%d\te=%d\n", s, e);
      counters.kept_frames = wrap_add(counters.kept_frames, wrap_add(wrap_sub(e, s), 1));
      counters.cut_frames = wrap_add(counters.cut_frames, wrap_sub(wrap_sub(s, 1), previous_end));
    } else {
      // s and e are the deleted frames on either side of the kept range.
      context.map.push_back(s);
      context.map.push_back(e);
      settings.log_debug(stderr, "\t  cut:\ts=%d\te=%d\n", wrap_add(s, 1), wrap_sub(e, 1));
      counters.kept_frames = wrap_add(counters.kept_frames, wrap_sub(wrap_sub(e, s), 1));
      counters.cut_frames = wrap_add(counters.cut_frames, wrap_sub(wrap_add(s, 1), previous_end));
    }
    previous_end = e;
  }
  // A value left without a partner is ignored.
  settings.log_debug(stderr, "\n");
}

}  // namespace mendra
