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

using test::CutListOutcome;
using test::summary_text;
using test::zero_summary;

class CutListFrameTest : public test::CutListTest {};

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

class CutListBadKindTest : public test::CutListTest, public ::testing::WithParamInterface<int> {};

TEST_P(CutListBadKindTest, UnknownKindFailsWithZeroSummary) {
  const CutListOutcome out =
      read_text("0 * 999\n100 - 199\n", static_cast<CutListKind>(GetParam()));
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, zero_summary());
}

INSTANTIATE_TEST_SUITE_P(Kinds, CutListBadKindTest,
                         ::testing::Values(-1, static_cast<int>(CutListKind::Count), 100,
                                           -2147483647 - 1));

TEST_F(CutListFrameTest, SilentInfoKeepsErrorsAndWarnings) {
  log_.level = LogLevel::Warning;
  CutListOutcome out = read_text("no header\n", DelList);
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.log, "no cuts could be read from <memory> (1 lines, first: line 1)\n");
  out = read_text("junk\n1 2\n", Edl);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.log, "warning: 1 lines of <memory> could not be read (first: line 1)\n");
}

// A list that has lines to read, none of which its reader could, is
// refused: it must not pass for a list that cuts nothing. A line the reader
// reads counts, a header or a comment included.
TEST_F(CutListFrameTest, ListOfWhichNothingCouldBeReadIsRejected) {
  struct Case {
    const char* name;
    CutListKind kind;
    const char* bytes;
    CutListRead read;
    const char* message;  // after the reader's own lines, before the summary
  };
  const Case cases[] = {
      {"mpv EDL without a time", Edl, "# mpv EDL v0\nrec.ts,ten,20\n", CutListRead::Rejected,
       "no cuts could be read from <memory> (1 lines, first: line 2)\n"},
      {"mpv EDL as EDL", Edl, "# mpv EDL v0\nrec.ts,10,20\n", CutListRead::Read, ""},
      {"project not JSON5", KeptSegments, "{\n  cutSegments: [\n    {start: 1 end: 2},\n  ]\n}\n",
       CutListRead::Rejected, "no cuts could be read from <memory> (5 lines, first: line 3)\n"},
      {"project without segments", KeptSegments, "{version: 2}", CutListRead::Rejected,
       "no cuts could be read from <memory> (1 lines, first: line 1)\n"},
      {"project of markers only", KeptSegments, "{cutSegments: [{start: 1}]}", CutListRead::Read,
       "warning: 1 segments of <memory> have no end: markers, they keep nothing (first: line 1)\n"},
      {"concat script of junk", ConcatScript, "filee a.ts\ninpoint 1\n", CutListRead::Rejected,
       "no cuts could be read from <memory> (2 lines, first: line 1)\n"},
      {"concat header only", ConcatScript, "ffconcat version 1.0\n", CutListRead::Read, ""},
      {"Avidemux segments unreadable", AvidemuxProject,
       "adm.addSegment(0, start, 10)\nadm.markerA = x\nadm.videoCodec(\"Copy\")\n",
       CutListRead::Rejected, "no cuts could be read from <memory> (2 lines, first: line 1)\n"},
      {"binary as EDL", Edl, "\x01\x02\n\n\xFF\xFE x y z w\n", CutListRead::Rejected,
       "no cuts could be read from <memory> (2 lines, first: line 1)\n"},
      {"one good EDL line", Edl, "junk\n1 2\n", CutListRead::Read,
       "warning: 1 lines of <memory> could not be read (first: line 1)\n"},
      {"comments only", Edl, "# nothing cut\n\n", CutListRead::Read, ""},
      {"segments without a time", KeptSegments, "1,x\n2,y\n", CutListRead::Rejected,
       "no cuts could be read from <memory> (2 lines, first: line 1)\n"},
      {"segments header only", KeptSegments, "start,end\n", CutListRead::Read, ""},
      {"keyframes without a number", KeyRanges, "a\nb\n\nc\n", CutListRead::Rejected,
       "no cuts could be read from <memory> (3 lines, first: line 1)\n"},
      {"keyframes one number", KeyRanges, "a\n5\n", CutListRead::Read,
       "warning: 1 lines of <memory> could not be read (first: line 1)\n"},
      {"keyframes blank", KeyOdd, "\n\n", CutListRead::Empty, ""},
      {"keyframes of a CSV", KeyRanges, "3.33,6.67\n10.01,13.34\n", CutListRead::Rejected,
       "no cuts could be read from <memory> (2 lines, first: line 1)\n"},
      {"keyframes partly a CSV", KeyRanges, "100\n3.33,6.67\n199\n", CutListRead::Read,
       "warning: 1 lines of <memory> could not be read (first: line 2)\n"},
      {"AviUtl header only", DelList, "0 * 999999\n", CutListRead::Read, ""},
      {"AviUtl without header", DelList, "# c\n100 - 199\n\n5\n", CutListRead::Rejected,
       "no cuts could be read from <memory> (2 lines, first: line 2)\n"},
      {"AviUtl empty", DelList, "", CutListRead::Empty, ""},
      {"AviSynth without Trim", AvsTrim, "AviSource(\"a.avi\")\n# Trim(0,9)\n",
       CutListRead::Rejected, "no cuts could be read from <memory> (1 lines, first: line 1)\n"},
      {"VirtualDub indented", VcfRanges, "  VirtualDub.subset.AddRange(0,9);\n",
       CutListRead::Rejected, "no cuts could be read from <memory> (1 lines, first: line 1)\n"},
      {"VirtualDub empty", VcfRanges, "\n", CutListRead::Empty, ""},
      {"segments empty", KeptSegments, "", CutListRead::Empty, ""},
  };
  log_.level = LogLevel::Warning;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CutListOutcome out = read_text(c.bytes, c.kind);
    EXPECT_EQ(out.read, c.read);
    EXPECT_EQ(out.log, c.message);
    if (c.read == CutListRead::Rejected) {
      EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
    }
  }
}

