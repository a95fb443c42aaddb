#include "subtitle/rewrite.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <ostream>
#include <string>

#include "support/run_binary.h"

namespace mendra {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::read_file;
using test::write_file;

// Collects what a channel reports in the string its user data points to.
int capture_log(void* user, std::FILE* /*stream*/, const char* format, std::va_list args) {
  char text[1024];
  std::vsnprintf(text, sizeof text, format, args);
  *static_cast<std::string*>(user) += text;
  return 0;
}

const SubtitleFormat& format(const char* extension) {
  const SubtitleFormat* found = find_subtitle_format(extension);
  if (found == nullptr) ADD_FAILURE() << "no format " << extension;
  return found != nullptr ? *found : subtitle_formats().front();
}

class RewriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.log_error = LogChannel{capture_log, &errors_};
    settings_.log_info = LogChannel{capture_log, &infos_};
  }

  std::string base(const std::string& name) const { return (dir_.path / name).string(); }

  // Re-times `input` held in memory; no message is expected.
  std::string run(const char* extension, const std::string& input,
                  NotRetimed* not_retimed = nullptr) {
    std::string output = rewrite_text(format(extension), input, map_, settings_, not_retimed);
    EXPECT_EQ(errors_, "");
    return output;
  }
  std::string ass(const std::string& input) { return run(".ass", input); }
  std::string srt(const std::string& input) { return run(".srt", input); }

  std::string errors_;  // what the error channel reported
  std::string infos_;   // what the info channel reported
  test::TempDir dir_;
  CutMap map_ = {-1, 99, 200, 299, 400, -1, -1};  // keeps 100..199 and 300..399
  RunSettings settings_;
};

TEST_F(RewriteTest, AssWorkedExample) {
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
  EXPECT_EQ(ass(input), header +
                            "Dialogue: 0,0:00:01.66,0:00:03.33,Default,,0,0,0,,Hello\n"
                            "Comment: 0,0:00:05.00,0:00:08.00,Default,,0,0,0,,note\n"
                            "Dialogue: 1,0:00:00.00,0:00:02.66,Default,,0,0,0,,A\n"
                            "Dialogue: 0,0:00:05.33,0:00:06.67,Default,,0,0,0,,B\n"
                            "Dialogue: 0,0:00:01.66,0:00:03.33,Default,,0,0,0,,last");
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
  NotRetimed not_retimed;
  EXPECT_EQ(run(".ass", GetParam().input, &not_retimed), GetParam().expected);
  EXPECT_EQ(not_retimed.count, GetParam().not_retimed);
  EXPECT_EQ(not_retimed.first_line, GetParam().first_not_retimed);
}

const std::string kLongText(400, 'k');

