#!/usr/bin/env bash
# Times our window filters and frequency-domain transform against ImageMagick, libvips and numpy
# on the same 4032 x 3024 picture, one thread each, and a cross-dissolve frame against Qt's painter
# (inside the benchmark); prints our time as a ratio to each peer (below 1: we are faster). The
# peers' times exclude reading the picture: each is the run minus a run that only reads it.
# Usage: bench/peers/proc_filters.sh [picture.ppm]   (default: a generated plasma picture)
set -euo pipefail
root=$(realpath "$(dirname "$0")/../..")
source "$root/bench/peers/timing.sh"

BUILD_DIR=$(absolute "${BUILD_DIR:-$root/build-release}")
picture=${1:+$(absolute "$1")}
RUNS=${RUNS:-3}
export MAGICK_THREAD_LIMIT=1 VIPS_CONCURRENCY=1 OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1 QT_QPA_PLATFORM=offscreen

# Debian's interpreter, where numpy is installed (scripts/deps.sh), before any other on the path.
PYTHON=${PYTHON:-$(command -v /usr/bin/python3 || command -v python3)}

for tool in vips convert "$PYTHON"; do
    command -v "$tool" >/dev/null || { echo "proc_filters.sh: $tool is not installed (scripts/deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$root"

if [[ -z "$picture" ]]; then
    picture=$work/picture.ppm
    convert -seed 7 -size 4032x3024 plasma:fractal -depth 8 "$picture"
fi
vips copy "$picture" "$work/picture.v"
printf '3 3 9 0\n1 1 1\n1 1 1\n1 1 1\n' >"$work/blur.mat"

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_SANITIZE=OFF -DKV_BUILD_BENCH=ON \
    -DKV_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" --target bench_proc_filters -j "${JOBS:-4}" >/dev/null

# Our milliseconds per call, from Google Benchmark's CSV (real_time is the 3rd field).
ours=$(KV_BENCH_IMAGE=$picture bench_run "$work/ours.json" "$BUILD_DIR/bench/bench_proc_filters" \
    --benchmark_format=csv --benchmark_repetitions=3 --benchmark_display_aggregates_only=true)
our_ms() { grep "\"$1_median\"" <<<"$ours" | head -1 | cut -d, -f3 || die "no result for $1"; }

read_im=$(best convert "$picture" null:)
read_vips=$(best vips avg "$work/picture.v")
im_ms() { ms_beyond "$read_im" convert "$picture" "$@" null:; }
vips_ms() { ms_beyond "$read_vips" -o "$work/out.v" vips "$@"; }
numpy_ms() {
    "$PYTHON" -c "
import numpy, timeit
a = numpy.random.default_rng(7).random(($1, $1))
print(min(timeit.repeat(lambda: numpy.fft.fft2(a, norm='ortho'), number=1, repeat=$RUNS)) * 1000)"
}

# A row: the case, our benchmark, the peer's name, then the function and arguments that time the
# peer. Every row is timed before any is printed.
rows=()
row() {
    local our peer
    our=$(our_ms "$2")
    peer=$("${@:4}")
    rows+=("$(printf '%-26s %10.1f %10.1f %8.2f   %s' "$1" "$our" "$peer" "$(calc "$our / $peer")" "$3")")
}
row "ApplyFilter fpBlur" BM_ApplyFilterBlur "convert -convolve" im_ms -convolve 1,1,1,1,1,1,1,1,1
row "ApplyFilter fpBlur" BM_ApplyFilterBlur "vips conv" \
    vips_ms conv "$work/picture.v" "$work/out.v" "$work/blur.mat" --precision integer
row "Blur(2.0)" BM_Blur2 "convert -blur 0x2" im_ms -blur 0x2
row "Blur(2.0)" BM_Blur2 "vips gaussblur 2" vips_ms gaussblur "$work/picture.v" "$work/out.v" 2
row "MedianFilter 5x5" BM_Median5x5 "convert -statistic Median 5x5" im_ms -statistic Median 5x5
row "MedianFilter 5x5" BM_Median5x5 "vips rank 5 5 12" vips_ms rank "$work/picture.v" "$work/out.v" 5 5 12
row "Maximum(2)" BM_Maximum2 "convert -morphology Dilate Square:2" im_ms -morphology Dilate Square:2
row "BuildFT grey N=2048" BM_BuildFTGrey/2048 "numpy.fft.fft2 ortho" numpy_ms 2048
row "BuildFT grey N=4096" BM_BuildFTGrey/4096 "numpy.fft.fft2 ortho" numpy_ms 4096
row "CrossDissolve 1920x1080" BM_CrossDissolveFrame "QPainter at opacity" our_ms BM_QPainterOpacityFrame
printf '%-26s %10s %10s %8s   %s\n' case "ours (ms)" "peer (ms)" ratio peer
printf '%s\n' "${rows[@]}"
