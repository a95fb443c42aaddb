#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "cut_list_fixture.h"
#include "support/remap_scan.h"

namespace mendra {
namespace {

using enum CutListKind;

using test::calc_trace;
using test::CutListOutcome;
using test::number_trace;
using test::summary_text;
using test::zero_summary;

std::string trim_trace(int s, int e) {
  return "\t Trim:\ts=" + std::to_string(s) + "\te=" + std::to_string(e) + "\n";
}

// A call whose end is 0 runs to the end of the clip: the trace shows the
// last frame the map can hold.
std::string open_end_trace(int s) {
  return trim_trace(s, 2147483646);
}

constexpr std::int32_t kOpenEndValue = 2147483647;  // last + 1 of an open range

const std::string kOrderWarning = "warning: kept ranges out of order or overlapping in <memory>\n";

class AvsTrimTest : public test::CutListTest {
 protected:
  CutListOutcome read_script(const std::string& script) { return read_text(script, AvsTrim); }
};

TEST_F(AvsTrimTest, TwoCallsWithFrameCount) {
  const CutListOutcome out = read_script("Trim(0,100) ++ Trim(200,-50)\n");
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, 101, 199, 250, -1, -1}));
  EXPECT_EQ(out.log, " [avs]\n" + number_trace("0") + number_trace("100") + trim_trace(0, 100) +
                         number_trace("200") + number_trace("-50") + trim_trace(200, 249) + "\n" +
                         summary_text(151, "00:00:05.038", 99, "00:00:03.303"));
}

TEST_F(AvsTrimTest, CrLfScriptReadsLikeLfScript) {
  const CutListOutcome out = read_script(
      "# Trim(1,2)\r\n"
      "AviSource(\"a.avi\")\r\n"
      "Trim(0,\r\n100) ++ Trim(200,-50)\r\n");
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, 101, 199, 250, -1, -1}));
  EXPECT_EQ(out.log, " [avs]\n" + number_trace("0") + number_trace("100") + trim_trace(0, 100) +
                         number_trace("200") + number_trace("-50") + trim_trace(200, 249) + "\n" +
                         summary_text(151, "00:00:05.038", 99, "00:00:03.303"));
}

// A range that ends before it begins keeps nothing and leaves the others
// as they would be without it: a cue ending in frame 9 still ends there.
TEST_F(AvsTrimTest, EndBeforeStartKeepsNothing) {
  const CutListOutcome out = read_script("Trim(100,1)\n");
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, " [avs]\n" + number_trace("100") + number_trace("1") + trim_trace(100, 1) +
                         "\n" + zero_summary());
  traces_only();
  EXPECT_EQ(read_script("Trim(0,1) ++ Trim(14,13) ++ Trim(7,9)\n").map,
            read_script("Trim(0,1) ++ Trim(7,9)\n").map);
}

TEST_F(AvsTrimTest, EndOfZeroKeepsToTheEndOfTheClip) {
  // The open range counts no kept frames (the clip's length is unknown), the
  // frames before it count as cut.
  const CutListOutcome out = read_script("Trim(300,0)\n");
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 299, kOpenEndValue, -1, -1}));
  EXPECT_EQ(out.log, " [avs]\n" + number_trace("300") + number_trace("0") + open_end_trace(300) +
                         "\n" + summary_text(0, "00:00:00.000", 300, "00:00:10.010"));
  EXPECT_TRUE(keeps_any_frame(out.map));
  EXPECT_EQ(test::remap_frame(out.map, test::FramePosition{1000000, 1}, 1).num, 999700);
  EXPECT_EQ(test::remap_frame(out.map, test::FramePosition{100, 1}, 1).num, 0);
}

