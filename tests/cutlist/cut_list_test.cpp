// The frame around every reader: opening, failures, the closing -1, -1 and
// the cut summary.
#include "cutlist/cut_list.h"

#include <gtest/gtest.h>

#include <string>

#include "cut_list_fixture.h"
#include "cutlist/cut_readers.h"

namespace mendra {
namespace {

using enum CutListKind;

using testing_support::CutListOutcome;
using testing_support::summary_text;
using testing_support::zero_summary;

class CutListFrameTest : public testing_support::CutListTest {};

TEST_F(CutListFrameTest, MissingFileFailsSilentlyWithEmptyMap) {
  for (int kind = 0; kind < static_cast<int>(Count); ++kind) {
    SCOPED_TRACE(::testing::Message() << "kind " << kind);
    const CutListOutcome out =
        read((dir_.path / "missing_del.txt").string(), static_cast<CutListKind>(kind));
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.map, CutMap{});
    EXPECT_EQ(out.log, "");
  }
}

TEST_F(CutListFrameTest, DirectoryCannotBeOpened) {
  const CutListOutcome out = read(dir_.path.string(), DelList);
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.map, CutMap{});
  EXPECT_EQ(out.log, "");
}

class CutListBadKindTest : public testing_support::CutListTest,
                           public ::testing::WithParamInterface<int> {};

TEST_P(CutListBadKindTest, UnknownKindFailsWithZeroSummary) {
  const CutListOutcome out =
      read_text("0 * 999\n100 - 199\n", static_cast<CutListKind>(GetParam()));
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, zero_summary());
}

INSTANTIATE_TEST_SUITE_P(Kinds, CutListBadKindTest, ::testing::Values(-1, 7, 100, -2147483647 - 1));

TEST_F(CutListFrameTest, SilentInfoKeepsErrors) {
  settings_.log_info = log_silent;
  settings_.log_debug = log_silent;
  CutListOutcome out = read_text("no header\n", DelList);
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.log, "list file read error\n");
  out = read_text("", KeyAuto);
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.log, " [key]\tAuto: Err!! Not select Odd/Even.\n\n");
}

TEST_F(CutListFrameTest, EachCallStartsAfresh) {
  settings_ = RunSettings{};
  settings_.log_info = log_silent;
  CutMap map;
  const std::string del = write_file("a_del.txt", "0 * 999\n100 - 199\n");
  const std::string key = write_file("a.keys", "10\n20\n");
  ASSERT_TRUE(read_cut_list(del, DelList, map, settings_));
  EXPECT_EQ(map, (CutMap{-1, -1, 100, 199, 1000, -1, -1}));
  ASSERT_TRUE(read_cut_list(key, KeyRanges, map, settings_));
  EXPECT_EQ(map, (CutMap{-1, 9, 21, -1, -1}));
  ASSERT_TRUE(read_cut_list_bytes("10\n20\n", KeyRanges, map, settings_));
  EXPECT_EQ(map, (CutMap{-1, 9, 21, -1, -1}));
  ASSERT_TRUE(read_cut_list(del, DelList, map, settings_));
  EXPECT_EQ(map, (CutMap{-1, -1, 100, 199, 1000, -1, -1}));
}

// A list in a file reads exactly as the same bytes in memory: result, map
// and every message, for each kind.
struct FileCase {
  CutListKind kind;
  const char* bytes;
};

void PrintTo(const FileCase& c, std::ostream* os) {
  *os << "kind " << static_cast<int>(c.kind);
}

class CutListFileTest : public testing_support::CutListTest,
                        public ::testing::WithParamInterface<FileCase> {};

