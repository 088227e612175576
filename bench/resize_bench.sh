#!/usr/bin/env bash
# Wall time and peak memory of whole resizes of generated pictures, on one
# thread and on every CPU, next to ImageMagick's Lanczos resize of the same
# picture to the same size with the same thread limit, measured in the same
# run (when `convert` is installed), the two taking turns. Each figure is the
# median of RUNS runs; the ratio is the median of the runs' ratios.
#
# Usage: bench/resize_bench.sh [--csv] [--runs RUNS] [--sizes LIST] [--cases LIST] [path/to/velmora]
#   --csv    one line per measurement: case,threads,tool,wall_s,peak_mib
#   --sizes  the BMP resizes to measure instead of the usual cases, as a list of
#            WxH:W'xH' separated by spaces, e.g. "256x192:512x384 512x384:1024x768"
#   --cases  every case to measure, as KIND:WxH:W'xH' with KIND bmp, png,
#            png16 (16-bit PNG) or jpeg; the usual set is the four BMP sizes
#            and PNG, 16-bit PNG and JPEG at 1024x768:4096x3072. A PNG or JPEG
#            case reads and writes that kind (the input made from the
#            generated BMP by ImageMagick) and needs `convert`.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
csv=0
runs=3
sizes="512x512:1024x1024 1024x768:2048x1536 1024x768:4096x3072 4096x3072:1024x768"
cases=""
sizes_given=0
while [ $# -gt 0 ]; do
  case "$1" in
    --csv) csv=1; shift ;;
    --runs) runs="$2"; shift 2 ;;
    --sizes) sizes="$2"; sizes_given=1; shift 2 ;;
    --cases) cases="$2"; shift 2 ;;
    *) break ;;
  esac
done
if [ -z "$cases" ]; then
  for size in $sizes; do cases="$cases bmp:$size"; done
  if [ "$sizes_given" = 0 ]; then
    cases="$cases png:1024x768:4096x3072 png16:1024x768:4096x3072 jpeg:1024x768:4096x3072"
  fi
fi
tool="${1:-$here/../build/velmora}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
all="$(nproc)"
peer=""
# A real ImageMagick answers -version with its name.
if convert -version 2>/dev/null | grep -q ImageMagick; then peer=convert; fi

# One timed run of a command: prints its wall seconds and peak KiB. The
# outputs of the previous run are removed first, outside the timing, so that
# no run pays for replacing (and the file system for freeing) the last one.
time_one() {
  rm -f "$work"/out.* "$work"/peer.*
  sync
  sleep 0.2
  local start end peak
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/time.txt" "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  read -r peak < "$work/time.txt"
  awk -v ns=$((end - start)) -v peak="$peak" 'BEGIN { printf "%.3f %s\n", ns / 1e9, peak }'
}

median() {
  sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'
}

if [ "$csv" = 1 ]; then
  echo "case,threads,tool,wall_s,peak_mib"
else
  echo "machine: $(lscpu | awk -F: '/Model name/ {gsub(/^ +/, "", $2); print $2; exit}'), $all CPUs; median of $runs runs"
  printf '%-30s %7s %10s %10s %12s %8s\n' "resize" "threads" "velmora s" "peak MiB" "convert s" "ratio"
fi
for case in $cases; do
  if ! [[ "$case" =~ ^(bmp|png|png16|jpeg):[0-9]+x[0-9]+:[0-9]+x[0-9]+$ ]]; then
    echo "resize_bench: a case is KIND:WxH:W'xH' (KIND bmp, png, png16 or jpeg), not \"$case\"" >&2
    exit 1
  fi
  kind="${case%%:*}"
  size="${case#*:}"
  set -- ${size//[x:]/ }
  python3 "$here/make_picture.py" "$1" "$2" "$work/in.bmp"
  # The kind's input, format option and extension.
  case "$kind" in
    bmp) input="$work/in.bmp"; format=bmp; ext=bmp ;;
    png) input="$work/in.png"; format=png; ext=png ;;
    png16) input="$work/in.png"; format=png; ext=png ;;
    jpeg) input="$work/in.jpg"; format=jpeg; ext=jpg ;;
  esac
  if [ "$kind" != bmp ]; then
    if [ -z "$peer" ]; then
      echo "resize_bench: $kind cases need ImageMagick's convert to make their input; left out" >&2
      continue
    fi
    depth=8
    [ "$kind" = png16 ] && depth=16
    convert "$work/in.bmp" -depth "$depth" "$input"
  fi
  thread_counts="1"
  [ "$all" -gt 1 ] && thread_counts="1 $all"
  for threads in $thread_counts; do
    # The two tools take turns, run by run, so that a change in the machine's
    # speed meets both; the ratio is the median of the runs' ratios.
    walls=() peaks=() peer_walls=() ratios=()
    for _ in $(seq "$runs"); do
      read -r wall peak < <(time_one "$tool" -i "$input" -o "$work/out" -format "$format" -threads "$threads" \
        -sizexminus $(($3 - $1)) -sizexminusy $(($4 - $2)))
      walls+=("$wall")
      peaks+=("$peak")
      if [ -n "$peer" ]; then
        read -r peer_wall _ < <(time_one "$peer" -limit thread "$threads" "$input" -filter Lanczos \
          -resize "$3x$4!" "$work/peer.$ext")
        peer_walls+=("$peer_wall")
        ratios+=("$(awk -v a="$wall" -v b="$peer_wall" 'BEGIN { printf "%.3f", a / b }')")
      fi
    done
    wall=$(printf '%s\n' "${walls[@]}" | median)
    peak=$(printf '%s\n' "${peaks[@]}" | median | awk '{printf "%.1f", $1 / 1024}')
    peer_wall="-"
    ratio="-"
    if [ -n "$peer" ]; then
      peer_wall=$(printf '%s\n' "${peer_walls[@]}" | median)
      ratio=$(printf '%s\n' "${ratios[@]}" | median | awk '{printf "%.2f", $1}')
    fi
    if [ "$csv" = 1 ]; then
      echo "$kind $1x$2->$3x$4,$threads,velmora,$wall,$peak"
      if [ -n "$peer" ]; then echo "$kind $1x$2->$3x$4,$threads,convert,$peer_wall,"; fi
    else
      printf '%-30s %7s %10s %10s %12s %8s\n' "$kind $1x$2 -> $3x$4" "$threads" "$wall" "$peak" "$peer_wall" "$ratio"
    fi
  done
done
