#!/usr/bin/env bash
# Times mendra's SRT and ASS rewriters on 200,000-cue files against ffmpeg
# shifting the same files.
#
#   bash bench/subtitle-bench.sh [path-to-mendra]     (default build/mendra)
#
# tools/make-bench-subs.py writes bench/out/subs.srt and subs.ass (about 20 MB
# each, cues over 9.5 hours) and subs_del.txt, a cut list with a 30-second
# break every 5 minutes. `mendra subs.srt` and `mendra subs.ass` re-time them
# through the cut list into subs_new.srt and subs_new.ass; the baseline is
# `ffmpeg -y -itsoffset 1.234 -i FILE -c copy OUT`, a plain shift of every
# time, which reads and writes the same amount.
#
# A third row re-times subs.srt through a v2 timecode file of the same
# 30000/1001 rate (one line per frame over the whole file, subs_tc.txt) against
# `-rate 30000/1001` in the same run: variable-frame-rate re-timing looks up
# every time in the table of frame times.
#
# A fourth row measures the memory of the clock: the peak RSS of re-timing
# subs.srt through a v2 file of 216,000 frames (subs_tc216k.txt) less that of
# the -rate run, over the frames.
#
# A fifth row re-times the same SRT through a dense list of 2,000 breaks
# (tools/make-bench-subs.py --cuts 2000, cuts2k_del.txt) against `cp` of the
# file, the same cues in MicroDVD frames (subs.sub) against `cp` of that
# file, and then the SRT with -fps-change and with -sync against the plain
# run: each
# pair of commands runs in turn, A B A B ..., and the median of the pairs'
# ratios is reported (BENCH_PAIRS pairs, default 21).
#
# Target: mendra at least 20 x faster than ffmpeg's shift for each format,
# peak RSS under 8 MiB; through the timecode file at most 3 x the
# constant-rate run; the timecode clock at most 8 bytes a frame; through
# 2,000 cuts at most 3 x `cp` for SRT and MicroDVD, and -fps-change or -sync at most 1.1 x the
# plain run. Exit status: 0 targets met, 2 targets missed, 1 no valid
# measurement (a run failed, or mendra's output is not a re-timed file).
# BENCH_RUNS (default 5) sets the runs per command.
set -euo pipefail

cd "$(dirname "$0")/.."
. bench/lib.sh

MIN_SPEEDUP=20
MAX_RSS_KIB=8192

MENDRA=$(bench_mendra "${1:-}")
command -v ffmpeg > /dev/null || bench_die "ffmpeg not found; install it with: apt-get install ffmpeg"
mkdir -p "$BENCH_OUT"
BASE=$BENCH_OUT/subs

if [ ! -f "$BASE.srt" ] || [ ! -f "$BASE.ass" ] || [ ! -f "$BASE.sub" ] || [ ! -f "${BASE}_del.txt" ] \
  || [ tools/make-bench-subs.py -nt "$BASE.srt" ]; then
  bench_need_space 128
  echo "making $BASE.srt, $BASE.ass, ${BASE}_del.txt..." >&2
  python3 tools/make-bench-subs.py "$BASE" > /dev/null
fi

# Counts of cues in and out: a valid run keeps most of them (the breaks
# remove about a tenth) and not all.
srt_cues() { grep -c -- ' --> ' "$1" || true; }
ass_cues() { grep -c '^Dialogue: ' "$1" || true; }
plausible() { # plausible IN OUT
  [ "$2" -gt $(($1 / 2)) ] && [ "$2" -lt "$1" ]
}

VALID=1
results=()
for ext in srt ass; do
  input=$BASE.$ext
  output=${BASE}_new.$ext
  log=$BENCH_OUT/subtitle-bench.mendra.$ext.log
  rm -f "$output"
  "$MENDRA" "$input" 2> "$log"
  in_cues=$("${ext}_cues" "$input")
  out_cues=0
  [ -f "$output" ] && out_cues=$("${ext}_cues" "$output")
  if ! plausible "$in_cues" "$out_cues"; then
    VALID=0
    echo "bench: WARNING: mendra $input wrote $out_cues of $in_cues cues to $output (see $log);" >&2
    echo "bench: it is not re-timing the file, so its times below mean nothing" >&2
  fi

  echo "timing $ext, $BENCH_RUNS runs each, median..." >&2
  # Each run of either tool writes a new file: replacing the previous run's
  # output makes ext4 write the new data out at once (its replace-by-rename
  # and replace-by-truncate heuristics), a cost of the file system that
  # varies from run to run. It is reported separately below for mendra.
  ffmpeg_s=$(BENCH_FRESH="$BENCH_OUT/ffmpeg_shift.$ext" bench_median_seconds ffmpeg -nostdin \
    -hide_banner -loglevel error -y -itsoffset 1.234 -i "$input" -c copy "$BENCH_OUT/ffmpeg_shift.$ext")
  mendra_s=$(BENCH_FRESH="${input%.*}_new.$ext" bench_median_seconds "$MENDRA" "$input")
  mendra_replace_s=$(bench_median_seconds "$MENDRA" "$input")
  rss_kib=$(bench_peak_rss_kib "$MENDRA" "$input")
  bytes=$(stat -c %s "$input")
  results+=("$ext $bytes $ffmpeg_s $mendra_s $rss_kib $in_cues $out_cues $mendra_replace_s")
