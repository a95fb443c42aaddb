// Shared by the fuzz targets: a private temporary folder per process, files
// written into it, and a log with every trace switched on. The traces are
// part of what is fuzzed, so they are formatted on every run; run the targets
// with -close_fd_mask=2 to send them to /dev/null while libFuzzer and the
// sanitizers keep reporting on their own copy of standard error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "util/log.h"

namespace mendra::fuzz {

// A folder of this process's own under the system temp folder, made on first
// use and removed at exit, so parallel fuzzing jobs never share files.
const std::filesystem::path& process_temp_dir();

// Writes the bytes to `path`, replacing what was there.
void write_bytes(const std::filesystem::path& path, std::string_view bytes);

std::string_view as_text(const std::uint8_t* data, std::size_t size);

// A log that passes on every message, the debug traces included.
Log tracing_log();

}  // namespace mendra::fuzz
