// The measurement on real recordings made with ffmpeg (tests/data/ts). The
// expected clocks and delays were derived from ffprobe's output and from an
// independent reader of the streams, as tests/data/ts/README.md shows step
// by step; they do not come from mendra.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "ts/ts_delay.h"
#include "util/settings.h"

namespace mendra {
namespace {

struct ExpectedClocks {
  long long first_pcr = 0;
  long long iframe_pts = 0;
  long long video_start_pts = 0;
  long long audio_pts = 0;
  bool has_audio = false;
};

// name pmt_pid pcr_pid video_pid audio_pid first_pcr iframe_pts
// video_start_pts audio_pts, as tests/data/ts/expected.txt lists them.
std::map<std::string, ExpectedClocks> load_expected() {
  std::map<std::string, ExpectedClocks> streams;
  std::ifstream in(std::string(MENDRA_TEST_DATA) + "/ts/expected.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name;
    int pmt = 0, pcr = 0, video = 0, audio = 0;
    ExpectedClocks e;
    fields >> name >> pmt >> pcr >> video >> audio >> e.first_pcr >> e.iframe_pts >>
        e.video_start_pts >> e.audio_pts;
    e.has_audio = audio != 0;
    streams[name] = e;
  }
  return streams;
}

// The delays of the stream's table in tests/data/ts/README.md.
struct DelayCase {
  const char* stream;
  int dgindex_ms;
  int mpg2vfp_ms;
  int tmpgenc_ms;
};

class RealStreamTest : public ::testing::TestWithParam<DelayCase> {};

std::string measure(const std::string& stream, RunSettings& settings, TsDelays& delays,
                    bool& result) {
  testing::internal::CaptureStderr();
  result =
      measure_ts_delay(std::string(MENDRA_TEST_DATA) + "/ts/" + stream + ".ts", settings, delays);
  return testing::internal::GetCapturedStderr();
}

TEST_P(RealStreamTest, EveryModeStoresItsDelay) {
  const DelayCase& c = GetParam();
  const int expected[] = {c.dgindex_ms, c.mpg2vfp_ms, c.tmpgenc_ms};
  for (int mode = DelayDgindex; mode <= DelayTmpgenc; ++mode) {
    RunSettings settings;
    TsDelays delays;
    bool result = false;
    const std::string printed = measure(c.stream, settings, delays, result);
    EXPECT_TRUE(result) << c.stream << " mode " << mode;
    EXPECT_EQ(delay_for_mode(delays, mode), expected[mode]) << c.stream << " mode " << mode;
    // All three candidates are printed in every mode.
    std::ostringstream lines;
    lines << "\tTS read delay\n\t -- dgindex : " << c.dgindex_ms
          << " msec\n\t -- mpg2vfp : " << c.mpg2vfp_ms << " msec\n\t -- tmpgenc : " << c.tmpgenc_ms
          << " msec\n\n";
    EXPECT_NE(printed.find(lines.str()), std::string::npos) << printed;
  }
}

TEST_P(RealStreamTest, SummaryShowsTheClocksOfTheStream) {
  const DelayCase& c = GetParam();
  const auto all = load_expected();
  ASSERT_TRUE(all.count(c.stream)) << c.stream;
  const ExpectedClocks& e = all.at(c.stream);
  RunSettings settings;
  settings.log_debug = log_print;
  TsDelays delays;
  bool result = false;
  const std::string printed = measure(c.stream, settings, delays, result);
  ASSERT_TRUE(result);
  const auto clock_line = [](const char* label, long long value) {
    std::ostringstream line;
    line << "\t -- " << label << ": " << value << " [" << value / 90 << "ms]\n";
    return line.str();
  };
  EXPECT_NE(printed.find(clock_line("Start PCR", e.first_pcr)), std::string::npos) << printed;
  EXPECT_NE(printed.find(clock_line("Start Video PTS", e.video_start_pts)), std::string::npos);
  EXPECT_NE(printed.find(clock_line("Start Video PTS I-Frame", e.iframe_pts)), std::string::npos);
  if (e.has_audio) {
    EXPECT_NE(printed.find(clock_line("Start Audio PTS", e.audio_pts)), std::string::npos);
  } else {
    EXPECT_EQ(printed.find("Start Audio PTS"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, RealStreamTest,
                         ::testing::Values(DelayCase{"plain", -733, -733, -733},
                                           DelayCase{"offset", -1033, -1033, -1033},
                                           DelayCase{"midcut", -1400, -1467, -727},
                                           DelayCase{"audiocut", -1000, -1067, -578},
                                           DelayCase{"noaudio", -733, -733, -733},
                                           DelayCase{"wrap", -733, -733, -633}),
                         [](const auto& test_info) { return std::string(test_info.param.stream); });

}  // namespace
}  // namespace mendra
