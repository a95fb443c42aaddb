#include "ts/nal_scan.h"

#include "support/es_scan_fixture.h"
#include "ts/bit_reader.h"
#include "ts/ts_delay.h"

namespace mendra::test {
namespace {

constexpr std::uint16_t kVideoPid = 0x111;
// nal_unit_type
constexpr int kNonIdr = 1, kIdr = 5;
// slice_type; 5 to 9 are the same types for every slice of the picture
constexpr int kP = 0, kISlice = 2, kSi = 4, kAllP = 5, kAllI = 7, kAllSi = 9;

std::vector<NalHead> heads_of(const NalHeads& completed) {
  return {completed.heads.begin(),
          completed.heads.begin() + static_cast<std::ptrdiff_t>(completed.count)};
}

// The heads of `es` fed in two pieces split at `cut`, as two packets bring
// them (the second at offset 188); `reader` is left as the second left it.
std::vector<NalHead> heads_split_at(const Bytes& es, std::size_t cut, NalReader& reader) {
  NalHeads first, second;
  const auto bytes = std::span<const std::uint8_t>(es);
  feed_nal_bytes(bytes.first(cut), 0, reader, first);
  feed_nal_bytes(bytes.subspan(cut), 188, reader, second);
  std::vector<NalHead> heads = heads_of(first);
  const std::vector<NalHead> rest = heads_of(second);
  heads.insert(heads.end(), rest.begin(), rest.end());
  return heads;
}

// An AUD, an IDR slice and a slice whose first_mb_in_slice needs an
// emulation prevention byte (22 leading zero bits: 00 00 03 02).
Bytes es_with_emulation_prevention() {
  return h264_aud() + h264_slice(kIdr, 0, kAllI) + h264_slice(kNonIdr, 4194303, kP);
}

// The byte stream is cut at every offset into two feeds: the heads are the
// same as from one feed, and the emulation prevention byte is gone.
TEST(NalReaderTest, SameHeadsAtEverySplit) {
  const Bytes es = es_with_emulation_prevention() + h264_aud();
  NalReader whole_reader;
  NalHeads whole;
  feed_nal_bytes(es, 0, whole_reader, whole);
  ASSERT_EQ(whole.count, 3U);  // the last AUD waits for the next start code
  BitReader third{std::span(whole.heads[2].bytes).first(whole.heads[2].size)};
  EXPECT_EQ(read_bits(third, 8), 0x61U);  // nal_ref_idc 3, non-IDR
  EXPECT_EQ(read_ue(third), 4194303U);    // first_mb_in_slice
  EXPECT_EQ(read_ue(third), 0U);          // slice_type
  EXPECT_FALSE(third.past_end);
  for (std::size_t cut = 0; cut <= es.size(); ++cut) {
    NalReader reader;
    const std::vector<NalHead> heads = heads_split_at(es, cut, reader);
    ASSERT_EQ(heads.size(), 3U) << "cut " << cut;
    for (std::size_t i = 0; i < heads.size(); ++i) {
      EXPECT_EQ(heads[i].size, whole.heads[i].size) << "cut " << cut << " head " << i;
      EXPECT_EQ(heads[i].bytes, whole.heads[i].bytes) << "cut " << cut << " head " << i;
    }
  }
}

// Slice data of `count` bytes with lone zeros and emulation-prevented
// pairs (00 00 03) but no start code: what encoder output looks like
// between start codes.
Bytes slice_data(std::size_t count, unsigned seed) {
  Bytes out;
  for (std::size_t i = 0; out.size() < count; ++i) {
    const auto value = static_cast<std::uint8_t>((i * 37 + seed * 11) % 251 + 4);
    if (i % 29 == 5) {
      out.insert(out.end(), {0x00, 0x00, 0x03});
    } else if (i % 7 == 3) {
      out.push_back(0x00);
    }
    out.push_back(value);
  }
  out.resize(count);
  if (out.back() == 0x00) out.back() = 0x55;
  return out;
}

// Start codes at every offset of payloads longer than the blocks the search
// passes over at once, behind lone zeros and 00 00 03 pairs, fed whole and
// cut in two at every offset: each unit is found once, whatever block or
// feed its start code falls in.
TEST(NalReaderTest, StartCodesAtEveryOffsetOfLongPayloads) {
  Bytes aud_head = {0x09, 0xF0};
  for (const std::uint8_t byte : slice_data(45, 1)) {
    const std::size_t n = aud_head.size();
    const bool prevention = byte == 0x03 && n >= 2 && aud_head[n - 1] == 0 && aud_head[n - 2] == 0;
    if (!prevention) aud_head.push_back(byte);
  }
  aud_head.resize(kNalHeadBytes);
  // Lone zeros and a pair whose 03 the reader drops.
  ASSERT_EQ(std::count(aud_head.begin(), aud_head.end(), 0x00), 4);
  for (unsigned lead = 0; lead < 40; ++lead) {
    const Bytes es = slice_data(lead + 1, lead) + Bytes{0x00, 0x00, 0x01, 0x09, 0xF0} +
                     slice_data(45, 1) + Bytes{0x00, 0x00, 0x00, 0x01, 0x65} +
                     slice_data(70 + lead, 2) + Bytes{0x00, 0x00, 0x01, 0x41} + slice_data(33, 3) +
                     Bytes{0x00, 0x00, 0x01, 0x06};
    for (std::size_t cut = 0; cut <= es.size(); cut += cut < 8 ? 1 : 7) {
      NalReader reader;
      const std::vector<NalHead> heads = heads_split_at(es, cut, reader);
      ASSERT_EQ(heads.size(), 3U) << "lead " << lead << " cut " << cut;
      EXPECT_EQ(heads[0].bytes[0], 0x09) << "lead " << lead << " cut " << cut;
      EXPECT_EQ(heads[1].bytes[0], 0x65) << "lead " << lead << " cut " << cut;
      EXPECT_EQ(heads[2].bytes[0], 0x41) << "lead " << lead << " cut " << cut;
      // The emulation prevention bytes are gone from the heads.
      EXPECT_EQ(Bytes(heads[0].bytes.begin(), heads[0].bytes.end()), aud_head)
          << "lead " << lead << " cut " << cut;
      EXPECT_TRUE(reader.gathering);
      EXPECT_EQ(reader.head.bytes[0], 0x06);
    }
  }
}

// Long runs of zeros (stuffing) and a four-byte start code.
TEST(NalReaderTest, ZeroRunsAndFourByteStartCodes) {
  const Bytes es = Bytes(1000, 0x00) + Bytes{0x01, 0x09, 0xF0} + Bytes(7, 0x00) +
                   Bytes{0x00, 0x00, 0x00, 0x01, 0x65, 0x88};
  NalReader reader;
  NalHeads completed;
  feed_nal_bytes(es, 0, reader, completed);
  ASSERT_EQ(completed.count, 1U);
  // The zeros in front of the next start code are not part of the AUD.
  EXPECT_EQ(completed.heads[0].size, 2U);
  EXPECT_EQ(completed.heads[0].bytes[0], 0x09);
  EXPECT_TRUE(reader.gathering);
  EXPECT_EQ(reader.head.size, 2U);
}

struct NalSearchCase {
  const char* name;
  Bytes es;
  std::vector<std::uint8_t> completed_first_bytes;  // of each completed head
  std::uint8_t pending_first_byte;                  // of the head still open
};

// Units longer than a head, so that the search between heads (which leaps
// to the next 01) meets start codes of three and four bytes, zero runs, and
// 01 and 00 00 03 that begin no unit. Fed whole, split at every offset, and
// byte by byte, the heads are the same.
TEST(NalReaderTest, SearchBetweenHeadsAtEverySplit) {
  const Bytes long_slice = Bytes{0x00, 0x00, 0x01, 0x41} + Bytes(30, 0x9A) +
                           Bytes{0x01, 0x00, 0x01, 0x05, 0x00, 0x00, 0x03, 0x01,
                                 0x00, 0x00, 0x03, 0x00, 0x01, 0x00, 0x00, 0x02} +
                           Bytes(10, 0xAA);
  const Bytes aud4 = {0x00, 0x00, 0x00, 0x01, 0x09, 0xF0};
  const Bytes idr = Bytes{0x00, 0x00, 0x01, 0x65, 0x88} + Bytes(20, 0xBB);
  const std::vector<NalSearchCase> cases = {
      {"long units, three- and four-byte start codes",
       long_slice + aud4 + idr + aud4 + long_slice + Bytes{0x00, 0x00} + aud4,
       {0x41, 0x09, 0x65, 0x09, 0x41},
       0x09},
      {"zero runs before start codes",
       Bytes(5, 0x00) + Bytes{0x01, 0x09, 0xF0} + idr + Bytes(9, 0x00) + Bytes{0x01, 0x41, 0x9A} +
           Bytes(40, 0x77) + Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x65, 0x88},
       {0x09, 0x65, 0x41},
       0x65},
  };
  for (const NalSearchCase& c : cases) {
    SCOPED_TRACE(c.name);
    NalReader whole_reader;
    NalHeads whole;
    feed_nal_bytes(c.es, 0, whole_reader, whole);
    std::vector<std::uint8_t> firsts;
    for (const NalHead& head : heads_of(whole)) firsts.push_back(head.bytes[0]);
    EXPECT_EQ(firsts, c.completed_first_bytes);
    ASSERT_TRUE(whole_reader.gathering);
    EXPECT_EQ(whole_reader.head.bytes[0], c.pending_first_byte);
    const auto same_heads = [&](const std::vector<NalHead>& heads, const NalReader& reader,
                                const std::string& how) {
      ASSERT_EQ(heads.size(), whole.count) << how;
      for (std::size_t i = 0; i < heads.size(); ++i) {
        EXPECT_EQ(heads[i].size, whole.heads[i].size) << how << " head " << i;
        EXPECT_EQ(heads[i].bytes, whole.heads[i].bytes) << how << " head " << i;
      }
      EXPECT_EQ(reader.head.size, whole_reader.head.size) << how;
      EXPECT_EQ(reader.zeros, whole_reader.zeros) << how;
    };
    const auto bytes = std::span<const std::uint8_t>(c.es);
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
      NalReader reader;
      NalHeads first, second;
      feed_nal_bytes(bytes.first(cut), 0, reader, first);
      feed_nal_bytes(bytes.subspan(cut), 188, reader, second);
      std::vector<NalHead> heads = heads_of(first);
      const std::vector<NalHead> rest = heads_of(second);
      heads.insert(heads.end(), rest.begin(), rest.end());
      same_heads(heads, reader, "cut " + std::to_string(cut));
    }
    NalReader reader;
    std::vector<NalHead> heads;
    for (std::size_t at = 0; at < bytes.size(); ++at) {
      NalHeads one;
      feed_nal_bytes(bytes.subspan(at, 1), 0, reader, one);
      const std::vector<NalHead> got = heads_of(one);
      heads.insert(heads.end(), got.begin(), got.end());
    }
    same_heads(heads, reader, "byte by byte");
  }
}

