#!/usr/bin/env python3
"""Derive the values mendra should measure on the test streams, from ffprobe.

Usage:
  ts-expected.py DIR NAME...              expected.txt lines for DIR/NAME.ts
                                          (DIR/NAME when NAME has an extension)
  ts-expected.py --markdown DIR NAME...   the same as tables for README.md

Every value comes from ffprobe, except the first PCR, which ffprobe does not
show; that one, and a second opinion on every other value, comes from
ts-first-pcr.py. The two must agree or this exits 1, so a wrong reading in one
of them cannot slip into the expectations.

From ffprobe:
  PIDs         ffprobe -show_programs -show_streams: the program's pmt_pid and
               pcr_pid, the id of the first video stream (mpeg2video, h264,
               hevc) and of the first audio stream (aac, aac_latm, ac3, eac3,
               mp2)
  I picture    ffprobe -show_packets -select_streams v (stream = decode order,
               pts, pos) joined by pos with ffprobe -show_frames (pict_type):
               the first packet whose picture is I
  start        the first picture with temporal_reference 0 at or after that I
               in decode order. temporal_reference numbers a GOP's pictures
               in display order from 0, and every I here opens a GOP, so it is
               the packet of smallest PTS from that I up to the next I
  audio        ffprobe -show_packets -select_streams a: the first packet's PTS
               (the PTS of the first whole audio PES)
For H.264 and HEVC video the I picture is the first keyframe (flag K: an IDR
or a recovery point; with open GOPs the later ones are not IDR), and the
start is that same random-access picture: the leading pictures of an open
GOP that show before it refer to pictures before it, which a recording that
starts there lacks. ts-first-pcr.py reads only MPEG-2 pictures, so both come
from ffprobe alone.
Delays, as mendra computes them: (first PCR - PTS) / 90 in milliseconds,
truncated toward zero, where a PTS more than 5000 ticks below the PCR has
wrapped past 2^33 and the PCR is taken minus 2^33.
"""

import json
import os
import subprocess
import sys

CLOCK_WRAP = 1 << 33  # PCR base and PTS are 33-bit counts of 90 kHz
WRAP_SLACK_TICKS = 5000
TICKS_PER_MS = 90
TOOLS = os.path.dirname(os.path.abspath(__file__))


def ffprobe(path, *args):
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-of", "json", *args, path],
        check=True,
        capture_output=True,
        text=True,
    ).stdout
    return json.loads(out)


def reference_reader(path):
    out = subprocess.run(
        [sys.executable, os.path.join(TOOLS, "ts-first-pcr.py"), path],
        check=True,
        capture_output=True,
        text=True,
    ).stdout
    values = {}
    for line in out.splitlines():
        key, _, value = line.partition("=")
        values[key] = int(value, 0)
    return values


def clock_delay_ms(pcr, pts):
    diff = pcr - pts
    if pts + WRAP_SLACK_TICKS < pcr:
        diff = pcr - CLOCK_WRAP - pts
    ms = abs(diff) // TICKS_PER_MS  # truncation toward zero
    return -ms if diff < 0 else ms


VIDEO_CODECS = ("mpeg2video", "h264", "hevc")
AUDIO_CODECS = ("aac", "aac_latm", "ac3", "eac3", "mp2")


