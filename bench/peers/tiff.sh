#!/usr/bin/env bash
# Runs the TIFF benchmarks and libtiff's tiffcp on the same files and prints each of our times as
# a ratio to tiffcp's: loading a 12-megapixel RGB photo coded with LZW and predictor 2, and a
# 4960 x 7016 text page in Group 4 and in Group 3 one-dimensional coding, against tiffcp -c none
# decoding them into uncompressed files;
# saving the photo with LZW against tiffcp -c lzw:2. tiffcp is timed as a whole process, best of
# several runs; ours come from bench_codecs_tiff (in-process, Google Benchmark, best of as many
# repetitions), through the I/O component from file to bitmap and back.
#
# With INSTRUCTIONS=1 it also counts instructions under callgrind, a measure that a busy machine
# leaves as it is: tiffcp's whole run against ours per load or save (what the I/O component's call
# runs, divided by the calls the benchmark made).
#
# Usage: [INSTRUCTIONS=1] bench/peers/tiff.sh [build-dir]   (a Release build with KV_BUILD_BENCH=ON)
set -euo pipefail
root=$(realpath "$(dirname "$0")/../..")
source "$root/bench/peers/timing.sh"

BUILD_DIR=$(absolute "${1:-$root/build-release}")
BENCH="$BUILD_DIR/bench/bench_codecs_tiff"
PHOTO=$(absolute "${KV_BENCH_JPEG:-/usr/libexec/installed-tests/gdk-pixbuf/issue70.jpg}")
RUNS=${RUNS:-7}
cd "$root"

if [ ! -x "$BENCH" ]; then
  echo "build the benchmarks first:" >&2
  echo "  cmake -S . -B $BUILD_DIR -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_BENCH=ON -DKV_BUILD_TESTS=OFF && ninja -C $BUILD_DIR bench_codecs_tiff" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The photo as libtiff codes it, and a page of text set in Liberation Serif at 300 dpi.
djpeg -pnm -outfile "$work/photo.ppm" "$PHOTO"
pnmtotiff "$work/photo.ppm" > "$work/photo.tif" 2> /dev/null
tiffcp -c lzw:2 "$work/photo.tif" "$work/photo-lzw.tif"
for i in $(seq 128); do
  echo "Line $i of a page of text that a scanner or a fax machine would send: words set in lines across the page, from margin to margin, as letters and reports are."
done > "$work/text.txt"
/usr/bin/convert -size 4960x7016 xc:white -font Liberation-Serif -pointsize 44 -fill black \
  -annotate +200+200 "$(cat "$work/text.txt")" -monochrome "$work/page.pbm"
pnmtotiff "$work/page.pbm" > "$work/page.tif" 2> /dev/null
tiffcp -c g4 "$work/page.tif" "$work/page-g4.tif"
tiffcp -c g3:1d "$work/page.tif" "$work/page-g3.tif"

lzw_load_ms=$(best_ms -o "$work/out-none.tif" tiffcp -c none "$work/photo-lzw.tif" "$work/out-none.tif")
g4_load_ms=$(best_ms -o "$work/out-page.tif" tiffcp -c none "$work/page-g4.tif" "$work/out-page.tif")
g3_load_ms=$(best_ms -o "$work/out-page.tif" tiffcp -c none "$work/page-g3.tif" "$work/out-page.tif")
lzw_save_ms=$(best_ms -o "$work/out-lzw.tif" tiffcp -c lzw:2 "$work/photo.tif" "$work/out-lzw.tif")

KV_BENCH_TIFF_LZW="$work/photo-lzw.tif" KV_BENCH_TIFF_G4="$work/page-g4.tif" KV_BENCH_TIFF_G3="$work/page-g3.tif" \
  KV_BENCH_TIFF_OUT="$work/ours.tif" bench_run "$work/ours.json" "$BENCH" --benchmark_repetitions="$RUNS" > /dev/null

python3 - "$work/ours.json" "$lzw_load_ms" "$g4_load_ms" "$g3_load_ms" "$lzw_save_ms" <<'PY'
import json, sys
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") == "iteration":
        name = b["name"].split("/")[0]
        runs[name] = min(runs.get(name, float("inf")), b["real_time"])
