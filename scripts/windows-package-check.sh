#!/usr/bin/env bash
# What the Windows zip holds (default build/windows): both programs, which
# run from the unpacked folder with no DLL beside them, the README, the
# documents and samples, the manuals as text, and the library; and the
# README's install steps, followed under Wine, give the README's output.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/windows}
version=$(sed -n 's/^project(runaudit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip="$build/runaudit-$version-win64.zip"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Unzipped as the README says, into a folder that stands for C:\.
drive="$work/c"
python3 -m zipfile -e "$zip" "$drive"
root="$drive/runaudit-$version-win64"
for f in runaudit.exe replaytool.exe README.md CHANGELOG.md docs/format.md samples/climb.wlx runaudit.txt replaytool.txt \
         librunaudit.dll include/runaudit.h \
         lib/librunaudit.a lib/librunaudit.dll.a lib/pkgconfig/runaudit.pc lib/cmake/runaudit/runaudit-config.cmake; do
  [ -f "$root/$f" ] || { echo "zip: missing $f"; exit 1; }
done
# The programs alone, away from the build: no DLL needed.
mkdir "$work/alone"
cp "$root/runaudit.exe" "$root/replaytool.exe" samples/seed36.wlx "$work/alone/"
cd "$work/alone"
[ "$("$OLDPWD/cmake/wine-run.sh" runaudit.exe seed36.wlx | tail -n 1)" = "Replay is valid" ] || { echo "zip: runaudit.exe fails"; exit 1; }
[ "$("$OLDPWD/cmake/wine-run.sh" replaytool.exe --version)" = "replaytool $version" ] || { echo "zip: wrong version"; exit 1; }
cd "$OLDPWD"

# The README's steps: its "cd C:\FOLDER" then its first command, under cmd,
# print what the README's first check shows; every folder the Windows
# documents cd into is the one the zip holds.
fail() { echo "zip: $*"; exit 1; }
steps=$(sed -n 's/.*`cd C:\\\([^`]*\)` then `\([^`]*\)`.*/\1|\2/p' README.md)
folder=${steps%%|*}
command=${steps#*|}
[ -n "$steps" ] || fail "README.md: no install steps (cd C:\FOLDER then COMMAND)"
[ "$folder" = "runaudit-$version-win64" ] || fail "README.md says cd C:\\$folder; the zip holds runaudit-$version-win64"
for doc in README.md docs/windows.md; do
  for named in $(grep -o 'cd C:\\[^` ]*' "$doc" | sed 's/^cd C:\\//'); do
    [ -f "$drive/$named/runaudit.exe" ] || fail "$doc says cd C:\\$named; the zip has no such folder"
  done
done
windrive="Z:$(printf '%s' "$drive" | sed 's|/|\\|g')"
out=$(cmake/wine-run.sh cmd /c "cd /d $windrive\\$folder && $command" </dev/null) || fail "$command failed: $out"
shown=$(sed -n '/^\$ runaudit samples\/climb.wlx$/,/^```$/p' README.md | sed '1d;$d')
[ -n "$shown" ] || fail "README.md: no first check of samples/climb.wlx"
[ "$out" = "$shown" ] || fail "$command printed: $out"
# From the same folder, check expands a wildcard that cmd leaves alone.
out=$(cmake/wine-run.sh cmd /c "cd /d $windrive\\$folder && .\\replaytool.exe check samples\\*.wlx" </dev/null) || true
[ "$(printf '%s\n' "$out" | cut -f 1,2)" = 'samples\climb.wlx	valid
samples\example.wlx	invalid
samples\seed36.wlx	valid' ] || fail "check samples\*.wlx printed: $out"
echo "windows package: ok ($(basename "$zip"))"
