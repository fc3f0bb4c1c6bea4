#!/usr/bin/env bash
# What the Windows zip holds (default build/windows): both programs, which
# run from the unpacked folder with no DLL beside them, the README, the
# documents and samples, the manuals as text, and the library.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/windows}
version=$(sed -n 's/^project(runaudit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip="$build/runaudit-$version-win64.zip"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 -m zipfile -e "$zip" "$work"
root="$work/runaudit-$version-win64"
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
echo "windows package: ok ($(basename "$zip"))"
