#!/usr/bin/env bash
# The LZW and fax coders beside giflib, libtiff and Pillow in the same run:
# coders_bench times ours and the libraries in one process (CPU time, ms);
# Pillow decodes the same GIF, a 4000 x 3000 photo quantized by ImageMagick.
set -euo pipefail
BUILD=${BUILD:-build}
BENCH="$BUILD/bench/coders_bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -x "$BENCH" ] || { echo "peers-coders: $BENCH not built"; exit 0; }

gif=""
if command -v convert >/dev/null; then
  echo "peers-coders: making a 4000x3000 256-colour photo GIF"
  convert -size 1000x750 -seed 5 plasma:fractal -resize 4000x3000! -attenuate 0.4 +noise Gaussian \
    -colors 256 "$work/photo.gif"
  gif="$work/photo.gif"
fi

json="$work/bench.json"
QUELMAR_BENCH_GIF="$gif" "$BENCH" --benchmark_format=json --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true > "$json" 2>/dev/null
# median CPU time in ms of a benchmark, or one of its counters
pick() {
  /usr/bin/python3 - "$json" "$1" "${2:-cpu_time}" <<'EOF'
import json, sys
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b["name"] == sys.argv[2] + "_median":
        print(b.get(sys.argv[3], ""))
EOF
}
cpu() { pick "$1"; }
counter() { pick "$1" "$2"; }
ratio() { echo "scale=2; $1 / $2" | bc -l; }
line() {  # what, ours, theirs, peer
  if [ -n "$3" ]; then printf '%-22s ours %8.1f ms   %-8s %8.1f ms   ratio %s\n' "$1" "$2" "$4" "$3" "$(ratio "$2" "$3")"
  else printf '%-22s ours %8.1f ms\n' "$1" "$2"; fi
}

line "GIF LZW decode" "$(cpu BM_GifLzwDecode)" "$(cpu BM_GifLzwDecodeGiflib)" giflib
line "GIF LZW encode" "$(cpu BM_GifLzwEncode)" "$(cpu BM_GifLzwEncodeGiflib)" giflib
echo "  GIF data size ours/giflib: $(counter BM_GifLzwEncodeGiflib ours/giflib)"
line "TIFF LZW decode" "$(cpu BM_TiffLzwDecode)" "$(cpu BM_TiffLzwDecodeLibtiff)" libtiff
line "TIFF LZW encode" "$(cpu BM_TiffLzwEncode)" "$(cpu BM_TiffLzwEncodeLibtiff)" libtiff
echo "  TIFF strip size ours/libtiff: $(counter BM_TiffLzwEncodeLibtiff ours/libtiff)"
line "G4 decode A4 page" "$(cpu BM_G4Decode)" "$(cpu BM_G4DecodeLibtiff)" libtiff
line "G4 encode A4 page" "$(cpu BM_G4Encode)" "$(cpu BM_G4EncodeLibtiff)" libtiff

if [ -n "$gif" ] && /usr/bin/python3 -c 'import PIL' 2>/dev/null; then
  pil=$(/usr/bin/python3 - "$gif" <<'EOF'
import sys, time
from PIL import Image
best = 1e9
for _ in range(5):
    t = time.process_time()
    im = Image.open(sys.argv[1]); im.load()
    best = min(best, time.process_time() - t)
print(best * 1000)
EOF
)
  line "GIF decode vs Pillow" "$(cpu BM_GifLzwDecode)" "$pil" "Pillow"
  echo "  (ours: the LZW data alone; Pillow: Image.open(f).load() of the whole file)"
fi