def derive(path):
    info = ffprobe(path, "-show_programs", "-show_streams")
    program = info["programs"][0]
    v = {"pmt_pid": program["pmt_pid"], "pcr_pid": program["pcr_pid"]}
    v["video_pid"] = v["audio_pid"] = 0
    mpeg2 = False
    for stream in program["streams"]:
        pid = int(stream["id"], 16)
        if stream["codec_name"] in VIDEO_CODECS and not v["video_pid"]:
            v["video_pid"] = pid
            mpeg2 = stream["codec_name"] == "mpeg2video"
        if stream["codec_name"] in AUDIO_CODECS and not v["audio_pid"]:
            v["audio_pid"] = pid

    packets = ffprobe(
        path, "-select_streams", "v:0", "-show_packets", "-show_entries", "packet=pts,dts,flags,pos"
    )["packets"]
    frames = ffprobe(
        path, "-select_streams", "v:0", "-show_frames", "-show_entries", "frame=pkt_pos,pict_type"
    )["frames"]
    # Pictures before the first sequence header of a recording that starts in
    # mid-stream, and B pictures that refer into the GOP cut off, are not
    # decoded and have no frame: their type shows as "-".
    types = {int(f["pkt_pos"]): f["pict_type"] for f in frames if "pkt_pos" in f}
    # ffprobe shows a clock that has wrapped either as the small raw value or
    # unwrapped past 2^33; the stream holds it modulo 2^33.
    video = [
        (int(p["pts"]) % CLOCK_WRAP, types.get(int(p["pos"]), "-"), p["flags"], int(p["pos"]))
        for p in packets
    ]
    if mpeg2:
        for pts, kind, flags, pos in video:
            if (kind == "I") != flags.startswith("K"):
                raise SystemExit(f"{path}: picture at {pos}: type {kind} but flags {flags}")

    def opens_gop(p):
        return p[1] == "I" if mpeg2 else p[2].startswith("K")

    first_i = next(k for k, p in enumerate(video) if opens_gop(p))
    next_i = next((k for k in range(first_i + 1, len(video)) if opens_gop(video[k])), len(video))
    gop = video[first_i:next_i]
    v["iframe_pts"] = video[first_i][0]
    start = min(gop, key=lambda p: p[0]) if mpeg2 else video[first_i]
    v["video_start_pts"] = start[0]
    v["video_trace"] = video[: video.index(start) + 1]

    v["audio_pts"] = 0
    if v["audio_pid"]:
        audio = ffprobe(
            path, "-select_streams", "a:0", "-show_packets", "-show_entries", "packet=pts"
        )["packets"]
        v["audio_pts"] = int(audio[0]["pts"]) % CLOCK_WRAP

    ref = reference_reader(path)
    v["first_pcr"] = ref["first_pcr"]
    v["sync_offset"] = ref["sync_offset"]
    v["first_pcr_in_file"] = ref["first_pcr_in_file"]
    keys = ("pmt_pid", "pcr_pid", "video_pid", "audio_pid")
    if mpeg2:
        keys += ("iframe_pts", "video_start_pts")
    for key in keys:
        if ref[key] != v[key]:
            raise SystemExit(f"{path}: {key}: ffprobe {v[key]}, ts-first-pcr.py {ref[key]}")
    if v["audio_pid"] and ref["audio_pts"] != v["audio_pts"]:
        raise SystemExit(f"{path}: audio_pts: ffprobe {v['audio_pts']}, ts-first-pcr.py {ref['audio_pts']}")
    if not v["first_pcr"]:
        raise SystemExit(f"{path}: no PCR")

    v["dgindex_ms"] = clock_delay_ms(v["first_pcr"], v["video_start_pts"])
    v["mpg2vfp_ms"] = clock_delay_ms(v["first_pcr"], v["iframe_pts"])
    # Without audio the audio delay is computed from a PTS of 0.
    v["audio_ms"] = clock_delay_ms(v["first_pcr"], v["audio_pts"])
    v["tmpgenc_ms"] = v["audio_ms"] if abs(v["audio_ms"]) < abs(v["dgindex_ms"]) else v["dgindex_ms"]
    return v


FIELDS = ("pmt_pid", "pcr_pid", "video_pid", "audio_pid", "first_pcr", "iframe_pts",
          "video_start_pts", "audio_pts")


def print_expected(rows):
    print("# Expected measurements of the streams in this folder; see README.md.")
    print("# One line per stream, fields separated by one blank, all numbers decimal:")
    print("# name " + " ".join(FIELDS))
    print("# PIDs are 13-bit packet ids, clocks 33-bit counts of 90 kHz; 0 = none.")
    for name, v in rows:
        print(" ".join([name] + [str(v[f]) for f in FIELDS]))


def print_markdown(rows):
    print("| stream | PMT | PCR | video | audio | first PCR | first I PTS | start PTS | audio PTS |")
    print("|---|---|---|---|---|---|---|---|---|")
    for name, v in rows:
        pids = [f"0x{v[k]:04X}" if v[k] else "none" for k in FIELDS[:4]]
        print(f"| {name} | " + " | ".join(pids + [str(v[k]) for k in FIELDS[4:]]) + " |")
    print()
    print("| stream | dgindex (-md) ms | mpg2vfp (-mv) ms | audio ms | tmpgenc (-mt) ms |")
    print("|---|---|---|---|---|")
    for name, v in rows:
        print(f"| {name} | {v['dgindex_ms']} | {v['mpg2vfp_ms']} | {v['audio_ms']} | {v['tmpgenc_ms']} |")
    print()
    for name, v in rows:
        print(f"{name}: video packets in decode order up to the start picture (pts type flags pos):")
        print()
        print("    " + "; ".join(f"{p[0]} {p[1]} {p[2]} {p[3]}" for p in v["video_trace"]))
        extra = []
        if v["sync_offset"]:
            extra.append(f"first sync byte at offset {v['sync_offset']}")
        if v["first_pcr_in_file"] != v["first_pcr"]:
            extra.append(f"a PCR {v['first_pcr_in_file']} precedes the first PAT/PMT")
        if extra:
            print()
            print("    " + "; ".join(extra))
        print()


def main(argv):
    markdown = len(argv) > 1 and argv[1] == "--markdown"
    args = argv[2:] if markdown else argv[1:]
    if len(args) < 2:
        print(__doc__, file=sys.stderr)
        return 1
    folder, names = args[0], args[1:]
    rows = [(name, derive(os.path.join(folder, name if os.path.splitext(name)[1] else name + ".ts")))
            for name in names]
    (print_markdown if markdown else print_expected)(rows)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
