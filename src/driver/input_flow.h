// The processing of one input: a subtitle re-timed through its cut list and
// delays, or a recording only measured.
#pragma once

#include <string>
#include <string_view>

#include "driver/options.h"
#include "driver/run_files.h"

namespace mendra {

// Processes one input with the options gathered for it; false when the
// input failed. `run` holds what earlier inputs wrote: an output is written
// once per run, and this input's outputs are added.
bool process_input(const std::string& input, const InputOptions& options, RunFiles& run);

// Whether the input names a recording (.ts, .m2ts, .mts or .m2t in any
// case), which with a delay mode is measured only.
bool is_stream_input(std::string_view input);

// Measures the recording and prints the result, as text on standard error
// or, with -json, as one JSON object on standard output; false when nothing
// could be measured.
bool measure_only(const std::string& stream, const InputOptions& options);

}  // namespace mendra
