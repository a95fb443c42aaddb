#!/usr/bin/env bash
# Times a full pass of mendra's H.264 scanner over two 1 GiB streams against
# reading the same file with cat.
#
#   bash bench/ts-h264-bench.sh [path-to-mendra]     (default build/mendra)
#
# The first stream (tools/make-bench-ts.py --video h264 --audio-header) has
# the shape of the MPEG-2 bench stream, with H.264 video whose slice data is
# random bytes: the NAL-unit search has to look at every byte of the video
# PID. Its last picture is a random-access one (as is every 15th), and
# `-gop <random-access pictures - 1>` asks for that last one, so the
# video pass reads the whole file; the audio start is found at once. The
# delay that mendra must report is the one of that last picture.
#
# The second stream is real encoder output: x264 encodes a synthetic source
# (tools/make-bench-es-ts.py --y4m) losslessly, which gives a high bit rate
# with many zero bytes and emulation prevention bytes, and
# tools/make-bench-es-ts.py repeats its pictures to the size asked for,
# with the only other random-access picture at the very end (`-gop 1`). It
# is made only where x264 is installed; otherwise it is skipped, said so.
#
# Target: median time of `mendra -md -gop N` at most 1.5 x that of `cat`
# on each stream, with the file in the page cache; peak RSS under 8 MiB.
# Exit status as bench/ts-bench.sh: 0 met, 2 missed, 1 no valid
# measurement. BENCH_RUNS (default 5) sets the runs per command;
# BENCH_TS_MIB (default 1024) the stream size.
set -euo pipefail

cd "$(dirname "$0")/.."
. bench/lib.sh

MAX_RATIO=1.5
MAX_RSS_KIB=8192
TS_MIB=${BENCH_TS_MIB:-1024}

MENDRA=$(bench_mendra "${1:-}")
mkdir -p "$BENCH_OUT"
BASE=$BENCH_OUT/bench264
TS=$BASE.ts

# bench_stream TS GOP EXPECTED_DELAY LABEL: one checked run, then the timing
# of mendra against cat on TS; sets RESULT to 0 (met), 1 (no valid
# measurement) or 2 (missed).
bench_stream() {
  local ts=$1 gop=$2 expected=$3 label=$4
  local base=${ts%.ts} log ts_bytes valid cat_s mendra_s rss_kib ratio
  ts_bytes=$(stat -c %s "$ts")
  bench_subtitle "$base"
  # Warm the page cache, as bench/ts-bench.sh does.
  cat "$ts" > /dev/null
  cat "$ts" > /dev/null
  # One checked run: the delay of the last picture is reported only when
  # the video pass reached the end of the file.
  log=$ts.mendra.log
  rm -f "${base}_new.ass"
  "$MENDRA" -md -gop "$gop" "$base.ass" 2> "$log"
  valid=1
  if ! grep -qF -- "-- dgindex : $expected msec" "$log" || [ ! -s "${base}_new.ass" ]; then
    valid=0
    echo "bench: WARNING: mendra did not report 'dgindex : $expected msec' or wrote no ${base}_new.ass" >&2
    echo "bench: (see $log); the times below do not measure the stream analysis" >&2
  fi
  echo "timing $label, $BENCH_RUNS runs each, median..." >&2
  cat_s=$(bench_median_seconds cat "$ts")
  mendra_s=$(bench_median_seconds "$MENDRA" -md -gop "$gop" "$base.ass")
  rss_kib=$(bench_peak_rss_kib "$MENDRA" -md -gop "$gop" "$base.ass")
  ratio=$(bench_ratio "$mendra_s" "$cat_s")
  echo
  echo "stream:            $ts ($ts_bytes bytes, $label)"
  printf 'cat median:        %.3f s\n' "$cat_s"
  printf 'mendra -md -gop %s median: %.3f s\n' "$gop" "$mendra_s"
  echo "ratio mendra/cat:  $ratio (target <= $MAX_RATIO)"
  echo "mendra peak RSS:   $rss_kib KiB (target < $MAX_RSS_KIB KiB)"
  if [ "$valid" -ne 1 ]; then
    RESULT=1
  elif bench_le "$ratio" "$MAX_RATIO" && [ "$rss_kib" -lt "$MAX_RSS_KIB" ]; then
    RESULT=0
  else
    RESULT=2
  fi
}

bench_make_ts "$TS" "$TS_MIB" --video h264 --audio-header
bench_stream "$TS" "$(($(bench_info "$TS" random_access_pictures) - 1))" \
  "$(bench_info "$TS" last_random_access_delay_ms)" "H.264, random slice data"
WORST=$RESULT

ES_TS=$BENCH_OUT/bench264es.ts
if command -v x264 > /dev/null; then
  if [ ! -f "$ES_TS" ] || [ ! -f "$ES_TS.info" ] || [ tools/make-bench-es-ts.py -nt "$ES_TS" ] \
    || ! grep -qx "size_mib=$TS_MIB" "$ES_TS.info"; then
    rm -f "$ES_TS" "$ES_TS.info"
    bench_need_space $((TS_MIB + 256))
    echo "making $ES_TS ($TS_MIB MiB of x264 output)..." >&2
    python3 tools/make-bench-es-ts.py --y4m "$BENCH_OUT/bench264es.y4m"
    x264 --quiet --no-progress --preset veryfast --qp 0 --keyint infinite --no-scenecut --bframes 0 --aud \
      -o "$BENCH_OUT/bench264es.264" "$BENCH_OUT/bench264es.y4m"
    rm -f "$BENCH_OUT/bench264es.y4m"
    python3 tools/make-bench-es-ts.py --size-mib "$TS_MIB" "$BENCH_OUT/bench264es.264" "$ES_TS" \
      > "$ES_TS.info.part"
    echo "size_mib=$TS_MIB" >> "$ES_TS.info.part"
    mv "$ES_TS.info.part" "$ES_TS.info"
    rm -f "$BENCH_OUT/bench264es.264"
  fi
  bench_stream "$ES_TS" 1 "$(bench_info "$ES_TS" last_random_access_delay_ms)" "H.264, x264 output"
  # The worse outcome of the two: no valid measurement, then missed.
  if [ "$RESULT" -eq 1 ] || { [ "$RESULT" -eq 2 ] && [ "$WORST" -eq 0 ]; }; then WORST=$RESULT; fi
else
  echo
  echo "stream:            x264 output skipped (x264 is not installed)"
fi

case $WORST in
  0) echo "result:            targets met" ;;
  1) echo "result:            NO VALID MEASUREMENT" ;;
  *) echo "result:            TARGETS MISSED" ;;
esac
exit "$WORST"
