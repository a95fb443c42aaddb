#include "ts/psi.h"

#include <cstdio>

#include "support/ts_fixture.h"
#include "ts/ts_packet.h"

namespace mendra::test {
namespace {

class PsiTest : public TsFixture {
 protected:
  void SetUp() override {
    TsFixture::SetUp();
    log_.level = LogLevel::Debug;
  }
  // Opens the stream and stands at the section's table_id in its first packet.
  void open_at_section(const Bytes& bytes) {
    open_stream(bytes);
    ASSERT_TRUE(read_ts_packet_header(cursor_, header_));
    skip_to_section(cursor_, header_);
  }
  static std::string crc_line(const Bytes& section) {
    char line[64];
    const std::size_t n = section.size();
    std::snprintf(line, sizeof line, "\t\tcrc32: %02X %02X %02X %02X\n", section[n - 4],
                  section[n - 3], section[n - 2], section[n - 1]);
    return line;
  }

  TsPacketHeader header_;
  PacketCursor cursor_{stream_};
  std::vector<std::uint16_t> pids_;
  std::uint16_t pmt_pid_ = 0;
  ProgramStreams program_;
};

TEST_F(PsiTest, PatTracesEntriesAndCrc) {
  const Bytes pat = pat_section({{0, 0x10}, {1, 0x1F0}});
  open_at_section(ts_packet(0, true, std::nullopt, pat));
  testing::internal::CaptureStderr();
  EXPECT_TRUE(read_pat(cursor_, pids_, pmt_pid_, log_));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\t\tpacket len:  180    section len:   17\n"
            "\t\tprg_id:     0,  pid:0x0010,  left:   8\n"
            "\t\tprg_id:     1,  pid:0x01F0,  left:   4\n" +
                crc_line(pat));
  EXPECT_EQ(cursor_.bytes_left, 163);
  EXPECT_EQ(pmt_pid_, 0x1F0);
  EXPECT_EQ(pids_, (std::vector<std::uint16_t>{0x10, 0x1F0}));
}

TEST_F(PsiTest, PatSkipsPidZeroStopsAtNullPidAndKeepsFirstProgram) {
  open_at_section(
      ts_packet(0, true, std::nullopt,
                pat_section({{0, 0x10}, {3, 0}, {1, 0x1F0}, {2, 0x1F1}, {4, 0x1FFF}, {5, 0x1F5}})));
  EXPECT_TRUE(read_pat(cursor_, pids_, pmt_pid_, log_));
  EXPECT_EQ(pids_, (std::vector<std::uint16_t>{0x10, 0x1F0, 0x1F1}));
  EXPECT_EQ(pmt_pid_, 0x1F0);
}

TEST_F(PsiTest, PatWithWrongTableIdOrShortLengthField) {
  Bytes wrong = pat_section({{1, 0x1F0}});
  wrong[1] = 0x02;
  open_at_section(ts_packet(0, true, std::nullopt, wrong));
  EXPECT_FALSE(read_pat(cursor_, pids_, pmt_pid_, log_));
  EXPECT_EQ(pmt_pid_, 0);
  // A length field smaller than the fixed fields yields no entries instead
  // of a wrapped count that reads on through the stream.
  stream_.close();
  cursor_.bytes_left = kTsPacketBytes;
  open_at_section(ts_packet(0, true, std::nullopt, pat_section({{1, 0x1F0}}, 3)));
  EXPECT_TRUE(read_pat(cursor_, pids_, pmt_pid_, log_));
  EXPECT_TRUE(pids_.empty());
  EXPECT_EQ(pmt_pid_, 0);
}

TEST_F(PsiTest, PmtSinglePacketTraces) {
  const Bytes pmt =
      pmt_section(0x100, Bytes(6, 0x0A),
                  {{0x02, 0x111, {1, 2, 3}}, {0x0F, 0x112, Bytes(6, 0x47)}, {0x06, 0x130, {}}});
  open_at_section(ts_packet(0x1F0, true, std::nullopt, pmt));
  std::array<std::uint8_t, 1> table_id{};
  ASSERT_TRUE(read_packet_bytes(cursor_, table_id));
  testing::internal::CaptureStderr();
  EXPECT_TRUE(read_pmt(cursor_, 0x1F0, program_, log_));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\t\tpacket len:  180    section len:   43\n"
            "\t\tPCR: 0x0100\n"
            "\t\tprg_info_len:    6\n"
            "\t\t 0x0111:     3,  left:   20,  es_type:0x02\n"
            "\t\t 0x0112:     6,  left:    9,  es_type:0x0F\n"
            "\t\t 0x0130:     0,  left:    4,  es_type:0x06\n" +
                crc_line(pmt));
  EXPECT_EQ(cursor_.bytes_left, 0);
  EXPECT_EQ(program_.pcr_pid, 0x100);
  EXPECT_EQ(program_.video.pid, 0x111);
  EXPECT_EQ(program_.audio.pid, 0x112);
  EXPECT_EQ(program_.es_pids, (std::vector<std::uint16_t>{0x111, 0x112, 0x130}));
}

