#!/usr/bin/env bash
# Times our resampling against Pillow on the same pixels and sizes, in one run,
# and prints the ratio (ours / Pillow; the goal is 0.5 or less).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-build}
case $build in /*) ;; *) build=$root/$build ;; esac
bin=$build/bench/resample_bench
py=/usr/bin/python3
if [ ! -x "$bin" ]; then echo "peers-resample: $bin is not built; skipped"; exit 0; fi
if ! $py -c 'import PIL' 2>/dev/null; then echo "peers-resample: Pillow (python3-pil) missing; skipped"; exit 0; fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A photo-like source: smooth gradients, texture and hard edges, as raw BGR.
$py - "$tmp/src" <<'PY'
import sys, random
from PIL import Image, ImageDraw, ImageFilter
random.seed(7)
for w, h in ((2560, 1600), (5640, 3172)):
    im = Image.linear_gradient('L').resize((w, h))
    rgb = Image.merge('RGB', (im, im.transpose(Image.FLIP_LEFT_RIGHT), im.transpose(Image.FLIP_TOP_BOTTOM)))
    d = ImageDraw.Draw(rgb)
    for _ in range(400):
        x, y = random.randrange(w), random.randrange(h)
        r = random.randrange(5, max(6, w // 20))
        d.ellipse((x - r, y - r, x + r, y + r), fill=tuple(random.randrange(256) for _ in range(3)))
    noise = Image.effect_noise((w, h), 40).convert('RGB')
    rgb = Image.blend(rgb.filter(ImageFilter.GaussianBlur(1)), noise, 0.15)
    open(f"{sys.argv[1]}.{w}x{h}", "wb").write(rgb.tobytes('raw', 'BGR'))
PY

jobs="lanczos3_2560x1600_256:LANCZOS bell_2560x1600_256:BICUBIC fastlinear_2560x1600_256:BILINEAR bell_5640x3172_218x123:BICUBIC"

$py - "$tmp/src" > "$tmp/pillow.txt" <<'PY'
import sys, time, statistics
from PIL import Image
jobs = [("lanczos3_2560x1600_256", (2560, 1600), (256, 256), Image.LANCZOS),
        ("bell_2560x1600_256", (2560, 1600), (256, 256), Image.BICUBIC),
        ("fastlinear_2560x1600_256", (2560, 1600), (256, 256), Image.BILINEAR),
        ("bell_5640x3172_218x123", (5640, 3172), (218, 123), Image.BICUBIC)]
cache = {}
for name, src, dst, f in jobs:
    if src not in cache:
        raw = open(f"{sys.argv[1]}.{src[0]}x{src[1]}", "rb").read()
        cache[src] = Image.frombytes('RGB', src, raw, 'raw', 'BGR')
    im = cache[src]
    im.resize(dst, f)
    times = []
    for _ in range(15):
        t = time.perf_counter(); im.resize(dst, f); times.append(time.perf_counter() - t)
    print(name, statistics.median(times) * 1000)
PY

filter=$(echo "$jobs" | tr ' ' '\n' | cut -d: -f1 | paste -sd'|')
QUELMAR_BENCH_SOURCE="$tmp/src" "$bin" --benchmark_filter="($filter)\$" --benchmark_repetitions=15 \
  --benchmark_report_aggregates_only=true --benchmark_format=json > "$tmp/ours.json" 2>/dev/null

$py - "$tmp/ours.json" "$tmp/pillow.txt" "$jobs" <<'PY'
import sys, json
ours = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        name = b["run_name"].split("/", 1)[1]
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        ours[name] = b["real_time"] * scale
pillow = dict((l.split()[0], float(l.split()[1])) for l in open(sys.argv[2]))
peer = dict(j.split(":") for j in sys.argv[3].split())
print(f"{'job':28} {'quelmar ms':>11} {'Pillow':>9} {'Pillow ms':>10} {'ratio':>7}")
for name in peer:
    q, p = ours.get(name), pillow.get(name)
    if q is None or p is None: continue
    print(f"{name:28} {q:11.2f} {peer[name]:>9} {p:10.2f} {q / p:7.2f}")
PY
