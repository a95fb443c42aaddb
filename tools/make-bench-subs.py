#!/usr/bin/env python3
"""Write large subtitle files and a cut list for timing mendra's rewriters.

Usage:
  make-bench-subs.py [--cues N] [--cuts M] BASE      (default 200000 cues)

Writes BASE.srt and BASE.ass with the same N cues, about 20 MB each for the
default, BASE.sub with them in frames at 30000/1001 (MicroDVD, with its
rate line), and BASE_del.txt, the deleted-frame list both are re-timed with.
The cues start every 170 ms and last 1.5 s, so they overlap; the default
count spans about 9 h 27 min (the ASS start time keeps its one-digit hour).
The cut list keeps frames 0 to 9999999 and deletes a 30-second break
every 5 minutes, as commercials are cut from a recording: about 113 ranges,
so many cues fall into a break and are dropped or clipped. With --cuts M
the list deletes M shorter breaks spread evenly over the cues instead (a
dense list: every lookup of a time has many ranges to choose from).

Prints key=value lines: cues, srt_bytes, ass_bytes, deleted_ranges.
"""

import sys

CUE_STEP_MS = 170
CUE_LENGTH_MS = 1500
FRAMES_PER_BREAK_PERIOD = 8991  # 5 minutes at 30000/1001 pictures/s
BREAK_FIRST_FRAME = 4000  # within each period
BREAK_FRAMES = 900  # 30 seconds
LAST_FRAME = 9999999
WORDS = ("the", "quick", "brown", "fox", "jumps", "over", "lazy", "dog", "while", "news",
         "at", "nine", "follows", "weather", "and", "sports")


def text(i):
    # Varied text of about 65 bytes, the length of a typical subtitle line.
    words = [WORDS[(i * 7 + k * 3) % len(WORDS)] for k in range(10)]
    return f"{i:06d} " + " ".join(words)


def srt_time(ms):
    return f"{ms // 3600000:02d}:{ms // 60000 % 60:02d}:{ms // 1000 % 60:02d},{ms % 1000:03d}"


def ass_time(ms):
    cs = ms // 10
    return f"{cs // 360000:d}:{cs // 6000 % 60:02d}:{cs // 100 % 60:02d}.{cs % 100:02d}"


ASS_HEADER = """[Script Info]
; Benchmark input for mendra
Title: bench
ScriptType: v4.00+
WrapStyle: 0
ScaledBorderAndShadow: yes
PlayResX: 1920
PlayResY: 1080

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding
Style: Default,Arial,60,&H00FFFFFF,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,1,3,1,2,40,40,40,1

[Events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
"""


def main(argv):
    args = argv[1:]
    cues = 200000
    cuts = 0
    while len(args) >= 3 and args[0] in ("--cues", "--cuts"):
        if args[0] == "--cues":
            cues = int(args[1])
        else:
            cuts = int(args[1])
        args = args[2:]
    if len(args) != 1 or cues < 1 or cuts < 0:
        print(__doc__, file=sys.stderr)
        return 1
    base = args[0]
    last_start_ms = (cues - 1) * CUE_STEP_MS
    if last_start_ms + CUE_LENGTH_MS >= 10 * 3600 * 1000:
        print("too many cues: the ASS start hour would take two digits", file=sys.stderr)
        return 1

    srt = []
    ass = [ASS_HEADER]
    sub = ["{1}{1}29.97\n"]
    for i in range(cues):
        start = i * CUE_STEP_MS
        end = start + CUE_LENGTH_MS
        srt.append(f"{i + 1}\n{srt_time(start)} --> {srt_time(end)}\n{text(i)}\n\n")
        ass.append(f"Dialogue: 0,{ass_time(start)},{ass_time(end)},Default,,0,0,0,,{text(i)}\n")
        sub.append(f"{{{start * 30 // 1001}}}{{{end * 30 // 1001}}}{text(i)}\n")
    srt_data = "".join(srt).encode()
    ass_data = "".join(ass).encode()
    with open(base + ".srt", "wb") as f:
        f.write(srt_data)
    with open(base + ".ass", "wb") as f:
        f.write(ass_data)
    with open(base + ".sub", "wb") as f:
        f.write("".join(sub).encode())

    last_frame_used = (last_start_ms + CUE_LENGTH_MS) * 30 // 1001 + 1
    ranges = []
    if cuts:
        # M breaks, each a third of its period, the first a third of the way in.
        period = max(3, last_frame_used // cuts)
        for k in range(cuts):
            first = k * period + period // 3
            ranges.append(f"{first} - {first + period // 3 - 1}\n")
    else:
        for period in range(0, last_frame_used, FRAMES_PER_BREAK_PERIOD):
            first = period + BREAK_FIRST_FRAME
            ranges.append(f"{first} - {first + BREAK_FRAMES - 1}\n")
    with open(base + "_del.txt", "w", encoding="ascii", newline="\n") as f:
        f.write(f"0 * {LAST_FRAME}\n")
        f.writelines(ranges)

    print(f"cues={cues}")
    print(f"srt_bytes={len(srt_data)}")
    print(f"ass_bytes={len(ass_data)}")
    print(f"deleted_ranges={len(ranges)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
