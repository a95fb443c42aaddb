#!/usr/bin/env python3
"""Mark every frame of an ADTS-AAC file as MPEG-2 AAC (ID bit 1).

Broadcast recordings carry MPEG-2 AAC, whose ADTS headers begin FF F9 (ID 1);
common encoders write MPEG-4 AAC headers, FF F1 (ID 0), which mendra's audio
start test rightly refuses. The ID bit only names the MPEG edition: the frame
payload is the same, so flipping it is enough to make a broadcast-like stream.

Usage:
  adts-set-id.py IN.aac OUT.aac   set the ID bit in every frame, then verify OUT
  adts-set-id.py --check FILE     verify only: every frame ID 1, AAC LC profile

The frames are walked by their 13-bit aac_frame_length, so a byte pattern that
merely looks like a header inside a payload is never touched. The walk must end
exactly at the end of the file. Exit status 0 on success, 1 on any defect.
"""

import sys

ADTS_HEADER_BYTES = 7  # fixed + variable header without CRC
SYNC_BYTE0 = 0xFF
SYNC_MASK1 = 0xF0  # low nibble of the 12-bit syncword in byte 1
ID_BIT = 0x08  # byte 1, bit 3: 1 = MPEG-2 AAC, 0 = MPEG-4 AAC
PROTECTION_ABSENT_BIT = 0x01  # byte 1, bit 0: 0 = a CRC follows the header
PROFILE_LC = 1  # byte 2, top two bits: profile_ObjectType 1 = low complexity


class AdtsError(Exception):
    pass


def frame_length(data, pos):
    # aac_frame_length, 13 bits over bytes 3..5, counts the header too.
    return ((data[pos + 3] & 0x03) << 11) | (data[pos + 4] << 3) | (data[pos + 5] >> 5)


def walk_frames(data):
    """Yields the offset of every frame; raises AdtsError on a broken walk."""
    pos = 0
    while pos < len(data):
        if pos + ADTS_HEADER_BYTES > len(data):
            raise AdtsError(f"truncated header at offset {pos}")
        if data[pos] != SYNC_BYTE0 or (data[pos + 1] & SYNC_MASK1) != SYNC_MASK1:
            raise AdtsError(f"no syncword at offset {pos}")
        length = frame_length(data, pos)
        if length < ADTS_HEADER_BYTES or pos + length > len(data):
            raise AdtsError(f"bad aac_frame_length {length} at offset {pos}")
        yield pos
        pos += length


def set_id(data):
    count = 0
    for pos in walk_frames(data):
        if not data[pos + 1] & PROTECTION_ABSENT_BIT:
            # The CRC covers the header; changing a bit under it would break it.
            raise AdtsError(f"frame at offset {pos} carries a CRC; refusing to alter it")
        data[pos + 1] |= ID_BIT
        count += 1
    return count


def check(data):
    count = 0
    for pos in walk_frames(data):
        if not data[pos + 1] & ID_BIT:
            raise AdtsError(f"frame at offset {pos} has ID 0 (MPEG-4 AAC)")
        profile = data[pos + 2] >> 6
        if profile != PROFILE_LC:
            raise AdtsError(f"frame at offset {pos} has profile {profile}, not LC")
        count += 1
    if count == 0:
        raise AdtsError("no ADTS frame")
    return count


def main(argv):
    try:
        if len(argv) == 3 and argv[1] == "--check":
            with open(argv[2], "rb") as f:
                count = check(f.read())
            print(f"{argv[2]}: {count} ADTS frames, all ID 1 (MPEG-2), AAC LC", file=sys.stderr)
            return 0
        if len(argv) == 3 and not argv[1].startswith("-"):
            with open(argv[1], "rb") as f:
                data = bytearray(f.read())
            count = set_id(data)
            check(data)
            with open(argv[2], "wb") as f:
                f.write(data)
            print(f"{argv[2]}: ID bit set in {count} ADTS frames", file=sys.stderr)
            return 0
    except (AdtsError, OSError) as e:
        print(f"adts-set-id: {e}", file=sys.stderr)
        return 1
    print(__doc__, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
