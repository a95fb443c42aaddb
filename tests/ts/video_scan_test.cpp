#include "ts/video_scan.h"

#include "support/es_scan_fixture.h"

namespace mendra::test {
namespace {

constexpr std::uint16_t kVideoPid = 0x111;
constexpr int kI = 1, kP = 2, kB = 3;

class VideoScanTest : public EsScanFixture<VideoScanState> {
 protected:
  std::vector<PacketScan> run_video(const Bytes& bytes) {
    return run(bytes, kVideoPid, scan_video_payload);
  }
};

TEST_F(VideoScanTest, StartPacketWithSequenceGopAndPicture) {
  log_.level = LogLevel::Debug;
  testing::internal::CaptureStderr();
  const auto results =
      run_video(ts_packet(kVideoPid, true, std::nullopt,
                          pes_header(0xE0, 90000) + sequence_header(1440, 1080, 3, 4) +
                              gop_header() + picture_header(0, kI)));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\t\t check:  packet_length:000000,  mpeg:2,  header_length:5\n"
            "\t\t flag: 2,  pts: 90000 [1000ms]\n"
            "\t\t -- Sequence Header --\n"
            "\t\t frame_size: 1440x1080\n"
            "\t\t aspect_ratio: 16:9\n"
            "\t\t frame_rate: 29.970030\n"
            "\t\t -- GOP start Code --\n"
            "\t\t -- Picture Header --\n"
            "\t\t picture_coding_type: 1 [I], temporal_reference: 0\n"
            "\t\t  set Start Video PTS I-Frame\n"
            "\t\t  set Start Video PTS\n");
  EXPECT_EQ(results, std::vector<PacketScan>{kFound});
  EXPECT_EQ(state_.gop_count, 0);
  EXPECT_EQ(clock_count(result_.start_pts), 90000);
  EXPECT_EQ(clock_count(result_.key_pts), 90000);
}

// A start packet whose payload ends two bytes behind a sequence header's
// start code: its frame size is not traced from bytes an earlier packet
// left behind, only the header is named.
TEST_F(VideoScanTest, ShortSequenceHeaderTracesNoFieldsItLacks) {
  const Bytes full = pes_header(0xE0, 100) + sequence_header(1920, 1080, 3, 4) + Bytes(8, 0xAA);
  const Bytes sequence = sequence_header(720, 480, 2, 4);
  const Bytes cut = pes_header(0xE0, 200) + Bytes(sequence.begin(), sequence.begin() + 6);
  log_.level = LogLevel::Debug;
  testing::internal::CaptureStderr();
  const auto results =
      run_video(ts_packet_fitted(kVideoPid, true, full) + ts_packet_fitted(kVideoPid, true, cut));
  const std::string trace = testing::internal::GetCapturedStderr();
  EXPECT_EQ(results, (std::vector<PacketScan>{kSearched, kSearched}));
  const auto second = trace.rfind("\t\t -- Sequence Header --\n");
  ASSERT_NE(second, trace.find("\t\t -- Sequence Header --\n")) << trace;
  EXPECT_EQ(trace.find("frame_size", second), std::string::npos) << trace;
  EXPECT_EQ(trace.find("frame_size: 1920x1080"), trace.rfind("frame_size")) << trace;
  EXPECT_TRUE(state_.scan_pending);
}

// Boundary 1: start packet | continuation, 2: continuation | continuation;
// then how many bytes of the picture header lie before the boundary.
class SplitPictureTest : public VideoScanTest,
                         public ::testing::WithParamInterface<std::tuple<int, int>> {};

// The picture start code with its two header bytes is moved across a packet
// boundary byte by byte: found once, decoded from its own bytes.
TEST_P(SplitPictureTest, FoundOnceWithPendingPts) {
  const auto [boundary, before] = GetParam();
  const Bytes picture = picture_header(0, kI);
  const Bytes head = pes_header(0xE0, 450000) + sequence_header(720, 480, 2, 4) + gop_header();
  const Bytes first_part(picture.begin(), picture.begin() + before);
  const Bytes rest = Bytes(picture.begin() + before, picture.end()) + Bytes(30, 0xAA);
  Bytes stream;
  if (boundary == 1) {
    stream = ts_packet_fitted(
        kVideoPid, true, head + Bytes(184 - head.size() - first_part.size(), 0xAA) + first_part);
  } else {
    stream = ts_packet_fitted(kVideoPid, true, head + Bytes(184 - head.size(), 0xAA)) +
             ts_packet_fitted(kVideoPid, false, Bytes(184 - first_part.size(), 0xAA) + first_part);
  }
  stream = stream + ts_packet(0x222, false, std::nullopt, Bytes(184, 0x00)) +
           ts_packet_fitted(kVideoPid, false, rest) + ts_packet_fitted(kVideoPid, false, picture);
  const auto results = run_video(stream);
  EXPECT_EQ(found(results), 1);
  EXPECT_EQ(clock_count(result_.key_pts), 450000);
  EXPECT_EQ(clock_count(result_.start_pts), 450000);
  EXPECT_EQ(state_.gop_count, 0);
}

INSTANTIATE_TEST_SUITE_P(Offsets, SplitPictureTest,
                         ::testing::Combine(::testing::Values(1, 2), ::testing::Range(0, 9)));

// The PES header leaves only the first 4 or 5 bytes of the PES's leading
// start code in the start packet: the header is completed by the next
// packet, and the picture is decoded from its own bytes, not from what an
// earlier packet left in the buffer.
class ShortStartPayloadTest : public VideoScanTest,
                              public ::testing::WithParamInterface<std::tuple<bool, int>> {};

TEST_P(ShortStartPayloadTest, HeaderCompletedByNextPacket) {
  const auto [with_sequence, held] = GetParam();
  const Bytes es = with_sequence ? sequence_header(720, 480, 2, 4) + gop_header() +
                                       picture_header(0, kI) + Bytes(20, 0xAA)
                                 : picture_header(0, kI) + Bytes(20, 0xAA);
  const auto split = es.begin() + held;
  const auto results = run_video(
      ts_packet_fitted(kVideoPid, true, pes_header(0xE0, 450000) + Bytes(es.begin(), split)) +
      ts_packet_fitted(kVideoPid, false, Bytes(split, es.end())));
  EXPECT_EQ(results, (std::vector<PacketScan>{kSearched, kFound}));
  EXPECT_EQ(clock_count(result_.key_pts), 450000);
  EXPECT_EQ(clock_count(result_.start_pts), 450000);
  EXPECT_EQ(state_.gop_count, with_sequence ? 0 : -1);
}

INSTANTIATE_TEST_SUITE_P(HeldBytes, ShortStartPayloadTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(4, 5)));

