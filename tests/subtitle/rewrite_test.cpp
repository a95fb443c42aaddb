#include "subtitle/rewrite.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <ostream>
#include <string>

#include "cutlist/cut_list.h"
#include "subtitle/time_text.h"
#include "support/run_binary.h"
#include "time/frame_clock.h"

namespace mendra {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::read_file;
using test::write_file;

// Collects what a log reports in the string its user data points to.
void capture_log(void* user, LogLevel /*level*/, const char* format, std::va_list args) {
  char text[1024];
  std::vsnprintf(text, sizeof text, format, args);
  *static_cast<std::string*>(user) += text;
}

const SubtitleFormat& format(const char* extension) {
  const SubtitleFormat* found = find_subtitle_format(extension);
  if (found == nullptr) ADD_FAILURE() << "no format " << extension;
  return found != nullptr ? *found : subtitle_formats().front();
}

class RewriteTest : public ::testing::Test {
 protected:
  std::string base(const std::string& name) const { return (dir_.path / name).string(); }

  // Re-times `input` held in memory as `extension`, written as `out_extension`
  // (the same format when null); the output, or "" when nothing was written.
  std::string run(const char* extension, const std::string& input,
                  RewriteCounts* counts_out = nullptr, const char* out_extension = nullptr) {
    RewriteCounts counts;
    std::string output;
    rewrite_text(format(extension), input, format(out_extension ? out_extension : extension), map_,
                 timing_, counts, output);
    if (counts_out != nullptr) *counts_out = counts;
    return output;
  }

  // The file variant on files of the test's folder.
  RewriteOutcome rewrite(const char* extension, const std::string& in, const std::string& out,
                         const char* out_extension = nullptr) {
    return rewrite_file(format(extension), in, format(out_extension ? out_extension : extension),
                        out, map_, timing_, log_, counts_);
  }

  std::string errors_;  // everything the log reported
  Log log_{capture_log, &errors_, LogLevel::Debug};
  RewriteCounts counts_;
  test::TempDir dir_;
  CutMap map_ = {-1, 99, 200, 299, 400, -1, -1};  // keeps 100..199 and 300..399
  Timing timing_;
};

TEST_F(RewriteTest, AssWorkedExample) {
  RewriteCounts counts;
  const std::string header =
      "\xEF\xBB\xBF[Script Info]\nScriptType: v4.00+\n\n[Events]\n"
      "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
  const std::string input = header +
                            "Dialogue: 0,0:00:05.00,0:00:08.00,Default,,0,0,0,,Hello\n"
                            "Comment: 0,0:00:05.00,0:00:08.00,Default,,0,0,0,,note\n"
                            "Dialogue: 1,0:00:03.00,0:00:06.00,Default,,0,0,0,,A\n"
                            "Dialogue: 0,0:00:12.00,0:00:14.00,Default,,0,0,0,,B\n"
                            "Dialogue: 0,0:00:07.00,0:00:09.00,Default,,0,0,0,,gone\n"
                            "Dialogue: 0,0:00:14.00,0:00:15.00,Default,,0,0,0,,gone too\n"
                            "Dialogue: 0,0:00:05.00,0:00:08.00,Default,,0,0,0,,last";
  EXPECT_EQ(run(".ass", input, &counts),
            header +
                "Dialogue: 0,0:00:01.66,0:00:03.33,Default,,0,0,0,,Hello\n"
                "Comment: 0,0:00:05.00,0:00:08.00,Default,,0,0,0,,note\n"
                "Dialogue: 1,0:00:00.00,0:00:02.66,Default,,0,0,0,,A\n"
                "Dialogue: 0,0:00:05.33,0:00:06.67,Default,,0,0,0,,B\n"
                "Dialogue: 0,0:00:01.66,0:00:03.33,Default,,0,0,0,,last");
  EXPECT_EQ(counts.retimed, 4);
  EXPECT_EQ(counts.dropped, 2);
  EXPECT_TRUE(counts.unread.empty());
}

struct LineCase {
  const char* name;
  std::string input;
  std::string expected;
  int not_retimed = 0;  // lines copied because their times could not be read
  int first_not_retimed = 0;
};

// The bytes of a UTF-16 text in either order, with its mark.
std::string utf16(std::u16string_view text, bool little_endian) {
  std::string bytes = little_endian ? "\xFF\xFE" : "\xFE\xFF";
  for (char16_t unit : text) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    bytes += little_endian ? std::string{low, high} : std::string{high, low};
  }
  return bytes;
}

void PrintTo(const LineCase& c, std::ostream* os) {
  *os << c.name;
}

class AssLineTest : public RewriteTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(AssLineTest, RewritesLine) {
  RewriteCounts counts;
  EXPECT_EQ(run(".ass", GetParam().input, &counts), GetParam().expected);
  EXPECT_EQ(counts.unread.count, GetParam().not_retimed);
  EXPECT_EQ(counts.unread.first_line, GetParam().first_not_retimed);
}

const std::string kLongText(400, 'k');

INSTANTIATE_TEST_SUITE_P(
    Cases, AssLineTest,
    ::testing::Values(
        LineCase{"TwoDigitStartHoursRead", "Dialogue: 0,00:00:05.00,0:00:08.00,x\n",
                 "Dialogue: 0,0:00:01.66,0:00:03.33,x\n"},
        LineCase{"LeadingSpaceCountedNotRetimed",
                 "[Events]\nComment: 0,bad\n Dialogue: 0,0:00:12.00,0:00:14.00,x\n"
                 "Dialogue: 0,0:00:12.000,0:00:14.000,x\nDialogue: Marked=0,0:00:12.00,x\n"
                 "Dialogue: 0,0:00:05.00,0:00:08.00,x\n",
                 "[Events]\nComment: 0,bad\n Dialogue: 0,0:00:12.00,0:00:14.00,x\n"
                 "Dialogue: 0,0:00:12.000,0:00:14.000,x\nDialogue: Marked=0,0:00:12.00,x\n"
                 "Dialogue: 0,0:00:01.66,0:00:03.33,x\n",
                 3, 3},
        // An ASS file's Marked= line is not one of its events: copied.
        LineCase{
            "MarkedLineOfAssCopied",
            "Dialogue: Marked=0,0:00:05.00,0:00:08.00,x\nDialogue: 0,0:00:05.00,0:00:08.00,x\n",
            "Dialogue: Marked=0,0:00:05.00,0:00:08.00,x\nDialogue: 0,0:00:01.66,0:00:03.33,x\n", 1,
            1},
        LineCase{"TwoDigitEndHoursMatched", "Dialogue: 0,0:00:05.00,00:00:08.00,x\n",
                 "Dialogue: 0,0:00:01.66,0:00:03.33,x\n"},
        LineCase{"NoBlankAfterKeyword", "Dialogue:0,0:00:05.00,0:00:08.00,x\n",
                 "Dialogue: 0,0:00:01.66,0:00:03.33,x\n"},
        LineCase{"NoThirdCommaKeepsLineEnd", "Dialogue: 0,0:00:05.00,0:00:08.00\nnext\n",
                 "Dialogue: 0,0:00:01.66,0:00:03.33,\nnext\n"},
        LineCase{"NoThirdCommaAtEndOfFile", "Dialogue: 0,0:00:05.00,0:00:08.00",
                 "Dialogue: 0,0:00:01.66,0:00:03.33,"},
        LineCase{"StartJustBeforeFirstKeptFrame", "Dialogue: 0,0:00:03.32,0:00:06.00,x\n",
                 "Dialogue: 0,0:00:00.00,0:00:02.66,x\n"},
        LineCase{"TailAfterBlank", "Dialogue: 0,0:00:05.00,0:00:08.00 junk,Default,x\n",
                 "Dialogue: 0,0:00:01.66,0:00:03.33,Default,x\n"},
        LineCase{"CrLfKept", "[Events]\r\nDialogue: 0,0:00:05.00,0:00:08.00,x\r\nz\n",
                 "[Events]\r\nDialogue: 0,0:00:01.66,0:00:03.33,x\r\nz\n"},
        LineCase{"NoThirdCommaKeepsCrLf", "Dialogue: 0,0:00:05.00,0:00:08.00\r\nnext\r\n",
                 "Dialogue: 0,0:00:01.66,0:00:03.33,\r\nnext\r\n"},
        LineCase{
            "Utf16BigEndianWrittenBack",
            utf16(u"[Events]\r\nDialogue: 0,0:00:05.00,0:00:08.00,x,\u00E9\U0001F600\r\n", false),
            utf16(u"[Events]\r\nDialogue: 0,0:00:01.66,0:00:03.33,x,\u00E9\U0001F600\r\n", false)},
        LineCase{"Utf16UnpairedSurrogateReplaced", utf16(u"Comment: \xD800x\n", true) + "\x41",
                 utf16(u"Comment: \uFFFDx\n\uFFFD", true)},
        LineCase{"NulInTailKept", "Dialogue: 0,0:00:05.00,0:00:08.00,a\0b,c\n"s,
                 "Dialogue: 0,0:00:01.66,0:00:03.33,a\0b,c\n"s},
        LineCase{"NulBeforeThirdComma", "Dialogue: 0,0:00:05.00,0:00:08.00\0,x\n"s,
                 "Dialogue: 0,0:00:01.66,0:00:03.33,x\n"},
        // Not one time could be read: nothing is written.
        LineCase{"NulBeforeTimesNothingRead", "Dialogue: 0,0:00\0:05.00,0:00:08.00,x\n"s, "", 1, 1},
        LineCase{"LongLineRetimedWhole",
                 "Dialogue: 0,0:00:05.00,0:00:08.00,Default,,0,0,0,," + kLongText + "\nnext\n",
                 "Dialogue: 0,0:00:01.66,0:00:03.33,Default,,0,0,0,," + kLongText + "\nnext\n"},
        LineCase{"LongLineDroppedWhole",
                 "Dialogue: 0,0:00:07.00,0:00:09.00,Default,,0,0,0,," + kLongText + "\nnext\n",
                 "next\n"},
        LineCase{"WithoutDialogueCopiedByteForByte",
                 "[Script Info]\nTitle: x\n\n[V4+ Styles]\nStyle: Default,Arial,20\n",
                 "[Script Info]\nTitle: x\n\n[V4+ Styles]\nStyle: Default,Arial,20\n"},
        LineCase{"LongCommentCopiedWhole", "Comment: " + kLongText + "\n",
                 "Comment: " + kLongText + "\n"}),
    [](const ::testing::TestParamInfo<LineCase>& test_info) { return test_info.param.name; });

