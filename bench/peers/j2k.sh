#!/usr/bin/env bash
# Makes the tiled JPEG 2000 pictures of bench_codecs_j2k, runs each of its benchmarks alone RUNS
# times under /usr/bin/time -v, and prints the median time and the peak memory of each, with our
# times as ratios to OpenJPEG's one-thread decoding (what opj_decompress does) and to libvips:
# 9000 x 9000 RGB in 80-pixel tiles, 4000 x 4000 in 64-pixel tiles, 9000 x 9000 in 1024-pixel
# tiles, and streams of a few bytes declaring one tile of 65535 x 4096, without decomposition and
# with five levels; and photos of 640 x 480 and 1024 x 768 in one tile, lossless and at a tenth of
# their bytes, a 1000 x 700 photo with and without alpha in tiles of 256 and 128 pixels, and a
# folder of small pictures, beside OpenJPEG on one thread and on every core (opj_decompress
# -threads); the small pictures by our reader on one core as well.
#
# Usage: bench/peers/j2k.sh [build-dir]   (a Release build with KV_BUILD_BENCH=ON)
# KV_BENCH_J2K_DIR keeps the pictures in that folder from one run to the next.
set -euo pipefail
root=$(realpath "$(dirname "$0")/../..")
source "$root/bench/peers/timing.sh"

BUILD_DIR=$(absolute "${1:-$root/build-release}")
BENCH="$BUILD_DIR/bench/bench_codecs_j2k"
RUNS=${RUNS:-3}
MAGICK=/usr/bin/convert # ImageMagick itself, not a wrapper earlier on the path
[[ -x $BENCH ]] || die "build $BENCH first (cmake -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_BENCH=ON)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pictures=${KV_BENCH_J2K_DIR:-$work}
mkdir -p "$pictures"

# A noisy gradient, repeated to the size (ImageMagick's own limits refuse a picture that large),
# coded at a tenth of its bytes, as a photo would be.
make_picture() { # size tile file
    [[ -s $pictures/$3 ]] && return
    "$MAGICK" -size 3000x3000 gradient:'#204080'-'#e0c040' -attenuate 0.4 +noise Gaussian -depth 8 \
        "ppm:$work/part.ppm"
    pnmtile "$1" "$1" "$work/part.ppm" >"$work/picture.ppm"
    opj_compress -i "$work/picture.ppm" -o "$pictures/$3" -t "$2,$2" -r 10 >/dev/null
    rm -f "$work/picture.ppm" "$work/part.ppm"
}
make_picture 9000 80 picture-t80.j2k
make_picture 4000 64 picture-t64.j2k
make_picture 9000 1024 picture-t1024.jp2

# The same noise at the sizes of most pictures on the web, in one tile.
make_photo() { # size file options...
    [[ -s $pictures/$2 ]] && return
    "$MAGICK" -size "$1" gradient:'#204080'-'#e0c040' -attenuate 0.4 +noise Gaussian -depth 8 \
        "ppm:$work/photo.ppm"
    opj_compress -i "$work/photo.ppm" -o "$pictures/$2" "${@:3}" >/dev/null
    rm -f "$work/photo.ppm"
}
for size in 640x480 1024x768; do
    make_photo "$size" "one-tile-$size.j2k"
    make_photo "$size" "one-tile-$size-r10.j2k" -r 10
done