// A list that opens but cannot be read to its end (reading this process's
// memory from address 0 fails) is refused as a read error.
TEST_F(CutListFrameTest, ReadErrorRejectsTheList) {
  if (!std::filesystem::exists("/proc/self/mem")) GTEST_SKIP() << "no /proc/self/mem";
  log_.level = LogLevel::Warning;
  const CutListOutcome out = read("/proc/self/mem", DelList);
  EXPECT_EQ(out.read, CutListRead::Rejected);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, "list file read error: /proc/self/mem: Input/output error\n");
}

TEST_F(CutListFrameTest, EachCallStartsAfresh) {
  log_.level = LogLevel::Error;
  CutMap map;
  const std::string del = write_file("a_del.txt", "0 * 999\n100 - 199\n");
  const std::string key = write_file("a.keys", "10\n20\n");
  ASSERT_TRUE(read_cut_list(del, DelList, clock_, log_, map) == CutListRead::Read);
  EXPECT_EQ(map, (CutMap{-1, -1, 100, 199, 1000, -1, -1}));
  ASSERT_TRUE(read_cut_list(key, KeyRanges, clock_, log_, map) == CutListRead::Read);
  EXPECT_EQ(map, (CutMap{-1, 9, 21, -1, -1}));
  ASSERT_TRUE(read_cut_list_bytes("10\n20\n", KeyRanges, clock_, log_, map) == CutListRead::Read);
  EXPECT_EQ(map, (CutMap{-1, 9, 21, -1, -1}));
  ASSERT_TRUE(read_cut_list(del, DelList, clock_, log_, map) == CutListRead::Read);
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

class CutListFileTest : public test::CutListTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(CutListFileTest, FileReadsLikeBytes) {
  const FileCase& c = GetParam();
  const CutListOutcome from_file = read(write_file("list.txt", c.bytes), c.kind);
  const CutListOutcome from_bytes = read_text(c.bytes, c.kind);
  EXPECT_EQ(from_file.ok, from_bytes.ok);
  EXPECT_EQ(from_file.map, from_bytes.map);
  // Messages name the list by its path, or <memory>.
  std::string file_log = from_file.log;
  const std::string path = (dir_.path / "list.txt").string();
  if (const std::size_t at = file_log.find(path); at != std::string::npos) {
    file_log.replace(at, path.size(), "<memory>");
  }
  EXPECT_EQ(file_log, from_bytes.log);
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

// A UTF-8 byte-order mark at the start reads like no mark, for every kind;
// also after the automatic keyframe choice has rewound the list.
struct BomCase {
  CutListKind kind;
  const char* bytes;
};

void PrintTo(const BomCase& c, std::ostream* os) {
  *os << "kind " << static_cast<int>(c.kind);
}

class CutListBomTest : public test::CutListTest, public ::testing::WithParamInterface<BomCase> {};

TEST_P(CutListBomTest, MarkAtTheStartIsSkipped) {
  const BomCase& c = GetParam();
  const std::string marked = std::string("\xEF\xBB\xBF") + c.bytes;
  const CutListOutcome with_mark = read(write_file("list.txt", marked), c.kind);
  const CutListOutcome in_memory = read_text(marked, c.kind);
  const CutListOutcome without = read_text(c.bytes, c.kind);
  EXPECT_TRUE(with_mark.ok);
  EXPECT_EQ(with_mark.map, without.map);
  EXPECT_EQ(with_mark.log, without.log);
  EXPECT_EQ(in_memory.map, without.map);
  EXPECT_EQ(in_memory.log, without.log);
  EXPECT_TRUE(keeps_any_frame(without.map));
}

INSTANTIATE_TEST_SUITE_P(Kinds, CutListBomTest,
                         ::testing::Values(BomCase{KeyAuto, "100\n199\n300\n399\n"},
                                           BomCase{KeyOdd, "100\n199\n300\n399\n"},
                                           BomCase{KeyEven, "100\n199\n300\n399\n"},
                                           BomCase{KeyRanges, "100\n199\n300\n399\n"},
                                           BomCase{AvsTrim, "Trim(0,99)\n__END__\nTrim(200,299)\n"},
                                           BomCase{AvsTrim, "Trim(0,99)\n"},
                                           BomCase{VcfRanges,
                                                   "VirtualDub.subset.AddRange(100,100);\r\n"
                                                   "VirtualDub.subset.AddRange(300,100);\r\n"},
                                           BomCase{DelList, "0 * 399\r\n200 - 299\r\n"}));

TEST_F(CutListFrameTest, OnlyAWholeMarkIsSkipped) {
  traces_only();
  // Two bytes of the mark are text: the first value reads as 0.
  EXPECT_EQ(read_text("\xEF\xBB"
                      "7\n9\n",
                      KeyRanges)
                .map,
            (CutMap{-1, -1, 10, -1, -1}));
  // A mark after the start is text too: the range 7..0 ends before it
  // begins and keeps nothing.
  EXPECT_EQ(read_text("7\n\xEF\xBB\xBF"
                      "9\n",
                      KeyRanges)
                .map,
            (CutMap{-1, -1, -1}));
  // A mark alone is an empty list.
  const CutListOutcome only_mark = read_text("\xEF\xBB\xBF", KeyAuto);
  EXPECT_EQ(only_mark.read, CutListRead::Empty);
}

TEST_F(CutListFrameTest, OrderWarningNamesTheList) {
  traces_only();
  const std::string path = write_file("cut.vcf",
                                      "VirtualDub.subset.AddRange(300,100);\n"
                                      "VirtualDub.subset.AddRange(0,100);\n");
  const CutListOutcome out = read(path, VcfRanges);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 299, 400, -1, 100, -1, -1}));
  EXPECT_EQ(out.log,
            "\tRange:\ts=300\te=399\n\tRange:\ts=0\te=99\n\n"
            "warning: kept ranges out of order or overlapping in " +
                path + "\n");
  // Ranges in order, touching ones included, and empty ranges between them
  // are no cause for a warning.
  const CutListOutcome in_order = read_text("0\n99\n100\n199\n500\n400\n600\n700\n", KeyRanges);
  EXPECT_EQ(in_order.log.find("warning"), std::string::npos);
}