TEST_F(RewriteTest, SrtWorkedExample) {
  RewriteCounts counts;
  EXPECT_EQ(run(".srt",
                "1\n00:00:05,000 --> 00:00:08,000\nHello\n\n"
                "2\n00:00:07,000 --> 00:00:09,000\nBye\n\n"
                "3\n00:00:12,000 --> 00:00:14,000\nAgain\n\n",
                &counts),
            "1\n00:00:01,663 --> 00:00:03,336\nHello\n\n"
            "2\n00:00:05,326 --> 00:00:06,673\nAgain\n\n");
  EXPECT_EQ(counts.retimed, 2);
  EXPECT_EQ(counts.dropped, 1);
}

class SrtFileTest : public RewriteTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(SrtFileTest, RewritesCues) {
  RewriteCounts counts;
  EXPECT_EQ(run(".srt", GetParam().input, &counts), GetParam().expected);
  EXPECT_EQ(counts.unread.count, GetParam().not_retimed);
  EXPECT_EQ(counts.unread.first_line, GetParam().first_not_retimed);
}

const std::string kLine255(255, 't');

INSTANTIATE_TEST_SUITE_P(
    Cases, SrtFileTest,
    ::testing::Values(
        LineCase{"ByteOrderMarkBeforeFirstNumber",
                 "\xEF\xBB\xBF"
                 "1\n00:00:05,000 --> 00:00:08,000\nHello\n\n",
                 "\xEF\xBB\xBF"
                 "1\n00:00:01,663 --> 00:00:03,336\nHello\n\n"},
        LineCase{"Renumbered",
                 "5\n00:00:05,000 --> 00:00:06,000\na\n\n0\n00:00:12,000 --> 00:00:13,000\nb\n\n"
                 "-3\n00:00:12,500 --> 00:00:13,000\nc\n\n",
                 "1\n00:00:01,663 --> 00:00:02,663\na\n\n2\n00:00:05,326 --> 00:00:06,326\nb\n\n"
                 "3\n00:00:05,826 --> 00:00:06,326\nc\n\n"},
        LineCase{"ExtraBlankLinesDroppedStrayLineCopied",
                 "\n1\n00:00:05,000 --> 00:00:08,000\na\n\n\nstray\n\n\n"
                 "2\n00:00:05,000 --> 00:00:08,000\nb\n\n",
                 "1\n00:00:01,663 --> 00:00:03,336\na\n\nstray\n\n"
                 "2\n00:00:01,663 --> 00:00:03,336\nb\n\n",
                 1, 7},
        LineCase{"TextAfterEndTimeKept",
                 "1\n00:00:05,000 --> 00:00:08,000  X1:10 X2:20\na\n\n"
                 "2\n 0:0:12.5 -->0:0:14,25X1:1\r\nb\n\n",
                 "1\n00:00:01,663 --> 00:00:03,336  X1:10 X2:20\na\n\n"
                 "2\n00:00:05,331 --> 00:00:06,673X1:1\r\nb\n\n"},
        LineCase{"ShortFieldsAndTightArrow", "1\n0:0:5,5-->0:0:8,25\na\n\n",
                 "1\n00:00:01,668 --> 00:00:03,336\na\n\n"},
        LineCase{"LastCueWithoutBlankLine", "1\n00:00:05,000 --> 00:00:08,000\nend",
                 "1\n00:00:01,663 --> 00:00:03,336\nend"},
        LineCase{"NumberAtEndOfFileCopied", "1\n00:00:05,000 --> 00:00:08,000\na\n\n2\n",
                 "1\n00:00:01,663 --> 00:00:03,336\na\n\n2\n", 1, 5},
        LineCase{"DotBeforeMilliseconds",
                 "1\n00:00:05.000 --> 00:00:08.000\na\n\n2\n00:00:05,000 --> 00:00:08.000\nb\n\n"
                 "3\n00:00:12.000 --> 00:00:14.000\nx\n",
                 "1\n00:00:01,663 --> 00:00:03,336\na\n\n2\n00:00:01,663 --> 00:00:03,336\nb\n\n"
                 "3\n00:00:05,326 --> 00:00:06,673\nx\n"},
        LineCase{"BadTimingLineCopiedWithItsNumber",
                 "1\n00:00:05 --> 00:00:08\na\n\n2\n00:00:05,000 --> 00:00:08,000\nb\n\n",
                 "1\n00:00:05 --> 00:00:08\na\n\n1\n00:00:01,663 --> 00:00:03,336\nb\n\n", 3, 1},
        LineCase{
            "CuesWithoutNumbers",
            "00:00:05,000 --> 00:00:08,000\na\n\n\n00:00:07,000 --> 00:00:09,000\ngone\n\n"
            "  00:00:12,000 --> 00:00:14,000\r\nb\n",
            "1\n00:00:01,663 --> 00:00:03,336\na\n\n2\r\n00:00:05,326 --> 00:00:06,673\r\nb\n"},
        LineCase{"TimingLineWithoutLineEnd", "1\r\n00:00:05,000 --> 00:00:08,000",
                 "1\r\n00:00:01,663 --> 00:00:03,336\n"},
        LineCase{"Utf16LittleEndianWrittenBack",
                 utf16(u"1\r\n00:00:12.000 --> 00:00:14.000\r\n\u00E9\U0001F600\r\n\r\n", true),
                 utf16(u"1\r\n00:00:05,326 --> 00:00:06,673\r\n\u00E9\U0001F600\r\n\r\n", true)},
        LineCase{"DroppedCueSkipsTextAndBlank",
                 "1\n00:00:07,000 --> 00:00:09,000\ngone\nstill gone\n\n"
                 "2\n00:00:05,000 --> 00:00:08,000\nkept\n\n",
                 "1\n00:00:01,663 --> 00:00:03,336\nkept\n\n"},
        LineCase{"LineOfSpacesIsNotBlank", "1\n00:00:05,000 --> 00:00:08,000\na\n  \nb\n\n",
                 "1\n00:00:01,663 --> 00:00:03,336\na\n  \nb\n\n"},
        LineCase{"CrLfKept",
                 "1\r\n00:00:05,000 --> 00:00:08,000\r\na\r\n\r\n"
                 "2\n00:00:12,000 --> 00:00:14,000\r\nb\n",
                 "1\r\n00:00:01,663 --> 00:00:03,336\r\na\r\n\r\n"
                 "2\n00:00:05,326 --> 00:00:06,673\r\nb\n"},
        LineCase{"NulInTextKept", "1\n00:00:05,000 --> 00:00:08,000\na\0b\n\n"s,
                 "1\n00:00:01,663 --> 00:00:03,336\na\0b\n\n"s},
        // A 255-byte text line stays one line: the cue keeps its blank line
        // and the next cue is still found.
        LineCase{"Text255BytesKeepsCueStructure",
                 "1\n00:00:05,000 --> 00:00:08,000\n" + kLine255 +
                     "\n\n"
                     "2\n00:00:12,000 --> 00:00:14,000\nb\n\n",
                 "1\n00:00:01,663 --> 00:00:03,336\n" + kLine255 +
                     "\n\n"
                     "2\n00:00:05,326 --> 00:00:06,673\nb\n\n"}),
    [](const ::testing::TestParamInfo<LineCase>& test_info) { return test_info.param.name; });