class H264ScanTest : public EsScanFixture<NalScanState> {
 protected:
  std::vector<PacketScan> run_h264(const Bytes& bytes) {
    return run(bytes, kVideoPid, scan_h264_payload);
  }
};

class HevcScanTest : public EsScanFixture<NalScanState> {
 protected:
  std::vector<PacketScan> run_hevc(const Bytes& bytes) {
    return run(bytes, kVideoPid, scan_hevc_payload);
  }
};

TEST_F(H264ScanTest, TracesNalUnitsAndSliceTypes) {
  log_.level = LogLevel::Debug;
  testing::internal::CaptureStderr();
  const auto results =
      run_h264(ts_packet(kVideoPid, true, std::nullopt,
                         pes_header(0xE0, 90000) + h264_aud() + h264_slice(kIdr, 0, kAllI)));
  const std::string trace = testing::internal::GetCapturedStderr();
  EXPECT_NE(trace.find("\t\t -- NAL 9 [AUD] --\n"
                       "\t\t -- NAL 5 [IDR] --\n"
                       "\t\t slice_type: 7 [I]\n"
                       "\t\t  set Start Video PTS I-Frame\n"
                       "\t\t  set Start Video PTS\n"),
            std::string::npos)
      << trace;
  EXPECT_EQ(results, std::vector<PacketScan>{kFound});
  EXPECT_EQ(clock_count(result_.key_pts), 90000);
  EXPECT_EQ(clock_count(result_.start_pts), 90000);
}

