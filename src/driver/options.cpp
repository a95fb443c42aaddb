#include "driver/options.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <iterator>
#include <limits>
#include <type_traits>
#include <utility>

#include <sys/stat.h>

#include "chapter/chapters.h"
#include "cutlist/cut_list.h"
#include "subtitle/rewrite.h"
#include "time/rate_parse.h"
#include "time/time_steps.h"
#include "util/path.h"
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
    "  mendra [<options>] <input{.ass|.srt|.vtt|.ssa|.sub}> [[<options>] <input> ...]\n"
    "  mendra {-md|-mv|-mt} [-json] [<options>] <recording{.ts|.m2ts|.mts|.m2t}>\n"
    "  (options apply to the next input only; the input - is standard input)\n"
    "\n"
    "options:\n";

// Where a value goes: the field of its row, given what the row's kind read
// (of type Value); a bad value leaves the field at its default.
template <auto Field, typename Value>
void store_value(InputOptions& options, const Argument& argument) {
  const Value* value = std::get_if<Value>(&argument.read);
  if (value == nullptr) {
    options.*Field = InputOptions{}.*Field;
  } else if constexpr (std::is_same_v<Value, std::string_view>) {
    options.*Field = std::string(*value);
  } else {
    options.*Field = *value;
  }
}

// An option without a value: the field takes the row's constant.
template <auto Field, auto Constant>
void store_constant(InputOptions& options, const Argument& /*argument*/) {
  options.*Field = Constant;
}

// An Integer's number; the kind reads every text as one.
template <auto Field>
void store_integer(InputOptions& options, const Argument& argument) {
  const auto* value = std::get_if<IntegerValue>(&argument.read);
  options.*Field = value != nullptr ? value->value : InputOptions{}.*Field;
}

// The number and, beside it, the text it was read from with what else the
// text said: -fps 29.97 is read as 29, which the input warns about.
template <auto Field, auto GivenField>
void store_integer_and_text(InputOptions& options, const Argument& argument) {
  store_integer<Field>(options, argument);
  const auto* value = std::get_if<IntegerValue>(&argument.read);
  options.*GivenField =
      GivenInteger{std::string(argument.value), value != nullptr ? *value : IntegerValue{}};
}

void store_cut_list(InputOptions& options, const Argument& argument) {
  if (const auto* value = std::get_if<CutListValue>(&argument.read)) {
    options.cut_list_path = std::string(value->path);
    options.cut_list_kind = value->kind;
  }
}

// The rows' values, one maker a kind, so that a row names its kind and its
// field once and the field's type is checked against the kind's.
template <auto Field>
constexpr OptionValueSpec path_value() {
  return {.kind = ValueKind::Path, .store = store_value<Field, std::string_view>};
}

template <auto Field>
constexpr OptionValueSpec word_value(bool (*is_word)(std::string_view), BadValue bad,
                                     const char* fault, const char* word_why = nullptr) {
  return {.kind = ValueKind::Word,
          .store = store_value<Field, std::string_view>,
          .bad_value = bad,
          .fault = fault,
          .is_word = is_word,
          .word_why = word_why};
}

// A chapter file's name: its extension names the format it is written in.
bool names_chapter_file(std::string_view path) {
  return names_chapter_format(split_path(path).extension);
}

template <auto Field, auto GivenField>
constexpr OptionValueSpec integer_value(IntegerRange range) {
  return {.kind = ValueKind::Integer,
          .store = store_integer_and_text<Field, GivenField>,
          .range = range};
}

template <auto Field>
constexpr OptionValueSpec integer_value(IntegerRange range) {
  return {.kind = ValueKind::Integer, .store = store_integer<Field>, .range = range};
}

template <auto Field>
constexpr OptionValueSpec rate_value(BadValue bad, const char* fault) {
  return {.kind = ValueKind::Rate,
          .store = store_value<Field, FrameRate>,
          .bad_value = bad,
          .fault = fault};
}

template <auto Field>
constexpr OptionValueSpec delay_value(BadValue bad, const char* fault) {
  return {
      .kind = ValueKind::Delay, .store = store_value<Field, int>, .bad_value = bad, .fault = fault};
}

template <auto Field>
constexpr OptionValueSpec pid_value(BadValue bad, const char* fault) {
  return {.kind = ValueKind::Pid,
          .store = store_value<Field, std::uint16_t>,
          .bad_value = bad,
          .fault = fault};
}

template <auto Field>
constexpr OptionValueSpec rate_pair_value(BadValue bad) {
  return {.kind = ValueKind::RatePair, .store = store_value<Field, SpeedStep>, .bad_value = bad};
}

template <auto Field>
constexpr OptionValueSpec time_pairs_value(BadValue bad) {
  return {.kind = ValueKind::TimePairs, .store = store_value<Field, SyncStep>, .bad_value = bad};
}

template <auto Field, auto Constant>
constexpr OptionValueSpec no_value() {
  return {.kind = ValueKind::None, .store = store_constant<Field, Constant>};
}

