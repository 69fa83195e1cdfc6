#!/usr/bin/env bash
# What a save and a gallery's picture cost as their folder grows:
# - bench_core_file_writer: 1,000 saves of small new files into a folder of 20,000 files against
#   the same saves into an empty folder (Google Benchmark's time a save), on a tmpfs (TMPFS_DIR,
#   /dev/shm where it is): on ext4 without a journal the disk's own making of files costs more in
#   a folder that holds more, and much more in the half minute after many files were removed, as
#   these runs remove them;
# - bench_gallery_run over 1,000 and 16,000 tiny JPEGs (48 x 32, 8 kinds copied round), on
#   THREADS workers (1 unless set), into a new gallery folder on the same tmpfs: the time a
#   picture.
# Prints each time and the two ratios, which stay near 1 when the cost does not grow.
#
# BASELINE_BUILD names the build folder of another commit (an earlier one, say) whose bench
# programs then take their turns too, as "before".
set -euo pipefail
root=$(realpath "$(dirname "$0")/../..")
source "$root/bench/peers/timing.sh"

BUILD_DIR=$(absolute "${BUILD_DIR:-$root/build-bench}")
WORK=$(absolute "${WORK:-$BUILD_DIR/gallery-folder-size}")
BASELINE_BUILD=${BASELINE_BUILD:+$(absolute "$BASELINE_BUILD")}
THREADS=${THREADS:-1}
cd "$root"

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" -j 4 --target bench_core_file_writer bench_gallery_run

for count in 1000 16000; do
  corpus="$WORK/pictures-$count"
  if [ "$(find "$corpus" -name 'tiny_*.jpg' 2>/dev/null | wc -l)" -ne "$count" ]; then
    echo "Making $count tiny JPEGs in $corpus ..."
    rm -rf "$corpus"
    mkdir -p "$corpus"
    for kind in $(seq 1 8); do
      convert -seed "$kind" -size 48x32 plasma:fractal -quality 85 "$WORK/kind_$kind.jpg"
    done
    for i in $(seq -w 1 "$count"); do cp "$WORK/kind_$(((10#$i) % 8 + 1)).jpg" "$corpus/tiny_$i.jpg"; done
  fi
done

export QT_QPA_PLATFORM=offscreen PLIMBET_BENCH_PROGRAM="$root" KORVANE_REGISTRY_FILE="$WORK/registry.conf"
export PLIMBET_BENCH_THREADS="$THREADS"
TMPFS_DIR=$(absolute "${TMPFS_DIR:-$([ -d /dev/shm ] && echo /dev/shm || echo "$WORK")}")

python3 - "$BUILD_DIR" "$BASELINE_BUILD" "$WORK" "$TMPFS_DIR" <<'PY'
import json, os, shutil, subprocess, sys

build, baseline, work, tmpfs_dir = sys.argv[1:5]
builds = [("before", baseline), ("now", build)] if baseline else [("now", build)]


def bench(binary, env=None):
    out = subprocess.run([binary, "--benchmark_format=json"], env=dict(os.environ, **(env or {})),
                         capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit(f"{binary} failed:\n{out.stdout[-2000:]}\n{out.stderr[-2000:]}")
    runs = json.loads(out.stdout)["benchmarks"]
    failed = [run for run in runs if run.get("error_occurred")]
    if failed:
        sys.exit(f"{binary}: {failed[0]['error_message']}")
    return runs


for name, folder in builds:
    saves = {run["name"].split("/iterations")[0]: run["real_time"]
             for run in bench(f"{folder}/bench/bench_core_file_writer", {"TMPDIR": tmpfs_dir})}
    empty, full = saves["BM_SaveIntoFolder/files:0"], saves["BM_SaveIntoFolder/files:20000"]
    print(f"{name}: a save into an empty folder {empty:8.1f} us, into 20,000 files {full:8.1f} us, "
          f"ratio {full / empty:.2f}", flush=True)
    per = {}
    for count in (1000, 16000):
        gallery = os.path.join(tmpfs_dir, f"kvbench-gallery-{os.getpid()}")
        shutil.rmtree(gallery, ignore_errors=True)
        run = bench(f"{folder}/bench/bench_gallery_run",
                    {"PLIMBET_BENCH_IMAGES": os.path.join(work, f"pictures-{count}"),
                     "PLIMBET_BENCH_GALLERY": gallery})[0]
        shutil.rmtree(gallery, ignore_errors=True)
        if run["pictures"] != count:
            sys.exit(f"the gallery found {run['pictures']:.0f} of {count} pictures")
        per[count] = run["real_time"] / count * 1000
        print(f"{name}: a gallery of {count:6d} pictures {run['real_time']:7.2f} s, {per[count]:6.2f} ms a picture",
              flush=True)
    print(f"{name}: a picture at 16,000 / at 1,000: {per[16000] / per[1000]:.2f}", flush=True)
PY
