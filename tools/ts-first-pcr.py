#!/usr/bin/env python3
"""Read the program's PIDs and first PCR out of an MPEG-2 transport stream.

An independent reference for the values mendra measures, written without any
of mendra's code: the test fixtures' expectations are checked against it and
against ffprobe, so that a fault in mendra cannot confirm itself.

Usage:
  ts-first-pcr.py [--pmt-pid HEX] [--pictures N] FILE.ts

Prints key=value lines:
  sync_offset        byte offset of the first packet's sync byte (0x47
                     repeating every 188 bytes, or every 192 bytes in a stream
                     whose packets carry a 4-byte time stamp before the sync
                     byte, as .m2ts files do); a recording cut mid-packet
                     starts later than 0
  packet_bytes       188, or 192 for time-stamped packets (printed only then)
  prefix_0x47_bytes  0x47 bytes before that offset (false sync candidates)
  pmt_pid pcr_pid video_pid audio_pid
                     from the first PAT program with a non-zero number (or
                     --pmt-pid) and the first PMT section; video is the first
                     stream of a video type (0x02 MPEG-2, 0x1B H.264, 0x24
                     HEVC), audio the first of an audio type (0x0F ADTS-AAC,
                     0x11 LATM-AAC, 0x03/0x04 MPEG audio, 0x81 AC-3, 0x87
                     E-AC-3); 0 when absent
  video_type audio_type
                     their stream types (printed only for types other than
                     0x02 and 0x0F)
  first_pcr          PCR base (90 kHz) of the first packet on pcr_pid, after
                     the PMT was read, whose adaptation field has PCR_flag set
  first_pcr_offset   byte offset of that packet's sync byte
  afs_without_pcr_before_first_pcr
                     packets on pcr_pid, after the PMT, whose adaptation field
                     is 7 bytes or longer but has no PCR_flag, before first_pcr
                     (a reader that ignores the flag would take one of them)
  first_pcr_in_file  first PCR on pcr_pid anywhere, PMT seen or not
  iframe_pts         PTS of the first I picture in stream (decode) order
  video_start_pts    PTS of the first picture with temporal_reference 0 at or
                     after that I picture, in stream order (both MPEG-2 video
                     only; 0 for other video types, which ffprobe reads)
  video_packets_before_first_pes, audio_packets_before_first_pes
                     packets of the PID before its first PES start: the tail
                     of a PES cut off by the start of the recording
  audio_pts          PTS of the first audio PES start in the file
  adts_frames adts_id0_frames adts_bad_walk
                     (ADTS-AAC only) the audio PES payloads of the whole file joined and walked
                     frame by frame by aac_frame_length, from the first PES start
With --pictures N, also the first N video PES starts in file order: byte offset,
PES PTS and the first picture header's temporal_reference and coding type.
Exit status 0, or 1 when the file has no packets, PAT/PMT or PCR.
"""

import sys

TS_PACKET_BYTES = 188
TIME_STAMP_BYTES = 4  # before every sync byte of a 192-byte packet
SYNC_BYTE = 0x47
SYNC_CONFIRM_PACKETS = 5  # a sync byte counts when the next packets line up too
PAT_PID = 0x0000
TABLE_ID_PAT = 0x00
TABLE_ID_PMT = 0x02
STREAM_TYPE_MPEG2_VIDEO = 0x02
STREAM_TYPE_AAC_ADTS = 0x0F
VIDEO_TYPES = (STREAM_TYPE_MPEG2_VIDEO, 0x1B, 0x24)
AUDIO_TYPES = (STREAM_TYPE_AAC_ADTS, 0x11, 0x03, 0x04, 0x81, 0x87)
PCR_FLAG = 0x10
PCR_MIN_AF_BYTES = 7  # flags byte + 6 PCR bytes
PICTURE_TYPES = "-IPB----"


