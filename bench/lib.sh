# Helpers shared by the bench scripts; sourced, not run. The scripts run from
# the project root (they cd there) and keep everything they make in bench/out/.

BENCH_OUT=bench/out
# Runs per command; the median of them is reported. Override: BENCH_RUNS=9.
BENCH_RUNS=${BENCH_RUNS:-5}

bench_die() {
  echo "bench: $*" >&2
  exit 1
}

# bench_mendra [PATH]: prints the absolute path of the mendra binary. Without
# a path it uses build/mendra and builds it (Release) when it is missing.
bench_mendra() {
  local mendra=${1:-}
  if [ -z "$mendra" ]; then
    mendra=build/mendra
    if [ ! -x "$mendra" ]; then
      echo "bench: $mendra missing; building it (Release) into build/" >&2
      cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null
      cmake --build build -j2 --target mendra > /dev/null
    fi
  fi
  [ -x "$mendra" ] || bench_die "no executable mendra at $mendra"
  echo "$(cd "$(dirname "$mendra")" && pwd)/$(basename "$mendra")"
}

# bench_need_space MIB: fails early when bench/out cannot take MIB more.
bench_need_space() {
  local free_kib
  free_kib=$(df -Pk "$BENCH_OUT" | awk 'NR == 2 { print $4 }')
  [ "$free_kib" -ge $(($1 * 1024)) ] || bench_die "need $1 MiB free in $BENCH_OUT, have $((free_kib / 1024)) MiB"
}

# bench_make_ts TS MIB [GENERATOR-OPTIONS...]: makes the stream TS of MIB MiB
# with tools/make-bench-ts.py, its key=value lines in TS.info. The stream is
# kept; it is made again when the generator is newer, or the size or the
# options asked for have changed.
bench_make_ts() {
  local ts=$1 mib=$2 info=$1.info
  shift 2
  if [ ! -f "$ts" ] || [ ! -f "$info" ] || [ tools/make-bench-ts.py -nt "$ts" ] \
    || ! grep -qx "size_mib=$mib" "$info" || ! grep -qxF "options=$*" "$info"; then
    rm -f "$ts" "$info"
    bench_need_space $((mib + 64))
    echo "making $ts ($mib MiB${*:+, $*})..." >&2
    python3 tools/make-bench-ts.py --size-mib "$mib" "$@" "$ts" > "$info.part"
    echo "size_mib=$mib" >> "$info.part"
    echo "options=$*" >> "$info.part"
    mv "$info.part" "$info"
  fi
}

# bench_info TS KEY: the value of KEY in the stream's TS.info.
bench_info() {
  sed -n "s/^$2=//p" "$1.info"
}

# bench_subtitle BASE: one subtitle line in BASE.ass and a cut list that keeps
# everything in BASE_del.txt, so that mendra has something to re-time.
bench_subtitle() {
  printf '%s\n' '[Script Info]' 'ScriptType: v4.00+' '' '[Events]' \
    'Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text' \
    'Dialogue: 0,0:00:05.00,0:00:08.00,Default,,0,0,0,,benchmark' > "$1.ass"
  printf '%s\n' '0 * 9999999' > "${1}_del.txt"
}

# bench_median_seconds CMD...: runs CMD BENCH_RUNS times (after one warm-up
# run), its output discarded, and prints the median wall time in seconds.
# hyperfine when installed, otherwise a loop timed with date. When
# BENCH_FRESH names a file, it is removed before every run (untimed), so
# that each run writes a new file instead of replacing the last one.
bench_median_seconds() {
  if command -v hyperfine > /dev/null; then
    local json cmd prepare=()
    json=$(mktemp)
    cmd=$(printf '%q ' "$@")
    [ -n "${BENCH_FRESH:-}" ] && prepare=(--prepare "rm -f $(printf '%q' "$BENCH_FRESH")")
    # -N: no intermediate shell, so its start-up does not count.
    hyperfine -N --style basic --warmup 1 --runs "$BENCH_RUNS" "${prepare[@]}" \
      --export-json "$json" -- "$cmd" >&2
    python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$json"
    rm -f "$json"
  else
    local run start end times=()
    "$@" > /dev/null 2>&1 || bench_die "failed: $*"
    for ((run = 0; run < BENCH_RUNS; run++)); do
      [ -n "${BENCH_FRESH:-}" ] && rm -f "$BENCH_FRESH"
      start=$(date +%s.%N)
      "$@" > /dev/null 2>&1 || bench_die "failed: $*"
      end=$(date +%s.%N)
      times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')")
    done
    printf '%s\n' "${times[@]}" | sort -g | awk '{ t[NR] = $1 } END { print (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'
  fi
}

# bench_peak_rss_kib CMD...: runs CMD once and prints its peak resident set
# size in KiB (GNU time's %M, or the kernel's rusage of the child).
bench_peak_rss_kib() {
  if [ -x /usr/bin/time ]; then
    local out
    out=$(mktemp)
    /usr/bin/time -f '%M' -o "$out" "$@" > /dev/null 2>&1 || bench_die "failed: $*"
    tail -n 1 "$out"
    rm -f "$out"
  else
    python3 -c '
import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$@"
  fi
}

# bench_ratio A B: A / B to two decimals.
bench_ratio() {
  python3 -c 'import sys; print(f"{float(sys.argv[1]) / float(sys.argv[2]):.2f}")' "$1" "$2"
}

# bench_le A B: exit status 0 when the number A <= B.
bench_le() {
  python3 -c 'import sys; sys.exit(0 if float(sys.argv[1]) <= float(sys.argv[2]) else 1)' "$1" "$2"
}

# bench_paired_ratio A-CMD -- B-CMD: runs A and B in turn (A B A B ...),
# BENCH_RUNS pairs after one warm-up pair, their output discarded, and prints
# the median of the pairs' wall-time ratios A/B to two decimals. Pairing
# keeps the ratio meaningful when the machine's speed drifts during the run.
# When BENCH_FRESH names a file, it is removed before every run of A
# (untimed), so that A writes a new file each time. The clock is bash's own
# (EPOCHREALTIME, bash 5): a process started to read it would add its own
# start-up to both times of every pair.
bench_paired_ratio() {
  local a=() b=() run start mid end ratios=()
  while [ "$1" != "--" ]; do a+=("$1"); shift; done
  shift
  b=("$@")
  "${a[@]}" > /dev/null 2>&1 || bench_die "failed: ${a[*]}"
  "${b[@]}" > /dev/null 2>&1 || bench_die "failed: ${b[*]}"
  for ((run = 0; run < BENCH_RUNS; run++)); do
    [ -n "${BENCH_FRESH:-}" ] && rm -f "$BENCH_FRESH"
    start=${EPOCHREALTIME/[.,]/}
    "${a[@]}" > /dev/null 2>&1 || bench_die "failed: ${a[*]}"
    mid=${EPOCHREALTIME/[.,]/}
    "${b[@]}" > /dev/null 2>&1 || bench_die "failed: ${b[*]}"
    end=${EPOCHREALTIME/[.,]/}
    ratios+=("$(awk -v a=$((mid - start)) -v b=$((end - mid)) 'BEGIN { printf "%.6f", a / b }')")
  done
  printf '%s\n' "${ratios[@]}" | sort -g | awk '{ r[NR] = $1 } END {
    printf "%.2f\n", (NR % 2) ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2 }'
}
