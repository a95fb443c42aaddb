// Opening of input files for reading in binary mode (text-mode line ends are
// handled by the readers themselves).
#pragma once

#include <cstdio>
#include <string>

namespace mendra {

// The file opened with "rb", or nullptr when it cannot be opened or is a
// directory (which some systems let fopen open, only to fail every read).
std::FILE* open_input_file(const std::string& path);

}  // namespace mendra
