#!/usr/bin/env bash
# Checks that mendra installs like a Unix tool: the manual page lints clean,
# `cmake --install` puts the binary and the page under a prefix, the installed
# binary runs, and the Debian package that cpack builds holds both.
#
# Usage, from the project root, with a build directory that is already
# configured and built:
#   .ci/check-package.sh build
#
# Tools that are missing are installed with apt-get; a check whose optional
# tool (mandoc, man) cannot be had is reported as skipped.
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 <build-directory>" >&2
  exit 2
fi
if [[ ! -f doc/mendra.1 || ! -f CMakeLists.txt ]]; then
  echo "$0: run this from the project root" >&2
  exit 2
fi
if [[ ! -f "$1/CMakeCache.txt" || ! -f "$1/CPackConfig.cmake" ]]; then
  echo "$0: $1 is not a configured build directory" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
root=$(pwd)
man_source=$root/doc/mendra.1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
skipped=0

pass() {
  echo "PASS: $1"
  passed=$((passed + 1))
}
fail() {
  echo "FAIL: $1" >&2
  failed=$((failed + 1))
}
skip() {
  echo "SKIP: $1"
  skipped=$((skipped + 1))
}

# Shows a file that explains a failure, if it holds anything.
show() {
  if [[ -s "$1" ]]; then sed 's/^/    /' "$1" >&2; fi
}

apt_updated=0
# ensure_tool COMMAND PACKAGE: makes COMMAND available, installing PACKAGE
# when neither the command nor the package is there yet.
ensure_tool() {
  local cmd=$1 package=$2
  if command -v "$cmd" >/dev/null 2>&1; then return 0; fi
  if [[ $(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true) == "install ok installed" ]]; then
    # Installed, yet the command is missing: installing again will not help.
    return 1
  fi
  if [[ $(id -u) -ne 0 ]] || ! command -v apt-get >/dev/null 2>&1; then return 1; fi
  if [[ $apt_updated -eq 0 ]]; then
    apt-get update -qq >"$work/apt.log" 2>&1 || true
    apt_updated=1
  fi
  if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$package" >>"$work/apt.log" 2>&1; then
    show "$work/apt.log"
    return 1
  fi
  command -v "$cmd" >/dev/null 2>&1
}

# --- The manual page source -------------------------------------------------

if ensure_tool groff groff-base; then
  if groff -ww -z -man "$man_source" >"$work/groff.out" 2>&1 && [[ ! -s "$work/groff.out" ]]; then
    pass "groff -ww -z -man doc/mendra.1 reports nothing"
  else
    fail "groff -ww -z -man doc/mendra.1 reports problems"
    show "$work/groff.out"
  fi
else
  fail "groff is missing and could not be installed"
fi

if ensure_tool mandoc mandoc; then
  if mandoc -T lint "$man_source" >"$work/mandoc.out" 2>&1 && [[ ! -s "$work/mandoc.out" ]]; then
    pass "mandoc -T lint doc/mendra.1 reports nothing"
  else
    fail "mandoc -T lint doc/mendra.1 reports problems"
    show "$work/mandoc.out"
  fi
else
  skip "mandoc -T lint (mandoc not available)"
fi

# --- cmake --install ----------------------------------------------------------

prefix=$work/prefix
if cmake --install "$build" --prefix "$prefix" >"$work/install.out" 2>&1; then
  pass "cmake --install into a temporary prefix"
else
  fail "cmake --install into a temporary prefix"
  show "$work/install.out"
fi

if [[ -x "$prefix/bin/mendra" ]]; then
  pass "bin/mendra is installed and executable"
else
  fail "bin/mendra is not installed"
fi

installed_pages=("$prefix"/share/man/man1/mendra.1*)
if [[ -f "${installed_pages[0]}" ]]; then
  installed_page=${installed_pages[0]}
  pass "share/man/man1/${installed_page##*/} is installed"
else
  installed_page=
  fail "share/man/man1/mendra.1* is not installed"
fi

