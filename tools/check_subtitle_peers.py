#!/usr/bin/env python3
"""Every converted subtitle of the end-to-end folders, read back.

    python3 tools/check_subtitle_peers.py MENDRA_BINARY

Each expected output of a conversion folder (tests/e2e/convert_*/out/) is
read back by mendra (re-timed into its own format without a cut list, it
must come out byte for byte, every cue re-timed) and by the format's own
readers where one is installed: python3-srt for SRT, a strict WebVTT check
(and python3-webvtt) for WebVTT, ffmpeg for ASS, SSA and MicroDVD. A reader
that is not installed is skipped, and the skip says so.
"""
import fractions
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
E2E = os.path.join(ROOT, "tests", "e2e")
MENDRA = None


def outputs(ext):
    found = []
    for case in sorted(os.listdir(E2E)):
        if not case.startswith("convert_"):
            continue
        out = os.path.join(E2E, case, "out")
        for name in sorted(os.listdir(out)):
            if name.endswith(ext):
                found.append(os.path.join(out, name))
    return found


def read_text(path):
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith((b"\xff\xfe", b"\xfe\xff")):
        return data.decode("utf-16")
    return data.decode("utf-8-sig")


# The WebVTT file syntax, checked strictly: the signature, a blank line
# after the header, each cue's timing line with start before end, no
# "-->" or blank line inside a cue's text, '&' only in escapes and '<' only
# in tags.
VTT_TIME = r"(?:(\d{2,}):)?([0-5]\d):([0-5]\d)\.(\d{3})"
VTT_TIMING = re.compile(r"^" + VTT_TIME + r"[ \t]+-->[ \t]+" + VTT_TIME + r"([ \t].*)?$")
VTT_ESCAPE = re.compile(r"&(amp|lt|gt|nbsp|lrm|rlm|#\d+|#x[0-9a-fA-F]+);")
VTT_TAG = re.compile(r"</?(c|i|b|u|v|lang|ruby|rt)(\.[^\s>]+)*([ \t][^>]*)?>|<\d[\d:.]*>")


def vtt_ms(groups):
    hours, minutes, seconds, ms = groups
    return ((int(hours or 0) * 60 + int(minutes)) * 60 + int(seconds)) * 1000 + int(ms)


def check_webvtt(text):
    lines = text.replace("\r\n", "\n").split("\n")
    if not re.match(r"^WEBVTT([ \t].*)?$", lines[0]):
        raise ValueError("no WEBVTT signature")
    if len(lines) > 1 and lines[1] != "":
        raise ValueError("the header is not followed by a blank line")
    cues = 0
    i = 2
    while i < len(lines):
        if lines[i] == "":
            i += 1
            continue
        block = []
        while i < len(lines) and lines[i] != "":
            block.append(lines[i])
            i += 1
        if block[0].startswith(("NOTE", "STYLE", "REGION")):
            continue
        timing_at = 0 if "-->" in block[0] else 1
        match = VTT_TIMING.match(block[timing_at]) if timing_at < len(block) else None
        if match is None:
            raise ValueError("bad timing line: %r" % block[timing_at:timing_at + 1])
        start, end = vtt_ms(match.groups()[0:4]), vtt_ms(match.groups()[4:8])
        if start >= end:
            raise ValueError("cue ends before it starts: %r" % block[timing_at])
        for line in block[timing_at + 1:]:
            if "-->" in line:
                raise ValueError("--> inside cue text: %r" % line)
            rest = VTT_TAG.sub("", line)
            if "<" in rest or ">" in rest:
                raise ValueError("unescaped < or > in cue text: %r" % line)
            if "&" in VTT_ESCAPE.sub("", rest):
                raise ValueError("unescaped & in cue text: %r" % line)
        cues += 1
    return cues


# A MicroDVD line: "{start}{end}text", the times in frames.
MICRODVD_LINE = re.compile(r"^\{(\d+)\}\{(\d+)\}(.*)$")
MICRODVD_RATE = re.compile(r"^[ \t]*(\d+(?:\.\d+)?)[ \t]*$")


def microdvd_cues(text):
    """The rate a first line "{1}{1}23.976" names (None without one) and the
    start and end frames of every cue, in file order."""
    rate = None
    cues = []
    for number, line in enumerate(text.splitlines()):
        match = MICRODVD_LINE.match(line)
        if match is None:
            if line.strip():
                raise ValueError("not a MicroDVD line: %r" % line)
            continue
        start, end = int(match.group(1)), int(match.group(2))
        named = MICRODVD_RATE.match(match.group(3))
        if number == 0 and start == end and start <= 1 and named:
            rate = fractions.Fraction(named.group(1))
            continue
        if start >= end:
            raise ValueError("cue ends before it starts: %r" % line)
        cues.append((start, end))
    return rate, cues


