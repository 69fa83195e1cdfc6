#!/usr/bin/env bash
# Runs a command (ctest, say) as a process group of its own and stops the whole group for 60 ms
# of every 100 ms (SIGSTOP, then SIGCONT) until it ends: as a machine does under heavy load, but
# every time. Busy processes beside the tests do not reproduce it, since the scheduler favours a
# thread that wakes from a timer. Exits with the command's status.
#   tests/scripts/stop_and_go.sh ctest --test-dir build-opt -R '^(dialogs|view)_tests'
# STOP_MS and GO_MS change the rhythm.
set -euo pipefail
stop_ms=${STOP_MS:-60}
go_ms=${GO_MS:-40}
stop_s=$(printf '%d.%03d' $((stop_ms / 1000)) $((stop_ms % 1000)))
go_s=$(printf '%d.%03d' $((go_ms / 1000)) $((go_ms % 1000)))

setsid "$@" &
group=$!
# The child makes the group when setsid runs in it, a moment after the fork.
while ! kill -0 -- -"$group" 2>/dev/null && kill -0 "$group" 2>/dev/null; do
    sleep 0.01
done
# The group goes on if this script is stopped halfway.
trap 'kill -CONT -- -"$group" 2>/dev/null || true' EXIT
stops=0
while kill -0 -- -"$group" 2>/dev/null; do
    kill -STOP -- -"$group" 2>/dev/null || break
    sleep "$stop_s"
    kill -CONT -- -"$group" 2>/dev/null || break
    stops=$((stops + 1))
    sleep "$go_s"
done
status=0
wait "$group" || status=$?
echo "stop_and_go: stopped the group $stops times, ${stop_ms} ms of every $((stop_ms + go_ms)) ms; exit $status" >&2
exit "$status"