class VttFileTest : public RewriteTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(VttFileTest, RewritesCues) {
  RewriteCounts counts;
  EXPECT_EQ(run(".vtt", GetParam().input, &counts), GetParam().expected);
  EXPECT_EQ(counts.unread.count, GetParam().not_retimed);
  EXPECT_EQ(counts.unread.first_line, GetParam().first_not_retimed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VttFileTest,
    ::testing::Values(
        LineCase{"HeaderNoteStyleRegionCopied",
                 "WEBVTT - title\nKind: captions\n\nNOTE a note\nat 00:05.000\n\n"
                 "STYLE\n::cue { color: yellow }\n\nREGION\nid:r width:40%\n\n"
                 "00:05.000 --> 00:08.000\nx\n\nNOTE\tlast\n",
                 "WEBVTT - title\nKind: captions\n\nNOTE a note\nat 00:05.000\n\n"
                 "STYLE\n::cue { color: yellow }\n\nREGION\nid:r width:40%\n\n"
                 "00:01.663 --> 00:03.336\nx\n\nNOTE\tlast\n"},
        LineCase{"HoursKeptAsWritten",
                 "WEBVTT\n\n00:00:05.000 --> 00:08.000\na\n\n00:12.000 --> 000:00:14.000\nb\n",
                 "WEBVTT\n\n00:00:01.663 --> 00:03.336\na\n\n00:05.326 --> 00:00:06.673\nb\n"},
        LineCase{"SettingsAndSpacingKept",
                 "WEBVTT\n\n 00:05.000\t-->  00:08.000 align:start position:10%\tline:0\na\n",
                 "WEBVTT\n\n 00:01.663\t-->  00:03.336 align:start position:10%\tline:0\na\n"},
        // 5.5 s and 6 s map as starts; 7.5 s lies in deleted material (it
        // would reach the cue's end), 4 s before the cue's start, 5.9 s
        // before the tag in front of it: those tags go, their text stays.
        LineCase{"TimestampTagsRetimedWithinCue",
                 "00:05.000 --> 00:08.000\n<00:05.500>a <00:00:06.000>b <00:05.900>b2\n"
                 "<00:07.500>c <00:04.000>d <b>e</b> <00:6.000>f <00:06.000 g\n",
                 "00:01.663 --> 00:03.336\n<00:02.163>a <00:00:02.663>b b2\n"
                 "c d <b>e</b> <00:6.000>f <00:06.000 g\n"},
        LineCase{"TagsOnTheCueEdgesRemoved",
                 "00:12.000 --> 00:20.000\na<00:15.000>b<00:12.000>c<00:12.001>d<00:12.001>e\n",
                 "00:05.326 --> 00:06.673\nabc<00:05.327>de\n"},
        LineCase{"DroppedCueLeavesWithIdentifierAndBlankLine",
                 "WEBVTT\n\nintro\n00:07.000 --> 00:09.000 align:end\ngone <00:08.000>\n"
                 "still gone\n\nkept\n00:05.000 --> 00:08.000\nk\n\n\nNOTE end\n",
                 "WEBVTT\n\nkept\n00:01.663 --> 00:03.336\nk\n\n\nNOTE end\n"},
        LineCase{"CrLfKept",
                 "WEBVTT\r\n\r\nid\r\n00:05.000 --> 00:08.000 line:1\r\n<00:06.000>a\r\n\r\n"
                 "00:07.000 --> 00:09.000\r\nb\r\n\r\nNOTE x\r\n\r\n00:12.000 --> 00:14.000",
                 "WEBVTT\r\n\r\nid\r\n00:01.663 --> 00:03.336 line:1\r\n<00:02.663>a\r\n\r\n"
                 "NOTE x\r\n\r\n00:05.326 --> 00:06.673"},
        LineCase{"ByteOrderMarkKept",
                 "\xEF\xBB\xBF"
                 "WEBVTT\n\n00:05.000 --> 00:08.000\na\n",
                 "\xEF\xBB\xBF"
                 "WEBVTT\n\n00:01.663 --> 00:03.336\na\n"},
        // A timing line ends the block it stands in, as a player reads it.
        LineCase{
            "TimingLineEndsHeaderAndCue",
            "WEBVTT\nKind: captions\n00:05.000 --> 00:08.000\na\n00:12.000 --> 00:14.000\nb\n",
            "WEBVTT\nKind: captions\n00:01.663 --> 00:03.336\na\n00:05.326 --> 00:06.673\nb\n"},
        LineCase{"UnreadableTimesCopiedAndCounted",
                 "WEBVTT\n\n1\n00:00:05,000 --> 00:00:08,000\na\n\n00:5.000 --> 00:08.000\nb\n\n"
                 "stray\ntext\n\n00:60.000 --> 01:00.000\nc\n\n00:05.000 --> 596:31:23.648\nd\n"
                 "\n00:05.000 --> 00:08.0000\ne\n\n00:05.000 --> 00:08.000\nf\n",
                 "WEBVTT\n\n1\n00:00:05,000 --> 00:00:08,000\na\n\n00:5.000 --> 00:08.000\nb\n\n"
                 "stray\ntext\n\n00:60.000 --> 01:00.000\nc\n\n00:05.000 --> 596:31:23.648\nd\n"
                 "\n00:05.000 --> 00:08.0000\ne\n\n00:01.663 --> 00:03.336\nf\n",
                 6, 4},
        LineCase{"SignatureMustStandAlone", "WEBVTTX\n\n00:05.000 --> 00:08.000\na\n",
                 "WEBVTTX\n\n00:01.663 --> 00:03.336\na\n", 1, 1},
        LineCase{"IdentifierAtEndOfFileCopied", "00:05.000 --> 00:08.000\na\n\nlast",
                 "00:01.663 --> 00:03.336\na\n\nlast", 1, 4}),
    [](const ::testing::TestParamInfo<LineCase>& test_info) { return test_info.param.name; });

// Times of an hour or more are written with their hours, which do not wrap.
TEST_F(RewriteTest, VttHoursWrittenFromAnHourOn) {
  timing_.delay_ms = 3600000;
  EXPECT_EQ(run(".vtt", "00:05.000 --> 00:08.000\n<00:06.000>a\n"),
            "01:00:01.663 --> 01:00:03.336\n<01:00:02.663>a\n");
  timing_.delay_ms = 360000000;
  EXPECT_EQ(run(".vtt", "00:05.000 --> 00:08.000\n"), "100:00:01.663 --> 100:00:03.336\n");
}

// Hours are read and written in full, never wrapped at 60: a file of more
// than 60 hours keeps its order, and what is written reads back.
TEST_F(RewriteTest, HoursReadAndWrittenInFull) {
  make_identity_map(map_);
  timing_.delay_ms = 1500;
  EXPECT_EQ(run(".srt", "1\n99:59:59,000 --> 100:00:01,000\nx\n"),
            "1\n100:00:00,500 --> 100:00:02,500\nx\n");
  EXPECT_EQ(run(".ass", "Dialogue: 0,99:59:59.00,100:00:01.00,x\n"),
            "Dialogue: 0,100:00:00.50,100:00:02.50,x\n");
  EXPECT_EQ(run(".vtt", "99:59:59.000 --> 100:00:01.000\nx\n"),
            "100:00:00.500 --> 100:00:02.500\nx\n");
  timing_.delay_ms = 0;
  EXPECT_EQ(run(".ssa", "Dialogue: Marked=0,596:00:00.00,596:00:01.00,x\n"),
            "Dialogue: Marked=0,596:00:00.00,596:00:01.00,x\n");
}

// ASS times as written: centiseconds, hours in full.
TEST(TimeTextTest, CentisecondsAsWritten) {
  struct Case {
    int centiseconds;
    const char* expected;
  };
  for (const Case& c : {Case{334, "0:00:03.34"}, Case{199, "0:00:01.99"}, Case{200, "0:00:02.00"},
                        Case{6000, "0:01:00.00"}, Case{-1, "0:00:00.00"},
                        Case{36000000, "100:00:00.00"}, Case{214748365, "596:31:23.65"}}) {
    char text[64];
    char* end = append_time(text, centisecond_fields(c.centiseconds), 1, '.', 2);
    EXPECT_EQ(std::string(text, end), c.expected) << c.centiseconds;
  }
  char text[64];
  char* end = append_time(text, millisecond_fields(216000001), 2, ',', 3);
  EXPECT_EQ(std::string(text, end), "60:00:00,001");
}

struct ConvertCase {
  const char* name;
  const char* in;   // the input's extension
  const char* out;  // the output's
  std::string input;
  std::string expected;
};

void PrintTo(const ConvertCase& c, std::ostream* os) {
  *os << c.name;
}

class ConvertTest : public RewriteTest, public ::testing::WithParamInterface<ConvertCase> {};

TEST_P(ConvertTest, WritesTheOutputFormat) {
  const ConvertCase& c = GetParam();
  RewriteCounts counts;
  EXPECT_EQ(run(c.in, c.input, &counts, c.out), c.expected);
  EXPECT_TRUE(counts.unread.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConvertTest,
    ::testing::Values(
        ConvertCase{"SrtAsVtt", ".srt", ".vtt",
                    "1\n00:00:05,000 --> 00:00:08,000 X1:10 X2:20\nHello\n<i>two</i>\n\n"
                    "2\n00:00:07,000 --> 00:00:09,000\nBye\n\n3\n00:00:12,000 --> "
                    "00:00:14,000\nAgain\n",
                    "WEBVTT\n\n00:00:01.663 --> 00:00:03.336\nHello\n<i>two</i>\n\n"
                    "00:00:05.326 --> 00:00:06.673\nAgain\n\n"},
        ConvertCase{"SrtAsVttKeepsMarkAndLineEnds", ".srt", ".vtt",
                    "\xEF\xBB\xBF"
                    "1\r\n00:00:05,000 --> 00:00:08,000\r\nHi\r\n",
                    "\xEF\xBB\xBF"
                    "WEBVTT\r\n\r\n00:00:01.663 --> 00:00:03.336\r\nHi\r\n\r\n"},
        // WebVTT is UTF-8 only: UTF-16 is turned into it, without a mark.
        ConvertCase{"SrtAsVttInUtf16", ".srt", ".vtt",
                    utf16(u"1\r\n00:00:12,000 --> 00:00:14,000\r\n\u00E9\r\n", true),
                    "WEBVTT\r\n\r\n00:00:05.326 --> 00:00:06.673\r\n\xC3\xA9\r\n\r\n"},
        ConvertCase{"VttAsSrt", ".vtt", ".srt",
                    "WEBVTT - t\nKind: captions\n\nNOTE n\nx\n\nSTYLE\n::cue { color: red }\n\n"
                    "id1\n00:05.000 --> 00:08.000 align:start\n<00:06.000>a <b>b</b>\n\n\n"
                    "00:07.000 --> 00:09.000\ngone\n\nREGION\nid:r\n\n"
                    "00:00:12.000 --> 00:14.000\n<v Anna>c<00:13.000>d\n",
                    "1\n00:00:01,663 --> 00:00:03,336\na <b>b</b>\n\n"
                    "2\n00:00:05,326 --> 00:00:06,673\ncd\n\n"},
        ConvertCase{
            "VttAsSrtSeparatesCuesWithoutBlankLine", ".vtt", ".srt",
            "00:05.000 --> 00:08.000\na\n00:12.000 --> 00:14.000\nb",
            "1\n00:00:01,663 --> 00:00:03,336\na\n\n2\n00:00:05,326 --> 00:00:06,673\nb\n\n"},
        ConvertCase{"VttAsSrtKeepsMarkAndLineEnds", ".vtt", ".srt",
                    "\xEF\xBB\xBFWEBVTT\r\n\r\n00:05.000 --> 00:08.000\r\nx\r\n",
                    "\xEF\xBB\xBF"
                    "1\r\n00:00:01,663 --> 00:00:03,336\r\nx\r\n\r\n"},
        ConvertCase{"VttAsSrtInUtf16", ".vtt", ".srt",
                    utf16(u"WEBVTT\n\n00:12.000 --> 00:14.000\n\u00E9\n", false),
                    utf16(u"1\n00:00:05,326 --> 00:00:06,673\n\u00E9\n\n", false)},
        // ASS text: styles to tags (closed where turned off or at the end),
        // \N and \n to breaks, \h to a no-break space, drawings and
        // comments left out, cues in start order.
        ConvertCase{"AssAsSrt", ".ass", ".srt",
                    "[Script Info]\nScriptType: v4.00+\n\n[Events]\n"
                    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, "
                    "Effect, Text\n"
                    "Dialogue: 0,0:00:12.00,0:00:14.00,Default,,0,0,0,,{\\b1}x{\\i1}y{\\b0}z\n"
                    "Comment: 0,0:00:05.00,0:00:08.00,Default,,0,0,0,,note\n"
                    "Dialogue: 0,0:00:05.00,0:00:08.00,Default,,0,0,0,,a\\Nb\\nc\\hd, e\n",
                    "1\n00:00:01,663 --> 00:00:03,336\na\nb\nc\xC2\xA0"
                    "d, e\n\n2\n00:00:05,326 --> 00:00:06,673\n<b>x<i>y</i></b><i>z</i>\n\n"},
        ConvertCase{"SsaAsVttEscapes", ".ssa", ".vtt",
                    "\xEF\xBB\xBF[Script Info]\r\nScriptType: v4.00\r\n\r\n[Events]\r\n"
                    "Dialogue: Marked=0,0:00:05.00,0:00:08.00,Default,,0,0,0,,{\\u1}a<b&\r\n",
                    "\xEF\xBB\xBFWEBVTT\r\n\r\n00:00:01.663 --> 00:00:03.336\r\n"
                    "<u>a&lt;b&amp;</u>\r\n\r\n"},
        ConvertCase{"SrtAsAss", ".srt", ".ass",
                    "1\n00:00:05,000 --> 00:00:08,000\n<i>a</i>\n<font color=\"red\">b</font>\n",
                    "[Script Info]\nScriptType: v4.00+\nPlayResX: 384\nPlayResY: 288\n\n"
                    "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, "
                    "SecondaryColour, OutlineColour, BackColour, Bold, Italic, Underline, "
                    "StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, "
                    "Alignment, MarginL, MarginR, MarginV, Encoding\nStyle: Default,Arial,20,"
                    "&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,2,2,"
                    "10,10,10,1\n\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, "
                    "MarginR, MarginV, Effect, Text\n"
                    "Dialogue: 0,0:00:01.66,0:00:03.33,Default,,0,0,0,,{\\i1}a{\\i0}\\Nb\n"},
        ConvertCase{"VttAsSsa", ".vtt", ".ssa",
                    "WEBVTT\r\n\r\n00:05.000 --> 00:08.000 line:0\r\n<b>a &amp; b</b>\r\n",
                    "[Script Info]\r\nScriptType: v4.00\r\nPlayResX: 384\r\nPlayResY: 288\r\n\r\n"
                    "[V4 Styles]\r\nFormat: Name, Fontname, Fontsize, PrimaryColour, "
                    "SecondaryColour, TertiaryColour, BackColour, Bold, Italic, BorderStyle, "
                    "Outline, Shadow, Alignment, MarginL, MarginR, MarginV, AlphaLevel, "
                    "Encoding\r\nStyle: Default,Arial,20,16777215,255,0,0,0,0,1,2,2,2,10,10,10,"
                    "0,1\r\n\r\n[Events]\r\nFormat: Marked, Start, End, Style, Name, MarginL, "
                    "MarginR, MarginV, Effect, Text\r\n"
                    "Dialogue: Marked=0,0:00:01.66,0:00:03.33,Default,,0,0,0,,"
                    "{\\b1}a & b{\\b0}\r\n"},
        // ASS and SSA: the script type, the styles section, its fields and
        // the alignment numbering as each version defines them; the event
        // fields after the times as they stand; what follows [Events] too.
        ConvertCase{"AssAsSsa", ".ass", ".ssa",
                    "[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\n"
                    "Format: Name, Fontname, OutlineColour, Underline, Alignment, Encoding\n"
                    "Style: Top,Arial,&H00102030,1,8,128\n\n[Events]\n"
                    "Dialogue: 3,0:00:05.00,0:00:08.00,Top,N,0,0,0,,{\\an5\\k20}a\n"
                    "Comment: 0,0:00:12.00,0:00:14.00,Top,,0,0,0,,c\n\n[Fonts]\nfontname: x\n",
                    "[Script Info]\nScriptType: v4.00\n\n[V4 Styles]\n"
                    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
                    "TertiaryColour, BackColour, Bold, Italic, BorderStyle, Outline, Shadow, "
                    "Alignment, MarginL, MarginR, MarginV, AlphaLevel, Encoding\n"
                    "Style: Top,Arial,0,0,0,&H00102030,0,0,0,1,0,0,6,0,0,0,0,128\n\n[Events]\n"
                    "Format: Marked, Start, End, Style, Name, MarginL, MarginR, MarginV, "
                    "Effect, Text\n"
                    "Dialogue: Marked=0,0:00:01.66,0:00:03.33,Top,N,0,0,0,,{\\an5\\k20}a\n"
                    "Comment: Marked=0,0:00:05.33,0:00:06.67,Top,,0,0,0,,c\n\n[Fonts]\n"
                    "fontname: x\n"},
        ConvertCase{"SsaAsAss", ".ssa", ".ass",
                    "[Script Info]\nScriptType: v4.00\n\n[V4 Styles]\n"
                    "Format: Name, TertiaryColour, Alignment, AlphaLevel\n"
                    "Style: Mid,&H00102030,10,0\n\n[Events]\n"
                    "Dialogue: Marked=1,0:00:05.00,0:00:08.00,Mid,,0000,0000,0000,,a\n",
                    "[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\n"
                    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
                    "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, "
                    "ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
                    "MarginR, MarginV, Encoding\n"
                    "Style: Mid,0,0,0,0,&H00102030,0,0,0,0,0,100,100,0,0,1,0,0,5,0,0,0,1\n\n"
                    "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, "
                    "Effect, Text\n"
                    "Dialogue: 0,0:00:01.66,0:00:03.33,Mid,,0000,0000,0000,,a\n"},
        // SSA v4: the Marked= field stays as it stands, the ASS form is
        // read too.
        ConvertCase{
            "SsaMarkedLines", ".ssa", ".ssa",
            "[Script Info]\nScriptType: v4.00\n\n[Events]\n"
            "Format: Marked, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
            "Dialogue: Marked=0,0:00:05.00,0:00:08.00,Default,NTP,0000,0000,0000,!Effect,Hi\n"
            "Dialogue:  Marked=1,0:00:07.00,0:00:09.00,Default,,0,0,0,,gone\n"
            "Dialogue: 0,0:00:12.00,0:00:14.00,Default,,0,0,0,,ass form\r\n",
            "[Script Info]\nScriptType: v4.00\n\n[Events]\n"
            "Format: Marked, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
            "Dialogue: Marked=0,0:00:01.66,0:00:03.33,Default,NTP,0000,0000,0000,!Effect,Hi\n"
            "Dialogue: 0,0:00:05.33,0:00:06.67,Default,,0,0,0,,ass form\r\n"},
        // MicroDVD counts frames: kept frames 100..199 and 300..399 become
        // 0..99 and 100..199; at the default 30000/1001 frame 150 starts at
        // 5.005 s and frame 250 (deleted) ends the cue at the cut point,
        // frame 100 of the cut video (3.336 s). Its text: '|' breaks,
        // {y:...} styles a line, {Y:...} the whole cue, other codes left out.
        ConvertCase{"SubAsSrt", ".sub", ".srt",
                    "{150}{250}{y:i}one|two\n{0}{50}gone\n"
                    "{320}{330}{Y:b}{c:$0000FF}a|{y:u}b\n",
                    "1\n00:00:01,668 --> 00:00:03,336\n<i>one</i>\ntwo\n\n"
                    "2\n00:00:04,004 --> 00:00:04,337\n<b>a\n<u>b</u></b>\n\n"},
        // The file's own rate line is not a cue; the clock is the caller's.
        ConvertCase{"SubRateLineAsVtt", ".sub", ".vtt", "\xEF\xBB\xBF{1}{1}25\r\n{150}{160}x\r\n",
                    "\xEF\xBB\xBFWEBVTT\r\n\r\n00:00:01.668 --> 00:00:02.002\r\nx\r\n\r\n"},
        // Times to frames: the first frame of the cut video at or after
        // each time, written after the clock's rate line; a style over a
        // whole line is {y:...}, one over part of it is left out.
        ConvertCase{"SrtAsSub", ".srt", ".sub",
                    "1\n00:00:05,000 --> 00:00:08,000\n<i>Hello</i>\n<b>x</b>y\n\n"
                    "2\n00:00:12,000 --> 00:00:12,500\n<font color=red>Bye</font> | now\n",
                    "{1}{1}29.97\n{50}{100}{y:i}Hello|xy\n{160}{175}Bye   now\n"},
        ConvertCase{"AssAsSub", ".ass", ".sub",
                    "[Script Info]\nScriptType: v4.00+\n\n[Events]\n"
                    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, "
                    "Effect, Text\n"
                    "Dialogue: 0,0:00:12.00,0:00:14.00,Default,,0,0,0,,{\\pos(1,2)}a\\Nb\n"
                    "Comment: 0,0:00:05.00,0:00:08.00,Default,,0,0,0,,note\n"
                    "Dialogue: 0,0:00:05.00,0:00:08.00,Default,,0,0,0,,{\\i1}c\n",
                    "{1}{1}29.97\n{50}{100}{y:i}c\n{160}{200}a|b\n"}),
    [](const ::testing::TestParamInfo<ConvertCase>& test_info) { return test_info.param.name; });

// A MicroDVD file's frames run at the rate its first line names; sped up,
// they run faster, and the line says so whatever the clock (a piped file's
// clock is not its rate line's).
TEST_F(RewriteTest, MicroDvdRateLineFollowsTheSpeed) {
  struct Case {
    SpeedStep speed;
    std::string input;
    std::string expected;
  };
  map_ = {-1, -1, 1000, -1, -1};  // keeps every frame
  for (const Case& c :
       {Case{{{25, 1}, {24, 1}}, "{1}{1}25\n{10}{20}a\n", "{1}{1}24\n{10}{20}a\n"},
        Case{{{24000, 1001}, {25, 1}},
             "{0}{0} 23.976 \r\n{10}{20}a\r\n",
             "{0}{0}25\r\n{10}{20}a\r\n"},
        Case{{{30, 1}, {30, 1}}, "{1}{1}29.970\n{10}{20}a\n", "{1}{1}29.970\n{10}{20}a\n"},
        Case{{{25, 1}, {50, 1}}, "{10}{20}a\n", "{10}{20}a\n"}}) {
    timing_.speed = c.speed;
    EXPECT_EQ(run(".sub", c.input), c.expected) << c.input;
  }
}

// The first bytes tell the format of a text without a name.
TEST(SubtitleFormatTable, SniffsTheFormatFromTheFirstBytes) {
  struct Case {
    std::string first_bytes;
    const char* label;
  };
  for (const Case& c :
       {Case{"[Script Info]\nScriptType: v4.00+\n", "ass"},
        Case{"\xEF\xBB\xBF[Script Info]\r\nTitle: x\r\nScriptType: v4.00\r\n", "ssa"},
        Case{"[Script Info]\nscripttype:\tV4.00\n", "ssa"},
        Case{"[Script Info]\n; ScriptType: v4.00\n", "ass"}, Case{"[Script Info]\n", "ass"},
        Case{"WEBVTT\n\n", "vtt"}, Case{"\xEF\xBB\xBFWEBVTT - title\r\n", "vtt"},
        Case{"WEBVTT", "vtt"}, Case{"WEBVTTX\n", "srt"},
        Case{"1\n00:00:01,000 --> 00:00:02,000\n", "srt"}, Case{"", "srt"},
        Case{"ScriptType: v4.00\n", "srt"}, Case{"{0}{25}x\n", "sub"},
        Case{"{1}{1}23.976\r\n", "sub"}, Case{"{0}{}x\n", "srt"}, Case{"{a}{1}x\n", "srt"}}) {
    EXPECT_STREQ(sniff_subtitle_format(c.first_bytes).label, c.label) << c.first_bytes;
  }
}

// Every format converts to every other: each has a reader and a writer of
// cues.
TEST(SubtitleFormatTable, WritesEveryFormatAsEveryOther) {
  const char* const extensions[] = {".ass", ".srt", ".vtt", ".ssa", ".sub"};
  for (const char* in : extensions) {
    for (const char* out : extensions) {
      EXPECT_TRUE(can_write_as(format(in), format(out))) << in << " as " << out;
    }
  }
}

TEST(SubtitleFormatTable, LooksUpExtensionsInAnyCase) {
  ASSERT_EQ(subtitle_formats().size(), 2u);
  // The table's order is the order in which an input of another extension
  // has its subtitles re-timed.
  EXPECT_STREQ(subtitle_formats()[0].label, "ass");
  EXPECT_STREQ(subtitle_formats()[1].label, "srt");
  for (const SubtitleFormat& row : subtitle_formats()) {
    EXPECT_EQ(find_subtitle_format(row.extension), &row) << row.extension;
  }
  EXPECT_EQ(find_subtitle_format(".ASS"), &subtitle_formats()[0]);
  EXPECT_EQ(find_subtitle_format(".Srt"), &subtitle_formats()[1]);
  // WebVTT is found by its name but is not among the formats an input of
  // another extension is re-timed as.
  const SubtitleFormat* vtt = find_subtitle_format(".VTT");
  ASSERT_NE(vtt, nullptr);
  EXPECT_STREQ(vtt->label, "vtt");
  EXPECT_EQ(vtt->precision, TimePrecision::Milliseconds);
  const SubtitleFormat* ssa = find_subtitle_format(".Ssa");
  ASSERT_NE(ssa, nullptr);
  EXPECT_STREQ(ssa->label, "ssa");
  EXPECT_EQ(ssa->precision, TimePrecision::Centiseconds);
  for (const char* other : {"ass", ".txt", "", ".ass ", ".as", ".assa"}) {
    EXPECT_EQ(find_subtitle_format(other), nullptr) << other;
  }
}

struct FormatCase {
  const char* name;
  const char* ext;
  const char* input;     // a cue or line that the example map re-times
  const char* expected;  // its re-timed form
  const char* unread;    // a line meant to be re-timed whose times cannot be read
  int unread_line;       // its line number after `input`
};

void PrintTo(const FormatCase& c, std::ostream* os) {
  *os << c.name;
}

class OpenTest : public RewriteTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(OpenTest, MissingInputCreatesNothing) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(rewrite(c.ext, base("absent") + c.ext, base("out") + c.ext),
            RewriteOutcome::InputMissing);
  EXPECT_EQ(errors_, "input "s + c.name + " open error: " + base("absent") + "\n\t" +
                         base("absent") + c.ext + ": No such file or directory\n");
  EXPECT_TRUE(fs::is_empty(dir_.path));
}

TEST_P(OpenTest, OutputInMissingDirectory) {
  const FormatCase& c = GetParam();
  write_file(base("in") + c.ext, c.input);
  const std::string out = base("missing/out");
  EXPECT_EQ(rewrite(c.ext, base("in") + c.ext, out + c.ext), RewriteOutcome::Failed);
  EXPECT_EQ(errors_, "output "s + c.name + " open error: " + out + "\n\t" + out + c.ext +
                         ": No such file or directory\n");
  EXPECT_FALSE(fs::exists(base("missing")));
}

TEST_P(OpenTest, OutputOntoDirectoryNamesTheReason) {
  const FormatCase& c = GetParam();
  write_file(base("in") + c.ext, c.input);
  fs::create_directory(base("folder") + c.ext);
  EXPECT_EQ(rewrite(c.ext, base("in") + c.ext, base("folder") + c.ext), RewriteOutcome::Failed);
  EXPECT_EQ(errors_, "output "s + c.name + " open error: " + base("folder") + "\n\t" +
                         base("folder") + c.ext + ": Is a directory\n");
}

// A write that fails once the file was open (a full disk; here a file-size
// limit) is a write error with the system's reason, and the file it was to
// replace stays as it was.
TEST_P(OpenTest, FailedWriteIsAWriteErrorAndReplacesNothing) {
  const FormatCase& c = GetParam();
  std::string input;
  while (input.size() < 4096) input += c.input;
  write_file(base("in") + c.ext, input);
  write_file(base("out") + c.ext, "old");
  constexpr rlim_t kLimitBytes = 512;
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limited = saved;
  limited.rlim_cur = kLimitBytes;
  // Past the limit a write fails with EFBIG instead of ending the process.
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const RewriteOutcome outcome = rewrite(c.ext, base("in") + c.ext, base("out") + c.ext);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous_handler);
  EXPECT_EQ(outcome, RewriteOutcome::Failed);
  EXPECT_EQ(errors_,
            "output "s + c.name + " write error: " + base("out") + c.ext + ": File too large\n");
  EXPECT_EQ(read_file(base("out") + c.ext), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path), fs::directory_iterator{}), 2);
}