TEST_F(HevcScanTest, TracesNalUnitsAndFirstSliceSegments) {
  log_.level = LogLevel::Debug;
  testing::internal::CaptureStderr();
  run_hevc(ts_packet(kVideoPid, true, std::nullopt,
                     pes_header(0xE0, 90000) + hevc_aud() + hevc_slice(21, true)));
  const std::string trace = testing::internal::GetCapturedStderr();
  EXPECT_NE(trace.find("\t\t -- NAL 35 [AUD] --\n"
                       "\t\t -- NAL 21 [CRA] --\n"
                       "\t\t first_slice_segment_in_pic_flag: 1\n"
                       "\t\t  set Start Video PTS I-Frame\n"
                       "\t\t  set Start Video PTS\n"),
            std::string::npos)
      << trace;
}

// Continuation packets before any PES, and after a start packet whose PES
// header is missing, are passed over unread: an IDR slice in them is not
// taken, since its bytes need not follow what was read before.
TEST_F(H264ScanTest, NothingReadOutsideAPes) {
  const Bytes idr = h264_aud() + h264_slice(kIdr, 0, kAllI);
  const auto results =
      run_h264(ts_packet(kVideoPid, false, std::nullopt, idr) +
               ts_packet(kVideoPid, true, std::nullopt,
                         pes_header(0xE0, 100) + h264_aud() + h264_slice(kNonIdr, 0, kAllP)) +
               ts_packet(kVideoPid, true, std::nullopt, Bytes(20, 0xAA)) +
               ts_packet(kVideoPid, false, std::nullopt, idr));
  EXPECT_EQ(results, (std::vector<PacketScan>{kPassed, kFound, kSearched, kPassed}));
  EXPECT_EQ(clock_count(result_.key_pts), kNotFound);
}

