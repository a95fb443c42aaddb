#include "ts/pes.h"

#include "support/ts_fixture.h"
#include "ts/ts_packet.h"

namespace mendra::test {
namespace {

TEST(TimeStampTest, DecodesAll33Bits) {
  const std::array<std::uint8_t, 5> second = {0x21, 0x00, 0x05, 0xBF, 0x21};
  const std::array<std::uint8_t, 5> bit32 = {0x39, 0x00, 0x01, 0x00, 0x01};
  EXPECT_EQ(decode_time_stamp(second), 90000);
  EXPECT_EQ(decode_time_stamp(bit32), 4294967296);
}

struct PesCase {
  const char* name;
  Bytes packet_payload;  // what follows the packet header
  int packet_bytes_left;
  bool result;
  std::int64_t pts, dts;
  int consumed;
  const char* trace;  // nullptr: not compared
};

class PesHeaderTest : public TsFixture, public ::testing::WithParamInterface<PesCase> {};

TEST_P(PesHeaderTest, FindsAndDecodes) {
  const PesCase& c = GetParam();
  log_.level = LogLevel::Debug;
  open_stream(c.packet_payload + Bytes(200, 0xEE));
  PacketCursor cursor{stream_, c.packet_bytes_left};
  std::optional<Ticks90k> pts;
  std::optional<Ticks90k> dts;
  testing::internal::CaptureStderr();
  EXPECT_EQ(read_pes_header(cursor, kVideoPesStartCode, pts, dts, log_), c.result);
  const std::string trace = testing::internal::GetCapturedStderr();
  EXPECT_EQ(clock_count(pts), c.pts);
  EXPECT_EQ(clock_count(dts), c.dts);
  EXPECT_EQ(c.packet_bytes_left - cursor.bytes_left, c.consumed);
  EXPECT_EQ(stream_.tell(), c.consumed);
  if (c.trace != nullptr) {
    EXPECT_EQ(trace, c.trace);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PesHeaderTest,
    ::testing::Values(
        PesCase{"Pts", pes_header(0xE0, 90000), 184, true, 90000, kNotFound, 14,
                "\t\t check:  packet_length:000000,  mpeg:2,  header_length:5\n"
                "\t\t flag: 2,  pts: 90000 [1000ms]\n"},
        PesCase{"PtsDts", pes_header(0xE0, 4294967296, 4294964296), 184, true, 4294967296,
                4294964296, 19,
                "\t\t check:  packet_length:000000,  mpeg:2,  header_length:10\n"
                "\t\t flag: 3,  pts: 4294967296 [47721858ms],  dts: 4294964296 [47721825ms]\n"},
        PesCase{"PtsAndStuffing", pes_header(0xE0, 45000, std::nullopt, 8), 184, true, 45000,
                kNotFound, 17, nullptr},
        PesCase{"ShortHeaderDecodesNothing", pes_header(0xE0, 45000, std::nullopt, 3), 184, true,
                kNotFound, kNotFound, 12,
                "\t\t check:  packet_length:000000,  mpeg:2,  header_length:3\n"},
        PesCase{"PtsDtsInFiveBytes", pes_header(0xE0, 45000, 40000, 5), 184, true, 45000, kNotFound,
                14, nullptr},
        PesCase{"ZeroHeaderLength", pes_header(0xE0, std::nullopt), 184, false, kNotFound,
                kNotFound, 9, nullptr},
        PesCase{"GarbageBeforeStartCode", Bytes{0x00, 0x47, 0x00} + pes_header(0xE0, 90000), 184,
                true, 90000, kNotFound, 17, nullptr},
        PesCase{"OtherStreamId", pes_header(0xE1, 90000), 30, false, kNotFound, kNotFound, 24,
                nullptr},
        // The start code completes with only 6 packet bytes left.
        PesCase{"StartCodeTooLate", Bytes(4, 0xEE) + pes_header(0xE0, 90000), 14, false, kNotFound,
                kNotFound, 8, nullptr}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

}  // namespace
}  // namespace mendra::test
