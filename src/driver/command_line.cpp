#include "driver/command_line.h"

#include <cstdio>

namespace mendra {

void print_usage() { std::fputs("usage\n", stderr); }

// Placeholder until the walk is written; see the driver work in progress.
int run_mendra(const char* const* /*argv*/) {
  print_usage();
  return 0;
}

}  // namespace mendra
