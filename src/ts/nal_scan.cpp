#include "ts/nal_scan.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ts/pes.h"

namespace mendra {
namespace {

// The payload of one packet.
constexpr std::size_t kMaxPayloadBytes = kTsPacketBytes - 4;
// More 00 bytes than a start code and an emulation prevention test need are
// not counted: a run of zeros (stuffing) cannot overflow the count.
constexpr int kMaxCountedZeros = 3;
constexpr int kStartCodeZeros = 2;
constexpr std::uint8_t kStartCodeLastByte = 0x01;
constexpr std::uint8_t kEmulationPreventionByte = 0x03;

void complete_head(NalReader& reader, NalHeads& completed) {
  reader.gathering = false;
  // An empty unit (two start codes back to back) names no type.
  if (reader.head.size == 0) return;
  if (completed.count < completed.heads.size()) completed.heads[completed.count++] = reader.head;
}

// A start code ended: the head of its unit is filled from the next byte.
void begin_head(NalReader& reader, std::int64_t sync_offset) {
  reader.gathering = true;
  reader.head = NalHead{};
  reader.head.pts = reader.pes_pts;
  reader.head.sync_offset = sync_offset;
}

// Byte vectors of 16 and 32 lanes.
typedef std::uint8_t Lanes16 __attribute__((vector_size(16)));
typedef std::uint8_t Lanes32 __attribute__((vector_size(32)));

// True when a pair of zero bytes begins at one of the kBytes positions
// from `at` (reading kBytes + 1 bytes), tested a vector of Lanes at a time.
template <typename Lanes, std::size_t kBytes>
inline bool pair_in_block(const std::uint8_t* at) {
  constexpr std::size_t kLanes = sizeof(Lanes);
  Lanes any{};
  for (std::size_t i = 0; i < kBytes; i += kLanes) {
    Lanes here;
    Lanes next;
    std::memcpy(&here, at + i, sizeof here);
    std::memcpy(&next, at + i + 1, sizeof next);
    any |= (Lanes)((here == 0) & (next == 0));
  }
  std::array<std::uint64_t, kLanes / 8> words{};
  std::memcpy(words.data(), &any, sizeof any);
  std::uint64_t bits = 0;
  for (const std::uint64_t word : words) bits |= word;
  return bits != 0;
}

// Passes over 64 positions at a time while more than 64 remain and no pair
// of zeros begins among them; then, when the bytes were more than 64, tests
// the last 64 positions as one block that overlaps those passed (where no
// pair begins, so a pair it shows lies ahead) and, when it is clean, stops
// at the last byte. Returns where it stopped.
constexpr std::ptrdiff_t kWideBlock = 64;
template <typename Lanes>
inline const std::uint8_t* pass_blocks(const std::uint8_t* p, const std::uint8_t* end) {
  const std::uint8_t* const begin = p;
  while (end - p > kWideBlock && !pair_in_block<Lanes, kWideBlock>(p)) p += kWideBlock;
  if (end - begin > kWideBlock && end - p <= kWideBlock && end - p > 1 &&
      !pair_in_block<Lanes, kWideBlock>(end - kWideBlock - 1)) {
    p = end - 1;
  }
  return p;
}
const std::uint8_t* pass_wide_blocks(const std::uint8_t* p, const std::uint8_t* end) {
  return pass_blocks<Lanes16>(p, end);
}
#if defined(__x86_64__) && defined(__GNUC__)
// The same with 32-byte vectors, on processors that have them.
__attribute__((target("avx2"))) const std::uint8_t* pass_wide_blocks_avx2(const std::uint8_t* p,
                                                                          const std::uint8_t* end) {
  return pass_blocks<Lanes32>(p, end);
}
// Chosen when the program starts; the processor's features are read first,
// since the order of the start-up initialisations is not promised.
const auto pass_wide = []() noexcept {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? &pass_wide_blocks_avx2 : &pass_wide_blocks;
}();
#else
const auto pass_wide = &pass_wide_blocks;
#endif

// The first position from `p` on at which two zero bytes begin; else the
// last byte when it is a zero (the next bytes may complete the pair); else
// `end`. Encoder output holds a pair of zeros every few hundred bytes at
// most, so nearly every byte is passed over a block at a time, and only a
// block that holds one is searched byte by byte.
#if defined(__SSE2__)
// Where the first pair of zero bytes begins among the 16 positions from
// `at` (reading 17 bytes), or -1.
inline int first_pair_in_block(const std::uint8_t* at) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
  const int mask =
      _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, zero), _mm_cmpeq_epi8(next, zero)));
  return mask == 0 ? -1 : __builtin_ctz(static_cast<unsigned>(mask));
}
#else
inline int first_pair_in_block(const std::uint8_t* at) {
  if (!pair_in_block<Lanes16, 16>(at)) return -1;
  int i = 0;
  while (at[i] != 0x00 || at[i + 1] != 0x00) ++i;
  return i;
}
#endif

