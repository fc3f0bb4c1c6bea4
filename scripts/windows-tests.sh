#!/usr/bin/env bash
# The Windows programs end to end under Wine: what only Windows can get
# wrong. Line feeds stay line feeds; UTF-8 paths with non-ASCII characters
# open and are printed as on Linux; devices (NUL, CON), a directory and a
# path that is too long get the loader's message at once; a replay whose
# verdict needs the unit's 64-bit significand is judged right; an output
# that fails is reported; the progress line stays out of redirected output.
# Usage: windows-tests.sh BUILD_DIR (run by ctest in the windows preset).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/windows}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
runaudit() { timeout 60 cmake/wine-run.sh "$build/runaudit.exe" "$@" </dev/null; }
replaytool() { timeout 60 cmake/wine-run.sh "$build/replaytool.exe" "$@" </dev/null; }

# Line feeds as on Linux, never CR LF.
out=$(runaudit samples/seed36.wlx | od -An -c)
grep -q '\\r' <<<"$out" && fail "runaudit writes CR"
[ "$(runaudit samples/seed36.wlx | tail -n 1)" = "Replay is valid" ] || fail "seed36 is not valid"
replaytool show samples/seed36.wlx | od -An -c | grep -q '\\r' && fail "replaytool writes CR"

# A game that comes out differently with a 53-bit significand.
[ "$(runaudit tests/api/fixtures/needs-extended-precision.wlx | tail -n 1)" = "Replay is valid" ] ||
  fail "needs-extended-precision.wlx is not valid"

# Non-ASCII paths, through every command that takes one (line-oriented
# output escapes non-ASCII bytes, on Linux as here; JSON keeps UTF-8).
name="$work/café ☃.wlx"
shown="$work"'/caf\xC3\xA9 \xE2\x98\x83.wlx'
cp samples/climb.wlx "$name"
[ "$(runaudit "$name" | tail -n 1)" = "Replay is valid" ] || fail "runaudit cannot read $name"
line=$(replaytool check "$name")
[ "$line" = "$shown	valid	frames 2515	floor 93	combo 0	combo score 0	claims match" ] || fail "check printed: $line"
replaytool check --json "$name" | grep -qF "{\"file\":\"$name\",\"verdict\":\"valid\"" || fail "check --json lost the name"
[ "$(replaytool show "$name" | head -n 1)" = "File:           $shown" ] || fail "show's File line"
replaytool unpack "$name" >"$work/ünïcode.txt" || fail "unpack to a non-ASCII name"
replaytool pack "$work/ünïcode.txt" "$work/packed ☃.wlx" || fail "pack from and to non-ASCII names"
cmp -s "$work/packed ☃.wlx" samples/climb.wlx || fail "pack did not give back the bytes"
replaytool view "$name" -o "$work/页面.html" && [ -s "$work/页面.html" ] || fail "view to a non-ASCII name"
replaytool pack "$work/ünïcode.txt" "$work/ünïcode.txt" 2>/dev/null && fail "pack replaced its input"

# Devices, a directory, a name too long: the loader's message, at once.
long="$work/$(printf 'x%.0s' {1..300}).wlx"
for path in NUL CON . "$long"; do
  status=0
  out=$(runaudit "$path") || status=$?
  [ "$status" = 1 ] || fail "$path: status $status"
  case "$out" in
    "Error occured while loading replay: Could not open file" | \
      "Error occured while loading replay: File is not a valid replay") ;;
    *) fail "$path: $out" ;;
  esac
done
replaytool check NUL CON >/dev/null && fail "check NUL CON succeeded"

# Output that fails is a failure; the progress line stays out of files.
status=0
replaytool show samples/climb.wlx >/dev/full 2>"$work/err" || status=$?
[ "$status" = 1 ] && grep -q "cannot write to standard output" "$work/err" || fail "a failed write went unreported"
replaytool check samples/*.wlx >"$work/out" 2>"$work/err" || true
[ -s "$work/err" ] && fail "check wrote to a redirected standard error: $(cat "$work/err")"
[ "$(wc -l <"$work/out")" = 3 ] || fail "check printed $(wc -l <"$work/out") lines"

echo "windows end to end: $failures failure(s)"
[ "$failures" = 0 ]