SRT_TIMING = re.compile(r"^\d+\r?\n(\d\d):(\d\d):(\d\d),(\d{3}) --> (\d\d):(\d\d):(\d\d),(\d{3})",
                        re.M)


def srt_ms(groups):
    hours, minutes, seconds, ms = (int(g) for g in groups)
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + ms


# The frame rate ffmpeg is told to count a MicroDVD file's frames at when
# the file names none (a video timed by a timecode file).
FALLBACK_RATE = fractions.Fraction(25)


def check_microdvd_by_ffmpeg(path):
    """ffmpeg reads the file as many cues as it holds, the first (the
    earliest start) at the times its frames give at the file's rate."""
    text = read_text(path)
    rate, cues = microdvd_cues(text)
    command = ["ffmpeg", "-nostdin", "-v", "error", "-f", "microdvd"]
    if rate is None:
        rate = FALLBACK_RATE
        command += ["-subfps", str(rate)]
    with tempfile.TemporaryDirectory() as tmp:
        # ffmpeg reads MicroDVD in 8-bit text only: a UTF-16 file is given
        # to it as UTF-8.
        with open(path, "rb") as f:
            if f.read(2) in (b"\xff\xfe", b"\xfe\xff"):
                path = os.path.join(tmp, "utf8.sub")
                with open(path, "w", encoding="utf-8", newline="") as copy:
                    copy.write(text)
        run = subprocess.run(command + ["-i", path, "-f", "srt", "-"], capture_output=True,
                             text=True)
    if run.returncode != 0 or run.stderr:
        raise ValueError("ffmpeg failed: %s" % run.stderr)
    read = [(srt_ms(m.groups()[0:4]), srt_ms(m.groups()[4:8]))
            for m in SRT_TIMING.finditer(run.stdout)]
    if len(read) != len(cues):
        raise ValueError("ffmpeg read %d cues, the file holds %d" % (len(read), len(cues)))
    if not cues:
        return 0
    first = min(cues, key=lambda cue: cue[0])
    # ffmpeg rounds the frames' times to milliseconds its own way.
    for got, frame in zip(read[0], first):
        expected = frame * 1000 / rate
        if abs(got - expected) > 1:
            raise ValueError("ffmpeg reads frame %d at %d ms, at %s fps it is %.3f ms"
                             % (frame, got, rate, float(expected)))
    return len(cues)


class ReadsBack(unittest.TestCase):
    def read_back_by_mendra(self, path):
        ext = os.path.splitext(path)[1]
        with tempfile.TemporaryDirectory() as tmp:
            copy = os.path.join(tmp, "in" + ext)
            shutil.copyfile(path, copy)
            back = os.path.join(tmp, "back" + ext)
            run = subprocess.run([MENDRA, "-nocut", "-o", back, copy], capture_output=True,
                                 text=True)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertNotIn("warning", run.stderr)
            self.assertRegex(run.stderr, r"written: .* \(\d+ re-timed, 0 dropped\)")
            with open(path, "rb") as a, open(back, "rb") as b:
                self.assertEqual(a.read(), b.read(), path)