TEST_F(AvsTrimTest, BoundedRangeBeforeAnOpenOne) {
  const CutListOutcome out = read_script("Trim(0,99) ++ Trim(200,0)\n");
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, 100, 199, kOpenEndValue, -1, -1}));
  EXPECT_EQ(out.log, " [avs]\n" + number_trace("0") + number_trace("99") + trim_trace(0, 99) +
                         number_trace("200") + number_trace("0") + open_end_trace(200) + "\n" +
                         summary_text(100, "00:00:03.336", 100, "00:00:03.336"));
}

TEST_F(AvsTrimTest, ScriptWithoutTrimIsRefused) {
  const CutListOutcome out = read_script("AviSource(\"a.avi\")\nTri");
  EXPECT_EQ(out.read, CutListRead::Rejected);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, " [avs]\n\nno cuts could be read from <memory> (2 lines, first: line 1)\n" +
                         zero_summary());
}

TEST_F(AvsTrimTest, EmptyScriptSucceedsEmpty) {
  const CutListOutcome out = read_script("");
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, " [avs]\n\n" + zero_summary());
}

// The remaining cases check the map and the parser traces; the summary is
// covered above.
class AvsTrimTraceTest : public AvsTrimTest {
 protected:
  void SetUp() override {
    AvsTrimTest::SetUp();
    traces_only();
  }
};

TEST_F(AvsTrimTraceTest, SpacesLineBreaksAndCommentsBetweenArguments) {
  const CutListOutcome out =
      read_script("Trim( 10 , /* x */ 20 )\nTrim(\n  30,\n  40 /* , 99 */)\n");
  EXPECT_EQ(out.map, (CutMap{-1, 9, 21, 29, 41, -1, -1}));
  EXPECT_EQ(out.log, number_trace("10") + number_trace("20") + trim_trace(10, 20) +
                         number_trace("30") + number_trace("40") + trim_trace(30, 40) + "\n");
}

TEST_F(AvsTrimTraceTest, HashInsideCallStartsNoComment) {
  const CutListOutcome out = read_script("Trim(10, # end 5\n20)\n");
  EXPECT_EQ(out.map, (CutMap{-1, 9, 521, -1, -1}));
  EXPECT_EQ(out.log, number_trace("10") + number_trace("520") + trim_trace(10, 520) + "\n");
}

TEST_F(AvsTrimTraceTest, NegativeFirstArgumentReadsAsZero) {
  const CutListOutcome out = read_script("Trim(-5,10)");
  EXPECT_EQ(out.map, (CutMap{-1, -1, 11, -1, -1}));
  EXPECT_EQ(out.log, number_trace("-5") + number_trace("10") + trim_trace(0, 10) + "\n");
}

TEST_F(AvsTrimTraceTest, NegativeLastArgumentIsAFrameCount) {
  const CutListOutcome out = read_script("Trim(10,-5)");
  EXPECT_EQ(out.map, (CutMap{-1, 9, 15, -1, -1}));
  EXPECT_EQ(out.log, number_trace("10") + number_trace("-5") + trim_trace(10, 14) + "\n");
}

TEST_F(AvsTrimTraceTest, CommentsHideCallsNamesAndStringsDoNot) {
  const CutListOutcome out = read_script(
      "# Trim(1,2)\n"
      "/* Trim(3,4) */\n"
      "x/Trim(5,6)\n"     // the 'T' after a '/' is consumed unexamined
      "MyTrim(7,8)\n"     // inside a longer name: read
      "\"Trim(9,10)\"\n"  // inside a string: read
      "trim(11,12)\n"     // lower case: a call too
      "TTrim(13,14)\n");  // the lookahead goes back to just after the first 'T'
  EXPECT_EQ(out.map, (CutMap{-1, 6, 9, 8, 11, 10, 13, 12, 15, -1, -1}));
  EXPECT_EQ(out.log, number_trace("7") + number_trace("8") + trim_trace(7, 8) + number_trace("9") +
                         number_trace("10") + trim_trace(9, 10) + number_trace("11") +
                         number_trace("12") + trim_trace(11, 12) + number_trace("13") +
                         number_trace("14") + trim_trace(13, 14) + "\n");
}

