#!/usr/bin/env python3
"""Write a large synthetic transport stream for timing mendra -md.

Usage:
  make-bench-ts.py [--size-mib N] [--video mpeg2|h264] [--audio-header] OUT.ts
                                             (default 1024 MiB, MPEG-2 video)

The stream is shaped so that the delay measurement has to read all of it:
  - every frame period (1/29.97 s) is one block of 384 packets: PAT, PMT
    (program 1 on PID 0x1000: video 0x0100, stream_type 0x02, carrying the
    PCR; audio 0x0101, stream_type 0x0F), one video PES of 374 packets and one
    audio PES of 8 packets interleaved with it, about 17 Mbit/s as broadcast HD;
  - the PCR rides on the first packet of every video PES;
  - the first video PES opens with a sequence header, a GOP header and an
    I picture with temporal_reference 0, so the video start is found at once;
    every 15th block repeats them, the others hold a P picture;
  - the audio PES carry a PTS but their payload never holds an ADTS-AAC
    header (no byte 0xFF at all), so the search for the audio start runs to
    the end of the file.
Continuity counters, CRCs and PES lengths are valid, so ffprobe reads it.

--video h264 writes H.264 video instead (stream_type 0x1B), in the same
blocks: every video PES opens with an access unit delimiter; every 15th and
the very last one hold SPS, PPS and an IDR slice, the others a P slice
(nal_unit_type 1, slice_type 5 or 0). The slice data is random bytes with
emulation prevention, so the byte stream holds no start code but the real
ones and a scanner must look at every byte. Since the last picture of the
stream is a random-access one, `-gop <random_access_pictures - 1>` makes the
video pass read the whole file and report last_random_access_delay_ms.

--audio-header begins every audio PES with an ADTS-AAC header, so that the
audio start is found at once and only the video pass is timed.

Prints key=value lines on standard output: the PIDs, first_pcr, the first
video PTS and dgindex_delay_ms, the delay mendra should report for it.
"""

import os
import random
import sys

TS_PACKET_BYTES = 188
TS_PAYLOAD_BYTES = 184
SYNC_BYTE = 0x47
PAT_PID = 0x0000
PMT_PID = 0x1000
VIDEO_PID = 0x0100
AUDIO_PID = 0x0101
PROGRAM_NUMBER = 1
STREAM_TYPE_MPEG2_VIDEO = 0x02
STREAM_TYPE_AAC_ADTS = 0x0F
STREAM_TYPE_H264_VIDEO = 0x1B
BLOCK_PACKETS = 384
VIDEO_PACKETS = 374  # 384 less PAT, PMT and 8 audio packets
AUDIO_PACKETS = 8
AUDIO_EVERY = 47  # one audio packet after every 47 video packets
GOP_PICTURES = 15
FRAME_TICKS = 3003  # 90 kHz ticks per picture at 30000/1001
FIRST_PCR = 1234567890  # about 3 h 48 min: far from 0, far from the 2^33 wrap
START_LAG_TICKS = 63063  # first PTS lies 0.7007 s after the first PCR
CLOCK_MASK = (1 << 33) - 1
VIDEO_FILL = bytes([0x55, 0xAA, 0x5A, 0xA5])  # no 00 00 01: no false start code
AUDIO_FILL = bytes([0x21, 0x43, 0x65, 0x87])  # no 0xFF: no ADTS syncword


def crc32_mpeg2(data):
    crc = 0xFFFFFFFF
    for byte in data:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else (crc << 1)
            crc &= 0xFFFFFFFF
    return crc