// The stream entries continue in the next packet of the PMT PID; packets of
// other PIDs full of 0x47 bytes lie between. The stream returns to the end
// of the first packet afterwards.
TEST_F(PsiTest, PmtContinuesIntoLaterPacket) {
  std::vector<PmtStream> streams;
  for (int i = 0; i < 8; ++i)
    streams.push_back({i == 6 ? 0x02 : (i == 7 ? 0x0F : 0x06), 0x200 + i, {}});
  const Bytes pmt = pmt_section(0x100, Bytes(140, 0x0B), streams);
  ASSERT_GT(pmt.size(), 184u);
  const Bytes first(pmt.begin(), pmt.begin() + 184);
  const Bytes rest(pmt.begin() + 184, pmt.end());
  const Bytes noise(184, 0x47);
  open_at_section(
      ts_packet(0x1F0, true, std::nullopt, first) + ts_packet(0x300, false, std::nullopt, noise) +
      ts_packet(0x301, true, std::nullopt, noise) + ts_packet(0x1F0, false, std::nullopt, rest));
  std::array<std::uint8_t, 1> table_id{};
  ASSERT_TRUE(read_packet_bytes(cursor_, table_id));
  testing::internal::CaptureStderr();
  EXPECT_TRUE(read_pmt(cursor_, 0x1F0, program_, log_));
  const std::string trace = testing::internal::GetCapturedStderr();
  EXPECT_NE(trace.find(crc_line(pmt)), std::string::npos) << trace;
  EXPECT_EQ(program_.es_pids.size(), 8u);
  EXPECT_EQ(program_.video.pid, 0x206);
  EXPECT_EQ(program_.audio.pid, 0x207);
  EXPECT_EQ(stream_.tell(), kTsPacketBytes - cursor_.bytes_left +
                                0);  // cursor_.bytes_left is 0: end of the first packet
}

struct PrivateStreamCase {
  const char* name;
  Bytes es_info;
  int tag;         // the descriptor whose row reads the stream, 0 for none
  int reads_like;  // a stream type whose scan it shares, 0 for none
};

class PrivateStreamTest : public PsiTest,
                          public ::testing::WithParamInterface<PrivateStreamCase> {};

