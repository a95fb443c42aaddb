#include "driver/options.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iterator>
#include <limits>
#include <utility>

#include <sys/stat.h>

#include "cutlist/cut_list.h"
#include "time/rate_parse.h"
#include "time/time_steps.h"
#include "util/scan.h"

namespace mendra {
namespace {

#ifndef MENDRA_VERSION
#define MENDRA_VERSION "unknown"
#endif

constexpr const char kUsageHead[] =
    "mendra " MENDRA_VERSION
    "\n"
    "\n"
    "usage:\n"
    "  mendra [<options>] <input{.ass|.srt|.vtt|.ssa}> [[<options>] <input> ...]\n"
    "  mendra {-md|-mv|-mt} [-json] [<options>] <recording{.ts|.m2ts|.mts|.m2t}>\n"
    "  (options apply to the next input only; the input - is standard input)\n"
    "\n"
    "options:\n";

void set_cut_list(InputOptions& options, CutListKind kind, std::string_view value) {
  options.cut_list_path = std::string(value);
  options.cut_list_kind = kind;
}

// The kind of a cut-list row, or one read under its letter that the
// argument names exactly (-k1 under -k).
template <CutListKind Kind>
void apply_cut_list(InputOptions& options, std::string_view arg, std::string_view value) {
  set_cut_list(options, cut_list_kind_named(Kind, arg), value);
}

using ApplyOption = void (*)(InputOptions&, std::string_view, std::string_view);

template <std::size_t... Kinds>
constexpr std::array<ApplyOption, sizeof...(Kinds)> cut_list_appliers(
    std::index_sequence<Kinds...> /*kinds*/) {
  return {apply_cut_list<static_cast<CutListKind>(Kinds)>...};
}

// The effect of each kind's option, by the kind's number.
constexpr auto kCutListAppliers =
    cut_list_appliers(std::make_index_sequence<static_cast<std::size_t>(CutListKind::Count)>());

template <std::optional<std::string> InputOptions::*Field>
void apply_path(InputOptions& options, std::string_view /*arg*/, std::string_view value) {
  options.*Field = std::string(value);
}

void apply_fps(InputOptions& options, std::string_view /*arg*/, std::string_view value) {
  options.fps = usable_fps(parse_atoi(value));
  options.fps_text = std::string(value);
}

void apply_rate(InputOptions& options, std::string_view /*arg*/, std::string_view value) {
  // Reported when the input is processed, so that it fails like any other
  // input whose options cannot be honoured.
  FrameRate rate;
  if (parse_frame_rate(value, rate)) {
    options.rate = rate;
    options.invalid_rate.reset();
  } else {
    options.rate.reset();
    options.invalid_rate = std::string(value);
  }
}

void apply_delay(InputOptions& options, std::string_view /*arg*/, std::string_view value) {
  int delay_ms = 0;
  if (parse_delay(value, delay_ms)) {
    options.delay_ms = delay_ms;
    options.invalid_delay.reset();
  } else {
    options.delay_ms = 0;
    options.invalid_delay = std::string(value);
  }
}

void apply_nocut(InputOptions& options, std::string_view /*arg*/, std::string_view /*value*/) {
  options.nocut = true;
}

void apply_speed(InputOptions& options, std::string_view /*arg*/, std::string_view value) {
  if (parse_speed_step(value, options.speed)) {
    options.invalid_speed.reset();
  } else {
    options.invalid_speed = "invalid -fps-change value: " + std::string(value) +
                            " (FROM:TO, two rates as -rate takes them)";
  }
}

void apply_sync(InputOptions& options, std::string_view /*arg*/, std::string_view value) {
  switch (parse_sync_step(value, options.sync)) {
    case SyncError::None:
      options.invalid_sync.reset();
      return;
    case SyncError::NotPoints:
      options.invalid_sync = "invalid -sync value: " + std::string(value) +
                             " (A=B or A=B,C=D, times as h:mm:ss.fff, m:ss.fff or seconds)";
      return;
    case SyncError::OutOfOrder:
      options.invalid_sync =
          "invalid -sync value: " + std::string(value) + " (the points are equal or out of order)";
      return;
  }
}

void apply_gop(InputOptions& options, std::string_view /*arg*/, std::string_view value) {
  options.gop_offset = parse_atoi(value);
  if (options.gop_offset < 1) options.gop_offset = 0;
}

void apply_pmt_pid(InputOptions& options, std::string_view /*arg*/, std::string_view value) {
  // Like -delay: a value that is no PID fails the input rather than let it
  // measure another programme than the one asked for.
  std::uint16_t pid = 0;
  if (parse_pmt_pid(value, pid)) {
    options.pmt_pid = pid;
    options.invalid_pmt_pid.reset();
  } else {
    options.pmt_pid = 0;
    options.invalid_pmt_pid = std::string(value);
  }
}

template <DelayMode Mode>
void apply_delay_mode(InputOptions& options, std::string_view /*arg*/, std::string_view /*value*/) {
  options.delay_mode = Mode;
}

void apply_json(InputOptions& options, std::string_view /*arg*/, std::string_view /*value*/) {
  options.json = true;
}

template <LogLevel Level>
void apply_log_level(InputOptions& options, std::string_view /*arg*/, std::string_view /*value*/) {
  options.log_level = Level;
}

// The words the walk handles itself (-all, the usage, the version) are rows
// too, without an effect, so that they are recognised and listed like any
// other.
void no_effect(InputOptions& /*options*/, std::string_view /*arg*/, std::string_view /*value*/) {}

using M = OptionMatch;

// The options besides the cut lists, whose rows the kind table makes and
// which come first.
constexpr OptionRow kOtherRows[] = {
    {"-o", M::Letter, true, apply_path<&InputOptions::output_path>,
     "  -o <output{.ass|.srt|.vtt}>   default: input_new{.ass|.srt|.vtt}; - : standard output\n",
     "the output"},
    {"-format", M::Word, true, apply_path<&InputOptions::format>,
     "  -format {ass|srt|vtt|ssa}     the format of the input -\n"},
    {"-charset", M::Word, true, apply_path<&InputOptions::charset>,
     "  -charset <NAME>               read subtitles in NAME (CP1252, CP932...) as UTF-8\n"},
    {"-fps", M::Word, true, apply_fps, "  -fps <frame_rate_value>       default: 30\n"},
    {"-rate", M::Word, true, apply_rate,
     "  -rate <N/D|fps>               exact rate, wins over -fps: 25, 30000/1001, 29.97\n"},
    {"-timecodes", M::Word, true, apply_path<&InputOptions::timecodes_path>,
     "  -timecodes <timecodes.txt>    frame times (v1/v2), win over -rate and -fps\n"},
    {"-timecodes-out", M::Word, true, apply_path<&InputOptions::timecodes_out_path>,
     "  -timecodes-out <file.txt>     write the cut video's frame times (v2)\n"},
    {"-delay", M::Word, true, apply_delay, "  -delay <msec>\n"},
    {"-nocut", M::Word, false, apply_nocut,
     "  -nocut                        no cut list: only the other steps change the times\n"},
    {"-fps-change", M::Word, true, apply_speed,
     "  -fps-change <FROM:TO>         times x FROM/TO after the cut and delays: 23.976:25\n"},
    {"-sync", M::Word, true, apply_sync,
     "  -sync <A=B[,C=D]>             last, A becomes B (and C becomes D): 1:00=1:00.5\n"},
    {"-md", M::Word, false, apply_delay_mode<DelayMode::Dgindex>,
     "  -md            : parse tsfile.  [for dgindex]\n"},
    {"-mv", M::Word, false, apply_delay_mode<DelayMode::Mpg2vfp>,
     "  -mv            : parse tsfile.  [for mpg2vfp]\n"},
    {"-mt", M::Word, false, apply_delay_mode<DelayMode::Tmpgenc>,
     "  -mt            : parse tsfile.  [for tmpgenc]\n"},
    {"-json", M::Word, false, apply_json,
     "  -json          : a .ts input's measurement as JSON on stdout.\n"},
    {"-pmt_pid", M::Word, true, apply_pmt_pid, "  -pmt_pid <PID> : select PMT PID \n"},
    {"-gop", M::Word, true, apply_gop, "  -gop <start_offset>             [dgindex only]\n"},
    {"-stream", M::Word, true, apply_path<&InputOptions::stream_path>,
     "  -stream <file.ts|.m2ts>       default: input.ts\n"},
    {"-debug", M::Word, false, apply_log_level<LogLevel::Debug>, "  -debug  : show debug info.\n"},
    {"-silent", M::Word, false, apply_log_level<LogLevel::Warning>,
     "  -silent : show errors and warnings only.\n"},
    {"-all", M::Word, false, no_effect,
     "  -all    : options before it apply to every later input.\n"},
    {"-h", M::Letter, false, no_effect,
     "  -h, --help : show this usage.   --version : show the version.\n", "the usage"},
    {"--help", M::Word, false, no_effect, ""},
    {"/?", M::Word, false, no_effect, ""},
    {"--version", M::Word, false, no_effect, ""},
};

// One row for each kind of cut list that has an option of its own, then
// the others.
std::vector<OptionRow> make_option_rows() {
  std::vector<OptionRow> rows;
  for (const CutListKindRow& kind : cut_list_kinds()) {
    if (!has_own_option(kind)) continue;
    rows.push_back(OptionRow{kind.option, kind.option_by_letter ? M::Letter : M::Word, true,
                             kCutListAppliers[static_cast<std::size_t>(kind.kind)], kind.usage,
                             kind.noun});
  }
  rows.insert(rows.end(), std::begin(kOtherRows), std::end(kOtherRows));
  return rows;
}

// Made once; the walk, the checks and the usage all read the same rows.
const std::vector<OptionRow>& all_rows() {
  static const std::vector<OptionRow> rows = make_option_rows();
  return rows;
}

ArgumentKind kind_of_row(const OptionRow& row) {
  const std::string_view spelling = row.spelling;
  if (spelling == "-all") return ArgumentKind::All;
  if (spelling == "-h" || spelling == "--help" || spelling == "/?") return ArgumentKind::Help;
  if (spelling == "--version") return ArgumentKind::Version;
  return ArgumentKind::Option;
}

// Whole words first: "-timecodes" and "-edl" would otherwise fall to the
// rows of their first letters.
const OptionRow* find_row(std::string_view arg) {
  for (const OptionRow& row : all_rows()) {
    if (row.match == OptionMatch::Word && arg == row.spelling) return &row;
  }
  if (arg.size() < 2 || (arg[0] != '-' && arg[0] != '/')) return nullptr;
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(arg[1])));
  for (const OptionRow& row : all_rows()) {
    if (row.match == OptionMatch::Letter && row.spelling[1] == letter) return &row;
  }
  return nullptr;
}