def packet(pid, pusi, cc, payload, adaptation=None):
    """One packet; payload shorter than the room left is padded with stuffing
    in the adaptation field, as a multiplexer does."""
    if adaptation is None and len(payload) < TS_PAYLOAD_BYTES:
        # One byte short: a bare length byte of 0; more: flags byte 0, then FF.
        adaptation = b"" if TS_PAYLOAD_BYTES - len(payload) == 1 else b"\x00"
    room = TS_PAYLOAD_BYTES - (1 + len(adaptation) if adaptation is not None else 0)
    if len(payload) > room:
        raise ValueError("payload does not fit")
    if adaptation is not None:
        adaptation = adaptation + b"\xff" * (room - len(payload))
    afc = 3 if adaptation is not None else 1
    header = bytes([SYNC_BYTE, (0x40 if pusi else 0) | (pid >> 8), pid & 0xFF, (afc << 4) | cc])
    af = bytes([len(adaptation)]) + adaptation if adaptation is not None else b""
    out = header + af + payload
    assert len(out) == TS_PACKET_BYTES
    return out


def psi_packet(pid, cc, section):
    section = section + crc32_mpeg2(section).to_bytes(4, "big")
    payload = b"\x00" + section  # pointer_field 0
    return packet(pid, True, cc, payload + b"\xff" * (TS_PAYLOAD_BYTES - len(payload)))


def pat_section():
    entries = PROGRAM_NUMBER.to_bytes(2, "big") + (0xE000 | PMT_PID).to_bytes(2, "big")
    length = 5 + len(entries) + 4
    return (bytes([0x00, 0xB0 | (length >> 8), length & 0xFF])
            + b"\x00\x01"  # transport_stream_id
            + b"\xC1\x00\x00"  # version 0, current, section 0 of 0
            + entries)


def pmt_section(video_type=STREAM_TYPE_MPEG2_VIDEO):
    streams = b""
    for stream_type, pid in ((video_type, VIDEO_PID), (STREAM_TYPE_AAC_ADTS, AUDIO_PID)):
        streams += bytes([stream_type]) + (0xE000 | pid).to_bytes(2, "big") + b"\xF0\x00"
    length = 9 + len(streams) + 4
    return (bytes([0x02, 0xB0 | (length >> 8), length & 0xFF])
            + PROGRAM_NUMBER.to_bytes(2, "big")
            + b"\xC1\x00\x00"
            + (0xE000 | VIDEO_PID).to_bytes(2, "big")  # PCR_PID
            + b"\xF0\x00"  # program_info_length 0
            + streams)


def timestamp(prefix, ts):
    ts &= CLOCK_MASK
    return bytes([
        (prefix << 4) | ((ts >> 29) & 0x0E) | 1,
        (ts >> 22) & 0xFF,
        ((ts >> 14) & 0xFE) | 1,
        (ts >> 7) & 0xFF,
        ((ts << 1) & 0xFE) | 1,
    ])


def pcr_adaptation(base):
    base &= CLOCK_MASK
    return bytes([
        0x10,  # PCR_flag
        (base >> 25) & 0xFF,
        (base >> 17) & 0xFF,
        (base >> 9) & 0xFF,
        (base >> 1) & 0xFF,
        ((base & 1) << 7) | 0x7E,  # 6 reserved bits, extension high bit 0
        0x00,  # extension low byte
    ])


