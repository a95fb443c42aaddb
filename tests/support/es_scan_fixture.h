// Runs a scanner over every packet of a built stream the way a pass does
// (header, scan, skip the rest, next header), without stopping at the start,
// and keeps each packet's outcome.
#pragma once

#include <functional>
#include <vector>

#include "support/ts_fixture.h"
#include "ts/es_scan.h"
#include "ts/ts_packet.h"

namespace mendra::test {

inline constexpr PacketScan kPassed = PacketScan::Passed;
inline constexpr PacketScan kSearched = PacketScan::Searched;
inline constexpr PacketScan kFound = PacketScan::Found;

template <typename State>
class EsScanFixture : public TsFixture {
 protected:
  using Scan = PacketScan (*)(PacketCursor&, const TsPacketHeader&, State&, EsPassResult&,
                              const ScanContext&);

  // The scan's outcome for every packet of `pid`; state and result start
  // fresh.
  std::vector<PacketScan> run(const Bytes& bytes, std::uint16_t pid, Scan scan) {
    open_stream(bytes);
    state_ = State{};
    result_ = EsPassResult{};
    std::vector<PacketScan> outcomes;
    PacketCursor cursor{stream_};
    TsPacketHeader header;
    for (bool more = begin_packet_walk(cursor, header); more; more = next_packet(cursor, header)) {
      if (header.pid == pid) outcomes.push_back(scan(cursor, header, state_, result_, context_));
    }
    return outcomes;
  }

  // How many packets held a header, as the frame count adds them up.
  static int found(const std::vector<PacketScan>& outcomes) {
    int total = 0;
    for (PacketScan o : outcomes) total += o == kFound ? 1 : 0;
    return total;
  }

  State state_;
  EsPassResult result_;
};

}  // namespace mendra::test
