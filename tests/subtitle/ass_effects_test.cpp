#include "subtitle/ass_effects.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "subtitle/retime.h"
#include "time/pipeline.h"

namespace mendra {
namespace {

struct EffectCase {
  const char* name;
  const char* text;
  EffectShift shift;
  const char* expected;  // nullptr: unchanged
};

void PrintTo(const EffectCase& c, std::ostream* os) {
  *os << c.name;
}

std::string name_of(const ::testing::TestParamInfo<EffectCase>& param) {
  return param.param.name;
}

class ShiftEffectsTest : public ::testing::TestWithParam<EffectCase> {};

TEST_P(ShiftEffectsTest, TagsLoseTheTimeCut) {
  const EffectCase& c = GetParam();
  std::string out = "untouched";
  const bool changed = shift_effects(c.text, c.shift, out);
  if (c.expected == nullptr) {
    EXPECT_FALSE(changed);
    EXPECT_EQ(out, "untouched");
  } else {
    EXPECT_TRUE(changed);
    EXPECT_EQ(out, c.expected);
  }
}

// Shifts: {ms, cs, event_ms}.
INSTANTIATE_TEST_SUITE_P(
    Tags, ShiftEffectsTest,
    ::testing::Values(
        // Karaoke over the whole line, every kind, across blocks: wholly cut
        // syllables go to 0, the one the cut ends in keeps the rest.
        EffectCase{"KaraokeAcrossBlocks",
                   "{\\k100\\kf150}A{\\K200}B{\\ko300}C\r\n",
                   {3000, 300, 9000},
                   "{\\k0\\kf0}A{\\K150}B{\\ko300}C\r\n"},
        EffectCase{"KaraokeCutOnBoundary", "{\\k50}A{\\k50}B", {500, 50, 9000}, "{\\k0}A{\\k50}B"},
        EffectCase{"KaraokeBeyondAll", "{\\k5}A{\\kf7}B", {2000, 200, 9000}, "{\\k0}A{\\kf0}B"},
        EffectCase{"KaraokeWithOtherTags",
                   "{\\b1\\k40\\i1}A{\\c&H0000FF&\\k40}B",
                   {600, 60, 9000},
                   "{\\b1\\k0\\i1}A{\\c&H0000FF&\\k20}B"},
        EffectCase{"KaraokeLeadingZeros", "{\\k007}A{\\k020}B", {100, 10, 9000}, "{\\k0}A{\\k17}B"},
        // A few milliseconds move the timed tags but no whole centisecond.
        EffectCase{
            "MillisecondsOnly", "{\\k10\\fad(200,0)}A", {4, 0, 9000}, "{\\k10\\fad(196,0)}A"},
        // Not whole centiseconds, or \kt: later syllable times are unknown.
        EffectCase{"KaraokeDecimalStops", "{\\k12.5}A{\\k100}B", {300, 30, 9000}, nullptr},
        EffectCase{"KaraokeNegativeStops", "{\\k-5}A{\\k100}B", {300, 30, 9000}, nullptr},
        EffectCase{
            "KaraokeKtStops", "{\\k20}A{\\kt50\\k100}B", {300, 30, 9000}, "{\\k0}A{\\kt50\\k100}B"},
        EffectCase{"KaraokeHugeStops", "{\\k99999999999}A{\\k1}B", {300, 30, 9000}, nullptr},
        // \fad: the fade-in is shortened, to 0 when the cut exceeds it.
        EffectCase{"FadShortened", "{\\fad(500,300)}A", {200, 20, 9000}, "{\\fad(300,300)}A"},
        EffectCase{"FadBeyondFadeIn", "{\\fad(500,300)}A", {800, 80, 9000}, "{\\fad(0,300)}A"},
        EffectCase{"FadeTwoArgs", "{\\fade(500,300)}A", {200, 20, 9000}, "{\\fade(300,300)}A"},
        EffectCase{
            "FadBlanksKept", "{\\fad( 500 , 300 )}A", {200, 20, 9000}, "{\\fad( 300 , 300 )}A"},
        // \fade with seven arguments: the four times move, held at 0.
        EffectCase{"FadeSeven",
                   "{\\fade(255,0,255,0,400,2000,2500)}A",
                   {1000, 100, 9000},
                   "{\\fade(255,0,255,0,0,1000,1500)}A"},
        // \t with times: shifted and held at 0; finished: 0,1.
        EffectCase{"TransformShifted",
                   "{\\t(1000,2000,\\frz30)}A",
                   {300, 30, 9000},
                   "{\\t(700,1700,\\frz30)}A"},
        EffectCase{"TransformCutInside",
                   "{\\t(100,2000,0.5,\\fs50\\c&HFF&)}A",
                   {300, 30, 9000},
                   "{\\t(0,1700,0.5,\\fs50\\c&HFF&)}A"},
        EffectCase{
            "TransformFinished", "{\\t(0,200,\\frz30)}A", {300, 30, 9000}, "{\\t(0,1,\\frz30)}A"},
        EffectCase{"TransformNestedTagsUntouched",
                   "{\\t(500,900,\\clip(0,0,10,10)\\k50)\\k50}A",
                   {300, 30, 9000},
                   "{\\t(200,600,\\clip(0,0,10,10)\\k50)\\k20}A"},
        // \t without times spans the event as it now stands.
        EffectCase{"TransformNoTimes", "{\\t(\\frz30)}A", {300, 30, 9000}, nullptr},
        EffectCase{"TransformAccelOnly", "{\\t(2,\\frz30)}A", {300, 30, 9000}, nullptr},
        EffectCase{"TransformZeroTimes", "{\\t(0,0,\\frz30)}A", {300, 30, 9000}, nullptr},
        // \move with times: before, inside and after the move.
        EffectCase{"MoveShifted",
                   "{\\move(0,0,100,50,1000,2000)}A",
                   {400, 40, 9000},
                   "{\\move(0,0,100,50,600,1600)}A"},
        EffectCase{"MoveCutInside",
                   "{\\move(10,-20,110,80,1000,3000)}A",
                   {1500, 150, 9000},
                   "{\\move(35,5,110,80,0,1500)}A"},
        EffectCase{"MoveDecimalsInterpolated",
                   "{\\move(0.5,0,1,1,0,3)}A",
                   {1, 0, 9000},
                   "{\\move(0.667,0.333,1,1,0,2)}A"},
        EffectCase{"MoveFinished",
                   "{\\move(0,0,100.5,-50,0,1000)}A",
                   {1500, 150, 9000},
                   "{\\move(100.5,-50,100.5,-50,0,0)}A"},
        // \move over the whole event starts where it had got to.
        EffectCase{"MoveWholeEvent",
                   "{\\move(0,0,400,100)}A",
                   {1000, 100, 4000},
                   "{\\move(100,25,400,100)}A"},
        EffectCase{"MoveZeroTimesIsWholeEvent",
                   "{\\move(0,0,400,100,0,0)}A",
                   {1000, 100, 4000},
                   "{\\move(100,25,400,100,0,0)}A"},
        EffectCase{
            "MoveWholeEventWithoutDuration", "{\\move(0,0,400,100)}A", {1000, 100, 0}, nullptr},
        // Text outside blocks, comments and other tags stay as they are.
        EffectCase{"NoBlocks", "\\k100 \\fad(500,0) text", {300, 30, 9000}, nullptr},
        EffectCase{"CommentAndOtherTags",
                   "{note \\fade}{\\pos(1,2)\\fn Arial\\fs20}A",
                   {300, 30, 9000},
                   nullptr},
        EffectCase{"ShortFadeTagNames",
                   "{\\fadx(500,0)\\moved(0,0,1,1,500,900)}A",
                   {300, 30, 9000},
                   nullptr},
        // Malformed: byte for byte, and nothing after it is misread.
        EffectCase{"FadWrongCount", "{\\fad(500)}A", {300, 30, 9000}, nullptr},
        EffectCase{"FadDecimal", "{\\fad(500.5,0)}A", {300, 30, 9000}, nullptr},
        EffectCase{"FadeSixArgs", "{\\fade(255,0,255,0,400,2000)}A", {300, 30, 9000}, nullptr},
        EffectCase{"MoveFiveArgs", "{\\move(0,0,1,1,500)}A", {300, 30, 9000}, nullptr},
        EffectCase{"MoveBadCoordinate", "{\\move(a,0,1,1,500,900)}A", {300, 30, 9000}, nullptr},
        EffectCase{"MoveTimesReversed", "{\\move(0,0,1,1,900,500)}A", {300, 30, 9000}, nullptr},
        EffectCase{"MissingParenthesis", "{\\fad(500,0\\k50}A", {300, 30, 9000}, nullptr},
        EffectCase{"TransformUnclosed",
                   "{\\t(500,900,\\frz(3}A{\\k50}B",
                   {300, 30, 9000},
                   "{\\t(500,900,\\frz(3}A{\\k20}B"},
        EffectCase{"UnclosedBlock", "{\\fad(500,0)", {300, 30, 9000}, nullptr},
        EffectCase{"EmptyParentheses", "{\\t()\\move()\\fade()\\fad()}A", {300, 30, 9000}, nullptr},
        EffectCase{"BackslashAtBlockEnd", "{\\}{\\k\\k50}A", {300, 30, 9000}, "{\\}{\\k\\k20}A"}),
    name_of);

// The shift of a start moved to a cut point, from the exact times: frames
// 100..199 and 300..399 kept at 30000/1001. A start at 8.000 s lies in
// deleted frame 239; the cut point, source frame 300 at 10010 ms, is
// 3336.67 ms into the cut video, written 3.33 (rounded down at a cut). The
// original start would lie 2010 ms before the cut point, at 1326.67 ms: the
// written start is 2003.33 ms later, 2003 ms or 200 cs.
TEST(MovedStartShiftTest, WrittenStartLessTheOriginalStartOnTheCutTimeLine) {
  const CutMap map = {-1, 99, 200, 299, 400, -1, -1};
  Timing timing;
  timing.clock = constant_clock(FrameRate{30000, 1001});
  const TimePipeline pipeline = make_time_pipeline(map, timing);
  RetimedSpan span;
  ASSERT_TRUE(retime_span(pipeline, 8000, 13000, span));
  const int written_cs = written_time(pipeline, span.start, TimePrecision::Centiseconds);
  EXPECT_EQ(written_cs, 333);
  const StartShift shift = moved_start_shift(pipeline, span.start, std::int64_t{written_cs} * 10);
  EXPECT_EQ(shift.ms, 2003);
  EXPECT_EQ(shift.cs, 200);

  // A delay moves both the written and the original start: the shift stays.
  Timing delayed = timing;
  delayed.delay_ms = 500;
  const TimePipeline delayed_pipeline = make_time_pipeline(map, delayed);
  ASSERT_TRUE(retime_span(delayed_pipeline, 8000, 13000, span));
  const int delayed_cs = written_time(delayed_pipeline, span.start, TimePrecision::Centiseconds);
  EXPECT_EQ(delayed_cs, 383);
  EXPECT_EQ(moved_start_shift(delayed_pipeline, span.start, std::int64_t{delayed_cs} * 10).ms,
            2003);

  // A kept start did not move: no shift.
  ASSERT_TRUE(retime_span(pipeline, 5000, 6000, span));
  EXPECT_EQ(moved_start_shift(pipeline, span.start, 1660).ms, 0);
}

}  // namespace
}  // namespace mendra
