#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/run_binary.h"
#include "util/output_file.h"
#include "util/text_reader.h"

namespace mendra {
namespace {

using test::read_file;
using test::TempDir;
using test::write_file;

std::vector<std::string> all_lines(const std::string& path) {
  TextReader reader;
  EXPECT_TRUE(reader.open(path));
  std::vector<std::string> lines;
  for (std::string line; reader.read_line(line);) lines.push_back(line);
  return lines;
}

TEST(TextReaderTest, CrLfReadsAsLfAndLoneCrStays) {
  TempDir dir;
  const std::string path = (dir.path / "a.txt").string();
  write_file(path, "one\r\ntwo\rx\n\r\nlast\r");
  const std::vector<std::string> expected{"one\n", "two\rx\n", "\n", "last\r"};
  EXPECT_EQ(all_lines(path), expected);

  // A buffer reads as the file holding it would, also after a rewind that
  // follows in-place line views.
  TextReader memory;
  memory.open_memory("one\r\ntwo\rx\n\r\nlast\r");
  for (int round = 0; round < 2; ++round) {
    std::vector<std::string> lines;
    for (std::string_view line; memory.next_line(line);) lines.emplace_back(line);
    EXPECT_EQ(lines, expected) << "round " << round;
    memory.rewind();
  }
}

TEST(TextReaderTest, CrLfSplitAcrossTheReadBufferStillJoins) {
  TempDir dir;
  const std::string path = (dir.path / "big.txt").string();
  // The first CR lands on the last byte of the 64 KiB read buffer.
  std::string text(64 * 1024 - 1, 'a');
  text += "\r\nb\r\n";
  write_file(path, text);
  const auto lines = all_lines(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(64 * 1024 - 1, 'a') + "\n");
  EXPECT_EQ(lines[1], "b\n");

  TextReader reader;
  ASSERT_TRUE(reader.open(path));
  std::string piece;
  std::size_t total = 0;
  while (reader.read_piece(piece)) total += piece.size();
  EXPECT_EQ(total, text.size() - 2);  // both CR LF pairs arrive as one LF
}

TEST(TextReaderTest, PiecesFollowFgetsWithA256ByteBuffer) {
  TempDir dir;
  const std::string path = (dir.path / "p.txt").string();
  write_file(path, std::string(300, 'x') + "\r\nshort\n");
  TextReader reader;
  ASSERT_TRUE(reader.open(path));
  std::string piece;
  ASSERT_TRUE(reader.read_piece(piece));
  EXPECT_EQ(piece, std::string(255, 'x'));
  ASSERT_TRUE(reader.read_piece(piece));
  EXPECT_EQ(piece, std::string(45, 'x') + "\n");
  ASSERT_TRUE(reader.read_piece(piece));
  EXPECT_EQ(piece, "short\n");
  EXPECT_FALSE(reader.read_piece(piece));
  reader.rewind();
  ASSERT_TRUE(reader.read_piece(piece));
  EXPECT_EQ(piece.size(), 255u);
}

TEST(TextReaderTest, KeepsNulBytesAndRefusesDirectories) {
  TempDir dir;
  const std::string path = (dir.path / "n.txt").string();
  write_file(path, std::string("a\0b\n", 4));
  EXPECT_EQ(all_lines(path), (std::vector<std::string>{std::string("a\0b\n", 4)}));
  TextReader reader;
  EXPECT_FALSE(reader.open(dir.path.string()));
  EXPECT_FALSE(reader.open((dir.path / "missing").string()));
}

TEST(TextReaderTest, UngetComesBackLastInFirstOut) {
  TempDir dir;
  const std::string path = (dir.path / "u.txt").string();
  write_file(path, "Trx");
  TextReader reader;
  ASSERT_TRUE(reader.open(path));
  const int t = reader.get();
  const int r = reader.get();
  reader.unget(r);
  EXPECT_EQ(reader.get(), 'r');
  EXPECT_EQ(reader.get(), 'x');
  EXPECT_EQ(t, 'T');
  EXPECT_EQ(reader.get(), EOF);
}

TEST(OutputFileTest, ReplacesTheTargetOnlyOnCommit) {
  TempDir dir;
  const std::string target = (dir.path / "out.ass").string();
  write_file(target, "old");
  {
    OutputFile out;
    ASSERT_TRUE(out.open(target));
    out.write("new text");
    EXPECT_EQ(read_file(target), "old");  // untouched while writing
    ASSERT_TRUE(out.commit());
  }
  EXPECT_EQ(read_file(target), "new text");
  // Nothing but the target is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(OutputFileTest, AnAbandonedFileLeavesTheTargetAndNoTemporary) {
  TempDir dir;
  const std::string target = (dir.path / "out.srt").string();
  write_file(target, "keep");
  {
    OutputFile out;
    ASSERT_TRUE(out.open(target));
    out.write("half");
  }
  EXPECT_EQ(read_file(target), "keep");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path),
                          std::filesystem::directory_iterator()),
            1);
}

// Writing over a file keeps its permission bits, and writing through a
// symbolic link (a relative one, and one whose target does not exist yet)
// replaces the file it points to while the link stays.
TEST(OutputFileTest, KeepsPermissionsAndFollowsLinks) {
  namespace fs = std::filesystem;
  TempDir dir;
  const fs::path private_file = dir.path / "private.srt";
  write_file(private_file, "old");
  fs::permissions(private_file, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_directory(dir.path / "real");
  write_file(dir.path / "real" / "linked.ass", "old");
  fs::create_symlink("real/linked.ass", dir.path / "link.ass");
  fs::create_symlink("real/fresh.ass", dir.path / "dangling.ass");
  for (const char* name : {"private.srt", "link.ass", "dangling.ass"}) {
    OutputFile out;
    ASSERT_TRUE(out.open((dir.path / name).string())) << name;
    out.write(name);
    ASSERT_TRUE(out.commit()) << name;
  }
  EXPECT_EQ(read_file(private_file), "private.srt");
  EXPECT_EQ(fs::status(private_file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(fs::is_symlink(dir.path / "link.ass"));
  EXPECT_EQ(read_file(dir.path / "real" / "linked.ass"), "link.ass");
  EXPECT_TRUE(fs::is_symlink(dir.path / "dangling.ass"));
  EXPECT_EQ(read_file(dir.path / "real" / "fresh.ass"), "dangling.ass");
}

TEST(OutputFileTest, FailsInAMissingFolderOrOntoADirectory) {
  TempDir dir;
  OutputFile out;
  EXPECT_FALSE(out.open((dir.path / "no" / "such" / "out.ass").string()));
  std::filesystem::create_directory(dir.path / "d.ass");
  EXPECT_FALSE(out.open((dir.path / "d.ass").string()));
  EXPECT_FALSE(out.commit());
}

}  // namespace
}  // namespace mendra