// AviSynth names are not case-sensitive: every spelling of Trim is a call.
TEST_F(AvsTrimTraceTest, TrimInAnyCaseIsACall) {
  const CutListOutcome out = read_script("trim(963,12433)++TRIM(20000,20099)++tRiM(30000,0)");
  EXPECT_EQ(out.map, (CutMap{-1, 962, 12434, 19999, 20100, 29999, 2147483647, -1, -1}));
}

TEST_F(AvsTrimTraceTest, StarStarSlashDoesNotEndABlockComment) {
  const CutListOutcome out = read_script("/* a **/ Trim(1,2) */ Trim(3,4)");
  EXPECT_EQ(out.map, (CutMap{-1, 2, 5, -1, -1}));
  EXPECT_EQ(out.log, number_trace("3") + number_trace("4") + trim_trace(3, 4) + "\n");
}

TEST_F(AvsTrimTraceTest, UnterminatedBlockCommentEndsTheScan) {
  const CutListOutcome out = read_script("Trim(1,2) /* Trim(3,4)");
  EXPECT_EQ(out.map, (CutMap{-1, 0, 3, -1, -1}));
  EXPECT_EQ(out.log, number_trace("1") + number_trace("2") + trim_trace(1, 2) + "\n");
}

TEST_F(AvsTrimTraceTest, ThreeArgumentsUseTheFirstTwoBothClamped) {
  const CutListOutcome out = read_script("Trim(last, 5, 20)\nTrim(clip, 10, -4)\n");
  EXPECT_EQ(out.map, (CutMap{-1, -1, 6, -1, 11, -1, -1}));
  EXPECT_EQ(out.log, number_trace("") + number_trace("5") + number_trace("20") + trim_trace(0, 5) +
                         number_trace("") + number_trace("10") + number_trace("-4") +
                         trim_trace(0, 10) + "\n" + kOrderWarning);
}

TEST_F(AvsTrimTraceTest, ExpressionArguments) {
  const CutListOutcome out = read_script("Trim(10*3, (1+2)*100)\nTrim(100/2, 600/3)\n");
  EXPECT_EQ(out.map, (CutMap{-1, 29, 301, 49, 201, -1, -1}));
  EXPECT_EQ(out.log, calc_trace("10*3", "10*3", "30") + calc_trace("(1+2)*100", "3*100", "300") +
                         trim_trace(30, 300) + calc_trace("100/2", "100/2", "50") +
                         calc_trace("600/3", "600/3", "200") + trim_trace(50, 200) + "\n" +
                         kOrderWarning);
}

TEST_F(AvsTrimTraceTest, NestedParenthesesStayInTheArgument) {
  const CutListOutcome out = read_script("Trim((5),(2*(3+4)))");
  EXPECT_EQ(out.map, (CutMap{-1, 4, 15, -1, -1}));
  EXPECT_EQ(out.log, calc_trace("(5)", "5", "5") + calc_trace("(2*(3+4))", "14", "14") +
                         trim_trace(5, 14) + "\n");
}

TEST_F(AvsTrimTraceTest, CommaInsideParenthesesEndsTheArgument) {
  // The comma splits "(1" from "2)"; the depth still needs the final ')'.
  const CutListOutcome out = read_script("Trim((1,2))");
  EXPECT_EQ(out.map, (CutMap{-1, -1, 3, -1, -1}));
  EXPECT_EQ(out.log,
            calc_trace("(1", "(1", "(1") + calc_trace("2)", "2", "2") + trim_trace(0, 2) + "\n");
}

TEST_F(AvsTrimTraceTest, SlashBeforeNonStarIsDivision) {
  // A '/' not followed by '*' is collected, and the character after it is
  // handled like any other: in "9//3" the right operand "/3" reads as 0, so
  // the division by zero gives 0, an open end.
  const CutListOutcome out = read_script("Trim(100/(2),9//3)");
  EXPECT_EQ(out.map, (CutMap{-1, 49, kOpenEndValue, -1, -1}));
  EXPECT_EQ(out.log, calc_trace("100/(2)", "100/2", "50") + calc_trace("9//3", "9//3", "0") +
                         open_end_trace(50) + "\n");
}