// 0 to 15 for a hexadecimal digit in either case, -1 for anything else.
int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Letters to change, add, drop or swap next to each other to turn one
// spelling into the other; '-' and '/' count as different letters.
std::size_t spelling_distance(std::string_view a, std::string_view b) {
  // Three rows of the table are enough: a swap looks two rows back.
  std::vector<std::size_t> before(b.size() + 1);
  std::vector<std::size_t> previous(b.size() + 1);
  std::vector<std::size_t> current(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        current[j] = std::min(current[j], before[j - 2] + 1);
      }
    }
    std::swap(before, previous);
    std::swap(previous, current);
  }
  return previous[b.size()];
}

}  // namespace

const OptionRow* nearest_word_option(std::string_view arg) {
  constexpr std::size_t kMostChanges = 2;
  // A short argument is near every short word: "-x" tells nothing.
  const std::size_t letters = arg.empty() ? 0 : arg.size() - 1;
  const OptionRow* nearest = nullptr;
  std::size_t nearest_distance = std::min(kMostChanges + 1, letters);
  for (const OptionRow& row : all_rows()) {
    // Only the option words: "/?" is no word to suggest.
    if (row.match != OptionMatch::Word || row.spelling[0] != '-') continue;
    const std::size_t distance = spelling_distance(arg, row.spelling);
    if (distance < nearest_distance) {
      nearest = &row;
      nearest_distance = distance;
    }
  }
  return nearest;
}

