// The lists of the video cutters that name their kept segments in time:
// mpv EDLs, LosslessCut projects, ffmpeg concat scripts and Avidemux
// projects, each read by the frame rule of the other time-based lists.
#include <gtest/gtest.h>

#include <string>

#include "cut_list_fixture.h"
#include "cutlist/list_support.h"
#include "cutlist/list_time.h"

namespace mendra {
namespace {

using enum CutListKind;

using test::CutListOutcome;

class CutterListTest : public test::CutListTest {};

constexpr FrameRate kNtsc{30000, 1001};
constexpr FrameRate kPal{25, 1};
constexpr std::int32_t kOpen = 2147483647;  // the map value after an open end

struct CutterCase {
  const char* name;
  CutListKind kind;
  const char* list;
  FrameRate rate;
  CutMap map;
  const char* warning;
};

// At 25 fps 4 s and 8 s are the starts of frames 100 and 200.
TEST_F(CutterListTest, SegmentsKeepTheFramesWhoseStartLiesInside) {
  const CutterCase cases[] = {
      // mpv EDL
      {"mpv",
       MpvEdl,
       "# mpv EDL v0\nrec.ts,4,4\nrec.ts,10,2\n",
       kPal,
       {-1, 99, 200, 249, 300, -1, -1},
       ""},
      {"mpv named and guarded",
       MpvEdl,
       "# mpv EDL v0\n%8%rec,1.ts,length=4,start=4,title=x;rec.ts,start=10,length=2\n"
       "file=%8%rec,1.ts,start=20\n",
       kPal,
       {-1, 99, 200, 249, 300, 499, kOpen, -1, -1},
       "warning: <memory> names several recordings: rec,1.ts, rec.ts\n"},
      {"mpv exact at 29.97",
       MpvEdl,
       "# mpv EDL v0\nr.ts,1.001,9.009\n",
       kNtsc,
       {-1, 29, 300, -1, -1},
       ""},
      {"mpv comments, headers, other stream",
       MpvEdl,
       "# mpv EDL v0\n!no_chapters\n# c\nr.ts,4,4\n!new_stream\nr.ts,0,1\n",
       kPal,
       {-1, 99, 200, -1, -1},
       ""},
      {"mpv chapters and junk",
       MpvEdl,
       "# mpv EDL v0\nr.ts,1,2,timestamps=chapters\nr.ts,4,4\n%99%x\nr.ts,x\n",
       kPal,
       {-1, 99, 200, -1, -1},
       "warning: 3 lines of <memory> could not be read (first: line 2)\n"},
      // LosslessCut
      {"llc",
       LosslessCut,
       "// project\n{\n  version: 2,\n  mediaFileName: 'rec.ts',\n  cutSegments: [\n"
       "    { start: 4, end: 8, name: 'a' },\n    { start: 1e1, end: 0.12e2, },\n  ],\n}\n",
       kPal,
       {-1, 99, 200, 249, 300, -1, -1},
       ""},
      {"llc markers, deselected, unreadable",
       LosslessCut,
       "{cutSegments: [\n{start: 4, end: 8},\n{start: 9},\n{start: 10, end: 12, selected: false},\n"
       "{start: 'x', end: 3},\n{start: 5, end: 4},\n{end: 0x1},\n]}",
       kPal,
       {-1, 99, 200, -1, 25, -1, -1},
       "warning: 1 segments of <memory> have no end: markers, they keep nothing (first: line 3)\n"
       "warning: 2 lines of <memory> could not be read (first: line 5)\n"
       "warning: kept ranges out of order or overlapping in <memory>\n"},
      // ffmpeg concat script
      {"concat",
       ConcatScript,
       "ffconcat version 1.0\n# c\nfile 'rec.ts'\ninpoint 4\noutpoint 8000ms\n"
       "file rec.ts\ninpoint 00:00:10\nduration 2000000us\nfile rec.ts\ninpoint 20\n",
       kPal,
       {-1, 99, 200, 249, 300, 499, kOpen, -1, -1},
       ""},
      {"concat quoted and escaped names",
       ConcatScript,
       "file 'my rec.ts'\noutpoint 4\nfile my\\ rec.ts\ninpoint 8\noutpoint 10\n",
       kPal,
       {-1, -1, 100, 199, 250, -1, -1},
       ""},
      {"concat out before in, stray times",
       ConcatScript,
       "inpoint 1\nfile r.ts\ninpoint 8\noutpoint 4\noutpoint 10\nstream\nexact_stream_id 0x100\n"
       "duration -1\nwhat now\nfile ''\ninpoint 1\n",
       kPal,
       {-1, 199, 250, -1, -1},
       "warning: 6 lines of <memory> could not be read (first: line 1)\n"},
      // Avidemux
      {"avidemux",
       AvidemuxProject,
       "#PY  <- Needed to identify #\nadm = Avidemux()\nif not adm.loadVideo(\"/rec/r.ts\"):\n"
       "    raise(\"Cannot load /rec/r.ts\")\nadm.clearSegments()\n"
       "adm.addSegment(0, 4000000, 4000000)\nadm.addSegment(0, 10000000, 2000000)\n"
       "adm.markerA = 0\nadm.markerB = 6000000\nadm.videoCodec(\"Copy\")\n",
       kPal,
       {-1, 99, 200, 249, 300, -1, -1},
       ""},
      {"avidemux markers inside segments",
       AvidemuxProject,
       "adm.loadVideo('r.ts')\nadm.clearSegments()\nadm.addSegment(0, 4000000, 4000000)\n"
       "adm.addSegment(0, 10000000, 4000000)\nadm.markerA = 2000000\nadm.markerB = 6000000\n",
       kPal,
       {-1, 149, 200, 249, 300, -1, -1},
       ""},
      {"avidemux whole video within markers",
       AvidemuxProject,
       "adm.loadVideo(r\"C:\\rec\\r.ts\")\nadm.markerA = 4000000\nadm.markerB = 8000000\n",
       kPal,
       {-1, 99, 200, -1, -1},
       ""},
      {"avidemux commented and unreadable",
       AvidemuxProject,
       "#adm.addSegment(0, 0, 1000000)\nadm.clearSegments()\nadm.addSegment(0, 4000000, 4000000)\n"
       "adm.addSegment(0, x, 1)\n",
       kPal,
       {-1, 99, 200, -1, -1},
       "warning: 1 lines of <memory> could not be read (first: line 4)\n"},
  };
  traces_only();
  log_.level = LogLevel::Info;
  for (const CutterCase& c : cases) {
    SCOPED_TRACE(c.name);
    clock_ = constant_clock(c.rate);
    const CutListOutcome out = read_text(c.list, c.kind);
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.map, c.map);
    EXPECT_EQ(out.log, c.warning);
  }
}

// The same cuts in every list that gives times read the same: frames 150
// to 299 cut at 29.97 fps, the rest kept to the end.
TEST_F(CutterListTest, SameCutsInEveryTimeListGiveOneMap) {
  const struct {
    CutListKind kind;
    const char* list;
  } lists[] = {
      {Edl, "5.005 10.01 0\n"},
      {KeptSegments, "0,5.005\n10.01,\n"},
      {Edl, "# mpv EDL v0\nrec.ts,0,5.005\nrec.ts,10.01\n"},
      {KeptSegments, "{cutSegments: [{start: 0, end: 5.005}, {start: 10.01, end: 1e9}]}"},
      {ConcatScript, "file rec.ts\noutpoint 5.005\nfile rec.ts\ninpoint 10010ms\n"},
      {AvidemuxProject,
       "adm.loadVideo(\"rec.ts\")\nadm.clearSegments()\nadm.addSegment(0, 0, 5005000)\n"
       "adm.addSegment(0, 10010000, 999999999999999)\n"},
  };
  traces_only();
  log_.level = LogLevel::Info;
  for (const auto& list : lists) {
    SCOPED_TRACE(list.list);
    const CutListOutcome out = read_text(list.list, list.kind);
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.map, (CutMap{-1, -1, 150, 299, kOpen, -1, -1}));
    EXPECT_EQ(out.log, "");
  }
}

