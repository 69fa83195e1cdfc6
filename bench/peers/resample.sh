#!/usr/bin/env bash
# Times our _ResampleEx against libvips and ImageMagick on the same 4032 x 3024 picture, one thread
# each, and prints our time as a ratio to each peer (below 1: we are faster). The peers' times
# exclude reading the picture: each is the resize run minus a run that only reads it. The
# enlargements start from the picture reduced to 200 x 150 (the peers' by ImageMagick's triangle
# filter, ours by our area averages: the same size, nearly the same pixels); in their rows the
# ImageMagick column is its Triangle filter for the linear ones and Catrom for bicubic.
# Usage: bench/peers/resample.sh [picture.ppm]   (default: a generated plasma picture)
set -euo pipefail
root=$(realpath "$(dirname "$0")/../..")
source "$root/bench/peers/timing.sh"

BUILD_DIR=$(absolute "${BUILD_DIR:-$root/build-bench}")
picture=${1:+$(absolute "$1")}
RUNS=${RUNS:-5}
export MAGICK_THREAD_LIMIT=1 VIPS_CONCURRENCY=1 OMP_NUM_THREADS=1

for tool in vips convert; do
    command -v "$tool" >/dev/null || { echo "resample.sh: $tool is not installed (scripts/deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$root"

if [[ -z "$picture" ]]; then
    picture=$work/picture.ppm
    convert -seed 7 -size 4032x3024 plasma:fractal -depth 8 "$picture"
fi
vips copy "$picture" "$work/picture.v"

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_SANITIZE=OFF -DKV_BUILD_BENCH=ON \
    -DKV_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" --target bench_proc_resample -j "${JOBS:-4}" >/dev/null

# Our milliseconds per call, from Google Benchmark's CSV (real_time is the 3rd field).
ours=$(KV_BENCH_IMAGE=$picture bench_run "$work/ours.json" "$BUILD_DIR/bench/bench_proc_resample" \
    --benchmark_format=csv --benchmark_repetitions=3 --benchmark_display_aggregates_only=true)
our_ms() { grep "$1_median\"" <<<"$ours" | head -1 | cut -d, -f3 || die "no result for $1"; }

read_only_im=$(best convert "$picture" null:)
read_only_vips=$(best vips avg "$work/picture.v")

# Every peer is timed before any ratio is printed.
lines=()
for size in 800x600 160x120; do
    w=${size%x*}
    scale=$(calc "$w / 4032")
    vips_ms=$(ms_beyond "$read_only_vips" -o "$work/out.v" \
        vips resize "$work/picture.v" "$work/out.v" "$scale" --vscale "$scale")
    tri_ms=$(ms_beyond "$read_only_im" convert "$picture" -filter Triangle -resize "${size}!" null:)
    lan_ms=$(ms_beyond "$read_only_im" convert "$picture" -filter Lanczos -resize "${size}!" null:)
    for filter in Bilinear Lanczos3 FastLinear; do
        ms=$(our_ms "Resample/${filter}_${size}")
        lines+=("$(printf '%-22s %10.1f %12.2f %12.2f %12.2f' "${filter} ${size}" "$ms" \
            "$(calc "$ms / $vips_ms")" "$(calc "$ms / $tri_ms")" "$(calc "$ms / $lan_ms")")")
    done
    lines+=("$(printf '%-22s %10s %12.1f %12.1f %12.1f' "  peers ${size} (ms)" "" "$vips_ms" "$tri_ms" "$lan_ms")")
done

# Enlarging 200 x 150 by 4 (800 x 600) and by 16 (3200 x 2400): the linear filters against vips's
# linear kernel and ImageMagick's triangle, bicubic against vips's cubic kernel and ImageMagick's
# Catrom.
convert "$picture" -filter Triangle -resize 200x150! "$work/small.ppm"
vips copy "$work/small.ppm" "$work/small.v"
read_small_im=$(best convert "$work/small.ppm" null:)
read_small_vips=$(best vips avg "$work/small.v")
for size in 800x600 3200x2400; do
    factor=$((${size%x*} / 200))
    vips_linear=$(ms_beyond "$read_small_vips" -o "$work/big.v" \
        vips resize "$work/small.v" "$work/big.v" "$factor" --kernel linear)
    vips_cubic=$(ms_beyond "$read_small_vips" -o "$work/big.v" \
        vips resize "$work/small.v" "$work/big.v" "$factor" --kernel cubic)
    im_triangle=$(ms_beyond "$read_small_im" convert "$work/small.ppm" -filter Triangle -resize "${size}!" null:)
    im_catrom=$(ms_beyond "$read_small_im" convert "$work/small.ppm" -filter Catrom -resize "${size}!" null:)
    for filter in Bilinear FastLinear Bicubic; do
        ms=$(our_ms "Enlarge/${filter}_200x150_to_${size}")
        if [[ $filter == Bicubic ]]; then vips_ms=$vips_cubic im_ms=$im_catrom; else vips_ms=$vips_linear im_ms=$im_triangle; fi
        lines+=("$(printf '%-22s %10.1f %12.2f %12.2f %12s' "${filter} up ${factor}x" "$ms" \
            "$(calc "$ms / $vips_ms")" "$(calc "$ms / $im_ms")" "")")
    done
    lines+=("$(printf '%-22s %10s %12s %12s %12s' "  peers up ${factor}x (ms)" "" \
        "$(printf '%.1f/%.1f' "$vips_linear" "$vips_cubic")" "$(printf '%.1f/%.1f' "$im_triangle" "$im_catrom")" "")")
done

printf '%-22s %10s %12s %12s %12s\n' case "ours (ms)" "/ vips" "/ IM Triangle" "/ IM Lanczos"
printf '%s\n' "${lines[@]}"
