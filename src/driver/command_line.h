// The command-line walk: checks the whole command line, then processes every
// input as it is met.
#pragma once

#include <optional>
#include <string>

#include "driver/options.h"

namespace mendra {

// Exit statuses of a run.
inline constexpr int kExitSuccess = 0;  // every input was written
inline constexpr int kExitFailure = 1;  // some input failed
inline constexpr int kExitUsage = 2;    // the command line itself was wrong

// Walks the arguments from argv[1] up to the terminating null entry,
// processing every input as it is met. Returns the exit status.
// "-all" makes the options since the previous input the defaults of every
// later input; an -o among them that names one file is refused before
// anything is processed when several inputs follow. So are options the
// walk does not know, and inputs whose options cannot work together.
int run_mendra(const char* const* argv);

// The output path without extension: "<input>_new" beside the input, the -o
// value without its extension, or "<folder>/<input name>_new" when the -o
// value ends with a separator or names an existing folder.
std::string default_output_base(const std::string& input, const std::optional<std::string>& output);

// Whether an -o value names a folder: it ends with a separator or is an
// existing folder.
bool names_folder(const std::string& output);

}  // namespace mendra
