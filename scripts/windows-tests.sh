#!/usr/bin/env bash
# The Windows programs end to end under Wine: what only Windows can get
# wrong. Line feeds stay line feeds; UTF-8 paths with non-ASCII characters
# open and are printed as on Linux; devices (NUL, CON), a directory and a
# path that is too long get the loader's message at once; a replay whose
# verdict needs the unit's 64-bit significand is judged right; an output
# that fails is reported; the progress line stays out of redirected output.
# Paths are printed as given (backslashes single, drive letters, ..,
# the \\?\ and \\.\ prefixes);
# check expands wildcards under cmd and walks folders; a full disk and a
# read-only target are refused with the system's reason.
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

# Standard input in binary mode: climb.wlx holds 0x1A bytes, where a read
# in text mode would end.
[ "$(timeout 60 cmake/wine-run.sh "$build/replaytool.exe" unpack - <samples/climb.wlx)" = "$(replaytool unpack samples/climb.wlx)" ] ||
  fail "unpack - read standard input as text"

# A game that comes out differently with a 53-bit significand.
[ "$(runaudit tests/api/fixtures/needs-extended-precision.wlx | tail -n 1)" = "Replay is valid" ] ||
  fail "needs-extended-precision.wlx is not valid"

# Non-ASCII paths, through every command that takes one (valid UTF-8 is
# shown as it is, on Linux as here, and kept in JSON).
name="$work/café ☃.wlx"
shown="$name"
cp samples/climb.wlx "$name"
[ "$(runaudit "$name" | tail -n 1)" = "Replay is valid" ] || fail "runaudit cannot read $name"
line=$(replaytool check "$name")
[ "$line" = "$shown	valid	frames 2515	floor 93	combo 0	combo score 0	claims match" ] || fail "check printed: $line"
replaytool check --json "$name" | grep -F "{\"file\":\"$name\",\"checker\":\"runaudit " | grep -qF '"verdict":"valid"' ||
  fail "check --json lost the name"
[ "$(replaytool show "$name" | head -n 1)" = "File:           $shown" ] || fail "show's File line"
replaytool unpack "$name" >"$work/ünïcode.txt" || fail "unpack to a non-ASCII name"
replaytool pack "$work/ünïcode.txt" "$work/packed ☃.wlx" || fail "pack from and to non-ASCII names"
cmp -s "$work/packed ☃.wlx" samples/climb.wlx || fail "pack did not give back the bytes"
replaytool view "$name" -o "$work/页面.html" && [ -s "$work/页面.html" ] || fail "view to a non-ASCII name"
replaytool pack "$work/ünïcode.txt" "$work/ünïcode.txt" 2>/dev/null && fail "pack replaced its input"

# Paths as given: Windows separators, a drive letter and a long path, "..".
climb_valid='valid	frames 2515	floor 93	combo 0	combo score 0	claims match'
seed36_valid='valid	frames 101	floor 1	combo 0	combo score 0	claims match'
line=$(replaytool check 'samples\climb.wlx')
[ "$line" = "samples\climb.wlx	$climb_valid" ] || fail "check printed: $line"
line=$(replaytool show 'samples\climb.wlx' | sed -n 1p)
[ "$line" = 'File:           samples\climb.wlx' ] || fail "show printed: $line"
line=$(replaytool unpack 'samples\nope.wlx' 2>&1 >/dev/null) || true
[ "$line" = 'replaytool: samples\nope.wlx: No such file or directory' ] || fail "unpack's error: $line"
line=$(replaytool check 'samples\..\samples\seed36.wlx')
[ "$line" = "samples\..\samples\seed36.wlx	$seed36_valid" ] || fail "check printed: $line"
deep="$work/$(printf 'd%.0s' {1..120})/$(printf 'e%.0s' {1..120})"
mkdir -p "$deep"
cp samples/climb.wlx "$deep/climb.wlx"
windeep="Z:${deep//\//\\}\climb.wlx"
[ "${#windeep}" -gt 260 ] || fail "not a long path: $windeep"
line=$(replaytool check "$windeep")
[ "$line" = "$windeep	$climb_valid" ] || fail "check printed: $line"
[ "$(runaudit "$windeep" | tail -n 1)" = "Replay is valid" ] || fail "runaudit cannot read $windeep"
line=$(replaytool check "${windeep%\\*\\climb.wlx}")
[ "$line" = "$windeep	$climb_valid" ] || fail "check of a folder on a long path printed: $line"

# Long-path and device prefixes (\\?\, \\.\), on a file, a folder, a
# long path and a missing file: opened, and printed as given.
here="Z:$(pwd | sed 's|/|\\|g')"
for prefix in '\\?\' '\\.\'; do
  given="$prefix$here\samples\seed36.wlx"
  line=$(replaytool check "$given")
  [ "$line" = "$given	$seed36_valid" ] || fail "check printed: $line"
  line=$(replaytool show "$given" | sed -n 1p)
  [ "$line" = "File:           $given" ] || fail "show printed: $line"
  [ "$(runaudit "$given" | tail -n 1)" = "Replay is valid" ] || fail "runaudit cannot read $given"
  line=$(replaytool unpack "$prefix$here\samples\nope.wlx" 2>&1 >/dev/null) || true
  [ "$line" = "replaytool: $prefix$here\samples\nope.wlx: No such file or directory" ] || fail "unpack's error: $line"
  line=$(replaytool check "$prefix$here\samples\nope.wlx") && fail "check of a missing file succeeded"
  [ "$line" = "$prefix$here\samples\nope.wlx	error	Could not open file: No such file or directory" ] || fail "check printed: $line"
