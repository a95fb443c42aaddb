#!/usr/bin/env python3
"""Tests of the fixture and benchmark tools, and of the committed streams.

  python3 tools/test_tools.py        (ffprobe is used when installed)
"""

import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import types
import unittest

TOOLS = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(TOOLS, "..", "tests", "data", "ts")


def load(name):
    # The tools are scripts with dashes in their names: run each file's code
    # in a fresh module instead of importing it.
    path = os.path.join(TOOLS, name)
    module = types.ModuleType(name.replace("-", "_").removesuffix(".py"))
    module.__file__ = path
    with open(path, encoding="utf-8") as f:
        exec(compile(f.read(), path, "exec"), module.__dict__)
    return module


adts = load("adts-set-id.py")
reader = load("ts-first-pcr.py")
expected = load("ts-expected.py")
bench_ts = load("make-bench-ts.py")
bench_subs = load("make-bench-subs.py")


def adts_frame(payload, id_bit=0, profile=1, protection_absent=1):
    length = 7 + len(payload)
    header = bytes([
        0xFF,
        0xF0 | (id_bit << 3) | protection_absent,  # syncword end, ID, layer 0
        (profile << 6) | (3 << 2),  # profile, 48 kHz
        0x80 | ((length >> 11) & 3),  # two channels, frame length high bits
        (length >> 3) & 0xFF,
        ((length & 7) << 5) | 0x1F,
        0xFC,
    ])
    return header + payload


class AdtsSetIdTest(unittest.TestCase):
    def test_sets_id_in_every_frame_and_keeps_payloads(self):
        # The second payload holds FF F1 50: a header look-alike inside a frame
        # must not be touched, since frames are walked by their length.
        frames = [adts_frame(b"\x01\x02\x03"), adts_frame(b"\xff\xf1\x50\x80\x00")]
        data = bytearray(b"".join(frames))
        self.assertEqual(adts.set_id(data), 2)
        self.assertEqual(adts.check(data), 2)
        self.assertEqual(data[1], 0xF9)
        self.assertEqual(data[len(frames[0]) + 1], 0xF9)
        self.assertEqual(bytes(data[7:10]), b"\x01\x02\x03")
        self.assertEqual(bytes(data[-5:]), b"\xff\xf1\x50\x80\x00")

    def test_rejects_broken_input(self):
        good = adts_frame(b"\x00" * 10)
        cases = {
            "truncated frame": good + good[:-1],
            "truncated header": good + good[:5],
            "no syncword": good + b"\x00" * 20,
            "frame length below header": good[:3] + b"\x80\x00\x1f\xfc",
        }
        for name, data in cases.items():
            with self.subTest(name):
                with self.assertRaises(adts.AdtsError):
                    adts.set_id(bytearray(data))

    def test_refuses_frames_with_crc(self):
        with self.assertRaises(adts.AdtsError):
            adts.set_id(bytearray(adts_frame(b"\x00\x00", protection_absent=0)))

    def test_check_rejects_mpeg4_and_other_profiles(self):
        for name, frame in {
            "ID 0": adts_frame(b"\x00", id_bit=0),
            "main profile": adts_frame(b"\x00", id_bit=1, profile=0),
            "SSR profile": adts_frame(b"\x00", id_bit=1, profile=2),
        }.items():
            with self.subTest(name):
                with self.assertRaises(adts.AdtsError):
                    adts.check(frame)
        with self.assertRaises(adts.AdtsError):
            adts.check(b"")

    def test_command_writes_nothing_on_failure(self):
        with tempfile.TemporaryDirectory() as tmp:
            src, dst = os.path.join(tmp, "in.aac"), os.path.join(tmp, "out.aac")
            with open(src, "wb") as f:
                f.write(adts_frame(b"\x00", protection_absent=0))
            self.assertEqual(adts.main(["adts-set-id.py", src, dst]), 1)
            self.assertFalse(os.path.exists(dst))


