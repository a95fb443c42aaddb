#include "ts/audio_probe.h"

#include <algorithm>
#include <array>
#include <vector>

#include "ts/audio_scan.h"
#include "ts/pes.h"

namespace mendra {
namespace {

constexpr std::uint8_t kPrivateDataType = 0x06;

// What the walk learnt of one candidate.
struct Probe {
  int pes_seen = 0;
  bool decided = false;
  const EsScanner* row = nullptr;  // the format found, if any
};

// The probe row whose header lies earliest in the payload of the start
// packet at the cursor, or nullptr. The PES header is read without traces:
// the probe is not one of the passes.
const EsScanner* probe_start_packet(PacketCursor& cursor, const TsPacketHeader& header) {
  const Log quiet{nullptr, nullptr, LogLevel::Error};
  skip_adaptation_field(cursor, header);
  std::optional<Ticks90k> pts;
  std::optional<Ticks90k> dts;
  if (!read_pes_header(cursor, &is_audio_stream_id, pts, dts, quiet)) return nullptr;
  const int n = cursor.bytes_left;
  std::array<std::uint8_t, kTsPacketBytes> buffer;
  if (n <= 0 || static_cast<std::size_t>(n) > buffer.size()) return nullptr;
  const auto payload = std::span(buffer).first(static_cast<std::size_t>(n));
  if (!read_packet_bytes(cursor, payload)) return nullptr;
  const EsScanner* best = nullptr;
  int best_at = n;
  for (const EsScanner* row : probe_scanners()) {
    const int at = find_audio_header(*row->probe_format, payload);
    if (at >= 0 && at < best_at) {
      best = row;
      best_at = at;
    }
  }
  return best;
}

// True when the first candidate that found a format has every candidate
// before it decided: nothing later in the stream can change the choice.
bool choice_settled(const std::vector<Probe>& probes) {
  for (const Probe& probe : probes) {
    if (!probe.decided) return false;
    if (probe.row != nullptr) return true;
  }
  return true;
}

}  // namespace

EsSelection probe_private_audio(PacketCursor& cursor, std::span<const std::uint16_t> candidates,
                                const Log& log) {
  std::vector<Probe> probes(candidates.size());
  TsPacketHeader header;
  for (bool more = begin_packet_walk(cursor, header); more && !choice_settled(probes);
       more = next_packet(cursor, header)) {
    if (cursor.sync_offset - cursor.layout.walk_start > kProbeWalkBytes) break;
    if (header.payload_unit_start == 0) continue;
    const auto it = std::find(candidates.begin(), candidates.end(), header.pid);
    if (it == candidates.end()) continue;
    Probe& probe = probes[static_cast<std::size_t>(it - candidates.begin())];
    if (probe.decided) continue;
    ++probe.pes_seen;
    probe.row = probe_start_packet(cursor, header);
    probe.decided = probe.row != nullptr || probe.pes_seen >= kProbePesCount;
  }
  EsSelection chosen;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const Probe& probe = probes[i];
    const auto pid = static_cast<unsigned>(candidates[i]);
    if (probe.row == nullptr) {
      log(LogLevel::Debug, "\t probe private data PID 0x%04X: no audio frame header\n", pid);
      continue;
    }
    log(LogLevel::Debug, "\t probe private data PID 0x%04X: %s\n", pid,
        probe.row->probe_format->trace_name);
    // The first one found is measured; those behind it were not probed to
    // the end.
    chosen = {candidates[i], probe.row, kPrivateDataType};
    break;
  }
  return chosen;
}

}  // namespace mendra