std::span<const OptionRow> option_rows() {
  return all_rows();
}

const char* mendra_version() {
  return MENDRA_VERSION;
}

void print_usage(std::FILE* stream) {
  std::fputs(kUsageHead, stream);
  for (const OptionRow& row : all_rows()) std::fputs(row.usage, stream);
}

bool is_input_argument(std::string_view arg) {
  if (arg.empty() || arg == "-") return true;
  if (arg[0] == '-') return false;
  if (arg[0] != '/') return true;
  // On Linux every absolute path begins with '/', which the option rows take
  // for an option prefix: a path that exists, or that has a further '/' or
  // a '.' inside (no option has either), is an input ("/o", "/l" and "/?"
  // stay options; a missing "/rec.ts" is an input that cannot be opened).
  if (arg.find_first_of("/.", 1) != std::string_view::npos) return true;
  struct stat info {};
  return stat(std::string(arg).c_str(), &info) == 0;
}

std::vector<Argument> classify_arguments(const char* const* arg) {
  std::vector<Argument> arguments;
  for (; *arg != nullptr; ++arg) {
    Argument argument;
    argument.text = *arg;
    if (is_input_argument(argument.text)) {
      arguments.push_back(argument);
      continue;
    }
    argument.row = find_row(argument.text);
    if (argument.row == nullptr) {
      argument.kind = ArgumentKind::Unknown;
      arguments.push_back(argument);
      continue;
    }
    argument.kind = kind_of_row(*argument.row);
    if (argument.row->takes_value) {
      if (arg[1] == nullptr) {
        argument.kind = ArgumentKind::MissingValue;
        arguments.push_back(argument);
        break;
      }
      ++arg;
      argument.value = *arg;
    }
    arguments.push_back(argument);
  }
  return arguments;
}

void apply_option(const Argument& argument, InputOptions& options) {
  if (argument.kind == ArgumentKind::Option && argument.row != nullptr) {
    argument.row->apply(options, argument.text, argument.value);
  }
}

bool parse_pmt_pid(std::string_view text, std::uint16_t& pid) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  constexpr std::uint32_t kMaxPid = 0xFFFF;
  std::uint32_t value = 0;
  for (const char c : text) {
    const int digit = hex_digit_value(c);
    if (digit < 0) return false;
    // Leading zeros may run on; the value stops growing past 16 bits.
    value = value * 16 + static_cast<std::uint32_t>(digit);
    if (value > kMaxPid) return false;
  }
  pid = static_cast<std::uint16_t>(value);
  return true;
}

bool parse_delay(std::string_view text, int& delay_ms) {
  std::size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])) != 0) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  if (at == text.size()) return false;
  // The magnitude stops growing past the int range, so no digit count can
  // overflow it.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<int>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > kLimit) return false;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min()) {
    return false;
  }
  delay_ms = static_cast<int>(value);
  return true;
}

}  // namespace mendra