// An input that opens but cannot be read to its end (reading this
// process's memory from address 0 fails) is a read error; nothing is
// written.
TEST_P(OpenTest, FailedReadIsAReadErrorAndWritesNothing) {
  if (!fs::exists("/proc/self/mem")) GTEST_SKIP() << "no /proc/self/mem";
  const FormatCase& c = GetParam();
  EXPECT_EQ(rewrite(c.ext, "/proc/self/mem", base("out") + c.ext), RewriteOutcome::Failed);
  EXPECT_EQ(errors_, "input "s + c.name + " read error: /proc/self/mem: Input/output error\n");
  EXPECT_TRUE(fs::is_empty(dir_.path));
}

// An upper-case extension is the same format, read and written under its
// own name; lines whose times cannot be read give one warning.
TEST_P(OpenTest, UpperCaseExtensionAndWarning) {
  const FormatCase& c = GetParam();
  std::string upper = c.ext;
  for (char& letter : upper) letter = static_cast<char>(std::toupper(letter));
  write_file(base("MOVIE") + upper, c.input + std::string(c.unread) + c.input + c.unread);
  EXPECT_EQ(rewrite(c.ext, base("MOVIE") + upper, base("MOVIE_new") + upper),
            RewriteOutcome::Written);
  EXPECT_EQ(counts_.retimed, 2);
  const std::string output = read_file(base("MOVIE_new") + upper);
  EXPECT_TRUE(output.starts_with(c.expected + std::string(c.unread))) << output;
  EXPECT_TRUE(output.ends_with(c.unread)) << output;
  EXPECT_EQ(output, run(c.ext, read_file(base("MOVIE") + upper)));
  EXPECT_EQ(errors_, "warning: 2 lines of " + base("MOVIE") + upper +
                         " were not re-timed (first: line " + std::to_string(c.unread_line) +
                         ")\n");
}

