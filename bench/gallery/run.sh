#!/usr/bin/env bash
# Times whole gallery runs over 48 synthetic 4032 x 3024 JPEG photos (pictures fitted to
# 800 x 600, thumbnails to 160 x 160, quality 80, pages of the "classic" template): Plimbet on one
# thread, Plimbet on every core, and fgallery on every core (-j, slim output, into an empty
# folder each time), taking turns, ROUNDS times each. Prints the median wall times, their
# ratios, the peak resident memory of each, the cores and the load before and after. The photos
# are made once, from fixed seeds, so every run measures the same corpus.
#
# BASELINE_BENCH names the bench_gallery_run of another build (an earlier commit, say); it then
# takes its turns too, on one thread, as "before".
set -euo pipefail
root=$(realpath "$(dirname "$0")/../..")
source "$root/bench/peers/timing.sh"

BUILD_DIR=$(absolute "${BUILD_DIR:-$root/build-bench}")
WORK=$(absolute "${WORK:-$BUILD_DIR/gallery-bench}")
BASELINE_BENCH=${BASELINE_BENCH:+$(absolute "$BASELINE_BENCH")}
ROUNDS=${ROUNDS:-3}
PHOTOS=48
cd "$root"

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

python3 - "$BUILD_DIR/bench/bench_gallery_run" "$corpus" "$WORK" "$PWD" "$ROUNDS" "$BASELINE_BENCH" <<'PY'
import glob, os, resource, shutil, statistics, subprocess, sys, time

bench, corpus, work, program, rounds, baseline = sys.argv[1:7]
rounds = int(rounds)
cores = os.cpu_count()
photos = len(glob.glob(os.path.join(corpus, "*.jpg")))


def ours(binary, threads):
    def run():
        gallery = os.path.join(work, "gallery")
        env = dict(os.environ, PLIMBET_BENCH_IMAGES=corpus, PLIMBET_BENCH_GALLERY=gallery,
                   PLIMBET_BENCH_PROGRAM=program, PLIMBET_BENCH_THREADS=str(threads))
        out = subprocess.run([binary, "--benchmark_format=console"], env=env, capture_output=True, text=True)
        if out.returncode != 0 or "ERROR" in out.stdout or "error" in out.stderr.lower():
            sys.exit(f"{binary} failed:\n{out.stdout}\n{out.stderr}")
    return run


def fgallery():
    out = os.path.join(work, "fgallery")
    shutil.rmtree(out, ignore_errors=True)
    run = subprocess.run(["fgallery", "-s", "-d", "-j", str(cores), "--max-full", "800x600", "--max-thumb",
                          "160x160", "--quality", "80", corpus, out, "bench"], capture_output=True, text=True)
    # Every photo must have come out as a picture and a thumbnail.
    made = [len(glob.glob(os.path.join(out, folder, "*.jpg"))) for folder in ("imgs", "thumbs")]
    if run.returncode != 0 or made != [photos, photos]:
        sys.exit(f"fgallery failed (exit status {run.returncode}; pictures and thumbnails made: {made[0]} and "
                 f"{made[1]} of {photos}):\n{run.stdout[-2000:]}{run.stderr[-2000:]}")


# Each contender runs in a child process of its own, so that its peak resident memory is that
# child's: RUSAGE_CHILDREN gives the largest of the children waited for.
def timed(action):
    read, write = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(read)
        start = time.monotonic()
        action()
        wall = time.monotonic() - start
        peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        os.write(write, f"{wall} {peak}".encode())
        os._exit(0)
    os.close(write)
    data = os.read(read, 100).decode()
    _, status = os.waitpid(pid, 0)
    if status != 0 or not data:
        sys.exit("a timed run failed")
    wall, peak = data.split()
    return float(wall), int(peak) / 1024


contenders = [("Plimbet, 1 thread", ours(bench, 1)), (f"Plimbet, {cores} threads", ours(bench, 0)),
              (f"fgallery -j {cores}", fgallery)]
if baseline:
    contenders.insert(0, ("before, 1 thread", ours(baseline, 1)))
times = {name: [] for name, _ in contenders}
peaks = {name: 0.0 for name, _ in contenders}
load_before = os.getloadavg()
for r in range(rounds):
    for name, action in contenders:
        wall, peak = timed(action)
        times[name].append(wall)
        peaks[name] = max(peaks[name], peak)
        print(f"round {r + 1}: {name:24s} {wall:7.2f} s  peak {peak:6.0f} MB  load {os.getloadavg()[0]:5.1f}",
              flush=True)
load_after = os.getloadavg()

median = {name: statistics.median(t) for name, t in times.items()}
decoded = 4032 * 3024 * 3 / 2**20
print()
print(f"{len(os.listdir(corpus))} photos of 4032 x 3024 (one decoded: {decoded:.0f} MB), fitted to 800 x 600, "
      f"thumbnails 160 x 160, quality 80; {rounds} rounds, taking turns")
print(f"cores: {cores}; load average (1, 5, 15 min) before {load_before[0]:.1f} {load_before[1]:.1f} "
      f"{load_before[2]:.1f}, after {load_after[0]:.1f} {load_after[1]:.1f} {load_after[2]:.1f}")
for name in times:
    print(f"{name:24s} median {median[name]:7.2f} s   runs {' '.join(f'{t:.2f}' for t in times[name])}   "
          f"peak resident {peaks[name]:6.0f} MB")
one, every, peer = (median[name] for name, _ in contenders[-3:])
print(f"Plimbet on every core / fgallery:     {every / peer:.2f}")
print(f"Plimbet on every core / on 1 thread:  {every / one:.2f}")
print(f"Plimbet on 1 thread / fgallery:       {one / peer:.2f}")
if baseline:
    print(f"Plimbet on 1 thread / before:         {one / median['before, 1 thread']:.2f}")
print(f"peak resident memory on every core:   {peaks[contenders[-2][0]] / decoded:.1f} decoded photos "
      f"(bound: threads + 1 = {cores + 1})")
PY
