#include "ts/ts_packet.h"

#include "support/ts_fixture.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace mendra::test {
namespace {

using TsStreamTest = TsFixture;

// Skips and seeks across the edge of the 1 MiB buffer land on the right byte.
TEST_F(TsStreamTest, SkipAndSeekAcrossBufferEdge) {
  Bytes data(kTsStreamBufferBytes * 2 + 100);
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  open_stream(data);
  stream_.skip(kTsStreamBufferBytes - 2);
  Bytes four(4);
  ASSERT_EQ(stream_.read(four), 4u);  // straddles the first refill
  EXPECT_EQ(four, Bytes(data.begin() + kTsStreamBufferBytes - 2,
                        data.begin() + kTsStreamBufferBytes + 2));
  const std::int64_t mark = stream_.tell();
  stream_.skip(static_cast<std::int64_t>(kTsStreamBufferBytes) + 5);  // beyond the buffer
  EXPECT_EQ(stream_.read_byte(), data[static_cast<std::size_t>(mark) + kTsStreamBufferBytes + 5]);
  stream_.seek(3);  // back behind the buffer
  EXPECT_EQ(stream_.read_byte(), data[3]);
  stream_.seek(mark);
  EXPECT_EQ(stream_.read_byte(), data[static_cast<std::size_t>(mark)]);
  stream_.skip(static_cast<std::int64_t>(data.size()));  // past the end: reads then fail
  EXPECT_EQ(stream_.read_byte(), -1);
  EXPECT_EQ(stream_.read(four), 0u);
}

// Reads, short and long skips and seeks back, in a fixed pseudo-random
// order over a stream of many windows, land on the right bytes: skips
// within the windows mapped ahead, beyond them, and back behind the window
// read all move the mapped windows correctly.
TEST_F(TsStreamTest, WanderingWalkReadsTheRightBytes) {
  Bytes data(kTsStreamBufferBytes * 9 + 1234);
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<std::uint8_t>(i * 11 + i / 4093);
  open_stream(data);
  std::uint32_t state = 12345;
  const auto next = [&state](std::uint32_t bound) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % bound;
  };
  const auto size = static_cast<std::int64_t>(data.size());
  for (int step = 0; step < 400; ++step) {
    const std::int64_t at = stream_.tell();
    switch (next(5)) {
      case 0:
        stream_.skip(next(300));
        break;
      case 1:
        stream_.skip(next(static_cast<std::uint32_t>(kTsStreamBufferBytes * 5)));
        break;
      case 2:
        stream_.seek(next(static_cast<std::uint32_t>(size)));
        break;
      case 3: {
        Bytes got(next(3000) + 1);
        const std::size_t n = stream_.read(got);
        const auto expected = static_cast<std::size_t>(
            std::clamp<std::int64_t>(size - at, 0, static_cast<std::int64_t>(got.size())));
        ASSERT_EQ(n, expected) << "step " << step << " at " << at;
        got.resize(n);
        if (n > 0) {
          ASSERT_EQ(got, Bytes(data.begin() + at, data.begin() + at + static_cast<std::int64_t>(n)))
              << "step " << step << " at " << at;
        }
        break;
      }
      default:
        ASSERT_EQ(stream_.read_byte(), at < size ? data[static_cast<std::size_t>(at)] : -1)
            << "step " << step << " at " << at;
    }
  }
}

// A recording cut short by another process while a window of it is mapped
// ends the run with a message and the status of a failed input, not with
// the crash of the signal the vanished pages raise; in this process the
// stream then ends where the file now ends. The file is one window long, so
// that no window but the one read is mapped when it is cut.
TEST_F(TsStreamTest, RecordingCutShortWhileReadFailsCleanly) {
  const Bytes data(kTsStreamBufferBytes, 0x47);
  open_stream(data);
  ASSERT_EQ(stream_.read_byte(), 0x47);  // maps the first window
  const std::string file = path("s.ts");
  EXPECT_EXIT(
      {
        if (truncate(file.c_str(), 0) != 0) std::_Exit(3);
        stream_.skip(8192);  // pages of the window that are no longer there
        std::_Exit(stream_.read_byte() == 0x47 ? 4 : 5);
      },
      ::testing::ExitedWithCode(1), "stream cut short while it was read: ");
  stream_.seek(static_cast<std::int64_t>(kTsStreamBufferBytes));
  EXPECT_EQ(stream_.read_byte(), -1);
}