struct Picture {
  int type, temporal_reference;
  std::int64_t pts;
  int gops = 0;
  bool sequence = true;
};

// One start packet per picture.
Bytes picture_stream(const std::vector<Picture>& pictures) {
  Bytes stream;
  for (const Picture& p : pictures) {
    Bytes es = pes_header(0xE0, p.pts);
    if (p.sequence) es = es + sequence_header(1920, 1080, 3, 4);
    for (int g = 0; g < p.gops; ++g) es = es + gop_header();
    stream = stream + ts_packet(kVideoPid, true, std::nullopt,
                                es + picture_header(p.temporal_reference, p.type));
  }
  return stream;
}

// A sequence-header PES whose picture never came (its continuation packet
// was lost) leaves its search pending into the next PES. That PES's own
// leading header, already handled in its start packet, is not met again in
// its continuation: no second decode with the older PES's time stamp, no
// extra GOP.
TEST_F(VideoScanTest, PendingSearchDoesNotMeetTheNextPesLeadingHeaderAgain) {
  rule_.gop_offset = 1;
  const Bytes lost_picture = ts_packet_fitted(
      kVideoPid, true, pes_header(0xE0, 200) + sequence_header(720, 480, 2, 4) + Bytes(8, 0xAA));
  const Bytes continuation = ts_packet_fitted(kVideoPid, false, Bytes{0x01} + Bytes(100, 0xAA));
  const auto results =
      run_video(picture_stream({{kI, 2, 100, 1}}) + lost_picture +
                ts_packet_fitted(kVideoPid, true,
                                 pes_header(0xE0, 400) + gop_header() + picture_header(0, kI)) +
                continuation + lost_picture +
                ts_packet_fitted(kVideoPid, true, pes_header(0xE0, 300) + picture_header(1, kB)) +
                continuation);
  EXPECT_EQ(results, (std::vector<PacketScan>{kFound, kSearched, kSearched, kSearched, kSearched,
                                              kFound, kSearched}));
  EXPECT_EQ(clock_count(result_.key_pts), 100);
  EXPECT_EQ(clock_count(result_.start_pts), kNotFound);
  EXPECT_EQ(state_.gop_count, 0);
}