TEST_F(AvsTrimTraceTest, UnfinishedCallAppendsNothing) {
  const CutListOutcome out = read_script("Trim(0,100)\nTrim(200,3");
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, 101, -1, -1}));
  EXPECT_EQ(out.log, number_trace("0") + number_trace("100") + trim_trace(0, 100) +
                         number_trace("200") + "\n");
}

TEST_F(AvsTrimTraceTest, CallWithoutParenthesisAtEndOfFile) {
  const CutListOutcome out = read_script("Trim(1,2)\nTrim");
  EXPECT_EQ(out.map, (CutMap{-1, 0, 3, -1, -1}));
  EXPECT_EQ(out.log, number_trace("1") + number_trace("2") + trim_trace(1, 2) + "\n");
}

TEST_F(AvsTrimTraceTest, OpeningParenthesisIsFoundAcrossCommentsAndLines) {
  // Everything up to the call's '(' is skipped, line ends included, and a
  // '(' inside a comment counts.
  const CutListOutcome out = read_script("Trim\n\n(1,2)\nTrim # (\n5, 6)\n");
  EXPECT_EQ(out.map, (CutMap{-1, 0, 3, 4, 7, -1, -1}));
  EXPECT_EQ(out.log, number_trace("1") + number_trace("2") + trim_trace(1, 2) + number_trace("5") +
                         number_trace("6") + trim_trace(5, 6) + "\n");
}

TEST_F(AvsTrimTraceTest, MissingArgumentsReadAsZero) {
  // A call that gives no end reads it as 0, whatever an earlier call
  // stored: an open end.
  const CutListOutcome out = read_script("Trim(0,100) Trim(300) Trim()");
  EXPECT_EQ(out.map, (CutMap{-1, -1, 101, 299, kOpenEndValue, -1, kOpenEndValue, -1, -1}));
  EXPECT_EQ(out.log, number_trace("0") + number_trace("100") + trim_trace(0, 100) +
                         number_trace("300") + open_end_trace(300) + number_trace("") +
                         open_end_trace(0) + "\n" + kOrderWarning);
}

TEST_F(AvsTrimTraceTest, LongCommentLineRestIsScannedAsScript) {
  // '#' and 255 more characters make the comment; "Trim(1,2)" after them is
  // script. One character less and the 'T' falls into the comment.
  const std::string caught = std::string(1, '#') + std::string(255, 'x') + "Trim(1,2)\n";
  CutListOutcome out = read_script(caught);
  EXPECT_EQ(out.map, (CutMap{-1, 0, 3, -1, -1}));
  EXPECT_EQ(out.log, number_trace("1") + number_trace("2") + trim_trace(1, 2) + "\n");

  const std::string hidden = std::string(1, '#') + std::string(254, 'x') + "Trim(1,2)\n";
  out = read_script(hidden);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, "\n");
}

TEST_F(AvsTrimTraceTest, LongArgumentIsCappedAt255Characters) {
  // 254 zeros and "12": only the "1" fits.
  const std::string zeros(254, '0');
  const CutListOutcome out = read_script("Trim(" + zeros + "12,20)");
  EXPECT_EQ(out.map, (CutMap{-1, 0, 21, -1, -1}));
  EXPECT_EQ(out.log, number_trace(zeros + "1") + number_trace("20") + trim_trace(1, 20) + "\n");
}

TEST_F(AvsTrimTraceTest, DroppedParenthesesStillCountTowardTheDepth) {
  const std::string zeros(260, '0');
  const CutListOutcome out = read_script("Trim(" + zeros + "(1),7)");
  EXPECT_EQ(out.map, (CutMap{-1, -1, 8, -1, -1}));
  EXPECT_EQ(out.log,
            number_trace(std::string(255, '0')) + number_trace("7") + trim_trace(0, 7) + "\n");
}

