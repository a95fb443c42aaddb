#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/run_binary.h"
#include "util/input_file.h"
#include "util/output_file.h"
#include "util/text_encoding.h"
#include "util/text_reader.h"

namespace mendra {
namespace {

using test::read_file;
using test::TempDir;
using test::write_file;
using namespace std::string_literals;

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

TEST(TextReaderTest, KeptLineStaysValidAcrossTheNextRead) {
  constexpr std::size_t kBuffer = 64 * 1024;
  const std::string filler(kBuffer - 3, 'f');
  struct KeptCase {
    const char* name;
    std::string text;
  };
  const std::vector<KeptCase> cases = {
      // "7\n" ends the buffer: the next read refills it.
      {"kept line ends the buffer", filler.substr(1) + "\n7\nnext\n"},
      // The next line crosses the buffer's end.
      {"next line crosses the end", filler + "\n7\nacross the end\nz\n"},
      // The kept line itself crossed the end, so lies outside the buffer.
      {"kept line crossed the end", filler + "\n12345\nb\n" + std::string(kBuffer, 'x') + "\nc"},
      {"short file", "1\n2\n\n3"},
  };
  TempDir dir;
  const std::string path = (dir.path / "kept.txt").string();
  for (const KeptCase& c : cases) {
    write_file(path, c.text);
    for (const bool in_memory : {false, true}) {
      TextReader reader;
      if (in_memory) {
        reader.open_memory(c.text);
      } else {
        ASSERT_TRUE(reader.open(path));
      }
      std::vector<std::string> lines;
      std::string_view kept;
      std::string_view line;
      while (reader.next_line(line, kept)) {
        if (!lines.empty()) {
          EXPECT_EQ(kept, lines.back()) << c.name << ", line " << lines.size() + 1;
        }
        lines.emplace_back(line);
        kept = line;
      }
      std::string joined;
      for (const std::string& l : lines) joined += l;
      EXPECT_EQ(joined, c.text) << c.name << (in_memory ? " in memory" : " from file");
    }
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

struct DecodeCase {
  const char* name;
  std::string bytes;  // the file
  bool keep_crlf;
  std::vector<std::string> lines;  // as read_line delivers them
  TextEncoding encoding;
};

// UTF-16 files read as UTF-8 without their mark, in memory as from a file
// (whose 64 KiB buffer the long case crosses, cutting a unit in two).
TEST(TextReaderTest, DecodesUtf16AndKeepsCrLfWhenAsked) {
  // 'a' 'a' pairs read as U+6161 (E6 85 A1), the odd last 'a' as U+FFFD.
  const std::string long_le = "\xFF\xFE" + std::string(70001, 'a');
  std::string long_expected;
  for (int i = 0; i < 35000; ++i) long_expected += "\xE6\x85\xA1";
  long_expected += "\xEF\xBF\xBD";
  const DecodeCase cases[] = {
      {"utf8 crlf", "a\r\nb", false, {"a\n", "b"}, TextEncoding::Utf8},
      {"utf8 keep crlf", "a\r\nb\n\r\n", true, {"a\r\n", "b\n", "\r\n"}, TextEncoding::Utf8},
      {"utf8 mark stays", "\xEF\xBB\xBFx", false, {"\xEF\xBB\xBFx"}, TextEncoding::Utf8},
      {"le",
       "\xFF\xFE"
       "a\0\r\0\n\0\xE9\0"s,
       false,
       {"a\n", "\xC3\xA9"},
       TextEncoding::Utf16Le},
      {"le keep crlf",
       "\xFF\xFE"
       "a\0\r\0\n\0"s,
       true,
       {"a\r\n"},
       TextEncoding::Utf16Le},
      {"be", "\xFE\xFF\0a\x30\x42\0\n"s, false, {"a\xE3\x81\x82\n"}, TextEncoding::Utf16Be},
      {"surrogate pair",
       "\xFF\xFE\x3D\xD8\x00\xDE"s,
       false,
       {"\xF0\x9F\x98\x80"},
       TextEncoding::Utf16Le},
      {"unpaired high", "\xFF\xFE\x3D\xD8z\0"s, false, {"\xEF\xBF\xBDz"}, TextEncoding::Utf16Le},
      {"high at end", "\xFF\xFEz\0\x3D\xD8"s, false, {"z\xEF\xBF\xBD"}, TextEncoding::Utf16Le},
      {"lone low", "\xFE\xFF\xDE\x00\0z"s, false, {"\xEF\xBF\xBDz"}, TextEncoding::Utf16Be},
      {"odd last byte", "\xFF\xFEz\0q"s, false, {"z\xEF\xBF\xBD"}, TextEncoding::Utf16Le},
      {"mark only", "\xFF\xFE", false, {}, TextEncoding::Utf16Le},
      {"one byte", "\xFF", false, {"\xFF"}, TextEncoding::Utf8},
      {"long odd", long_le, false, {long_expected}, TextEncoding::Utf16Le},
  };
  TempDir dir;
  const std::string path = (dir.path / "t.txt").string();
  for (const DecodeCase& c : cases) {
    const std::vector<std::string>& expected = c.lines;
    write_file(path, c.bytes);
    for (const bool in_memory : {false, true}) {
      TextReader reader;
      reader.set_keep_crlf(c.keep_crlf);
      if (in_memory) {
        reader.open_memory(c.bytes);
      } else {
        ASSERT_TRUE(reader.open(path));
      }
      std::vector<std::string> lines;
      for (std::string line; reader.read_line(line);) lines.push_back(line);
      EXPECT_EQ(lines, expected) << c.name << (in_memory ? " in memory" : " from file");
      EXPECT_EQ(reader.encoding(), c.encoding) << c.name;
      reader.rewind();
      std::string_view first;
      EXPECT_EQ(reader.next_line(first), !expected.empty()) << c.name;
      if (!expected.empty()) {
        EXPECT_EQ(first, expected.front()) << c.name << " after rewind";
      }
    }
  }
}

// -charset: the bytes in the named set read as UTF-8, from a file (read in
// 32 KiB pieces, which the long case cuts inside a two-byte character) as
// from memory; the first byte not of the set ends the text and names its
// line; a name iconv does not know reads nothing.
TEST(TextReaderTest, ReadsANamedCharacterSetAsUtf8) {
  struct CharsetCase {
    const char* charset;
    std::string bytes;
    std::vector<std::string> lines;
    std::int64_t bad_line;
    bool unknown;
  };
  // 32767 'x' put the 32768th byte in the middle of the SJIS 'a' (82 A0).
  const std::string long_sjis = std::string(32767, 'x') + "\x82\xA0\n";
  const CharsetCase cases[] = {
      {"CP1252", "Caf\xE9\r\n\x80\n", {"Caf\xC3\xA9\n", "\xE2\x82\xAC\n"}, 0, false},
      {"SHIFT_JIS", "\x82\xA0\n", {"\xE3\x81\x82\n"}, 0, false},
      {"SHIFT_JIS", long_sjis, {std::string(32767, 'x') + "\xE3\x81\x82\n"}, 0, false},
      {"EUC-JP", "a\n\xA4\xA2\n", {"a\n", "\xE3\x81\x82\n"}, 0, false},
      // Valid up to the byte that is not: nothing after it is read.
      {"SHIFT_JIS", "ok\n\n\x82\xA0\x82\nmore\n", {"ok\n", "\n", "\xE3\x81\x82"}, 3, false},
      // A sequence cut by the end of the file.
      {"SHIFT_JIS", "a\n\x82", {"a\n"}, 2, false},
      // A UTF-16 mark does not decide: the named set does.
      {"CP1252", "\xFF\xFEx", {"\xC3\xBF\xC3\xBEx"}, 0, false},
      {"NO-SUCH-SET", "abc\n", {}, 0, true},
  };
  TempDir dir;
  const std::string path = (dir.path / "t.txt").string();
  for (const CharsetCase& c : cases) {
    write_file(path, c.bytes);
    for (const bool in_memory : {false, true}) {
      const std::string name = std::string(c.charset) + (in_memory ? " in memory" : " from file");
      TextReader reader;
      reader.set_charset(c.charset);
      if (in_memory) {
        reader.open_memory(c.bytes);
      } else {
        ASSERT_TRUE(reader.open(path));
      }
      EXPECT_EQ(reader.charset_unknown(), c.unknown) << name;
      std::vector<std::string> lines;
      for (std::string line; reader.read_line(line);) lines.push_back(line);
      EXPECT_EQ(lines, c.lines) << name;
      EXPECT_EQ(reader.first_charset_error_line(), c.bad_line) << name;
      EXPECT_EQ(reader.encoding(), TextEncoding::Utf8) << name;
    }
  }
}

TEST(TextEncodingTest, EncodesUtf8BackReplacingWhatIsNotUtf8) {
  EXPECT_EQ(encode_utf16("a\xC3\xA9\xF0\x9F\x98\x80", TextEncoding::Utf16Le),
            "a\0\xE9\0\x3D\xD8\x00\xDE"s);
  EXPECT_EQ(encode_utf16("a\xE3\x81\x82", TextEncoding::Utf16Be), "\0a\x30\x42"s);
  // A stray continuation byte, an overlong form, an encoded surrogate and
  // a cut sequence at the end each become U+FFFD.
  EXPECT_EQ(encode_utf16("\x80"
                         "\xC0\xAF"
                         "\xED\xA0\x80"
                         "\xE3\x81",
                         TextEncoding::Utf16Be),
            "\xFF\xFD\xFF\xFD\xFF\xFD\xFF\xFD\xFF\xFD\xFF\xFD\xFF\xFD\xFF\xFD"s);
  // Split anywhere, a sequence is joined across the pieces.
  const std::string text = "x\xF0\x9F\x98\x80y\xC3\xA9";
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    Utf16Encoder encoder{TextEncoding::Utf16Le, {}};
    std::string out;
    encoder.encode(std::string_view(text).substr(0, cut), out);
    encoder.encode(std::string_view(text).substr(cut), out);
    encoder.finish(out);
    EXPECT_EQ(out, encode_utf16(text, TextEncoding::Utf16Le)) << cut;
    EXPECT_EQ(decode_utf16(out, TextEncoding::Utf16Le), text) << cut;
  }
}

// The line of the first byte that is not UTF-8, whatever the split into
// pieces: overlong forms, surrogates, code points past U+10FFFF, stray
// continuation bytes and a sequence cut by the end are all refused.
TEST(TextEncodingTest, Utf8CheckNamesTheLineOfTheFirstBadByte) {
  const struct {
    const char* name;
    std::string text;
    std::int64_t bad_line;
  } cases[] = {
      {"ascii and every sequence length", "a\n\xC3\xA9\n\xE2\x82\xAC\n\xF0\x9F\x98\x80\n", 0},
      {"the edges of the ranges", "\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF\xE0\xA0\x80", 0},
      {"Latin-1", "ok\nok\n\xC4rger\n", 3},
      {"overlong two bytes", "\xC0\xAF", 1},
      {"overlong three bytes", "x\n\xE0\x9F\xBF", 2},
      {"surrogate", "\xED\xA0\x80", 1},
      {"past U+10FFFF", "\xF4\x90\x80\x80", 1},
      {"stray continuation", "\n\n\x80", 3},
      {"cut by the end", "a\n\xE2\x82", 2},
      {"cut by a line end", "\xE2\n\x82", 1},
  };
  for (const auto& c : cases) {
    for (std::size_t split = 0; split <= c.text.size(); ++split) {
      Utf8Check check;
      check.check(std::string_view(c.text).substr(0, split));
      check.check(std::string_view(c.text).substr(split));
      check.finish();
      EXPECT_EQ(check.first_bad_line, c.bad_line) << c.name << ", split at " << split;
    }
  }
}

// A reader asked to check sees every byte once, those it peeked at before
// included, from a file and from memory; UTF-16 is UTF-8 once decoded.
TEST(TextReaderTest, ChecksUtf8OfEveryByteRead) {
  TempDir dir;
  const std::string bad = "WEBVTT\n" + std::string(70000, 'x') + "\n\xFF\n";
  const std::string path = (dir.path / "t.vtt").string();
  for (const std::string& stored : {bad, "\xFF\xFE\xFF\xD8\n\0"s}) {
    write_file(path, stored);
    TextReader reader;
    ASSERT_TRUE(reader.open(path));
    reader.peek_start();
    reader.check_utf8();
    for (std::string_view line; reader.next_line(line);) {
    }
    EXPECT_EQ(reader.first_non_utf8_line(), stored == bad ? 3 : 0);
    reader.open_memory(stored);
    reader.check_utf8();
    EXPECT_EQ(reader.first_non_utf8_line(), stored == bad ? 3 : 0);
  }
}

// A named pipe is looked for without being opened (opening it would wait
// for a writer, or take what one sent), and a reader that must rewind gets
// all of it twice from one open.
TEST(TextReaderTest, NamedPipeIsProbedWithoutOpeningAndReadOnce) {
  TempDir dir;
  const std::string fifo = (dir.path / "cuts.txt").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(can_read_text_file(fifo));
  EXPECT_EQ(open_failure_reason(fifo), "");
  const std::string text = "100\n200\n" + std::string(100000, '7') + "\n";
  std::thread writer([&] { write_file(fifo, text); });
  TextReader reader;
  ASSERT_TRUE(reader.open_rewindable(fifo));
  writer.join();
  for (int pass = 0; pass < 2; ++pass) {
    std::string all;
    for (std::string line; reader.read_line(line);) all += line;
    EXPECT_EQ(all, text) << "pass " << pass;
    reader.rewind();
  }
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
  EXPECT_EQ(out.error_number(), ENOENT);
  std::filesystem::create_directory(dir.path / "d.ass");
  EXPECT_FALSE(out.open((dir.path / "d.ass").string()));
  EXPECT_EQ(out.error_number(), EISDIR);
  EXPECT_FALSE(out.commit());
}

// Outputs committed together: when the last cannot be renamed into place
// (its target became a folder meanwhile), the targets renamed before it
// get their old files back and new ones go again; nothing else is left.
TEST(OutputFileTest, AGroupIsCommittedWholeOrNotAtAll) {
  namespace fs = std::filesystem;
  for (const bool first_exists : {true, false}) {
    TempDir dir;
    const fs::path first = dir.path / "a_new.srt";
    const fs::path second = dir.path / "tc.txt";
    if (first_exists) write_file(first, "old");
    OutputFile outputs[2];
    ASSERT_TRUE(outputs[0].open(first.string()));
    ASSERT_TRUE(outputs[1].open(second.string()));
    outputs[0].write("new");
    outputs[1].write("frames");
    write_file(second / "inside", "");
    OutputFile* group[] = {&outputs[0], &outputs[1]};
    EXPECT_EQ(commit_together(group), 1u);
    EXPECT_NE(outputs[1].error_number(), 0);
    test::FileSet expected{{"tc.txt/inside", ""}};
    if (first_exists) expected["a_new.srt"] = "old";
    EXPECT_EQ(test::snapshot(dir.path), expected) << first_exists;

    fs::remove_all(second);
    OutputFile again[2];
    ASSERT_TRUE(again[0].open(first.string()));
    ASSERT_TRUE(again[1].open(second.string()));
    again[0].write("new");
    again[1].write("frames");
    OutputFile* both[] = {&again[0], &again[1]};
    EXPECT_EQ(commit_together(both), 2u);
    EXPECT_EQ(test::snapshot(dir.path),
              (test::FileSet{{"a_new.srt", "new"}, {"tc.txt", "frames"}}));
  }
}

// Text written in pieces of any size comes out in the file's encoding,
// sequences cut by the write buffer included.
TEST(OutputFileTest, WritesInTheEncodingAsked) {
  TempDir dir;
  const std::string path = (dir.path / "u.srt").string();
  std::string text;
  for (int i = 0; i < 30000; ++i) text += "\xC3\xA9\xF0\x9F\x98\x80\n";
  OutputFile out;
  ASSERT_TRUE(out.open(path));
  out.set_encoding(TextEncoding::Utf16Be);
  for (std::size_t at = 0; at < text.size(); at += 7001)
    out.write(std::string_view(text).substr(at, 7001));
  EXPECT_TRUE(out.commit());
  EXPECT_EQ(out.error_number(), 0);
  EXPECT_EQ(read_file(path), encode_utf16(text, TextEncoding::Utf16Be));
}

// The first bytes can be looked at without being taken, in UTF-8 and in
// UTF-16 (decoded), and every line still reads afterwards.
TEST(TextReaderTest, PeekedStartStaysToBeRead) {
  TempDir dir;
  const std::string text =
      "[Script Info]\r\nScriptType: v4.00\r\n" + std::string(70000, 'x') + "\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : text) {
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  for (const std::string& stored : {text, utf16}) {
    const std::string path = (dir.path / "p.txt").string();
    write_file(path, stored);
    TextReader reader;
    reader.set_keep_crlf(true);
    ASSERT_TRUE(reader.open(path));
    const std::string_view start = reader.peek_start();
    EXPECT_TRUE(start.starts_with("[Script Info]\r\nScriptType: v4.00\r\n")) << start.substr(0, 40);
    EXPECT_EQ(reader.peek_start(), start);
    std::string all;
    for (std::string_view line; reader.next_line(line);) all += line;
    EXPECT_EQ(all, text);
  }
}

// An empty piece, also one that points nowhere, writes nothing and breaks
// nothing (it once reached memcpy with a null pointer).
TEST(OutputFileTest, EmptyPiecesWriteNothing) {
  TempDir dir;
  const std::string path = (dir.path / "e.ass").string();
  OutputFile out;
  ASSERT_TRUE(out.open(path));
  out.write(std::string_view{});
  out.write("a");
  out.write(std::string_view{});
  out.write(std::string(70000, 'b'));  // beyond the buffer: the slow path
  out.write(std::string_view{});
  ASSERT_TRUE(out.commit());
  std::string expected(70001, 'b');
  expected.front() = 'a';
  EXPECT_EQ(read_file(path), expected);
}

TEST(OutputFileTest, WritesIntoAString) {
  std::string text = "kept";
  OutputFile out;
  out.open_string(text);
  out.set_encoding(TextEncoding::Utf16Le);
  out.write("\xC3\xA9");
  out.write(std::string(70000, 'c'));
  ASSERT_TRUE(out.commit());
  EXPECT_EQ(text,
            "kept" + encode_utf16("\xC3\xA9" + std::string(70000, 'c'), TextEncoding::Utf16Le));
}

// Runs `body` in a child process whose standard output goes to `path`;
// returns the child's wait status.
template <typename Body>
int in_child_with_stdout(const std::string& path, Body body) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(99);
    body();
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

// Standard output holds back what is written, so a writer that gives up
// early has written nothing; past the held amount it streams.
TEST(OutputFileTest, StandardOutputHoldsBackUntilCommit) {
  TempDir dir;
  struct Case {
    const char* name;
    std::vector<std::size_t> pieces;
    bool commit;
    std::size_t expected;
  };
  for (const Case& c :
       {Case{"committed", {10}, true, 10}, Case{"discarded", {10, 20}, false, 0},
        Case{"beyond the held amount", {kHeldOutputBytes - 10, 20}, false, kHeldOutputBytes - 10},
        Case{"larger than the held amount", {kHeldOutputBytes + 5}, false, kHeldOutputBytes + 5}}) {
    const std::string path = (dir.path / "stdout.txt").string();
    const int status = in_child_with_stdout(path, [&] {
      OutputFile out;
      out.open_standard_output();
      for (const std::size_t piece : c.pieces) out.write(std::string(piece, 's'));
      if (c.commit) {
        if (!out.commit()) _exit(1);
      } else {
        out.discard();
      }
    });
    ASSERT_TRUE(WIFEXITED(status)) << c.name;
    EXPECT_EQ(WEXITSTATUS(status), 0) << c.name;
    const std::string written = read_file(path);
    EXPECT_EQ(written.size(), c.expected) << c.name;
    EXPECT_EQ(written.find_first_not_of('s'), std::string::npos) << c.name;
  }
}

// A run interrupted by SIGINT, SIGTERM or SIGHUP removes the temporary
// files it has open, leaves every target as it was, and dies of the signal.
TEST(OutputFileTest, InterruptedRunRemovesItsTemporaryFiles) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    TempDir dir;
    const std::string existing = (dir.path / "old.srt").string();
    write_file(existing, "old");
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      OutputFile first;
      OutputFile second;
      if (!first.open(existing) || !second.open((dir.path / "new.srt").string())) _exit(98);
      first.write(std::string(100000, 'n'));
      second.write("partial");
      raise(signal_number);
      _exit(97);  // not reached: the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signal_number << ", status " << status;
    EXPECT_EQ(WTERMSIG(status), signal_number);
    EXPECT_EQ(test::snapshot(dir.path), (test::FileSet{{"old.srt", "old"}}))
        << "signal " << signal_number;
  }
}

}  // namespace
}  // namespace mendra
