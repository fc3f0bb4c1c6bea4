#!/usr/bin/env bash
# The crafted worst cases at the size the cost bound speaks of: each file of
# bench/worst has its records (all but the end marker) repeated until the
# body reaches 1 MB, then its end marker; then a program is timed on each.
#   bench/hostile-mb.sh make DIR [REPLAYTOOL]      writes DIR/NAME.wlx
#   bench/hostile-mb.sh time DIR COMMAND [ARG...]  CPU seconds per MB of each
# `time` runs COMMAND ARG... FILE three times per file under /usr/bin/time
# and prints the least user+system time per MB (the machine's noise only
# ever adds). Examples:
#   bench/hostile-mb.sh time /tmp/mb build/release/runaudit
#   bench/hostile-mb.sh time /tmp/mb env RUNAUDIT_FRAMES=exact build/soft/runaudit
#   bench/hostile-mb.sh time /tmp/mb node build/wasm/src/runaudit.js
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mode=${1:?make or time}
dir=${2:?folder}
shift 2

if [ "$mode" = make ]; then
  tool=${1:-$here/../build/release/replaytool}
  mkdir -p "$dir"
  for file in "$here"/worst/*.wlx; do
    name=$(basename "$file")
    text=$("$tool" unpack "$file")
    head=$(sed -n '1,/^records$/p' <<<"$text")
    body=$(sed '1,/^records$/d' <<<"$text" | grep -v ' 0x80$')
    lines=$(wc -l <<<"$body")
    copies=$(((1000000 / 5 + lines - 1) / lines))
    { echo "$head"; for ((i = 0; i < copies; i++)); do echo "$body"; done; echo "0 0x80"; } >"$dir/$name.txt"
    "$tool" pack "$dir/$name.txt" "$dir/$name"
    rm "$dir/$name.txt"
  done
  exit 0
fi

[ "$mode" = time ] || { echo "usage: $0 make|time DIR ..." >&2; exit 2; }
printf '%-34s %8s %8s\n' file MB 's/MB'
for file in "$dir"/*.wlx; do
  mb=$(awk -v b="$(stat -c %s "$file")" 'BEGIN { printf "%.3f", b / 1e6 }')
  best=
  for run in 1 2 3; do
    /usr/bin/time -o "$dir/.time" -f '%U %S' "$@" "$file" >/dev/null 2>&1 || true
    cpu=$(tail -1 "$dir/.time" | awk '{ print $1 + $2 }')
    if [ -z "$best" ] || awk -v a="$cpu" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$cpu; fi
  done
  printf '%-34s %8s %8.2f\n' "$(basename "$file")" "$mb" "$(awk -v c="$best" -v m="$mb" 'BEGIN { print c / m }')"
done
