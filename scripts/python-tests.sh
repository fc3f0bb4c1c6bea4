#!/usr/bin/env bash
# Builds the Python wheel from a build folder (default build/release, which
# must hold librunaudit.so.2 and replaytool), installs it into a fresh
# virtual environment with no network, and runs the package's tests from
# outside the tree against the installed copy. pytest comes from the
# system (Debian's python3-pytest), seen through --system-site-packages.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/release}" && pwd)
source=$(pwd)
# Debian's interpreter by default: python3-pytest is installed for it, and
# a python3 earlier on PATH (a version manager's) would not see it.
default_python=python3
[ -x /usr/bin/python3 ] && default_python=/usr/bin/python3
python=${PYTHON:-$default_python}
# The tests are read from the tree: leave no bytecode there.
export PYTHONDONTWRITEBYTECODE=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

wheel=$("$python" python/build_wheel.py "$build" "$work/dist")
version=$(sed -n 's/^project(runaudit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
case "$(basename "$wheel")" in
  "runaudit-$version-"*.whl) ;;
  *) echo "python-tests.sh: $wheel does not carry version $version" >&2; exit 1 ;;
esac
# Every file of the wheel is in its RECORD, with its size and SHA-256.
"$python" - "$wheel" <<'CHECK'
import base64, hashlib, sys, zipfile
wheel = zipfile.ZipFile(sys.argv[1])
record = next(n for n in wheel.namelist() if n.endswith(".dist-info/RECORD"))
listed = {}
for line in wheel.read(record).decode().splitlines():
    name, digest, size = line.rsplit(",", 2)
    listed[name] = (digest, size)
assert set(listed) == set(wheel.namelist()), "RECORD and the archive list different files"
for name, (digest, size) in listed.items():
    if name != record:
        data = wheel.read(name)
        ours = "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        assert (digest, size) == (ours, str(len(data))), name
CHECK
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --no-index --disable-pip-version-check "$work"/dist/runaudit-"$version"-*.whl
cd "$work"
installed=$("$work/venv/bin/python" -c 'import runaudit; print(runaudit.__file__)')
case "$installed" in
  "$work/venv/"*) ;;
  *) echo "python-tests.sh: runaudit imported from $installed, not the virtual environment" >&2; exit 1 ;;
esac
RUNAUDIT_BUILD="$build" "$work/venv/bin/python" -m pytest -q -p no:cacheprovider "$source/python/tests"