// The payloads are searched in the stream's buffer where they lie whole;
// the packet that straddles the end of the first buffer fill is copied. An
// IDR slice whose start code is split by that edge is found in it.
TEST_F(H264ScanTest, SliceAcrossTheBufferEdgeIsFound) {
  constexpr std::size_t kEdgePacket = kTsStreamBufferBytes / kTsPacketBytes;
  const std::size_t edge_in_payload = kTsStreamBufferBytes - kEdgePacket * kTsPacketBytes - 4;
  ASSERT_GT(edge_in_payload, 2U);  // the start code 00 00 | 01 straddles it
  const Bytes slice = h264_slice(kIdr, 0, kAllI);
  Bytes stream = ts_packet(kVideoPid, true, std::nullopt,
                           pes_header(0xE0, 90000) + h264_aud() + h264_slice(kNonIdr, 0, kAllP));
  for (std::size_t k = 1; k < kEdgePacket; ++k) {
    stream = stream + ts_packet_fitted(kVideoPid, false, Bytes(184, 0x9A));
  }
  Bytes edge_payload = Bytes(edge_in_payload - 2, 0x9A) + slice;
  edge_payload = edge_payload + Bytes(184 - edge_payload.size(), 0x9A);
  stream = stream + ts_packet_fitted(kVideoPid, false, edge_payload) +
           ts_packet_fitted(kVideoPid, false, Bytes(184, 0x9A));
  const auto results = run_h264(stream);
  ASSERT_EQ(results.size(), kEdgePacket + 2);
  EXPECT_EQ(found(results), 2);
  EXPECT_EQ(results[kEdgePacket], kFound);
  EXPECT_EQ(clock_count(result_.start_pts), 90000);
  EXPECT_EQ(state_.random_access.count, 0);
}