// Whether a finished map keeps at least one frame.
struct KeepsCase {
  CutMap map;
  bool keeps;
};

class KeepsAnyFrameTest : public ::testing::TestWithParam<KeepsCase> {};

TEST_P(KeepsAnyFrameTest, LooksForAKeptStretchWithAFrame) {
  EXPECT_EQ(keeps_any_frame(GetParam().map), GetParam().keeps)
      << ::testing::PrintToString(GetParam().map);
}

INSTANTIATE_TEST_SUITE_P(
    Maps, KeepsAnyFrameTest,
    ::testing::Values(KeepsCase{{-1, -1, -1}, false},                 // no range
                      KeepsCase{{}, false}, KeepsCase{{-1}, false},   // cut short
                      KeepsCase{{-1, -1, 0, -1, -1}, false},          // 0 .. -1
                      KeepsCase{{-1, 4, 6, -1, -1}, true},            // frame 5 alone
                      KeepsCase{{-1, 5, 6, -1, -1}, false},           // 6 .. 5
                      KeepsCase{{-1, 9, 0, 5, 7, -1, -1}, true},      // second range 6
                      KeepsCase{{-1, -1, 2147483647, -1, -1}, true},  // identity
                      KeepsCase{{-1, 2147483646, -2147483647 - 1, -1, -1}, false},  // wrapped
                      KeepsCase{{-1, -2147483647 - 1, 2147483647, -1, -1}, true}));

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

// The counts of kept and cut frames from frame 0, with their durations on
// the clock as the builder sums them.
CutCounters frames_from_zero(const FrameClock& clock, int kept_frames, int cut_frames) {
  return CutCounters{kept_frames, cut_frames, frame_start(clock, kept_frames),
                     frame_start(clock, cut_frames)};
}

TEST_P(CutSummaryTest, PrintsFramesAndTimes) {
  const SummaryCase& c = GetParam();
  const FrameClock clock = constant_clock(fps_frame_rate(c.fps));
  ::testing::internal::CaptureStderr();
  print_cut_summary(frames_from_zero(clock, c.kept_frames, c.cut_frames), clock, Log{});
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
  ::testing::internal::CaptureStderr();
  print_cut_summary(frames_from_zero(FrameClock{}, 1800, 300), FrameClock{},
                    Log{stderr_message_sink, nullptr, LogLevel::Error});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace mendra
