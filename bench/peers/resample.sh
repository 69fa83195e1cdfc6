#!/usr/bin/env bash
# Times our _ResampleEx against libvips and ImageMagick on the same 4032 x 3024 picture, one thread
# each, and prints our time as a ratio to each peer (below 1: we are faster). The peers' times
# exclude reading the picture: each is the resize run minus a run that only reads it.
# Usage: bench/peers/resample.sh [picture.ppm]   (default: a generated plasma picture)
set -euo pipefail
cd "$(dirname "$0")/../.."

BUILD_DIR=${BUILD_DIR:-build-bench}
RUNS=${RUNS:-5}
export MAGICK_THREAD_LIMIT=1 VIPS_CONCURRENCY=1 OMP_NUM_THREADS=1

for tool in vips convert; do
    command -v "$tool" >/dev/null || { echo "resample.sh: $tool is not installed (scripts/deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

picture=${1:-}
if [[ -z "$picture" ]]; then
    picture=$work/picture.ppm
    convert -seed 7 -size 4032x3024 plasma:fractal -depth 8 "$picture"
fi
vips copy "$picture" "$work/picture.v"

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_SANITIZE=OFF -DKV_BUILD_BENCH=ON \
    -DKV_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" --target bench_proc_resample -j "${JOBS:-4}" >/dev/null

source bench/peers/timing.sh

# Our milliseconds per call, from Google Benchmark's CSV (real_time is the 3rd field).
ours=$(KV_BENCH_IMAGE=$picture "$BUILD_DIR/bench/bench_proc_resample" --benchmark_format=csv \
    --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null | grep '_median"')
our_ms() { echo "$ours" | grep "Resample/$1\"\\|Resample/${1}_median" | head -1 | cut -d, -f3; }

read_only_im=$(best convert "$picture" null:)
read_only_vips=$(best vips avg "$work/picture.v")

printf '%-22s %10s %12s %12s %12s\n' case "ours (ms)" "/ vips" "/ IM Triangle" "/ IM Lanczos"
for size in 800x600 160x120; do
    w=${size%x*}
    scale=$(calc "$w / 4032")
    vips_ms=$(calc "($(best vips resize "$work/picture.v" "$work/out.v" "$scale" --vscale "$scale") - $read_only_vips) * 1000")
    tri_ms=$(calc "($(best convert "$picture" -filter Triangle -resize "${size}!" null:) - $read_only_im) * 1000")
    lan_ms=$(calc "($(best convert "$picture" -filter Lanczos -resize "${size}!" null:) - $read_only_im) * 1000")
    for filter in Bilinear Lanczos3 FastLinear; do
        ms=$(our_ms "${filter}_${size}")
        printf '%-22s %10.1f %12.2f %12.2f %12.2f\n' "${filter} ${size}" "$ms" \
            "$(calc "$ms / $vips_ms")" "$(calc "$ms / $tri_ms")" "$(calc "$ms / $lan_ms")"
    done
    printf '%-22s %10s %12.1f %12.1f %12.1f\n' "  peers ${size} (ms)" "" "$vips_ms" "$tri_ms" "$lan_ms"
done
