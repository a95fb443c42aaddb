#include "ts/audio_scan.h"

#include "support/es_scan_fixture.h"

namespace mendra::test {
namespace {

constexpr std::uint16_t kAudioPid = 0x112;

class AudioScanTest : public EsScanFixture<AudioScanState> {
 protected:
  std::vector<PacketScan> run_audio(const Bytes& bytes) {
    return run(bytes, kAudioPid, scan_audio_payload);
  }
};

TEST_F(AudioScanTest, HeaderAtPayloadStart) {
  settings_.log_debug = log_print;
  testing::internal::CaptureStderr();
  // The adaptation field of 7 bytes is passed over before the PES header.
  const auto results = run_audio(
      ts_packet(kAudioPid, true, pcr_adaptation(1), pes_header(0xC0, 90000) + adts_header()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\t\t check:  packet_length:000000,  mpeg:2,  header_length:5\n"
            "\t\t flag: 2,  pts: 90000 [1000ms]\n"
            "\t\t -- ADTS-AAC Header --\n"
            "\t\t  set Start Audio PTS\n");
  EXPECT_EQ(results, std::vector<PacketScan>{kFound});
  EXPECT_EQ(result_.start_pts, 90000);
  EXPECT_FALSE(state_.scan_pending);
}

// ID 0, profile 0 and profile 2 are not taken; the search stays pending.
TEST_F(AudioScanTest, OtherIdOrProfileIsNotTaken) {
  for (const auto& [id, profile] : {std::pair{0, 1}, std::pair{1, 0}, std::pair{1, 2}}) {
    SCOPED_TRACE(testing::Message() << "id " << id << " profile " << profile);
    run_audio(ts_packet(kAudioPid, true, std::nullopt,
                        pes_header(0xC0, 90000) + adts_header(id, profile)));
    EXPECT_EQ(result_.start_pts, 0);
    EXPECT_TRUE(state_.scan_pending);
    EXPECT_EQ(state_.pending_pts, 90000);
    stream_.close();
  }
}

// The pass through the stream-type table counts as passed through only the
// continuation met before any PES start of the PID.
TEST_F(AudioScanTest, ContinuationWithoutPendingSearchAndMissingStartCode) {
  const auto results = run_audio(ts_packet(kAudioPid, false, std::nullopt, adts_header()) +
                                 ts_packet(kAudioPid, true, std::nullopt, Bytes(20, 0x00)) +
                                 ts_packet(kAudioPid, false, std::nullopt, adts_header()));
  EXPECT_EQ(results, (std::vector<PacketScan>{kPassed, kSearched, kPassed}));
  EXPECT_EQ(result_.start_pts, 0);
  const EsScanner* scanner = find_es_scanner(0x0F);
  ASSERT_NE(scanner, nullptr);
  EXPECT_EQ(scanner->role, EsRole::Audio);
  PacketCursor cursor{stream_};
  EsPassResult pass;
  scanner->run_pass(cursor, kAudioPid, pass, settings_);
  EXPECT_EQ(pass.through_count, 1);
  EXPECT_EQ(pass.start_pts, 0);
}

// Boundary 1: start packet | continuation, 2: continuation | continuation;
// then how many of the three tested header bytes lie before the boundary.
class SplitAdtsTest : public AudioScanTest,
                      public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(SplitAdtsTest, FoundOnceWithThePesPts) {
  const auto [boundary, before] = GetParam();
  const Bytes adts = adts_header();
  const Bytes first_part(adts.begin(), adts.begin() + before);
  const Bytes rest = Bytes(adts.begin() + before, adts.end()) + Bytes(10, 0x11);
  const Bytes head = pes_header(0xC0, 180000);
  Bytes stream;
  if (boundary == 1) {
    stream = ts_packet_fitted(
        kAudioPid, true, head + Bytes(184 - head.size() - first_part.size(), 0x11) + first_part);
  } else {
    stream = ts_packet_fitted(kAudioPid, true, head + Bytes(184 - head.size(), 0x11)) +
             ts_packet_fitted(kAudioPid, false, Bytes(184 - first_part.size(), 0x11) + first_part);
  }
  settings_.log_debug = log_print;
  testing::internal::CaptureStderr();
  run_audio(stream + ts_packet(0x300, false, std::nullopt, Bytes(184, 0xFF)) +
            ts_packet_fitted(kAudioPid, false, rest) + ts_packet_fitted(kAudioPid, false, adts));
  const std::string trace = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result_.start_pts, 180000);
  EXPECT_EQ(trace.find("ADTS-AAC"), trace.rfind("ADTS-AAC")) << "found more than once";
}

INSTANTIATE_TEST_SUITE_P(Offsets, SplitAdtsTest,
                         ::testing::Combine(::testing::Values(1, 2), ::testing::Range(0, 4)));

}  // namespace
}  // namespace mendra::test
