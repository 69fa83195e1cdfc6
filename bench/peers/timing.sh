# Timing helpers for the peer scripts, which source this file: arithmetic on decimals, and the
# best of RUNS wall-clock runs of a command.

calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }

# Best of RUNS wall-clock seconds of a command.
best() {
    local best_ns="" t start
    for ((i = 0; i < RUNS; i++)); do
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        t=$(($(date +%s%N) - start))
        if [[ -z "$best_ns" || $t -lt $best_ns ]]; then best_ns=$t; fi
    done
    calc "$best_ns / 1e9"
}
