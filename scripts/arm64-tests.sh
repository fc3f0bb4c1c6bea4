#!/usr/bin/env bash
# Cross-compiles for arm64 Linux and runs the whole test suite under
# qemu-user. Needs Debian's crossbuild-essential-arm64, qemu-user and
# googletest (its sources are compiled for the target).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --workflow --preset arm64
# The samples' verdicts from the arm64 build itself.
for sample in samples/*.wlx; do
  qemu-aarch64 -L /usr/aarch64-linux-gnu build/arm64/runaudit "$sample" | tail -n 1
done
