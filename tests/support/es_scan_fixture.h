// Runs a scan over every packet of a built stream the way the analysis
// passes do: header, scan, skip the rest, next header.
#pragma once

#include <functional>
#include <vector>

#include "support/ts_fixture.h"
#include "ts/pes.h"
#include "ts/ts_delay.h"
#include "ts/ts_packet.h"

namespace mendra::test {

class EsScanFixture : public TsFixture {
 protected:
  using Scan = std::function<int(const TsPacketHeader&, int&)>;

  // The scan's result for every packet of `pid`.
  std::vector<int> run(const Bytes& bytes, std::uint16_t pid, const Scan& scan) {
    open_stream(bytes);
    std::vector<int> results;
    TsPacketHeader header;
    int left = kTsPacketBytes;
    reset_es_scan(state_);
    int status = read_ts_packet_header(stream_, header, left, state_.ts_bytes_read);
    while (status == 0) {
      if (header.pid == pid) results.push_back(scan(header, left));
      status = next_packet(stream_, header, left, state_.ts_bytes_read);
    }
    return results;
  }

  // The results of 0 and more added up, as the frame count does.
  static int sum(const std::vector<int>& results) {
    int total = 0;
    for (int r : results) total += r > 0 ? r : 0;
    return total;
  }

  EsScanState state_;
};

}  // namespace mendra::test
