// End-to-end cases: each folder under tests/e2e/ holds
//   args     the arguments, one per line (no shell);
//   in/      files copied into a fresh folder before the run;
//   data     optional "name=path" lines copying fixtures from tests/data;
//   stderr   the expected standard error, byte for byte;
//   stdin    optional: what the run reads on its standard input (none: empty);
//   stdout   optional: the expected standard output (none: empty);
//   status   optional: the expected exit status (none: 0);
//   out/     every file expected to be new or changed afterwards.
// "{dir}" in args stands for the run's folder as an absolute path, and the
// folder's path in what the run prints is compared as "{dir}".
// Every other file must be left exactly as it was, and nothing else may
// appear. MENDRA_UPDATE_EXPECTED=1 rewrites stderr and out/ from the run,
// for review by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "support/run_binary.h"

namespace mendra::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> read_lines(const fs::path& path) {
  std::vector<std::string> lines;
  std::istringstream in(read_file(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void replace_all(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(MENDRA_E2E_DIR)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class EndToEnd : public ::testing::TestWithParam<std::string> {};

TEST_P(EndToEnd, MatchesExpectedOutput) {
  const fs::path case_dir = fs::path(MENDRA_E2E_DIR) / GetParam();
  TempDir work;
  if (fs::exists(case_dir / "in")) {
    fs::copy(case_dir / "in", work.path, fs::copy_options::recursive);
  }
  if (fs::exists(case_dir / "data")) {
    for (const std::string& line : read_lines(case_dir / "data")) {
      const auto eq = line.find('=');
      ASSERT_NE(eq, std::string::npos) << "bad data line: " << line;
      const fs::path target = work.path / line.substr(0, eq);
      fs::create_directories(target.parent_path());
      fs::copy_file(fs::path(MENDRA_TEST_DATA) / line.substr(eq + 1), target);
    }
  }
  const FileSet before = snapshot(work.path);

  std::vector<std::string> args = read_lines(case_dir / "args");
  for (std::string& arg : args) replace_all(arg, "{dir}", work.path.string());
  const fs::path input = fs::exists(case_dir / "stdin") ? case_dir / "stdin" : "/dev/null";
  RunResult result = run_binary(MENDRA_BINARY, args, work.path, input);
  replace_all(result.standard_error, work.path.string(), "{dir}");
  replace_all(result.standard_output, work.path.string(), "{dir}");

  FileSet changed;
  for (const auto& [name, content] : snapshot(work.path)) {
    const auto old = before.find(name);
    if (old == before.end() || old->second != content) changed[name] = content;
  }
  for (const auto& [name, content] : before) {
    EXPECT_TRUE(fs::exists(work.path / name)) << name << " was removed";
  }

  if (std::getenv("MENDRA_UPDATE_EXPECTED") != nullptr) {
    write_file(case_dir / "stderr", result.standard_error);
    fs::remove(case_dir / "stdout");
    fs::remove(case_dir / "status");
    if (!result.standard_output.empty()) write_file(case_dir / "stdout", result.standard_output);
    if (result.exit_status != 0) {
      write_file(case_dir / "status", std::to_string(result.exit_status) + "\n");
    }
    fs::remove_all(case_dir / "out");
    for (const auto& [name, content] : changed) write_file(case_dir / "out" / name, content);
    GTEST_SKIP() << "expectations rewritten";
  }

  EXPECT_EQ(result.standard_error, read_file(case_dir / "stderr"));
  EXPECT_EQ(result.standard_output,
            fs::exists(case_dir / "stdout") ? read_file(case_dir / "stdout") : "");
  EXPECT_EQ(result.exit_status,
            fs::exists(case_dir / "status") ? std::stoi(read_file(case_dir / "status")) : 0);
  const FileSet expected = snapshot(case_dir / "out");
  for (const auto& [name, content] : expected) {
    const auto got = changed.find(name);
    if (got == changed.end()) {
      ADD_FAILURE() << name << " was expected to be written";
    } else {
      EXPECT_EQ(got->second, content) << "in " << name;
    }
  }
  for (const auto& [name, content] : changed) {
    EXPECT_TRUE(expected.count(name)) << name << " was written but not expected";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, EndToEnd, ::testing::ValuesIn(case_names()),
                         [](const auto& test_info) {
                           std::string name = test_info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace mendra::test
