#include "chapter/chapters.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <ostream>
#include <string>

#include "time/frame_clock.h"

namespace mendra {
namespace {

// At 25 fps (frames of 40 ms): keeps frames 100..199 and 300..399, so the
// source's 4 s to 8 s become 0 s to 4 s and its 12 s to 16 s become 4 s to
// 8 s; the cut video ends at 8 s.
const CutMap kTwoSegments = {-1, 99, 200, 299, 400, -1, -1};

void capture_log(void* user, LogLevel /*level*/, const char* format, std::va_list args) {
  char text[1024];
  std::vsnprintf(text, sizeof text, format, args);
  *static_cast<std::string*>(user) += text;
}

struct ChapterCase {
  const char* label;
  std::string input;
  int delay_ms;
  std::string expected;  // the file written
  int kept;
  int left_out;
  std::string message;  // what the log must hold; "" for nothing
};

void PrintTo(const ChapterCase& c, std::ostream* os) {
  *os << c.label;
}

std::string name_of(const ::testing::TestParamInfo<ChapterCase>& info) {
  return info.param.label;
}

class ChapterRetimeTest : public ::testing::TestWithParam<ChapterCase> {};

TEST_P(ChapterRetimeTest, WritesTheChaptersOfTheCutVideo) {
  const ChapterCase& c = GetParam();
  Timing timing;
  timing.clock = constant_clock(FrameRate{25, 1});
  timing.delay_ms = c.delay_ms;
  std::string messages;
  const Log log{capture_log, &messages, LogLevel::Warning};
  ChapterCounts counts;
  std::string output;
  ASSERT_EQ(retime_chapter_text(c.input, "in", kTwoSegments, timing, log, counts, output),
            ChapterOutcome::Written)
      << messages;
  EXPECT_EQ(output, c.expected);
  EXPECT_EQ(counts.kept, c.kept);
  EXPECT_EQ(counts.left_out, c.left_out);
  if (c.message.empty()) {
    EXPECT_EQ(messages, "");
  } else {
    EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ChapterRetimeTest,
    ::testing::Values(
        // In deleted material to the cut point, where the chapter of the
        // kept frame after it replaces it; past the end left out; the rest
        // numbered again, the names as they were.
        ChapterCase{"OgmRules",
                    "CHAPTER01=00:00:02.000\r\nCHAPTER01NAME=Ad\r\n"
                    "CHAPTER02=00:00:04.000\r\nCHAPTER02NAME=Part 1\r\n"
                    "CHAPTER03=00:00:05.010\r\nCHAPTER03NAME=Scene\r\n"
                    "CHAPTER04=00:00:09.000\r\nCHAPTER04NAME=Ad 2\r\n"
                    "CHAPTER05=00:00:12.020\r\nCHAPTER05NAME=Part 2\r\n"
                    "CHAPTER06=00:00:20.000\r\nCHAPTER06NAME=After\r\n",
                    0,
                    "CHAPTER01=00:00:00.000\r\nCHAPTER01NAME=Part 1\r\n"
                    "CHAPTER02=00:00:01.010\r\nCHAPTER02NAME=Scene\r\n"
                    "CHAPTER03=00:00:04.000\r\nCHAPTER03NAME=Ad 2\r\n"
                    "CHAPTER04=00:00:04.020\r\nCHAPTER04NAME=Part 2\r\n",
                    4, 2,
                    "1 chapters of in land on the time of a later chapter and are left out: "
                    "\"Ad\" (line 1)"},
        // The delay after the cut; a line whose time cannot be read copied
        // and counted.
        ChapterCase{"OgmDelayAndUnreadLine",
                    "CHAPTER01=00:00:04.000\nCHAPTER01NAME=A\nCHAPTER02=4:00\nCHAPTER02NAME=B\n",
                    100,
                    "CHAPTER01=00:00:00.100\nCHAPTER01NAME=A\nCHAPTER02=4:00\nCHAPTER02NAME=B\n", 1,
                    0, "1 lines of in were not re-timed (first: line 3)"},
        // Each section in its own time base, exactly: 15/3 s is 5 s, whose
        // cut time 1 s is 3 units; an end at the end of the video stays
        // there.
        ChapterCase{"FfmetadataTimeBases",
                    ";FFMETADATA1\ntitle=Show\n[CHAPTER]\nTIMEBASE=1/3\nSTART=15\nEND=16\n"
                    "title=Thirds\n[CHAPTER]\nTIMEBASE=1/90000\nSTART=450900\nEND=1440000\n"
                    "[STREAM]\nSTART=1\n",
                    0,
                    ";FFMETADATA1\ntitle=Show\n[CHAPTER]\nTIMEBASE=1/3\nSTART=3\nEND=4\n"
                    "title=Thirds\n[CHAPTER]\nTIMEBASE=1/90000\nSTART=90900\nEND=720000\n"
                    "[STREAM]\nSTART=1\n",
                    2, 0, ""},
        // Nanoseconds inside a frame kept; a chapter past the end goes with
        // the chapter nested in it; the chapters of another edition do not
        // make way for those of the first.
        ChapterCase{"MatroskaNestedAndEditions",
                    "<?xml version=\"1.0\"?>\n<Chapters>\n"
                    "  <EditionEntry>\n"
                    "    <ChapterAtom><ChapterTimeStart>00:00:05.000000001</ChapterTimeStart>"
                    "<ChapterTimeEnd>00:00:09.000000000</ChapterTimeEnd></ChapterAtom>\n"
                    "    <ChapterAtom>\n"
                    "      <ChapterTimeStart>00:00:30.000000000</ChapterTimeStart>\n"
                    "      <ChapterAtom><ChapterTimeStart>00:00:31.0</ChapterTimeStart>"
                    "</ChapterAtom>\n"
                    "    </ChapterAtom>\n"
                    "  </EditionEntry>\n"
                    "  <EditionEntry><!-- <ChapterTimeStart>00:00:05.0</ChapterTimeStart> -->\n"
                    "    <ChapterAtom><ChapterTimeStart>00:00:05.000000001</ChapterTimeStart>"
                    "</ChapterAtom>\n"
                    "  </EditionEntry>\n</Chapters>\n",
                    0,
                    "<?xml version=\"1.0\"?>\n<Chapters>\n"
                    "  <EditionEntry>\n"
                    "    <ChapterAtom><ChapterTimeStart>00:00:01.000000001</ChapterTimeStart>"
                    "<ChapterTimeEnd>00:00:04.000000000</ChapterTimeEnd></ChapterAtom>\n"
                    "  </EditionEntry>\n"
                    "  <EditionEntry><!-- <ChapterTimeStart>00:00:05.0</ChapterTimeStart> -->\n"
                    "    <ChapterAtom><ChapterTimeStart>00:00:01.000000001</ChapterTimeStart>"
                    "</ChapterAtom>\n"
                    "  </EditionEntry>\n</Chapters>\n",
                    2, 2, ""}),
    name_of);

// Files that hold no chapter to re-time fail, and nothing is written.
TEST(ChapterRetimeTest, NothingReadableFails) {
  Timing timing;
  timing.clock = constant_clock(FrameRate{25, 1});
  for (const char* input :
       {"", "hello\n", "CHAPTER01=x\nCHAPTER01NAME=y\n", ";FFMETADATA1\n[CHAPTER]\nSTART=abc\n",
        "<Chapters><EditionEntry>", "<Other><Chapters/></Other>", "\xFF\xFE<\0C\0"}) {
    std::string messages;
    const Log log{capture_log, &messages, LogLevel::Warning};
    ChapterCounts counts;
    std::string output = "stale";
    EXPECT_EQ(retime_chapter_text(input, "in", kTwoSegments, timing, log, counts, output),
              ChapterOutcome::Failed)
        << input;
    EXPECT_EQ(output, "") << input;
    EXPECT_NE(messages, "") << input;
  }
}

}  // namespace
}  // namespace mendra
