// Private-data streams without a known descriptor: which one the probe
// measures, and what -debug says of each.
#include "ts/audio_probe.h"

#include <string>
#include <vector>

#include "support/ts_fixture.h"
#include "ts/ts_delay.h"

namespace mendra::test {
namespace {

constexpr std::uint16_t kPmtPid = 0x1F0, kPcrPid = 0x100, kVideoPid = 0x111;

// One audio entry of the PMT and the first bytes of each of its PES.
struct AudioEntry {
  int stream_type;
  std::uint16_t pid;
  Bytes es_info;
  int stream_id;
  std::vector<Bytes> frames;  // one PES per frame, PTS 988200 + 90 * pid (a PID's own delay)
};

struct ProbeCase {
  const char* name;
  std::vector<AudioEntry> audio;
  std::uint16_t measured_pid;  // 0: no audio measured
  std::uint8_t measured_type;
  std::vector<const char*> traces;  // expected in the -debug output
  const char* absent = nullptr;     // not expected in it
};

std::int64_t pts_of(std::uint16_t pid) {
  return 988200 + 90 * std::int64_t{pid & 0x0F};
}

Bytes probe_stream(const std::vector<AudioEntry>& audio) {
  std::vector<PmtStream> streams = {{0x02, kVideoPid, {}}};
  for (const AudioEntry& a : audio) streams.push_back({a.stream_type, a.pid, a.es_info});
  Bytes b = ts_packet(0, true, std::nullopt, pat_section({{1, kPmtPid}})) +
            ts_packet(kPmtPid, true, std::nullopt, pmt_section(kPcrPid, {}, streams)) +
            ts_packet(kPcrPid, false, pcr_adaptation(900000), {}) +
            ts_packet(kVideoPid, true, std::nullopt,
                      pes_header(0xE0, 990000) + sequence_header(720, 480, 2, 4) + gop_header() +
                          picture_header(0, 1));
  // The PES of every entry in turn, so that the later entries' frames come
  // after the earlier ones' in the stream.
  std::size_t most = 0;
  for (const AudioEntry& a : audio) most = std::max(most, a.frames.size());
  for (std::size_t i = 0; i < most; ++i) {
    for (const AudioEntry& a : audio) {
      if (i >= a.frames.size()) continue;
      b = b + ts_packet(a.pid, true, std::nullopt,
                        pes_header(a.stream_id, pts_of(a.pid)) + a.frames[i]);
    }
  }
  return b;
}

class AudioProbeTest : public TsFixture, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(AudioProbeTest, MeasuresTheStreamFound) {
  const ProbeCase& c = GetParam();
  ASSERT_TRUE(write_file(path("rec.ts"), as_chars(probe_stream(c.audio))));
  log_.level = LogLevel::Debug;
  TsMeasurement measured;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(measure_ts_delay(path("rec.ts"), rule_, DelayMode::Tmpgenc, log_, measured));
  const std::string output = testing::internal::GetCapturedStderr();
  EXPECT_EQ(measured.audio.pid, c.measured_pid);
  EXPECT_EQ(measured.audio.start_pts.has_value(), c.measured_pid != 0);
  if (c.measured_pid != 0) {
    EXPECT_EQ(measured.audio.stream_type, c.measured_type);
    EXPECT_EQ(clock_count(measured.audio.start_pts), pts_of(c.measured_pid));
  }
  for (const char* trace : c.traces) {
    EXPECT_NE(output.find(trace), std::string::npos) << output;
  }
  if (c.absent != nullptr) {
    EXPECT_EQ(output.find(c.absent), std::string::npos) << output;
  }
}

const Bytes kTeletext = {0x10, 0x02, 0x2C, 0x00};
const std::vector<Bytes> kNoSync(kProbePesCount + 1, kTeletext);

std::vector<Bytes> after_no_sync(int count, const Bytes& frame) {
  std::vector<Bytes> frames(static_cast<std::size_t>(count), kTeletext);
  frames.push_back(frame);
  return frames;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AudioProbeTest,
    ::testing::Values(
        ProbeCase{"Adts",
                  {{0x06, 0x131, {}, 0xC0, {adts_frame_header({})}}},
                  0x131,
                  0x06,
                  {"\t probe private data PID 0x0131: ADTS-AAC\n", "-- ADTS-AAC Header --"}},
        ProbeCase{"Ac3",
                  {{0x06, 0x132, {}, 0xBD, {ac3_header({})}}},
                  0x132,
                  0x06,
                  {"\t probe private data PID 0x0132: AC-3\n", "-- AC-3 Header --"}},
        // A header behind other bytes of the payload counts as well.
        ProbeCase{"Ac3BehindPadding",
                  {{0x06, 0x132, {}, 0xBD, {Bytes{0x00, 0x00} + ac3_header({})}}},
                  0x132,
                  0x06,
                  {"\t probe private data PID 0x0132: AC-3\n"}},
        // The header that lies first in the payload decides the format.
        ProbeCase{"EarliestHeaderWins",
                  {{0x06, 0x133, {}, 0xBD, {adts_frame_header({}) + ac3_header({})}}},
                  0x133,
                  0x06,
                  {"\t probe private data PID 0x0133: ADTS-AAC\n"}},
        ProbeCase{"NoHeaderNoAudio",
                  {{0x06, 0x134, {}, 0xBD, kNoSync}},
                  0,
                  0,
                  {"\t probe private data PID 0x0134: no audio frame header\n",
                   "no measurable audio stream, using the video start\n"}},
        // A header in a later PES than the probe searches is not looked for.
        ProbeCase{"HeaderBeyondTheProbedPes",
                  {{0x06, 0x135, {}, 0xBD, after_no_sync(kProbePesCount, ac3_header({}))}},
                  0,
                  0,
                  {"\t probe private data PID 0x0135: no audio frame header\n"}},
        ProbeCase{"HeaderInTheLastProbedPes",
                  {{0x06, 0x135, {}, 0xBD, after_no_sync(kProbePesCount - 1, ac3_header({}))}},
                  0x135,
                  0x06,
                  {"\t probe private data PID 0x0135: AC-3\n"}},
        // A candidate without a header leaves the audio to the next one.
        ProbeCase{"SecondCandidate",
                  {{0x06, 0x136, {}, 0xBD, kNoSync}, {0x06, 0x137, {}, 0xC0, {adts_header()}}},
                  0x137,
                  0x06,
                  {"\t probe private data PID 0x0136: no audio frame header\n",
                   "\t probe private data PID 0x0137: ADTS-AAC\n"}},
        // A stream of a known audio type wins: nothing is probed.
        ProbeCase{"KnownTypeWins",
                  {{0x06, 0x138, {}, 0xC0, {adts_frame_header({})}},
                   {0x81, 0x139, {}, 0xBD, {ac3_header({})}}},
                  0x139,
                  0x81,
                  {"-- AC-3 Header --"},
                  "probe"},
        // A known descriptor needs no probe.
        ProbeCase{"DescriptorNeedsNoProbe",
                  {{0x06, 0x13A, descriptor(0x6A, {0x00}), 0xBD, {ac3_header({})}}},
                  0x13A,
                  0x06,
                  {"-- AC-3 Header --"},
                  "probe"}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

}  // namespace
}  // namespace mendra::test