// Boundary 1: start packet | continuation, 2: continuation | continuation;
// then how many bytes of the IDR slice lie before the boundary.
class SplitSliceTest : public H264ScanTest,
                       public ::testing::WithParamInterface<std::tuple<int, int>> {};

// The slice's start code and header are moved across a packet boundary
// byte by byte: found once, with the PTS of its PES.
TEST_P(SplitSliceTest, FoundOnceWithItsPesPts) {
  const auto [boundary, before] = GetParam();
  const Bytes slice = h264_slice(kIdr, 0, kAllI);
  ASSERT_LE(static_cast<std::size_t>(before), slice.size());
  const Bytes head = pes_header(0xE0, 450000) + h264_aud();
  const Bytes first_part(slice.begin(), slice.begin() + before);
  const Bytes rest = Bytes(slice.begin() + before, slice.end()) + Bytes(30, 0xAA);
  Bytes stream;
  if (boundary == 1) {
    stream = ts_packet_fitted(
        kVideoPid, true, head + Bytes(184 - head.size() - first_part.size(), 0xAA) + first_part);
  } else {
    stream = ts_packet_fitted(kVideoPid, true, head + Bytes(184 - head.size(), 0xAA)) +
             ts_packet_fitted(kVideoPid, false, Bytes(184 - first_part.size(), 0xAA) + first_part);
  }
  stream = stream + ts_packet(0x222, false, std::nullopt, Bytes(184, 0x00)) +
           ts_packet_fitted(kVideoPid, false, rest) +
           ts_packet(kVideoPid, true, std::nullopt,
                     pes_header(0xE0, 460000) + h264_aud() + h264_slice(kNonIdr, 0, kAllP));
  const auto results = run_h264(stream);
  EXPECT_EQ(found(results), 2);
  EXPECT_EQ(clock_count(result_.key_pts), 450000);
  EXPECT_EQ(clock_count(result_.start_pts), 450000);
  EXPECT_EQ(state_.random_access.count, 0);
}

INSTANTIATE_TEST_SUITE_P(Offsets, SplitSliceTest,
                         ::testing::Combine(::testing::Values(1, 2), ::testing::Range(0, 11)));

struct AccessUnit {
  int nal_unit_type;
  std::vector<int> slice_types;
  std::int64_t pts;
  bool aud = true;
  std::uint32_t mb_step = 40;  // first_mb_in_slice of the second slice on
};

// One start packet per access unit.
Bytes access_unit_stream(const std::vector<AccessUnit>& units) {
  Bytes stream;
  for (const AccessUnit& u : units) {
    Bytes es = pes_header(0xE0, u.pts);
    if (u.aud) es = es + h264_aud();
    for (std::size_t i = 0; i < u.slice_types.size(); ++i) {
      es = es +
           h264_slice(u.nal_unit_type, static_cast<std::uint32_t>(i) * u.mb_step, u.slice_types[i]);
    }
    stream = stream + ts_packet(kVideoPid, true, std::nullopt, es);
  }
  return stream;
}

struct H264Case {
  const char* name;
  std::vector<AccessUnit> units;
  int gop_offset;
  std::int64_t d2v_start_bytes;
  std::int64_t key_pts, start_pts;
};

class H264RuleTest : public H264ScanTest, public ::testing::WithParamInterface<H264Case> {};

