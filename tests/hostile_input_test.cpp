// Hostile input through the built binary: empty files, binary junk, folders
// where files belong, missing folders, megabyte lines, NUL bytes, numbers far
// beyond the int range and streams cut short. Whatever it is given, mendra
// exits 0 or 1, writes nothing on standard output, leaves every input as it was
// and writes no file but the ones listed.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "support/run_binary.h"
#include "util/text_encoding.h"

namespace mendra::test {
namespace {

namespace fs = std::filesystem;
using Files = FileSet;
using namespace std::string_literals;

constexpr std::size_t kMegabyte = std::size_t{1} << 20;

const std::string kAss =
    "[Events]\n"
    "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,one\n"
    "Dialogue: 0,0:00:03.00,0:00:04.00,Default,,0,0,0,,two\n";
const std::string kSrt =
    "1\n00:00:01,000 --> 00:00:02,000\none\n\n"
    "2\n00:00:03,000 --> 00:00:04,000\ntwo\n\n";
// Keeps everything: the times come back as they went in (at 30 fps, less
// the rounding through frame positions).
const std::string kKeepAll = "0 * 99999\n";

// Concatenation by appending: GCC 12 at -O2 and above warns falsely
// (-Wrestrict) about a string literal added to a std::string temporary.
std::string join(std::initializer_list<std::string_view> parts) {
  std::string joined;
  for (std::string_view part : parts) joined += part;
  return joined;
}

std::string repeated(std::string_view part, std::size_t times) {
  std::string text;
  text.reserve(part.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += part;
  return text;
}

std::string junk(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// What CR LF -> LF text reading and LF writing make of a copied file.
std::string without_cr_before_lf(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

struct Outcome {
  RunResult result;
  Files written;  // new or changed regular files, by relative path
};

// Writes `files` (a name ending in '/' makes a folder) into a fresh folder,
// runs the binary there and checks what holds for every hostile input.
Outcome run_case(const Files& files, const std::vector<std::string>& args) {
  TempDir dir;
  for (const auto& [name, content] : files) {
    if (name.ends_with('/')) {
      fs::create_directories(dir.path / name);
    } else {
      write_file(dir.path / name, content);
    }
  }
  const Files before = snapshot(dir.path);
  Outcome outcome;
  outcome.result = run_binary(MENDRA_BINARY, args, dir.path);
  // 0 when everything was written, 1 when an input failed: never a crash.
  EXPECT_TRUE(outcome.result.exit_status == 0 || outcome.result.exit_status == 1)
      << "exit status " << outcome.result.exit_status;
  EXPECT_EQ(outcome.result.standard_output, "");
  const Files after = snapshot(dir.path);
  for (const auto& [name, content] : before) {
    const auto now = after.find(name);
    if (now == after.end()) {
      ADD_FAILURE() << name << " was removed";
    } else if (now->second != content) {
      outcome.written[name] = now->second;
    }
  }
  for (const auto& [name, content] : after) {
    if (!before.count(name)) outcome.written[name] = content;
  }
  return outcome;
}

// Compares without printing megabytes: sizes and the first difference.
::testing::AssertionResult same_text(const std::string& got, const std::string& expected) {
  if (got == expected) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
  return ::testing::AssertionFailure()
         << "got " << got.size() << " bytes, expected " << expected.size()
         << "; first difference at byte " << at << ": got \"" << got.substr(at, 40)
         << "\", expected \"" << expected.substr(at, 40) << "\"";
}

std::set<std::string> names(const Files& files) {
  std::set<std::string> result;
  for (const auto& [name, content] : files) result.insert(name);
  return result;
}

// One hostile situation: the files, the arguments, the files it may write
// and a message standard error must hold ("" when none is due).
struct HostileCase {
  std::string label;
  Files files;
  std::vector<std::string> args;
  std::set<std::string> written;
  std::string message;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
  *os << c.label;
}

class HostileCaseTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileCaseTest, ExitsCleanlyAndWritesOnlyWhatIsDue) {
  const HostileCase& c = GetParam();
  const Outcome outcome = run_case(c.files, c.args);
  EXPECT_EQ(names(outcome.written), c.written);
  if (!c.message.empty()) {
    EXPECT_NE(outcome.result.standard_error.find(c.message), std::string::npos)
        << "standard error:\n"
        << outcome.result.standard_error;
  }
}

std::string name_of(const ::testing::TestParamInfo<HostileCase>& info) {
  return info.param.label;
}

INSTANTIATE_TEST_SUITE_P(
    EmptyFiles, HostileCaseTest,
    ::testing::Values(
        HostileCase{
            "EmptyAss", {{"a.ass", ""}, {"a_del.txt", kKeepAll}}, {"a.ass"}, {"a_new.ass"}, ""},
        HostileCase{
            "EmptySrt", {{"a.srt", ""}, {"a_del.txt", kKeepAll}}, {"a.srt"}, {"a_new.srt"}, ""},
        HostileCase{"EmptyDelList", {{"a.ass", kAss}, {"a_del.txt", ""}}, {"a.ass"}, {}, ""},
        HostileCase{"EmptyTrimScript",
                    {{"a.ass", kAss}, {"cut.avs", ""}},
                    {"-t", "cut.avs", "a.ass"},
                    {},
                    "no kept frames in cut.avs\n"},
        HostileCase{"EmptyVcf",
                    {{"a.ass", kAss}, {"cut.vcf", ""}},
                    {"-v", "cut.vcf", "a.ass"},
                    {},
                    "no kept frames in cut.vcf\n"},
        HostileCase{"EmptyKeyList",
                    {{"a.ass", kAss}, {"cut.key", ""}},
                    {"-k3", "cut.key", "a.ass"},
                    {},
                    "no kept frames in cut.key\n"},
        HostileCase{"EmptyConcatScript",
                    {{"a.ass", kAss}, {"cut.ffconcat", ""}},
                    {"-concat", "cut.ffconcat", "a.ass"},
                    {},
                    "no kept frames in cut.ffconcat\n"},
        HostileCase{"EmptyAvidemuxProject",
                    {{"a.ass", kAss}, {"cut.py", ""}},
                    {"-avidemux", "cut.py", "a.ass"},
                    {},
                    "no kept frames in cut.py\n"},
        HostileCase{"EmptyLosslessCutProject",
                    {{"a.ass", kAss}, {"cut.llc", "{}"}},
                    {"-segments", "cut.llc", "a.ass"},
                    {},
                    "no cuts could be read from cut.llc (1 lines, first: line 1)\n"},
        HostileCase{"EmptyD2v",
                    {{"p.d2v", ""}, {"p_del.txt", kKeepAll}},
                    {"-md", "p.d2v"},
                    {},
                    "not exist TS file...\n"},
        HostileCase{"EmptyStream",
                    {{"a.ass", kAss}, {"a_del.txt", kKeepAll}, {"a.ts", ""}},
                    {"-md", "a.ass"},
                    {},
                    ""},
        HostileCase{"EmptyChapterFile",
                    {{"a.srt", kSrt}, {"a_del.txt", kKeepAll}, {"c.txt", ""}},
                    {"-chapters", "c.txt", "a.srt"},
                    {},
                    "not a chapter file: c.txt ("},
        HostileCase{"EmptyChapterInput",
                    {{"c.xml", ""}, {"c_del.txt", kKeepAll}},
                    {"c.xml"},
                    {},
                    "not a chapter file: c.xml ("}),
    name_of);

INSTANTIATE_TEST_SUITE_P(
    BinaryJunk, HostileCaseTest,
    ::testing::Values(
        // Junk lines meant as cues, not one of them readable: nothing is
        // written.
        HostileCase{"JunkSrt",
                    {{"a.srt", junk(5000, 1)}, {"a_del.txt", kKeepAll}},
                    {"a.srt"},
                    {},
                    "no times could be read in a.srt (first: line "},
        HostileCase{
            "JunkDelList", {{"a.ass", kAss}, {"a_del.txt", junk(5000, 2)}}, {"a.ass"}, {}, ""},
        HostileCase{"JunkTrimScript",
                    {{"a.ass", kAss}, {"cut.avs", junk(5000, 3)}},
                    {"-t", "cut.avs", "a.ass"},
                    {},
                    "no cuts could be read from cut.avs ("},
        HostileCase{"JunkVcf",
                    {{"a.ass", kAss}, {"cut.vcf", junk(5000, 4)}},
                    {"-v", "cut.vcf", "a.ass"},
                    {},
                    "no cuts could be read from cut.vcf ("},
        // Not one line of junk is a plain frame number.
        HostileCase{"JunkKeyListAuto",
                    {{"a.ass", kAss}, {"cut.key", junk(5000, 5)}},
                    {"-k", "cut.key", "a.ass"},
                    {},
                    "no cuts could be read from cut.key ("},
        HostileCase{"JunkMpvEdl",
                    {{"a.ass", kAss}, {"a.edl", join({"# mpv EDL v0\n", junk(5000, 9)})}},
                    {"a.ass"},
                    {"a_new.ass"},  // a line without a comma names a file kept whole
                    " [mpv edl]\n"},
        HostileCase{"JunkLosslessCutProject",
                    {{"a.ass", kAss}, {"cut.llc", join({"{", junk(5000, 10)})}},
                    {"-segments", "cut.llc", "a.ass"},
                    {},
                    "no cuts could be read from cut.llc ("},
        HostileCase{"JunkConcatScript",
                    {{"a.ass", kAss}, {"cut.ffconcat", junk(5000, 11)}},
                    {"-concat", "cut.ffconcat", "a.ass"},
                    {},
                    "no cuts could be read from cut.ffconcat ("},
        HostileCase{"JunkAvidemuxProject",
                    {{"a.ass", kAss}, {"cut.py", join({"adm.addSegment(", junk(5000, 12)})}},
                    {"-avidemux", "cut.py", "a.ass"},
                    {},
                    "no cuts could be read from cut.py (1 lines, first: line 1)\n"},
        HostileCase{"JunkOgmChapters",
                    {{"a.srt", kSrt},
                     {"a_del.txt", kKeepAll},
                     {"c.txt", join({"CHAPTER01=", junk(5000, 13)})}},
                    {"-chapters", "c.txt", "a.srt"},
                    {},
                    "no chapter times could be read in c.txt (first: line 1)\n"},
        HostileCase{"JunkMatroskaChapters",
                    {{"c.xml", join({"<Chapters>", junk(5000, 14)})}, {"c_del.txt", kKeepAll}},
                    {"c.xml"},
                    {},
                    "chapter file c.xml, line "},
        HostileCase{"JunkFfmetadata",
                    {{"c.ffmeta", join({";FFMETADATA1\n[CHAPTER]\n", junk(5000, 15)})},
                     {"c_del.txt", kKeepAll}},
                    {"c.ffmeta"},
                    {},
                    "no chapter times could be read in c.ffmeta (first: line 2)\n"},
        HostileCase{"JunkD2v",
                    {{"p.d2v", junk(5000, 6)}, {"p_del.txt", kKeepAll}},
                    {"-md", "p.d2v"},
                    {},
                    ""},
        HostileCase{"JunkStream",
                    {{"a.ass", kAss}, {"a_del.txt", kKeepAll}, {"a.ts", junk(188 * 200, 7)}},
                    {"-mt", "a.ass"},
                    {},
                    ""}),
    name_of);

INSTANTIATE_TEST_SUITE_P(
    FoldersAndMissingPaths, HostileCaseTest,
    ::testing::Values(HostileCase{"FolderAsInput",
                                  {{"dir.ass/", ""}, {"dir_del.txt", kKeepAll}},
                                  {"dir.ass"},
                                  {},
                                  "input ass open error: dir\n"},
                      HostileCase{"FolderAsDelList",
                                  {{"a.ass", kAss}, {"list/", ""}},
                                  {"-l", "list", "a.ass"},
                                  {},
                                  "list file open error: list\n"},
                      HostileCase{"FolderAsTrimScript",
                                  {{"a.ass", kAss}, {"list/", ""}},
                                  {"-t", "list", "a.ass"},
                                  {},
                                  "list file open error: list\n"},
                      // An -o that names a folder writes into it.
                      HostileCase{"FolderAsOutput",
                                  {{"a.ass", kAss}, {"a_del.txt", kKeepAll}, {"out.ass/", ""}},
                                  {"-o", "out.ass", "a.ass"},
                                  {"out.ass/a_new.ass"},
                                  ""},
                      HostileCase{"FolderAsStream",
                                  {{"a.ass", kAss}, {"a_del.txt", kKeepAll}, {"a.ts/", ""}},
                                  {"-md", "a.ass"},
                                  {},
                                  ""},
                      HostileCase{"FolderAsD2v",
                                  {{"p.d2v/", ""}, {"p_del.txt", kKeepAll}},
                                  {"-md", "p.d2v"},
                                  {},
                                  "input d2v open error: p.d2v\n"},
                      HostileCase{"InputInMissingFolder",
                                  {{"a_del.txt", kKeepAll}},
                                  {"-l", "a_del.txt", "nofolder/a.ass"},
                                  {},
                                  "input ass open error: nofolder/a\n"},
                      HostileCase{"DelListInMissingFolder",
                                  {{"a.ass", kAss}},
                                  {"-l", "nofolder/list.txt", "a.ass"},
                                  {},
                                  "list file open error: nofolder/list.txt\n"},
                      HostileCase{"DelayOnlyInputInMissingFolder",
                                  {},
                                  {"-delay", "100", "nofolder/a.srt"},
                                  {},
                                  "input srt open error: nofolder/a\n"}),
    name_of);

// Conversions of files made to break a reader of cues or a writer: override
// blocks never closed, a drawing never ended, tags inside tags, times far
// out, bytes not of the character set named.
INSTANTIATE_TEST_SUITE_P(
    Conversions, HostileCaseTest,
    ::testing::Values(
        HostileCase{"UnclosedBlocksAndDrawing",
                    {{"a.ass",
                      "[Events]\nDialogue: 0,0:00:01.00,0:00:02.00,,,0,0,0,,{\\i1\\p1 m\n"
                      "Dialogue: 0,0:00:01.00,0:00:02.00,,,0,0,0,,{\\t(\\pos(1,2)\\p2)}x\\\n"
                      "Dialogue: 0,0:00:01.00,0:00:02.00\nComment: 9,junk\n"}},
                    {"-nocut", "-o", "b.srt", "a.ass"},
                    {"b.srt"},
                    "warning: converting a.ass to b.srt left out "},
        HostileCase{"HugeTimesToAss",
                    {{"a.vtt", "WEBVTT\n\n590:00:00.000 --> 596:31:23.647\n<b><i>x\n"}},
                    {"-nocut", "-o", "b.ass", "a.vtt"},
                    {"b.ass"},
                    ""},
        HostileCase{"JunkVttToSsa",
                    {{"a.vtt", "WEBVTT\n" + junk(5000, 3)}},
                    {"-nocut", "-o", "b.ssa", "a.vtt"},
                    {"b.ssa"},
                    ""},
        HostileCase{"JunkAssToVtt",
                    {{"a.ass", "[Script Info]\n" + junk(5000, 4)}},
                    {"-nocut", "-o", "b.vtt", "a.ass"},
                    {},
                    ""},
        HostileCase{"BytesNotOfTheCharset",
                    {{"a.srt", "1\n00:00:01,000 --> 00:00:02,000\n\x82\n"}},
                    {"-nocut", "-charset", "CP932", "-o", "b.ass", "a.srt"},
                    {},
                    "not written: a.srt is not CP932 (line 3)\n"}),
    name_of);

// Numbers far beyond the int range saturate; the run goes on and writes.
INSTANTIATE_TEST_SUITE_P(
    HugeNumbers, HostileCaseTest,
    ::testing::Values(
        HostileCase{"HugeFps",
                    {{"a.ass", kAss}, {"a_del.txt", kKeepAll}},
                    {"-fps", "99999999999999999999", "a.ass"},
                    {"a_new.ass"},
                    ""},
        HostileCase{"HugeNegativeFps",
                    {{"a.ass", kAss}, {"a_del.txt", kKeepAll}},
                    {"-fps", "-99999999999999999999", "a.ass"},
                    {"a_new.ass"},
                    ""},
        HostileCase{"LargestDelay",
                    {{"a.srt", kSrt}, {"a_del.txt", kKeepAll}},
                    {"-delay", "2147483647", "a.srt"},
                    {"a_new.srt"},
                    "\tdelay time  : 2147483647 msec\n"},
        HostileCase{"SmallestDelay",
                    {{"a.srt", kSrt}, {"a_del.txt", kKeepAll}},
                    {"-delay", "-2147483648", "a.srt"},
                    {"a_new.srt"},
                    "\tdelay time  : -2147483648 msec\n"},
        HostileCase{"SmallestDelayOnly",
                    {{"a.ass", kAss}},
                    {"-delay", "-2147483648", "a.ass"},
                    {"a_new.ass"},
                    "[ass] -2147483640 msec"},
        HostileCase{"DelayBeyondTheIntRange",
                    {{"a.srt", kSrt}, {"a_del.txt", kKeepAll}},
                    {"-delay", "-99999999999999999999", "a.srt"},
                    {},
                    "invalid delay: -99999999999999999999\n"},
        HostileCase{"HugeGopAndPmtPid",
                    {{"a.ass", kAss}, {"a_del.txt", kKeepAll}},
                    {"-gop", "99999999999999999999", "-pmt_pid", "FFFFFFFFFFFFFFFFFFFFFFFF", "-md",
                     "a.ass"},
                    {},
                    "invalid PMT PID: FFFFFFFFFFFFFFFFFFFFFFFF\n"},
        HostileCase{"HugeDelListNumbers",
                    {{"a.ass", kAss},
                     {"a_del.txt",
                      "-99999999999 * 99999999999\n-99999999999 - 99999999999\n"
                      "2147483647 - 2147483647\n99999999999\n"}},
                    {"a.ass"},
                    {},
                    "no kept frames in a_del.txt\n"},
        HostileCase{"HugeTrimNumbers",
                    {{"a.ass", kAss},
                     {"cut.avs",
                      "Trim(99999999999,-99999999999) ++ Trim(-2147483648,2147483647)\n"
                      "Trim(99999999999*99999999999,(0-99999999999)/-1)\n"}},
                    {"-t", "cut.avs", "a.ass"},
                    {},
                    "no kept frames in cut.avs\n"},
        HostileCase{"HugeVcfNumbers",
                    {{"a.ass", kAss},
                     {"cut.vcf",
                      "VirtualDub.subset.AddRange(2147483647,2147483647);\n"
                      "VirtualDub.subset.AddRange(-99999999999,99999999999);\n"}},
                    {"-v", "cut.vcf", "a.ass"},
                    {},
                    "no kept frames in cut.vcf\n"},
        HostileCase{"HugeLosslessCutNumbers",
                    {{"a.ass", kAss},
                     {"cut.llc",
                      "{cutSegments: [{start: 1e400, end: 99999999999999999999},"
                      " {start: -5, end: 0x7FFFFFFFFFFFFFFFFFFF}, {start: 1e-999, end: NaN},"
                      " {start: 99999999999, end: 1e12}]}"}},
                    {"-segments", "cut.llc", "a.ass"},
                    {},
                    "no kept frames in cut.llc\n"},
        HostileCase{"HugeMpvEdlNumbers",
                    {{"a.ass", kAss},
                     {"a.edl",
                      "# mpv EDL v0\na.ts,99999999999999999999,1\n"
                      "%99999999999999999999%a.ts\na.ts,999999999999,99999999999\n"}},
                    {"a.ass"},
                    {},
                    "no kept frames in a.edl\n"},
        HostileCase{"HugeConcatNumbers",
                    {{"a.ass", kAss},
                     {"cut.ffconcat",
                      "file a.ts\ninpoint 99999999999999999999\ninpoint 99999999999\n"
                      "duration 99999999999999999999us\nduration 999999999999999999ms\n"}},
                    {"-concat", "cut.ffconcat", "a.ass"},
                    {},
                    "no kept frames in cut.ffconcat\n"},
        HostileCase{"HugeAvidemuxNumbers",
                    {{"a.ass", kAss},
                     {"cut.py",
                      "adm.clearSegments()\n"
                      "adm.addSegment(0, 99999999999999999999, 1)\n"
                      "adm.addSegment(0, 999999999999999, 999999999999999)\n"
                      "adm.markerA = 99999999999999999999\nadm.markerB = 999999999999999\n"}},
                    {"-avidemux", "cut.py", "a.ass"},
                    {},
                    "no kept frames in cut.py\n"},
        // Hours beyond a million are no time; times far beyond the video and
        // time bases of 32-bit terms are read and left out.
        HostileCase{"HugeOgmChapterTimes",
                    {{"a.srt", kSrt},
                     {"a_del.txt", kKeepAll},
                     {"c.txt",
                      "CHAPTER01=99999999:59:59.999\nCHAPTER01NAME=x\n"
                      "CHAPTER02=1000000:00:00.000\nCHAPTER02NAME=y\n"}},
                    {"-chapters", "c.txt", "a.srt"},
                    {"a_new.srt", "c_new.txt"},
                    "warning: 1 lines of c.txt were not re-timed (first: line 1)\n"},
        HostileCase{
            "HugeFfmetadataTimes",
            {{"c.ffmeta",
              ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=2147483647/1\n"
              "START=4611686018427387903\nEND=99999999999999999999\n"
              "[CHAPTER]\nTIMEBASE=1/2147483647\nSTART=2147483647\nEND=4611686018427387903\n"},
             {"c_del.txt", kKeepAll}},
            {"-fps-change", "1:1000000", "c.ffmeta"},
            {"c_new.ffmeta"},
            "warning: 1 lines of c.ffmeta were not re-timed (first: line 5)\n"},
        HostileCase{
            "HugeKeyNumbers",
            {{"a.ass", kAss}, {"cut.key", "99999999999\n-99999999999\n2147483647\n-2147483648\n"}},
            {"-k", "cut.key", "a.ass"},
            {},
            "no kept frames in cut.key\n"}),
    name_of);

// MicroDVD files: frame numbers past 64 bits or missing, a megabyte of
// line breaks and style codes, rate lines that name no rate, NUL bytes,
// UTF-16.
const std::string kHugeFrames =
    "{99999999999999}{1}a\n{999999999999999}{999999999999999}b\n{1}{9999999999999999}c\n"
    "{25}{50}ok\n{1}{999999999999999}d\n";

// A megabyte of MicroDVD text: line breaks, style codes closed and not,
// codes of no style, markup of other formats.
std::string megabyte_of_codes() {
  static const char* const kPieces[] = {"|", "{y:i}", "{Y:b,u}", "{y:", "x", "{c:$FF}", "{P:1,2}",
                                        "}", "{",     "ab ",     "<i>", "&", "\\N"};
  std::mt19937 random(1);
  std::string text;
  while (text.size() < kMegabyte) text += kPieces[random() % std::size(kPieces)];
  return text;
}

std::string utf16_sub(TextEncoding encoding) {
  const std::string mark = encoding == TextEncoding::Utf16Le ? "\xFF\xFE" : "\xFE\xFF";
  return mark + encode_utf16("{1}{1}25\r\n{25}{50}a|{y:i}b\r\n{75}{100}c\r\n", encoding);
}

std::vector<HostileCase> microdvd_cases() {
  std::vector<HostileCase> cases = {
      HostileCase{"HugeFrameNumbers",
                  {{"a.sub", kHugeFrames}, {"a_del.txt", kKeepAll}},
                  {"a.sub"},
                  {"a_new.sub"},
                  "warning: 1 lines of a.sub were not re-timed (first: line 3)\n"},
      HostileCase{"HugeFrameNumbersToSrt",
                  {{"a.sub", kHugeFrames}},
                  {"-nocut", "-o", "b.srt", "a.sub"},
                  {"b.srt"},
                  "written: b.srt (2 re-timed, 2 dropped)\n"},
      HostileCase{"EmptyFrameFields",
                  {{"a.sub", "{}{}\n{1}{\n"}, {"a_del.txt", kKeepAll}},
                  {"a.sub"},
                  {},
                  "no times could be read in a.sub (first: line 1)\n"},
      HostileCase{"UnterminatedFieldsAmongCues",
                  {{"a.sub", "{}{}\n{25}{50}ok\n{1}{"}, {"a_del.txt", kKeepAll}},
                  {"a.sub"},
                  {"a_new.sub"},
                  "warning: 2 lines of a.sub were not re-timed (first: line 1)\n"},
      HostileCase{"MegabyteOfBreaksAndCodes",
                  {{"a.sub", join({"{1}{2}", megabyte_of_codes(), "\n{25}{50}after\n"})}},
                  {"-nocut", "-o", "b.ass", "a.sub"},
                  {"b.ass"},
                  "written: b.ass (2 re-timed, 0 dropped)\n"},
      HostileCase{"MegabyteOfUnclosedCodes",
                  {{"a.sub", join({"{1}{2}", repeated("{y:", kMegabyte / 3), "\n{25}{50}x\n"})}},
                  {"-nocut", "-o", "b.vtt", "a.sub"},
                  {"b.vtt"},
                  "written: b.vtt (2 re-timed, 0 dropped)\n"},
      // A later "{1}{1}25" is a subtitle of no length, not a rate.
      HostileCase{"RateLineOnLaterLine",
                  {{"a.sub", "{25}{50}ok\n{1}{1}25\n{75}{100}two\n"}},
                  {"-nocut", "-o", "b.srt", "a.sub"},
                  {"b.srt"},
                  "written: b.srt (2 re-timed, 1 dropped)\n"},
      HostileCase{
          "NulBytesInSub",
          {{"a.sub", "{1}{1}25\n{25}{50}a\0b|c\0\n{7\0 5}{100}x\n"s}, {"a_del.txt", kKeepAll}},
          {"a.sub"},
          {"a_new.sub"},
          "warning: 1 lines of a.sub were not re-timed (first: line 3)\n"},
      HostileCase{"Utf16SubToVtt",
                  {{"a.sub", utf16_sub(TextEncoding::Utf16Le)}},
                  {"-nocut", "-o", "b.vtt", "a.sub"},
                  {"b.vtt"},
                  "written: b.vtt (2 re-timed, 0 dropped)\n"},
      HostileCase{"Utf16BigEndianSub",
                  {{"a.sub", utf16_sub(TextEncoding::Utf16Be)}, {"a_del.txt", kKeepAll}},
                  {"a.sub"},
                  {"a_new.sub"},
                  "written: a_new.sub (2 re-timed, 0 dropped)\n"},
  };
  // A first line shaped as the rate line that names no rate is a line not
  // read, not a subtitle dropped: the frames are not silently timed at
  // another rate.
  const std::pair<const char*, const char*> kRates[] = {
      {"Zero", "0"},
      {"Negative", "-5"},
      {"Exponent", "1e9"},
      {"Huge", "99999999.999"},
      {"DecimalComma", "23,976"},
  };
  for (const auto& [name, rate] : kRates) {
    cases.push_back(HostileCase{join({"RateLine", name}),
                                {{"a.sub", join({"{1}{1}", rate, "\n{25}{50}ok\n"})}},
                                {"-nocut", "-o", "b.srt", "a.sub"},
                                {"b.srt"},
                                "warning: 1 lines of a.sub were not re-timed (first: line 1)\n"});
  }
  // Conversions from and to MicroDVD under every step, of files with times
  // far out and lines not read.
  const Files inputs = {
      {".sub",
       "{1}{1}23.976\n{24}{48}one|{y:i}two\n{99999999999999}{999999999999999}far\n{1}{\n"
       "{72}{96}{Y:b}{P:1,2}three\n{1}{1}25\n{999999999999999}{1}back\n"},
      {".srt",
       "1\n00:00:01,000 --> 00:00:02,000\n<i>one</i>\n\n"
       "2\n99999999999:00:00,000 --> 2147483647:59:59,999\nfar\n\n"},
      {".vtt",
       "WEBVTT\n\n00:01.000 --> 00:02.000\n<b>one</b>\n\n590:00:00.000 --> 596:31:23.647\nx\n"},
      {".ass",
       "[Events]\nDialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,{\\i1}one\n"
       "Dialogue: 0,99999999999:00:00.00,2147483647:59:59.99,Default,,0,0,0,,far\n"},
      {".ssa",
       "[Script Info]\nScriptType: v4.00\n\n[Events]\n"
       "Dialogue: Marked=0,0:00:01.00,0:00:02.00,Default,,0,0,0,,one\n"
       "Dialogue: Marked=0,99999999999:00:00.00,2147483647:59:59.99,Default,,0,0,0,,far\n"},
  };
  const std::pair<const char*, std::vector<std::string>> kSteps[] = {
      {"NoCut", {"-nocut"}},
      {"FarDelay", {"-delay", "-999999"}},
      {"FpsChange", {"-nocut", "-fps-change", "23.976:25"}},
      {"Sync", {"-sync", "0:01=0:02,0:10=0:12"}},
      {"Timecodes", {"-nocut", "-timecodes", "tc.txt"}},
  };
  const auto capitalised = [](const std::string& extension) {
    std::string name = extension.substr(1);
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name;
  };
  for (const auto& [from, bytes] : inputs) {
    for (const auto& [to, unused] : inputs) {
      if (from != ".sub" && to != ".sub") continue;
      for (const auto& [step, options] : kSteps) {
        HostileCase c{join({capitalised(from), "To", capitalised(to), step}),
                      {{"a" + from, bytes},
                       {"a_del.txt", "0 * 99999\n30 - 59\n"},
                       {"tc.txt", "# timecode format v1\nassume 29.97\n0,99,23.976\n"}},
                      options,
                      {"b" + to},
                      join({"written: b", to, " ("})};
        c.args.insert(c.args.end(), {"-o", "b" + to, "a" + from});
        cases.push_back(c);
      }
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(MicroDvd, HostileCaseTest, ::testing::ValuesIn(microdvd_cases()), name_of);

// A megabyte line in a cut list is read in pieces like any other line; the
// list still works.
INSTANTIATE_TEST_SUITE_P(
    MegabyteLines, HostileCaseTest,
    ::testing::Values(
        HostileCase{"MegabyteCommentInDelList",
                    {{"a.ass", kAss},
                     {"a_del.txt", join({"0 * 99999\n#", std::string(kMegabyte, 'x'), "\n"})}},
                    {"a.ass"},
                    {"a_new.ass"},
                    "\tTotal  frame: 100000  "},
        HostileCase{"MegabyteLineInTrimScript",
                    {{"a.ass", kAss},
                     {"cut.avs", join({"#", std::string(kMegabyte, '('), "\nTrim(0,99999)\n"})}},
                    {"-t", "cut.avs", "a.ass"},
                    {"a_new.ass"},
                    ""},
        // A value guarded by its length reaches past line ends; beyond a
        // megabyte it is junk.
        HostileCase{"MegabyteGuardedValueInMpvEdl",
                    {{"a.ass", kAss},
                     {"a.edl", join({"# mpv EDL v0\n%1048576%", std::string(kMegabyte, '\n'),
                                     ",0,10\n%1048577%", std::string(kMegabyte + 1, 'x'), "\n"})}},
                    {"a.ass"},
                    {"a_new.ass"},
                    "warning: 1 lines of a.edl could not be read (first: line 1048579)\n"},
        HostileCase{"MegabyteNestingInLosslessCutProject",
                    {{"a.ass", kAss},
                     {"cut.llc", join({"{cutSegments: ", std::string(kMegabyte, '['), "}"})}},
                    {"-segments", "cut.llc", "a.ass"},
                    {},
                    "no cuts could be read from cut.llc (1 lines, first: line 1)\n"},
        HostileCase{"MegabyteNameInLosslessCutProject",
                    {{"a.ass", kAss},
                     {"cut.llc", join({"{mediaFileName: '", std::string(kMegabyte, 'n'),
                                       ".ts', cutSegments: [{start: 0, end: 99999}]}"})}},
                    {"-segments", "cut.llc", "a.ass"},
                    {"a_new.ass"},
                    "nnnn.ts\n"},
        // A name is shown cut short; chapters nested as deep as the file
        // goes are read in time of its size.
        HostileCase{
            "MegabyteChapterName",
            {{"a.srt", kSrt},
             {"a_del.txt", kKeepAll},
             {"c.txt", join({"CHAPTER01=00:00:01.000\nCHAPTER01NAME=", std::string(kMegabyte, 'n'),
                             "\nCHAPTER02=00:00:01.000\nCHAPTER02NAME=b\n"})}},
            {"-chapters", "c.txt", "a.srt"},
            {"a_new.srt", "c_new.txt"},
            join({"left out: \"", std::string(60, 'n'), "...\" (line 1)\n"})},
        HostileCase{
            "DeepMatroskaNesting",
            {{"c.xml",
              join({"<Chapters><EditionEntry>",
                    repeated("<ChapterAtom><ChapterTimeStart>0:00:01.0</ChapterTimeStart>", 50000),
                    repeated("</ChapterAtom>", 50000), "</EditionEntry></Chapters>"})},
             {"c_del.txt", kKeepAll}},
            {"c.xml"},
            {"c_new.xml"},
            "written: c_new.xml (50000 chapters, 0 left out)\n"},
        HostileCase{"MegabyteNumberInKeyList",
                    {{"a.ass", kAss}, {"cut.key", std::string(kMegabyte, '7') + "\n0\n99999\n"}},
                    {"-k3", "cut.key", "a.ass"},
                    {},
                    "no kept frames in cut.key\n"}),
    name_of);

// Junk that the ASS rewriter copies: no line starts with "Dialogue:", so the
// output is the input as text mode reads and writes it.
TEST(HostileSubtitleTest, JunkAssIsCopiedByteForByte) {
  std::string bytes = junk(20000, 8);
  const Outcome outcome = run_case({{"a.ass", bytes}, {"a_del.txt", kKeepAll}}, {"a.ass"});
  ASSERT_EQ(names(outcome.written), std::set<std::string>{"a_new.ass"});
  EXPECT_TRUE(same_text(outcome.written.at("a_new.ass"), without_cr_before_lf(bytes)));
}

TEST(HostileSubtitleTest, MegabyteDialogueLineIsWrittenWhole) {
  const std::string text(kMegabyte, 'x');
  const std::string ass = "[Events]\nDialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,," + text +
                          "\nDialogue: 0,0:00:03.00,0:00:04.00,Default,,0,0,0,,after\n";
  const Outcome outcome = run_case({{"a.ass", ass}, {"a_del.txt", kKeepAll}}, {"a.ass"});
  ASSERT_EQ(names(outcome.written), std::set<std::string>{"a_new.ass"});
  // Whole seconds come back unchanged through a cut list that keeps all.
  EXPECT_TRUE(same_text(outcome.written.at("a_new.ass"), ass));
}

TEST(HostileSubtitleTest, MegabyteSrtTextLineIsWrittenWhole) {
  const std::string text(kMegabyte, 'x');
  const std::string srt = "1\n00:00:01,000 --> 00:00:02,000\n" + text +
                          "\n\n2\n00:00:03,000 --> 00:00:04,000\nafter\n\n";
  const Outcome outcome = run_case({{"a.srt", srt}, {"a_del.txt", kKeepAll}}, {"a.srt"});
  ASSERT_EQ(names(outcome.written), std::set<std::string>{"a_new.srt"});
  // A text line is copied in 255-byte pieces; 2^20 is not a multiple of 255,
  // so no piece is a lone line end that would end the cue early.
  EXPECT_TRUE(same_text(outcome.written.at("a_new.srt"), srt));
}

// MicroDVD through a cut that keeps every frame: each frame lands on
// itself, so the file comes back byte for byte whatever its text holds; a
// first line that names no rate is kept.
TEST(HostileSubtitleTest, MicroDvdComesBackByteForByte) {
  const std::string subs[] = {
      "{1}{1}25\n{25}{50}a\0b|c\0\n{75}{100}\0\n"s,
      utf16_sub(TextEncoding::Utf16Le),
      utf16_sub(TextEncoding::Utf16Be),
      join({"{1}{1}23.976\r\n{1}{2}", megabyte_of_codes(), "\r\n{25}{50}after\r\n"}),
      "{1}{1}23,976\n{25}{50}ok\n",
  };
  for (const std::string& sub : subs) {
    const Outcome outcome = run_case({{"a.sub", sub}, {"a_del.txt", kKeepAll}}, {"a.sub"});
    ASSERT_EQ(names(outcome.written), std::set<std::string>{"a_new.sub"});
    EXPECT_TRUE(same_text(outcome.written.at("a_new.sub"), sub));
  }
}

TEST(HostileSubtitleTest, NulBytesInLinesAreAllWritten) {
  const std::string nul(1, '\0');
  const std::string ass = "[Events]\nDialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,a" + nul +
                          "b" + nul + "c tail\nComment: x" + nul + "y\n";
  const std::string srt = "1\n00:00:01,000 --> 00:00:02,000\na" + nul + "b" + nul + "c tail\n\n";
  const Outcome outcome =
      run_case({{"a.ass", ass}, {"a.srt", srt}, {"a_del.txt", kKeepAll}}, {"a.x"});
  ASSERT_EQ(names(outcome.written), (std::set<std::string>{"a_new.ass", "a_new.srt"}));
  EXPECT_TRUE(same_text(outcome.written.at("a_new.ass"), ass));
  EXPECT_TRUE(same_text(outcome.written.at("a_new.srt"), srt));
}

// Times with far more hour digits than an int holds, in lines that match
// the time patterns: the hours saturate, the millisecond arithmetic wraps as
// defined, and the other cues come through unchanged.
TEST(HostileSubtitleTest, HugeTimesAreHandledWithoutOverflow) {
  const std::string ass =
      "[Events]\n"
      "Dialogue: 0,99999999999:00:00.00,2147483647:59:59.99,Default,,0,0,0,,big\n"
      "Dialogue: 0,0:00:03.00,0:00:04.00,Default,,0,0,0,,after\n";
  const std::string srt =
      "1\n99999999999:00:00,000 --> 2147483647:59:59,999\nbig\n\n"
      "2\n00:00:03,000 --> 00:00:04,000\nafter\n\n";
  const Outcome outcome =
      run_case({{"a.ass", ass}, {"a.srt", srt}, {"a_del.txt", kKeepAll}}, {"a.x"});
  ASSERT_EQ(names(outcome.written), (std::set<std::string>{"a_new.ass", "a_new.srt"}));
  EXPECT_NE(outcome.written.at("a_new.ass").find("0:00:03.00,0:00:04.00,Default,,0,0,0,,after\n"),
            std::string::npos);
  EXPECT_NE(outcome.written.at("a_new.srt").find("00:00:03,000 --> 00:00:04,000\nafter\n"),
            std::string::npos);
}

// Effects of starts moved to a cut point (frames 30 to 59 cut at 29.97 fps:
// a start at 1.50 is written 501 ms, 50 cs, later than it would lie in the
// cut video, 1.00 for 0.499): numbers at
// the int limits shift without overflow or are left, a megabyte of
// unclosed parentheses abandons only its block, and NUL bytes are copied.
TEST(HostileSubtitleTest, EffectsOfMovedStartsWithHostileTags) {
  const std::string nul(1, '\0');
  const std::string head = "Dialogue: 0,0:00:01.50,0:00:09.00,Default,,0,0,0,,";
  const std::string ass = "[Events]\n" + head +
                          "{\\move(99999999999,0,1,1,0,2147483647)\\k2147483647\\k2147483647"
                          "\\t(2147483647,2147483647,\\frz1)\\fad(2147483647,0)}big\n" +
                          head + "{\\t(1000,2000," + std::string(kMegabyte, '(') +
                          "}{\\k100}deep\n" + head + "{\\k100" + nul + "\\fad(600,0)}" + nul +
                          "nul\n";
  const Outcome outcome =
      run_case({{"a.ass", ass}, {"a_del.txt", "0 * 99999\n30 - 59\n"}}, {"a.ass"});
  ASSERT_EQ(names(outcome.written), std::set<std::string>{"a_new.ass"});
  const std::string& out = outcome.written.at("a_new.ass");
  EXPECT_NE(out.find("{\\move(99999999999,0,1,1,0,2147483647)\\k2147483597\\k2147483647"
                     "\\t(2147483146,2147483146,\\frz1)\\fad(2147483146,0)}big\n"),
            std::string::npos);
  EXPECT_NE(out.find("{\\t(1000,2000," + std::string(kMegabyte, '(') + "}{\\k50}deep\n"),
            std::string::npos);
  EXPECT_NE(out.find("{\\k50" + nul + "\\fad(99,0)}" + nul + "nul\n"), std::string::npos);
}

// The head of a recorded stream: PAT, PMT (packet 2) and the first video PES
// with its PCR (packet 3).
std::string stream_head(std::size_t bytes) {
  std::string stream = read_file(fs::path(MENDRA_TEST_DATA) / "ts" / "plain.ts");
  stream.resize(std::min(bytes, stream.size()));
  return stream;
}

// A stream cut short: before its PMT is complete there is nothing to
// measure and nothing is written; cut inside the first video PES header, the
// analysis runs to its end without a start picture and reports delays of 0;
// cut after it, the delay is measured from what is there.
TEST(HostileStreamTest, StreamCutShort) {
  constexpr std::size_t kPacket = 188;
  // Packet 3 carries an adaptation field of 8 bytes, then the PES header.
  constexpr std::size_t kFirstPesHeader = 3 * kPacket + 12;
  const struct {
    const char* label;
    std::size_t bytes;
    bool written;
    const char* message;
  } cuts[] = {
      {"inside the PAT packet", kPacket + 9, false, "\nnot found PID!!"},
      {"inside the PMT section", 2 * kPacket + 14, false, "\nnot found PID!!"},
      {"inside the first PES header", kFirstPesHeader + 12, true, "\t -- dgindex : 0 msec\n"},
      {"inside a later video packet", 6 * kPacket + 100, true, "\t -- dgindex : -733 msec\n"},
  };
  for (const auto& cut : cuts) {
    SCOPED_TRACE(cut.label);
    for (const char* mode : {"-md", "-mv", "-mt"}) {
      const Outcome outcome =
          run_case({{"a.ass", kAss}, {"a_del.txt", kKeepAll}, {"a.ts", stream_head(cut.bytes)}},
                   {"-debug", mode, "a.ass"});
      EXPECT_EQ(names(outcome.written),
                cut.written ? std::set<std::string>{"a_new.ass"} : std::set<std::string>{})
          << mode;
      EXPECT_NE(outcome.result.standard_error.find(cut.message), std::string::npos) << mode;
    }
  }
}

}  // namespace
}  // namespace mendra::test