done

# Variable frame rate: the same rate as a table of frame times.
# make_timecodes FILE FRAMES: a v2 file of FRAMES frames at 30000/1001, times
# in ms with three decimals.
make_timecodes() {
  if [ ! -f "$1" ] || [ "$BASE.srt" -nt "$1" ]; then
    echo "making $1..." >&2
    python3 - "$1" "$2" << 'EOF'
import sys
frames = int(sys.argv[2])
with open(sys.argv[1], "w") as out:
    out.write("# timestamp format v2\n")
    for n in range(frames):
        micro = n * 1001000000 // 30000
        out.write(f"{micro // 1000}.{micro % 1000:03d}\n")
EOF
  fi
}
# 10 hours of frames.
TC=${BASE}_tc.txt
make_timecodes "$TC" $((10 * 3600 * 30000 / 1001 + 1))
echo "timing srt through timecodes, $BENCH_RUNS runs each, median..." >&2
constant_s=$(BENCH_FRESH="${BASE}_new.srt" bench_median_seconds "$MENDRA" -rate 30000/1001 "$BASE.srt")
timecodes_s=$(BENCH_FRESH="${BASE}_new.srt" bench_median_seconds "$MENDRA" -timecodes "$TC" "$BASE.srt")
timecodes_rss=$(bench_peak_rss_kib "$MENDRA" -timecodes "$TC" "$BASE.srt")

# The memory of the clock: a 216,000-frame file (two hours at 30000/1001)
# against -rate, the same subtitles written to the same new file. The
# difference of the two peaks over the frames is what the table of frame
# times costs; the median of three peaks of each.
TC_MEMORY_FRAMES=216000
TC_MEMORY=${BASE}_tc216k.txt
make_timecodes "$TC_MEMORY" "$TC_MEMORY_FRAMES"
median_peak_kib() {
  local peaks=()
  for _ in 1 2 3; do
    rm -f "$BENCH_OUT/tc-memory.srt"
    peaks+=("$(bench_peak_rss_kib "$MENDRA" "$@" -o "$BENCH_OUT/tc-memory.srt" "$BASE.srt")")
  done
  printf '%s\n' "${peaks[@]}" | sort -n | sed -n 2p
}
echo "peak memory of -timecodes ($TC_MEMORY_FRAMES frames) against -rate..." >&2
rate_peak_kib=$(median_peak_kib -rate 30000/1001)
tc_peak_kib=$(median_peak_kib -timecodes "$TC_MEMORY")
# A dense cut list: 2,000 breaks over the same cues.
CUTS=${BASE}_cuts2k_del.txt
if [ ! -f "$CUTS" ] || [ tools/make-bench-subs.py -nt "$CUTS" ]; then
  echo "making $CUTS..." >&2
  python3 tools/make-bench-subs.py --cuts 2000 "$BENCH_OUT/cuts2k" > /dev/null
  mv "$BENCH_OUT/cuts2k_del.txt" "$CUTS"
  rm -f "$BENCH_OUT/cuts2k.srt" "$BENCH_OUT/cuts2k.ass" "$BENCH_OUT/cuts2k.sub"
fi
PAIRS=${BENCH_PAIRS:-21}
echo "timing srt through 2,000 cuts against cp, $PAIRS pairs, median of the ratios..." >&2
cp_ratio=$(BENCH_RUNS=$PAIRS BENCH_FRESH="${BASE}_new.srt" bench_paired_ratio \
  "$MENDRA" -l "$CUTS" "$BASE.srt" -- cp "$BASE.srt" "$BENCH_OUT/cp_copy.srt")
