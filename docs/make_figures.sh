#!/usr/bin/env bash
# Makes the pictures in docs/ from this repository: the photograph in
# samples/ enlarged by three methods, a test chart enlarged and reduced, the
# ringing of the landscape sample, and the speed chart. velmora and
# ImageMagick's convert do the resizing, docs/figures.py lays out and labels
# the results.
#
# Usage: docs/make_figures.sh [--no-speed] [path/to/velmora]
#   --no-speed  keep docs/speed.png (measuring it takes a few minutes)
# Without a path, velmora is built in build/ first.
# Needs the Debian packages imagemagick, python3-numpy, python3-matplotlib
# and time; the tool itself needs none of them. PYTHON names the interpreter
# (Debian's /usr/bin/python3, which those packages serve, by default).
set -euo pipefail
python="${PYTHON:-/usr/bin/python3}"

speed=1
if [ "${1:-}" = --no-speed ]; then speed=0; shift; fi
velmora=""
if [ $# -gt 0 ]; then velmora="$(realpath "$1")"; fi
cd "$(dirname "$0")/.."

missing() { echo "make_figures.sh: $1 is missing: apt-get install $2" >&2; exit 1; }
convert -version 2>/dev/null | grep -q ImageMagick || missing "ImageMagick's convert" imagemagick
[ -x /usr/bin/time ] || missing /usr/bin/time time
command -v "$python" >/dev/null || missing python3 python3-numpy
"$python" -c 'import numpy' 2>/dev/null || missing "numpy for $python" python3-numpy
"$python" -c 'import matplotlib' 2>/dev/null || missing "matplotlib for $python" python3-matplotlib

if [ -z "$velmora" ]; then
  cmake -S . -B build >/dev/null && cmake --build build -j2 --target velmora >/dev/null
  velmora=build/velmora
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
figures() { "$python" docs/figures.py "$@"; }

# The three resizers, each writing a 24-bit BMP named $2 from $1 at $3 x $4.
# velmora takes the size as a difference and appends ".bmp" itself; its
# progress lines are shown only when it fails.
by_velmora() {
  local size
  size=$(identify -format '%w %h' "$1")
  set -- "$1" "$2" "$3" "$4" $size
  "$velmora" -i "$1" -o "${2%.bmp}" -sizexminus $(($3 - $5)) -sizexminusy $(($4 - $6)) \
    >"$work/velmora.log" 2>&1 || { cat "$work/velmora.log" >&2; exit 1; }
}
by_lanczos() { convert "$1" -filter Lanczos -resize "$3x$4!" -type TrueColor "BMP3:$2"; }
by_nearest() { convert "$1" -filter Point -resize "$3x$4!" -type TrueColor "BMP3:$2"; }

echo "enlargement.png: a crop of the photograph, 4x"
convert samples/cat.bmp -crop 64x48+40+28 +repage -type TrueColor "BMP3:$work/eye.bmp"
by_nearest "$work/eye.bmp" "$work/eye_nearest.bmp" 256 192
by_lanczos "$work/eye.bmp" "$work/eye_lanczos.bmp" 256 192
by_velmora "$work/eye.bmp" "$work/eye_velmora.bmp" 256 192
figures panels "$work/enlargement.png" \
  "nearest neighbour" 1 "$work/eye_nearest.bmp" \
  "ImageMagick, -filter Lanczos" 1 "$work/eye_lanczos.bmp" \
  "velmora" 1 "$work/eye_velmora.bmp"

echo "chart.png: a test chart enlarged 2x and reduced 4x"
figures chart "$work/chart.bmp"
by_velmora "$work/chart.bmp" "$work/chart_velmora_2x.bmp" 384 256
by_lanczos "$work/chart.bmp" "$work/chart_lanczos_2x.bmp" 384 256
by_velmora "$work/chart.bmp" "$work/chart_velmora_4th.bmp" 48 32
by_lanczos "$work/chart.bmp" "$work/chart_lanczos_4th.bmp" 48 32
# Contrast 8x around mid grey shows what is left where the chart's rings
# are finer than the reduced grid can hold.
for tool in velmora lanczos; do
  convert "$work/chart_${tool}_4th.bmp" -level 43.75%,56.25% -type TrueColor "BMP3:$work/chart_${tool}_4th_x8.bmp"
done
figures panels "$work/chart.png" \
  "velmora, enlarged 2x" 1 "$work/chart_velmora_2x.bmp" \
  "ImageMagick Lanczos, enlarged 2x" 1 "$work/chart_lanczos_2x.bmp" / \
  "velmora, reduced 4x\n(pixels shown 4x)" 4 "$work/chart_velmora_4th.bmp" \
  "Lanczos, reduced 4x\n(pixels shown 4x)" 4 "$work/chart_lanczos_4th.bmp" \
  "velmora, reduced 4x,\ncontrast 8x" 4 "$work/chart_velmora_4th_x8.bmp" \
  "Lanczos, reduced 4x,\ncontrast 8x" 4 "$work/chart_lanczos_4th_x8.bmp"

echo "ringing.png: the landscape sample enlarged 4x, and how far its sky ripples"
figures sky samples/landscape.bmp "$work/sky.bmp"
for picture in samples/landscape.bmp "$work/sky.bmp"; do
  name=$(basename "$picture" .bmp)
  by_velmora "$picture" "$work/${name}_velmora.bmp" 480 320
  by_lanczos "$picture" "$work/${name}_lanczos.bmp" 480 320
done
figures ripple "$work/ringing.png" 1 0 0 48 80 samples/landscape.bmp "$work/sky.bmp" \
  velmora "$work/landscape_velmora.bmp" "$work/sky_velmora.bmp" \
  Lanczos "$work/landscape_lanczos.bmp" "$work/sky_lanczos.bmp"

if [ "$speed" = 1 ]; then
  runs=9
  echo "speed.png: time against output size, one thread and all threads (a few minutes)"
  bench/resize_bench.sh --csv --runs "$runs" \
    --sizes "512x384:1024x768 1024x768:2048x1536 1536x1152:3072x2304 2048x1536:4096x3072 2560x1920:5120x3840 3072x2304:6144x4608" \
    "$velmora" | tee "$work/speed.csv"
  machine="$(lscpu | awk -F: '/Model name/ {gsub(/^ +/, "", $2); print $2; exit}')"
  figures speed "$work/speed.png" "$machine, $(nproc) CPUs; median of $runs runs" "$work/speed.csv"
fi

# Without the alpha channel matplotlib adds, and in grey where the picture is grey.
for png in "$work"/*.png; do
  convert "$png" -alpha off -strip "docs/$(basename "$png")"
done
ls -l docs/*.png