def stream(*packets, prefix=b""):
    return prefix + b"".join(packets)


def psi():
    return [bench_ts.psi_packet(bench_ts.PAT_PID, 0, bench_ts.pat_section()),
            bench_ts.psi_packet(bench_ts.PMT_PID, 0, bench_ts.pmt_section())]


def video_pes(cc, pts, temporal_reference, coding_type, pcr=None):
    pes = b"\x00\x00\x01\xe0\x00\x00\x80\x80\x05" + bench_ts.timestamp(2, pts)
    es = bench_ts.picture_header(temporal_reference, coding_type)
    adaptation = bench_ts.pcr_adaptation(pcr) if pcr is not None else None
    return bench_ts.packet(bench_ts.VIDEO_PID, True, cc, pes + es, adaptation)


class TsReaderTest(unittest.TestCase):
    def test_first_pcr_needs_the_pmt_and_the_pcr_flag(self):
        vpid = bench_ts.VIDEO_PID
        early_pcr = bench_ts.packet(vpid, False, 0, b"", bench_ts.pcr_adaptation(1000))
        stuffing = bench_ts.packet(vpid, False, 1, b"\x55" * 20)  # 163-byte stuffing field
        real_pcr = bench_ts.packet(vpid, False, 2, b"", bench_ts.pcr_adaptation(5000))
        data = stream(early_pcr, *psi(), stuffing, real_pcr)
        r = reader.read_psi_and_pcr(data, 0)
        self.assertEqual((r["pmt_pid"], r["pcr_pid"], r["video_pid"], r["audio_pid"]),
                         (bench_ts.PMT_PID, vpid, vpid, bench_ts.AUDIO_PID))
        self.assertEqual(r["first_pcr"], 5000)
        self.assertEqual(r["afs_without_pcr"], 1)
        self.assertEqual(r["first_pcr_in_file"], 1000)

    def test_pcr_base_uses_all_33_bits(self):
        for base in (0, 1, 1 << 32, (1 << 33) - 1, 1234567890):
            with self.subTest(base=base):
                self.assertEqual(reader.pcr_base(bench_ts.pcr_adaptation(base)), base)

    def test_sync_found_behind_a_cut_packet(self):
        # A false 0x47 in the cut packet's tail is not taken for the sync byte.
        data = stream(*psi(), prefix=b"\x00\x47\x01\x02\x03")
        self.assertEqual(reader.find_sync(data, 0), 5)
        self.assertEqual([off for off, _ in reader.packets(data)], [5, 193])

    def test_start_picture_is_tr0_at_or_after_the_first_i(self):
        i, p, b = "I", "P", "B"
        cases = {
            "closed GOP": ([(0, i), (3, p), (1, b)], (100, 100)),
            "B with tr 0 before any I is passed over": (
                [(0, b), (1, b), (2, i), (0, b), (1, b)], (102, 103)),
            "first I of an open GOP": ([(5, p), (2, i), (0, b)], (101, 102)),
            "no I picture": ([(0, b), (1, p)], (None, None)),
        }
        for name, (pictures, want) in cases.items():
            with self.subTest(name):
                starts = [(0, 100 + k, pic) for k, pic in enumerate(pictures)]
                self.assertEqual(reader.start_pictures(starts), want)

    def test_video_starts_read_pts_and_picture(self):
        data = stream(*psi(), video_pes(0, 90000, 2, 1, pcr=1), video_pes(1, 87000, 0, 3))
        starts = reader.read_video_starts(data, bench_ts.VIDEO_PID)
        self.assertEqual([(pts, pic) for _, pts, pic in starts], [(90000, (2, "I")), (87000, (0, "B"))])

    def test_clock_delay_rule(self):
        for pcr, pts, ms in (
            (900000, 990000, -1000),
            (900000, 895000, 55),  # 5000 ticks below: not wrapped
            (900000, 894999, -95443662),  # wrapped
            (8589900000, 45000, -884),
            (900000, 900091, -1),  # truncated toward zero
            (900091, 900000, 1),
        ):
            with self.subTest(pcr=pcr, pts=pts):
                self.assertEqual(expected.clock_delay_ms(pcr, pts), ms)


