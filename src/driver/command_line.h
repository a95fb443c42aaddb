// The command-line walk and the processing of one input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "cutlist/cut_list.h"
#include "cutlist/cut_map.h"
#include "ts/ts_delay.h"
#include "util/settings.h"

namespace mendra {

// What the options before an input chose for it besides RunSettings; reset
// after every input together with the settings (to the -all defaults, when
// given).
struct InputChoices {
  std::optional<std::string> cut_list_path;  // none: derived from the input
  CutListKind cut_list_kind = CutListKind::DelList;
  DelayMode delay_mode = DelayMode::None;
  std::optional<std::string> output_path;
  // A -rate value that is no rate: the input fails rather than be re-timed
  // at a rate nobody asked for.
  std::optional<std::string> invalid_rate;
  std::optional<std::string> stream_path;  // -stream; none: <input>.ts
};

// Exit statuses of a run.
inline constexpr int kExitSuccess = 0;  // every input was written
inline constexpr int kExitFailure = 1;  // some input failed
inline constexpr int kExitUsage = 2;    // the command line itself was wrong

// Walks the arguments from argv[1] up to the terminating null entry,
// processing every input as it is met. Returns the exit status.
// "-all" makes the options since the previous input the defaults of every
// later input; a -o or cut list among them, which names one file, is refused
// before anything is processed when several inputs follow.
int run_mendra(const char* const* argv);

// Whether an argument that is not an option's value is an input: anything
// that does not begin with '-' or '/', and a '/' path that exists or holds a
// further '/'.
bool is_input_argument(std::string_view arg);

// The output path without extension: "<input>_new" beside the input, the -o
// value without its extension, or "<folder>/<input name>_new" when the -o
// value ends with a separator or names an existing folder.
std::string default_output_base(const std::string& input, const std::optional<std::string>& output);

// Processes one input with the choices and settings gathered for it; false
// when the input failed.
bool process_input(const std::string& input, const InputChoices& choices, RunSettings& settings,
                   CutMap& map);

// The PMT PID of a -pmt_pid value, read as hexadecimal.
std::uint16_t pmt_pid_from_text(const std::string& value);

// Writes the usage text straight to the stream, past every log channel:
// standard output when asked for, standard error after a command-line error.
void print_usage(std::FILE* stream);

}  // namespace mendra
