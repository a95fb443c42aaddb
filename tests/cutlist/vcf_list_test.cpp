#include <gtest/gtest.h>

#include <string>

#include "cut_list_fixture.h"

namespace mendra {
namespace {

using enum CutListKind;

using test::CutListOutcome;
using test::summary_text;
using test::zero_summary;

class VcfListTest : public test::CutListTest {};

const char kJob[] =
    "VirtualDub.audio.SetSource(1);\n"
    "VirtualDub.subset.Clear();\n"
    "VirtualDub.subset.AddRange(0,100);\n"
    "VirtualDub.subset.AddRange(200,100);\n"
    "  VirtualDub.subset.AddRange(500,10);\n"  // indented: does not match
    "VirtualDub.video.SetMode(1);\n";

TEST_F(VcfListTest, AddRangeLinesAreKeptRanges) {
  const CutListOutcome out = read_text(kJob, VcfRanges);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, 100, 199, 300, -1, -1}));
  EXPECT_EQ(out.log,
            " [vcf]\n"
            "\tRange:\ts=0\te=99\n"
            "\tRange:\ts=200\te=299\n"
            "\n" +
                summary_text(200, "00:00:06.673", 100, "00:00:03.336"));
}

TEST_F(VcfListTest, CrLfJobReadsLikeLfJob) {
  std::string crlf;
  for (const char* p = kJob; *p != '\0'; ++p) {
    if (*p == '\n') crlf += '\r';
    crlf += *p;
  }
  const CutListOutcome out = read_text(crlf, VcfRanges);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, -1, 100, 199, 300, -1, -1}));
  EXPECT_EQ(out.log,
            " [vcf]\n"
            "\tRange:\ts=0\te=99\n"
            "\tRange:\ts=200\te=299\n"
            "\n" +
                summary_text(200, "00:00:06.673", 100, "00:00:03.336"));
}

TEST_F(VcfListTest, TwoNumbersMakeAMatch) {
  traces_only();
  const CutListOutcome out = read_text(
      "VirtualDub.subset.AddRange(10,5\n"      // no closing: still a match
      "VirtualDub.subset.AddRange( 20, 5);\n"  // white space before a number is skipped
      "VirtualDub.subset.AddRange(25 ,5);\n"   // but the comma must follow the number
      "VirtualDub.subset.AddRange(30);\n"      // one number: skipped
      "VirtualDub.subset.addrange(40,5);\n"    // case matters
      "virtualdub.subset.AddRange(50,5);\n"
      "VirtualDub.subset.AddRange(-3,5);\n",
      VcfRanges);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 9, 15, 19, 25, -4, 2, -1, -1}));
  // The last range comes before the others: used as given, with a warning.
  EXPECT_EQ(out.log,
            "\tRange:\ts=10\te=14\n\tRange:\ts=20\te=24\n\tRange:\ts=-3\te=1\n\n"
            "warning: kept ranges out of order or overlapping in <memory>\n");
}

TEST_F(VcfListTest, JobWithoutRangesIsRefused) {
  const CutListOutcome out = read_text("VirtualDub.Open(\"a.avi\");\n", VcfRanges);
  EXPECT_EQ(out.read, CutListRead::Rejected);
  EXPECT_EQ(out.map, (CutMap{-1, -1, -1}));
  EXPECT_EQ(out.log, " [vcf]\n\nno cuts could be read from <memory> (1 lines, first: line 1)\n" +
                         zero_summary());
}

// A count of 0 or below keeps nothing and leaves the others as they would
// be without it.
TEST_F(VcfListTest, RangeOfNoFramesKeepsNothing) {
  traces_only();
  const std::string kept = "VirtualDub.subset.AddRange(0,2);\nVirtualDub.subset.AddRange(7,3);\n";
  for (const char* empty :
       {"VirtualDub.subset.AddRange(14,-1);\n", "VirtualDub.subset.AddRange(14,0);\n"}) {
    SCOPED_TRACE(empty);
    const CutListOutcome out = read_text("VirtualDub.subset.AddRange(0,2);\n" + std::string(empty) +
                                             "VirtualDub.subset.AddRange(7,3);\n",
                                         VcfRanges);
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.map, read_text(kept, VcfRanges).map);
  }
}

TEST_F(VcfListTest, FramesNearTheIntLimitsWrapAround) {
  const CutListOutcome out = read_text("VirtualDub.subset.AddRange(2147483647,10);\n", VcfRanges);
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.map, (CutMap{-1, 2147483646, -2147483639, -1, -1}));
  EXPECT_EQ(out.log,
            " [vcf]\n"
            "\tRange:\ts=2147483647\te=-2147483640\n"
            "\n" +
                summary_text(10, "00:00:00.333", 2147483647, "56:31:23.647"));
}

}  // namespace
}  // namespace mendra