// A private-data stream is audio when its descriptors say which codec; the
// tag must stand at a descriptor's head, not inside another's bytes.
TEST_P(PrivateStreamTest, DescriptorsChooseTheScanner) {
  const PrivateStreamCase& c = GetParam();
  const Bytes pmt =
      pmt_section(0x100, {}, {{0x02, 0x111, {}}, {0x06, 0x130, c.es_info}, {0x81, 0x131, {}}});
  // The stream entries and the CRC follow the 13 bytes up to program_info_length.
  scan_pmt_streams(static_cast<std::uint16_t>(pmt.size() - 13), Bytes(pmt.begin() + 13, pmt.end()),
                   program_, log_);
  EXPECT_EQ(program_.video.pid, 0x111);
  if (c.tag == 0) {
    // The AC-3 stream behind it is measured instead.
    EXPECT_EQ(program_.audio.pid, 0x131);
    EXPECT_EQ(program_.unmeasured_types, (std::vector<std::uint8_t>{0x06}));
    return;
  }
  EXPECT_EQ(program_.audio.pid, 0x130);
  ASSERT_NE(program_.audio.scanner, nullptr);
  EXPECT_EQ(program_.audio.scanner->descriptor_tag, c.tag);
  EXPECT_EQ(program_.audio.scanner->role, EsRole::Audio);
  if (c.reads_like != 0) {
    EXPECT_EQ(program_.audio.scanner->run_pass,
              find_es_scanner(static_cast<std::uint8_t>(c.reads_like))->run_pass);
  }
  EXPECT_TRUE(program_.unmeasured_types.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tags, PrivateStreamTest,
    ::testing::Values(
        PrivateStreamCase{"Ac3", descriptor(0x6A, {0x00}), 0x6A, 0x81},
        PrivateStreamCase{"EnhancedAc3", descriptor(0x7A, {0x00}), 0x7A, 0x87},
        PrivateStreamCase{"AacBehindLanguage",
                          descriptor(0x0A, {'j', 'p', 'n', 0}) + descriptor(0x7C, {0x58}), 0x7C, 0},
        PrivateStreamCase{"NoDescriptor", {}, 0, 0},
        PrivateStreamCase{"TagInsideAnother", descriptor(0x52, {0x6A, 0x7A}), 0, 0},
        PrivateStreamCase{"TeletextOnly", descriptor(0x56, {'j', 'p', 'n', 0x09, 0x00}), 0, 0}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

struct MalformedPmt {
  const char* name;
  Bytes section;
  std::uint16_t video_pid;
};

// Overwrites program_info_length (behind pointer field, table_id, length,
// program_number, version, section numbers and PCR_PID).
Bytes with_program_info_length(Bytes section, unsigned length) {
  section[11] = static_cast<std::uint8_t>(0xF0 | (length >> 8));
  section[12] = static_cast<std::uint8_t>(length);
  return section;
}

class MalformedPmtTest : public PsiTest, public ::testing::WithParamInterface<MalformedPmt> {};

// Length fields that claim too little or too much: reads stay inside the
// 376-byte section buffer and the packets, and the parse still ends.
TEST_P(MalformedPmtTest, StaysInsideBuffers) {
  const MalformedPmt& c = GetParam();
  const Bytes tail(184, 0x00);
  open_at_section(ts_packet(0x1F0, true, std::nullopt, c.section) +
                  ts_packet(0x1F0, false, std::nullopt, tail) +
                  ts_packet(0x1F0, false, std::nullopt, tail));
  std::array<std::uint8_t, 1> table_id{};
  ASSERT_TRUE(read_packet_bytes(cursor_, table_id));
  EXPECT_TRUE(read_pmt(cursor_, 0x1F0, program_, log_));
  EXPECT_EQ(cursor_.bytes_left, 0);
  EXPECT_EQ(program_.video.pid, c.video_pid);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedPmtTest,
    ::testing::Values(
        MalformedPmt{"LengthBelowFixedFields", pmt_section(0x100, {}, {{0x02, 0x111, {}}}, 2), 0},
        MalformedPmt{"LengthBeyondBuffer", pmt_section(0x100, {}, {{0x02, 0x111, {}}}, 0xFFF),
                     0x111},
        MalformedPmt{"DescriptorsBeyondPacket",
                     with_program_info_length(pmt_section(0x100, {}, {{0x02, 0x111, {}}}), 0xAAA),
                     0}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

}  // namespace
}  // namespace mendra::test
