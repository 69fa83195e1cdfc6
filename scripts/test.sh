#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test headless through CTest; then builds the optimised configuration users get and runs
# every test there once more; then runs the tests that start threads under ThreadSanitizer; and
# compiles the program as scripts/run.sh makes it. Every build fails on a compiler warning.
# Exits non-zero on any failure, on a test skipped outside the few kept skip sites, or when no
# test ran.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

BUILD_DIR=${BUILD_DIR:-build-asan}
JOBS=${JOBS:-$(nproc)}
# The sanitizer builds exist only to run the tests: optimising lightly and keeping line tables
# only halves their compile time, which is most of the run, and reports still name their lines.
TEST_FLAGS=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")
# Every build fails on a compiler warning: the output of a build that passes is never shown, and
# each optimisation level warns of its own things (GCC warns at the release build's -O3 of code
# that passes at the optimised build's -O2).
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${TEST_FLAGS[@]}" -DKV_SANITIZE=ON -DKV_BUILD_BENCH=OFF \
    -DKV_WERROR=ON
cmake --build "$BUILD_DIR" -j "$JOBS"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# True when every failed test of the last run in build folder $1 passed all its own checks and
# failed only because the leak checker's own tracer crashed while stopping the process at exit
# ("Tracer caught signal 11"), which happens, rarely, on a loaded machine. A leak, a sanitizer
# report or a failed test makes it false.
only_leak_checker_crashed() {
    local temp="$1/Testing/Temporary" name output
    [[ -s "$temp/LastTestsFailed.log" ]] || return 1
    while IFS=: read -r _ name; do
        output=$(awk -v t="\"$name\" start time:" -v e="\"$name\" end time:" \
            'index($0, t) == 1 { on = 1 } on { print } index($0, e) == 1 { on = 0 }' "$temp/LastTest.log")
        grep -q "LeakSanitizer has encountered a fatal error" <<<"$output" || return 1
        ! grep -qE "\[  FAILED  \]|ERROR: (Address|Leak|Thread)Sanitizer|runtime error:" <<<"$output" || return 1
    done <"$temp/LastTestsFailed.log"
}

# A test that skips instead of failing would pass unseen: every skip must come from one of the
# few kept GTEST_SKIP sites.
check_skips() {
    python3 scripts/check_skips.py . "$1/test-results"
}

# The build users run: optimised, assertions on, no sanitizer. Memory faults that the sanitizers'
# own allocator hides (a freed object found again at a reused address) show only here. Then the
# tests that start threads, under ThreadSanitizer, in a build that makes only their suites. Both
# builds go on at a lower priority while the sanitizer tests run, on the cores those leave idle;
# the program as scripts/run.sh builds it (Release, no tests) follows while the optimised tests run.
OPT_DIR=${OPT_DIR:-build-optimised}
TSAN_DIR=${TSAN_DIR:-build-tsan}
# The suites tests/CMakeLists.txt registers in a ThreadSanitizer build.
TSAN_SUITES=(io_tests view_tests app_tests dialogs_tests codecs_tests)
RELEASE_DIR=${RELEASE_DIR:-build-release-check}
cmake -S . -B "$OPT_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1" \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1" -DKV_BUILD_BENCH=OFF -DKV_WERROR=ON >/dev/null
cmake -S . -B "$TSAN_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${TEST_FLAGS[@]}" -DKV_TSAN=ON -DKV_BUILD_BENCH=OFF \
    -DKV_WERROR=ON >/dev/null
cmake -S . -B "$RELEASE_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF \
    -DKV_WERROR=ON >/dev/null
BUILD_LOG=$(mktemp)
RELEASE_LOG=$(mktemp)
BUILDS=(bash -c 'cmake --build "$1" -j "$3" && cmake --build "$2" -j "$3" --target "${@:4}"' \
    _ "$OPT_DIR" "$TSAN_DIR" "$JOBS" "${TSAN_SUITES[@]}")
setsid nice -n 10 "${BUILDS[@]}" >"$BUILD_LOG" 2>&1 &
builder=$!
releaser=
# A run that stops early takes the builds, which have a process group of their own, with it.
trap 'kill -- -"$builder" ${releaser:+-"$releaser"} 2>/dev/null || true; rm -f "$BUILD_LOG" "$RELEASE_LOG"' EXIT

# What made a build fail: the compiler's report from the first failed step on.
report_failed_build() {
    if grep -q '^FAILED:' "$1"; then
        sed -n '/^FAILED:/,$p' "$1" | head -n 150
    else
        tail -n 50 "$1"
    fi
    echo "$2" >&2
}

# Ends a background build, which had only the cores the tests left idle, and makes what it has not
# made yet at the normal priority: at its lower one, on a machine busy with other programs, it
# would get only their idle time. $1: the build's process group, $2: its log, $3: what to say when
# it fails; the rest: the build.
finish_build() {
    local group=$1 log=$2 failure=$3
    shift 3
    kill -- -"$group" 2>/dev/null || true
    wait "$group" 2>/dev/null || true
    if ! "$@" >"$log" 2>&1; then
        report_failed_build "$log" "$failure"
        exit 1
    fi
}

rm -rf "$BUILD_DIR/test-results"
if ! ctest --test-dir "$BUILD_DIR" --output-on-failure --no-tests=error -j "$JOBS" "$@"; then
    only_leak_checker_crashed "$BUILD_DIR" || exit 1
    echo "The leak checker crashed at exit; running the tests it stopped once more."
    ctest --test-dir "$BUILD_DIR" --output-on-failure --rerun-failed
fi
check_skips "$BUILD_DIR"

finish_build "$builder" "$BUILD_LOG" "The optimised or the ThreadSanitizer build failed." "${BUILDS[@]}"
RELEASE_BUILD=(cmake --build "$RELEASE_DIR" -j "$JOBS" --target plimbet)
setsid nice -n 10 "${RELEASE_BUILD[@]}" >"$RELEASE_LOG" 2>&1 &
releaser=$!
rm -rf "$OPT_DIR/test-results"
ctest --test-dir "$OPT_DIR" --output-on-failure --no-tests=error -j "$JOBS" "$@"
check_skips "$OPT_DIR"

# Qt is not built with the sanitizer: what its own threads do among themselves is not checked.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$PWD/tests/tsan.supp}
rm -rf "$TSAN_DIR/test-results"
ctest --test-dir "$TSAN_DIR" --output-on-failure --no-tests=error -j "$JOBS" \
    -R "^($(IFS='|'; echo "${TSAN_SUITES[*]}"))"
check_skips "$TSAN_DIR"

finish_build "$releaser" "$RELEASE_LOG" "The release build (as scripts/run.sh makes it) failed." "${RELEASE_BUILD[@]}"