def find_sync(data, start, stride=TS_PACKET_BYTES, whole=False):
    """First offset >= start at which 0x47 repeats every `stride` bytes (all
    SYNC_CONFIRM_PACKETS of them inside the file when `whole`)."""
    pos = start
    while pos < len(data):
        pos = data.find(bytes([SYNC_BYTE]), pos)
        if pos < 0:
            return -1
        ok = True
        for k in range(1, SYNC_CONFIRM_PACKETS):
            q = pos + k * stride
            if q >= len(data):
                ok = not whole
                break
            if data[q] != SYNC_BYTE:
                ok = False
                break
        if ok:
            return pos
        pos += 1
    return -1


def packet_stride(data):
    """188, or 192 when the first sync bytes stand 192 bytes apart (checked
    from the whole file's first confirmed sync byte, whichever size confirms
    first; a file too short to hold them all is taken as 188)."""
    plain = find_sync(data, 0, TS_PACKET_BYTES, whole=True)
    stamped = find_sync(data, 0, TS_PACKET_BYTES + TIME_STAMP_BYTES, whole=True)
    if stamped >= 0 and (plain < 0 or stamped < plain):
        return TS_PACKET_BYTES + TIME_STAMP_BYTES
    return TS_PACKET_BYTES


def packets(data):
    """Yields (offset of the sync byte, 188 packet bytes) of every whole
    packet, resyncing on loss; a time stamp before the sync byte is passed
    over."""
    stride = packet_stride(data)
    pos = find_sync(data, 0, stride)
    while 0 <= pos and pos + TS_PACKET_BYTES <= len(data):
        if data[pos] != SYNC_BYTE:
            pos = find_sync(data, pos, stride)
            continue
        yield pos, data[pos : pos + TS_PACKET_BYTES]
        pos += stride


def split_packet(pkt):
    """Returns pid, payload_unit_start, adaptation field bytes, payload bytes."""
    pid = ((pkt[1] & 0x1F) << 8) | pkt[2]
    pusi = bool(pkt[1] & 0x40)
    afc = (pkt[3] >> 4) & 3
    pos = 4
    af = b""
    if afc in (2, 3):
        af_len = pkt[4]
        af = pkt[5 : 5 + af_len]
        pos = 5 + af_len
    payload = pkt[pos:] if afc in (1, 3) and pos <= TS_PACKET_BYTES else b""
    return pid, pusi, af, payload


def pcr_base(af):
    # PCR_flag in the flags byte, then 33 bits of base, 6 reserved, 9 extension.
    if len(af) < PCR_MIN_AF_BYTES or not af[0] & PCR_FLAG:
        return None
    b = af[1:6]
    return (b[0] << 25) | (b[1] << 17) | (b[2] << 9) | (b[3] << 1) | (b[4] >> 7)


def section_of(payload):
    """Section bytes of a PSI start payload (after the pointer field)."""
    if not payload:
        return b""
    pointer = payload[0]
    return payload[1 + pointer :]


def parse_pat(sec):
    if len(sec) < 8 or sec[0] != TABLE_ID_PAT:
        return None
    length = ((sec[1] << 8) | sec[2]) & 0x0FFF
    end = min(3 + length - 4, len(sec))  # stop before CRC_32
    pos = 8
    while pos + 4 <= end:
        program = (sec[pos] << 8) | sec[pos + 1]
        pid = ((sec[pos + 2] << 8) | sec[pos + 3]) & 0x1FFF
        if program != 0:
            return pid
        pos += 4
    return None


def parse_pmt(sec):
    if len(sec) < 12 or sec[0] != TABLE_ID_PMT:
        return None
    length = ((sec[1] << 8) | sec[2]) & 0x0FFF
    if 3 + length > len(sec):
        raise SystemExit("PMT section continues past its packet; not handled here")
    pcr_pid = ((sec[8] << 8) | sec[9]) & 0x1FFF
    info_len = ((sec[10] << 8) | sec[11]) & 0x0FFF
    pos = 12 + info_len
    end = 3 + length - 4
    video = audio = 0
    types = {}
    while pos + 5 <= end:
        stream_type = sec[pos]
        pid = ((sec[pos + 1] << 8) | sec[pos + 2]) & 0x1FFF
        es_len = ((sec[pos + 3] << 8) | sec[pos + 4]) & 0x0FFF
        if stream_type in VIDEO_TYPES and not video:
            video = pid
        if stream_type in AUDIO_TYPES and not audio:
            audio = pid
        types.setdefault(pid, stream_type)
        pos += 5 + es_len
    return pcr_pid, video, audio, types


