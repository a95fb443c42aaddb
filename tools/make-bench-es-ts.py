#!/usr/bin/env python3
"""Wrap a real H.264 elementary stream into a large transport stream for
timing mendra's H.264 scanner on encoder output.

Usage:
  make-bench-es-ts.py [--size-mib N] ES.264 OUT.ts       (default 1024 MiB)
  make-bench-es-ts.py --y4m SOURCE.y4m

--y4m writes the source the bench encodes: 60 pictures of 1280x720 at
30000/1001, a moving gradient with a little noise and moving chroma; x264
--qp 0 (lossless) makes of it about 70 Mbit/s with many runs of zeros.

ES.264 is an Annex B byte stream whose access units each begin with an
access unit delimiter (x264 --aud), whose first access unit is its only
random-access picture (x264 --keyint infinite --no-scenecut) and which has
no B pictures (--bframes 0), so that decode order is presentation order.
Encoder output holds what the synthetic streams of make-bench-ts.py do not:
runs of zero bytes and emulation prevention bytes as the entropy coder
leaves them.

The stream: PAT and PMT (as make-bench-ts.py writes them, video stream_type
0x1B), one audio PES with an ADTS-AAC header at the head (the audio start is
found at once), then one video PES per access unit, the PCR on each PES's
first packet. The access units of ES.264 are repeated, the first one (the
random-access picture) only at the head and once more as the very last
picture, so that `-gop 1` makes the video pass read the whole file.

Prints key=value lines as make-bench-ts.py does, with
last_random_access_delay_ms the delay mendra -md -gop 1 must report.
"""

import importlib.util
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location("bench_ts", os.path.join(HERE, "make-bench-ts.py"))
bench = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(bench)

AUD_PREFIXES = (b"\x00\x00\x00\x01\x09", b"\x00\x00\x01\x09")


def access_units(es):
    """The access units of an Annex B stream, split before every AUD."""
    starts = []
    at = 0
    while True:
        at = es.find(b"\x00\x00\x01\x09", at)
        if at < 0:
            break
        starts.append(at - 1 if at > 0 and es[at - 1] == 0 else at)
        at += 4
    if not starts or starts[0] != 0:
        raise ValueError("the stream must begin with an access unit delimiter (x264 --aud)")
    starts.append(len(es))
    return [es[a:b] for a, b in zip(starts, starts[1:])]


def video_pes_packets(au, pts, cc):
    """The packets of one video PES holding one access unit; the first one
    carries the PCR. Returns (packets, next cc)."""
    pes = (b"\x00\x00\x01\xE0\x00\x00\x80\xC0\x0A"
           + bench.timestamp(3, pts) + bench.timestamp(1, pts) + au)
    packets = []
    adaptation = bench.pcr_adaptation(pts - bench.START_LAG_TICKS)
    first_room = bench.TS_PAYLOAD_BYTES - 1 - len(adaptation)
    packets.append(bench.packet(bench.VIDEO_PID, True, cc, pes[:first_room], adaptation))
    cc = (cc + 1) % 16
    at = first_room
    while at < len(pes):
        chunk = pes[at:at + bench.TS_PAYLOAD_BYTES]
        packets.append(bench.packet(bench.VIDEO_PID, False, cc, chunk))
        cc = (cc + 1) % 16
        at += len(chunk)
    return packets, cc


def write_source(path, width=1280, height=720, frames=60):
    """A raw 4:2:0 source: a gradient that moves from picture to picture,
    noise of two bits on it, and chroma that moves too."""
    luma_bytes = width * height
    chroma_bytes = luma_bytes // 4
    low_bits = bytes(i & 0x03 for i in range(256))
    base = bytes(16 + ((x * 3) // 16) % 200 for x in range(width))
    with open(path, "wb") as out:
        out.write(b"YUV4MPEG2 W%d H%d F30000:1001 Ip A1:1 C420jpeg\n" % (width, height))
        for k in range(frames):
            rows = bytearray()
            for r in range(height):
                s = (r // 4 + k * 5) % width
                rows += base[s:] + base[:s]
            # Bytes below 220 plus noise below 4 never carry into each other.
            noise = os.urandom(luma_bytes).translate(low_bits)
            luma = (int.from_bytes(rows, "big") + int.from_bytes(noise, "big")).to_bytes(
                luma_bytes, "big")
            cb = bytes(((x + k) % 64) + 100 for x in range(width // 2)) * (height // 2)
            out.write(b"FRAME\n" + luma + cb + bytes([128]) * chroma_bytes)


def main(argv):
    args = argv[1:]
    if len(args) == 2 and args[0] == "--y4m":
        write_source(args[1])
        return 0
    size_mib = 1024
    if len(args) == 4 and args[0] == "--size-mib":
        size_mib, args = int(args[1]), args[2:]
    if len(args) != 2 or size_mib < 1:
        print(__doc__, file=sys.stderr)
        return 1
    es_path, out_path = args
    with open(es_path, "rb") as f:
        units = access_units(f.read())
    if len(units) < 2:
        raise ValueError("the stream needs at least two access units")
    target_bytes = size_mib * 1024 * 1024

    pat = bench.psi_packet(bench.PAT_PID, 0, bench.pat_section())
    pmt = bench.psi_packet(bench.PMT_PID, 0, bench.pmt_section(bench.STREAM_TYPE_H264_VIDEO))
    first_pts = bench.FIRST_PCR + bench.START_LAG_TICKS
    written = 0
    picture = 0
    cc = 0
    tmp = out_path + ".part"
    with open(tmp, "wb") as out:
        out.write(pat + pmt + bench.audio_start_packet(0, 0, True))
        written += 3 * bench.TS_PACKET_BYTES
        sequence = 0  # position in the repeated units; unit 0 only at the head
        while True:
            unit = units[sequence]
            pts = first_pts + picture * bench.FRAME_TICKS
            packets, next_cc = video_pes_packets(unit, pts, cc)
            data = b"".join(packets)
            # Room is kept for the closing random-access picture.
            closing = len(units[0]) + len(units[0]) // bench.TS_PAYLOAD_BYTES * 8 + 4096
            if picture > 0 and written + len(data) + closing >= target_bytes:
                break
            out.write(data)
            written += len(data)
            cc = next_cc
            picture += 1
            sequence = sequence + 1 if sequence + 1 < len(units) else 1
        last_pts = first_pts + picture * bench.FRAME_TICKS
        packets, cc = video_pes_packets(units[0], last_pts, cc)
        data = b"".join(packets)
        out.write(data)
        written += len(data)
    os.replace(tmp, out_path)

    print(f"bytes={written}")
    print("video=h264-es")
    print(f"pmt_pid={bench.PMT_PID}")
    print(f"pcr_pid={bench.VIDEO_PID}")
    print(f"video_pid={bench.VIDEO_PID}")
    print(f"audio_pid={bench.AUDIO_PID}")
    print(f"first_pcr={bench.FIRST_PCR}")
    print(f"video_start_pts={first_pts}")
    print(f"dgindex_delay_ms={bench.delay_ms(bench.FIRST_PCR, first_pts)}")
    print("random_access_pictures=2")
    print(f"last_random_access_pts={last_pts}")
    print(f"last_random_access_delay_ms={bench.delay_ms(bench.FIRST_PCR, last_pts)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