# The noise with an alpha channel of a radial gradient, as PNG with alpha (grey and alpha with
# "grey"), from which opj_compress writes a JP2 channel definition box; or the same without alpha.
noise_png() { # size file [grey]
    "$MAGICK" -size "$1" gradient:'#204080'-'#e0c040' -attenuate 0.4 +noise Gaussian \
        \( -size "$1" radial-gradient:white-'#303030' \) -alpha off -compose CopyOpacity -composite \
        ${3:+-colorspace Gray -define png:color-type=4} -depth 8 "png:$2"
}
make_alpha() { # size file alpha(yes|no) options...
    [[ -s $pictures/$2 ]] && return
    noise_png "$1" "$work/alpha.png"
    [[ $3 == yes ]] || "$MAGICK" "$work/alpha.png" -alpha off "$work/alpha.png"
    opj_compress -i "$work/alpha.png" -o "$pictures/$2" "${@:4}" >/dev/null
    rm -f "$work/alpha.png"
}
# A 1000 x 700 photo with and without alpha, RPCL with two levels, in tiles of 256 pixels, and of
# 128 with SOP and EPH markers.
for alpha in rgba rgb; do
    make_alpha 1000x700 "tiles-$alpha-t256.jp2" "$([[ $alpha == rgba ]] && echo yes || echo no)" \
        -t 256,256 -p RPCL -n 3
    make_alpha 1000x700 "tiles-$alpha-t128-sop.jp2" "$([[ $alpha == rgba ]] && echo yes || echo no)" \
        -t 128,128 -p RPCL -n 3 -SOP -EPH
done

# Small pictures, a folder of them: tens to hundreds of thousands of pixels and a few tiny ones,
# of one to four components, in one tile and in many.
small=$pictures/small
mkdir -p "$small"
small_picture() { # size file kind(rgb|rgba|grey|grey-alpha) options...
    [[ -s $small/$2 ]] && return
    case $3 in
    rgb) noise_png "$1" "$work/small.png" && "$MAGICK" "$work/small.png" -alpha off "$work/small.png" ;;
    rgba) noise_png "$1" "$work/small.png" ;;
    grey) noise_png "$1" "$work/small.png" grey && "$MAGICK" "$work/small.png" -alpha off "$work/small.png" ;;
    grey-alpha) noise_png "$1" "$work/small.png" grey ;;
    esac
    opj_compress -i "$work/small.png" -o "$small/$2" "${@:4}" >/dev/null
    rm -f "$work/small.png"
}
small_picture 16x16 tiny-16x16.j2k rgb -n 2
small_picture 24x20 tiny-grey-24x20.j2k grey -n 2
small_picture 160x120 grey-160x120.j2k grey
small_picture 200x150 grey-alpha-200x150.jp2 grey-alpha
small_picture 320x240 rgb-320x240-r10.j2k rgb -r 10
small_picture 320x240 rgb-320x240-t64.j2k rgb -t 64,64
small_picture 400x300 rgba-400x300.jp2 rgba
small_picture 480x360 rgba-480x360-t128.jp2 rgba -t 128,128
small_picture 640x480 rgb-640x480-t64-r10.j2k rgb -t 64,64 -r 10
small_picture 600x400 grey-600x400-t32.j2k grey -t 32,32

# One tile of 65535 x 4096 RGB, every packet empty: a mid-grey picture, without decomposition and
# with the five levels that opj_compress gives by default.
one_tile() { # levels file
    python3 - "$1" "$pictures/$2" <<'PY'
import struct, sys
width, height, components, levels = 65535, 4096, 3, int(sys.argv[1])
b = bytearray(b"\xff\x4f\xff\x51")
b += struct.pack(">HH8IH", 38 + 3 * components, 0, width, height, 0, 0, width, height, 0, 0, components)
b += b"\x07\x01\x01" * components
b += b"\xff\x52" + struct.pack(">H8B", 12, 0, 0, 0, 1, 0, levels, 4, 4) + b"\x00\x01"
b += b"\xff\x5c" + struct.pack(">HB", 4 + 3 * levels, 0x40) + b"\x48" * (1 + 3 * levels)
# A packet for each precinct of 2^15 points of each resolution of each component.
precincts = lambda size, halvings: (-(-size >> halvings) + 32767) >> 15
packets = components * sum(precincts(width, h) * precincts(height, h) for h in range(levels + 1))
b += b"\xff\x90" + struct.pack(">HHIBB", 10, 0, 14 + packets, 0, 1) + b"\xff\x93" + bytes(packets)
b += b"\xff\xd9"
open(sys.argv[2], "wb").write(b)
PY
}
one_tile 0 one-tile-65535x4096.j2k
one_tile 5 one-tile-65535x4096-levels5.j2k