// Lines meant to be re-timed, not one of them readable: an error, and
// nothing written. A file with nothing to re-time is copied.
TEST_P(OpenTest, NothingReadableIsNotWritten) {
  const FormatCase& c = GetParam();
  write_file(base("in") + c.ext, std::string(c.unread) + c.unread);
  EXPECT_EQ(rewrite(c.ext, base("in") + c.ext, base("out") + c.ext),
            RewriteOutcome::NothingRetimed);
  EXPECT_EQ(errors_, "no times could be read in " + base("in") + c.ext + " (first: line 1)\n");
  EXPECT_EQ(counts_.unread.count, 2);
  EXPECT_EQ(test::snapshot(dir_.path),
            (test::FileSet{{"in"s + c.ext, std::string(c.unread) + c.unread}}));

  errors_.clear();
  write_file(base("empty") + c.ext, "");
  EXPECT_EQ(rewrite(c.ext, base("empty") + c.ext, base("out") + c.ext), RewriteOutcome::Written);
  EXPECT_EQ(read_file(base("out") + c.ext), "");
  EXPECT_EQ(errors_, "");
}

// Runs rewrite_file in a child process whose standard input reads `in_file`
// and whose standard output goes to `out_file`; returns the outcome, or -1
// when the child did not end normally.
int rewrite_in_child(const SubtitleFormat& in_format, const std::string& in_path,
                     const SubtitleFormat& out_format, const std::string& out_path,
                     const std::string& in_file, const std::string& out_file, const CutMap& map,
                     const Timing& timing) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const int in = ::open(in_file.c_str(), O_RDONLY);
    const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0) _exit(99);
    RewriteCounts counts;
    const Log quiet{nullptr, nullptr, LogLevel::Error};
    _exit(static_cast<int>(
        rewrite_file(in_format, in_path, out_format, out_path, map, timing, quiet, counts)));
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// "-" reads standard input and writes standard output, the input's format
// recognised from its content, with the result the files would have had.
TEST_P(OpenTest, StandardInputToStandardOutput) {
  const FormatCase& c = GetParam();
  std::string input = c.input;
  if (std::string(c.ext) == ".vtt") input = "WEBVTT\n\n" + input;
  if (std::string(c.ext) == ".ass") input = "[Script Info]\n\n[Events]\n" + input;
  for (int i = 0; i < 5000; ++i) input += c.input;  // beyond what is held back
  write_file(base("in") + c.ext, input);
  const std::string out_file = base("stdout");
  EXPECT_EQ(rewrite_in_child(format_from_content(), "-", format_from_content(), "-",
                             base("in") + c.ext, out_file, map_, timing_),
            static_cast<int>(RewriteOutcome::Written));
  EXPECT_TRUE(read_file(out_file) == run(c.ext, input)) << "standard output differs";
  // Named formats and files on one side work the same.
  EXPECT_EQ(rewrite_in_child(format(c.ext), "-", format(c.ext), base("out") + c.ext,
                             base("in") + c.ext, out_file, map_, timing_),
            static_cast<int>(RewriteOutcome::Written));
  EXPECT_TRUE(read_file(base("out") + c.ext) == run(c.ext, input)) << "file output differs";
}

