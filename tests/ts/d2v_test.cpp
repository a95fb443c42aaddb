#include "ts/d2v.h"

#include <fstream>

#include "support/ts_fixture.h"

namespace mendra::test {
namespace {

struct D2vCase {
  const char* name;
  std::string text;  // whole project file
  bool result;
  std::string base;  // "@" stands for the project's folder
  std::int64_t start_bytes;
};

class D2vTest : public TsFixture, public ::testing::WithParamInterface<D2vCase> {
 protected:
  std::string write_project(const std::string& text) {
    std::ofstream(path("p.d2v"), std::ios::binary) << text;
    return path("p.d2v");
  }
};

constexpr std::int64_t kUnset = -7;

TEST_P(D2vTest, NamesStreamAndStartOffset) {
  const D2vCase& c = GetParam();
  std::int64_t start = kUnset;
  std::string base = "unwritten";
  EXPECT_EQ(read_d2v(write_project(c.text), log_, start, base), c.result);
  std::string expected = c.base;
  if (expected.starts_with('@')) expected = dir_.string() + "/" + expected.substr(1);
  EXPECT_EQ(base, expected);
  EXPECT_EQ(start, c.start_bytes);
}

const std::string kHead = "DGIndexProjectFile16\n1\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, D2vTest,
    ::testing::Values(
        D2vCase{"RelativeSource", kHead + "rec.ts\n\nStream_Type=2\nLocation=0,2B5,0,9A0\n", true,
                "@rec", 1419264},
        D2vCase{"SourceWithDrive", kHead + "E:\\cap\\rec.ts\nLocation=1,1,0,0\n", true,
                "E:\\cap\\rec", 0},
        D2vCase{"SubfolderSource", kHead + "sub\\rec.ts\nLocation=0,1,0,0\n", true, "@sub\\rec",
                2048},
        D2vCase{"RootedWithoutDrive", kHead + "\\abs\\rec.ts\nLocation=0,1,0,0\n", true,
                "@\\abs\\rec", 2048},
        D2vCase{"CrLfLines", "A\r\nB\r\nrec.ts\r\nLocation=0,2,0,0\r\n", true, "@rec", 4096},
        // The line end is no part of a name without an extension.
        D2vCase{"SourceWithoutExtension", kHead + "rec\nLocation=0,1,0,0\n", true, "@rec", 2048},
        D2vCase{"SourceWithoutExtensionCrLf", "A\r\nB\r\nrec\r\nLocation=0,1,0,0\r\n", true, "@rec",
                2048},
        D2vCase{"StartBeyond2GiB", kHead + "rec.ts\nLocation=10,100010,0,0\n", true, "@rec",
                2147483648},
        D2vCase{"StartBeyond4GiB", kHead + "rec.ts\nLocation=0,300000,0,0\n", true, "@rec",
                6442450944},
        D2vCase{"ScanfHexForms", kHead + "rec.ts\nLocation= 0x10,0X20,0,0\n", true, "@rec", 32768},
        D2vCase{"EndBeforeStart", kHead + "rec.ts\nLocation=10,0,0,0\n", true, "@rec", -32768},
        D2vCase{"FirstMatchingLineWins",
                kHead + "rec.ts\nLocation=0,1\n Location=0,3,0,0\nLocation=0,2,0,0\n", true, "@rec",
                4096},
        D2vCase{"NoLocationLine", kHead + "rec.ts\nLocation=0,1,0\n", false, "@rec", kUnset},
        D2vCase{"OnlyTwoLines", "DGIndexProjectFile16\n1\n", false, "unwritten", kUnset}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

TEST_F(D2vTest, OpenErrorIsReported) {
  std::int64_t start = kUnset;
  std::string base = "unwritten";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(read_d2v(path("absent.d2v"), log_, start, base));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "input d2v open error: " + path("absent.d2v") +
                                                        "\n\t" + path("absent.d2v") +
                                                        ": No such file or directory\n");
  EXPECT_EQ(base, "unwritten");
  EXPECT_EQ(start, kUnset);
}

}  // namespace
}  // namespace mendra::test
