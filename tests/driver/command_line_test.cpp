#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cutlist/cut_list.h"
#include "driver/command_line.h"
#include "driver/options.h"
#include "support/run_binary.h"
#include "time/rate_parse.h"
#include "time/time_steps.h"

namespace mendra {
namespace {

TEST(PmtPidTest, HexadecimalDigitsWithinSixteenBitsWithOrWithoutPrefix) {
  const struct {
    const char* text;
    bool valid;
    std::uint16_t pid;
  } cases[] = {
      {"1f0", true, 0x1F0},
      {"1F0", true, 0x1F0},
      {"0x1001", true, 0x1001},
      {"0X1F0", true, 0x1F0},
      {"0", true, 0},
      {"0000ffff", true, 0xFFFF},
      {"12345", false, 0},
      {"", false, 0},
      {"0x", false, 0},
      {"zz", false, 0},
      {"ffffffffffffffffffffffff", false, 0},
      {"-5", false, 0},
      {"1f0 ", false, 0},
      {"0x0x1f0", false, 0},
  };
  for (const auto& c : cases) {
    std::uint16_t pid = 0;
    EXPECT_EQ(parse_pmt_pid(c.text, pid), c.valid) << '"' << c.text << '"';
    if (c.valid) {
      EXPECT_EQ(pid, c.pid) << c.text;
    }
  }
}

TEST(DelayTextTest, TakesASignAndDigitsWithinTheIntRange) {
  const struct {
    const char* text;
    bool valid;
    int delay_ms;
  } cases[] = {
      {"0", true, 0},
      {"1500", true, 1500},
      {"-250", true, -250},
      {"+7", true, 7},
      {"  42", true, 42},  // leading blanks, as always
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0},
      {"-2147483649", false, 0},
      {"99999999999", false, 0},
      {"1.5", false, 0},
      {"2s", false, 0},
      {"abc", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"42 ", false, 0},
  };
  for (const auto& c : cases) {
    int delay_ms = 0;
    EXPECT_EQ(parse_delay(c.text, delay_ms), c.valid) << '"' << c.text << '"';
    if (c.valid) {
      EXPECT_EQ(delay_ms, c.delay_ms) << c.text;
    }
  }
}

TEST(OptionTableTest, ClassifiesEverySpellingTheWalkAccepts) {
  const struct {
    const char* arg;
    ArgumentKind kind;
    const char* row;  // the row's spelling, for an option
  } cases[] = {
      {"-l", ArgumentKind::Option, "-l"},
      {"-L", ArgumentKind::Option, "-l"},
      {"/l", ArgumentKind::Option, "-l"},
      {"-list", ArgumentKind::Option, "-l"},
      {"-k", ArgumentKind::Option, "-k"},
      {"/k1", ArgumentKind::Option, "-k"},
      {"-K1", ArgumentKind::Option, "-k"},
      {"-trimfile", ArgumentKind::Option, "-t"},
      {"-timecodes", ArgumentKind::Option, "-timecodes"},  // words before letters
      {"-timecodes-out", ArgumentKind::Option, "-timecodes-out"},
      {"-edl", ArgumentKind::Option, "-edl"},
      {"-k1", ArgumentKind::Option, "-k"},
      {"-concat", ArgumentKind::Option, "-concat"},
      {"-avidemux", ArgumentKind::Option, "-avidemux"},
      {"-Concat", ArgumentKind::Unknown, nullptr},
      {"-output", ArgumentKind::Option, "-o"},
      {"-delay", ArgumentKind::Option, "-delay"},
      {"-md", ArgumentKind::Option, "-md"},
      {"-json", ArgumentKind::Option, "-json"},
      {"-nocut", ArgumentKind::Option, "-nocut"},
      {"-fps-change", ArgumentKind::Option, "-fps-change"},  // a word, not -fps
      {"-sync", ArgumentKind::Option, "-sync"},
      {"-fps-Change", ArgumentKind::Unknown, nullptr},
      {"-nocuts", ArgumentKind::Unknown, nullptr},
      {"-all", ArgumentKind::All, nullptr},
      {"-h", ArgumentKind::Help, nullptr},
      {"-H", ArgumentKind::Help, nullptr},
      {"-help", ArgumentKind::Help, nullptr},
      {"/h", ArgumentKind::Help, nullptr},
      {"/?", ArgumentKind::Help, nullptr},
      {"--help", ArgumentKind::Help, nullptr},
      {"--version", ArgumentKind::Version, nullptr},
      {"--delay", ArgumentKind::Unknown, nullptr},
      {"-Delay", ArgumentKind::Unknown, nullptr},
      {"-dealy", ArgumentKind::Unknown, nullptr},
      {"-mx", ArgumentKind::Unknown, nullptr},
      {"/debug", ArgumentKind::Unknown, nullptr},
      {"/fps", ArgumentKind::Unknown, nullptr},
      {"-", ArgumentKind::Input, nullptr},
      {"a.srt", ArgumentKind::Input, nullptr},
      {"/data/rec/a.srt", ArgumentKind::Input, nullptr},
      {"/nonexistent.ts", ArgumentKind::Input, nullptr},  // a '.': an input, if missing
  };
  for (const auto& c : cases) {
    // A value after every argument, so that no option lacks its own.
    const char* argv[] = {c.arg, "value", nullptr};
    const std::vector<Argument> arguments = classify_arguments(argv);
    ASSERT_FALSE(arguments.empty()) << c.arg;
    EXPECT_EQ(arguments[0].kind, c.kind) << c.arg;
    if (c.row != nullptr) {
      ASSERT_NE(arguments[0].row, nullptr) << c.arg;
      EXPECT_STREQ(arguments[0].row->spelling, c.row) << c.arg;
    }
  }
}

// What the options chose that differs from the defaults, and the faults
// they keep, in the order the table reports them.
std::string chosen(const InputOptions& options) {
  const InputOptions defaults;
  std::ostringstream out;
  const auto text = [&](const char* name, const std::optional<std::string>& value) {
    if (value) out << name << '=' << *value << ' ';
  };
  text("format", options.format);
  text("list", options.cut_list_path);
  if (options.cut_list_kind != defaults.cut_list_kind) {
    out << "kind=" << static_cast<int>(options.cut_list_kind) << ' ';
  }
  if (options.fps != defaults.fps) out << "fps=" << options.fps << ' ';
  if (options.fps_given) {
    const IntegerValue& read = options.fps_given->read;
    out << "fps_text=" << options.fps_given->text << ' ';
    if (!read.whole_number) out << "not_whole ";
    if (read.as_rate) out << "as_rate=" << read.as_rate->num << '/' << read.as_rate->den << ' ';
  }
  if (options.rate) out << "rate=" << options.rate->num << '/' << options.rate->den << ' ';
  if (options.delay_ms != defaults.delay_ms) out << "delay=" << options.delay_ms << ' ';
  if (options.gop_offset != defaults.gop_offset) out << "gop=" << options.gop_offset << ' ';
  if (options.pmt_pid != defaults.pmt_pid) out << "pid=" << options.pmt_pid << ' ';
  if (changes_speed(options.speed)) out << "speed=" << speed_step_text(options.speed) << ' ';
  if (options.sync.points > 0) out << "sync=" << sync_step_text(options.sync) << ' ';
  for (const BadValue bad :
       {BadValue::FailsInput, BadValue::RefusesInput, BadValue::RefusesOption}) {
    if (const ValueFault* fault = first_fault(options, bad)) {
      out << '[' << fault_message(*fault) << "] ";
    }
  }
  std::string result = out.str();
  if (!result.empty()) result.pop_back();
  return result;
}

// Every kind of value is read once, when the command line is classified,
// within its range; a bad value leaves its option at the default and is
// kept as its row's fault until a later value of the option replaces it.
TEST(OptionValueTest, EachKindReadsItsValueOrKeepsItsFault) {
  const struct {
    std::vector<const char*> args;
    const char* chosen;
  } cases[] = {
      // Integer: atoi's reading, outside the range the row's default.
      {{"-fps", "1"}, "fps=1 fps_text=1"},
      {{"-fps", "2147483647"}, "fps=2147483647 fps_text=2147483647"},
      {{"-fps", "99999999999"}, "fps=2147483647 fps_text=99999999999"},
      {{"-fps", "0"}, "fps_text=0"},
      {{"-fps", "-24"}, "fps_text=-24"},
      {{"-fps", "-1"}, "fps_text=-1"},
      {{"-fps", "29.97"}, "fps=29 fps_text=29.97 not_whole as_rate=30000/1001"},
      {{"-fps", "24000/1001"}, "fps=24000 fps_text=24000/1001 not_whole as_rate=24000/1001"},
      {{"-fps", "25 "}, "fps=25 fps_text=25  not_whole"},
      {{"-fps", "x"}, "fps_text=x not_whole"},
      {{"-fps", ""}, "fps_text= not_whole"},
      {{"-gop", "2147483647"}, "gop=2147483647"},
      {{"-gop", "1"}, "gop=1"},
      {{"-gop", "0"}, "gop=0"},
      {{"-gop", "-3"}, "gop=0"},
      {{"-gop", " 7th"}, "gop=7"},
      // Rate, Delay, Pid: the input fails.
      {{"-rate", "29.97"}, "rate=30000/1001"},
      {{"-rate", "1000000"}, "rate=1000000/1"},
      {{"-rate", "1000001"}, "[invalid frame rate: 1000001]"},
      {{"-rate", "x", "-rate", "25"}, "rate=25/1"},
      {{"-rate", "25", "-rate", "x"}, "[invalid frame rate: x]"},
      {{"-delay", "-2147483648"}, "delay=-2147483648"},
      {{"-delay", "2147483648"}, "[invalid delay: 2147483648]"},
      {{"-delay", "500", "-delay", "1.5"}, "[invalid delay: 1.5]"},
      {{"-delay", "x", "-rate", "y"}, "[invalid frame rate: y]"},  // in the table's order
      {{"-delay", " +2147483647"}, "delay=2147483647"},
      {{"-delay", "-2147483649"}, "[invalid delay: -2147483649]"},
      {{"-delay", "-"}, "[invalid delay: -]"},
      {{"-delay", "5 "}, "[invalid delay: 5 ]"},
      {{"-rate", "0"}, "[invalid frame rate: 0]"},
      {{"-rate", "30000/1001"}, "rate=30000/1001"},
      {{"-pmt_pid", "0xffff"}, "pid=65535"},
      {{"-pmt_pid", "0X01F0"}, "pid=496"},
      {{"-pmt_pid", "00000001"}, "pid=1"},
      {{"-pmt_pid", "10000"}, "[invalid PMT PID: 10000]"},
      {{"-pmt_pid", "0x"}, "[invalid PMT PID: 0x]"},
      {{"-pmt_pid", ""}, "[invalid PMT PID: ]"},
      {{"-pmt_pid", "1g"}, "[invalid PMT PID: 1g]"},
      // Word: refused when an input comes.
      {{"-format", "SRT"}, "format=SRT"},
      {{"-format", "txt"}, "[unknown format: txt]"},
      {{"-format", ""}, "[unknown format: ]"},
      {{"-format", "txt", "-format", "vtt"}, "format=vtt"},
      // Rate pair, time pairs: refused where they stand, naming the option.
      {{"-fps-change", "25:24000/1001"}, "speed=25/1 -> 24000/1001"},
      {{"-fps-change", "25"},
       "[invalid -fps-change value: 25 (FROM:TO, two rates as -rate takes them)]"},
      {{"-fps-change", "0:25"},
       "[invalid -fps-change value: 0:25 (FROM:TO, two rates as -rate takes them)]"},
      {{"-sync", "1=1.5"}, "sync=0:00:01.000=0:00:01.500"},
      {{"-sync", "1=2,1=3"},
       "[invalid -sync value: 1=2,1=3 (the points are equal or out of order)]"},
      {{"-sync", "1=2,3=4,5=6"},
       "[invalid -sync value: 1=2,3=4,5=6 (A=B or A=B,C=D, times as h:mm:ss.fff, m:ss.fff or "
       "seconds)]"},
      // Path and cut list: as given, of the kind the argument names.
      {{"-k2", "list.txt"}, "list=list.txt kind=2"},
      {{"-K", "list.txt"}, "list=list.txt kind=0"},
      {{"-edl", "x.edl", "-l", "y.txt"}, "list=y.txt"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = c.args;
    argv.push_back(nullptr);
    std::string shown;
    for (const char* arg : c.args) shown += std::string(arg) + ' ';
    InputOptions options;
    for (const Argument& argument : classify_arguments(argv.data())) {
      ASSERT_EQ(argument.kind, ArgumentKind::Option) << shown;
      apply_option(argument, options);
    }
    EXPECT_EQ(chosen(options), c.chosen) << shown;
  }
}

// Every kind of cut list not recognised by its content is chosen by its
// option (-k1 through the -k letter row, written exactly so), and the
// option rows come from the kinds that have options of their own.
TEST(OptionTableTest, CutListOptionsComeFromTheKindTable) {
  int own_options = 0;
  for (const CutListKindRow& kind : cut_list_kinds()) {
    SCOPED_TRACE(kind.option);
    if (has_own_option(kind)) ++own_options;
    if (kind.recognise != nullptr) continue;
    const char* argv[] = {kind.option, "cut.txt", nullptr};
    const std::vector<Argument> arguments = classify_arguments(argv);
    ASSERT_EQ(arguments.size(), 1u);
    InputOptions options;
    apply_option(arguments[0], options);
    EXPECT_EQ(options.cut_list_kind, kind.kind);
    EXPECT_EQ(options.cut_list_path, "cut.txt");
  }
  // Not mpv EDL and LosslessCut (read under -edl and -segments), nor -k1,
  // -k2 and -k3 (under -k).
  EXPECT_EQ(own_options, static_cast<int>(CutListKind::Count) - 5);
  int cut_list_rows = 0;
  for (const OptionRow& row : option_rows()) {
    for (const CutListKindRow& kind : cut_list_kinds()) {
      if (has_own_option(kind) && std::string_view(row.spelling) == kind.option) ++cut_list_rows;
    }
  }
  EXPECT_EQ(cut_list_rows, own_options);
}

// A misspelling names the option word within two letters of it; short
// arguments and the documented letter forms name none.
TEST(OptionTableTest, NearestWordOptionWithinTwoLetters) {
  const struct {
    const char* arg;
    const char* nearest;  // nullptr: none
  } cases[] = {
      {"-segment", "-segments"},
      {"-timecode", "-timecodes"},
      {"-timecodes_out", "-timecodes-out"},
      {"-dealy", "-delay"},  // two letters swapped count once
      {"--delay", "-delay"},
      {"/debug", "-debug"},
      {"-Silent", "-silent"},
      {"-mx", "-md"},  // a tie goes to the first row
      {"-x", nullptr},
      {"-k1", nullptr},
      {"-list", nullptr},
      {"-trimfile", nullptr},
      {"-tc", nullptr},
      {"-segmentation", nullptr},
  };
  for (const auto& c : cases) {
    const OptionRow* row = nearest_word_option(c.arg);
    if (c.nearest == nullptr) {
      EXPECT_EQ(row, nullptr) << c.arg << " -> " << (row != nullptr ? row->spelling : "");
    } else {
      ASSERT_NE(row, nullptr) << c.arg;
      EXPECT_STREQ(row->spelling, c.nearest) << c.arg;
    }
  }
}

// The options of a usage or manual line, with "-k{1|2|3}" spread out.
void add_option_words(const std::string& text, std::set<std::string>& words) {
  static const std::regex kWord(R"((^|[ ,(])(--?[a-z][a-z0-9_-]*)(\{([0-9|]+)\})?)");
  for (std::sregex_iterator it(text.begin(), text.end(), kWord), end; it != end; ++it) {
    const std::string word = (*it)[2];
    if (!(*it)[4].matched) {
      words.insert(word);
      continue;
    }
    std::stringstream suffixes((*it)[4]);
    for (std::string suffix; std::getline(suffixes, suffix, '|');) words.insert(word + suffix);
  }
}

TEST(OptionTableTest, UsageListsTheOptionsTheManualDocuments) {
  // The usage: the first word of every option line, and the long words.
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_memstream(&buffer, &size);
  ASSERT_NE(stream, nullptr);
  print_usage(stream);
  std::fclose(stream);
  const std::string usage(buffer, size);
  std::free(buffer);
  std::set<std::string> usage_words;
  std::istringstream usage_lines(usage.substr(usage.find("options:")));
  for (std::string line; std::getline(usage_lines, line);) {
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos || line[first] != '-') continue;
    add_option_words(line.substr(first, line.find(' ', first) - first), usage_words);
    static const std::regex kLong(R"(--[a-z]+)");
    for (std::sregex_iterator it(line.begin(), line.end(), kLong), end; it != end; ++it) {
      usage_words.insert(it->str());
    }
  }
  // The manual: the option words of every tagged paragraph's tag line.
  std::ifstream man(MENDRA_MAN_PAGE);
  ASSERT_TRUE(man) << MENDRA_MAN_PAGE;
  std::set<std::string> man_words;
  bool tag_line = false;
  bool in_options = false;
  for (std::string line; std::getline(man, line);) {
    if (line.starts_with(".SH")) in_options = line == ".SH OPTIONS";
    if (tag_line && in_options) {
      std::string plain = std::regex_replace(line, std::regex(R"(\\f[BIRP])"), " ");
      plain = std::regex_replace(plain, std::regex(R"(\\-)"), "-");
      plain = std::regex_replace(plain, std::regex(R"(^\.[A-Z]+ )"), " ");
      add_option_words(plain, man_words);
    }
    tag_line = line == ".TP";
  }
  EXPECT_EQ(usage_words, man_words);
}

// What a first-letter option's value is, as its warning says it, stands in
// the README and the manual page in the same words: "-t (an AviSynth
// script)".
TEST(OptionTableTest, ReadmeAndManualNameTheFirstLetterOptionsAsTheTableDoes) {
  const std::filesystem::path man_path = MENDRA_MAN_PAGE;
  const std::filesystem::path readme_path = man_path.parent_path().parent_path() / "README.md";
  for (const std::filesystem::path& path : {man_path, readme_path}) {
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    std::stringstream text;
    text << in.rdbuf();
    // The manual's line breaks and escapes, read as the words they show.
    std::string plain = std::regex_replace(text.str(), std::regex(R"(\\-)"), "-");
    plain = std::regex_replace(plain, std::regex(R"(\n\.B )"), " ");
    plain = std::regex_replace(plain, std::regex(R"(\n)"), " ");
    for (const OptionRow& row : option_rows()) {
      if (row.match != OptionMatch::Letter) continue;
      ASSERT_NE(row.noun, nullptr) << row.spelling;
      const std::string named = std::string(row.spelling) + "` (" + row.noun + ")";
      const std::string man_named = std::string(row.spelling) + " (" + row.noun + ")";
      EXPECT_TRUE(plain.find(named) != std::string::npos ||
                  plain.find(man_named) != std::string::npos)
          << path << " does not name " << row.spelling << " (" << row.noun << ")";
    }
  }
}

TEST(FrameRateTextTest, ReadsExactRatesInLowestTerms) {
  const struct {
    const char* text;
    std::int64_t num;
    std::int64_t den;
  } cases[] = {
      // N/D, reduced
      {"30000/1001", 30000, 1001},
      {"24000/1001", 24000, 1001},
      {"25/1", 25, 1},
      {"50/2", 25, 1},
      {"60000/2002", 30000, 1001},
      {"2000000/2", 1000000, 1},
      {"1/1000000", 1, 1000000},
      {"3000000/3000000", 1, 1},  // terms beyond the bound that reduce into it
      // whole numbers are exactly that rate, not n/1.001
      {"25", 25, 1},
      {"50", 50, 1},
      {"30", 30, 1},
      {"025", 25, 1},
      {"1000000", 1000000, 1},
      // decimals near n * 1000/1001 are that television rate
      {"29.97", 30000, 1001},
      {"23.976", 24000, 1001},
      {"59.94", 60000, 1001},
      {"119.88", 120000, 1001},
      {"29.970", 30000, 1001},
      {"23.98", 24000, 1001},
      {"29.95", 30000, 1001},   // 0.07 % below 30/1.001
      {"29.999", 30000, 1001},  // 0.097 % above
      {"14.985", 15000, 1001},
      {"47.952", 48000, 1001},
      // other decimals are themselves
      {"29.9", 299, 10},  // 0.23 % below 30/1.001
      {"25.0", 25, 1},
      {"25.000", 25, 1},
      {"25.000000000000000000000000000000", 25, 1},  // zeros say nothing
      {"12.5", 25, 2},
      {"0.5", 1, 2},
      {"0.000001", 1, 1000000},
      {"0.0000019073486328125", 1, 524288},  // 2^-19: every digit counts
      {"47.9", 479, 10},                     // 0.11 % below 48/1.001
      {"30.01", 3001, 100},                  // 0.13 % above 30/1.001
  };
  for (const auto& c : cases) {
    FrameRate rate;
    ASSERT_TRUE(parse_frame_rate(c.text, rate)) << c.text;
    EXPECT_EQ(rate.num, c.num) << c.text;
    EXPECT_EQ(rate.den, c.den) << c.text;
  }
}

TEST(FrameRateTextTest, RejectsWhatIsNoPositiveRateAndLeavesTheRate) {
  const char* const cases[] = {
      "",
      "abc",
      "0",
      "-25",
      "+25",
      " 25",
      "25 ",
      "25fps",
      "1e3",
      "29,97",
      "0.0",
      "0/1",
      "1/0",
      "25/x",
      "x/25",
      "/25",
      "25/",
      "25/1/1",
      "-25/1",
      "25.",
      ".5",
      "2.5.1",
      "25.x",
      "1000001",
      "1000001/1",
      "1/1000001",
      "1000000.5",
      "0.0000001",                  // beyond the bounds
      "99999999999999999999999/1",  // reduces to nothing usable
      "9999999999999999999999999999999999999999/1",
      "1/99999999999999999999999999999999999999999",
      "1.1234567890123456789012345",  // more digits than any usable rate needs
  };
  for (const char* text : cases) {
    FrameRate rate{7, 3};
    EXPECT_FALSE(parse_frame_rate(text, rate)) << '"' << text << '"';
    EXPECT_EQ(rate.num, 7) << text;
    EXPECT_EQ(rate.den, 3) << text;
  }
}

// A cut list or timecode file that comes through a pipe is read once and
// serves every input of -all (a second open would wait for a writer that is
// gone); a subtitle through a pipe loses none of its first bytes. A pipe's
// MicroDVD rate line comes after the clock was set: the input fails unless
// -rate names the rate.
TEST(PipedInputTest, IsReadOnceWhateverNamesIt) {
  const struct {
    const char* name;
    std::vector<std::string> args;  // "PIPE" stands for the pipe's path
    std::string pipe_bytes;
    std::vector<std::string> outputs;
    int status = 0;  // 1: the input fails, and none of `outputs` is written
  } cases[] = {
      {"a list shared by -all",
       {"-l", "PIPE", "-all", "a.srt", "b.srt"},
       "0 * 899\n100 - 199\n",
       {"a_new.srt", "b_new.srt"}},
      {"timecodes shared by -all",
       {"-timecodes", "PIPE", "-l", "list.txt", "-all", "a.srt", "b.srt"},
       "# timecode format v1\nassume 25\n",
       {"a_new.srt", "b_new.srt"}},
      {"a subtitle longer than a read",
       {"-l", "list.txt", "-o", "c.srt", "PIPE"},
       "1\n00:00:01,000 --> 00:00:02,000\n" + std::string(70000, 'x') + "\n",
       {"c.srt"}},
      {"a MicroDVD rate line other than the clock's",
       {"-nocut", "-o", "d.srt", "PIPE"},
       "{1}{1}25\n{25}{50}kept\n",
       {"d.srt"},
       1},
      {"a MicroDVD rate line that -rate names",
       {"-nocut", "-rate", "25", "-o", "d.srt", "PIPE"},
       "{1}{1}25\n{25}{50}kept\n",
       {"d.srt"}},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    const std::string cue = "1\n00:00:01,000 --> 00:00:02,000\nkept\n";
    for (const char* name : {"a.srt", "b.srt"}) test::write_file(dir.path / name, cue);
    test::write_file(dir.path / "list.txt", "0 * 899\n");
    const std::string pipe = (dir.path / "pipe").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::thread writer([&] { test::write_file(pipe, c.pipe_bytes); });
    std::vector<std::string> args = c.args;
    for (std::string& arg : args) arg = arg == "PIPE" ? pipe : arg;
    const test::RunResult result = test::run_binary(MENDRA_BINARY, args, dir.path, "/dev/null", 20);
    if (result.timed_out) {
      // Let a writer that still waits go: the pipe opened for reading once.
      const int fd = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
      if (fd >= 0) ::close(fd);
    }
    writer.join();
    EXPECT_EQ(result.exit_status, c.status) << c.name << "\n" << result.standard_error;
    for (const std::string& output : c.outputs) {
      if (c.status != 0) {
        EXPECT_FALSE(std::filesystem::exists(dir.path / output)) << c.name << ": " << output;
        continue;
      }
      const std::string text = test::read_file(dir.path / output);
      EXPECT_TRUE(text.find("00:00:01,000 --> 00:00:02,000") != std::string::npos)
          << c.name << ": " << output;
      if (output == "c.srt") {
        EXPECT_EQ(text, c.pipe_bytes);
      }
    }
  }
}

}  // namespace
}  // namespace mendra
