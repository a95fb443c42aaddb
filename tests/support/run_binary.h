// Runs the built mendra binary in a folder and captures what it writes.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace mendra::test {

struct RunResult {
  int exit_status = -1;  // -1 when the process did not exit normally
  bool timed_out = false;
  std::string standard_output;
  std::string standard_error;
};

// Runs `binary` with `args` (argv[1]...) in `work_dir`, without a shell; its
// standard input is the file `input`, or empty when none is given. A run
// that takes longer than `timeout_seconds` (when above 0) is killed: a hang
// fails the test instead of stopping the suite.
RunResult run_binary(const std::string& binary, const std::vector<std::string>& args,
                     const std::filesystem::path& work_dir,
                     const std::filesystem::path& input = "/dev/null", int timeout_seconds = 0);

std::string read_file(const std::filesystem::path& path);
// Every regular file under `root` by its relative path ('/' separated) with
// its content; empty when the folder does not exist.
using FileSet = std::map<std::string, std::string>;
FileSet snapshot(const std::filesystem::path& root);
// Writes the bytes (creating missing folders); true on success. The one file
// writer of the tests: streams pass their bytes through as_chars.
bool write_file(const std::filesystem::path& path, std::string_view content);

// A fresh, empty folder of its own for one test; removed afterwards.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::filesystem::path path;
};

}  // namespace mendra::test