TEST_F(RewriteTest, StandardInputConvertedAndRefusedWhenNothingReadable) {
  write_file(base("in.srt"), "1\n00:00:05,000 --> 00:00:08,000\nx\n");
  EXPECT_EQ(rewrite_in_child(format_from_content(), "-", format(".ass"), base("out.ass"),
                             base("in.srt"), base("stdout"), map_, timing_),
            static_cast<int>(RewriteOutcome::Written));
  EXPECT_NE(
      read_file(base("out.ass")).find("\nDialogue: 0,0:00:01.66,0:00:03.33,Default,,0,0,0,,x\n"),
      std::string::npos);
  // Converted on the way: SRT in, WebVTT out.
  EXPECT_EQ(rewrite_in_child(format_from_content(), "-", format(".vtt"), "-", base("in.srt"),
                             base("stdout"), map_, timing_),
            static_cast<int>(RewriteOutcome::Written));
  EXPECT_EQ(read_file(base("stdout")), "WEBVTT\n\n00:00:01.663 --> 00:00:03.336\nx\n\n");
  write_file(base("junk.srt"), "1\nnot a time\n\n2\nnor this\n");
  EXPECT_EQ(rewrite_in_child(format_from_content(), "-", format_from_content(), "-",
                             base("junk.srt"), base("stdout"), map_, timing_),
            static_cast<int>(RewriteOutcome::NothingRetimed));
  EXPECT_EQ(read_file(base("stdout")), "");
  // Nothing readable is refused the same way when converted.
  EXPECT_EQ(rewrite_in_child(format_from_content(), "-", format(".ass"), base("junk.ass"),
                             base("junk.srt"), base("stdout"), map_, timing_),
            static_cast<int>(RewriteOutcome::NothingRetimed));
  EXPECT_FALSE(fs::exists(base("junk.ass")));
}

