// The options of the command line: one table row per option, from which the
// walk recognises the arguments, the checks before the run classify them and
// the usage text is written. Adding an option is one row.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "cutlist/cut_list_kind.h"
#include "time/frame_rate.h"
#include "time/time_steps.h"
#include "ts/ts_delay.h"
#include "util/log.h"

namespace mendra {

struct OptionRow;

// A value that its option's row could not read, kept with the options of
// the input it applies to until the row's rule reports it.
struct ValueFault {
  const OptionRow* row = nullptr;
  std::string value;          // as given
  const char* why = nullptr;  // for a kind whose message says why
};

// An Integer value as read: atoi's number (or the range's default outside
// it), whether the text was that whole number as typed, and the rate the
// text names when it was not (29.97), for the warning about -fps.
struct IntegerValue {
  int value = 0;
  bool whole_number = true;
  std::optional<FrameRate> as_rate;
};

// An Integer value with the text it was read from.
struct GivenInteger {
  std::string text;
  IntegerValue read;
};

// Everything the options before an input chose for it. The walk starts every
// input from the defaults (built in, or what a -all made them), so nothing
// carries over from one input to the next.
struct InputOptions {
  std::optional<std::string> cut_list_path;  // none: derived from the input
  CutListKind cut_list_kind = CutListKind::DelList;
  DelayMode delay_mode = DelayMode::None;
  std::optional<std::string> output_path;
  std::optional<std::string> stream_path;  // -stream; none: <input>.ts
  std::optional<std::string> timecodes_path;
  std::optional<std::string> timecodes_out_path;
  // -chapters: a chapter file re-timed with the input; -chapters-out: a new
  // chapter file marking each kept segment of the cut video.
  std::optional<std::string> chapters_path;
  std::optional<std::string> chapters_out_path;
  std::optional<std::string> format;  // -format: the format of standard input
  // -charset: the character set subtitles are read in (any name iconv
  // knows), written as UTF-8; none: recognised as UTF-8 or UTF-16.
  std::optional<std::string> charset;

  int fps = kFallbackFps;                 // frames per second are fps / 1.001
  std::optional<GivenInteger> fps_given;  // -fps as typed and read
  std::optional<FrameRate> rate;          // -rate: wins over fps
  int delay_ms = 0;
  // -nocut: no cut list is read or looked for.
  bool nocut = false;
  SpeedStep speed;  // -fps-change
  SyncStep sync;    // -sync

  int gop_offset = -1;        // -1: no -gop given
  std::uint16_t pmt_pid = 0;  // 0: the first program of the PAT
  bool json = false;          // -json: the measurement as JSON on stdout
  LogLevel log_level = LogLevel::Info;