def pes_payload(payload):
    """Splits a PES start payload into (PTS or None, elementary-stream bytes)."""
    if len(payload) < 9 or payload[0:3] != b"\x00\x00\x01":
        return None, b""
    flags = payload[7] >> 6  # PTS_DTS_flags
    header_len = payload[8]
    pts = None
    if flags & 2 and len(payload) >= 14:
        p = payload[9:14]
        pts = (
            ((p[0] >> 1) & 7) << 30
            | p[1] << 22
            | (p[2] >> 1) << 15
            | p[3] << 7
            | p[4] >> 1
        )
    return pts, payload[9 + header_len :]


def first_picture(es):
    pos = es.find(b"\x00\x00\x01\x00")
    if pos < 0 or pos + 6 > len(es):
        return None
    tr = (es[pos + 4] << 2) | (es[pos + 5] >> 6)  # temporal_reference, 10 bits
    coding = (es[pos + 5] >> 3) & 7  # picture_coding_type, 3 bits
    return tr, PICTURE_TYPES[coding]


def walk_adts(es):
    frames = id0 = 0
    pos = 0
    while pos + 7 <= len(es):
        if es[pos] != 0xFF or es[pos + 1] & 0xF0 != 0xF0:
            return frames, id0, pos
        if not es[pos + 1] & 0x08:
            id0 += 1
        length = ((es[pos + 3] & 3) << 11) | (es[pos + 4] << 3) | (es[pos + 5] >> 5)
        if length < 7:
            return frames, id0, pos
        frames += 1
        pos += length
    # A frame cut off by the end of the file is not a fault of the stream.
    return frames, id0, -1


def read_psi_and_pcr(data, forced_pmt):
    """Pass over the file like a receiver that just tuned in: PAT, PMT, PCR."""
    r = dict(pmt_pid=forced_pmt, pcr_pid=0, video_pid=0, audio_pid=0, first_pcr=None,
             first_pcr_offset=None, afs_without_pcr=0, first_pcr_in_file=None, types={})
    pmt_seen = False
    for offset, pkt in packets(data):
        pid, pusi, af, payload = split_packet(pkt)
        if pid == PAT_PID and not r["pmt_pid"] and pusi:
            r["pmt_pid"] = parse_pat(section_of(payload)) or 0
            continue
        if r["pmt_pid"] and pid == r["pmt_pid"] and pusi and not pmt_seen:
            parsed = parse_pmt(section_of(payload))
            if parsed:
                r["pcr_pid"], r["video_pid"], r["audio_pid"], r["types"] = parsed
                pmt_seen = True
            continue
        if pmt_seen and pid == r["pcr_pid"]:
            base = pcr_base(af)
            if base is not None:
                r["first_pcr"], r["first_pcr_offset"] = base, offset
                break
            if len(af) >= PCR_MIN_AF_BYTES:
                r["afs_without_pcr"] += 1
    # The first PCR regardless of where the PMT stands: differs from first_pcr
    # only when a recording starts between a PCR and the next PAT/PMT.
    for offset, pkt in packets(data):
        pid, _, af, _ = split_packet(pkt)
        if r["pcr_pid"] and pid == r["pcr_pid"] and pcr_base(af) is not None:
            r["first_pcr_in_file"] = pcr_base(af)
            break
    return r


def read_video_starts(data, video_pid):
    """Every video PES start in file order: (offset, PTS, (tr, type) or None)."""
    starts = []
    for offset, pkt in packets(data):
        pid, pusi, _, payload = split_packet(pkt)
        if pid == video_pid and pusi:
            pts, es = pes_payload(payload)
            starts.append((offset, pts, first_picture(es)))
    return starts