sub_ratio=$(BENCH_RUNS=$PAIRS BENCH_FRESH="${BASE}_new.sub" bench_paired_ratio \
  "$MENDRA" -l "$CUTS" "$BASE.sub" -- cp "$BASE.sub" "$BENCH_OUT/cp_copy.sub")
speed_ratio=$(BENCH_RUNS=$PAIRS bench_paired_ratio \
  "$MENDRA" -fps-change 24000/1001:25 -l "$CUTS" "$BASE.srt" -- "$MENDRA" -l "$CUTS" "$BASE.srt")
sync_ratio=$(BENCH_RUNS=$PAIRS bench_paired_ratio \
  "$MENDRA" -sync 1:00=1:00.5,9:00:00=9:00:02.5 -l "$CUTS" "$BASE.srt" -- \
  "$MENDRA" -l "$CUTS" "$BASE.srt")

echo
MET=1
for line in "${results[@]}"; do
  read -r ext bytes ffmpeg_s mendra_s rss_kib in_cues out_cues mendra_replace_s <<< "$line"
  speedup=$(bench_ratio "$ffmpeg_s" "$mendra_s")
  python3 - "$ext" "$bytes" "$ffmpeg_s" "$mendra_s" "$rss_kib" "$in_cues" "$out_cues" "$speedup" \
    "$mendra_replace_s" << 'EOF'
import sys
ext, size, ff, me, rss, cin, cout, speedup, replace = sys.argv[1:]
size, ff, me, replace = int(size), float(ff), float(me), float(replace)
print(f"{ext}: {size} bytes, {cin} cues in, {cout} out")
print(f"  ffmpeg shift median: {ff:.3f} s  {size / 1e6 / ff:8.1f} MB/s")
print(f"  mendra median:       {me:.3f} s  {size / 1e6 / me:8.1f} MB/s")
print(f"  speedup ffmpeg/mendra: {speedup} (target >= 20)")
print(f"  mendra replacing its previous output: {replace:.3f} s  ({ff / replace:.2f} x ffmpeg)")
print(f"  mendra peak RSS: {rss} KiB (target < 8192 KiB)")
EOF
  bench_le "$MIN_SPEEDUP" "$speedup" && [ "$rss_kib" -lt "$MAX_RSS_KIB" ] || MET=0
done

vfr_ratio=$(bench_ratio "$timecodes_s" "$constant_s")
python3 - "$constant_s" "$timecodes_s" "$vfr_ratio" "$timecodes_rss" "$(grep -vc '^#' "$TC")" << 'EOF'
import sys
constant, timecodes, ratio, rss, frames = sys.argv[1:]
print(f"srt through a timecode file of {frames} frames")
print(f"  -rate 30000/1001 median: {float(constant):.3f} s")
print(f"  -timecodes median:       {float(timecodes):.3f} s  ({ratio} x, target <= 3)")
print(f"  -timecodes peak RSS: {rss} KiB")
EOF
bench_le "$vfr_ratio" 3 || MET=0

bytes_per_frame=$(python3 -c 'import sys; r, t, n = map(int, sys.argv[1:]); print(f"{(t - r) * 1024 / n:.2f}")' \
  "$rate_peak_kib" "$tc_peak_kib" "$TC_MEMORY_FRAMES")
echo "clock memory, a timecode file of $TC_MEMORY_FRAMES frames"
echo "  -rate 30000/1001 peak RSS: $rate_peak_kib KiB"
echo "  -timecodes peak RSS:       $tc_peak_kib KiB"
echo "  bytes per frame: $bytes_per_frame (target <= 8)"
bench_le "$bytes_per_frame" 8 || MET=0
echo "srt through 2,000 cuts ($PAIRS pairs, median of the ratios)"
echo "  mendra / cp:              $cp_ratio (target <= 3)"
echo "  sub: mendra / cp:         $sub_ratio (target <= 3)"
echo "  -fps-change / plain run:  $speed_ratio (target <= 1.1)"
echo "  -sync / plain run:        $sync_ratio (target <= 1.1)"
bench_le "$cp_ratio" 3 && bench_le "$sub_ratio" 3 && bench_le "$speed_ratio" 1.1 && bench_le "$sync_ratio" 1.1 || MET=0

if [ "$VALID" -ne 1 ]; then
  echo "result: NO VALID MEASUREMENT"
  exit 1
fi
if [ "$MET" -eq 1 ]; then
  echo "result: targets met"
  exit 0
fi
echo "result: TARGETS MISSED"
exit 2