struct RuleCase {
  const char* name;
  std::vector<Picture> pictures;
  int gop_offset;
  std::int64_t d2v_start_bytes;
  std::int64_t iframe_pts, video_pts;
};

class RecordingRuleTest : public VideoScanTest, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(RecordingRuleTest, RecordsStartPictures) {
  const RuleCase& c = GetParam();
  rule_.gop_offset = c.gop_offset;
  rule_.d2v_start_bytes = c.d2v_start_bytes;
  run_video(picture_stream(c.pictures));
  EXPECT_EQ(clock_count(result_.key_pts), c.iframe_pts);
  EXPECT_EQ(clock_count(result_.start_pts), c.video_pts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordingRuleTest,
    ::testing::Values(
        RuleCase{"BBeforeFirstI", {{kB, 0, 100, 1}, {kI, 2, 200}, {kB, 0, 300}}, -1, 0, 200, 300},
        RuleCase{"IFirst", {{kI, 0, 100, 1}, {kB, 0, 300}}, -1, 0, 100, 100},
        RuleCase{"GopOffset2",
                 {{kI, 0, 100, 1}, {kI, 0, 200, 1}, {kI, 0, 300, 1}, {kI, 0, 400, 1}},
                 2,
                 0,
                 100,
                 300},
        RuleCase{"GopOffset0NeedsAGop", {{kI, 0, 100}, {kP, 0, 200, 1}}, 0, 0, 100, 200},
        RuleCase{"D2vStartThirdPacket",
                 {{kI, 0, 100}, {kP, 0, 200}, {kB, 0, 300}, {kB, 0, 400}},
                 -1,
                 376,
                 100,
                 300},
        RuleCase{
            "D2vStartBeyond2GiB", {{kI, 0, 100}, {kP, 0, 200}}, -1, 3000000000, 100, kNotFound},
        RuleCase{
            "GopHeadedPesIsNotSearched", {{kI, 0, 100, 1, false}}, -1, 0, kNotFound, kNotFound},
        RuleCase{"PictureHeadedPesIsDecoded", {{kI, 0, 100, 0, false}}, -1, 0, 100, 100}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

TEST_F(VideoScanTest, PictureTypeLettersAndContinuationBeforeStart) {
  log_.level = LogLevel::Debug;
  testing::internal::CaptureStderr();
  const auto results = run_video(ts_packet(kVideoPid, false, std::nullopt, picture_header(0, kI)) +
                                 picture_stream({{5, 3, 100, 0, false}, {4, 1, 200, 0, false}}));
  const std::string trace = testing::internal::GetCapturedStderr();
  EXPECT_EQ(results, (std::vector<PacketScan>{kPassed, kFound, kFound}));
  const char type5[] = "picture_coding_type: 5 [\0], temporal_reference: 3\n";
  EXPECT_NE(trace.find(std::string(type5, sizeof type5 - 1)), std::string::npos);
  EXPECT_NE(trace.find("picture_coding_type: 4 [-], temporal_reference: 1\n"), std::string::npos);
}

// Headers that claim more bytes than the packet holds: nothing is read into
// the payload buffer and the walk goes on with the next packet.
TEST_F(VideoScanTest, OversizedHeadersReadNothing) {
  Bytes big_adaptation =
      ts_packet(kVideoPid, true, std::nullopt, pes_header(0xE0, 100) + picture_header(0, kI));
  big_adaptation[3] = 0x30;  // adaptation field and payload
  big_adaptation[4] = 0xF0;  // adaptation_field_length beyond the packet
  Bytes big_pes = pes_header(0xE0, 100) + picture_header(0, kI);
  big_pes[8] = 250;  // PES_header_data_length beyond the packet
  const auto results = run_video(ts_packet(kVideoPid, true, std::nullopt, big_pes) +
                                 big_adaptation + picture_stream({{kI, 0, 900}}));
  EXPECT_EQ(results.back(), kFound);
  EXPECT_EQ(clock_count(result_.start_pts), 900);
}

}  // namespace
}  // namespace mendra::test