def bits(*fields):
    """Packs (value, width) pairs, most significant first, into bytes."""
    value = width = 0
    for v, w in fields:
        value = (value << w) | (v & ((1 << w) - 1))
        width += w
    assert width % 8 == 0
    return value.to_bytes(width // 8, "big")


SEQUENCE_HEADER = b"\x00\x00\x01\xB3" + bits(
    (720, 12), (480, 12),  # horizontal_size_value, vertical_size_value
    (2, 4), (4, 4),  # aspect_ratio_information 4:3, frame_rate_code 30000/1001
    (37500, 18), (1, 1),  # bit_rate_value (15 Mbit/s in 400 bit/s), marker
    (112, 10), (0, 1), (0, 1), (0, 1))  # vbv_buffer_size, constrained, no matrices
SEQUENCE_EXTENSION = b"\x00\x00\x01\xB5" + bits(
    (1, 4), (0x48, 8),  # sequence extension id, Main profile at Main level
    (1, 1), (1, 2),  # progressive_sequence, chroma_format 4:2:0
    (0, 2), (0, 2), (0, 12), (1, 1),  # size and bit-rate extensions, marker
    (0, 8), (0, 1), (0, 2), (0, 5))  # vbv extension, low_delay, frame-rate ext
GOP_HEADER = b"\x00\x00\x01\xB8" + bits(
    (0, 1), (0, 5), (0, 6), (1, 1), (0, 6), (0, 6),  # time_code, marker inside
    (1, 1), (0, 1), (0, 5))  # closed_gop, broken_link, padding


def picture_header(temporal_reference, coding_type):
    return b"\x00\x00\x01\x00" + bits(
        (temporal_reference, 10), (coding_type, 3), (0xFFFF, 16),  # vbv_delay
        (0, 3))  # extra_bit_picture 0 and padding


# Picture coding extension (frame picture, progressive) and the start code of
# the first slice: without them a demultiplexer cannot tell where a picture
# ends. The slice data that follows is filler, not decodable video.
PICTURE_CODING_EXTENSION = b"\x00\x00\x01\xB5" + bits(
    (8, 4), (0xFFFF, 16),  # picture coding extension id, four f_codes
    (0, 2), (3, 2),  # intra_dc_precision 8 bits, picture_structure frame
    (0, 1), (1, 1), (0, 1), (0, 1), (0, 1), (0, 1), (0, 1), (1, 1), (1, 1), (0, 1),
    (0, 6))  # flags: frame_pred_frame_dct, chroma_420_type, progressive_frame
SLICE_START = b"\x00\x00\x01\x01"


def video_pes_header(block):
    pts = FIRST_PCR + START_LAG_TICKS + block * FRAME_TICKS
    return (b"\x00\x00\x01\xE0" + b"\x00\x00"  # PES_packet_length 0: unbounded video
            + b"\x80\xC0\x0A"  # PTS and DTS, 10 header bytes
            + timestamp(3, pts) + timestamp(1, pts))


def video_start_packet(block, cc):
    gop_index = block % GOP_PICTURES
    pes = video_pes_header(block)
    if gop_index == 0:
        es = SEQUENCE_HEADER + SEQUENCE_EXTENSION + GOP_HEADER + picture_header(0, 1)
    else:
        es = picture_header(gop_index, 2)
    es += PICTURE_CODING_EXTENSION + SLICE_START
    adaptation = pcr_adaptation(FIRST_PCR + block * FRAME_TICKS)
    room = TS_PAYLOAD_BYTES - 1 - len(adaptation) - len(pes) - len(es)
    fill = (VIDEO_FILL * (room // len(VIDEO_FILL) + 1))[:room]
    return packet(VIDEO_PID, True, cc, pes + es + fill, adaptation)


# H.264: each unit after a four-byte start code. The parameter sets are
# plausible, not decodable; the scanner reads only the NAL unit types and
# the first two fields of a slice header.
H264_AUD = b"\x00\x00\x00\x01\x09\xF0"  # primary_pic_type 7, stop bit
H264_SPS = b"\x00\x00\x00\x01\x67\x64\x00\x28\xAC\xD1\x00\x78\x02\x27\xE5\xC0\x44"
H264_PPS = b"\x00\x00\x00\x01\x68\xEB\xE3\xCB\x22\xC0"
# nal_ref_idc 3, IDR slice; first_mb_in_slice ue(0) "1", slice_type ue(7) "0001000"
H264_IDR_SLICE = b"\x00\x00\x01\x65\x88"
# nal_ref_idc 2, non-IDR slice; first_mb_in_slice "1", then slice_type
# ue(5) "00110" (all slices P) or ue(0) "1" (this slice P), padded with 1s.
H264_P_SLICES = (b"\x00\x00\x01\x41\x9B", b"\x00\x00\x01\x41\xFF")
H264_SEED = 0x4D454E44
H264_CONT_PACKETS = 256  # distinct continuation payloads, a multiple of 16


def escaped_random(rng, n):
    """n random bytes as slice data: 03 is put after every 00 00 that would
    be followed by 00 to 03, and the first and last byte are never 00, so
    no start code arises inside them nor where two of them meet."""
    out = bytearray()
    zeros = 0
    for byte in rng.randbytes(n + n // 64 + 8):
        if zeros >= 2 and byte <= 3:
            out.append(3)
            zeros = 0
        out.append(byte)
        zeros = zeros + 1 if byte == 0 else 0
        if len(out) >= n:
            break
    out = out[:n]
    if len(out) != n:
        raise ValueError("random bytes ran short")
    for at in (0, n - 1):
        if n and out[at] == 0:
            out[at] = 0x5A
    return bytes(out)


def h264_start_packet(block, cc, idr, rng):
    pes = video_pes_header(block)
    if idr:
        es = H264_AUD + H264_SPS + H264_PPS + H264_IDR_SLICE
    else:
        es = H264_AUD + H264_P_SLICES[block % 2]
    adaptation = pcr_adaptation(FIRST_PCR + block * FRAME_TICKS)
    room = TS_PAYLOAD_BYTES - 1 - len(adaptation) - len(pes) - len(es)
    return packet(VIDEO_PID, True, cc, pes + es + escaped_random(rng, room), adaptation)


AUDIO_PES_HEADER_BYTES = 14  # start code, length, flags, 5 PTS bytes


def adts_header(frame_bytes):
    """MPEG-2 AAC LC, 48 kHz, two channels, no CRC."""
    return bytes([
        0xFF, 0xF9,  # syncword, ID 1, layer 0, protection_absent
        0x4C,  # profile LC, sampling index 3 (48 kHz), private bit, channels high bit
        0x80 | ((frame_bytes >> 11) & 3),  # two channels, frame_length high bits
        (frame_bytes >> 3) & 0xFF,
        ((frame_bytes & 7) << 5) | 0x1F,  # buffer fullness 0x7FF
        0xFC,  # one raw data block
    ])


def audio_start_packet(block, cc, with_header=False):
    pts = FIRST_PCR + START_LAG_TICKS + block * FRAME_TICKS
    payload_bytes = AUDIO_PACKETS * TS_PAYLOAD_BYTES - AUDIO_PES_HEADER_BYTES
    pes_length = 3 + 5 + payload_bytes  # bytes after the length field
    pes = (b"\x00\x00\x01\xC0" + pes_length.to_bytes(2, "big")
           + b"\x80\x80\x05" + timestamp(2, pts))
    if with_header:
        pes += adts_header(payload_bytes)  # one frame fills the PES
    room = TS_PAYLOAD_BYTES - len(pes)
    return packet(AUDIO_PID, True, cc, pes + (AUDIO_FILL * (room // 4 + 1))[:room])


def parse_args(args):
    """(size_mib, video, audio_header, out) or None."""
    size_mib, video, audio_header = 1024, "mpeg2", False
    while len(args) > 1:
        if args[0] == "--size-mib" and len(args) > 2:
            size_mib, args = int(args[1]), args[2:]
        elif args[0] == "--video" and len(args) > 2 and args[1] in ("mpeg2", "h264"):
            video, args = args[1], args[2:]
        elif args[0] == "--audio-header":
            audio_header, args = True, args[1:]
        else:
            return None
    if len(args) != 1 or size_mib < 1:
        return None
    return size_mib, video, audio_header, args[0]


def main(argv):
    parsed = parse_args(argv[1:])
    if parsed is None:
        print(__doc__, file=sys.stderr)
        return 1
    size_mib, video, audio_header, out_path = parsed
    h264 = video == "h264"
    target_bytes = size_mib * 1024 * 1024
    block_bytes = BLOCK_PACKETS * TS_PACKET_BYTES

    video_type = STREAM_TYPE_H264_VIDEO if h264 else STREAM_TYPE_MPEG2_VIDEO
    pat = [psi_packet(PAT_PID, cc, pat_section()) for cc in range(16)]
    pmt = [psi_packet(PMT_PID, cc, pmt_section(video_type)) for cc in range(16)]
    audio_fill = (AUDIO_FILL * (TS_PAYLOAD_BYTES // 4))[:TS_PAYLOAD_BYTES]
    rng = random.Random(H264_SEED)
    if h264:
        # Continuation packet n of the PID has cc n % 16 and payload n % 256.
        video_cont = [packet(VIDEO_PID, False, n % 16, escaped_random(rng, TS_PAYLOAD_BYTES))
                      for n in range(H264_CONT_PACKETS)]
    else:
        video_fill = (VIDEO_FILL * (TS_PAYLOAD_BYTES // 4))[:TS_PAYLOAD_BYTES]
        video_cont = [packet(VIDEO_PID, False, cc, video_fill) for cc in range(16)]
    audio_cont = [packet(AUDIO_PID, False, cc, audio_fill) for cc in range(16)]

    written = 0
    block = 0
    video_n = audio_cc = 0  # video packets written; the video cc is video_n % 16
    random_access = []  # blocks whose picture is a random-access one
    tmp = out_path + ".part"
    with open(tmp, "wb") as out:
        while written < target_bytes:
            parts = [pat[block % 16], pmt[block % 16]]
            audio = [audio_start_packet(block, audio_cc, audio_header)]
            audio += [audio_cont[(audio_cc + k) % 16] for k in range(1, AUDIO_PACKETS)]
            audio_cc = (audio_cc + AUDIO_PACKETS) % 16
            if h264:
                last = written + block_bytes >= target_bytes
                idr = block % GOP_PICTURES == 0 or last
                start = h264_start_packet(block, video_n % 16, idr, rng)
            else:
                idr = block % GOP_PICTURES == 0
                start = video_start_packet(block, video_n % 16)
            if idr:
                random_access.append(block)
            for k in range(VIDEO_PACKETS):
                if k == 0:
                    parts.append(start)
                else:
                    parts.append(video_cont[(video_n + k) % len(video_cont)])
                if k % AUDIO_EVERY == AUDIO_EVERY - 1 and audio:
                    parts.append(audio.pop(0))
            parts.extend(audio)
            video_n += VIDEO_PACKETS
            data = b"".join(parts)
            assert len(data) == block_bytes
            out.write(data)
            written += len(data)
            block += 1
    os.replace(tmp, out_path)

    first_pts = FIRST_PCR + START_LAG_TICKS
    last_pts = first_pts + random_access[-1] * FRAME_TICKS
    print(f"bytes={written}")
    print(f"video={video}")
    print(f"pmt_pid={PMT_PID}")
    print(f"pcr_pid={VIDEO_PID}")
    print(f"video_pid={VIDEO_PID}")
    print(f"audio_pid={AUDIO_PID}")
    print(f"first_pcr={FIRST_PCR}")
    print(f"video_start_pts={first_pts}")
    print(f"dgindex_delay_ms={delay_ms(FIRST_PCR, first_pts)}")
    print(f"random_access_pictures={len(random_access)}")
    print(f"last_random_access_pts={last_pts}")
    print(f"last_random_access_delay_ms={delay_ms(FIRST_PCR, last_pts)}")
    return 0


def delay_ms(pcr, pts):
    """PCR minus PTS in ms, truncated toward zero (no wrap: the clocks stay
    far below 2^33)."""
    diff = pcr - pts
    return -(-diff // 90) if diff < 0 else diff // 90


if __name__ == "__main__":
    sys.exit(main(sys.argv))