// A line that begins with "__END__" ends the script; the marker anywhere
// else is script text.
struct EndMarkerCase {
  const char* label;
  const char* script;
  CutMap map;
};

void PrintTo(const EndMarkerCase& c, std::ostream* os) {
  *os << c.label;
}

class AvsEndMarkerTest : public AvsTrimTraceTest,
                         public ::testing::WithParamInterface<EndMarkerCase> {};

TEST_P(AvsEndMarkerTest, ReadsUpToTheMarker) {
  EXPECT_EQ(read_script(GetParam().script).map, GetParam().map);
}

const CutMap kFirstOnly = {-1, -1, 100, -1, -1};
const CutMap kBoth = {-1, -1, 100, 199, 300, -1, -1};
const CutMap kNone = {-1, -1, -1};

INSTANTIATE_TEST_SUITE_P(
    Scripts, AvsEndMarkerTest,
    ::testing::Values(
        EndMarkerCase{"AfterACall", "Trim(0,99)\n__END__\nTrim(200,299)\n", kFirstOnly},
        EndMarkerCase{"CrLf", "Trim(0,99)\r\n__END__\r\nTrim(200,299)\r\n", kFirstOnly},
        EndMarkerCase{"TextAfterTheMarker", "Trim(0,99)\n__END__ notes\nTrim(200,299)", kFirstOnly},
        EndMarkerCase{"FirstLine", "__END__\nTrim(0,99)\n", kNone},
        EndMarkerCase{"AfterAByteOrderMark", "\xEF\xBB\xBF__END__\nTrim(0,99)\n", kNone},
        EndMarkerCase{"AfterAComment", "# c\n__END__\nTrim(0,99)\n", kNone},
        EndMarkerCase{"AfterASlashAtTheLineEnd", "x/\n__END__\nTrim(0,99)\n", kNone},
        EndMarkerCase{"Indented", "Trim(0,99)\n  __END__\nTrim(200,299)\n", kBoth},
        EndMarkerCase{"InsideALine", "Trim(0,99) __END__ Trim(200,299)\n", kBoth},
        EndMarkerCase{"Incomplete", "Trim(0,99)\n__END_\nTrim(200,299)\n", kBoth},
        EndMarkerCase{"OtherName", "Trim(0,99)\n__ENDS\nTrim(200,299)\n", kBoth},
        EndMarkerCase{"AtTheEndOfTheFile", "Trim(0,99)\n__EN", kFirstOnly},
        EndMarkerCase{"InsideABlockComment", "Trim(0,99)/*\n__END__\n*/Trim(200,299)\n", kBoth}),
    [](const ::testing::TestParamInfo<EndMarkerCase>& param_info) {
      return std::string(param_info.param.label);
    });

TEST_F(AvsTrimTraceTest, FramesNearTheIntLimitsWrapAround) {
  const CutListOutcome out =
      read_script("Trim(2147483647,2147483647)\nTrim(0,-2147483648)\nTrim(5,1/0)\n");
  EXPECT_TRUE(out.ok);
  // A frame count of INT_MIN gives the end 0 - INT_MIN - 1, wrapped: INT_MAX.
  EXPECT_EQ(out.map, (CutMap{-1, 2147483646, -2147483647 - 1, -1, -2147483647 - 1, 4, kOpenEndValue,
                             -1, -1}));
  EXPECT_EQ(out.log, number_trace("2147483647") + number_trace("2147483647") +
                         trim_trace(2147483647, 2147483647) + number_trace("0") +
                         number_trace("-2147483648") + trim_trace(0, 2147483647) +
                         number_trace("5") + calc_trace("1/0", "1/0", "0") + open_end_trace(5) +
                         "\n" + kOrderWarning);
}

}  // namespace
}  // namespace mendra