TEST_P(H264RuleTest, RecordsRandomAccessPictures) {
  const H264Case& c = GetParam();
  rule_.gop_offset = c.gop_offset;
  rule_.d2v_start_bytes = c.d2v_start_bytes;
  const auto results = run_h264(access_unit_stream(c.units));
  EXPECT_EQ(clock_count(result_.key_pts), c.key_pts);
  EXPECT_EQ(clock_count(result_.start_pts), c.start_pts);
  EXPECT_EQ(found(results), static_cast<int>(c.units.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, H264RuleTest,
    ::testing::Values(
        H264Case{"IdrFirst", {{kIdr, {kAllI}, 100}}, -1, 0, 100, 100},
        H264Case{"PBeforeIdr", {{kNonIdr, {kAllP}, 100}, {kIdr, {kAllI}, 200}}, -1, 0, 200, 200},
        // A stream without IDR pictures: its I pictures are decided when
        // the next access unit begins.
        H264Case{
            "NonIdrIPictures", {{kNonIdr, {kAllI}, 100}, {kNonIdr, {kAllP}, 200}}, -1, 0, 100, 100},
        H264Case{"NonIdrILastUndecided", {{kNonIdr, {kAllI}, 100}}, -1, 0, kNotFound, kNotFound},
        H264Case{"NextPictureWithoutAud",
                 {{kNonIdr, {kISlice, kISlice}, 100}, {kNonIdr, {kP}, 200, false}},
                 -1,
                 0,
                 100,
                 100},
        H264Case{"MixedSlicesAreNoRandomAccess",
                 {{kNonIdr, {kISlice, kP}, 100},
                  {kNonIdr, {kISlice, kISlice}, 200},
                  {kNonIdr, {kP}, 300}},
                 -1,
                 0,
                 200,
                 200},
        H264Case{
            "SiSlices", {{kNonIdr, {kSi, kAllSi}, 100}, {kNonIdr, {kP}, 200}}, -1, 0, 100, 100},
        // The P slice's first_mb_in_slice carries an emulation prevention
        // byte; read without removing it, its slice_type would be another.
        H264Case{"EmulationPreventedPSlice",
                 {{kNonIdr, {kISlice, kP}, 100, true, 4194303}, {kNonIdr, {kP}, 200}},
                 -1,
                 0,
                 kNotFound,
                 kNotFound},
        H264Case{"EmulationPreventedISlice",
                 {{kNonIdr, {kISlice, kISlice}, 100, true, 4194303}, {kNonIdr, {kP}, 200}},
                 -1,
                 0,
                 100,
                 100},
        H264Case{"GopOffset2",
                 {{kIdr, {kAllI}, 100},
                  {kNonIdr, {kAllI}, 200},
                  {kIdr, {kAllI}, 300},
                  {kNonIdr, {kAllP}, 400},
                  {kIdr, {kAllI}, 500}},
                 2,
                 0,
                 100,
                 300},
        H264Case{"GopOffset0", {{kNonIdr, {kAllP}, 100}, {kIdr, {kAllI}, 200}}, 0, 0, 200, 200},
        H264Case{"D2vStartThirdPacket",
                 {{kIdr, {kAllI}, 100}, {kIdr, {kAllI}, 200}, {kIdr, {kAllI}, 300}},
                 -1,
                 376,
                 100,
                 300},
        // The offset is that of the picture's first slice, not of the packet
        // in which the picture was decided.
        H264Case{"D2vOffsetOfFirstSlice",
                 {{kNonIdr, {kAllP}, 100},
                  {kNonIdr, {kAllI}, 200},
                  {kNonIdr, {kAllP}, 300},
                  {kIdr, {kAllI}, 400}},
                 -1,
                 376,
                 200,
                 400}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

struct HevcPicture {
  int nal_unit_type;
  int segments;
  std::int64_t pts;
  int layer = 0;
};

struct HevcCase {
  const char* name;
  std::vector<HevcPicture> pictures;
  int gop_offset;
  std::int64_t key_pts, start_pts;
  int found;
};

class HevcRuleTest : public HevcScanTest, public ::testing::WithParamInterface<HevcCase> {};

TEST_P(HevcRuleTest, RecordsIrapPictures) {
  const HevcCase& c = GetParam();
  rule_.gop_offset = c.gop_offset;
  Bytes stream;
  for (const HevcPicture& p : c.pictures) {
    Bytes es = pes_header(0xE0, p.pts) + hevc_aud();
    for (int s = 0; s < p.segments; ++s) es = es + hevc_slice(p.nal_unit_type, s == 0, p.layer);
    stream = stream + ts_packet(kVideoPid, true, std::nullopt, es);
  }
  const auto results = run_hevc(stream);
  EXPECT_EQ(clock_count(result_.key_pts), c.key_pts);
  EXPECT_EQ(clock_count(result_.start_pts), c.start_pts);
  EXPECT_EQ(found(results), c.found);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HevcRuleTest,
    ::testing::Values(
        HevcCase{"CraAfterTrail", {{1, 1, 100}, {21, 1, 200}}, -1, 200, 200, 2},
        HevcCase{"IdrWithTwoSegments", {{19, 2, 100}}, -1, 100, 100, 1},
        HevcCase{"IdrNoLeading", {{20, 1, 100}}, -1, 100, 100, 1},
        HevcCase{"Bla", {{16, 1, 100}}, -1, 100, 100, 1},
        HevcCase{"ReservedIrap23", {{23, 1, 100}}, -1, 100, 100, 1},
        HevcCase{"Reserved24IsNoIrap", {{24, 1, 100}}, -1, kNotFound, kNotFound, 1},
        HevcCase{"RaslIsNoIrap", {{8, 1, 100}, {9, 1, 200}}, -1, kNotFound, kNotFound, 2},
        HevcCase{"OtherLayerIgnored", {{19, 1, 100, 1}}, -1, kNotFound, kNotFound, 0},
        // Two segments of one IRAP picture count once.
        HevcCase{
            "GopOffset1", {{19, 2, 100}, {1, 1, 200}, {21, 2, 300}, {21, 1, 400}}, 1, 100, 300, 4}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

// The whole measurement on a programme whose video is H.264 or HEVC: the
// random-access picture is both the start picture and the I picture.
struct MeasureNalCase {
  const char* name;
  int stream_type;
  int gop_offset;
  const char* delays;
};

class MeasureNalTest : public TsFixture, public ::testing::WithParamInterface<MeasureNalCase> {};

TEST_P(MeasureNalTest, GivesTheDelays) {
  const MeasureNalCase& c = GetParam();
  constexpr std::uint16_t kPmtPid = 0x1F0, kPcrPid = 0x100, kAudioPid = 0x112;
  const bool hevc = c.stream_type == 0x24;
  const Bytes leading =
      hevc ? hevc_aud() + hevc_slice(1, true) : h264_aud() + h264_slice(kNonIdr, 0, kAllP);
  const Bytes random_access =
      hevc ? hevc_aud() + hevc_slice(19, true) : h264_aud() + h264_slice(kIdr, 0, kAllI);
  const Bytes bytes =
      ts_packet(0, true, std::nullopt, pat_section({{1, kPmtPid}})) +
      ts_packet(kPmtPid, true, std::nullopt,
                pmt_section(kPcrPid, {}, {{c.stream_type, kVideoPid, {}}, {0x0F, kAudioPid, {}}})) +
      ts_packet(kPcrPid, false, pcr_adaptation(900000), {}) +
      ts_packet(kVideoPid, true, std::nullopt, pes_header(0xE0, 950000) + leading) +
      ts_packet(kVideoPid, true, std::nullopt, pes_header(0xE0, 981000) + random_access) +
      ts_packet(kVideoPid, true, std::nullopt, pes_header(0xE0, 999000) + random_access) +
      ts_packet(kAudioPid, true, std::nullopt, pes_header(0xC0, 988200) + adts_header());
  ASSERT_TRUE(write_file(path("rec.ts"), as_chars(bytes)));
  rule_.gop_offset = c.gop_offset;
  TsMeasurement measured;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(measure_ts_delay(path("rec.ts"), rule_, DelayMode::None, log_, measured));
  const std::string output = testing::internal::GetCapturedStderr();
  EXPECT_NE(output.find(c.delays), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MeasureNalTest,
    ::testing::Values(MeasureNalCase{"H264", 0x1B, -1,
                                     "\t -- dgindex : -900 msec\n\t -- mpg2vfp : -900 msec\n"
                                     "\t -- tmpgenc : -900 msec\n"},
                      MeasureNalCase{"Hevc", 0x24, -1,
                                     "\t -- dgindex : -900 msec\n\t -- mpg2vfp : -900 msec\n"
                                     "\t -- tmpgenc : -900 msec\n"},
                      // The second random-access picture starts the video; the audio
                      // start is then the closer one.
                      MeasureNalCase{"H264Gop1", 0x1B, 1,
                                     "\t -- dgindex : -1100 msec\n\t -- mpg2vfp : -900 msec\n"
                                     "\t -- tmpgenc : -980 msec\n"},
                      MeasureNalCase{"HevcGop1", 0x24, 1,
                                     "\t -- dgindex : -1100 msec\n\t -- mpg2vfp : -900 msec\n"
                                     "\t -- tmpgenc : -980 msec\n"}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

}  // namespace
}  // namespace mendra::test

namespace mendra::test {
namespace {

// A random-access picture whose first slice begins in a continuation packet
// (which the pass reads straight from the stream's window): the start
// offset of a project is compared with that packet's offset.
struct ContinuationStartCase {
  const char* name;
  std::int64_t d2v_start_bytes;
  bool found;
  std::int64_t start_pts;
};

class ContinuationStartTest : public TsFixture,
                              public ::testing::WithParamInterface<ContinuationStartCase> {};

TEST_P(ContinuationStartTest, OffsetOfTheContinuationPacket) {
  const ContinuationStartCase& c = GetParam();
  constexpr std::uint16_t kPmtPid = 0x1F0, kPcrPid = 0x100;
  // Packets at 0 (PAT), 188 (PMT), 376 (PCR), 564 and 752 (PES starts), 940
  // (the continuation that holds the IDR slice).
  const Bytes bytes =
      ts_packet(0, true, std::nullopt, pat_section({{1, kPmtPid}})) +
      ts_packet(kPmtPid, true, std::nullopt, pmt_section(kPcrPid, {}, {{0x1B, kVideoPid, {}}})) +
      ts_packet(kPcrPid, false, pcr_adaptation(900000), {}) +
      ts_packet(kVideoPid, true, std::nullopt,
                pes_header(0xE0, 981000) + h264_aud() + h264_slice(kIdr, 0, kAllI)) +
      ts_packet(kVideoPid, true, std::nullopt,
                pes_header(0xE0, 990000) + h264_aud() + h264_slice(kNonIdr, 0, kAllP)) +
      ts_packet(kVideoPid, false, std::nullopt, h264_aud() + h264_slice(kIdr, 0, kAllI)) +
      ts_packet(kVideoPid, false, std::nullopt, h264_aud());
  ASSERT_EQ(bytes.size(), 7u * 188u);
  ASSERT_TRUE(write_file(path("rec.ts"), as_chars(bytes)));
  rule_.d2v_start_bytes = c.d2v_start_bytes;
  log_.sink = nullptr;
  TsMeasurement measured;
  EXPECT_TRUE(measure_ts_delay(path("rec.ts"), rule_, DelayMode::Dgindex, log_, measured));
  EXPECT_EQ(measured.video.start_pts.has_value(), c.found);
  EXPECT_EQ(clock_count(measured.video.start_pts), c.start_pts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContinuationStartTest,
    ::testing::Values(ContinuationStartCase{"NoOffsetTakesTheFirst", 0, true, 981000},
                      ContinuationStartCase{"AtTheContinuationPacket", 940, true, 990000},
                      ContinuationStartCase{"BeforeIt", 753, true, 990000},
                      ContinuationStartCase{"BehindIt", 941, false, kNotFound}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

}  // namespace
}  // namespace mendra::test