lzw_load, g4_load, g3_load, lzw_save = (float(v) for v in sys.argv[2:6])
rows = [
    ("LZW:2 load 12 MP", runs["BM_TiffLzwLoad_Ours"], "tiffcp -c none", lzw_load),
    ("G4 load A4 page", runs["BM_TiffG4Load_Ours"], "tiffcp -c none", g4_load),
    ("G3 1D load A4 page", runs["BM_TiffG3Load_Ours"], "tiffcp -c none", g3_load),
    ("LZW:2 save 12 MP", runs["BM_TiffLzwSave_Ours"], "tiffcp -c lzw:2", lzw_save),
]
print(f"{'':18} {'ours ms':>9} {'peer':>16} {'peer ms':>9} {'ratio':>6}")
for name, ours, peer, peer_ms in rows:
    print(f"{name:18} {ours:9.1f} {peer:>16} {peer_ms:9.1f} {ours / peer_ms:6.2f}")
PY

[[ ${INSTRUCTIONS:-0} == 1 ]] || exit 0

# Instructions per call of a function (the last argument) while a command (the arguments between)
# runs under callgrind, collecting inside the function the first argument names; "-" for both
# counts the whole command once.
instructions() {
  local collect=$1 per=${*: -1}
  local command=("${@:2:$#-2}") options=()
  [[ $collect == - ]] || options=(--toggle-collect="$collect")
  valgrind --tool=callgrind "${options[@]}" --callgrind-out-file="$work/callgrind.out" "${command[@]}" \
    >/dev/null 2>"$work/callgrind.err" || failed "$work/callgrind.err" "${command[*]} failed under callgrind"
  python3 - "$work/callgrind.out" "$per" <<'PY'
import re, sys
path, per = sys.argv[1:3]
names, calls, called, total = {}, 0, None, 0
for line in open(path):
    match = re.match(r"(c?fn)=\((\d+)\)(?: (.*))?", line)
    if match:
        kind, number, name = match.groups()
        names.setdefault(number, name)
        if kind == "cfn":
            called = names[number]
    elif line.startswith("calls=") and called is not None and called.startswith(per):
        calls += int(line.split("=")[1].split()[0])
    elif line.startswith("summary:"):
        total = int(line.split()[1])
if per != "-" and calls == 0:
    sys.exit(f"no call of {per} was counted")
print(total / 1e6 if per == "-" else total / calls / 1e6)
PY
}

# Ours per call of the I/O component's function (the second argument) in one benchmark.
ours_instructions() {
  KV_BENCH_TIFF_LZW="$work/photo-lzw.tif" KV_BENCH_TIFF_G4="$work/page-g4.tif" KV_BENCH_TIFF_G3="$work/page-g3.tif" \
    KV_BENCH_TIFF_OUT="$work/ours.tif" instructions "$2*" "$BENCH" --benchmark_filter="$1" "$2("
}

lzw_load_mi=$(ours_instructions BM_TiffLzwLoad_Ours TKorvaneIO::LoadFromFileTIFF)
g4_load_mi=$(ours_instructions BM_TiffG4Load_Ours TKorvaneIO::LoadFromFileTIFF)
g3_load_mi=$(ours_instructions BM_TiffG3Load_Ours TKorvaneIO::LoadFromFileTIFF)
lzw_save_mi=$(ours_instructions BM_TiffLzwSave_Ours TKorvaneIO::SaveToFileTIFF)
peer_lzw_load_mi=$(instructions - tiffcp -c none "$work/photo-lzw.tif" "$work/out-none.tif" -)
peer_g4_load_mi=$(instructions - tiffcp -c none "$work/page-g4.tif" "$work/out-page.tif" -)
peer_g3_load_mi=$(instructions - tiffcp -c none "$work/page-g3.tif" "$work/out-page.tif" -)
peer_lzw_save_mi=$(instructions - tiffcp -c lzw:2 "$work/photo.tif" "$work/out-lzw.tif" -)

echo
printf '%-18s %9s %16s %9s %6s\n' "" "ours Mi" "peer" "peer Mi" "ratio"
row() { printf '%-18s %9.0f %16s %9.0f %6.2f\n' "$1" "$2" "$3" "$4" "$(calc "$2 / $4")"; }
row "LZW:2 load 12 MP" "$lzw_load_mi" "tiffcp -c none" "$peer_lzw_load_mi"
row "G4 load A4 page" "$g4_load_mi" "tiffcp -c none" "$peer_g4_load_mi"
row "G3 1D load A4 page" "$g3_load_mi" "tiffcp -c none" "$peer_g3_load_mi"
row "LZW:2 save 12 MP" "$lzw_save_mi" "tiffcp -c lzw:2" "$peer_lzw_save_mi"