// A recording still being written: at its end the stream ends, and once
// the file has grown, reading on from there delivers the new bytes.
TEST_F(TsStreamTest, RecordingThatGrowsIsReadOn) {
  Bytes data(kTsStreamBufferBytes + 10);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 5 + 3);
  open_stream(data);
  stream_.skip(static_cast<std::int64_t>(data.size()) - 1);
  EXPECT_EQ(stream_.read_byte(), data.back());
  EXPECT_EQ(stream_.read_byte(), -1);
  const Bytes more{0x12, 0x34, 0x56};
  {
    std::FILE* f = std::fopen(path("s.ts").c_str(), "ab");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(more.data(), 1, more.size(), f), more.size());
    std::fclose(f);
  }
  Bytes three(3);
  EXPECT_EQ(stream_.read(three), 3u);
  EXPECT_EQ(three, more);
  EXPECT_EQ(stream_.read_byte(), -1);
}

// A view is handed out only for bytes the buffer holds whole; otherwise
// nothing is consumed and read() delivers the bytes across the refill.
TEST_F(TsStreamTest, ViewInPlaceOnlyInsideTheBuffer) {
  Bytes data(kTsStreamBufferBytes + 50);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 13 + 1);
  open_stream(data);
  EXPECT_TRUE(stream_.view(0).empty());
  ASSERT_EQ(stream_.read_byte(), data[0]);  // the buffer is filled from offset 0
  const auto six = stream_.view(6);
  EXPECT_EQ(Bytes(six.begin(), six.end()), Bytes(data.begin() + 1, data.begin() + 7));
  EXPECT_EQ(stream_.tell(), 7);
  stream_.skip(static_cast<std::int64_t>(kTsStreamBufferBytes) - 10);
  EXPECT_TRUE(stream_.view(4).empty());  // 3 bytes left in the buffer
  EXPECT_EQ(stream_.tell(), static_cast<std::int64_t>(kTsStreamBufferBytes) - 3);
  Bytes four(4);
  ASSERT_EQ(stream_.read(four), 4u);
  EXPECT_EQ(four, Bytes(data.begin() + kTsStreamBufferBytes - 3,
                        data.begin() + kTsStreamBufferBytes + 1));
  EXPECT_TRUE(stream_.view(50).empty());  // past the end of the file
}

struct HeaderCase {
  const char* name;
  Bytes bytes;
  bool result;
  unsigned pid, pusi, afc, adaptation_length;
  int packet_bytes_left;
  std::int64_t sync_offset;
};

