// A fresh clock and a log that shows every level, runners that capture what
// read_cut_list prints for a list in memory or in a file,
// and a fresh temporary directory per test for the cases that need a file.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "cutlist/cut_list.h"
#include "support/run_binary.h"
#include "time/cut_map.h"
#include "time/frame_clock.h"
#include "util/log.h"

namespace mendra::test {

struct CutListOutcome {
  bool ok = false;  // read, or empty: not refused
  CutListRead read = CutListRead::Unopened;
  CutMap map;
  std::string log;  // everything printed on standard error
};

class CutListTest : public ::testing::Test {
 protected:
  // Appends every message to the captured text; the info level only while
  // it is wanted.
  [[gnu::format(printf, 3, 0)]] static void capture(void* user, LogLevel level, const char* format,
                                                    std::va_list args) {
    auto& self = *static_cast<CutListTest*>(user);
    if (level == LogLevel::Info && !self.show_info_) return;
    std::va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (size <= 0) return;
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.pop_back();
    self.captured_ += text;
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
    captured_.clear();
    outcome.read = read_cut_list(path, kind, clock_, log_, outcome.map);
    outcome.ok = outcome.read == CutListRead::Read || outcome.read == CutListRead::Empty;
    outcome.log = captured_;
    return outcome;
  }

  CutListOutcome read_text(std::string_view bytes, CutListKind kind) {
    CutListOutcome outcome;
    outcome.map = {123, 456};
    captured_.clear();
    outcome.read = read_cut_list_bytes(bytes, kind, clock_, log_, outcome.map);
    outcome.ok = outcome.read == CutListRead::Read || outcome.read == CutListRead::Empty;
    outcome.log = captured_;
    return outcome;
  }

  // Only the parser traces: for cases whose summary is covered elsewhere.
  void traces_only() { show_info_ = false; }

  test::TempDir dir_;
  FrameClock clock_;
  bool show_info_ = true;
  std::string captured_;
  Log log_{capture, this, LogLevel::Debug};
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