INSTANTIATE_TEST_SUITE_P(
    Cases, AssLineTest,
    ::testing::Values(
        LineCase{"TwoDigitStartHoursNotMatched", "Dialogue: 0,10:00:05.00,0:00:08.00,x\n",
                 "Dialogue: 0,10:00:05.00,0:00:08.00,x\n", 1, 1},
        LineCase{"LeadingSpaceCountedNotRetimed",
                 "[Events]\nComment: 0,bad\n Dialogue: 0,0:00:12.00,0:00:14.00,x\n"
                 "Dialogue: 0,0:00:12.000,0:00:14.000,x\nDialogue: Marked=0,0:00:12.00,x\n",
                 "[Events]\nComment: 0,bad\n Dialogue: 0,0:00:12.00,0:00:14.00,x\n"
                 "Dialogue: 0,0:00:12.000,0:00:14.000,x\nDialogue: Marked=0,0:00:12.00,x\n",
                 3, 3},
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
        LineCase{"NulBeforeTimesNotMatched", "Dialogue: 0,0:00\0:05.00,0:00:08.00,x\n"s,
                 "Dialogue: 0,0:00\0:05.00,0:00:08.00,x\n"s, 1, 1},
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
  EXPECT_EQ(srt("1\n00:00:05,000 --> 00:00:08,000\nHello\n\n"
                "2\n00:00:07,000 --> 00:00:09,000\nBye\n\n"
                "3\n00:00:12,000 --> 00:00:14,000\nAgain\n\n"),
            "1\n00:00:01,663 --> 00:00:03,336\nHello\n\n"
            "2\n00:00:05,326 --> 00:00:06,673\nAgain\n\n");
}

class SrtFileTest : public RewriteTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(SrtFileTest, RewritesCues) {
  NotRetimed not_retimed;
  EXPECT_EQ(run(".srt", GetParam().input, &not_retimed), GetParam().expected);
  EXPECT_EQ(not_retimed.count, GetParam().not_retimed);
  EXPECT_EQ(not_retimed.first_line, GetParam().first_not_retimed);
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
        LineCase{"TextAfterEndTimeLost", "1\n00:00:05,000 --> 00:00:08,000  X1:10 X2:20\na\n\n",
                 "1\n00:00:01,663 --> 00:00:03,336\na\n\n"},
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
  NotRetimed not_retimed;
  EXPECT_EQ(run(".vtt", GetParam().input, &not_retimed), GetParam().expected);
  EXPECT_EQ(not_retimed.count, GetParam().not_retimed);
  EXPECT_EQ(not_retimed.first_line, GetParam().first_not_retimed);
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
        // 5.5 s and 6 s map as starts; 7.5 s lies in deleted material and
        // 4 s before the cue's mapped start, so both are clamped into it.
        LineCase{"TimestampTagsRetimedWithinCue",
                 "00:05.000 --> 00:08.000\n<00:05.500>a <00:00:06.000>b\n"
                 "<00:07.500>c <00:04.000>d <b>e</b> <00:6.000>f <00:06.000 g\n",
                 "00:01.663 --> 00:03.336\n<00:02.163>a <00:00:02.663>b\n"
                 "<00:03.336>c <00:01.663>d <b>e</b> <00:6.000>f <00:06.000 g\n"},
        LineCase{"TagBeyondLastKeptFrameAtCueEnd", "00:12.000 --> 00:20.000\na<00:15.000>b\n",
                 "00:05.326 --> 00:06.673\na<00:06.673>b\n"},
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
                 "\n00:05.000 --> 00:08.0000\ne\n",
                 "WEBVTT\n\n1\n00:00:05,000 --> 00:00:08,000\na\n\n00:5.000 --> 00:08.000\nb\n\n"
                 "stray\ntext\n\n00:60.000 --> 01:00.000\nc\n\n00:05.000 --> 596:31:23.648\nd\n"
                 "\n00:05.000 --> 00:08.0000\ne\n",
                 6, 4},
        LineCase{"SignatureMustStandAlone", "WEBVTTX\n\n00:05.000 --> 00:08.000\na\n",
                 "WEBVTTX\n\n00:01.663 --> 00:03.336\na\n", 1, 1},
        LineCase{"IdentifierAtEndOfFileCopied", "00:05.000 --> 00:08.000\na\n\nlast",
                 "00:01.663 --> 00:03.336\na\n\nlast", 1, 4}),
    [](const ::testing::TestParamInfo<LineCase>& test_info) { return test_info.param.name; });

// Times of an hour or more are written with their hours, which do not wrap.
TEST_F(RewriteTest, VttHoursWrittenFromAnHourOn) {
  settings_.delay_ms = 3600000;
  EXPECT_EQ(run(".vtt", "00:05.000 --> 00:08.000\n<00:06.000>a\n"),
            "01:00:01.663 --> 01:00:03.336\n<01:00:02.663>a\n");
  settings_.delay_ms = 360000000;
  EXPECT_EQ(run(".vtt", "00:05.000 --> 00:08.000\n"), "100:00:01.663 --> 100:00:03.336\n");
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
  EXPECT_EQ(vtt->delay_step_ms, 1);
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
  EXPECT_EQ(rewrite_file(format(c.ext), base("absent"), base("out"), map_, settings_),
            RewriteOutcome::InputMissing);
  EXPECT_EQ(errors_, "input "s + c.name + " open error: " + base("absent") + "\n\t" +
                         base("absent") + c.ext + ": No such file or directory\n");
  EXPECT_EQ(infos_, "");
  EXPECT_TRUE(fs::is_empty(dir_.path));
}

