#!/usr/bin/env bash
# Hostile tiny files (fuzz/hostile.h: headers claiming huge pictures over a few
# bytes, each under 1 KiB) through the load fuzz target, one process each under
# /usr/bin/time: peak memory and time per file. The goal: under 64 MiB and 1 s
# for every one. Exits 1 when a file passes either bound.
set -euo pipefail
BUILD=${BUILD:-build}
replay="$BUILD/load_replay"
[ -x "$replay" ] || { echo "hostile-files: $replay is not built"; exit 0; }
[ -x /usr/bin/time ] || { echo "hostile-files: /usr/bin/time is missing (package time)"; exit 0; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$replay" --write-hostile "$dir"
limit_kib=$((64 * 1024))
status=0
printf '%-48s %8s %10s %8s\n' "file" "bytes" "peak KiB" "seconds"
for f in "$dir"/*; do
  /usr/bin/time -v "$replay" "$f" >/dev/null 2>"$dir/time.txt" || true
  kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$dir/time.txt")
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$dir/time.txt")
  secs=$(echo "$wall" | awk -F: '{ s = 0; for (i = 1; i <= NF; ++i) s = s * 60 + $i; print s }')
  size=$(($(stat -c %s "$f") - 1))
  printf '%-48s %8d %10d %8.2f\n' "$(basename "$f")" "$size" "$kib" "$secs"
  if [ "$kib" -ge "$limit_kib" ] || [ "$(echo "$secs >= 1" | bc)" = 1 ]; then
    echo "  ^ over the bound (64 MiB, 1 s)"
    status=1
  fi
done
exit $status
