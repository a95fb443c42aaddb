#include "ts/ts_delay.h"

#include "support/ts_fixture.h"
#include "util/input_file.h"

namespace mendra::test {
namespace {

constexpr std::uint16_t kPmtPid = 0x1F0, kPcrPid = 0x100, kVideoPid = 0x111, kAudioPid = 0x112;

TEST(ClockDelayTest, WrapThresholdAndTruncation) {
  struct Case {
    std::int64_t pts, pcr;
    int delay_ms;
  };
  for (const Case& c :
       {Case{990000, 900000, -1000}, Case{895000, 900000, 55}, Case{894999, 900000, -95443662},
        Case{45000, 8589900000, -884}, Case{900091, 900000, -1}, Case{0, 900000, -95433717},
        Case{8589934591, 0, -95443717}}) {
    EXPECT_EQ(clock_delay_ms(Ticks90k{c.pts}, Ticks90k{c.pcr}), c.delay_ms)
        << c.pts << " " << c.pcr;
  }
}

struct StreamLayout {
  bool with_video = true;
  int video_type = 0x02;
  bool with_audio = true;
  bool with_pcr = true;
  std::int64_t pcr = 900000;
  bool stuffing_before_pcr = false;
  bool second_program = false;
  // The audio stream: its PMT entry and the frame its PES begins with.
  int audio_type = 0x0F;
  Bytes audio_es_info = {};
  int audio_stream_id = 0xC0;
  Bytes audio_frame = adts_header();
};

// PAT, PMT, PCR, an I picture (temporal_reference 2), a B picture with
// temporal_reference 0, an AAC frame: dgindex -1000, mpg2vfp -900, audio -980.
Bytes program_stream(const StreamLayout& s) {
  std::vector<std::pair<int, int>> programs = {{0, 0x10}, {1, kPmtPid}};
  if (s.second_program) programs.push_back({2, 0x1F1});
  std::vector<PmtStream> streams;
  if (s.with_video) streams.push_back({s.video_type, kVideoPid, {}});
  if (s.with_audio) streams.push_back({s.audio_type, kAudioPid, s.audio_es_info});
  Bytes b = ts_packet(0, true, std::nullopt, pat_section(programs)) +
            ts_packet(kPmtPid, true, std::nullopt, pmt_section(kPcrPid, {}, streams));
  if (s.second_program) {
    b = b + ts_packet(0x1F1, true, std::nullopt, pmt_section(0x101, {}, {{0x02, 0x121, {}}}));
    b = b + ts_packet(0x101, false, pcr_adaptation(1800000), {});
    b = b + ts_packet(0x121, true, std::nullopt,
                      pes_header(0xE0, 1890000) + sequence_header(720, 480, 2, 4) + gop_header() +
                          picture_header(0, 1));
  }
  if (s.stuffing_before_pcr)
    b = b + ts_packet(kPcrPid, false, pcr_adaptation(0x1FFFFFFFF, false), {});
  if (s.with_pcr) b = b + ts_packet(kPcrPid, false, pcr_adaptation(s.pcr), {});
  b = b + ts_packet(kVideoPid, true, std::nullopt,
                    pes_header(0xE0, 981000, 972000) + sequence_header(1440, 1080, 3, 4) +
                        gop_header() + picture_header(2, 1));
  b = b + ts_packet(kVideoPid, true, std::nullopt, pes_header(0xE0, 990000) + picture_header(0, 3));
  b = b + ts_packet(kAudioPid, true, std::nullopt,
                    pes_header(s.audio_stream_id, 988200) + s.audio_frame);
  return b;
}

struct MeasureCase {
  const char* name;
  StreamLayout stream;
  DelayMode mode;
  std::uint16_t pmt_pid;
  bool result;
  int delay_ms;                  // the mode's delay
  const char* message;           // expected in the output
  const char* absent = nullptr;  // not expected in the output
  const char* also = nullptr;    // expected in the output as well
};

class MeasureTest : public TsFixture, public ::testing::WithParamInterface<MeasureCase> {};

TEST_P(MeasureTest, GivesTheModesDelay) {
  const MeasureCase& c = GetParam();
  ASSERT_TRUE(write_file(path("rec.ts"), as_chars(program_stream(c.stream))));
  rule_.pmt_pid = c.pmt_pid;
  TsMeasurement measured;
  measured.delays = TsDelays{7, 7, 7};
  testing::internal::CaptureStderr();
  EXPECT_EQ(measure_ts_delay(path("rec.ts"), rule_, c.mode, log_, measured), c.result);
  const std::string output = testing::internal::GetCapturedStderr();
  EXPECT_EQ(delay_for_mode(measured.delays, c.mode), c.delay_ms);
  EXPECT_NE(output.find(c.message), std::string::npos) << output;
  if (c.absent != nullptr) {
    EXPECT_EQ(output.find(c.absent), std::string::npos) << output;
  }
  if (c.also != nullptr) {
    EXPECT_NE(output.find(c.also), std::string::npos) << output;
  }
}

constexpr const char* kDelays =
    "\tTS read delay\n\t -- dgindex : -1000 msec\n\t -- mpg2vfp : -900 msec\n\t -- tmpgenc : -980 "
    "msec\n\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, MeasureTest,
    ::testing::Values(
        MeasureCase{"Dgindex", {}, DelayMode::Dgindex, 0, true, -1000, kDelays},
        MeasureCase{"Mpg2vfp", {}, DelayMode::Mpg2vfp, 0, true, -900, kDelays},
        MeasureCase{"Tmpgenc", {}, DelayMode::Tmpgenc, 0, true, -980, kDelays},
        MeasureCase{"ModeBeyondTwoUsesNone", {}, static_cast<DelayMode>(5), 0, true, 0, kDelays},
        MeasureCase{"ModeNoneUsesNone", {}, DelayMode::None, 0, true, 0, kDelays},
        MeasureCase{"TmpgencWithoutAudio",
                    {.with_audio = false},
                    DelayMode::Tmpgenc,
                    0,
                    true,
                    -1000,
                    "\t -- tmpgenc : -1000 msec\n"},
        // Other audio formats give the same audio delay of -980.
        MeasureCase{"TmpgencAdtsId0",
                    {.audio_frame = adts_frame_header({})},
                    DelayMode::Tmpgenc,
                    0,
                    true,
                    -980,
                    kDelays},
        MeasureCase{"TmpgencMpegAudio",
                    {.audio_type = 0x04, .audio_frame = mpeg_audio_header({})},
                    DelayMode::Tmpgenc,
                    0,
                    true,
                    -980,
                    kDelays},
        MeasureCase{"TmpgencAc3",
                    {.audio_type = 0x81, .audio_stream_id = 0xBD, .audio_frame = ac3_header({})},
                    DelayMode::Tmpgenc,
                    0,
                    true,
                    -980,
                    kDelays},
        MeasureCase{"TmpgencPrivateEac3",
                    {.audio_type = 0x06,
                     .audio_es_info = descriptor(0x7A, {0x00}),
                     .audio_stream_id = 0xBD,
                     .audio_frame = eac3_header({})},
                    DelayMode::Tmpgenc,
                    0,
                    true,
                    -980,
                    kDelays},
        // Private data without a descriptor: probed, and measured with the
        // scanner whose header its payload holds.
        MeasureCase{"TmpgencProbedAdts",
                    {.audio_type = 0x06, .audio_frame = adts_frame_header({})},
                    DelayMode::Tmpgenc,
                    0,
                    true,
                    -980,
                    kDelays},
        MeasureCase{"TmpgencProbedAc3",
                    {.audio_type = 0x06, .audio_stream_id = 0xBD, .audio_frame = ac3_header({})},
                    DelayMode::Tmpgenc,
                    0,
                    true,
                    -980,
                    kDelays},
        MeasureCase{"TmpgencLatm",
                    {.audio_type = 0x11, .audio_frame = latm_header()},
                    DelayMode::Tmpgenc,
                    0,
                    true,
                    -980,
                    kDelays},
        // Without an audio start -mt says where its delay comes from.
        MeasureCase{"TmpgencFallbackWithoutAudio",
                    {.with_audio = false},
                    DelayMode::Tmpgenc,
                    0,
                    true,
                    -1000,
                    "\t -- tmpgenc : -1000 msec\n\n"
                    "\t -- tmpgenc : no measurable audio stream, using the video start\n",
                    "cannot be measured"},
        // A private-data stream whose payload holds no audio frame header
        // (teletext, say) is probed in vain and named.
        MeasureCase{
            "TmpgencFallbackNamesTypes",
            {.audio_type = 0x06, .audio_stream_id = 0xBD, .audio_frame = {0x10, 0x02, 0x2C}},
            DelayMode::Tmpgenc,
            0,
            true,
            -1000,
            "msec\n\n\t -- tmpgenc : no measurable audio stream, using the video start\n"
            "\tstream types that cannot be measured: 0x06\n"},
        MeasureCase{"TmpgencFallbackWithoutFrame",
                    {.audio_type = 0x81},
                    DelayMode::Tmpgenc,
                    0,
                    true,
                    -1000,
                    "msec\n\n\t -- tmpgenc : no audio frame found, using the video start\n"},
        MeasureCase{"DgindexWithoutAudioSaysNothingMore",
                    {.with_audio = false},
                    DelayMode::Dgindex,
                    0,
                    true,
                    -1000,
                    "\t -- tmpgenc : -1000 msec\n\n",
                    "using the video start"},
        // Near the wrap of the clock a PTS of 0 would give -384, closer to
        // zero than the video's delay: without audio the video's is kept.
        MeasureCase{"TmpgencWithoutAudioNearClockWrap",
                    {.with_audio = false, .pcr = 8589900000},
                    DelayMode::Tmpgenc,
                    0,
                    true,
                    -11384,
                    "\t -- tmpgenc : -11384 msec\n"},
        MeasureCase{"NoVideoInPmt",
                    {.with_video = false},
                    DelayMode::Dgindex,
                    0,
                    false,
                    0,
                    "\nnot found PID!!  pcr_pid:0x 100, video_pid:0x   0, audio_pid:0x 112 \n",
                    nullptr,
                    "rec.ts: no video stream that can be measured\n"},
        // A video type no scanner reads is named, so the user learns why.
        MeasureCase{"UnmeasuredVideoTypeNamed",
                    {.video_type = 0xEA},
                    DelayMode::Dgindex,
                    0,
                    false,
                    0,
                    "video_pid:0x   0, audio_pid:0x 112 \n\t",
                    nullptr,
                    "rec.ts: no video stream that can be measured\n\tstream types that cannot be "
                    "measured: 0xEA\n"},
        // The stream is named with what it lacks.
        MeasureCase{"NoPcr",
                    {.with_pcr = false},
                    DelayMode::Dgindex,
                    0,
                    false,
                    0,
                    "\nnot found PID!!",
                    nullptr,
                    "rec.ts: no PCR on PID 0x0100\n"},
        // A clock of 0 is a clock value like any other, not a PCR missing:
        // (0 - 990000) / 90.
        MeasureCase{"PcrOfZero",
                    {.pcr = 0},
                    DelayMode::Dgindex,
                    0,
                    true,
                    -11000,
                    "\t -- dgindex : -11000 msec\n"},
        MeasureCase{"PmtPidGivenAbsent",
                    {},
                    DelayMode::Dgindex,
                    0x1234,
                    false,
                    0,
                    "\nnot found PID!!  pcr_pid:0x   0, video_pid:0x   0, audio_pid:0x   0 \n\t",
                    nullptr,
                    "rec.ts: no PMT on PID 0x1234\n"},
        // Stuffing adaptation fields without PCR_flag are not taken as the clock.
        MeasureCase{"StuffingBeforePcr",
                    {.stuffing_before_pcr = true},
                    DelayMode::Dgindex,
                    0,
                    true,
                    -1000,
                    kDelays},
        MeasureCase{"FirstProgramOfSeveral",
                    {.second_program = true},
                    DelayMode::Dgindex,
                    0,
                    true,
                    -1000,
                    kDelays},
        MeasureCase{"PmtPidGiven",
                    {.second_program = true},
                    DelayMode::Dgindex,
                    0x1F1,
                    true,
                    -1000,
                    "\t -- dgindex : -1000 msec\n\t -- mpg2vfp : -1000 msec\n"}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

// The whole -debug output of the three passes, the summary and the delays.
TEST_F(MeasureTest, DebugTraceOfAllPasses) {
  const Bytes stream =
      ts_packet(0, true, std::nullopt, pat_section({{1, kPmtPid}})) +
      ts_packet(kPmtPid, true, std::nullopt,
                pmt_section(kPcrPid, {}, {{0x02, kVideoPid, {}}, {0x0F, kAudioPid, {}}})) +
      ts_packet(kPcrPid, false, pcr_adaptation(900000), {}) +
      ts_packet(kVideoPid, false, std::nullopt, {1, 2, 3}) +
      ts_packet(kVideoPid, true, std::nullopt,
                pes_header(0xE0, 990000) + sequence_header(1440, 1080, 3, 4) + gop_header() +
                    picture_header(0, 1)) +
      ts_packet(kAudioPid, true, std::nullopt, pes_header(0xC0, 988200) + adts_header());
  ASSERT_TRUE(write_file(path("rec.ts"), as_chars(stream)));
  log_.level = LogLevel::Debug;
  testing::internal::CaptureStderr();
  TsMeasurement measured;
  EXPECT_TRUE(measure_ts_delay(path("rec.ts"), rule_, DelayMode::None, log_, measured));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n   ==== TS parse ====\n"
            "\n\t==== step1: PAT/PMT/PCR ====\n"
            "\n\t Parse PAT\n"
            "\t\tpacket len:  180    section len:   13\n"
            "\t\tprg_id:     1,  pid:0x01F0,  left:   4\n"
            "\t\tcrc32: 61 41 A3 74\n"
            "\t PAT listup:1\n"
            "\n\t Parse PMT  : 0x01F0\n"
            "\t\tpacket len:  180    section len:   23\n"
            "\t\tPCR: 0x0100\n"
            "\t\tprg_info_len:    0\n"
            "\t\t 0x0111:     0,  left:    9,  es_type:0x02\n"
            "\t\t 0x0112:     0,  left:    4,  es_type:0x0F\n"
            "\t\tcrc32: 7E CD C1 28\n"
            "\t PMT listup:2\n"
            "\n\t Calc PCR   0x0100\n"
            "\t\t pcr: 900000 [10000ms]\n"
            "\t\t  set Start PCR\n"
            "\n\t end PAT/PMT/PCR check\n"
            "\n"
            "\n\t==== step2: Video PID - PTS ====\n"
            "\n\t Parse PES  : 0x0111\n"
            "\t\t check:  packet_length:000000,  mpeg:2,  header_length:5\n"
            "\t\t flag: 2,  pts: 990000 [11000ms]\n"
            "\t\t -- Sequence Header --\n"
            "\t\t frame_size: 1440x1080\n"
            "\t\t aspect_ratio: 16:9\n"
            "\t\t frame_rate: 29.970030\n"
            "\t\t -- GOP start Code --\n"
            "\t\t -- Picture Header --\n"
            "\t\t picture_coding_type: 1 [I], temporal_reference: 0\n"
            "\t\t  set Start Video PTS I-Frame\n"
            "\t\t  set Start Video PTS\n"
            "\n\t end Video PTS check\n"
            "\n"
            "\n\t==== step3: Audio PID - PTS ====\n"
            "\n\t Parse PES  : 0x0112\n"
            "\t\t check:  packet_length:000000,  mpeg:2,  header_length:5\n"
            "\t\t flag: 2,  pts: 988200 [10980ms]\n"
            "\t\t -- ADTS-AAC Header --\n"
            "\t\t  set Start Audio PTS\n"
            "\n\t end Audio PTS check\n"
            "\n"
            "\n"
            "\t==== TS Parse info ====\n"
            "\t -- Start PCR: 900000 [10000ms]\n"
            "\t -- Start Video PTS: 990000 [11000ms]\n"
            "\t -- Start Video PTS I-Frame: 990000 [11000ms]\n"
            "\t -- check  Frame Count: 1\n"
            "\t -- through Vpid Count: 1\n"
            "\t -- Start Audio PTS: 988200 [10980ms]\n"
            "\t -- through Apid Count: 0\n"
            "\n"
            "\tTS read delay\n"
            "\t -- dgindex : -1000 msec\n"
            "\t -- mpg2vfp : -1000 msec\n"
            "\t -- tmpgenc : -980 msec\n"
            "\n");
}

TEST_F(MeasureTest, MissingStreamFile) {
  testing::internal::CaptureStderr();
  TsMeasurement measured;
  measured.delays = TsDelays{7, 7, 7};
  EXPECT_FALSE(measure_ts_delay(path("absent.ts"), rule_, DelayMode::None, log_, measured));
  EXPECT_EQ(measured.delays.dgindex_ms, 0);
  // Once, with the full path and the system's reason.
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "not exist TS file...\n\t" +
                                                        absolute_path(path("absent.ts")) +
                                                        ": No such file or directory\n");
}

// Bytes that are no transport stream: the stream is named, with what the
// first pass could not find.
TEST_F(MeasureTest, NotATransportStream) {
  ASSERT_TRUE(write_file(path("text.ts"), "Dialogue: 0,0:00:01.00,0:00:02.00\n"));
  testing::internal::CaptureStderr();
  TsMeasurement measured;
  EXPECT_FALSE(measure_ts_delay(path("text.ts"), rule_, DelayMode::Dgindex, log_, measured));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\nnot found PID!!  pcr_pid:0x   0, video_pid:0x   0, audio_pid:0x   0 \n\t" +
                absolute_path(path("text.ts")) + ": no PAT naming a programme\n");
}

// Cut anywhere (mid-packet, mid-section, mid-PES header): the analysis ends
// quietly, fails while the PCR is incomplete and stores the delay once the
// start picture's packet is whole.
TEST_F(MeasureTest, TruncatedAnywhere) {
  const Bytes full = program_stream({});
  const std::size_t pcr_end = 2 * 188 + 4 + 1 + 7;  // header, length byte, PCR field
  log_.sink = nullptr;
  for (std::size_t cut = 0; cut <= full.size(); ++cut) {
    ASSERT_TRUE(write_file(path("cut.ts"), as_chars(Bytes(full.begin(), full.begin() + cut))));
    TsMeasurement measured;
    const TsDelays& delays = measured.delays;
    ASSERT_EQ(measure_ts_delay(path("cut.ts"), rule_, DelayMode::None, log_, measured),
              cut >= pcr_end)
        << "cut at " << cut;
    if (cut >= 5 * 188) {
      EXPECT_EQ(delays.dgindex_ms, -1000) << "cut at " << cut;
    } else if (cut < 4 * 188) {
      EXPECT_EQ(delays.dgindex_ms, 0) << "cut at " << cut;
    }
  }
}

}  // namespace
}  // namespace mendra::test
