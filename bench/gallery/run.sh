#!/usr/bin/env bash
# Times a whole gallery run over 48 synthetic 4032 x 3024 JPEG photos (pictures fitted to
# 800 x 600, thumbnails to 160 x 160, pages of the "classic" template) without the user
# interface, and in the same run ImageMagick's convert doing the same two resizes per photo, one
# process at a time; prints both times and their ratio. The photos are made once, from fixed
# seeds, so every run measures the same corpus.
set -euo pipefail
cd "$(dirname "$0")/../.."

BUILD_DIR=${BUILD_DIR:-build-bench}
WORK=${WORK:-$BUILD_DIR/gallery-bench}
PHOTOS=48

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" -j 4 --target bench_gallery_run

corpus="$WORK/photos"
mkdir -p "$corpus"
if [ "$(find "$corpus" -name 'photo_*.jpg' | wc -l)" -ne "$PHOTOS" ]; then
  echo "Making $PHOTOS photos of 4032 x 3024 in $corpus ..."
  rm -f "$corpus"/photo_*.jpg
  for i in $(seq -w 1 "$PHOTOS"); do
    # Smooth fractal light and shade, enlarged, with seeded grain: many colours, as photos have.
    convert -seed "$((10#$i))" -size 504x378 plasma:fractal -blur 0x1 -resize '4032x3024!' \
      -seed "$((10#$i))" -attenuate 0.35 +noise Gaussian -quality 92 "$corpus/photo_$i.jpg"
  done
fi

# Plimbet: one whole run, checking, fitting, thumbnails and pages.
gallery="$WORK/gallery"
mkdir -p "$gallery"
ours=$(PLIMBET_BENCH_IMAGES="$corpus" PLIMBET_BENCH_GALLERY="$gallery" PLIMBET_BENCH_PROGRAM="$PWD" \
  "$BUILD_DIR/bench/bench_gallery_run" --benchmark_format=json |
  python3 -c 'import json, sys; b = json.load(sys.stdin)["benchmarks"][0]; assert "error_message" not in b, b.get("error_message"); print(b["real_time"])')

# ImageMagick: the same resizes, one convert at a time, on one thread as our run is.
reference="$WORK/imagemagick"
rm -rf "$reference"
mkdir -p "$reference/thumbs"
start=$(date +%s.%N)
for photo in "$corpus"/photo_*.jpg; do
  name=$(basename "$photo")
  MAGICK_THREAD_LIMIT=1 convert "$photo" -resize 800x600 -quality 80 "$reference/$name"
  MAGICK_THREAD_LIMIT=1 convert "$reference/$name" -resize 160x160 -quality 80 "$reference/thumbs/$name"
done
end=$(date +%s.%N)
theirs=$(python3 -c "print($end - $start)")

python3 - "$ours" "$theirs" "$PHOTOS" <<'PY'
import sys
ours, theirs, photos = float(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
print(f"{photos} photos of 4032 x 3024, fitted to 800 x 600 with 160 x 160 thumbnails")
print(f"Plimbet gallery run:        {ours:8.2f} s  ({ours / photos * 1000:6.0f} ms a photo)")
print(f"ImageMagick convert, 1 by 1: {theirs:8.2f} s  ({theirs / photos * 1000:6.0f} ms a photo)")
print(f"ratio (ImageMagick / Plimbet): {theirs / ours:.2f}")
PY
