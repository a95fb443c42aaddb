// The command-line walk and the processing of one input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cutlist/cut_list.h"
#include "cutlist/cut_map.h"
#include "ts/ts_delay.h"
#include "util/settings.h"

namespace mendra {

// What the options before an input chose for it besides RunSettings; reset
// after every input together with the settings.
struct InputChoices {
  std::optional<std::string> cut_list_path;  // none: derived from the input
  CutListKind cut_list_kind = CutListKind::DelList;
  int delay_mode = DelayNone;
  std::optional<std::string> output_path;
};

// Walks the arguments from argv[1] up to the terminating null entry,
// processing every input as it is met. Always returns 0.
int run_mendra(const char* const* argv);

// Processes one input with the choices and settings gathered for it.
void process_input(const std::string& input, const InputChoices& choices, RunSettings& settings,
                   CutMap& map);

// The PMT PID of a -pmt_pid value, read as hexadecimal.
std::uint16_t pmt_pid_from_text(const std::string& value);

// Writes the usage text straight to standard error, past every log channel.
void print_usage();

}  // namespace mendra
