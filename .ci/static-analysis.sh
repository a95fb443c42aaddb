#!/usr/bin/env bash
# Static analysis of src/: clang-tidy with the checked-in .clang-tidy, and
# cppcheck for warnings, performance and portability. Both must be clean;
# a false positive is silenced only where it stands, with NOLINT(check) or
# cppcheck-suppress and its reason. The tools are installed with apt-get only
# when they are missing.
#
# Usage, from the project root, with a configured build directory (it holds
# compile_commands.json, which the root CMakeLists exports):
#   bash .ci/static-analysis.sh build
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 <build-directory>" >&2
  exit 2
fi
if [[ ! -f .clang-tidy || ! -d src ]]; then
  echo "$0: run this from the project root" >&2
  exit 2
fi
if [[ ! -f "$1/compile_commands.json" ]]; then
  echo "$0: $1/compile_commands.json is missing: configure the build first" >&2
  exit 2
fi
build=$(cd "$1" && pwd)

missing=()
command -v clang-tidy >/dev/null 2>&1 || missing+=(clang-tidy)
command -v cppcheck >/dev/null 2>&1 || missing+=(cppcheck)
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Only the tool's own sources: the tests follow GoogleTest's idioms, which
# several checks do not fit.
python3 - "$build/compile_commands.json" "$work/compile_commands.json" <<'PY'
import json, sys
entries = json.load(open(sys.argv[1]))
json.dump([e for e in entries if "/src/" in e["file"]], open(sys.argv[2], "w"))
PY
mapfile -t sources < <(python3 -c 'import json,sys; [print(e["file"]) for e in json.load(open(sys.argv[1]))]' \
  "$work/compile_commands.json")
if [[ ${#sources[@]} -eq 0 ]]; then
  echo "$0: no source of src/ in $build/compile_commands.json" >&2
  exit 2
fi

passed=0
failed=0

echo "== clang-tidy on ${#sources[@]} files"
if clang-tidy -p "$work" --quiet "${sources[@]}" >"$work/tidy.log" 2>&1; then
  echo "PASS: clang-tidy"
  passed=$((passed + 1))
else
  grep -E -A4 'warning:|error:' "$work/tidy.log" >&2 || cat "$work/tidy.log" >&2
  echo "FAIL: clang-tidy" >&2
  failed=$((failed + 1))
fi

echo "== cppcheck"
if cppcheck --project="$work/compile_commands.json" --enable=warning,performance,portability \
  --error-exitcode=1 --inline-suppr --quiet -j2 >"$work/cppcheck.log" 2>&1; then
  echo "PASS: cppcheck"
  passed=$((passed + 1))
else
  cat "$work/cppcheck.log" >&2
  echo "FAIL: cppcheck" >&2
  failed=$((failed + 1))
fi

echo "static analysis: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