class BenchStreamTest(unittest.TestCase):
    def test_packets_pad_any_payload_with_stuffing(self):
        pcr = bench_ts.pcr_adaptation(7)
        for size, adaptation in ((0, None), (1, None), (20, None), (182, None), (183, None),
                                 (184, None), (0, pcr), (20, pcr), (176, pcr)):
            with self.subTest(size=size, pcr=adaptation is not None):
                payload = bytes(range(size))
                pkt = bench_ts.packet(0x0123, False, 5, payload, adaptation)
                self.assertEqual(len(pkt), 188)
                pid, pusi, af, got = reader.split_packet(pkt)
                self.assertEqual((pid, pusi, got), (0x0123, False, payload))
                self.assertEqual(reader.pcr_base(af), 7 if adaptation else None)
        with self.assertRaises(ValueError):
            bench_ts.packet(0x0123, False, 0, bytes(177), pcr)

    def test_generated_stream_is_found_at_once_and_has_no_adts(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "b.ts")
            with open(os.devnull, "w") as null:
                sys.stdout, saved = null, sys.stdout
                try:
                    self.assertEqual(bench_ts.main(["make-bench-ts.py", "--size-mib", "1", path]), 0)
                finally:
                    sys.stdout = saved
            with open(path, "rb") as f:
                data = f.read()
        self.assertGreaterEqual(len(data), 1 << 20)
        self.assertEqual(len(data) % 188, 0)
        r = reader.read_psi_and_pcr(data, 0)
        self.assertEqual(r["first_pcr"], bench_ts.FIRST_PCR)
        self.assertEqual(r["audio_pid"], bench_ts.AUDIO_PID)
        starts = reader.read_video_starts(data, bench_ts.VIDEO_PID)
        first_pts = bench_ts.FIRST_PCR + bench_ts.START_LAG_TICKS
        self.assertEqual(reader.start_pictures(starts[:1]), (first_pts, first_pts))
        audio_pts, es = reader.read_audio(data, bench_ts.AUDIO_PID)
        self.assertEqual(audio_pts, first_pts)
        self.assertNotIn(0xFF, es)
        # Continuity counters run on per PID; PSI sections carry a valid CRC.
        last = {}
        for _, pkt in reader.packets(data):
            pid, cc = ((pkt[1] & 0x1F) << 8) | pkt[2], pkt[3] & 0x0F
            if pid in last:
                self.assertEqual(cc, (last[pid] + 1) % 16, f"PID {pid:#x}")
            last[pid] = cc
        for section in (bench_ts.pat_section(), bench_ts.pmt_section()):
            full = section + bench_ts.crc32_mpeg2(section).to_bytes(4, "big")
            self.assertEqual(bench_ts.crc32_mpeg2(full), 0)


def make_bench_stream(tmp, *options):
    path = os.path.join(tmp, "b.ts")
    with open(os.devnull, "w") as null:
        sys.stdout, saved = null, sys.stdout
        try:
            rc = bench_ts.main(["make-bench-ts.py", "--size-mib", "1", *options, path])
        finally:
            sys.stdout = saved
    if rc != 0:
        return rc, None
    with open(path, "rb") as f:
        return rc, f.read()


def nal_units(es):
    """The NAL units of a byte stream, each from its header byte on (the
    zeros in front of the next start code left with the unit before)."""
    codes = [m.span() for m in re.finditer(rb"\x00\x00\x01", es)]
    ends = [start for start, _ in codes[1:]] + [len(es)]
    return [es[end_of_code:end] for (_, end_of_code), end in zip(codes, ends)]