TEST_P(OpenTest, OutputInMissingDirectory) {
  const FormatCase& c = GetParam();
  write_file(base("in") + c.ext, c.input);
  const std::string out = base("missing/out");
  EXPECT_EQ(rewrite_file(format(c.ext), base("in"), out, map_, settings_), RewriteOutcome::Failed);
  EXPECT_EQ(errors_, "output "s + c.name + " open error: " + out + "\n\t" + out + c.ext +
                         ": No such file or directory\n");
  EXPECT_FALSE(fs::exists(base("missing")));
}

TEST_P(OpenTest, OutputOntoDirectoryNamesTheReason) {
  const FormatCase& c = GetParam();
  write_file(base("in") + c.ext, c.input);
  fs::create_directory(base("folder") + c.ext);
  EXPECT_EQ(rewrite_file(format(c.ext), base("in"), base("folder"), map_, settings_),
            RewriteOutcome::Failed);
  EXPECT_EQ(errors_, "output "s + c.name + " open error: " + base("folder") + "\n\t" +
                         base("folder") + c.ext + ": Is a directory\n");
  EXPECT_EQ(infos_, "");
}

// An upper-case extension is the same format, read and written under its
// own name; lines whose times cannot be read give one warning.
TEST_P(OpenTest, UpperCaseExtensionAndWarning) {
  const FormatCase& c = GetParam();
  std::string upper = c.ext;
  for (char& letter : upper) letter = static_cast<char>(std::toupper(letter));
  write_file(base("MOVIE") + upper, c.input + std::string(c.unread) + c.input + c.unread);
  EXPECT_EQ(rewrite_file(format(c.ext), base("MOVIE"), base("MOVIE_new"), map_, settings_, upper),
            RewriteOutcome::Written);
  const std::string output = read_file(base("MOVIE_new") + upper);
  EXPECT_TRUE(output.starts_with(c.expected + std::string(c.unread))) << output;
  EXPECT_TRUE(output.ends_with(c.unread)) << output;
  EXPECT_EQ(output, rewrite_text(format(c.ext), read_file(base("MOVIE") + upper), map_, settings_));
  EXPECT_EQ(errors_, "warning: 2 lines of " + base("MOVIE") + upper +
                         " were not re-timed (first: line " + std::to_string(c.unread_line) +
                         ")\n");
}

TEST_P(OpenTest, OutputOntoInputRetimesInPlace) {
  const FormatCase& c = GetParam();
  write_file(base("same") + c.ext, c.input);
  EXPECT_EQ(rewrite_file(format(c.ext), base("same"), base("same"), map_, settings_),
            RewriteOutcome::Written);
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
  EXPECT_EQ(rewrite_file(format(c.ext), base("in"), base("out"), map_, settings_),
            RewriteOutcome::Written);
  EXPECT_EQ(read_file(base("out") + c.ext), rewrite_text(format(c.ext), input, map_, settings_));
  EXPECT_EQ(errors_, "");
}

// The same in UTF-16 of both orders: units and surrogate pairs that cross
// the read and write buffers, and an odd last byte.
TEST_P(OpenTest, Utf16FileMatchesBuffer) {
  const FormatCase& c = GetParam();
  std::u16string text = u"\u00E9\U0001F600\r\n";
  for (char letter : std::string_view(c.input)) text += static_cast<char16_t>(letter);
  for (int i = 0; i < 12; ++i) text += text;
  for (const bool little_endian : {true, false}) {
    const std::string input = utf16(text, little_endian) + "x";
    write_file(base("in") + c.ext, input);
    EXPECT_EQ(rewrite_file(format(c.ext), base("in"), base("out"), map_, settings_),
              RewriteOutcome::Written);
    const std::string output = read_file(base("out") + c.ext);
    EXPECT_EQ(output, rewrite_text(format(c.ext), input, map_, settings_));
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
                                 "00:01.663 --> 00:03.336\nx\n\n", "00:05 --> 00:08\n", 4}),
    [](const ::testing::TestParamInfo<FormatCase>& test_info) { return test_info.param.name; });

}  // namespace
}  // namespace mendra