  // Values that could not be read, at most one a row (the last value given
  // decides); the option itself stays at its default.
  std::vector<ValueFault> faults;
};

// What an argument that is no option's value is, by the walk's own rules.
enum class ArgumentKind {
  Input,
  Option,        // a row of the table, with its value when it takes one
  All,           // -all
  Help,          // -h, --help, /?: the usage on standard output
  Version,       // --version
  Unknown,       // begins like an option but is none
  MissingValue,  // an option that takes a value stands last
};

// What an option's value is. It is read once, when the command line is
// classified, and the walk hands on what was read.
enum class ValueKind : std::uint8_t {
  None,       // the option takes no value
  Path,       // a file name (or any text), kept as given
  CutList,    // a cut list's file name, of the row's kind (-k1 under -k)
  Word,       // one of the words the row knows
  Integer,    // a whole number as atoi reads it; outside the row's range, its default
  Rate,       // an exact frame rate, as -rate takes it: 25, 30000/1001, 29.97
  Delay,      // whole milliseconds with an optional sign, within the int range
  Pid,        // hexadecimal within 16 bits, with or without 0x
  RatePair,   // FROM:TO, two rates
  TimePairs,  // A=B or A=B,C=D, times paired
};

// What becomes of a value that its kind cannot read.
enum class BadValue : std::uint8_t {
  None,           // every text is a value of the kind
  FailsInput,     // the input it applies to fails (status 1); the others run
  RefusesInput,   // a command-line error once an input it applies to is met
  RefusesOption,  // a command-line error where it stands
};

// A value as its kind reads it: nothing for no value or a bad one.
struct CutListValue {
  std::string_view path;
  CutListKind kind = CutListKind::DelList;
};
using OptionValue = std::variant<std::monostate, std::string_view, IntegerValue, int, FrameRate,
                                 std::uint16_t, SpeedStep, SyncStep, CutListValue>;

struct Argument {
  ArgumentKind kind = ArgumentKind::Input;
  std::string_view text;
  const OptionRow* row = nullptr;  // for Option and MissingValue
  std::string_view value;          // for an Option that takes one: its text
  OptionValue read;                // and what its row's kind read from it
  bool bad_value = false;          // the text is no value of that kind
  const char* why = nullptr;       // why not, for a kind that says
};

// How an argument is matched against a row.
enum class OptionMatch {
  Word,    // the whole argument, case-sensitive, with its '-'
  Letter,  // '-' or '/' and then the row's letter in either case, followed
           // by anything ("-l", "-L", "/l", "-list")
};

// An Integer's range: a value outside [min, max] becomes `outside`.
struct IntegerRange {
  int min = 0;
  int max = 0;
  int outside = 0;
};

// An option's value: its kind, where what is read goes, and what a bad
// value does.
struct OptionValueSpec {
  ValueKind kind = ValueKind::None;
  // Sets what the option chooses from what was read (for an option without
  // a value, from the option itself); a bad value leaves the field at its
  // default. nullptr: the walk acts on the option itself (-all, -h).
  void (*store)(InputOptions& options, const Argument& argument) = nullptr;
  BadValue bad_value = BadValue::None;
  // What a bad value is called in front of it ("invalid delay: ");
  // nullptr: "invalid <option> value: ". Why it is bad follows in
  // parentheses when the kind says.
  const char* fault = nullptr;
  IntegerRange range{};                              // Integer
  bool (*is_word)(std::string_view word) = nullptr;  // Word
  const char* word_why = nullptr;                    // Word: why another is bad
  CutListKind cut_list_kind = CutListKind::DelList;  // CutList
};

struct OptionRow {
  const char* spelling;  // "-delay", or for a Letter row "-l"
  OptionMatch match;
  OptionValueSpec value;
  // The option's part of the usage text, whole lines; empty for a row whose
  // line another row prints.
  const char* usage;
  // For a Letter row: what its value is ("an AviSynth script"), in the
  // words the README and the manual page use, so that a warning about a
  // word read by its first letter says what the word was taken for.
  const char* noun = nullptr;
};

inline bool takes_value(const OptionRow& row) {
  return row.value.kind != ValueKind::None;
}

// Every option, in the order the usage lists them.
std::span<const OptionRow> option_rows();

// Sorts the arguments from `arg` up to the terminating null entry, so that
// the inputs are known before the first is processed. An option that lacks
// its value ends the list.
std::vector<Argument> classify_arguments(const char* const* arg);

// The whole-word option an argument looks like a misspelling of: at most
// two letters changed, added, dropped or swapped, and fewer than the
// argument has after its '-' or '/'; the nearest, the first of the table
// on a tie. nullptr when none is that near.
const OptionRow* nearest_word_option(std::string_view arg);

// Applies a classified Option argument to `options`: stores what its value
// read, and keeps a bad value as the row's fault in place of any before it.
void apply_option(const Argument& argument, InputOptions& options);

// The first of the faults that their rows report as `bad`, in the order of
// the table; nullptr when there is none.
const ValueFault* first_fault(const InputOptions& options, BadValue bad);

// What a fault says: "invalid delay: 1.5", "invalid -sync value: 1=2,0=1
// (the points are equal or out of order)".
std::string fault_message(const ValueFault& fault);

// A bad value of an Option argument, as a fault.
ValueFault fault_of(const Argument& argument);

// Whether an argument that is not an option's value is an input: "-" (the
// standard input), anything that does not begin with '-' or '/', and a '/'
// path that exists or holds a further '/' or a '.'.
bool is_input_argument(std::string_view arg);

// A -pmt_pid value: hexadecimal digits, with or without "0x" or "0X" in
// front (as stream analysers print PIDs), within 16 bits; false for
// anything else.
bool parse_pmt_pid(std::string_view text, std::uint16_t& pid);

// A -delay value: optional leading blanks, an optional sign and digits,
// within the 32-bit range; false for anything else.
bool parse_delay(std::string_view text, int& delay_ms);

// Writes the usage text straight to the stream, past every log: standard
// output when asked for, standard error after a command-line error.
void print_usage(std::FILE* stream);

// The version the tool reports.
const char* mendra_version();

}  // namespace mendra