done
lp='\\?\'
out=$(replaytool check "$lp$here\samples") || true
expected="$lp$here\samples\climb.wlx	$climb_valid
$lp$here\samples\example.wlx	invalid
$lp$here\samples\seed36.wlx	$seed36_valid"
[ "$out" = "$expected" ] || fail "check of a long-path folder printed: $out"
line=$(replaytool check "$lp$windeep")
[ "$line" = "$lp$windeep	$climb_valid" ] || fail "check printed: $line"
# A share path: Wine may not serve the drive's administrative share.
share='\\localhost\Z$'"${here#Z:}"'\samples\seed36.wlx'
if line=$(replaytool check "$share"); then
  [ "$line" = "$share	$seed36_valid" ] || fail "check printed: $line"
else
  [ "$line" = "$share	error	Could not open file: No such file or directory" ] || fail "check of a share printed: $line"
  echo 'windows end to end: this Wine serves no \\localhost share, so a share path is only checked to be refused'
fi

# Wildcards under cmd: the matches in name order; no match stays as given.
# runaudit takes its one argument as it is.
winbuild="Z:$(cd "$build" && pwd | sed 's|/|\\|g')"
out=$(cd samples && timeout 60 ../cmake/wine-run.sh cmd /c "$winbuild\replaytool.exe check *.wlx ..\samples\s*.wlx nothing*.wlx" </dev/null) || true
expected="climb.wlx	$climb_valid
example.wlx	invalid
seed36.wlx	$seed36_valid
..\samples\seed36.wlx	$seed36_valid	same game as seed36.wlx
nothing*.wlx	error	Could not open file: No such file or directory"
[ "$out" = "$expected" ] || fail "check under cmd printed: $out"
out=$(cd samples && timeout 60 ../cmake/wine-run.sh cmd /c "$winbuild\runaudit.exe s*.wlx" </dev/null) || true
[ "$out" = "Error occured while loading replay: Could not open file" ] || fail "runaudit under cmd printed: $out"

# A folder: its *.wlx files and its subfolders', in name order; a link
# that loops back is not walked again; a folder with no replay is an error.
walk="$work/walk"
mkdir -p "$walk/sub" "$walk/empty"
cp samples/seed36.wlx "$walk/A.WLX"
cp samples/climb.wlx "$walk/b.wlx"
cp samples/example.wlx "$walk/sub/c.wlx"
cp samples/climb.wlx "$walk/notes.txt"
ln -s .. "$walk/sub/loop"
winwalk="Z:${walk//\//\\}"
out=$(replaytool check "$winwalk\\" 'samples' "$winwalk\\empty") || true
expected="$winwalk\A.WLX	$seed36_valid
$winwalk\b.wlx	$climb_valid
$winwalk\sub\c.wlx	invalid
samples\climb.wlx	$climb_valid	same game as $winwalk\b.wlx
samples\example.wlx	invalid	same game as $winwalk\sub\c.wlx
samples\seed36.wlx	$seed36_valid	same game as $winwalk\A.WLX
$winwalk\empty	error	No .wlx files in folder"
[ "$out" = "$expected" ] || fail "check of folders printed: $out"

# A read-only target is refused and kept; a full disk says so.
replaytool unpack samples/climb.wlx >"$work/climb.txt"
echo kept >"$work/readonly.wlx"
chmod a-w "$work/readonly.wlx"
line=$(replaytool pack "$work/climb.txt" "$work/readonly.wlx" 2>&1) && fail "pack replaced a read-only file"
[ "$line" = "replaytool: $work/readonly.wlx: Permission denied" ] || fail "read-only target: $line"
[ "$(cat "$work/readonly.wlx")" = kept ] || fail "the read-only file changed"
# A small file system to fill, where this user may mount one.
if mkdir "$work/small" && mount -t tmpfs -o size=64k tmpfs "$work/small" 2>/dev/null; then
  trap 'umount "$work/small"; rm -rf "$work"' EXIT
  { sed '/^records$/q' "$work/climb.txt" | grep -v '^recordCount'; printf '0 0x00\n%.0s' {1..40000}; } >"$work/big.txt"
  line=$(replaytool pack "$work/big.txt" "$work/small/big.wlx" 2>&1) && fail "pack to a full disk succeeded"
  [ "$line" = "replaytool: $work/small/big.wlx: No space left on device" ] || fail "full disk: $line"
  [ -z "$(ls -A "$work/small")" ] || fail "a full disk kept a temporary file: $(ls -A "$work/small")"
else
  echo "windows end to end: no tmpfs to fill here, the full disk is not tried"
fi

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
