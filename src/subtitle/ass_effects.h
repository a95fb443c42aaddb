// Override tags timed from an event's start, kept in step when the start
// moves later to a cut point. A Dialogue line whose start lay in deleted
// material begins at the cut point; the tags that count from the start
// would otherwise replay, from the new start, what was cut. They lose the
// time cut instead:
//
//   \k \kf \K \ko  karaoke, in centiseconds over the whole line: the part of
//                  the syllables before the cut is dropped, a syllable
//                  wholly cut becomes 0, one the cut ends in keeps the rest;
//   \fad(in,out)   the fade-in is shortened (0 when the cut exceeds it), as
//                  \fade(in,out);
//   \fade(a1,a2,a3,t1,t2,t3,t4), \t(t1,t2,...), \move(x1,y1,x2,y2,t1,t2)
//                  the times move earlier, held at 0; a \move the cut falls
//                  inside starts from the position it had reached, and one
//                  the cut has finished stays at its end position;
//   \move(x1,y1,x2,y2)  (or times 0,0: the whole event) starts from the
//                  position it had reached at the cut point, so it keeps its
//                  path and speed when the end did not move.
//
// A \t without times (or 0,0) spans the event as it now stands and is left
// as it is: like a timed \t the cut reached into, it runs from the new
// start and completes where it did. A \t the cut has finished would read
// 0,0, which renderers take for the whole event; it keeps 1 ms instead and
// so completes at once. Text outside override blocks, unknown tags, tags
// nested in a \t and any tag whose arguments are not as above (decimals
// where whole numbers are due, a missing parenthesis, the wrong count) are
// left byte for byte; after a karaoke value that is not a whole number of
// centiseconds, or a \kt, the syllable times are no longer known and the
// later karaoke tags are left too.
#pragma once

#include <string>
#include <string_view>

namespace mendra {

// How far the start moved beyond where the original start would lie in the
// cut video, in each unit the tags count (see moved_start_shift), and the
// event's duration as the input gives it, over which a \move without times
// runs.
struct EffectShift {
  int ms = 0;
  int cs = 0;
  int event_ms = 0;
};

// `text` is the Dialogue line's text field (a line end may follow it).
// Writes the text with its tags shifted into `out` and returns true; returns
// false, `out` untouched, when no tag changes.
bool shift_effects(std::string_view text, const EffectShift& shift, std::string& out);

}  // namespace mendra
