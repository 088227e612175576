#!/usr/bin/env bash
# Wall time and peak memory of whole enlargements of generated pictures.
# Usage: bench/resize_bench.sh [path/to/velmora]   (default: build/velmora)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tool="${1:-$here/../build/velmora}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

printf '%-24s %10s %14s\n' "enlargement" "wall (s)" "peak RSS (MiB)"
for size in "256 256 512 512" "512 512 1024 1024" "1024 768 2048 1536"; do
  set -- $size
  python3 "$here/make_picture.py" "$1" "$2" "$work/in.bmp"
  /usr/bin/time -v "$tool" -i "$work/in.bmp" -o "$work/out" \
    -sizexminus $(($3 - $1)) -sizexminusy $(($4 - $2)) >/dev/null 2>"$work/time.txt"
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt" | awk -F: '{ if (NF == 3) print $1*3600 + $2*60 + $3; else print $1*60 + $2 }')
  peak=$(awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2 / 1024}' "$work/time.txt")
  printf '%-24s %10s %14s\n' "$1x$2 -> $3x$4" "$wall" "$peak"
done
