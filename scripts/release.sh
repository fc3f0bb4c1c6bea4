#!/usr/bin/env bash
# Builds every artifact of a release from a clean tree into one folder
# (default dist/), with a SHA256SUMS file, and checks that each carries the
# project's version (the one in CMakeLists.txt's project()):
#   runaudit-VERSION.tar.gz       the source
#   runaudit_VERSION_amd64.deb    programs, library, manuals, docs, samples
#   runaudit-VERSION-win64.zip    the same for Windows
#   runaudit-VERSION.tgz          the npm package
#   runaudit-VERSION.html         the checking page, one self-contained file
#   runaudit-VERSION-py3-none-linux_x86_64.whl  the Python package with its library
# Uses the release, windows and wasm (or web) presets' build folders (building what
# is missing). Needs what those presets need, and git.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-dist}
if [ -n "$(git status --porcelain)" ]; then
  echo "release.sh: the tree has uncommitted changes; a release is built from a clean tree" >&2
  exit 1
fi
version=$(sed -n 's/^project(runaudit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)

git archive --format=tar.gz --prefix="runaudit-$version/" -o "$out/runaudit-$version.tar.gz" HEAD

# The page and the package come from the wasm build where one exists (it
# builds the same web target), else from the lighter web preset.
web_preset=web
[ -f build/wasm/CMakeCache.txt ] && web_preset=wasm
for preset in release windows "$web_preset"; do
  cmake --preset "$preset" >/dev/null
  if [ "$preset" = wasm ]; then cmake --build --preset wasm --target web; else cmake --build --preset "$preset"; fi
done
(cd build/release && cpack -G DEB -B "$out/.deb" >/dev/null)
mv "$out/.deb/runaudit_${version}_amd64.deb" "$out/"
(cd build/windows && cpack -G ZIP -B "$out/.zip" >/dev/null)
mv "$out/.zip/runaudit-$version-win64.zip" "$out/"
rm -rf "$out/.deb" "$out/.zip"
cp "build/$web_preset/web/runaudit-$version.tgz" "build/$web_preset/web/runaudit-$version.html" "$out/"
wheel=$(python3 python/build_wheel.py build/release "$out")

# Every artifact says the same version, inside as well as in its name, and
# carries the licence.
fail() { echo "release.sh: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tar -xzf "$out/runaudit-$version.tar.gz" -C "$work" "runaudit-$version/CMakeLists.txt" "runaudit-$version/LICENSE"
grep -q "^project(runaudit VERSION $version " "$work/runaudit-$version/CMakeLists.txt" || fail "the source tarball's version"
cmp -s LICENSE "$work/runaudit-$version/LICENSE" || fail "the source tarball's LICENSE"
deb="$out/runaudit_${version}_amd64.deb"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the .deb's version"
dpkg-deb -x "$deb" "$work/deb"
[ "$("$work/deb/usr/bin/replaytool" --version)" = "replaytool $version" ] || fail "the .deb's replaytool --version"
ls "$work"/deb/usr/lib*/librunaudit.so."$version" >/dev/null || fail "the .deb's library soname"
grep -qx "Version: $version" "$work"/deb/usr/lib*/pkgconfig/runaudit.pc || fail "the .deb's runaudit.pc"
grep -qx "License: Expat" "$work/deb/usr/share/doc/runaudit/copyright" || fail "the .deb's copyright file"
[ "$(dpkg-deb -I "$deb" triggers)" = "activate-noawait ldconfig" ] || fail "the .deb's ldconfig trigger"
python3 -m zipfile -e "$out/runaudit-$version-win64.zip" "$work/zip"
zipped="$work/zip/runaudit-$version-win64"
[ "$(cmake/wine-run.sh "$zipped/replaytool.exe" --version)" = "replaytool $version" ] || fail "the zip's replaytool.exe --version"
grep -qx "Version: $version" "$zipped/lib/pkgconfig/runaudit.pc" || fail "the zip's runaudit.pc"
cmp -s LICENSE "$zipped/LICENSE" || fail "the zip's LICENSE"
mkdir "$work/npm"
tar -xzf "$out/runaudit-$version.tgz" -C "$work/npm"
node -e "const p = require('$work/npm/package/package.json'); if (p.version !== '$version' || p.license !== 'MIT') process.exit(1)" ||
  fail "package.json"
cmp -s LICENSE "$work/npm/package/LICENSE" || fail "the npm package's LICENSE"
[ "$(node --input-type=module -e "import { version } from '$work/npm/package/runaudit.js'; console.log(await version())")" = "$version" ] ||
  fail "the npm package's checker"
grep -q "runaudit <span id=\"version\">$version</span>" "$out/runaudit-$version.html" || fail "the page's version"
python3 -m zipfile -e "$wheel" "$work/wheel"
grep -qx "Version: $version" "$work/wheel/runaudit-$version.dist-info/METADATA" || fail "the wheel's METADATA"
cmp -s LICENSE "$work/wheel/runaudit-$version.dist-info/LICENSE" || fail "the wheel's LICENSE"
[ "$(cd "$work/wheel" && python3 -c 'import runaudit; print(runaudit.library_path.endswith("/runaudit/librunaudit.so.2"), runaudit.version())')" = "True $version" ] ||
  fail "the wheel's library"

(cd "$out" && sha256sum -- * > SHA256SUMS)
echo "release $version in $out:"
cat "$out/SHA256SUMS"
