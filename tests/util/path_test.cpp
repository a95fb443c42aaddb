#include "util/path.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace mendra {
namespace {

struct SplitCase {
  const char* path;
  const char* drive;
  const char* directory;
  const char* name;
  const char* extension;
};

class SplitPathTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitPathTest, SplitsByWindowsRules) {
  const SplitCase& c = GetParam();
  const PathParts parts = split_path(c.path);
  EXPECT_EQ(parts.drive, c.drive);
  EXPECT_EQ(parts.directory, c.directory);
  EXPECT_EQ(parts.name, c.name);
  EXPECT_EQ(parts.extension, c.extension);
  // Joining the parts again gives the path back.
  EXPECT_EQ(make_path(parts), c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitPathTest,
    ::testing::Values(SplitCase{"movie.ass", "", "", "movie", ".ass"},
                      SplitCase{"dir/sub/movie.ass", "", "dir/sub/", "movie", ".ass"},
                      SplitCase{"C:\\rec\\movie.d2v", "C:", "\\rec\\", "movie", ".d2v"},
                      SplitCase{"C:movie", "C:", "", "movie", ""},
                      SplitCase{"a.b/c", "", "a.b/", "c", ""},
                      SplitCase{"dir\\x.tar.gz", "", "dir\\", "x.tar", ".gz"},
                      SplitCase{"/abs/.hidden", "", "/abs/", "", ".hidden"},
                      SplitCase{"mixed/dir\\name.", "", "mixed/dir\\", "name", "."},
                      SplitCase{"", "", "", "", ""}),
    [](const ::testing::TestParamInfo<SplitCase>& test_info) {
      std::string name = "Case" + std::to_string(test_info.index) + "_";
      for (const char* c = test_info.param.path; *c != '\0'; ++c) {
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      }
      return name;
    });

TEST(PathTest, WithoutExtensionKeepsDriveAndDirectory) {
  EXPECT_EQ(path_without_extension("C:\\rec\\movie.ass"), "C:\\rec\\movie");
  EXPECT_EQ(path_without_extension("dir/out.txt"), "dir/out");
  EXPECT_EQ(path_without_extension("noext"), "noext");
}

TEST(PathTest, MakePathAddsMissingSeparatorAndDot) {
  EXPECT_EQ(make_path({"", "dir", "name", "ass"}), "dir\\name.ass");
}

}  // namespace
}  // namespace mendra
