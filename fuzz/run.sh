#!/usr/bin/env bash
# Fuzzes the five targets side by side for N minutes (default 10).
# New inputs go to fuzz/corpus-work/<target> (not committed); crashes to
# fuzz/artifacts/. Merge worthwhile inputs into fuzz/corpus/<target> with
#   build/fuzz/fuzz/fuzz_<target> -merge=1 fuzz/corpus/<target> fuzz/corpus-work/<target>
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

mkdir -p fuzz/artifacts
pids=()
for target in loader playback text hunt evidence; do
  work=fuzz/corpus-work/$target
  mkdir -p "$work"
  "build/fuzz/fuzz/fuzz_$target" "$work" "fuzz/corpus/$target" \
    -max_total_time=$((minutes * 60)) -artifact_prefix=fuzz/artifacts/"$target"- \
    -print_final_stats=1 >"fuzz/artifacts/$target.log" 2>&1 &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
for target in loader playback text hunt evidence; do
  echo "== $target"; grep -E "^(#[0-9]+.*DONE|stat::|==[0-9]+==ERROR|SUMMARY)" "fuzz/artifacts/$target.log" || true
done
exit $status