# run_usage BINARY LABEL: with no argument mendra prints its usage on standard
# error, writes nothing on standard output and exits 2 (a command-line error);
# --version prints its name and version on standard output and exits 0.
run_usage() {
  local binary=$1 label=$2 status=0
  if [[ ! -x "$binary" ]]; then
    fail "$label: no binary to run"
    return
  fi
  "$binary" </dev/null >"$work/usage.out" 2>"$work/usage.err" || status=$?
  if [[ $status -ne 2 ]]; then
    fail "$label: exit status $status, expected 2"
  elif [[ -s "$work/usage.out" ]]; then
    fail "$label: wrote to standard output"
    show "$work/usage.out"
  elif ! grep -q 'usage' "$work/usage.err"; then
    fail "$label: no usage text on standard error"
    show "$work/usage.err"
  elif ! "$binary" --version </dev/null 2>/dev/null | grep -qx "mendra [0-9][0-9.]*"; then
    fail "$label: --version does not print mendra and its version"
  else
    pass "$label: exits 2 with its usage on standard error; --version names it"
  fi
}

run_usage "$prefix/bin/mendra" "installed mendra without arguments"

# --- The installed page through man -------------------------------------------

if [[ -z "$installed_page" ]]; then
  fail "man -l: no installed page to render"
elif ensure_tool man man-db; then
  # man passes --warnings on to groff; a fixed width keeps the result the
  # same on every terminal.
  if MANWIDTH=80 man --warnings -l "$installed_page" >"$work/man.out" 2>"$work/man.err" &&
    [[ ! -s "$work/man.err" ]] && grep -q 'mendra' "$work/man.out"; then
    pass "man -l renders the installed page without warnings"
  else
    fail "man -l does not render the installed page cleanly"
    show "$work/man.err"
  fi
else
  skip "man -l (man not available)"
fi

# --- The Debian package ---------------------------------------------------------

packages=$work/packages
if (cd "$build" && cpack -G DEB -B "$packages") >"$work/cpack.out" 2>&1; then
  pass "cpack -G DEB builds a package"
else
  fail "cpack -G DEB"
  show "$work/cpack.out"
fi

debs=("$packages"/mendra_*.deb)
if [[ -f "${debs[0]}" && ${#debs[@]} -eq 1 ]]; then
  deb=${debs[0]}
  pass "one package: ${deb##*/}"
else
  deb=
  fail "no single mendra_*.deb was built"
fi

if [[ -n "$deb" ]]; then
  dpkg-deb -c "$deb" >"$work/contents" 2>&1 || true
  # dpkg-deb -c lists paths as ./usr/...; the name is the last field.
  for path in ./usr/bin/mendra ./usr/share/man/man1/mendra.1.gz; do
    if awk '{print $NF}' "$work/contents" | grep -qxF "$path"; then
      pass "package holds ${path#.}"
    elif [[ $path == *.gz ]] && awk '{print $NF}' "$work/contents" | grep -qx '\./usr/share/man/man1/mendra\.1'; then
      pass "package holds /usr/share/man/man1/mendra.1 (uncompressed)"
    else
      fail "package lacks ${path#.}"
      show "$work/contents"
    fi
  done

  for field in "Package=mendra" "Section=video" "Maintainer=mendra developers <mendra@localhost>"; do
    name=${field%%=*}
    want=${field#*=}
    got=$(dpkg-deb -f "$deb" "$name" 2>/dev/null || true)
    if [[ "$got" == "$want" ]]; then
      pass "package field $name: $want"
    else
      fail "package field $name is '$got', expected '$want'"
    fi
  done
  if [[ -n "$(dpkg-deb -f "$deb" Depends 2>/dev/null || true)" ]]; then
    pass "package declares its dependencies"
  else
    fail "package declares no Depends"
  fi

  # The packaged binary is stripped: make sure it still runs.
  mkdir -p "$work/unpacked"
  if dpkg-deb -x "$deb" "$work/unpacked" 2>"$work/unpack.err"; then
    run_usage "$work/unpacked/usr/bin/mendra" "packaged mendra without arguments"
  else
    fail "dpkg-deb -x"
    show "$work/unpack.err"
  fi
fi

echo "package: $passed passed, $failed failed, $skipped skipped"
[[ $failed -eq 0 ]]
