// A fresh temporary directory, log and start rule for every test of the
// transport-stream analysis, with helpers to write and open streams.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "support/run_binary.h"
#include "support/ts_stream_builder.h"
#include "ts/es_scan.h"
#include "ts/start_rule.h"
#include "ts/ts_stream.h"
#include "util/log.h"

namespace mendra::test {

// A clock value of the analysis as the tests' tables write it: its count,
// or kNotFound when it was not found.
inline constexpr std::int64_t kNotFound = -1;
inline std::int64_t clock_count(const std::optional<Ticks90k>& clock) {
  return clock ? clock->count : kNotFound;
}

class TsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    dir_ = std::filesystem::temp_directory_path() / ("mendra_ts_" + name);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    log_ = Log{};
    rule_ = StartRule{};
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string& file) const { return (dir_ / file).string(); }

  // Writes `bytes` as `file` and opens it in stream_.
  void open_stream(const Bytes& bytes, const std::string& file = "s.ts") {
    ASSERT_TRUE(write_file(path(file), as_chars(bytes)));
    ASSERT_TRUE(stream_.open(path(file)));
  }

  std::filesystem::path dir_;
  // Messages go to standard error, where a test captures them; a test sets
  // the level it checks.
  Log log_;
  StartRule rule_;
  // What the scanners of a pass get: the two above.
  ScanContext context_{rule_, log_};
  TsStream stream_;
};

}  // namespace mendra::test
