#!/usr/bin/env bash
# What `cmake --install` and `cpack -G DEB` deliver from a built tree
# (default build/release): both programs that run, their man pages, the
# README, and the library with its header, pkg-config file and CMake
# package, each used to build the C example outside the build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/usr" >/dev/null
for f in bin/runaudit bin/replaytool share/man/man1/runaudit.1 share/man/man1/replaytool.1 share/doc/runaudit/README.md \
         share/doc/runaudit/CHANGELOG.md share/doc/runaudit/docs/format.md share/runaudit/samples/climb.wlx; do
  [ -f "$work/usr/$f" ] || { echo "install: missing $f"; exit 1; }
done
version=$(sed -n 's/^project(runaudit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$("$work/usr/bin/replaytool" --version)" = "replaytool $version" ] || { echo "install: wrong --version"; exit 1; }
"$work/usr/bin/runaudit" samples/seed36.wlx | grep -qx "Replay is valid" || { echo "install: runaudit fails"; exit 1; }

# The library: found through pkg-config (shared, then static) and through
# find_package, the example built each way and run on the samples.
libdir=$(cd "$work/usr" && ls -d lib*/pkgconfig | head -1 | xargs dirname)
for f in include/runaudit.h "$libdir/librunaudit.a" "$libdir/librunaudit.so.${version%%.*}" "$libdir/pkgconfig/runaudit.pc" \
         "$libdir/cmake/runaudit/runaudit-config.cmake"; do
  [ -e "$work/usr/$f" ] || { echo "install: missing $f"; exit 1; }
done
samples=(samples/climb.wlx samples/example.wlx samples/seed36.wlx)
expected=$(printf '%s\tvalid\n%s\tinvalid\n%s\tvalid' "${samples[@]}")
run_example() {
  local out status=0
  out=$(LD_LIBRARY_PATH="$work/usr/$libdir" "$@" "${samples[@]}") || status=$?
  [ "$out" = "$expected" ] && [ "$status" = 1 ] || { echo "install: $1 printed '$out' (status $status)"; exit 1; }
}
export PKG_CONFIG_PATH="$work/usr/$libdir/pkgconfig"
[ "$(pkg-config --modversion runaudit)" = "$version" ] || { echo "install: runaudit.pc has the wrong version"; exit 1; }
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror examples/check_file.c $(pkg-config --cflags --libs runaudit) -o "$work/check_shared"
run_example "$work/check_shared"
# shellcheck disable=SC2046
cc -std=c99 examples/check_file.c $(pkg-config --cflags runaudit) "$work/usr/$libdir/librunaudit.a" \
  $(pkg-config --libs-only-l --static runaudit | sed 's/-lrunaudit//') -o "$work/check_static"
run_example "$work/check_static"
cmake -S examples -B "$work/examples" -G Ninja -DCMAKE_PREFIX_PATH="$work/usr" >/dev/null
cmake --build "$work/examples" >/dev/null
run_example "$work/examples/check_file"

(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
deb=$(ls "$work"/deb/*.deb)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/runaudit ./usr/bin/replaytool ./usr/share/man/man1/runaudit.1 ./usr/share/man/man1/replaytool.1 \
         ./usr/include/runaudit.h "./usr/$libdir/librunaudit.so.$version" "./usr/$libdir/pkgconfig/runaudit.pc"; do
  grep -q " $f\$" <<<"$contents" || { echo "package: missing $f"; exit 1; }
done
echo "install and package: ok ($(basename "$deb"))"