TEST_P(CutListFileTest, FileReadsLikeBytes) {
  const FileCase& c = GetParam();
  const CutListOutcome from_file = read(write_file("list.txt", c.bytes), c.kind);
  const CutListOutcome from_bytes = read_text(c.bytes, c.kind);
  EXPECT_EQ(from_file.ok, from_bytes.ok);
  EXPECT_EQ(from_file.map, from_bytes.map);
  EXPECT_EQ(from_file.log, from_bytes.log);
  EXPECT_NE(from_file.map, CutMap{});
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CutListFileTest,
    ::testing::Values(FileCase{KeyAuto, "100\r\n200\r\n300\r\n400\r\n"}, FileCase{KeyAuto, ""},
                      FileCase{KeyOdd, "0\n10\n22\n"}, FileCase{KeyEven, "5\n10\n22\n"},
                      FileCase{KeyRanges, "10\n20\n"},
                      FileCase{AvsTrim, "Trim(0,100) ++ Trim(200,-50)\r\n"},
                      FileCase{VcfRanges, "VirtualDub.subset.AddRange(0,100);\r\n"},
                      FileCase{DelList, "# c\r\n0 * 999\r\n100 - 199\r\n500\r\n"},
                      FileCase{DelList, "no header\n"}));

struct SummaryCase {
  int kept_frames;
  int cut_frames;
  int fps;
  const char* kept_time;
  const char* cut_time;
};

void PrintTo(const SummaryCase& c, std::ostream* os) {
  *os << c.kept_frames << "/" << c.cut_frames << " at fps " << c.fps;
}

class CutSummaryTest : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(CutSummaryTest, PrintsFramesAndTimes) {
  const SummaryCase& c = GetParam();
  RunSettings settings;
  settings.fps = c.fps;
  ::testing::internal::CaptureStderr();
  print_cut_summary(CutCounters{c.kept_frames, c.cut_frames}, settings);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            summary_text(c.kept_frames, c.kept_time, c.cut_frames, c.cut_time));
}

INSTANTIATE_TEST_SUITE_P(
    Times, CutSummaryTest,
    ::testing::Values(
        // 1800 x 1001 / 30 = 60060 ms; 300 x 1001 / 30 = 10010 ms.
        SummaryCase{1800, 300, 30, "00:01:00.060", "00:00:10.010"},
        SummaryCase{1800, 300, 24, "00:01:15.075", "00:00:12.512"},
        SummaryCase{0, 0, 30, "00:00:00.000", "00:00:00.000"},
        SummaryCase{1, 2, 30, "00:00:00.033", "00:00:00.066"},
        // 107892 x 1001 / 30 = 3599996.4 ms, truncated; one frame more passes
        // the hour.
        SummaryCase{107892, 107893, 30, "00:59:59.996", "01:00:00.029"},
        // The hour field runs modulo 60: 216000017 ms are 60 hours.
        SummaryCase{6473527, 0, 30, "00:00:00.017", "00:00:00.000"},
        // Counts near the int limits saturate the milliseconds.
        SummaryCase{2147483647, -2147483647 - 1, 30, "56:31:23.647", "-56:-31:-23.-648"},
        // Negative counts print each field with its sign.
        SummaryCase{-99, -1, 30, "00:00:-3.-303", "00:00:00.-33"},
        // Whole milliseconds stay whole: 30 frames at 29.97 last 1001 ms,
        // a frame at 1001/1.001 lasts 1 ms, and the largest fps cancels.
        SummaryCase{30, 3000, 30, "00:00:01.001", "00:01:40.100"},
        SummaryCase{123456, 3, 1001, "00:02:03.456", "00:00:00.003"},
        SummaryCase{2147483647, 2147483647, 2147483647, "00:00:01.001", "00:00:01.001"},
        // A fps below 1 (never passed by the driver) counts as 30.
        SummaryCase{1800, 300, 0, "00:01:00.060", "00:00:10.010"},
        SummaryCase{1800, 300, -5, "00:01:00.060", "00:00:10.010"}));

TEST(CutSummarySilentTest, SilentInfoPrintsNothing) {
  RunSettings settings;
  settings.log_info = log_silent;
  ::testing::internal::CaptureStderr();
  print_cut_summary(CutCounters{1800, 300}, settings);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace mendra
