// Timecode files read into a frame clock, the lookups of that clock, the
// cut lists and the cut summary on it, and the cut video's timecode file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "cut_list_fixture.h"
#include "cutlist/cut_list.h"
#include "cutlist/cut_timecodes.h"
#include "time/frame_clock.h"

namespace mendra {
namespace {

using test::CutListOutcome;
using test::summary_text;

class TimecodeTest : public test::CutListTest {
 protected:
  // Reads the bytes as a timecode file into clock_; returns the messages.
  std::string read_clock(const std::string& bytes, bool& ok) {
    const std::string path = write_file("times.txt", bytes);
    captured_.clear();
    ok = read_timecode_file(path, log_, clock_);
    return captured_;
  }

  std::string read_back(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

constexpr std::int64_t kMs = 1000000;  // nanoseconds

// When a frame starts, and which frame is shown at a time, in nanoseconds.
std::int64_t start_ns(const FrameClock& clock, std::int64_t frame) {
  return clock_time_ns(clock, frame_start(clock, frame)).count;
}
ClockTime at_ns(std::int64_t ns) {
  return ClockTime{ns};  // a timecode clock ticks in nanoseconds
}

bool is_constant(const FrameClock& clock) {
  return clock.timecodes == TimecodeFormat::None;
}

TEST_F(TimecodeTest, ReadsEveryFormatAndItsFrameTimes) {
  struct Case {
    const char* name;
    const char* bytes;
    const char* rate_line;  // after "timecodes <file>"
    std::int64_t frame;
    std::int64_t start_ns;
  };
  const Case cases[] = {
      {"v2", "# timestamp format v2\n0\n40\n80.5\n120\n", " (v2, 4 frames)", 2, 80500000},
      {"v2 old header, CR LF, mark, comments",
       "\xEF\xBB\xBF# timecode format v2\r\n# made by hand\r\n\r\n0\r\n33.366667\r\n66.733333\r\n",
       " (v2, 3 frames)", 1, 33366667},
      {"v2 rounds past the nanosecond", "# timestamp format v2\n0\n0.0000005\n10\n",
       " (v2, 3 frames)", 1, 1},
      {"v2 past the end continues", "# timestamp format v2\n0\n40\n100\n", " (v2, 3 frames)", 5,
       280 * kMs},
      {"v2 before the start continues", "# timestamp format v2\n100\n140\n160\n", " (v2, 3 frames)",
       -2, 20 * kMs},
      {"v4 sorted, equal times allowed", "# timestamp format v4\n80\n0\n40\n40\n120\n",
       " (v2, 5 frames)", 3, 80 * kMs},
      {"v1 assumed rate only", "# timecode format v1\nassume 25\n", " (v1, 0 frames)", 50,
       2000 * kMs},
      // Frames 0..9 at 25 fps (400 ms), 10..19 at 50 (200 ms), then 25 again.
      {"v1 ranges", "# timestamp format v1\nAssume 25.000\n10,19,50\n", " (v1, 20 frames)", 21,
       640 * kMs},
      {"v1 ranges out of order", "# timecode format v1\nassume 10\n5,5,20\n0,1,20\n",
       " (v1, 6 frames)", 6, 450 * kMs},
      // A rate printed from a double is the fraction it was printed from:
      // 30000 frames at 30000/1001 fps last exactly 1001 s.
      {"v1 rate of many decimals", "# timecode format v1\nassume 29.970029970029970\n",
       " (v1, 0 frames)", 30000, 1001000 * kMs},
      {"v1 range rate beyond 30 decimals",
       "# timecode format v1\nassume 25\n0,29999,29.9700299700299700299700299700299700\n",
       " (v1, 30000 frames)", 30000, 1001000 * kMs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clock_ = FrameClock{};
    bool ok = false;
    EXPECT_EQ(read_clock(c.bytes, ok), "");
    ASSERT_TRUE(ok);
    EXPECT_EQ(frame_rate_line(clock_),
              "timecodes " + dir_.path.string() + "/times.txt" + c.rate_line);
    EXPECT_EQ(start_ns(clock_, c.frame), c.start_ns);
    // Every frame is shown from its own start to the next one's; before
    // the first frame, no frame is shown.
    EXPECT_EQ(frame_shown_at(clock_, at_ns(c.start_ns)), std::max<std::int64_t>(c.frame, -1));
    EXPECT_EQ(first_frame_at_or_after(clock_, at_ns(c.start_ns)),
              std::max<std::int64_t>(c.frame, 0));
  }
}

// A bad file names itself, the line and what is wrong, and the clock stays
// as it was.
TEST_F(TimecodeTest, BadFilesSayWhereAndWhat) {
  struct Case {
    const char* bytes;
    int line;
    const char* what;
  };
  const Case cases[] = {
      {"", 1, "no header \"# timestamp format v1\" (or v2, v4)"},
      {"0\n40\n", 1, "no header \"# timestamp format v1\" (or v2, v4)"},
      {"# timestamp format v3\n0\n40\n", 1,
       "unknown format \"# timestamp format v3\" (v1, v2 and v4 are read)"},
      {"# timestamp format v2\n0\n4O\n", 3, "not a time \"4O\""},
      {"# timestamp format v2\n0\n-40\n", 3, "not a time \"-40\""},
      {"# timestamp format v2\n0\n40\n30\n", 4,
       "time \"30\" is not after the time of the frame before it"},
      {"# timestamp format v2\n0\n40\n40\n", 4,
       "time \"40\" is not after the time of the frame before it"},
      {"# timestamp format v2\n0\n", 2,
       "at least two frame times are needed, to know how long the last frame lasts"},
      {"# timestamp format v4\n0\n40\n40\n", 4,
       "the last two frame times are equal: the last frame would last no time"},
      {"# timestamp format v2\n0\n99999999999999\n", 3, "not a time \"99999999999999\""},
      {"# timecode format v1\n", 1, "no \"assume <fps>\" line"},
      {"# timecode format v1\n0,10,25\n", 2, "expected \"assume <fps>\", not \"0,10,25\""},
      {"# timecode format v1\nassume 0\n", 2, "the assumed rate \"0\" is not a rate above 0"},
      {"# timecode format v1\nassume 25\n0,10\n", 3, "expected \"start,end,fps\", not \"0,10\""},
      {"# timecode format v1\nassume 25\n0,10,-5\n", 3, "the rate \"-5\" is not a rate above 0"},
      {"# timecode format v1\nassume 25\n0,10,0.000\n", 3,
       "the rate \"0.000\" is not a rate above 0"},
      {"# timecode format v1\nassume 1000000.5\n", 2,
       "the assumed rate \"1000000.5\" is more than 1000000 frames per second"},
      {"# timecode format v1\nassume 25\n0,10,0.0000000000001\n", 3,
       "the rate \"0.0000000000001\" is less than one frame in 10^9 seconds"},
      {"# timecode format v1\nassume 25\n10,5,30\n", 3,
       "the range \"10,5,30\" ends before it begins"},
      {"# timecode format v1\nassume 25\n0,10,30\n\n10,20,30\n", 5,
       "frames 10 to 10 lie in two ranges"},
      {"# timecode format v1\nassume 25\n20,30,30\n0,25,30\n", 4,
       "frames 20 to 25 lie in two ranges"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    clock_ = constant_clock(FrameRate{25, 1});
    bool ok = true;
    const std::string log = read_clock(c.bytes, ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(log, "timecode file " + dir_.path.string() + "/times.txt, line " +
                       std::to_string(c.line) + ": " + c.what + "\n");
    EXPECT_TRUE(is_constant(clock_));
    EXPECT_EQ(clock_.rate.num, 25);
  }
  captured_.clear();
  EXPECT_FALSE(read_timecode_file(dir_.path.string() + "/missing.txt", log_, clock_));
  EXPECT_EQ(
      captured_.rfind("timecode file open error: " + dir_.path.string() + "/missing.txt\n", 0), 0u)
      << captured_;
  // A file that opens but cannot be read (reading this process's memory
  // from address 0 fails) is a read error, not a file without a header.
  if (std::filesystem::exists("/proc/self/mem")) {
    captured_.clear();
    EXPECT_FALSE(read_timecode_file("/proc/self/mem", log_, clock_));
    EXPECT_EQ(captured_, "timecode file read error: /proc/self/mem: Input/output error\n");
  }
}

// Random text after each header: every file is either read, with lookups
// that stay in order, or refused with one message naming a line.
TEST_F(TimecodeTest, RandomFilesAreReadOrRefusedCleanly) {
  std::mt19937 random(20261207);
  const char* headers[] = {"# timestamp format v1\n", "# timestamp format v2\n",
                           "# timestamp format v4\n", "# timecode format v1\nassume 23.976\n"};
  const std::string junk = ",.-#a \n";
  int read = 0;
  for (int round = 0; round < 500; ++round) {
    std::string text = headers[random() % 4];
    // Mostly plausible lines (rising times, ranges), now and then a stray
    // character.
    int value = 0;
    const int lines = static_cast<int>(random() % 12);
    for (int i = 0; i < lines; ++i) {
      value += static_cast<int>(random() % 50) - 5;
      text += std::to_string(value);
      if (random() % 3 == 0) {
        text += ',';
        text += std::to_string(value + static_cast<int>(random() % 9));
      }
      if (random() % 3 == 0) {
        text += random() % 2 == 0 ? ',' : '.';
        text += std::to_string(random() % 60);
      }
      if (random() % 8 == 0) text += junk[random() % junk.size()];
      text += "\n";
    }
    clock_ = FrameClock{};
    bool ok = false;
    const std::string log = read_clock(text, ok);
    if (!ok) {
      EXPECT_EQ(log.rfind("timecode file ", 0), 0u) << text;
      EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << text;
      EXPECT_TRUE(is_constant(clock_));
      continue;
    }
    ++read;
    std::int64_t previous = start_ns(clock_, -3);
    for (std::int64_t frame = -2; frame < clock_.frame_count + 3; ++frame) {
      const std::int64_t start = start_ns(clock_, frame);
      EXPECT_GE(start, previous) << text;
      previous = start;
    }
  }
  EXPECT_GT(read, 20);
}

// Past the last frame of a v2 file the frames continue at its last
// duration; the input hears of it once.
TEST_F(TimecodeTest, TimesPastTheEndWarnOnce) {
  bool ok = false;
  read_clock("# timestamp format v2\n0\n40\n100\n", ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(frame_shown_at(clock_, at_ns(159 * kMs)), 2);
  EXPECT_FALSE(clock_.ran_past_end);
  EXPECT_EQ(frame_shown_at(clock_, at_ns(160 * kMs)), 3);
  EXPECT_EQ(frame_shown_at(clock_, at_ns(1000 * kMs)), 17);
  EXPECT_TRUE(clock_.ran_past_end);
  captured_.clear();
  report_frames_past_end(clock_, log_);
  report_frames_past_end(clock_, log_);
  EXPECT_EQ(captured_, "warning: times past the last frame of " + dir_.path.string() +
                           "/times.txt (3 frames) continue at its last frame's duration\n");
}

// Edit-decision and segment times become the first frame that starts at or
// after them; the summary's durations come from the clock.
TEST_F(TimecodeTest, ListTimesAndSummaryOnTheClock) {
  bool ok = false;
  // Frames 0..9 at 25 fps (40 ms), 10..19 at 50 (20 ms), 20.. at 25 again.
  read_clock("# timestamp format v1\nassume 25\n10,19,50\n", ok);
  ASSERT_TRUE(ok);
  // 0.41 s lies in frame 10 (400..420 ms): the cut starts with frame 11.
  // 0.6 s is frame 20's start exactly.
  const CutListOutcome out = read_text("0.41 0.6 0\n", CutListKind::Edl);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, 11, 19, 2147483647, -1, -1}));
  // Kept 0..10 (420 ms), cut 11..19 (180 ms).
  EXPECT_NE(out.log.find(summary_text(11, "00:00:00.420", 9, "00:00:00.180")), std::string::npos)
      << out.log;
  const CutListOutcome segments = read_text("0:00.42,0.6\n", CutListKind::KeptSegments);
  EXPECT_EQ(segments.map, (CutMap{-1, 10, 20, -1, -1}));
}

TEST_F(TimecodeTest, CutListPastTheEndOfAV2FileWarns) {
  bool ok = false;
  read_clock("# timestamp format v2\n0\n40\n80\n", ok);
  ASSERT_TRUE(ok);
  const CutListOutcome within = read_text("0 * 2\n1\n", CutListKind::DelList);
  EXPECT_EQ(within.log.find("warning"), std::string::npos) << within.log;
  const CutListOutcome beyond = read_text("0 * 9\n1\n", CutListKind::DelList);
  EXPECT_NE(beyond.log.find("warning: times past the last frame of "), std::string::npos)
      << beyond.log;
}

TEST(TimecodeTextTest, MillisecondsWithDecimalsOnlyWhereNeeded) {
  EXPECT_EQ(timecode_ms_text(0), "0");
  EXPECT_EQ(timecode_ms_text(1001 * kMs), "1001");
  EXPECT_EQ(timecode_ms_text(33366667), "33.366667");
  EXPECT_EQ(timecode_ms_text(41500000), "41.5");
  EXPECT_EQ(timecode_ms_text(1), "0.000001");
  EXPECT_EQ(timecode_ms_text(-2500000), "-2.5");
}

// The cut video's file, read back as a clock, gives every kept frame the
// time the re-timing gives it.
TEST_F(TimecodeTest, CutTimecodesReadBackGiveTheCutVideoTimes) {
  bool ok = false;
  read_clock("# timestamp format v1\nassume 29.97\n0,239,23.976\n", ok);
  ASSERT_TRUE(ok);
  const FrameClock source = clock_;
  const CutMap map = {-1, -1, 100, 199, 300, 399, 500, -1, -1};  // kept 0..99, 200..299, 400..499
  const std::string out_path = dir_.path.string() + "/cut.txt";
  captured_.clear();
  ASSERT_TRUE(write_cut_timecodes(out_path, map, source, SpeedStep{}, log_)) << captured_;
  const std::string text = read_back(out_path);
  EXPECT_EQ(text.rfind("# timestamp format v2\n0\n41.708375\n83.41675\n", 0), 0u)
      << text.substr(0, 80);
  FrameClock cut;
  ASSERT_TRUE(read_timecode_file(out_path, log_, cut));
  EXPECT_EQ(cut.frame_count, 300);
  // Kept frame f of the source is cut frame k: the same time as the source
  // shows it, less the cuts before it.
  const auto cut_time = [&](std::int64_t source_frame, std::int64_t run_first,
                            std::int64_t run_base) {
    return run_base + start_ns(source, source_frame) - start_ns(source, run_first);
  };
  const std::int64_t base2 = start_ns(source, 100);
  const std::int64_t base3 = base2 + start_ns(source, 300) - start_ns(source, 200);
  EXPECT_EQ(start_ns(cut, 0), 0);
  EXPECT_EQ(start_ns(cut, 99), cut_time(99, 0, 0));
  EXPECT_EQ(start_ns(cut, 100), base2);
  EXPECT_EQ(start_ns(cut, 150), cut_time(250, 200, base2));
  EXPECT_EQ(start_ns(cut, 200), base3);
  EXPECT_EQ(start_ns(cut, 299), cut_time(499, 400, base3));
  // 100 frames at 23.976 fps: 4170.837504 ms.
  EXPECT_EQ(base2, 4170837504);
}

TEST_F(TimecodeTest, CutTimecodesOfAConstantRate) {
  const std::string path = dir_.path.string() + "/cut.txt";
  const FrameClock clock = constant_clock(FrameRate{30000, 1001});
  ASSERT_TRUE(write_cut_timecodes(path, CutMap{-1, 0, 3, 5, 7, -1, -1}, clock, SpeedStep{}, log_));
  // Kept 1, 2, 6: three frames at 30000/1001 from 0.
  EXPECT_EQ(read_back(path), "# timestamp format v2\n0\n33.366667\n66.733333\n");
  // Played at 25 fps (-fps-change 29.97:25), the same frames are 40 ms apart.
  const SpeedStep to_pal{FrameRate{30000, 1001}, FrameRate{25, 1}};
  ASSERT_TRUE(write_cut_timecodes(path, CutMap{-1, 0, 3, 5, 7, -1, -1}, clock, to_pal, log_));
  EXPECT_EQ(read_back(path), "# timestamp format v2\n0\n40\n80\n");
  ASSERT_TRUE(write_cut_timecodes(path, CutMap{-1, 0, 3, 5, 7, -1, -1}, clock, SpeedStep{}, log_));
  // A list open toward the end of the video has no last frame to write.
  captured_.clear();
  EXPECT_FALSE(
      write_cut_timecodes(path, CutMap{-1, 9, 2147483647, -1, -1}, clock, SpeedStep{}, log_));
  EXPECT_EQ(captured_, "output timecodes open error: " + path + "\n\t" + path +
                           ": the cut list leaves the end of the video open, and a constant "
                           "frame rate does not say where it ends\n");
  EXPECT_EQ(read_back(path), "# timestamp format v2\n0\n33.366667\n66.733333\n");
  // With a timecode file it ends with the file.
  bool ok = false;
  read_clock("# timestamp format v2\n0\n40\n80\n120\n", ok);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(
      write_cut_timecodes(path, CutMap{-1, 1, 2147483647, -1, -1}, clock_, SpeedStep{}, log_));
  EXPECT_EQ(read_back(path), "# timestamp format v2\n0\n40\n");
  EXPECT_FALSE(write_cut_timecodes(dir_.path.string() + "/no/such/dir/cut.txt",
                                   CutMap{-1, 1, 2147483647, -1, -1}, clock_, SpeedStep{}, log_));
}

}  // namespace
}  // namespace mendra