export KV_BENCH_J2K_TILES80=$pictures/picture-t80.j2k KV_BENCH_J2K_TILES64=$pictures/picture-t64.j2k \
    KV_BENCH_J2K=$pictures/picture-t1024.jp2 KV_BENCH_J2K_ONE_TILE=$pictures/one-tile-65535x4096.j2k \
    KV_BENCH_J2K_ONE_TILE_LEVELS5=$pictures/one-tile-65535x4096-levels5.j2k KV_BENCH_J2K_SMALL_DIR=$pictures \
    KV_BENCH_J2K_SMALL_SET=$small
"$BENCH" --benchmark_list_tests >"$work/names"
while read -r name; do
    for ((i = 0; i < RUNS; i++)); do
        /usr/bin/time -v -o "$work/time" "$BENCH" --benchmark_filter="^$name\$" \
            --benchmark_out="$work/run.json" --benchmark_out_format=json >/dev/null 2>&1 ||
            die "$name failed"
        python3 - "$name" "$work/run.json" "$work/time" >>"$work/results" <<'PY'
import json, re, sys
name, run, timing = sys.argv[1:4]
bench = [b for b in json.load(open(run))["benchmarks"] if b["name"].startswith(name)]
if not bench or bench[0].get("error_occurred"):
    sys.exit(f"{name}: {bench[0].get('error_message', 'no result') if bench else 'no result'}")
peak = re.search(r"Maximum resident set size \(kbytes\): (\d+)", open(timing).read()).group(1)
print(name.split("/")[0], bench[0]["real_time"], int(peak) // 1024)
PY
    done
done <"$work/names"

# The photos beside the opj_decompress program itself, which also reads the file and writes the
# picture out as a PPM file: on one thread and on every core the process may use.
cores=$(nproc)
for photo in 640x480 640x480-r10 1024x768 1024x768-r10; do
    file=$pictures/one-tile-$photo.j2k
    one=$(best_ms -o "$work/photo.ppm" opj_decompress -threads 1 -i "$file" -o "$work/photo.ppm")
    every=$(best_ms -o "$work/photo.ppm" opj_decompress -threads "$cores" -i "$file" -o "$work/photo.ppm")
    echo "$photo $one $every" >>"$work/programs"
done

python3 - "$work/results" "$work/programs" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, ms, mb = line.split()
    runs.setdefault(name, []).append((float(ms), int(mb)))
median = {n: (statistics.median(m for m, _ in r), max(p for _, p in r)) for n, r in runs.items()}
print(f"{'benchmark':48} {'median ms':>10} {'peak MB':>8} {'ours / this':>11}")
for name, (ms, mb) in median.items():
    picture = name.rsplit("_", 1)[0]
    ours = median.get(picture + "_Ours")
    ratio = f"{ours[0] / ms:10.2f}" if ours and not name.endswith("_Ours") else ""
    print(f"{name:48} {ms:10.1f} {mb:8d} {ratio:>11}")
print(f"\n{'opj_decompress program, best ms':32} {'1 thread':>9} {'every core':>11} {'ours / 1':>9} {'ours / every':>13}")
for line in open(sys.argv[2]):
    photo, one, every = line.split()
    size, _, rate = photo.partition("-")
    ours = median.get(f"BM_J2kLoad_OneTile{size}{'Rate10' if rate else ''}_Ours")
    ratios = f"{ours[0] / float(one):9.2f} {ours[0] / float(every):13.2f}" if ours else ""
    print(f"{'one tile ' + photo:32} {float(one):9.1f} {float(every):11.1f} {ratios}")
PY
