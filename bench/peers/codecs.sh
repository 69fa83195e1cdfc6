#!/usr/bin/env bash
# Runs the codec benchmarks and their peers on one 12-megapixel photo and prints each of our
# times as a ratio to the peer's: JPEG load against djpeg (to a 24-bit image), JPEG save against
# cjpeg at the same quality, PNG load against ImageMagick. Peers are timed as whole processes,
# best of several runs; ours come from bench_codecs_jpeg_png (in-process, Google Benchmark, best
# of as many repetitions), which also times the bare libraries for the cost of our glue.
#
# Usage: bench/peers/codecs.sh [build-dir]   (a Release build with KV_BUILD_BENCH=ON)
set -euo pipefail
root=$(realpath "$(dirname "$0")/../..")
source "$root/bench/peers/timing.sh"

BUILD_DIR=$(absolute "${1:-$root/build-release}")
BENCH="$BUILD_DIR/bench/bench_codecs_jpeg_png"
PHOTO=$(absolute "${KV_BENCH_JPEG:-/usr/libexec/installed-tests/gdk-pixbuf/issue70.jpg}")
RUNS=${RUNS:-7}
QUALITY=80
MAGICK=/usr/bin/convert # ImageMagick itself, not a wrapper earlier on the path
cd "$root"

if [ ! -x "$BENCH" ]; then
  echo "build the benchmarks first:" >&2
  echo "  cmake -S . -B $BUILD_DIR -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=OFF && ninja -C $BUILD_DIR bench_codecs_jpeg_png" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
djpeg -pnm -outfile "$work/photo.ppm" "$PHOTO"
"$MAGICK" "$PHOTO" "$work/photo.png"

djpeg_ms=$(best_ms djpeg -bmp -outfile /dev/null "$PHOTO")
cjpeg_ms=$(best_ms cjpeg -quality $QUALITY -outfile /dev/null "$work/photo.ppm")
magick_ms=$(best_ms "$MAGICK" "$work/photo.png" bmp:/dev/null)

KV_BENCH_JPEG="$PHOTO" KV_BENCH_PNG="$work/photo.png" bench_run "$work/ours.json" "$BENCH" \
  --benchmark_repetitions="$RUNS" > /dev/null

python3 - "$work/ours.json" "$djpeg_ms" "$cjpeg_ms" "$magick_ms" <<'PY'
import json, sys
# Best of the repetitions, as for the peers.
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") == "iteration":
        name = b["name"].split("/")[0]
        runs[name] = min(runs.get(name, float("inf")), b["real_time"])
djpeg, cjpeg, magick = (float(v) for v in sys.argv[2:5])
rows = [
    ("JPEG load", runs["BM_JpegLoad_Ours"], "djpeg -bmp", djpeg, runs["BM_JpegLoad_Library"]),
    ("JPEG save q80", runs["BM_JpegSave_Ours"], "cjpeg -quality 80", cjpeg, runs["BM_JpegSave_Library"]),
    ("PNG load", runs["BM_PngLoad_Ours"], "ImageMagick convert", magick, runs["BM_PngLoad_Library"]),
]
print(f"{'':14} {'ours ms':>9} {'peer':>20} {'peer ms':>9} {'ratio':>6}   {'bare library ms':>15} {'ratio':>6}")
for name, ours, peer, peer_ms, bare in rows:
    print(f"{name:14} {ours:9.1f} {peer:>20} {peer_ms:9.1f} {ours / peer_ms:6.2f}   {bare:15.1f} {ours / bare:6.2f}")
PY