// The words the walk handles itself (-all, the usage, the version).
constexpr OptionValueSpec kWalkWord{};

constexpr OptionValueSpec cut_list_value(CutListKind kind) {
  return {.kind = ValueKind::CutList, .store = store_cut_list, .cut_list_kind = kind};
}

// A -format word names a row of the format table: its extension without
// the dot, in either case.
bool is_format_word(std::string_view word) {
  if (word.empty()) return false;
  std::string extension(1, '.');
  extension.append(word);
  return find_subtitle_format(extension) != nullptr;
}

using M = OptionMatch;
using O = InputOptions;
constexpr int kIntMax = std::numeric_limits<int>::max();

// The options besides the cut lists, whose rows the kind table makes and
// which come first.
constexpr OptionRow kOtherRows[] = {
    {"-o", M::Letter, path_value<&O::output_path>(),
     "  -o <output{.ass|.srt|.vtt}>   default: input_new{.ass|.srt|.vtt}; - : standard output\n",
     "the output"},
    {"-format", M::Word,
     word_value<&O::format>(is_format_word, BadValue::RefusesInput, "unknown format: "),
     "  -format {ass|srt|vtt|ssa|sub} the format of the input -\n"},
    {"-charset", M::Word, path_value<&O::charset>(),
     "  -charset <NAME>               read subtitles in NAME (CP1252, CP932...) as UTF-8\n"},
    {"-fps", M::Word, integer_value<&O::fps, &O::fps_given>({1, kIntMax, kFallbackFps}),
     "  -fps <frame_rate_value>       default: 30\n"},
    // A rate, a delay or a PID that cannot be used fails its input rather
    // than let it be re-timed or measured with a value nobody asked for.
    {"-rate", M::Word, rate_value<&O::rate>(BadValue::FailsInput, "invalid frame rate: "),
     "  -rate <N/D|fps>               exact rate, wins over -fps: 25, 30000/1001, 29.97\n"},
    {"-timecodes", M::Word, path_value<&O::timecodes_path>(),
     "  -timecodes <timecodes.txt>    frame times (v1/v2), win over -rate and -fps\n"},
    {"-timecodes-out", M::Word, path_value<&O::timecodes_out_path>(),
     "  -timecodes-out <file.txt>     write the cut video's frame times (v2)\n"},
    {"-chapters", M::Word, path_value<&O::chapters_path>(),
     "  -chapters <file>              re-time a chapter file too (.txt, .xml, .ffmeta)\n"},
    {"-chapters-out", M::Word,
     word_value<&O::chapters_out_path>(names_chapter_file, BadValue::RefusesOption, nullptr,
                                       "a chapter file: .txt, .xml or .ffmeta"),
     "  -chapters-out <file>          write a chapter at each kept segment's start\n"},
    {"-delay", M::Word, delay_value<&O::delay_ms>(BadValue::FailsInput, "invalid delay: "),
     "  -delay <msec>\n"},
    {"-nocut", M::Word, no_value<&O::nocut, true>(),
     "  -nocut                        no cut list: only the other steps change the times\n"},
    {"-fps-change", M::Word, rate_pair_value<&O::speed>(BadValue::RefusesOption),
     "  -fps-change <FROM:TO>         times x FROM/TO after the cut and delays: 23.976:25\n"},
    {"-sync", M::Word, time_pairs_value<&O::sync>(BadValue::RefusesOption),
     "  -sync <A=B[,C=D]>             last, A becomes B (and C becomes D): 1:00=1:00.5\n"},
    {"-md", M::Word, no_value<&O::delay_mode, DelayMode::Dgindex>(),
     "  -md            : parse tsfile.  [for dgindex]\n"},
    {"-mv", M::Word, no_value<&O::delay_mode, DelayMode::Mpg2vfp>(),
     "  -mv            : parse tsfile.  [for mpg2vfp]\n"},
    {"-mt", M::Word, no_value<&O::delay_mode, DelayMode::Tmpgenc>(),
     "  -mt            : parse tsfile.  [for tmpgenc]\n"},
    {"-json", M::Word, no_value<&O::json, true>(),
     "  -json          : a .ts input's measurement as JSON on stdout.\n"},
    {"-pmt_pid", M::Word, pid_value<&O::pmt_pid>(BadValue::FailsInput, "invalid PMT PID: "),
     "  -pmt_pid <PID> : select PMT PID \n"},
    // Below 1, the count starts at the first GOP.
    {"-gop", M::Word, integer_value<&O::gop_offset>({1, kIntMax, 0}),
     "  -gop <start_offset>             [dgindex only]\n"},
    {"-stream", M::Word, path_value<&O::stream_path>(),
     "  -stream <file.ts|.m2ts>       default: input.ts\n"},
    {"-debug", M::Word, no_value<&O::log_level, LogLevel::Debug>(),
     "  -debug  : show debug info.\n"},
    {"-silent", M::Word, no_value<&O::log_level, LogLevel::Warning>(),
     "  -silent : show errors and warnings only.\n"},
    {"-all", M::Word, kWalkWord, "  -all    : options before it apply to every later input.\n"},
    {"-h", M::Letter, kWalkWord,
     "  -h, --help : show this usage.   --version : show the version.\n", "the usage"},
    {"--help", M::Word, kWalkWord, ""},
    {"/?", M::Word, kWalkWord, ""},
    {"--version", M::Word, kWalkWord, ""},
};