// Under -edl and -segments the content tells the kind, also behind a
// byte-order mark; the trace line names the kind read.
TEST_F(CutterListTest, ContentChoosesTheKindUnderTheSameOption) {
  const struct {
    CutListKind named;
    const char* list;
    const char* label;
  } cases[] = {
      {Edl, "# mpv EDL v0\r\nr.ts,1,2\r\n", " [mpv edl]\n"},
      {Edl, "\xEF\xBB\xBF# mpv EDL v0\nr.ts,1,2\n", " [mpv edl]\n"},
      {Edl, "# mpv EDL v01\n1 2\n", " [edl]\n"},
      {Edl, "1 2\n# mpv EDL v0\n", " [edl]\n"},
      {KeptSegments, "\xEF\xBB\xBF /* c */ // d\n{cutSegments: [{start: 1, end: 2}]}", " [llc]\n"},
      {KeptSegments, "1,2\n", " [seg]\n"},
      {ConcatScript, "# mpv EDL v0\nfile r.ts\n", " [concat]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    const CutListOutcome out = read_text(c.list, c.named);
    EXPECT_TRUE(out.ok);
    EXPECT_TRUE(out.log.starts_with(c.label)) << out.log;
  }
}

// A list that names the recording it was cut from warns when that is not
// the one re-timed or measured, or when it names several.
TEST_F(CutterListTest, ListNamingOtherRecordingsIsWarnedAbout) {
  const struct {
    const char* list;
    const char* recording;
    const char* warning;
  } cases[] = {
      {"# mpv EDL v0\n/rec/show.ts,1,2\n", "show.srt", ""},
      {"# mpv EDL v0\nC:\\rec\\SHOW.TS,1,2\n", "/subs/show.en.srt", ""},
      {"# mpv EDL v0\nshow.ts,1,2\n", "", ""},
      {"# mpv EDL v0\nshow.ts,1,2\n", "shows.srt",
       "warning: <memory> names another recording than shows.srt: show.ts\n"},
      {"# mpv EDL v0\nshow.en.ts,1,2\n", "show.srt",
       "warning: <memory> names another recording than show.srt: show.en.ts\n"},
      {"# mpv EDL v0\na.ts,1,1\nA.TS,3,1\nb/a.ts,5,1\n", "a.srt", ""},
      {"# mpv EDL v0\na.ts,1,2\nb.ts,3,4\n", "a.srt",
       "warning: <memory> names several recordings: a.ts, b.ts\n"},
      {"# mpv EDL v0\n1.ts,1,1\n2.ts,2,1\n3.ts,3,1\n4.ts,4,1\n5.ts,5,1\n6.ts,6,1\n5.ts,7,1\n", "",
       "warning: <memory> names several recordings: 1.ts, 2.ts, 3.ts, 4.ts and 2 more\n"},
  };
  log_.level = LogLevel::Warning;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    CutMap map;
    captured_.clear();
    EXPECT_EQ(read_cut_list_bytes(c.list, Edl, clock_, log_, map, "<memory>", c.recording),
              CutListRead::Read);
    EXPECT_EQ(captured_, c.warning);
  }
}

