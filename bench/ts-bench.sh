#!/usr/bin/env bash
# Times mendra's transport-stream delay measurement on a 1 GiB stream against
# reading the same file with cat.
#
#   bash bench/ts-bench.sh [path-to-mendra]     (default build/mendra)
#
# The stream (tools/make-bench-ts.py) finds its PCR and video start in the
# first packets, but its audio never holds an ADTS-AAC header, so the audio
# pass reads the whole file: the worst case of `mendra -md`. Beside it lie a
# tiny bench.ass and bench_del.txt, so that mendra has a subtitle to re-time.
#
# Target: median time of `mendra -md bench.ass` at most 1.3 x that of
# `cat bench.ts`, with the file in the page cache; peak RSS under 8 MiB.
# Exit status: 0 targets met, 2 targets missed, 1 no valid measurement (the
# run failed, or mendra did not report the stream's known delay).
# BENCH_RUNS (default 5) sets the runs per command; BENCH_TS_MIB (default
# 1024) the stream size.
set -euo pipefail

cd "$(dirname "$0")/.."
. bench/lib.sh

MAX_RATIO=1.3
MAX_RSS_KIB=8192
TS_MIB=${BENCH_TS_MIB:-1024}

MENDRA=$(bench_mendra "${1:-}")
mkdir -p "$BENCH_OUT"
BASE=$BENCH_OUT/bench
TS=$BASE.ts

bench_make_ts "$TS" "$TS_MIB"
EXPECTED_DELAY=$(bench_info "$TS" dgindex_delay_ms)
TS_BYTES=$(stat -c %s "$TS")
bench_subtitle "$BASE"

# Warm the page cache: both commands then read from memory, and the ratio
# measures the tool's own work rather than the disk.
cat "$TS" > /dev/null
cat "$TS" > /dev/null

# One checked run: the timing means something only if mendra really walked
# the stream and found the delay the generator built into it.
LOG=$BENCH_OUT/ts-bench.mendra.log
rm -f "${BASE}_new.ass"
"$MENDRA" -md "$BASE.ass" 2> "$LOG"
VALID=1
if ! grep -qF -- "-- dgindex : $EXPECTED_DELAY msec" "$LOG" || [ ! -s "${BASE}_new.ass" ]; then
  VALID=0
  echo "bench: WARNING: mendra did not report 'dgindex : $EXPECTED_DELAY msec' or wrote no ${BASE}_new.ass" >&2
  echo "bench: (see $LOG); the times below do not measure the stream analysis" >&2
fi

echo "timing, $BENCH_RUNS runs each, median..." >&2
CAT_S=$(bench_median_seconds cat "$TS")
MENDRA_S=$(bench_median_seconds "$MENDRA" -md "$BASE.ass")
RSS_KIB=$(bench_peak_rss_kib "$MENDRA" -md "$BASE.ass")
RATIO=$(bench_ratio "$MENDRA_S" "$CAT_S")

echo
echo "stream:            $TS ($TS_BYTES bytes)"
printf 'cat median:        %.3f s\n' "$CAT_S"
printf 'mendra -md median: %.3f s\n' "$MENDRA_S"
echo "ratio mendra/cat:  $RATIO (target <= $MAX_RATIO)"
echo "mendra peak RSS:   $RSS_KIB KiB (target < $MAX_RSS_KIB KiB)"

if [ "$VALID" -ne 1 ]; then
  echo "result:            NO VALID MEASUREMENT"
  exit 1
fi
if bench_le "$RATIO" "$MAX_RATIO" && [ "$RSS_KIB" -lt "$MAX_RSS_KIB" ]; then
  echo "result:            targets met"
  exit 0
fi
echo "result:            TARGETS MISSED"
exit 2