// What a conversion cannot carry is counted, once per file, in a warning.
TEST_F(RewriteTest, ConversionWarnsOfWhatItLeavesOut) {
  write_file(
      base("in.ass"),
      "[Script Info]\n\n[Events]\n"
      "Dialogue: 2,0:00:05.00,0:00:08.00,Default,,0,0,0,,{\\an8\\pos(1,2)}a{\\p1}m 0 0{\\p0}\n"
      "Dialogue: 0,0:00:05.00,0:00:08.00,Default,,0,0,0,,{\\move(1,2,3,4)\\c&HFF&}b\n"
      // A drawing alone shows nothing in SRT: the cue is left out.
      "Dialogue: 0,0:00:05.00,0:00:08.00,Default,,0,0,0,,{\\p1}m 0 0 l 9 9{\\p0}\n");
  EXPECT_EQ(rewrite(".ass", base("in.ass"), base("out.srt"), ".srt"), RewriteOutcome::Written);
  EXPECT_EQ(errors_, "warning: converting " + base("in.ass") + " to " + base("out.srt") +
                         " left out 2 drawings, 3 positions, 1 tag\n");
  EXPECT_EQ(counts_.retimed, 2);
  EXPECT_EQ(counts_.dropped, 1);
  EXPECT_EQ(read_file(base("out.srt")),
            "1\n00:00:01,663 --> 00:00:03,336\na\n\n2\n00:00:01,663 --> 00:00:03,336\nb\n\n");
  errors_.clear();
  // SSA keeps the tags as they stand, but has no layers.
  EXPECT_EQ(rewrite(".ass", base("in.ass"), base("out.ssa"), ".ssa"), RewriteOutcome::Written);
  EXPECT_EQ(errors_, "warning: converting " + base("in.ass") + " to " + base("out.ssa") +
                         " left out 1 layer\n");
}

TEST_P(OpenTest, OutputOntoInputRetimesInPlace) {
  const FormatCase& c = GetParam();
  write_file(base("same") + c.ext, c.input);
  EXPECT_EQ(rewrite(c.ext, base("same") + c.ext, base("same") + c.ext), RewriteOutcome::Written);
  EXPECT_EQ(errors_, "");
  EXPECT_EQ(read_file(base("same") + c.ext), c.expected);
  // Nothing but the re-timed file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path), fs::directory_iterator()), 1);
}

// The file variant writes what the buffer variant returns: with lines that
// cross the file's read buffer, CR LF and no last line end.
TEST_P(OpenTest, FileMatchesBuffer) {
  const FormatCase& c = GetParam();
  std::string input = "\xEF\xBB\xBF"s + c.input + "\r\n";
  for (int i = 0; i < 3000; ++i) input += c.input;
  input += std::string(c.input).substr(0, std::strlen(c.input) - 1);  // no last line end
  write_file(base("in") + c.ext, input);
  EXPECT_EQ(rewrite(c.ext, base("in") + c.ext, base("out") + c.ext), RewriteOutcome::Written);
  EXPECT_EQ(read_file(base("out") + c.ext), run(c.ext, input));
  EXPECT_EQ(errors_, "");
}