class PacketHeaderTest : public TsFixture, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(PacketHeaderTest, DecodesFieldsAndCounts) {
  const HeaderCase& c = GetParam();
  open_stream(c.bytes);
  TsPacketHeader header;
  PacketCursor cursor{stream_};
  EXPECT_EQ(read_ts_packet_header(cursor, header), c.result);
  EXPECT_EQ(cursor.sync_offset, c.sync_offset);
  if (!c.result) return;
  EXPECT_EQ(header.pid, c.pid);
  EXPECT_EQ(header.payload_unit_start, c.pusi);
  EXPECT_EQ(header.adaptation_field_control, c.afc);
  EXPECT_EQ(header.adaptation_length, c.adaptation_length);
  EXPECT_EQ(cursor.bytes_left, c.packet_bytes_left);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PacketHeaderTest,
    ::testing::Values(
        HeaderCase{"Empty", {}, false, 0, 0, 0, 0, 0, 0},
        HeaderCase{"SyncOnly", {0x47}, false, 0, 0, 0, 0, 0, 0},
        HeaderCase{"SyncAndOne", {0x12, 0x47, 0x01}, false, 0, 0, 0, 0, 0, 1},
        HeaderCase{"ByteThreeMissing", {0x47, 0x1F, 0xFF}, true, 0x1FFF, 0, 0, 0, 185, 0},
        HeaderCase{"PayloadOnly", {0x47, 0x01, 0x00, 0x10, 0x07}, true, 0x100, 0, 1, 0, 184, 0},
        HeaderCase{"EmptyAdaptation", {0x47, 0x01, 0x00, 0x30, 0x00}, true, 0x100, 0, 3, 0, 183, 0},
        HeaderCase{"Adaptation7", {0x47, 0x41, 0x00, 0x30, 0x07}, true, 0x100, 0x40, 3, 7, 183, 0},
        HeaderCase{"Garbage",
                   {1, 2, 3, 4, 5, 0x47, 0xE0, 0x11, 0x20, 0xB7},
                   true,
                   0x11,
                   0x40,
                   2,
                   0xB7,
                   183,
                   5}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

using PacketWalkTest = TsFixture;

// Each packet is taken at its own sync byte and sync_offset is its offset.
TEST_F(PacketWalkTest, GarbageBeforeFirstSyncCountsIntoOffsets) {
  open_stream(Bytes{9, 9, 9, 9, 9} + ts_packet(0x21, true, std::nullopt, {}) +
              ts_packet(0x22, false, std::nullopt, {}));
  TsPacketHeader header;
  PacketCursor cursor{stream_};
  ASSERT_TRUE(read_ts_packet_header(cursor, header));
  EXPECT_EQ(header.pid, 0x21);
  EXPECT_EQ(cursor.sync_offset, 5);
  ASSERT_TRUE(next_packet(cursor, header));
  EXPECT_EQ(header.pid, 0x22);
  EXPECT_EQ(cursor.sync_offset, 193);
  EXPECT_FALSE(next_packet(cursor, header));
}

// `count` packets of PID 0x30 + k, each behind a prefix of `prefix_bytes`
// (0 or 4) whose last byte is 0x47 in every other packet, as a real clock's
// time stamp is now and then.
Bytes packets_behind(const Bytes& junk, int prefix_bytes, int count, bool always_0x47 = false) {
  Bytes data = junk;
  for (int k = 0; k < count; ++k) {
    const auto last = static_cast<std::uint8_t>(k % 2 == 0 || always_0x47 ? 0x47 : 0x10 + k);
    const Bytes stamp{0x01, 0x23, static_cast<std::uint8_t>(k), last};
    if (prefix_bytes > 0) data = data + stamp;
    data = data + ts_packet(static_cast<std::uint16_t>(0x30 + k), k == 0, std::nullopt, {});
  }
  return data;
}

Bytes without_first(const Bytes& data, std::size_t count) {
  return Bytes(data.begin() + static_cast<std::ptrdiff_t>(count), data.end());
}

struct LayoutCase {
  const char* name;
  Bytes head;
  int prefix_bytes;
  std::int64_t walk_start;
};

class PacketLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PacketLayoutTest, FindsPacketSizeAndWalkStart) {
  const LayoutCase& c = GetParam();
  const PacketLayout layout = detect_packet_layout(c.head);
  EXPECT_EQ(layout.prefix_bytes, c.prefix_bytes);
  EXPECT_EQ(layout.walk_start, c.walk_start);
}

constexpr int kStamp = kTimeStampPrefixBytes;

INSTANTIATE_TEST_SUITE_P(
    Cases, PacketLayoutTest,
    ::testing::Values(
        LayoutCase{"plain", packets_behind({}, 0, 5), 0, 0},
        // Plain streams keep the walk from offset 0 and its sync search.
        LayoutCase{"plain_after_junk", packets_behind({9, 0x47, 9}, 0, 6), 0, 0},
        LayoutCase{"stamped", packets_behind({}, kStamp, 5), kTimeStampPrefixBytes, 4},
        LayoutCase{"stamped_after_cut_packet", packets_behind(Bytes(100, 0x47), kStamp, 6),
                   kTimeStampPrefixBytes, 104},
        // A file cut inside a time stamp: the walk starts at the sync byte.
        LayoutCase{"stamped_cut_in_prefix", without_first(packets_behind({}, kStamp, 6), 2),
                   kTimeStampPrefixBytes, 2},
        // Every time stamp ends in 0x47: the sync byte is the later run.
        LayoutCase{"stamped_prefix_ends_in_0x47", packets_behind({}, kStamp, 5, true),
                   kTimeStampPrefixBytes, 4},
        // Too short to confirm either size: read as plain, as always.
        LayoutCase{"stamped_too_short", packets_behind({}, kStamp, 4), 0, 0},
        LayoutCase{"plain_too_short", packets_behind({}, 0, 4), 0, 0},
        LayoutCase{"empty", {}, 0, 0}, LayoutCase{"no_sync_bytes", Bytes(2000, 0x00), 0, 0},
        LayoutCase{"sync_beyond_search", packets_behind(Bytes(kLayoutSearchBytes, 0), kStamp, 5), 0,
                   0}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

// A time-stamped stream is walked packet by packet past prefixes that hold
// 0x47, and every packet's offset is that of its sync byte.
TEST_F(PacketWalkTest, TimeStampedPacketsAreWalkedAtTheirSyncBytes) {
  open_stream(packets_behind({7, 7, 7}, kStamp, 6));
  TsPacketHeader header;
  PacketCursor cursor{stream_};
  cursor.layout = detect_packet_layout(stream_);
  ASSERT_EQ(cursor.layout.prefix_bytes, kTimeStampPrefixBytes);
  int k = 0;
  for (bool more = begin_packet_walk(cursor, header); more; more = next_packet(cursor, header)) {
    EXPECT_EQ(header.pid, 0x30 + k);
    EXPECT_EQ(cursor.sync_offset, 3 + 4 + 192 * k);
    ++k;
  }
  EXPECT_EQ(k, 6);
}

// A read that would pass the end of the packet or of the file leaves
// `overran` set; later reads of the packet fail even where they would fit,
// until the next packet header starts a new packet.
struct CursorCase {
  const char* name;
  bool file_ends;     // the ten bytes end the file; else a packet follows
  int bytes_left;     // the packet's bytes from the cursor on
  std::size_t first;  // the read that may overrun
  bool first_ok;
  std::int64_t tell_after;
};

class CursorTest : public TsFixture, public ::testing::WithParamInterface<CursorCase> {};

TEST_P(CursorTest, OverrunIsSticky) {
  const CursorCase& c = GetParam();
  const Bytes ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  open_stream(c.file_ends ? ten : ten + ts_packet(0x33, false, std::nullopt, {}));
  PacketCursor cursor{stream_, c.bytes_left};
  Bytes first(c.first);
  EXPECT_EQ(read_packet_bytes(cursor, first), c.first_ok);
  EXPECT_EQ(cursor.overran, !c.first_ok);
  EXPECT_EQ(stream_.tell(), c.tell_after);
  if (c.first_ok) {
    EXPECT_EQ(first, Bytes(ten.begin(), ten.begin() + c.tell_after));
  }
  Bytes one(1);
  EXPECT_EQ(read_packet_bytes(cursor, one), c.first_ok);
  EXPECT_EQ(cursor.overran, !c.first_ok);
  TsPacketHeader header;
  ASSERT_EQ(next_packet(cursor, header), !c.file_ends);
  if (c.file_ends) return;
  EXPECT_EQ(header.pid, 0x33);
  EXPECT_FALSE(cursor.overran);
  EXPECT_TRUE(read_packet_bytes(cursor, one));
}

INSTANTIATE_TEST_SUITE_P(Cases, CursorTest,
                         ::testing::Values(CursorCase{"Fits", false, 8, 3, true, 3},
                                           CursorCase{"PassesPacketEnd", false, 4, 5, false, 0},
                                           CursorCase{"PassesFileEnd", true, kTsPacketBytes, 12,
                                                      false, 10}),
                         [](const auto& test_info) { return std::string(test_info.param.name); });

struct PcrCase {
  Bytes adaptation;
  std::int64_t pcr;
  int consumed;
};

class ReadPcrTest : public TsFixture, public ::testing::WithParamInterface<PcrCase> {};

TEST_P(ReadPcrTest, DecodesBaseOrRefuses) {
  const PcrCase& c = GetParam();
  open_stream(c.adaptation + Bytes{0xAA});
  PacketCursor cursor{stream_, 100};
  EXPECT_EQ(read_pcr(cursor, static_cast<std::uint8_t>(c.adaptation.size())), c.pcr);
  EXPECT_EQ(cursor.bytes_left, 100 - c.consumed);
  EXPECT_EQ(stream_.tell(), c.consumed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadPcrTest,
    ::testing::Values(PcrCase{{0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x00}, 8589934591, 7},
                      PcrCase{{0x10, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00}, 4294967296, 7},
                      PcrCase{pcr_adaptation(900000), 900000, 7},
                      // Stuffing without PCR_flag: consumed, but no clock.
                      PcrCase{{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, -1, 7},
                      PcrCase{{0x10, 0x00, 0x00, 0x00, 0x00, 0x00}, -1, 0}));

}  // namespace
}  // namespace mendra::test