TEST(ListTimeTest, ScaledSecondsAndSumsAreExact) {
  const struct {
    const char* text;
    int scale;
    bool ok;
    const char* seconds;  // whole.fraction as read back
  } scaled[] = {
      {"1500", 3, true, "1.500"}, {"2.5", 3, true, "0.0025"},
      {"15", -2, true, "1500."},  {"3336666", 6, true, "3.336666"},
      {"7", 0, true, "7."},       {".5", 1, true, "0.05"},
      {"1.2.3", 0, false, ""},    {"", 0, false, ""},
      {"1", 41, false, ""},       {"1", -13, false, ""},  // beyond any recording
  };
  for (const auto& c : scaled) {
    SCOPED_TRACE(c.text);
    std::string storage;
    ListTime time;
    ASSERT_EQ(parse_scaled_seconds(c.text, c.scale, storage, time), c.ok);
    if (c.ok) {
      EXPECT_EQ(std::to_string(time.whole) + "." + std::string(time.fraction), c.seconds);
    }
  }
  ListTime a;
  ListTime b;
  ASSERT_TRUE(parse_decimal_seconds("10.0099", a));
  ASSERT_TRUE(parse_decimal_seconds("3.99011", b));
  std::string storage;
  const ListTime sum = add_list_times(a, b, storage);
  EXPECT_EQ(sum.whole, 14);
  EXPECT_EQ(sum.fraction, "00001");
}

}  // namespace
}  // namespace mendra
