// The measurement on real recordings made with ffmpeg (tests/data/ts). The
// expected clocks and delays were derived from ffprobe's output and from an
// independent reader of the streams, as tests/data/ts/README.md shows step
// by step; they do not come from mendra.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "support/ts_fixture.h"
#include "ts/es_scanners.h"
#include "ts/ts_delay.h"
#include "util/log.h"

namespace mendra {
namespace {

using test::clock_count;

struct ExpectedClocks {
  int pcr_pid = 0;
  int video_pid = 0;
  int audio_pid = 0;
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
    e.pcr_pid = pcr;
    e.video_pid = video;
    e.audio_pid = audio;
    streams[name] = e;
  }
  return streams;
}

// Stream types of the codecs in the streams.
constexpr std::uint8_t kMpeg2Video = 0x02;
constexpr std::uint8_t kAdtsAac = 0x0F;
constexpr std::uint8_t kH264 = 0x1B;
constexpr std::uint8_t kHevc = 0x24;
constexpr std::uint8_t kAc3 = 0x81;
constexpr std::uint8_t kEac3 = 0x87;
constexpr std::uint8_t kMpegAudio = 0x03;
constexpr std::uint8_t kLatmAac = 0x11;

// The delays of the stream's table in tests/data/ts/README.md. `stream` is
// the name in expected.txt: the file name, with ".ts" added when it has no
// extension. `needs` names the stream types whose scanners the row needs
// (0 for none).
struct DelayCase {
  const char* stream;
  int dgindex_ms;
  int mpg2vfp_ms;
  int tmpgenc_ms;
  std::array<std::uint8_t, 2> needs{kMpeg2Video, 0};
};

class RealStreamTest : public ::testing::TestWithParam<DelayCase> {
 protected:
  // A stream of a codec that no scanner reads yet cannot be measured: its
  // row waits for the scanner's row in the stream-type table.
  void SetUp() override {
    for (const std::uint8_t type : GetParam().needs) {
      if (type != 0 && find_es_scanner(type) == nullptr) {
        GTEST_SKIP() << "no scanner for stream type " << static_cast<int>(type);
      }
    }
  }
};

std::string measure(const std::string& stream, DelayMode mode, const Log& log,
                    TsMeasurement& measured, bool& result) {
  const bool has_extension = stream.find('.') != std::string::npos;
  const std::string file = has_extension ? stream : stream + ".ts";
  testing::internal::CaptureStderr();
  result = measure_ts_delay(std::string(MENDRA_TEST_DATA) + "/ts/" + file, StartRule{}, mode, log,
                            measured);
  return testing::internal::GetCapturedStderr();
}

TEST_P(RealStreamTest, EveryModeStoresItsDelay) {
  const DelayCase& c = GetParam();
  const std::pair<DelayMode, int> expected[] = {{DelayMode::Dgindex, c.dgindex_ms},
                                                {DelayMode::Mpg2vfp, c.mpg2vfp_ms},
                                                {DelayMode::Tmpgenc, c.tmpgenc_ms}};
  for (const auto& [mode, delay_ms] : expected) {
    TsMeasurement measured;
    bool result = false;
    const std::string printed = measure(c.stream, mode, Log{}, measured, result);
    const int mode_number = static_cast<int>(mode);
    EXPECT_TRUE(result) << c.stream << " mode " << mode_number;
    EXPECT_EQ(delay_for_mode(measured.delays, mode), delay_ms)
        << c.stream << " mode " << mode_number;
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
  TsMeasurement measured;
  bool result = false;
  const std::string printed =
      measure(c.stream, DelayMode::None, Log{.level = LogLevel::Debug}, measured, result);
  ASSERT_TRUE(result);
  // The record says what the trace says.
  const bool m2ts = std::string(c.stream).find(".m2ts") != std::string::npos;
  EXPECT_EQ(measured.packet_bytes, m2ts ? 192 : 188);
  EXPECT_EQ(measured.pcr_pid, e.pcr_pid);
  EXPECT_EQ(clock_count(measured.first_pcr), e.first_pcr);
  EXPECT_EQ(measured.video.pid, e.video_pid);
  EXPECT_EQ(measured.video.stream_type, c.needs[0]);
  EXPECT_TRUE(measured.video.start_pts.has_value());
  EXPECT_EQ(clock_count(measured.video.start_pts), e.video_start_pts);
  EXPECT_EQ(measured.audio.pid, e.audio_pid);
  EXPECT_EQ(measured.audio.start_pts.has_value(), e.has_audio);
  if (e.has_audio) {
    EXPECT_EQ(clock_count(measured.audio.start_pts), e.audio_pts);
  }
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

INSTANTIATE_TEST_SUITE_P(
    Streams, RealStreamTest,
    ::testing::Values(DelayCase{"plain", -733, -733, -733},
                      DelayCase{"offset", -1033, -1033, -1033},
                      DelayCase{"midcut", -1400, -1467, -727},
                      DelayCase{"audiocut", -1000, -1067, -578},
                      DelayCase{"noaudio", -733, -733, -733}, DelayCase{"wrap", -733, -733, -633},
                      // 192-byte packets, MPEG-2 and ADTS-AAC
                      DelayCase{"mpeg2_aac.m2ts", -733, -733, -733, {kMpeg2Video, kAdtsAac}},
                      DelayCase{"mpeg2_aac_cut.m2ts", -966, -1033, -733, {kMpeg2Video, kAdtsAac}},
                      // Other codecs
                      DelayCase{"mpeg2_mp2.ts", -733, -733, -733, {kMpeg2Video, kMpegAudio}},
                      DelayCase{"h264_ac3.ts", -766, -766, -561, {kH264, kAc3}},
                      DelayCase{"h264_ac3_cut.ts", -1100, -1100, -565, {kH264, kAc3}},
                      DelayCase{"hevc_eac3.ts", -766, -766, -766, {kHevc, kEac3}},
                      DelayCase{"h264_latm.ts", -766, -766, -745, {kH264, kLatmAac}},
                      DelayCase{"h264_ac3.m2ts", -766, -766, -766, {kH264, kAc3}},
                      DelayCase{"h264_aac.m2ts", -766, -766, -766, {kH264, kAdtsAac}}),
    [](const auto& test_info) {
      std::string name = test_info.param.stream;
      for (char& ch : name) {
        if (ch == '.') ch = '_';
      }
      return name;
    });

}  // namespace
}  // namespace mendra
