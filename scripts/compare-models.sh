#!/usr/bin/env bash
# The native and the software extended-precision builds, each with its exact
# frame step and with the fast binary64 one (RUNAUDIT_FRAMES), must agree on
# every sample and fixture: runaudit's whole output, and the state after
# every frame. Run after the release and soft presets are built (the arm64
# build, under qemu-user, the Windows build, under Wine, and the WebAssembly
# build, under node, are compared too when present).
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

replays=(samples/*.wlx tests/api/fixtures/*.wlx tests/verify/edge_finds/*.wlx)
for text in tests/tool/fixtures/*.txt; do
  grep -q '^#check error' "$text" && continue  # rejected by the loader: no game to compare
  out="$work/$(basename "$text" .txt).wlx"
  build/release/replaytool pack "$text" "$out"
  replays+=("$out")
done

builds=(release release:fast release:split soft soft:exact soft:split)
[ -x build/arm64/replaytool ] && builds+=(arm64 arm64:exact)
[ -f build/windows/replaytool.exe ] && builds+=(windows windows:exact)
[ -f build/wasm/replaytool.js ] && builds+=(wasm wasm:exact)
status=0
for replay in "${replays[@]}"; do
  for build in "${builds[@]}"; do
    dir=${build%%:*}
    frames=default
    [ "$dir" != "$build" ] && frames=${build#*:}
    run=(env RUNAUDIT_FRAMES=$frames)
    exe=
    [ "$dir" = arm64 ] && run+=(qemu-aarch64 -L /usr/aarch64-linux-gnu)
    [ "$dir" = windows ] && run+=(cmake/wine-run.sh) && exe=.exe
    [ "$dir" = wasm ] && run+=(node) && exe=.js
    "${run[@]}" "build/$dir/runaudit$exe" "$replay" >"$work/$build.out" || true
    "${run[@]}" "build/$dir/replaytool$exe" trace "$replay" >"$work/$build.trace"
  done
  for build in "${builds[@]:1}"; do
    if ! cmp -s "$work/release.out" "$work/$build.out" || ! cmp -s "$work/release.trace" "$work/$build.trace"; then
      echo "DIFFERENT: $replay ($build vs release)"
      status=1
    fi
  done
  echo "same on ${builds[*]}: $replay ($(($(wc -l <"$work/release.trace") - 1)) frames)"
done
exit $status
