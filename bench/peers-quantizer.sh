#!/usr/bin/env bash
# Colour reduction quality beside ImageMagick: the same 256x256 crops reduced to
# 255 and 15 colours by our quantizer and by `convert -colors`, each scored with
# `compare -metric PSNR` against the source (higher is closer).
set -euo pipefail
BUILD=${BUILD:-build}
BENCH="$BUILD/bench/quantizer_bench"
CORPUS=${QUELMAR_CORPUS:-$(dirname "$0")/../../shared/corpus}
for t in convert compare; do
  command -v "$t" >/dev/null || { echo "peers-quantizer: $t missing (make deps)"; exit 0; }
done
[ -x "$BENCH" ] || { echo "peers-quantizer: $BENCH not built"; exit 0; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

psnr() { compare -metric PSNR "$1" "$2" null: 2>&1 || true; }

run() {  # name, source PPM or "" for the synthetic crop
  local name=$1 src=$2 dir="$work/$1"
  mkdir -p "$dir"
  if [ -n "$src" ]; then
    QUELMAR_QUANT_SOURCE="$src" QUELMAR_QUANT_DUMP="$dir" "$BENCH" --benchmark_min_time=0.2 >"$dir/bench.txt" 2>&1
  else
    QUELMAR_QUANT_DUMP="$dir" "$BENCH" --benchmark_min_time=0.2 >"$dir/bench.txt" 2>&1
  fi
  grep '^BM_' "$dir/bench.txt" | sed 's/^/  /'
  for n in 255 15; do
    convert "$dir/source.ppm" +dither -colors "$n" "$dir/im-$n.ppm"
    convert "$dir/source.ppm" -colors "$n" "$dir/imd-$n.ppm"
    printf '  %-10s %3s colours  PSNR dB: ours %-8s  ImageMagick +dither %-8s  ImageMagick dithered %s\n' \
      "$name" "$n" "$(psnr "$dir/source.ppm" "$dir/ours-$n.ppm")" \
      "$(psnr "$dir/source.ppm" "$dir/im-$n.ppm")" "$(psnr "$dir/source.ppm" "$dir/imd-$n.ppm")"
  done
}

echo "peers-quantizer: ours 255 = network, 15 = box splitting; ImageMagick $(convert -version | head -1 | cut -d' ' -f3)"
run synthetic ""
hopper="$CORPUS/ico/pillow/hopper_256x256.ico"
if [ -f "$hopper" ] && convert "$hopper[0]" -alpha off "$work/hopper.ppm" 2>/dev/null; then
  run hopper "$work/hopper.ppm"
else
  echo "  (corpus photo $hopper not available: synthetic crop only)"
fi