def start_pictures(starts):
    """PTS of the first I picture, and of the first picture with
    temporal_reference 0 at or after it, both in stream (decode) order."""
    iframe_pts = start_pts = None
    for _, pts, pic in starts:
        if pic is None:
            continue
        tr, kind = pic
        if iframe_pts is None and kind == "I":
            iframe_pts = pts
        if iframe_pts is not None and tr == 0:
            start_pts = pts
            break
    return iframe_pts, start_pts


def read_audio(data, audio_pid):
    """PTS of the first audio PES start, and the joined PES payloads from it."""
    first_pts = None
    es = bytearray()
    for _, pkt in packets(data):
        pid, pusi, _, payload = split_packet(pkt)
        if pid != audio_pid or not payload:
            continue
        if pusi:
            pts, payload = pes_payload(payload)
            if first_pts is None:
                first_pts = pts
        if first_pts is not None:
            es += payload
    return first_pts, es


def packets_before_first_start(data, wanted_pid):
    """Packets of a PID met before its first PES start (payload_unit_start)."""
    count = 0
    for _, pkt in packets(data):
        pid, pusi, _, _ = split_packet(pkt)
        if pid == wanted_pid:
            if pusi:
                return count
            count += 1
    return count


def main(argv):
    args = argv[1:]
    forced_pmt = 0
    pictures = 0
    while len(args) > 1 and args[0].startswith("--"):
        if args[0] == "--pmt-pid":
            forced_pmt = int(args[1], 16)
        elif args[0] == "--pictures":
            pictures = int(args[1])
        else:
            break
        args = args[2:]
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 1
    with open(args[0], "rb") as f:
        data = f.read()

    stride = packet_stride(data)
    sync = find_sync(data, 0, stride)
    if sync < 0:
        print("no transport packets", file=sys.stderr)
        return 1
    r = read_psi_and_pcr(data, forced_pmt)
    video_type = r["types"].get(r["video_pid"], 0)
    audio_type = r["types"].get(r["audio_pid"], 0)
    mpeg2_video = video_type == STREAM_TYPE_MPEG2_VIDEO
    starts = read_video_starts(data, r["video_pid"]) if mpeg2_video else []
    iframe_pts, start_pts = start_pictures(starts)

    def num(v):
        return 0 if v is None else v

    print(f"sync_offset={sync}")
    if stride != TS_PACKET_BYTES:
        print(f"packet_bytes={stride}")
    print(f"prefix_0x47_bytes={data[:sync].count(SYNC_BYTE)}")
    for key in ("pmt_pid", "pcr_pid", "video_pid", "audio_pid"):
        print(f"{key}=0x{r[key]:04X}")
    if video_type not in (0, STREAM_TYPE_MPEG2_VIDEO):
        print(f"video_type=0x{video_type:02X}")
    if audio_type not in (0, STREAM_TYPE_AAC_ADTS):
        print(f"audio_type=0x{audio_type:02X}")
    print(f"first_pcr={num(r['first_pcr'])}")
    print(f"first_pcr_offset={-1 if r['first_pcr_offset'] is None else r['first_pcr_offset']}")
    print(f"afs_without_pcr_before_first_pcr={r['afs_without_pcr']}")
    print(f"first_pcr_in_file={num(r['first_pcr_in_file'])}")
    print(f"iframe_pts={num(iframe_pts)}")
    print(f"video_start_pts={num(start_pts)}")
    if r["video_pid"]:
        print(f"video_packets_before_first_pes={packets_before_first_start(data, r['video_pid'])}")
    if r["audio_pid"]:
        audio_pts, es = read_audio(data, r["audio_pid"])
        print(f"audio_pts={num(audio_pts)}")
        print(f"audio_packets_before_first_pes={packets_before_first_start(data, r['audio_pid'])}")
        if audio_type == STREAM_TYPE_AAC_ADTS:
            frames, id0, bad = walk_adts(es)
            print(f"adts_frames={frames}")
            print(f"adts_id0_frames={id0}")
            print(f"adts_bad_walk={bad}")
    for offset, pts, pic in starts[:pictures]:
        pic_text = f"tr={pic[0]} type={pic[1]}" if pic else "no picture header"
        print(f"video_pes offset={offset} pts={pts} {pic_text}")
    return 0 if r["first_pcr"] is not None else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