// The same in UTF-16 of both orders: units and surrogate pairs that cross
// the read and write buffers, and an odd last byte. WebVTT comes out in
// UTF-8, without a mark.
TEST_P(OpenTest, Utf16FileMatchesBuffer) {
  const FormatCase& c = GetParam();
  std::u16string text = u"\u00E9\U0001F600\r\n";
  for (char letter : std::string_view(c.input)) text += static_cast<char16_t>(letter);
  for (int i = 0; i < 12; ++i) text += text;
  for (const bool little_endian : {true, false}) {
    const std::string input = utf16(text, little_endian) + "x";
    write_file(base("in") + c.ext, input);
    EXPECT_EQ(rewrite(c.ext, base("in") + c.ext, base("out") + c.ext), RewriteOutcome::Written);
    const std::string output = read_file(base("out") + c.ext);
    EXPECT_EQ(output, run(c.ext, input));
    if (std::string_view(c.ext) == ".vtt") {
      EXPECT_TRUE(output.starts_with("\xC3\xA9\xF0\x9F\x98\x80\r\n"));
      continue;
    }
    EXPECT_TRUE(output.starts_with(little_endian ? "\xFF\xFE\xE9\0"s : "\xFE\xFF\0\xE9"s));
    EXPECT_EQ(output.size() % 2, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, OpenTest,
    ::testing::Values(FormatCase{"ass", ".ass", "Dialogue: 0,0:00:05.00,0:00:08.00,x\n",
                                 "Dialogue: 0,0:00:01.66,0:00:03.33,x\n",
                                 " Dialogue: 0,0:00:05.00,0:00:08.00,x\n", 2},
                      FormatCase{"srt", ".srt", "1\n00:00:05,000 --> 00:00:08,000\nx\n\n",
                                 "1\n00:00:01,663 --> 00:00:03,336\nx\n\n", "stray\n", 5},
                      FormatCase{"vtt", ".vtt", "00:05.000 --> 00:08.000\nx\n\n",
                                 "00:01.663 --> 00:03.336\nx\n\n", "00:05 --> 00:08\n", 4},
                      FormatCase{"sub", ".sub", "{150}{250}x\n", "{50}{100}x\n", "{150}{}x\n", 2}),
    [](const ::testing::TestParamInfo<FormatCase>& test_info) { return test_info.param.name; });

}  // namespace
}  // namespace mendra

namespace mendra {
namespace {

// A v2 timecode file written from the constant rate 30000/1001, as
// -timecodes-out writes one: times to the nanosecond, decimals only where
// needed.
std::string constant_rate_timecodes(int frames) {
  std::string text = "# timestamp format v2\n";
  for (std::int64_t n = 0; n < frames; ++n) {
    const std::int64_t ns = (n * 1001 * 1000000 * 2 + 30) / 60;  // n * 1001/30 ms, rounded
    std::string fraction = std::to_string(1000000 + ns % 1000000).substr(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    text += std::to_string(ns / 1000000) + (fraction.empty() ? "" : "." + fraction) + "\n";
  }
  return text;
}

// The same subtitles, written by the same cut list of every kind, come out
// byte for byte the same through that timecode file as through the rate:
// cut lists in frames and in times alike, every format, the frame-exact cut
// points (5.004 to 5.005 and 9.976 to 9.977 lie on both sides of the frames
// of the cut 5.00 to 10.00) and a delay.
TEST(TimecodeRewriteTest, ConstantRateTimecodesWriteWhatTheRateWrites) {
  const struct {
    CutListKind kind;
    const char* list;
  } lists[] = {
      {CutListKind::DelList, "0 * 899\n150 - 299\n"},
      {CutListKind::AvsTrim, "Trim(0,149) ++ Trim(300,899)\n"},
      {CutListKind::VcfRanges,
       "VirtualDub.subset.AddRange(0,150);\nVirtualDub.subset.AddRange(300,600);\n"},
      {CutListKind::KeyRanges, "0\n149\n300\n899\n"},
      {CutListKind::KeyOdd, "0\n149\n300\n899\n"},
      {CutListKind::KeyEven, "0\n149\n300\n899\n"},
      {CutListKind::KeyAuto, "0\n149\n300\n899\n"},
      {CutListKind::Edl, "5.00 10.00 0\n"},
      {CutListKind::KeptSegments, ",5.00,one\n10.01,29.5,two\n"},
      {CutListKind::MpvEdl, "# mpv EDL v0\nrec.ts,0,5.00\nrec.ts,10.01,19.49\n"},
      {CutListKind::LosslessCut, "{cutSegments: [{start: 0, end: 5}, {start: 10.01, end: 29.5}]}"},
      {CutListKind::ConcatScript,
       "ffconcat version 1.0\nfile rec.ts\noutpoint 5\nfile rec.ts\ninpoint 10.01\n"
       "duration 19.49\n"},
      {CutListKind::AvidemuxProject,
       "adm.loadVideo(\"rec.ts\")\nadm.clearSegments()\nadm.addSegment(0, 0, 5000000)\n"
       "adm.addSegment(0, 10010000, 19490000)\n"},
  };
  static_assert(std::size(lists) == static_cast<std::size_t>(CutListKind::Count));
  const int spans[][2] = {{0, 1500},     {4000, 5004}, {4000, 5005},   {4000, 7000},  {9976, 12000},
                          {9977, 12000}, {6000, 9000}, {12345, 29999}, {29000, 31000}};
  std::string srt;
  std::string vtt = "WEBVTT\n\n";
  std::string ass = "[Events]\n";
  int number = 0;
  for (const auto& span : spans) {
    const TimeFields a = millisecond_fields(span[0]);
    const TimeFields b = millisecond_fields(span[1]);
    char line[160];
    std::snprintf(line, sizeof line, "%d\n%02d:%02d:%02d,%03d --> %02d:%02d:%02d,%03d\nx\n\n",
                  ++number, a.hours, a.minutes, a.seconds, a.fraction, b.hours, b.minutes,
                  b.seconds, b.fraction);
    srt += line;
    std::snprintf(line, sizeof line, "%02d:%02d:%02d.%03d --> %02d:%02d:%02d.%03d\nx\n\n", a.hours,
                  a.minutes, a.seconds, a.fraction, b.hours, b.minutes, b.seconds, b.fraction);
    vtt += line;
    const TimeFields c = centisecond_fields(span[0] / 10);
    const TimeFields d = centisecond_fields(span[1] / 10);
    std::snprintf(line, sizeof line, "Dialogue: 0,%d:%02d:%02d.%02d,%d:%02d:%02d.%02d,x\n", c.hours,
                  c.minutes, c.seconds, c.fraction, d.hours, d.minutes, d.seconds, d.fraction);
    ass += line;
  }
  const test::TempDir dir;
  const std::string path = (dir.path / "times.txt").string();
  ASSERT_TRUE(test::write_file(path, constant_rate_timecodes(1200)));
  const Log quiet{nullptr, nullptr, LogLevel::Error};
  FrameClock timecodes;
  ASSERT_TRUE(read_timecode_file(path, quiet, timecodes));
  const FrameClock rate = constant_clock(FrameRate{30000, 1001});
  for (const auto& list : lists) {
    for (const char* extension : {".srt", ".vtt", ".ass"}) {
      const SubtitleFormat& format = *find_subtitle_format(extension);
      const std::string& input = extension == std::string(".srt")   ? srt
                                 : extension == std::string(".vtt") ? vtt
                                                                    : ass;
      for (const int delay_ms : {0, -1500}) {
        std::string written[2];
        const FrameClock* clocks[2] = {&rate, &timecodes};
        for (int i = 0; i < 2; ++i) {
          CutMap map;
          ASSERT_EQ(read_cut_list_bytes(list.list, list.kind, *clocks[i], quiet, map),
                    CutListRead::Read)
              << list.list;
          Timing timing;
          timing.clock = *clocks[i];
          timing.delay_ms = delay_ms;
          RewriteCounts counts;
          ASSERT_EQ(rewrite_text(format, input, format, map, timing, counts, written[i]),
                    RewriteOutcome::Written);
        }
        EXPECT_EQ(written[1], written[0]) << "kind " << static_cast<int>(list.kind) << ", "
                                          << extension << ", delay " << delay_ms;
      }
    }
  }
}

}  // namespace
}  // namespace mendra
