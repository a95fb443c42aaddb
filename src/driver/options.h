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
#include <vector>

#include "cutlist/cut_list_kind.h"
#include "time/frame_rate.h"
#include "time/time_steps.h"
#include "ts/ts_delay.h"
#include "util/log.h"

namespace mendra {

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
  std::optional<std::string> format;  // -format: the format of standard input
  // -charset: the character set subtitles are read in (any name iconv
  // knows), written as UTF-8; none: recognised as UTF-8 or UTF-16.
  std::optional<std::string> charset;

  int fps = 30;                         // frames per second are fps / 1.001
  std::optional<std::string> fps_text;  // the -fps value as typed
  std::optional<FrameRate> rate;        // -rate: wins over fps
  // A value that is no rate or no delay: the input fails rather than be
  // re-timed with a value nobody asked for.
  std::optional<std::string> invalid_rate;
  std::optional<std::string> invalid_delay;
  std::optional<std::string> invalid_pmt_pid;
  int delay_ms = 0;
  // -nocut: no cut list is read or looked for.
  bool nocut = false;
  SpeedStep speed;  // -fps-change
  SyncStep sync;    // -sync
  // A -fps-change or -sync value that cannot be used, with why: the command
  // line is refused before anything runs.
  std::optional<std::string> invalid_speed;
  std::optional<std::string> invalid_sync;

  int gop_offset = -1;        // -1: no -gop given
  std::uint16_t pmt_pid = 0;  // 0: the first program of the PAT
  bool json = false;          // -json: the measurement as JSON on stdout
  LogLevel log_level = LogLevel::Info;
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

struct OptionRow;

struct Argument {
  ArgumentKind kind = ArgumentKind::Input;
  std::string_view text;
  const OptionRow* row = nullptr;  // for Option and MissingValue
  std::string_view value;          // for an Option that takes one
};

// How an argument is matched against a row.
enum class OptionMatch {
  Word,    // the whole argument, case-sensitive, with its '-'
  Letter,  // '-' or '/' and then the row's letter in either case, followed
           // by anything ("-l", "-L", "/l", "-list")
};

struct OptionRow {
  const char* spelling;  // "-delay", or for a Letter row "-l"
  OptionMatch match;
  bool takes_value;
  // Sets what the option chooses; `arg` is the argument itself (the -k row
  // picks the pairing from it), `value` its value when it takes one.
  void (*apply)(InputOptions& options, std::string_view arg, std::string_view value);
  // The option's part of the usage text, whole lines; empty for a row whose
  // line another row prints.
  const char* usage;
  // For a Letter row: what its value is ("an AviSynth script"), in the
  // words the README and the manual page use, so that a warning about a
  // word read by its first letter says what the word was taken for.
  const char* noun = nullptr;
};

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

// Applies a classified Option argument to `options`.
void apply_option(const Argument& argument, InputOptions& options);

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
