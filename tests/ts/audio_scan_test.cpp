#include "ts/audio_scan.h"

#include <span>

#include "support/es_scan_fixture.h"
#include "ts/es_scanners.h"

namespace mendra::test {
namespace {

constexpr std::uint16_t kAudioPid = 0x112;

class AudioScanTest : public EsScanFixture<AudioScanState> {
 protected:
  std::vector<PacketScan> run_audio(const Bytes& bytes) {
    return run(bytes, kAudioPid, scan_audio_format<kAdtsSync>);
  }
};

TEST_F(AudioScanTest, HeaderAtPayloadStart) {
  log_.level = LogLevel::Debug;
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
  EXPECT_EQ(clock_count(result_.start_pts), 90000);
  EXPECT_FALSE(state_.scan_pending);
}

// Profiles other than low complexity are not taken under either ID; the
// search stays pending.
TEST_F(AudioScanTest, OtherProfileIsNotTaken) {
  for (const auto& [id, profile] :
       {std::pair{0, 0}, std::pair{0, 2}, std::pair{1, 0}, std::pair{1, 2}}) {
    SCOPED_TRACE(testing::Message() << "id " << id << " profile " << profile);
    run_audio(ts_packet(kAudioPid, true, std::nullopt,
                        pes_header(0xC0, 90000) + adts_header(id, profile)));
    EXPECT_EQ(clock_count(result_.start_pts), kNotFound);
    EXPECT_TRUE(state_.scan_pending);
    EXPECT_EQ(clock_count(state_.pending_pts), 90000);
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
  EXPECT_EQ(clock_count(result_.start_pts), kNotFound);
  const EsScanner* scanner = find_es_scanner(0x0F);
  ASSERT_NE(scanner, nullptr);
  EXPECT_EQ(scanner->role, EsRole::Audio);
  PacketCursor cursor{stream_};
  EsPassResult pass;
  scanner->run_pass(cursor, kAudioPid, pass, context_);
  EXPECT_EQ(pass.through_count, 1);
  EXPECT_EQ(clock_count(pass.start_pts), kNotFound);
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
  log_.level = LogLevel::Debug;
  testing::internal::CaptureStderr();
  run_audio(stream + ts_packet(0x300, false, std::nullopt, Bytes(184, 0xFF)) +
            ts_packet_fitted(kAudioPid, false, rest) + ts_packet_fitted(kAudioPid, false, adts));
  const std::string trace = testing::internal::GetCapturedStderr();
  EXPECT_EQ(clock_count(result_.start_pts), 180000);
  EXPECT_EQ(trace.find("ADTS-AAC"), trace.rfind("ADTS-AAC")) << "found more than once";
  // The pass of the stream-type table, which takes the continuation
  // packets from the stream's window, finds the same start where the header
  // is completed (no whole header follows here).
  log_.level = LogLevel::Error;
  open_stream(stream + ts_packet(0x300, false, std::nullopt, Bytes(184, 0xFF)) +
                  ts_packet_fitted(kAudioPid, false, rest),
              "split.ts");
  PacketCursor cursor{stream_};
  EsPassResult pass;
  find_es_scanner(0x0F)->run_pass(cursor, kAudioPid, pass, context_);
  EXPECT_EQ(clock_count(pass.start_pts), 180000);
  EXPECT_EQ(pass.found_count, 1);
}

INSTANTIATE_TEST_SUITE_P(Offsets, SplitAdtsTest,
                         ::testing::Combine(::testing::Values(1, 2), ::testing::Range(0, 4)));

using HeaderTest = bool (*)(std::span<const std::uint8_t>);

struct HeaderCase {
  const char* name;
  HeaderTest is_header;
  Bytes bytes;
  bool expected;
};

Bytes first_bytes(const Bytes& b, std::size_t n) {
  return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

class HeaderTestTable : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTestTable, TakesOnlyValidHeaders) {
  const HeaderCase& c = GetParam();
  EXPECT_EQ(c.is_header(c.bytes), c.expected);
}

bool adts(std::span<const std::uint8_t> b) {
  return is_adts_header(b);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, HeaderTestTable,
    ::testing::Values(
        HeaderCase{"AdtsId0", adts, adts_frame_header({}), true},
        HeaderCase{"AdtsId1", adts, adts_frame_header({.id = 1}), true},
        // MPEG-2 AAC is taken on its first three bytes, as it always was.
        HeaderCase{"AdtsId1ThreeBytes", adts, first_bytes(adts_header(), 3), true},
        HeaderCase{"AdtsId1AnyLayer", adts, adts_frame_header({.id = 1, .layer = 2}), true},
        HeaderCase{"AdtsId0WithoutLength", adts, first_bytes(adts_frame_header({}), 5), false},
        HeaderCase{"AdtsId0Layer1", adts, adts_frame_header({.layer = 1}), false},
        HeaderCase{"AdtsId0Main", adts, adts_frame_header({.profile = 0}), false},
        HeaderCase{"AdtsId0Ltp", adts, adts_frame_header({.profile = 3}), false},
        HeaderCase{"AdtsId0Sampling12", adts, adts_frame_header({.sampling_index = 12}), true},
        HeaderCase{"AdtsId0Sampling13", adts, adts_frame_header({.sampling_index = 13}), false},
        HeaderCase{"AdtsId0Length7", adts, adts_frame_header({.frame_length = 7}), true},
        HeaderCase{"AdtsId0Length6", adts, adts_frame_header({.frame_length = 6}), false},
        HeaderCase{"AdtsId0LongestLength", adts, adts_frame_header({.frame_length = 8191}), true},
        HeaderCase{"AdtsMpegAudioLayer2", adts, mpeg_audio_header({}), false},
        HeaderCase{"MpegAudioMpeg1Layer2", is_mpeg_audio_header, mpeg_audio_header({}), true},
        HeaderCase{"MpegAudioMpeg2Layer3", is_mpeg_audio_header,
                   mpeg_audio_header({.version = 2, .layer = 1}), true},
        HeaderCase{"MpegAudioMpeg25", is_mpeg_audio_header, mpeg_audio_header({.version = 0}),
                   true},
        HeaderCase{"MpegAudioLayer1FreeBitrate", is_mpeg_audio_header,
                   mpeg_audio_header({.layer = 3, .bitrate_index = 0}), true},
        HeaderCase{"MpegAudioReservedVersion", is_mpeg_audio_header,
                   mpeg_audio_header({.version = 1}), false},
        HeaderCase{"MpegAudioLayer0IsAdts", is_mpeg_audio_header, adts_frame_header({.id = 1}),
                   false},
        HeaderCase{"MpegAudioBitrate15", is_mpeg_audio_header,
                   mpeg_audio_header({.bitrate_index = 15}), false},
        HeaderCase{"MpegAudioSampling3", is_mpeg_audio_header,
                   mpeg_audio_header({.sampling_index = 3}), false},
        HeaderCase{"MpegAudioTwoBytes", is_mpeg_audio_header, first_bytes(mpeg_audio_header({}), 2),
                   false},
        HeaderCase{"Ac3Bsid8", is_ac3_header, ac3_header({}), true},
        HeaderCase{"Ac3Bsid6", is_ac3_header, ac3_header({.bsid = 6}), true},
        HeaderCase{"Ac3Bsid9", is_ac3_header, ac3_header({.bsid = 9}), false},
        HeaderCase{"Ac3IsNotEac3", is_ac3_header, eac3_header({}), false},
        HeaderCase{"Ac3Fscod3", is_ac3_header, ac3_header({.fscod = 3}), false},
        HeaderCase{"Ac3Frmsizecod37", is_ac3_header, ac3_header({.frmsizecod = 37}), true},
        HeaderCase{"Ac3Frmsizecod38", is_ac3_header, ac3_header({.frmsizecod = 38}), false},
        HeaderCase{"Ac3FiveBytes", is_ac3_header, first_bytes(ac3_header({}), 5), false},
        HeaderCase{"Ac3OtherSync", is_ac3_header, Bytes{0x0B, 0x78} + Bytes(5, 0x40), false},
        HeaderCase{"Eac3Bsid16", is_eac3_header, eac3_header({}), true},
        HeaderCase{"Eac3Bsid11", is_eac3_header, eac3_header({.bsid = 11}), true},
        HeaderCase{"Eac3Bsid10", is_eac3_header, eac3_header({.bsid = 10}), false},
        HeaderCase{"Eac3Bsid17", is_eac3_header, eac3_header({.bsid = 17}), false},
        HeaderCase{"Eac3IsNotAc3", is_eac3_header, ac3_header({}), false},
        HeaderCase{"Eac3Strmtyp2", is_eac3_header, eac3_header({.strmtyp = 2}), true},
        HeaderCase{"Eac3Strmtyp3", is_eac3_header, eac3_header({.strmtyp = 3}), false},
        HeaderCase{"Eac3HalfRate", is_eac3_header, eac3_header({.fscod = 3, .fscod2 = 0}), true},
        HeaderCase{"Eac3ReservedRate", is_eac3_header, eac3_header({.fscod = 3, .fscod2 = 3}),
                   false},
        HeaderCase{"Eac3FiveBytes", is_eac3_header, first_bytes(eac3_header({}), 5), false},
        HeaderCase{"Latm", is_latm_header, latm_header(), true},
        HeaderCase{"LatmLongest", is_latm_header, latm_header(8191), true},
        HeaderCase{"LatmLength0", is_latm_header, latm_header(0), false},
        HeaderCase{"LatmOtherSync", is_latm_header, Bytes{0x56, 0xC1, 0x2C}, false},
        HeaderCase{"LatmTwoBytes", is_latm_header, first_bytes(latm_header(), 2), false}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

using AudioScan = PacketScan (*)(PacketCursor&, const TsPacketHeader&, AudioScanState&,
                                 EsPassResult&, const ScanContext&);

// One scanner of the stream-type table with a header it finds: padded to
// the seven bytes of the longest test, so every split offset can be tried.
struct AudioCodec {
  const char* name;
  AudioScan scan;
  int stream_id;
  Bytes header;
  const char* trace;
};

Bytes seven(const Bytes& header) {
  Bytes b = header;
  b.resize(7, 0x11);
  return b;
}

const AudioCodec kCodecs[] = {
    {"AdtsId0", scan_audio_format<kAdtsSync>, 0xC0, adts_frame_header({}), "ADTS-AAC Header"},
    {"PrivateAdts", scan_audio_format<kPrivateAdtsSync>, 0xBD, adts_frame_header({}),
     "ADTS-AAC Header"},
    {"MpegAudio", scan_audio_format<kMpegAudioSync>, 0xC0, seven(mpeg_audio_header({})),
     "MPEG-Audio Header"},
    {"Ac3", scan_audio_format<kAc3Sync>, 0xBD, ac3_header({}), "AC-3 Header"},
    {"Eac3", scan_audio_format<kEac3Sync>, 0xFD, eac3_header({}), "E-AC-3 Header"},
    {"Latm", scan_audio_format<kLatmSync>, 0xC1, seven(latm_header()), "LATM-AAC Header"},
};

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Codec, boundary (1: start packet | continuation, 2: continuation |
// continuation), header bytes before the boundary.
class SplitSyncTest : public EsScanFixture<AudioScanState>,
                      public ::testing::WithParamInterface<std::tuple<int, int, int>> {};

TEST_P(SplitSyncTest, FoundOnceWithThePesPts) {
  const auto [codec_index, boundary, before] = GetParam();
  const AudioCodec& codec = kCodecs[codec_index];
  const Bytes& frame = codec.header;
  const Bytes first_part(frame.begin(), frame.begin() + before);
  const Bytes rest = Bytes(frame.begin() + before, frame.end()) + Bytes(10, 0x11);
  const Bytes head = pes_header(codec.stream_id, 180000);
  Bytes stream;
  if (boundary == 1) {
    stream = ts_packet_fitted(
        kAudioPid, true, head + Bytes(184 - head.size() - first_part.size(), 0x11) + first_part);
  } else {
    stream = ts_packet_fitted(kAudioPid, true, head + Bytes(184 - head.size(), 0x11)) +
             ts_packet_fitted(kAudioPid, false, Bytes(184 - first_part.size(), 0x11) + first_part);
  }
  log_.level = LogLevel::Debug;
  testing::internal::CaptureStderr();
  run(stream + ts_packet(0x300, false, std::nullopt, Bytes(184, 0xFF)) +
          ts_packet_fitted(kAudioPid, false, rest) + ts_packet_fitted(kAudioPid, false, frame),
      kAudioPid, codec.scan);
  const std::string trace = testing::internal::GetCapturedStderr();
  EXPECT_EQ(clock_count(result_.start_pts), 180000) << codec.name;
  EXPECT_EQ(count_of(trace, codec.trace), 1u) << trace;
}

INSTANTIATE_TEST_SUITE_P(Offsets, SplitSyncTest,
                         ::testing::Combine(::testing::Range(0, 6), ::testing::Values(1, 2),
                                            ::testing::Range(0, 8)),
                         [](const auto& test_info) {
                           return std::string(kCodecs[std::get<0>(test_info.param)].name) + "_" +
                                  std::to_string(std::get<1>(test_info.param)) + "_" +
                                  std::to_string(std::get<2>(test_info.param));
                         });

// The PES stream ids each scanner takes: MPEG-2 AAC under 0x0F only 0xC0,
// as always; the others every audio id, private_stream_1 and
// extended_stream_id, never a video id.
TEST_F(AudioScanTest, PesStreamIdsTaken) {
  struct Case {
    int codec;
    int stream_id;
    bool found;
  };
  for (const Case& c :
       {Case{0, 0xC0, true}, Case{0, 0xC1, false}, Case{0, 0xBD, false}, Case{1, 0xBD, true},
        Case{2, 0xDF, true}, Case{2, 0xE0, false}, Case{3, 0xBD, true}, Case{3, 0xFD, true},
        Case{3, 0xBF, false}, Case{4, 0xBC, false}, Case{5, 0xC0, true}}) {
    const AudioCodec& codec = kCodecs[c.codec];
    SCOPED_TRACE(testing::Message() << codec.name << " stream id " << c.stream_id);
    run(ts_packet(kAudioPid, true, std::nullopt, pes_header(c.stream_id, 90000) + codec.header),
        kAudioPid, codec.scan);
    EXPECT_EQ(clock_count(result_.start_pts), c.found ? 90000 : kNotFound);
    stream_.close();
  }
}

}  // namespace
}  // namespace mendra::test
