// Fresh settings with every log channel printing, runners that capture what
// read_cut_list prints on standard error for a list in memory or in a file,
// and a fresh temporary directory per test for the cases that need a file.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "cutlist/cut_list.h"
#include "cutlist/cut_map.h"
#include "support/run_binary.h"
#include "util/settings.h"

namespace mendra::test {

struct CutListOutcome {
  bool ok = false;
  CutMap map;
  std::string log;  // everything printed on standard error
};

class CutListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.log_info = log_print;
    settings_.log_debug = log_print;
    settings_.log_error = log_print;
  }

  // Writes the bytes exactly as given (binary: CR LF stays CR LF).
  std::string write_file(const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = dir_.path / name;
    test::write_file(path, bytes);
    return path.string();
  }

  CutListOutcome read(const std::string& path, CutListKind kind) {
    CutListOutcome outcome;
    outcome.map = {123, 456};  // read_cut_list must replace whatever was there
    ::testing::internal::CaptureStderr();
    outcome.ok = read_cut_list(path, kind, outcome.map, settings_);
    outcome.log = ::testing::internal::GetCapturedStderr();
    return outcome;
  }

  CutListOutcome read_text(std::string_view bytes, CutListKind kind) {
    CutListOutcome outcome;
    outcome.map = {123, 456};
    ::testing::internal::CaptureStderr();
    outcome.ok = read_cut_list_bytes(bytes, kind, outcome.map, settings_);
    outcome.log = ::testing::internal::GetCapturedStderr();
    return outcome;
  }

  // Only the parser traces: for cases whose summary is covered elsewhere.
  void traces_only() { settings_.log_info = log_silent; }

  test::TempDir dir_;
  RunSettings settings_;
};

// The summary block with its two lines, for kept and cut frames and their
// times as printed.
inline std::string summary_text(int kept, const std::string& kept_time, int cut,
                                const std::string& cut_time) {
  return "   ---- cut info ----\n\tTotal  frame: " + std::to_string(kept) +
         "  \ttime: " + kept_time + "\n\t cut   frame: " + std::to_string(cut) +
         "  \ttime: " + cut_time + "\n\n";
}

inline std::string zero_summary() {
  return summary_text(0, "00:00:00.000", 0, "00:00:00.000");
}

// The three evaluator traces of one argument.
inline std::string calc_trace(const std::string& text, const std::string& reduced,
                              const std::string& result) {
  return "   calc: " + text + "\t   last c: " + reduced + "\t\tresult:" + result + "\n";
}

// The traces of an argument that is a plain number.
inline std::string number_trace(const std::string& text) {
  return calc_trace(text, text, text);
}

}  // namespace mendra::test
