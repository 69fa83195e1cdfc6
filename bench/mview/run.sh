#!/usr/bin/env bash
# Times the thumbnail view making 128-pixel thumbnails of 500 photo files (50 seeded 4032 x 3024
# JPEG photos made as bench/gallery makes them, each linked 10 times; warm cache), with one and
# with eight background loaders, and in the same run vipsthumbnail (one process, and the list
# split over 8) and ImageMagick's convert making the same thumbnails; prints images per second
# and the ratios.
set -euo pipefail
root=$(realpath "$(dirname "$0")/../..")
source "$root/bench/peers/timing.sh"

BUILD_DIR=$(absolute "${BUILD_DIR:-$root/build-bench}")
WORK=$(absolute "${WORK:-$BUILD_DIR/mview-bench}")
PHOTOS=50
LINKS=10
cd "$root"

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" -j 4 --target bench_mview_thumbs

corpus="$WORK/photos"
mkdir -p "$corpus"
if [ "$(find "$corpus" -name 'photo_*.jpg' | wc -l)" -ne "$PHOTOS" ]; then
  echo "Making $PHOTOS photos of 4032 x 3024 in $corpus ..."
  rm -f "$corpus"/photo_*.jpg
  seq -w 1 "$PHOTOS" | xargs -P 4 -I{} bash -c \
    'n=$((10#{})); convert -seed "$n" -size 504x378 plasma:fractal -blur 0x1 -resize "4032x3024!" \
       -seed "$n" -attenuate 0.35 +noise Gaussian -quality 92 "$0/photo_{}.jpg"' "$corpus"
fi
files="$WORK/files"
rm -rf "$files"
mkdir -p "$files"
for link in $(seq -w 1 "$LINKS"); do
  for photo in "$corpus"/photo_*.jpg; do
    ln "$photo" "$files/$(basename "$photo" .jpg)_$link.jpg"
  done
done
find "$files" -name '*.jpg' | sort > "$files/list.txt"
count=$(wc -l < "$files/list.txt")
cat "$corpus"/*.jpg > /dev/null # warm cache

QT_QPA_PLATFORM=offscreen PLIMBET_BENCH_THUMBS="$files" bench_run "$WORK/ours.json" \
  "$BUILD_DIR/bench/bench_mview_thumbs" >/dev/null

out="$WORK/thumbs"
rm -rf "$out"
mkdir -p "$out/vips1" "$out/vips8" "$out/magick"
vips1=$(RUNS=1 best xargs -a "$files/list.txt" vipsthumbnail -s 128 -o "$out/vips1/%s.jpg")
vips8=$(RUNS=1 best xargs -a "$files/list.txt" -n $(((count + 7) / 8)) -P 8 \
  vipsthumbnail -s 128 -o "$out/vips8/%s.jpg")
magick=$(RUNS=1 best sh -c 'while read -r f; do
  convert -define jpeg:size=256x256 "$f" -thumbnail 128x128 "$1/$(basename "$f")" || exit 1; done < "$0"' \
  "$files/list.txt" "$out/magick")
for peer in vips1 vips8 magick; do expect_files "$out/$peer" "$count"; done

python3 - "$WORK/ours.json" "$count" "$vips1" "$vips8" "$magick" <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))["benchmarks"]
count = int(sys.argv[2])
vips1, vips8, magick = (count / float(x) for x in sys.argv[3:6])
by = {b["name"]: b for b in data}
def ips(name):
    return by[name]["items_per_second"]
ours1 = ips("BM_MViewThumbnails/1/iterations:2/manual_time")
ours8 = ips("BM_MViewThumbnails/8/iterations:2/manual_time")
decode = by["BM_OneReducedDecode"]["real_time"]
print(f"{count} photo files of 4032 x 3024, 128-pixel thumbnails")
print(f"thumbnail view, 1 loader:   {ours1:7.1f} images/s  (vipsthumbnail, one process: {vips1:7.1f}; ratio {ours1 / vips1:.2f})")
print(f"thumbnail view, 8 loaders:  {ours8:7.1f} images/s  (vipsthumbnail, 8 processes: {vips8:7.1f}; ratio {ours8 / vips8:.2f})")
print(f"ImageMagick convert 1 by 1: {magick:7.1f} images/s")
for n in ("BM_MViewThumbnails/1/iterations:2/manual_time", "BM_MViewThumbnails/8/iterations:2/manual_time"):
    b = by[n]
    print(f"{n.split('/')[1]} loaders: first cell {b['first_cell_ms']:.0f} ms (one reduced decode {decode:.0f} ms), longest paint {b['max_paint_ms']:.0f} ms ({b['max_paint_cpu_ms']:.0f} ms of processor time)")
m = by.get("BM_MViewScrollMemory/iterations:1")
if m:
    print(f"resident memory scrolling {count * 10} files: {m['rss_after_first_mb']:.0f} MB after {count}, {m['rss_after_all_mb']:.0f} MB after all (+{m['rss_growth_mb']:.0f} MB)")
PY
