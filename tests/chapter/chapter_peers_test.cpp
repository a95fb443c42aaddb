// The chapter files mendra writes, read by the muxers users hand them to:
// mkvmerge takes every file written (Matroska XML and OGM chapters) and
// mkvextract gives back the same times; ffmpeg reads the FFmpeg metadata
// written into a Matroska file and gives back the same times. Each test
// runs only where its tools are installed and says so when it skips.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "support/run_binary.h"

namespace mendra::test {
namespace {

namespace fs = std::filesystem;
__extension__ using Wide = __int128;

// A tool found on the PATH, by its full path.
std::optional<std::string> find_tool(std::string_view name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::nullopt;
  const std::string_view folders(path);
  for (std::size_t begin = 0; begin <= folders.size();) {
    std::size_t end = folders.find(':', begin);
    if (end == std::string_view::npos) end = folders.size();
    const fs::path candidate = fs::path(folders.substr(begin, end - begin)) / name;
    std::error_code error;
    if (end > begin && fs::is_regular_file(candidate, error)) return candidate.string();
    begin = end + 1;
  }
  return std::nullopt;
}

// Subtitles and a cut list of two kept segments at 29.97 fps: frames
// 0..119, 150..359 and 400..449 kept.
const std::string kSrt =
    "1\n00:00:01,000 --> 00:00:02,000\none\n\n2\n00:00:12,000 --> 00:00:13,000\ntwo\n\n";
const std::string kDelList = "0 * 449\n120 - 149\n360 - 399\n";

const std::string kXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Chapters>\n  <EditionEntry>\n"
    "    <ChapterAtom>\n      <ChapterTimeStart>00:00:00.000000000</ChapterTimeStart>\n"
    "      <ChapterTimeEnd>00:00:04.500000000</ChapterTimeEnd>\n"
    "      <ChapterDisplay><ChapterString>A</ChapterString></ChapterDisplay>\n"
    "    </ChapterAtom>\n"
    "    <ChapterAtom>\n      <ChapterTimeStart>00:00:07.000000000</ChapterTimeStart>\n"
    "      <ChapterAtom><ChapterTimeStart>00:00:08.123456789</ChapterTimeStart></ChapterAtom>\n"
    "    </ChapterAtom>\n  </EditionEntry>\n</Chapters>\n";
const std::string kOgm =
    "CHAPTER01=00:00:00.000\nCHAPTER01NAME=A\nCHAPTER02=00:00:05.000\nCHAPTER02NAME=B\n"
    "CHAPTER03=00:00:12.345\nCHAPTER03NAME=C\n";
const std::string kFfmeta =
    ";FFMETADATA1\ntitle=Show\n[CHAPTER]\nTIMEBASE=1/90000\nSTART=0\nEND=360000\ntitle=A\n"
    "[CHAPTER]\nTIMEBASE=1/1000\nSTART=7000\nEND=12000\ntitle=B\n";

// Every match of the pattern's first group, in order.
std::vector<std::string> all_of(const std::string& text, const std::string& pattern) {
  std::vector<std::string> found;
  const std::regex regex(pattern);
  for (std::sregex_iterator it(text.begin(), text.end(), regex), end; it != end; ++it) {
    found.push_back((*it)[1].str());
  }
  return found;
}

// Runs mendra in `dir`; the run must succeed.
void run_mendra(const fs::path& dir, const std::vector<std::string>& args) {
  const RunResult run = run_binary(MENDRA_BINARY, args, dir, "/dev/null", 60);
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
}

TEST(ChapterPeersTest, MkvmergeTakesEveryChapterFileAndMkvextractGivesTheSameTimes) {
  const std::optional<std::string> mkvmerge = find_tool("mkvmerge");
  const std::optional<std::string> mkvextract = find_tool("mkvextract");
  if (!mkvmerge || !mkvextract) GTEST_SKIP() << "mkvmerge or mkvextract is not installed";
  TempDir dir;
  for (const auto& [name, content] :
       {std::pair{"a.srt", kSrt}, {"a_del.txt", kDelList}, {"ch.xml", kXml}, {"ch.txt", kOgm}}) {
    ASSERT_TRUE(write_file(dir.path / name, content));
  }
  run_mendra(dir.path, {"-chapters", "ch.xml", "-chapters-out", "marks.xml", "a.srt"});
  run_mendra(dir.path, {"-chapters", "ch.txt", "-chapters-out", "marks.txt", "a.srt"});
  for (const char* written : {"ch_new.xml", "marks.xml", "ch_new.txt", "marks.txt"}) {
    SCOPED_TRACE(written);
    const RunResult merge =
        run_binary(*mkvmerge, {"-q", "-o", "out.mkv", "--chapters", written, "a_new.srt"}, dir.path,
                   "/dev/null", 60);
    ASSERT_EQ(merge.exit_status, 0) << merge.standard_output << merge.standard_error;
    const bool simple = std::string_view(written).ends_with(".txt");
    std::vector<std::string> extract_args = {"out.mkv", "chapters"};
    if (simple) extract_args.push_back("-s");
    extract_args.push_back("extracted");
    const RunResult extract = run_binary(*mkvextract, extract_args, dir.path, "/dev/null", 60);
    ASSERT_EQ(extract.exit_status, 0) << extract.standard_output << extract.standard_error;
    const std::string ours = read_file(dir.path / written);
    const std::string theirs = read_file(dir.path / "extracted");
    const std::string pattern =
        simple ? R"(CHAPTER\d+=([0-9:.]+))" : R"(<(ChapterTime(?:Start|End)>[0-9:.]+)<)";
    const std::vector<std::string> times = all_of(ours, pattern);
    EXPECT_FALSE(times.empty());
    EXPECT_EQ(all_of(theirs, pattern), times);
  }
}

// START and END of each chapter in nanoseconds, from "TIMEBASE=a/b" sections.
std::vector<long long> ffmetadata_ns(const std::string& text) {
  std::vector<long long> times;
  const std::regex section(R"(\[CHAPTER\]\nTIMEBASE=(\d+)/(\d+)\nSTART=(\d+)\nEND=(\d+))");
  for (std::sregex_iterator it(text.begin(), text.end(), section), end; it != end; ++it) {
    const long long num = std::stoll((*it)[1]);
    const long long den = std::stoll((*it)[2]);
    for (int i : {3, 4}) {
      times.push_back(static_cast<long long>(Wide{std::stoll((*it)[i])} * num * 1000000000 / den));
    }
  }
  return times;
}

TEST(ChapterPeersTest, FfmpegReadsTheMetadataWritten) {
  const std::optional<std::string> ffmpeg = find_tool("ffmpeg");
  if (!ffmpeg) GTEST_SKIP() << "ffmpeg is not installed";
  TempDir dir;
  for (const auto& [name, content] :
       {std::pair{"a.srt", kSrt}, {"a_del.txt", kDelList}, {"ch.ffmeta", kFfmeta}}) {
    ASSERT_TRUE(write_file(dir.path / name, content));
  }
  run_mendra(dir.path, {"-chapters", "ch.ffmeta", "-chapters-out", "marks.ffmeta", "a.srt"});
  const RunResult video = run_binary(*ffmpeg, {"-v", "error", "-i", "a_new.srt", "-y", "x.mkv"},
                                     dir.path, "/dev/null", 60);
  ASSERT_EQ(video.exit_status, 0) << video.standard_error;
  for (const char* written : {"ch_new.ffmeta", "marks.ffmeta"}) {
    SCOPED_TRACE(written);
    const RunResult mux = run_binary(*ffmpeg,
                                     {"-v", "error", "-i", "x.mkv", "-i", written, "-map_metadata",
                                      "1", "-c", "copy", "-y", "y.mkv"},
                                     dir.path, "/dev/null", 60);
    ASSERT_EQ(mux.exit_status, 0) << mux.standard_error;
    const RunResult back =
        run_binary(*ffmpeg, {"-v", "error", "-i", "y.mkv", "-f", "ffmetadata", "-y", "back.ffmeta"},
                   dir.path, "/dev/null", 60);
    ASSERT_EQ(back.exit_status, 0) << back.standard_error;
    const std::vector<long long> times = ffmetadata_ns(read_file(dir.path / written));
    EXPECT_FALSE(times.empty());
    EXPECT_EQ(ffmetadata_ns(read_file(dir.path / "back.ffmeta")), times);
  }
}

}  // namespace
}  // namespace mendra::test
