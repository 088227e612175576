#!/usr/bin/env bash
# Wall time and peak memory of whole resizes of generated pictures, on one
# thread and on every CPU, next to ImageMagick's Lanczos resize of the same
# picture to the same size with the same thread limit, measured in the same
# run (when `convert` is installed). Each figure is the median of RUNS runs.
#
# Usage: bench/resize_bench.sh [--csv] [--runs RUNS] [--sizes LIST] [path/to/velmora]
#   --csv    one line per measurement: case,threads,tool,wall_s,peak_mib
#   --sizes  the resizes to measure instead of the usual four, as a list of
#            WxH:W'xH' separated by spaces, e.g. "256x192:512x384 512x384:1024x768"
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
csv=0
runs=3
sizes="512x512:1024x1024 1024x768:2048x1536 1024x768:4096x3072 4096x3072:1024x768"
while [ $# -gt 0 ]; do
  case "$1" in
    --csv) csv=1; shift ;;
    --runs) runs="$2"; shift 2 ;;
    --sizes) sizes="$2"; shift 2 ;;
    *) break ;;
  esac
done
tool="${1:-$here/../build/velmora}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
all="$(nproc)"
peer=""
# A real ImageMagick answers -version with its name.
if convert -version 2>/dev/null | grep -q ImageMagick; then peer=convert; fi

# Median wall seconds and median peak MiB of RUNS runs of a command. The
# outputs of the previous run are removed first, outside the timing, so that
# no run pays for replacing (and the file system for freeing) the last one.
measure() {
  local walls=() peaks=()
  for _ in $(seq "$runs"); do
    rm -f "$work/out.bmp" "$work/peer.bmp"
    sync; sleep 0.2
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/time.txt" "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    read -r peak < "$work/time.txt"
    wall=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }')
    walls+=("$wall")
    peaks+=("$peak")
  done
  local w p
  w=$(printf '%s\n' "${walls[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  p=$(printf '%s\n' "${peaks[@]}" | sort -g | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)] / 1024}')
  echo "$w $p"
}

if [ "$csv" = 1 ]; then
  echo "case,threads,tool,wall_s,peak_mib"
else
  echo "machine: $(lscpu | awk -F: '/Model name/ {gsub(/^ +/, "", $2); print $2; exit}'), $all CPUs; median of $runs runs"
  printf '%-24s %7s %10s %10s %12s %8s\n' "resize" "threads" "velmora s" "peak MiB" "convert s" "ratio"
fi
for size in $sizes; do
  if ! [[ "$size" =~ ^[0-9]+x[0-9]+:[0-9]+x[0-9]+$ ]]; then
    echo "resize_bench: a size is WxH:W'xH', not \"$size\"" >&2
    exit 1
  fi
  set -- ${size//[x:]/ }
  python3 "$here/make_picture.py" "$1" "$2" "$work/in.bmp"
  thread_counts="1"
  [ "$all" -gt 1 ] && thread_counts="1 $all"
  for threads in $thread_counts; do
    read -r wall peak < <(measure "$tool" -i "$work/in.bmp" -o "$work/out" -threads "$threads" \
      -sizexminus $(($3 - $1)) -sizexminusy $(($4 - $2)))
    peer_wall="-"
    ratio="-"
    if [ -n "$peer" ]; then
      read -r peer_wall _ < <(measure "$peer" -limit thread "$threads" "$work/in.bmp" -filter Lanczos \
        -resize "$3x$4!" "$work/peer.bmp")
      ratio=$(awk -v a="$wall" -v b="$peer_wall" 'BEGIN { printf "%.2f", a / b }')
    fi
    if [ "$csv" = 1 ]; then
      echo "$1x$2->$3x$4,$threads,velmora,$wall,$peak"
      if [ -n "$peer" ]; then echo "$1x$2->$3x$4,$threads,convert,$peer_wall,"; fi
    else
      printf '%-24s %7s %10s %10s %12s %8s\n' "$1x$2 -> $3x$4" "$threads" "$wall" "$peak" "$peer_wall" "$ratio"
    fi
  done
done
