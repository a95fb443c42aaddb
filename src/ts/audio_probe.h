// Private-data streams (stream type 0x06) that carry audio without a
// descriptor saying so, as some muxers write AAC and AC-3: the first PES
// payloads of such a stream are searched for a frame header of the formats
// the stream-type table probes for.
#pragma once

#include <cstdint>
#include <span>

#include "ts/es_scanners.h"
#include "ts/ts_packet.h"
#include "util/log.h"

namespace mendra {

// PES packets of a candidate searched before it is given up.
inline constexpr int kProbePesCount = 8;
// The walk gives up on the candidates still open this far into the stream.
inline constexpr std::int64_t kProbeWalkBytes = std::int64_t{32} * 1024 * 1024;

// Walks the stream from its head and returns the first of `candidates` (in
// their order) whose first kProbePesCount PES payloads hold a header of a
// probe row's format, with that row (the one whose header lies earliest in
// the payload); an empty selection when none does. Says at the debug level
// what each candidate turned out to be.
EsSelection probe_private_audio(PacketCursor& cursor, std::span<const std::uint16_t> candidates,
                                const Log& log);

}  // namespace mendra