// One row for each kind of cut list that has an option of its own, then
// the others.
std::vector<OptionRow> make_option_rows() {
  std::vector<OptionRow> rows;
  for (const CutListKindRow& kind : cut_list_kinds()) {
    if (!has_own_option(kind)) continue;
    rows.push_back(OptionRow{kind.option, kind.option_by_letter ? M::Letter : M::Word,
                             cut_list_value(kind.kind), kind.usage, kind.noun});
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

// Digits with an optional '-' in front, nothing else: a whole number as
// typed.
bool is_whole_number(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
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

// Reads an option's value as its row's kind; false, with why when the kind
// says, for a text that is no value of the kind.
bool read_value(const OptionRow& row, std::string_view arg, std::string_view text,
                OptionValue& read, const char*& why) {
  const OptionValueSpec& value_rule = row.value;
  switch (value_rule.kind) {
    case ValueKind::None:
      return true;
    case ValueKind::Path:
      read = text;
      return true;
    case ValueKind::CutList:
      read = CutListValue{text, cut_list_kind_named(value_rule.cut_list_kind, arg)};
      return true;
    case ValueKind::Word:
      if (value_rule.is_word == nullptr || !value_rule.is_word(text)) {
        why = value_rule.word_why;
        return false;
      }
      read = text;
      return true;
    case ValueKind::Integer: {
      IntegerValue value;
      value.value = parse_atoi(text);
      if (value.value < value_rule.range.min || value.value > value_rule.range.max) {
        value.value = value_rule.range.outside;
      }
      value.whole_number = is_whole_number(text);
      FrameRate rate;
      if (!value.whole_number && parse_frame_rate(text, rate)) value.as_rate = rate;
      read = value;
      return true;
    }
    case ValueKind::Rate: {
      FrameRate rate;
      if (!parse_frame_rate(text, rate)) return false;
      read = rate;
      return true;
    }
    case ValueKind::Delay: {
      int delay_ms = 0;
      if (!parse_delay(text, delay_ms)) return false;
      read = delay_ms;
      return true;
    }
    case ValueKind::Pid: {
      std::uint16_t pid = 0;
      if (!parse_pmt_pid(text, pid)) return false;
      read = pid;
      return true;
    }
    case ValueKind::RatePair: {
      SpeedStep step;
      if (!parse_speed_step(text, step)) {
        why = "FROM:TO, two rates as -rate takes them";
        return false;
      }
      read = step;
      return true;
    }
    case ValueKind::TimePairs: {
      SyncStep step;
      switch (parse_sync_step(text, step)) {
        case SyncError::None:
          read = step;
          return true;
        case SyncError::NotPoints:
          why = "A=B or A=B,C=D, times as h:mm:ss.fff, m:ss.fff or seconds";
          return false;
        case SyncError::OutOfOrder:
          why = "the points are equal or out of order";
          return false;
      }
      return false;
    }
  }
  return false;
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
    if (takes_value(*argument.row)) {
      if (arg[1] == nullptr) {
        argument.kind = ArgumentKind::MissingValue;
        arguments.push_back(argument);
        break;
      }
      ++arg;
      argument.value = *arg;
    }
    // Read here, once: the checks before the run and the walk both hand on
    // what was read.
    argument.bad_value =
        !read_value(*argument.row, argument.text, argument.value, argument.read, argument.why);
    arguments.push_back(argument);
  }
  return arguments;
}

void apply_option(const Argument& argument, InputOptions& options) {
  if (argument.kind != ArgumentKind::Option || argument.row == nullptr) return;
  const OptionRow* row = argument.row;
  if (row->value.store == nullptr) return;
  std::erase_if(options.faults, [row](const ValueFault& fault) { return fault.row == row; });
  if (argument.bad_value) options.faults.push_back(fault_of(argument));
  row->value.store(options, argument);
}

ValueFault fault_of(const Argument& argument) {
  return ValueFault{argument.row, std::string(argument.value), argument.why};
}

const ValueFault* first_fault(const InputOptions& options, BadValue bad) {
  const ValueFault* first = nullptr;
  for (const ValueFault& fault : options.faults) {
    if (fault.row->value.bad_value != bad) continue;
    // The rows lie in one table, in its order.
    if (first == nullptr || std::less<const OptionRow*>{}(fault.row, first->row)) first = &fault;
  }
  return first;
}

std::string fault_message(const ValueFault& fault) {
  const OptionRow& row = *fault.row;
  std::string message = row.value.fault != nullptr
                            ? std::string(row.value.fault)
                            : "invalid " + std::string(row.spelling) + " value: ";
  message += fault.value;
  if (fault.why != nullptr) message += std::string(" (") + fault.why + ")";
  return message;
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
