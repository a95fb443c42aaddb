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

// True when a start code (00 00 01) begins at one of the kBytes positions
// from `at` (reading kBytes + 2 bytes), tested a vector of Lanes at a time.
template <typename Lanes, std::size_t kBytes>
inline bool start_code_in_block(const std::uint8_t* at) {
  constexpr std::size_t kLanes = sizeof(Lanes);
  Lanes any{};
  for (std::size_t i = 0; i < kBytes; i += kLanes) {
    Lanes here;
    Lanes next;
    Lanes last;
    std::memcpy(&here, at + i, sizeof here);
    std::memcpy(&next, at + i + 1, sizeof next);
    std::memcpy(&last, at + i + 2, sizeof last);
    any |= (Lanes)((here == 0) & (next == 0) & (last == kStartCodeLastByte));
  }
  std::array<std::uint64_t, kLanes / 8> words{};
  std::memcpy(words.data(), &any, sizeof any);
  std::uint64_t bits = 0;
  for (const std::uint64_t word : words) bits |= word;
  return bits != 0;
}

// Bytes a start code test reads beyond the positions it tests.
constexpr std::ptrdiff_t kStartCodeTail = 2;

// Passes over 64 positions at a time while a block of them and the two
// bytes after it remain and no start code begins among them; then, when
// the bytes were that many, tests the last 64 positions at which a start
// code can begin as one block that overlaps those passed (where none
// begins, so one it shows lies ahead) and, when it is clean, stops at the
// last two bytes. Returns where it stopped.
constexpr std::ptrdiff_t kWideBlock = 64;
template <typename Lanes>
inline const std::uint8_t* pass_blocks(const std::uint8_t* p, const std::uint8_t* end) {
  const std::uint8_t* const begin = p;
  constexpr std::ptrdiff_t kRead = kWideBlock + kStartCodeTail;
  while (end - p >= kRead && !start_code_in_block<Lanes, kWideBlock>(p)) p += kWideBlock;
  if (end - begin >= kRead && end - p < kRead && end - p > kStartCodeTail &&
      !start_code_in_block<Lanes, kWideBlock>(end - kRead)) {
    p = end - kStartCodeTail;
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

// Where the first start code begins among the 16 positions from `at`
// (reading 18 bytes), or -1.
#if defined(__SSE2__)
inline int first_start_code_in_block(const std::uint8_t* at) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi8(kStartCodeLastByte);
  const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
  const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 2));
  const int mask = _mm_movemask_epi8(
      _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(here, zero), _mm_cmpeq_epi8(next, zero)),
                    _mm_cmpeq_epi8(last, one)));
  return mask == 0 ? -1 : __builtin_ctz(static_cast<unsigned>(mask));
}
#else
inline int first_start_code_in_block(const std::uint8_t* at) {
  if (!start_code_in_block<Lanes16, 16>(at)) return -1;
  int i = 0;
  while (at[i] != 0x00 || at[i + 1] != 0x00 || at[i + 2] != kStartCodeLastByte) ++i;
  return i;
}
#endif

// Where the next start code begins from `p` on; else where the last bytes
// could still begin one that the next bytes complete (the last two when
// they are 00 00, the last when it is 00); else `end`. Between units only
// start codes matter, and encoder output holds a hundred pairs of zeros
// (most of them before an emulation prevention byte) for every start code:
// nearly every byte is passed over a block at a time, pairs of zeros
// included, and only a block that holds a start code is searched for it.
const std::uint8_t* find_start_code(const std::uint8_t* p, const std::uint8_t* const end) {
  constexpr std::ptrdiff_t kBlock = 16;
  p = pass_wide(p, end);
  for (; end - p >= kBlock + kStartCodeTail; p += kBlock) {
    const int at = first_start_code_in_block(p);
    if (at >= 0) return p + at;
  }
  for (; end - p > kStartCodeTail; ++p) {
    if (p[0] == 0x00 && p[1] == 0x00 && p[2] == kStartCodeLastByte) return p;
  }
  if (end - p == kStartCodeTail && p[0] == 0x00 && p[1] == 0x00) return p;
  return p != end && end[-1] == 0x00 ? end - 1 : end;
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
      // Between heads only start codes matter: with no zeros pending, the
      // search leaps to the next one; from there the bytes are taken one
      // by one.
      if (reader.zeros == 0) {
        p = find_start_code(p, end);
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
    std::optional<Ticks90k> pts;
    std::optional<Ticks90k> dts;
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

void record_random_access(std::optional<Ticks90k> pts, std::int64_t sync_offset,
                          RandomAccessCount& seen, EsPassResult& result,
                          const ScanContext& context) {
  ++seen.count;
  if (!result.key_pts) {
    result.key_pts = pts;
    context.log(LogLevel::Debug, "\t\t  set Start Video PTS I-Frame\n");
  }
  // The start picture is a random-access picture itself, so the first one
  // is taken unless the -gop count or the d2v offset asks for a later one.
  if (!result.start_pts && start_rule_met(context.rule, seen.count, sync_offset)) {
    result.start_pts = pts;
    context.log(LogLevel::Debug, "\t\t  set Start Video PTS\n");
  }
}

}  // namespace mendra
