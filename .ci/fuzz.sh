#!/usr/bin/env bash
# Builds the libFuzzer targets under fuzz/ with clang and runs each one for a
# short, bounded time on its seed corpus; any crash, hang, leak or sanitizer
# report fails the run. clang-14 and its runtime libraries are installed with
# apt-get only when they are missing.
#
# Usage, from anywhere in the project:  bash .ci/fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${MENDRA_FUZZ_SECONDS:-30}}
build=build-fuzz

# A build without the fuzzer runtime fails only at link time, so look for the
# library itself as well as the compiler.
fuzzer_runtime_present() {
  local resource
  resource=$(clang++-14 -print-resource-dir 2>/dev/null) || return 1
  compgen -G "$resource/lib/linux/libclang_rt.fuzzer-*.a" >/dev/null
}

if ! command -v clang++-14 >/dev/null 2>&1 || ! fuzzer_runtime_present; then
  echo "installing: clang-14 libclang-rt-14-dev"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-14 libclang-rt-14-dev
fi

echo "== build the fuzz targets"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMENDRA_FUZZ=ON -DMENDRA_TESTS=OFF >/dev/null
cmake --build "$build" -j2

targets=(cut_list_fuzz trim_expr_fuzz rewrite_ass_fuzz ass_effects_fuzz rewrite_srt_fuzz rewrite_vtt_fuzz
  rewrite_sub_fuzz ts_delay_fuzz d2v_fuzz args_fuzz timecode_fuzz chapters_fuzz convert_fuzz)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
for target in "${targets[@]}"; do
  echo "== fuzz $target for ${seconds}s"
  mkdir -p "$work/$target"
  # New inputs go to a scratch corpus; the checked-in seeds are only read.
  # -close_fd_mask=2 sends the tool's own messages to /dev/null while
  # libFuzzer and the sanitizers keep reporting.
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$work/$target-" \
    "$work/$target" "fuzz/corpus/$target" >"$work/$target.log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units)' "$work/$target.log" || true
    passed=$((passed + 1))
  else
    echo "FAIL: $target" >&2
    tail -n 60 "$work/$target.log" >&2
    for artifact in "$work/$target"-*; do
      [[ -e $artifact ]] || continue
      echo "input that failed ($artifact), base64:" >&2
      base64 "$artifact" | head -c 20000 >&2
    done
    failed=$((failed + 1))
  fi
done

echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
