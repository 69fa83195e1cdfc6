#!/usr/bin/env bash
# Times Cancel pressed in the status window 1.5 s into the pictures stage of a gallery of 30 tiled
# 12-MP JPEG 2000 pictures (4000 x 3000 in 64-pixel tiles, made with opj_compress), from the press
# to the end of the run, ROUNDS times on one core (taskset -c 0) and on every core. The peer is
# one opj_decompress of such a picture, on core 0 and unpinned: what stopping at the end of the
# picture in hand would cost. Prints each time, the median and the worst of each, and the load.
#
# BASELINE_BENCH names the bench_gallery_cancel of another build (an earlier commit, say); it then
# takes its turns too, as "before".
set -euo pipefail
root=$(realpath "$(dirname "$0")/../..")
source "$root/bench/peers/timing.sh"

BUILD_DIR=$(absolute "${BUILD_DIR:-$root/build-bench}")
WORK=$(absolute "${WORK:-$BUILD_DIR/gallery-cancel}")
BASELINE_BENCH=${BASELINE_BENCH:+$(absolute "$BASELINE_BENCH")}
ROUNDS=${ROUNDS:-5}
PICTURES=30
cd "$root"

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" -j 4 --target bench_gallery_cancel

corpus="$WORK/pictures"
mkdir -p "$corpus"
if [ "$(find "$corpus" -name 'tiled_*.jp2' | wc -l)" -ne "$PICTURES" ]; then
  echo "Making $PICTURES tiled JPEG 2000 pictures of 4000 x 3000 in $corpus ..."
  rm -f "$corpus"/tiled_*.jp2
  # One photo-like picture, compressed 20 to 1; the copies decode alike.
  convert -seed 1 -size 500x375 plasma:fractal -blur 0x1 -resize '4000x3000!' -seed 1 -attenuate 0.35 \
    +noise Gaussian "$WORK/source.ppm"
  opj_compress -i "$WORK/source.ppm" -o "$WORK/tiled.jp2" -t 64,64 -r 20 >/dev/null
  rm -f "$WORK/source.ppm"
  for i in $(seq -w 1 "$PICTURES"); do cp "$WORK/tiled.jp2" "$corpus/tiled_$i.jp2"; done
fi

export QT_QPA_PLATFORM=offscreen PLIMBET_BENCH_IMAGES="$corpus" PLIMBET_BENCH_GALLERY="$WORK/gallery"
export PLIMBET_BENCH_PROGRAM="$root" KORVANE_REGISTRY_FILE="$WORK/registry.conf"

# One run: the seconds from the press to the end; the benchmark fails unless the run ended
# cancelled with nothing left in the gallery folder.
cancel_time() {
  (bench_run "$WORK/cancel.json" "$@") >/dev/null 2>"$WORK/cancel.err" || failed "$WORK/cancel.err" "$* failed"
  python3 -c 'import json, sys
print(json.load(open(sys.argv[1]))["benchmarks"][0]["press_to_end_s"])' "$WORK/cancel.json"
}

summary() {
  python3 -c 'import statistics, sys
t = [float(v) for v in sys.argv[2:]]
print(f"{sys.argv[1]:28s} median {statistics.median(t):6.3f} s  worst {max(t):6.3f} s  runs " + " ".join(f"{v:.3f}" for v in t))' "$@"
}

RUNS=3
peer_one=$(best taskset -c 0 opj_decompress -i "$WORK/tiled.jp2" -o "$WORK/peer.ppm")
peer_all=$(best opj_decompress -i "$WORK/tiled.jp2" -o "$WORK/peer.ppm")
rm -f "$WORK/peer.ppm"

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
declare -A times
contenders=("one core|taskset -c 0 $BUILD_DIR/bench/bench_gallery_cancel"
            "every core|$BUILD_DIR/bench/bench_gallery_cancel")
if [ -n "$BASELINE_BENCH" ]; then
  contenders=("before, one core|taskset -c 0 $BASELINE_BENCH" "${contenders[0]}"
              "before, every core|$BASELINE_BENCH" "${contenders[1]}")
fi
for ((r = 0; r < ROUNDS; r++)); do
  for contender in "${contenders[@]}"; do
    name=${contender%%|*}
    # shellcheck disable=SC2086
    times[$name]+=" $(cancel_time ${contender#*|})"
  done
done

echo
echo "Cancel 1.5 s into the pictures stage of $PICTURES tiled 4000 x 3000 JPEG 2000 pictures, press to end;"
echo "cores: $(nproc); load average before $load_before, after $(cut -d' ' -f1-3 /proc/loadavg)"
for contender in "${contenders[@]}"; do
  name=${contender%%|*}
  # shellcheck disable=SC2086
  summary "$name" ${times[$name]}
done
printf '%-28s %6.3f s on core 0, %6.3f s unpinned\n' "peer: one opj_decompress" "$peer_one" "$peer_all"
