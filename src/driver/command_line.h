// The command-line walk and the processing of one input.
#pragma once

namespace mendra {

// Walks the arguments from argv[1] up to the terminating null entry,
// processing every input as it is met. Always returns 0.
int run_mendra(const char* const* argv);

void print_usage();

}  // namespace mendra
