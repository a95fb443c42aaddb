#!/usr/bin/env python3
"""Turn a 188-byte transport stream into 192-byte time-stamped packets.

Usage:
  ts-to-m2ts.py IN.ts OUT.m2ts

Every packet gets the 4-byte prefix that .m2ts/.mts files carry before the
sync byte: copy_permission_indicator (2 bits, 0) and a 30-bit arrival time
stamp of the 27 MHz clock. The stamps here rise by a fixed odd step per
packet (about the packets' bytes at 10 Mbit/s), so that their low byte, the
one right before the sync byte, takes every value, 0x47 included, as a real
clock's does: a reader that searches for the sync byte instead of passing
the prefix over is misled there. The packets themselves are copied unchanged.
ffmpeg's own m2ts mode is not
used for these streams because it marks AAC as private data (stream_type
0x06), where broadcast recordings keep ADTS-AAC's 0x0F.
"""

import sys

TS_PACKET_BYTES = 188
SYNC_BYTE = 0x47
CLOCK_HZ = 27_000_000
BITS_PER_SECOND = 10_000_000
STAMP_STEP = TS_PACKET_BYTES * 8 * CLOCK_HZ // BITS_PER_SECOND | 1
STAMP_MASK = (1 << 30) - 1


def convert(data):
    if len(data) % TS_PACKET_BYTES:
        raise ValueError("not a whole number of 188-byte packets")
    out = bytearray()
    for n, pos in enumerate(range(0, len(data), TS_PACKET_BYTES)):
        packet = data[pos : pos + TS_PACKET_BYTES]
        if packet[0] != SYNC_BYTE:
            raise ValueError(f"no sync byte at offset {pos}")
        out += ((n * STAMP_STEP) & STAMP_MASK).to_bytes(4, "big") + packet
    return bytes(out)


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 1
    with open(argv[1], "rb") as f:
        data = f.read()
    try:
        out = convert(data)
    except ValueError as e:
        print(f"{argv[1]}: {e}", file=sys.stderr)
        return 1
    with open(argv[2], "wb") as f:
        f.write(out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
