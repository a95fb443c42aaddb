#!/usr/bin/env bash
# Times a full pass of mendra's H.264 scanner over a 1 GiB stream against
# reading the same file with cat.
#
#   bash bench/ts-h264-bench.sh [path-to-mendra]     (default build/mendra)
#
# The stream (tools/make-bench-ts.py --video h264 --audio-header) has the
# shape of the MPEG-2 bench stream, with H.264 video whose slice data is
# random bytes: the NAL-unit search has to look at every byte of the video
# PID. Its last picture is a random-access one (as is every 15th), and
# `-gop <random-access pictures - 1>` asks for that last one, so the
# video pass reads the whole file; the audio start is found at once. The
# delay that mendra must report is the one of that last picture.
#
# Target: median time of `mendra -md -gop N bench264.ass` at most 2.0 x that
# of `cat bench264.ts`, with the file in the page cache; peak RSS under
# 8 MiB. Exit status as bench/ts-bench.sh: 0 met, 2 missed, 1 no valid
# measurement. BENCH_RUNS (default 5) sets the runs per command;
# BENCH_TS_MIB (default 1024) the stream size.
set -euo pipefail

cd "$(dirname "$0")/.."
. bench/lib.sh

MAX_RATIO=2.0
MAX_RSS_KIB=8192
TS_MIB=${BENCH_TS_MIB:-1024}

MENDRA=$(bench_mendra "${1:-}")
mkdir -p "$BENCH_OUT"
BASE=$BENCH_OUT/bench264
TS=$BASE.ts

bench_make_ts "$TS" "$TS_MIB" --video h264 --audio-header
GOP=$(($(bench_info "$TS" random_access_pictures) - 1))
EXPECTED_DELAY=$(bench_info "$TS" last_random_access_delay_ms)
TS_BYTES=$(stat -c %s "$TS")
bench_subtitle "$BASE"

# Warm the page cache, as bench/ts-bench.sh does.
cat "$TS" > /dev/null
cat "$TS" > /dev/null

# One checked run: the delay of the last picture is reported only when the
# video pass reached the end of the file.
LOG=$BENCH_OUT/ts-h264-bench.mendra.log
rm -f "${BASE}_new.ass"
"$MENDRA" -md -gop "$GOP" "$BASE.ass" 2> "$LOG"
VALID=1
if ! grep -qF -- "-- dgindex : $EXPECTED_DELAY msec" "$LOG" || [ ! -s "${BASE}_new.ass" ]; then
  VALID=0
  echo "bench: WARNING: mendra did not report 'dgindex : $EXPECTED_DELAY msec' or wrote no ${BASE}_new.ass" >&2
  echo "bench: (see $LOG); the times below do not measure the stream analysis" >&2
fi

echo "timing, $BENCH_RUNS runs each, median..." >&2
CAT_S=$(bench_median_seconds cat "$TS")
MENDRA_S=$(bench_median_seconds "$MENDRA" -md -gop "$GOP" "$BASE.ass")
RSS_KIB=$(bench_peak_rss_kib "$MENDRA" -md -gop "$GOP" "$BASE.ass")
RATIO=$(bench_ratio "$MENDRA_S" "$CAT_S")

echo
echo "stream:            $TS ($TS_BYTES bytes, H.264)"
printf 'cat median:        %.3f s\n' "$CAT_S"
printf 'mendra -md -gop %s median: %.3f s\n' "$GOP" "$MENDRA_S"
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
