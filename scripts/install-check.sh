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
         share/doc/runaudit/CHANGELOG.md share/doc/runaudit/docs/format.md share/runaudit/samples/climb.wlx \
         share/doc/runaudit/copyright; do
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
# The static library from the same C-only project: no C++ compiler enabled.
cmake -S examples -B "$work/examples-static" -G Ninja -DCMAKE_PREFIX_PATH="$work/usr" -DCHECK_FILE_STATIC=ON >/dev/null
cmake --build "$work/examples-static" >/dev/null
! ldd "$work/examples-static/check_file" | grep -q librunaudit || { echo "install: the static example uses the shared library"; exit 1; }
run_example "$work/examples-static/check_file"
grep -q "^License: Expat" "$work/usr/share/doc/runaudit/copyright" &&
  grep -qF "$(sed -n 5p LICENSE)" "$work/usr/share/doc/runaudit/copyright" || { echo "install: copyright is not the licence"; exit 1; }

# The README's system install, `sudo cmake --install` into the build's
# prefix (/usr/local), then a program linked through pkg-config: it must
# start without LD_LIBRARY_PATH, the loader's cache updated by the install.
# Done in a mount namespace of its own with the prefix and /etc overlaid, so
# that the machine's own stay as they are; needs root.
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
if [ "$(id -u)" = 0 ] && [ "$prefix" = /usr/local ] && unshare -m true 2>/dev/null; then
  mkdir -p "$work"/layer/{local,etc}/{upper,work}
  out=$(EXPECTED="$expected" unshare -m env -u LD_LIBRARY_PATH -u PKG_CONFIG_PATH bash -euc '
    mount --make-rprivate /
    mount -t overlay overlay -o "lowerdir=/usr/local,upperdir=$2/local/upper,workdir=$2/local/work" /usr/local
    mount -t overlay overlay -o "lowerdir=/etc,upperdir=$2/etc/upper,workdir=$2/etc/work" /etc
    cmake --install "$1" >/dev/null
    cc -std=c99 examples/check_file.c $(pkg-config --cflags --libs runaudit) -o "$2/check_system"
    status=0
    printed=$("$2/check_system" samples/climb.wlx samples/example.wlx samples/seed36.wlx 2>&1) || status=$?
    [ "$printed" = "$EXPECTED" ] && [ "$status" = 1 ] || { echo "$printed (status $status)"; exit 1; }
  ' _ "$build" "$work/layer" 2>&1) || { echo "install: after the system install, a pkg-config program fails: $out"; exit 1; }
else
  echo "install: the system install is not checked (needs root, unshare and the prefix /usr/local)"
fi

(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
deb=$(ls "$work"/deb/*.deb)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/runaudit ./usr/bin/replaytool ./usr/share/man/man1/runaudit.1 ./usr/share/man/man1/replaytool.1 \
         ./usr/include/runaudit.h "./usr/$libdir/librunaudit.so.$version" "./usr/$libdir/pkgconfig/runaudit.pc" \
         ./usr/share/doc/runaudit/copyright; do
  grep -q " $f\$" <<<"$contents" || { echo "package: missing $f"; exit 1; }
done
# The loader's cache is updated when the package's library arrives or goes.
[ "$(dpkg-deb -I "$deb" triggers)" = "activate-noawait ldconfig" ] || { echo "package: no ldconfig trigger"; exit 1; }
echo "install and package: ok ($(basename "$deb"))"