const std::uint8_t* find_zero_pair(const std::uint8_t* p, const std::uint8_t* const end) {
  constexpr std::ptrdiff_t kBlock = 16;
  const bool long_enough = end - p > kBlock;
  p = pass_wide(p, end);
  for (; end - p > kBlock; p += kBlock) {
    const int at = first_pair_in_block(p);
    if (at >= 0) return p + at;
  }
  // The last positions: one block that ends at `end` overlaps those already
  // passed, where no pair begins, so a pair it shows lies ahead.
  if (long_enough && end - p > 1) {
    const std::uint8_t* const last_block = end - kBlock - 1;
    const int at = first_pair_in_block(last_block);
    if (at >= 0) return last_block + at;
    p = end - 1;
  }
  for (; end - p > 1; ++p) {
    if (p[0] == 0x00 && p[1] == 0x00) return p;
  }
  return p != end && *p == 0x00 ? p : end;
}

// One byte of the unit being filled; the head completes when full.
void append_head_byte(NalReader& reader, NalHeads& completed, std::uint8_t byte) {
  NalHead& head = reader.head;
  head.bytes[head.size++] = byte;
  if (head.size == head.bytes.size()) complete_head(reader, completed);
}

}  // namespace

void feed_nal_bytes(std::span<const std::uint8_t> bytes, std::int64_t sync_offset,
                    NalReader& reader, NalHeads& completed) {
  const std::uint8_t* p = bytes.data();
  const std::uint8_t* const end = p + bytes.size();
  while (p != end) {
    if (!reader.gathering) {
      // Between heads only start codes matter, and each begins with two
      // zero bytes: with no zeros pending, the search leaps to the next
      // pair of them; from there the bytes are taken one by one.
      if (reader.zeros == 0) {
        p = find_zero_pair(p, end);
        if (p == end) return;
      }
      const std::uint8_t byte = *p++;
      if (byte == 0x00) {
        reader.zeros = std::min(reader.zeros + 1, kMaxCountedZeros);
      } else {
        if (byte == kStartCodeLastByte && reader.zeros >= kStartCodeZeros) {
          begin_head(reader, sync_offset);
        }
        reader.zeros = 0;
      }
      continue;
    }
    const std::uint8_t byte = *p++;
    if (byte == 0x00) {
      reader.zeros = std::min(reader.zeros + 1, kMaxCountedZeros);
      continue;
    }
    if (byte == kStartCodeLastByte && reader.zeros >= kStartCodeZeros) {
      // The zeros belong to the start code (or to trailing zero bytes of
      // the unit before it), not to that unit's head.
      complete_head(reader, completed);
      begin_head(reader, sync_offset);
      reader.zeros = 0;
      continue;
    }
    // Zeros held back because they might have begun a start code are part
    // of the unit after all.
    for (int z = 0; z < reader.zeros && reader.gathering; ++z) {
      append_head_byte(reader, completed, 0x00);
    }
    const bool emulation_prevention =
        byte == kEmulationPreventionByte && reader.zeros >= kStartCodeZeros;
    if (reader.gathering && !emulation_prevention) append_head_byte(reader, completed, byte);
    reader.zeros = 0;
  }
}

PacketScan read_nal_packet(PacketCursor& cursor, const TsPacketHeader& header, NalReader& reader,
                           NalHeads& completed, const ScanContext& context) {
  completed.count = 0;
  if (header.payload_unit_start != 0) {
    skip_adaptation_field(cursor, header);
    std::int64_t pts = 0;
    std::int64_t dts = 0;
    if (!read_pes_header(cursor, kVideoPesStartCode, pts, dts, context.log)) {
      // What follows is not known to continue the bytes read so far.
      reader = NalReader{};
      return PacketScan::Searched;
    }
    reader.synced = true;
    reader.pes_pts = pts;
  } else {
    if (!reader.synced) return PacketScan::Passed;
    skip_adaptation_field(cursor, header);
  }
  const int n = cursor.bytes_left;
  if (cursor.overran || n < 0 || static_cast<std::size_t>(n) > kMaxPayloadBytes) {
    return PacketScan::Searched;
  }
  // The payload is searched where it lies in the stream's buffer; only a
  // payload split by the buffer's end is copied.
  const auto size = static_cast<std::size_t>(n);
  std::span<const std::uint8_t> bytes = cursor.stream.view(size);
  std::array<std::uint8_t, kMaxPayloadBytes> payload;
  if (bytes.size() == size) {
    cursor.bytes_left -= n;
  } else {
    const auto copy = std::span(payload).first(size);
    if (!read_packet_bytes(cursor, copy)) return PacketScan::Searched;
    bytes = copy;
  }
  feed_nal_bytes(bytes, cursor.sync_offset, reader, completed);
  return PacketScan::Searched;
}

void record_random_access(std::int64_t pts, std::int64_t sync_offset, RandomAccessCount& seen,
                          EsPassResult& result, const ScanContext& context) {
  ++seen.count;
  if (result.key_pts == 0) {
    result.key_pts = pts;
    context.log(LogLevel::Debug, "\t\t  set Start Video PTS I-Frame\n");
  }
  // The start picture is a random-access picture itself, so the first one
  // is taken unless the -gop count or the d2v offset asks for a later one.
  if (result.start_pts == 0 && start_rule_met(context.rule, seen.count, sync_offset)) {
    result.start_pts = pts;
    context.log(LogLevel::Debug, "\t\t  set Start Video PTS\n");
  }
}

}  // namespace mendra
