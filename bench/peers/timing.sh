# shellcheck shell=bash
# Helpers for the bench scripts, which source this file: absolute paths, arithmetic on decimals,
# the best of RUNS wall-clock runs of a peer, and the checks that stop a script before it prints a
# ratio when a peer or a benchmark program failed or made nothing.

# A failure inside $(...) stops the script too, not only the command substitution.
shopt -s inherit_errexit

# The peers are Debian's programs, as scripts/deps.sh installs them: a copy or wrapper elsewhere
# on the search path (/usr/local, a home folder) would time something else.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin

die() {
    echo "${0##*/}: $*" >&2
    exit 1
}

# The absolute form of a path, taken from the current folder; the path need not exist yet.
absolute() { realpath -m -- "$1"; }

calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }

# Stops the script with a message and the end of the error output in a file, which it removes.
failed() {
    local text
    text=$(tail -5 "$1")
    rm -f "$1"
    die "$2${text:+: $text}"
}

# Best of RUNS wall-clock seconds of a command, which must succeed every time. Each "-o FILE"
# before the command names a file the command must make: it is removed before every run and must
# be there, not empty, after it.
best() {
    local outputs=() best_ns="" t start i file err
    while [[ $1 == -o ]]; do
        outputs+=("$2")
        shift 2
    done
    err=$(mktemp)
    for ((i = 0; i < RUNS; i++)); do
        rm -f -- "${outputs[@]}"
        start=$(date +%s%N)
        "$@" >/dev/null 2>"$err" || failed "$err" "$* failed (exit status $?)"
        t=$(($(date +%s%N) - start))
        for file in "${outputs[@]}"; do
            [[ -s $file ]] || failed "$err" "$* made no $file"
        done
        if [[ -z "$best_ns" || $t -lt $best_ns ]]; then best_ns=$t; fi
    done
    rm -f "$err"
    calc "$best_ns / 1e9"
}

# Milliseconds a command takes beyond a base in seconds (a run that only reads the picture), best
# of RUNS; "-o FILE" as for best.
ms_beyond() {
    local base=$1 t
    shift
    t=$(best "$@")
    calc "($t - $base) * 1000"
}

# Best of RUNS wall-clock milliseconds of a command; "-o FILE" as for best.
best_ms() { ms_beyond 0 "$@"; }

# Stops the script unless the folder holds the number of files (not empty ones) that a peer made.
expect_files() {
    local folder=$1 count=$2 made
    made=$(find "$folder" -type f -size +0 | wc -l)
    [[ $made -eq $count ]] || die "a peer failed: $folder holds $made files, not $count"
}

# Runs a Google Benchmark program, the command after the first argument, with its results in JSON
# in the file the first argument names; stops the script if the program fails, runs nothing, or
# one of its benchmarks reports an error.
bench_run() {
    local json=$1
    shift
    rm -f -- "$json"
    "$@" --benchmark_out="$json" --benchmark_out_format=json || die "$1 failed (exit status $?)"
    python3 - "${0##*/}" "$1" "$json" <<'PY' || exit 1
import json, os, sys
script, program, path = sys.argv[1:4]
results = json.load(open(path))["benchmarks"] if os.path.getsize(path) > 0 else []
errors = [f"  {b['name']}: {b.get('error_message', '')}" for b in results if b.get("error_occurred")]
if errors or not results:
    sys.exit("\n".join([f"{script}: {program} " + ("failed:" if errors else "ran no benchmark")] + errors))
PY
}