def ue(bits, pos):
    """An Exp-Golomb ue(v) read from a string of '0'/'1' at pos."""
    zeros = 0
    while bits[pos + zeros] == "0":
        zeros += 1
    value = int(bits[pos + zeros:pos + 2 * zeros + 1], 2) - 1
    return value, pos + 2 * zeros + 1


class BenchH264StreamTest(unittest.TestCase):
    def test_h264_stream_has_only_the_real_start_codes(self):
        with tempfile.TemporaryDirectory() as tmp:
            rc, data = make_bench_stream(tmp, "--video", "h264")
        self.assertEqual(rc, 0)
        self.assertEqual(len(data) % 188, 0)
        r = reader.read_psi_and_pcr(data, 0)
        self.assertEqual(r["first_pcr"], bench_ts.FIRST_PCR)
        self.assertEqual(r["video_pid"], bench_ts.VIDEO_PID)
        self.assertEqual(r["types"].get(bench_ts.VIDEO_PID), bench_ts.STREAM_TYPE_H264_VIDEO)
        first_pts, es = reader.read_audio(data, bench_ts.VIDEO_PID)  # any PID's PES payloads
        self.assertEqual(first_pts, bench_ts.FIRST_PCR + bench_ts.START_LAG_TICKS)
        units = nal_units(bytes(es))
        types = [u[0] & 0x1F for u in units]
        blocks = len(data) // (188 * bench_ts.BLOCK_PACKETS)
        # One access unit per block: AUD, then SPS, PPS, IDR every 15th and in
        # the last block, else one P slice. No other start code exists.
        want = []
        for block in range(blocks):
            idr = block % bench_ts.GOP_PICTURES == 0 or block == blocks - 1
            want += [9, 7, 8, 5] if idr else [9, 1]
        self.assertEqual(types, want)
        for unit in units:
            body = unit.rstrip(b"\x00")
            self.assertNotRegex(body, rb"\x00\x00[\x00-\x02]")
            if unit[0] & 0x1F in (1, 5):
                bits = "".join(f"{b:08b}" for b in unit[1:3])
                first_mb, pos = ue(bits, 0)
                slice_type, _ = ue(bits, pos)
                self.assertEqual(first_mb, 0)
                self.assertIn(slice_type, (7,) if unit[0] & 0x1F == 5 else (0, 5))
        # The slice data looks random: every byte value occurs, 00 too.
        self.assertEqual(len(set(es)), 256)
        last = {}
        for _, pkt in reader.packets(data):
            pid, cc = ((pkt[1] & 0x1F) << 8) | pkt[2], pkt[3] & 0x0F
            if pid in last:
                self.assertEqual(cc, (last[pid] + 1) % 16, f"PID {pid:#x}")
            last[pid] = cc

    def test_escaped_random_bytes_hold_no_start_code(self):
        data = bench_ts.escaped_random(random.Random(7), 4 << 20)
        self.assertEqual(len(data), 4 << 20)
        self.assertIsNone(re.search(rb"\x00\x00[\x00-\x02]", data))

        class Zeros:
            @staticmethod
            def randbytes(n):
                return bytes(n)

        # Nothing but zeros drawn: a 03 behind every second one.
        self.assertEqual(bench_ts.escaped_random(Zeros(), 10),
                         b"\x5a\x00\x03\x00\x00\x03\x00\x00\x03\x5a")
        for n in (1, 2, 184):
            for seed in range(300):
                piece = bench_ts.escaped_random(random.Random(seed), n)
                self.assertEqual(len(piece), n)
                self.assertNotEqual(piece[0], 0)
                self.assertNotEqual(piece[-1], 0)

    def test_audio_header_option_begins_every_audio_pes_with_adts(self):
        for video in ("mpeg2", "h264"):
            with self.subTest(video), tempfile.TemporaryDirectory() as tmp:
                rc, data = make_bench_stream(tmp, "--video", video, "--audio-header")
                self.assertEqual(rc, 0)
                _, es = reader.read_audio(data, bench_ts.AUDIO_PID)
                frames, id0, bad = reader.walk_adts(bytes(es))
                self.assertEqual((id0, bad), (0, -1))
                self.assertEqual(frames, len(data) // (188 * bench_ts.BLOCK_PACKETS))

    def test_info_names_the_last_random_access_picture(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "b.ts")
            out = subprocess.run([sys.executable, os.path.join(TOOLS, "make-bench-ts.py"),
                                  "--size-mib", "2", "--video", "h264", path],
                                 check=True, capture_output=True, text=True).stdout
            size = os.path.getsize(path)
        info = dict(line.split("=", 1) for line in out.splitlines())
        blocks = size // (188 * bench_ts.BLOCK_PACKETS)
        self.assertEqual(int(info["bytes"]), size)
        self.assertEqual(int(info["random_access_pictures"]),
                         (blocks - 1) // bench_ts.GOP_PICTURES + 1
                         + (1 if (blocks - 1) % bench_ts.GOP_PICTURES else 0))
        last_pts = bench_ts.FIRST_PCR + bench_ts.START_LAG_TICKS + (blocks - 1) * bench_ts.FRAME_TICKS
        self.assertEqual(int(info["last_random_access_pts"]), last_pts)
        self.assertEqual(int(info["last_random_access_delay_ms"]),
                         expected.clock_delay_ms(bench_ts.FIRST_PCR, last_pts))

    def test_rejects_unknown_options(self):
        for args in (["--video", "vc1", "x.ts"], ["--audio", "x.ts"], ["--video", "h264"],
                     ["--size-mib", "0", "x.ts"], []):
            with self.subTest(args=args):
                self.assertIsNone(bench_ts.parse_args(args))
        self.assertEqual(bench_ts.parse_args(["--audio-header", "--video", "h264", "o.ts"]),
                         (1024, "h264", True, "o.ts"))


class BenchSubtitlesTest(unittest.TestCase):
    def make(self, tmp, cues):
        base = os.path.join(tmp, "s")
        with open(os.devnull, "w") as null:
            sys.stdout, saved = null, sys.stdout
            try:
                return base, bench_subs.main(["make-bench-subs.py", "--cues", str(cues), base])
            finally:
                sys.stdout = saved

    def test_files_match_each_other_and_the_formats(self):
        with tempfile.TemporaryDirectory() as tmp:
            base, rc = self.make(tmp, 3000)
            self.assertEqual(rc, 0)
            srt = open(base + ".srt", encoding="utf-8").read()
            ass = open(base + ".ass", encoding="utf-8").read()
            dels = open(base + "_del.txt", encoding="ascii").read().splitlines()
        srt_times = re.findall(r"^(\d\d):(\d\d):(\d\d),(\d\d\d) --> ", srt, re.M)
        ass_times = re.findall(r"^Dialogue: 0,(\d):(\d\d):(\d\d)\.(\d\d),", ass, re.M)
        self.assertEqual(len(srt_times), 3000)
        self.assertEqual(len(ass_times), 3000)
        self.assertIn("[V4+ Styles]", ass)
        srt_ms = [((int(h) * 60 + int(m)) * 60 + int(s)) * 1000 + int(f) for h, m, s, f in srt_times]
        ass_ms = [(((int(h) * 60 + int(m)) * 60 + int(s)) * 100 + int(c)) * 10 for h, m, s, c in ass_times]
        self.assertEqual(srt_ms, ass_ms)
        self.assertEqual(srt_ms, sorted(srt_ms))
        self.assertEqual(dels[0], "0 * 9999999")
        ranges = [tuple(map(int, line.split(" - "))) for line in dels[1:]]
        self.assertTrue(all(a <= b < c for (a, b), (c, _) in zip(ranges, ranges[1:])))
        # The cues reach into the breaks, so a re-timing has something to drop.
        last_frame = srt_ms[-1] * 30 // 1001
        self.assertTrue(any(a <= last_frame for a, _ in ranges))

    def test_dense_cut_list_has_the_breaks_asked_for(self):
        with tempfile.TemporaryDirectory() as tmp:
            base = os.path.join(tmp, "s")
            with open(os.devnull, "w") as null:
                sys.stdout, saved = null, sys.stdout
                try:
                    rc = bench_subs.main(["make-bench-subs.py", "--cues", "3000", "--cuts", "40",
                                          base])
                finally:
                    sys.stdout = saved
            self.assertEqual(rc, 0)
            dels = open(base + "_del.txt", encoding="ascii").read().splitlines()
        ranges = [tuple(map(int, line.split(" - "))) for line in dels[1:]]
        self.assertEqual(len(ranges), 40)
        self.assertTrue(all(a <= b < c for (a, b), (c, _) in zip(ranges, ranges[1:])))
        # All within the cues (3000 cues of 170 ms, about 15300 frames).
        self.assertLess(ranges[-1][1], 3000 * 170 * 30 // 1001 + 100)

    def test_refuses_a_two_digit_start_hour(self):
        with tempfile.TemporaryDirectory() as tmp:
            with open(os.devnull, "w") as null:
                sys.stderr, saved = null, sys.stderr
                try:
                    _, rc = self.make(tmp, 220000)
                finally:
                    sys.stderr = saved
            self.assertEqual(rc, 1)


def expected_rows():
    rows = {}
    with open(os.path.join(FIXTURES, "expected.txt"), encoding="ascii") as f:
        for line in f:
            if line.startswith("#"):
                continue
            name, *values = line.split()
            rows[name] = [int(v) for v in values]
    return rows


STREAMS = ["plain", "offset", "midcut", "audiocut", "noaudio", "wrap",
           "h264_ac3.ts", "h264_ac3_cut.ts", "hevc_eac3.ts", "mpeg2_mp2.ts", "h264_latm.ts",
           "h264_ac3.m2ts", "h264_aac.m2ts", "mpeg2_aac.m2ts", "mpeg2_aac_cut.m2ts"]


class CommittedStreamsTest(unittest.TestCase):
    def test_reference_reader_agrees_with_expected_txt(self):
        rows = expected_rows()
        self.assertEqual(sorted(rows), sorted(STREAMS))
        for name, want in rows.items():
            with self.subTest(name):
                file = name if os.path.splitext(name)[1] else name + ".ts"
                out = subprocess.run([sys.executable, os.path.join(TOOLS, "ts-first-pcr.py"),
                                      os.path.join(FIXTURES, file)],
                                     check=True, capture_output=True, text=True).stdout
                values = dict(line.split("=", 1) for line in out.splitlines())
                got = [int(values[k], 0) for k in ("pmt_pid", "pcr_pid", "video_pid", "audio_pid",
                                                    "first_pcr", "iframe_pts", "video_start_pts")]
                got.append(int(values.get("audio_pts", "0")))
                if "video_type" in values:
                    # Pictures of H.264 and HEVC come from ffprobe alone.
                    got[5:7] = want[5:7]
                self.assertEqual(got, want)
                self.assertEqual(values.get("packet_bytes", "188"),
                                 "192" if file.endswith(".m2ts") else "188")
                if "adts_frames" in values:
                    self.assertEqual(values["adts_id0_frames"], "0")
                    self.assertEqual(values["adts_bad_walk"], "-1")

    @unittest.skipUnless(shutil.which("ffprobe"), "ffprobe not installed")
    def test_ffprobe_derivation_reproduces_expected_txt(self):
        out = subprocess.run([sys.executable, os.path.join(TOOLS, "ts-expected.py"), FIXTURES, *STREAMS],
                             check=True, capture_output=True, text=True).stdout
        with open(os.path.join(FIXTURES, "expected.txt"), encoding="ascii") as f:
            self.assertEqual(out, f.read())


if __name__ == "__main__":
    unittest.main()