class PeerReaders(ReadsBack):
    def test_mendra_reads_every_output_back(self):
        # A MicroDVD file naming its rate is read back at that rate: its
        # frames come back as they are.
        for ext in (".srt", ".vtt", ".ass", ".ssa", ".sub"):
            for path in outputs(ext):
                with self.subTest(path=path):
                    self.read_back_by_mendra(path)

    def test_srt_outputs_read_by_python3_srt(self):
        try:
            import srt
        except ImportError:
            self.skipTest("python3-srt not installed")
        for path in outputs(".srt"):
            with self.subTest(path=path):
                cues = list(srt.parse(read_text(path), ignore_errors=False))
                self.assertGreater(len(cues), 0)
                for number, cue in enumerate(cues, 1):
                    self.assertEqual(cue.index, number)
                    self.assertLess(cue.start, cue.end)

    def test_vtt_outputs_are_strict_webvtt(self):
        for path in outputs(".vtt"):
            with self.subTest(path=path):
                self.assertGreater(check_webvtt(read_text(path)), 0)

    def test_vtt_outputs_read_by_python3_webvtt(self):
        try:
            import webvtt
        except ImportError:
            self.skipTest("python3-webvtt not installed")
        for path in outputs(".vtt"):
            with self.subTest(path=path):
                self.assertGreater(len(webvtt.read(path).captions), 0)

    def test_substation_outputs_read_by_ffmpeg(self):
        if shutil.which("ffmpeg") is None:
            self.skipTest("ffmpeg not installed")
        for path in outputs(".ass") + outputs(".ssa"):
            with self.subTest(path=path):
                events = sum(1 for line in read_text(path).splitlines()
                             if line.startswith("Dialogue:"))
                run = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f",
                                      "srt", "-"], capture_output=True, text=True)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertEqual(run.stderr, "")
                self.assertEqual(len(re.findall(r"^\d+\r?\n\d\d:", run.stdout, re.M)), events)


    def test_microdvd_outputs_read_by_ffmpeg(self):
        if shutil.which("ffmpeg") is None:
            self.skipTest("ffmpeg not installed")
        for path in outputs(".sub"):
            with self.subTest(path=path):
                self.assertGreater(check_microdvd_by_ffmpeg(path), 0)


class StrictWebvttCheck(unittest.TestCase):
    """The check itself refuses what a strict parser refuses."""

    def test_refuses_broken_files(self):
        for text in ("WEBVT\n\n00:01.000 --> 00:02.000\nx\n",
                     "WEBVTT\n\n00:02.000 --> 00:01.000\nx\n",
                     "WEBVTT\n\n00:01,000 --> 00:02.000\nx\n",
                     "WEBVTT\n\n00:01.000 --> 00:02.000\na & b\n",
                     "WEBVTT\n\n00:01.000 --> 00:02.000\na <font>b</font>\n"):
            with self.subTest(text=text):
                self.assertRaises(ValueError, check_webvtt, text)
        self.assertEqual(check_webvtt("WEBVTT\n\n00:01.000 --> 00:02.000\n<i>a</i> &amp;\n"), 1)


class MicroDvdCheck(ReadsBack):
    """The MicroDVD checks, on files mendra writes from a conversion input:
    at the clock's rate, at -rate's, and under a timecode file (no rate
    line)."""

    def test_refuses_broken_files(self):
        for text in ("{10}{5}x\n", "{10}{20x\n", "x\n", "{25}{50}a\n{1}{1}25\n"):
            with self.subTest(text=text):
                self.assertRaises(ValueError, microdvd_cues, text)
        self.assertEqual(microdvd_cues("{1}{1}23.976\r\n{24}{48}a|b\r\n\r\n{0}{1}c\r\n"),
                         (fractions.Fraction(2997, 125), [(24, 48), (0, 1)]))

    def test_outputs_made_now(self):
        folders = [os.path.join(E2E, case, "in") for case in sorted(os.listdir(E2E))
                   if case.startswith("convert_")]
        inputs = [os.path.join(folder, name) for folder in folders if os.path.isdir(folder)
                  for name in sorted(os.listdir(folder)) if name.endswith((".srt", ".ass"))]
        if not inputs:
            self.skipTest("no conversion input")
        with tempfile.TemporaryDirectory() as tmp:
            timecodes = os.path.join(tmp, "tc.txt")
            with open(timecodes, "w") as f:
                f.write("# timecode format v1\nassume 29.97\n0,99,23.976\n")
            for number, options in enumerate(([], ["-rate", "25"], ["-timecodes", timecodes])):
                for source in inputs[:2]:
                    path = os.path.join(tmp, "%d%s.sub" % (number, os.path.basename(source)))
                    with self.subTest(options=options, source=source):
                        run = subprocess.run([MENDRA, "-nocut"] + options + ["-o", path, source],
                                             capture_output=True, text=True)
                        self.assertEqual(run.returncode, 0, run.stderr)
                        rate, cues = microdvd_cues(read_text(path))
                        self.assertEqual(rate is None, options[:1] == ["-timecodes"])
                        self.assertGreater(len(cues), 0)
                        self.read_back_by_mendra(path)
                        if shutil.which("ffmpeg") is not None:
                            self.assertEqual(check_microdvd_by_ffmpeg(path), len(cues))


if __name__ == "__main__":
    MENDRA = sys.argv.pop(1)
    unittest.main(verbosity=2)
