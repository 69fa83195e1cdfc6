#!/usr/bin/env bash
# Runs the benchmarks of the TGA, PCX, JPEG 2000 and BMP readers and of the lossless JPEG turn on
# one 12-megapixel photo beside their peers, and prints each of our times as a ratio to the peer's:
# TGA RLE and BMP loads against ImageMagick, 24-bit PCX load against pcxtoppm, lossless JP2 load
# against opj_decompress on the machine's threads (as our reader decodes), and a quarter turn
# against jpegtran -rotate 90 -trim, whose peak memory is compared too. Peers are timed as whole
# processes, best of several runs; ours come from bench_codecs_formats (in-process, Google
# Benchmark, best of as many repetitions).
#
# Usage: bench/peers/formats.sh [build-dir]   (a Release build with KV_BUILD_BENCH=ON)
set -euo pipefail
root=$(realpath "$(dirname "$0")/../..")
source "$root/bench/peers/timing.sh"

BUILD_DIR=$(absolute "${1:-$root/build-release}")
BENCH="$BUILD_DIR/bench/bench_codecs_formats"
PHOTO=$(absolute "${KV_BENCH_JPEG:-/usr/libexec/installed-tests/gdk-pixbuf/issue70.jpg}")
RUNS=${RUNS:-5}
MAGICK=/usr/bin/convert # ImageMagick itself, not a wrapper earlier on the path
cd "$root"

if [ ! -x "$BENCH" ]; then
  echo "build the benchmarks first:" >&2
  echo "  cmake -S . -B $BUILD_DIR -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=OFF && ninja -C $BUILD_DIR bench_codecs_formats" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
djpeg -pnm -outfile "$work/photo.ppm" "$PHOTO"
"$MAGICK" "$work/photo.ppm" -compress RLE "$work/photo.tga"
ppmtopcx -24bit "$work/photo.ppm" > "$work/photo.pcx" 2> /dev/null
opj_compress -i "$work/photo.ppm" -o "$work/photo.jp2" > /dev/null
"$MAGICK" "$work/photo.ppm" BMP3:"$work/photo24.bmp"
"$MAGICK" "$work/photo.ppm" -colors 256 -compress RLE BMP3:"$work/photo-rle.bmp"
# Alpha from the picture's own grey, so that it varies as much as the colours do.
"$MAGICK" "$work/photo.ppm" \( +clone -colorspace gray \) -alpha off -compose copy_opacity -composite \
  -define bmp:format=bmp4 BMP:"$work/photo32.bmp"

# Peak resident memory of a command, which must succeed, in kilobytes.
peak_kb() {
  /usr/bin/time -f %M -o "$work/peak" "$@" > /dev/null || die "$* failed (exit status $?)"
  cat "$work/peak"
}

magick_ms=$(best_ms "$MAGICK" "$work/photo.tga" null:)
pcxtoppm_ms=$(best_ms pcxtoppm "$work/photo.pcx")
bmp24_ms=$(best_ms "$MAGICK" "$work/photo24.bmp" null:)
bmprle_ms=$(best_ms "$MAGICK" "$work/photo-rle.bmp" null:)
bmp32_ms=$(best_ms "$MAGICK" "$work/photo32.bmp" null:)
opj_ms=$(best_ms -o "$work/decoded.ppm" opj_decompress -threads "$(nproc)" -i "$work/photo.jp2" -o "$work/decoded.ppm")
jpegtran_ms=$(best_ms jpegtran -rotate 90 -trim -outfile /dev/null "$PHOTO")
jpegtran_kb=$(peak_kb jpegtran -rotate 90 -trim -outfile /dev/null "$PHOTO")
ours_kb=$(peak_kb "$BENCH" --rotate90-once "$PHOTO" /dev/null)

KV_BENCH_TGA="$work/photo.tga" KV_BENCH_PCX="$work/photo.pcx" KV_BENCH_JP2="$work/photo.jp2" \
  KV_BENCH_BMP24="$work/photo24.bmp" KV_BENCH_BMPRLE="$work/photo-rle.bmp" KV_BENCH_BMP32="$work/photo32.bmp" \
  KV_BENCH_JPEG="$PHOTO" bench_run "$work/ours.json" "$BENCH" --benchmark_repetitions="$RUNS" > /dev/null

python3 - "$work/ours.json" "$magick_ms" "$pcxtoppm_ms" "$opj_ms" "$jpegtran_ms" "$ours_kb" "$jpegtran_kb" \
  "$bmp24_ms" "$bmprle_ms" "$bmp32_ms" <<'PY'
import json, sys
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") == "iteration":
        name = b["name"].split("/")[0]
        runs[name] = min(runs.get(name, float("inf")), b["real_time"])
magick, pcxtoppm, opj, jpegtran = (float(v) for v in sys.argv[2:6])
ours_kb, jpegtran_kb = (int(v) for v in sys.argv[6:8])
bmp24, bmprle, bmp32 = (float(v) for v in sys.argv[8:11])
rows = [
    ("TGA RLE load", runs["BM_TgaRleLoad"], "ImageMagick convert", magick, 0.5),
    ("PCX 24-bit load", runs["BM_Pcx24Load"], "pcxtoppm", pcxtoppm, 1.0),
    ("JP2 lossless load", runs["BM_Jp2LosslessLoad"], "opj_decompress -threads N", opj, 1.1),
    ("BMP 24-bit load", runs["BM_Bmp24Load"], "ImageMagick convert", bmp24, 0.5),
    ("BMP RLE8 load", runs["BM_BmpRle8Load"], "ImageMagick convert", bmprle, 0.5),
    ("BMP 32-bit alpha", runs["BM_Bmp32AlphaLoad"], "ImageMagick convert", bmp32, 0.5),
    ("JPEG rotate 90", runs["BM_JpegRotate90"], "jpegtran -rotate 90 -trim", jpegtran, 1.2),
]
print(f"{'':18} {'ours ms':>9} {'peer':>26} {'peer ms':>9} {'ratio':>6} {'goal':>6}")
for name, ours, peer, peer_ms, goal in rows:
    print(f"{name:18} {ours:9.1f} {peer:>26} {peer_ms:9.1f} {ours / peer_ms:6.2f} {goal:6.1f}")
print(f"{'JPEG rotate 90 peak memory':34} ours {ours_kb / 1024:.1f} MB, jpegtran {jpegtran_kb / 1024:.1f} MB, "
      f"ratio {ours_kb / jpegtran_kb:.2f} (goal 1.5)")
PY
