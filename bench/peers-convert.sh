#!/usr/bin/env bash
# Decoding and photo-to-icon conversion, side by side with djpeg, ImageMagick and
# Pillow on the same files in the same run. Prints seconds, peak memory and ratios.
set -euo pipefail
BUILD=${BUILD:-build}
CLI="$BUILD/quelmar-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for t in convert djpeg /usr/bin/python3 /usr/bin/time; do
  command -v "$t" >/dev/null || { echo "peers-convert: $t missing (make deps)"; exit 0; }
done
[ -x "$CLI" ] || { echo "peers-convert: $CLI not built"; exit 0; }

echo "peers-convert: making test photos"
convert -size 1410x793 -seed 7 plasma:fractal -resize 5640x3172! -attenuate 0.3 +noise Gaussian \
  -interlace JPEG -quality 100 "$work/big.jpg"
convert -size 640x400 -seed 3 plasma:fractal -resize 2560x1600! -attenuate 0.3 +noise Gaussian \
  -quality 92 "$work/photo.jpg"

# best of 5 wall-clock seconds of a command
best() {
  local b=999999 t
  for _ in 1 2 3 4 5; do
    local s=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    t=$(echo "$(date +%s.%N) - $s" | bc -l)
    b=$(echo "if ($t < $b) $t else $b" | bc -l)
  done
  printf '%.4f' "$b"
}
peak() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk '/Maximum resident/ {print $6}'; }
ratio() { echo "scale=2; $1 / $2" | bc -l; }

pil_ico='import sys; from PIL import Image; Image.open(sys.argv[1]).convert("RGBA").resize((32, 32), Image.BILINEAR).save(sys.argv[2], sizes=[(32, 32)])'

for f in big photo; do
  dj=$(best djpeg -outfile /dev/null "$work/$f.jpg")
  if [ -x "$BUILD/bench/codec_bench" ]; then
    ours=$(QUELMAR_BENCH_JPEG="$work/$f.jpg" "$BUILD/bench/codec_bench" --benchmark_filter=BM_JpegDecodeFile \
      --benchmark_format=csv 2>/dev/null | awk -F, '/BM_JpegDecodeFile/ {print $3 / 1000}')
    echo "$f.jpg: decode into a bitmap ${ours}s, djpeg ${dj}s, ratio $(ratio "$ours" "$dj") (target <= 1.1 progressive, 1.3 baseline)"
  fi
  ql=$(best "$CLI" convert "$work/$f.jpg" "$work/$f.ico")
  echo "$f.jpg: djpeg ${dj}s, quelmar-cli convert to 32x32 icon ${ql}s, ratio $(ratio "$ql" "$dj") (target <= 1.2)"
done
im=$(best convert "$work/photo.jpg" -resize 32x32! "$work/im.ico")
pil=$(best /usr/bin/python3 -c "$pil_ico" "$work/photo.jpg" "$work/pil.ico")
ql=$(best "$CLI" convert "$work/photo.jpg" "$work/q.ico")
echo "photo.jpg to icon: quelmar ${ql}s, ImageMagick ${im}s (ratio $(ratio "$ql" "$im")), Pillow ${pil}s (ratio $(ratio "$ql" "$pil")) (targets <= 0.5)"
echo "peak memory (KiB): quelmar $(peak "$CLI" convert "$work/photo.jpg" "$work/q.ico"), Pillow $(peak /usr/bin/python3 -c "$pil_ico" "$work/photo.jpg" "$work/pil.ico"), ImageMagick $(peak convert "$work/photo.jpg" -resize 32x32! "$work/im.ico")"
