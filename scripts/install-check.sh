#!/usr/bin/env bash
# What `cmake --install` and `cpack -G DEB` deliver from a built tree
# (default build/release): both programs that run, their man pages, the
# README.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/usr" >/dev/null
for f in bin/runaudit bin/replaytool share/man/man1/runaudit.1 share/man/man1/replaytool.1 share/doc/runaudit/README.md; do
  [ -f "$work/usr/$f" ] || { echo "install: missing $f"; exit 1; }
done
version=$(sed -n 's/^project(runaudit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$("$work/usr/bin/replaytool" --version)" = "replaytool $version" ] || { echo "install: wrong --version"; exit 1; }
"$work/usr/bin/runaudit" samples/seed36.wlx | grep -qx "Replay is valid" || { echo "install: runaudit fails"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
deb=$(ls "$work"/deb/*.deb)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/runaudit ./usr/bin/replaytool ./usr/share/man/man1/runaudit.1 ./usr/share/man/man1/replaytool.1; do
  grep -q " $f\$" <<<"$contents" || { echo "package: missing $f"; exit 1; }
done
echo "install and package: ok ($(basename "$deb"))"
