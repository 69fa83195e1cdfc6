#!/usr/bin/env bash
# scripts/deps.sh while another program holds the package manager's lock, as when the system
# updates itself: it says that it waits, tries the package lists again until the lock is free,
# and has the install wait for the dpkg lock rather than fail. The package tools are stand-ins
# that record how they were called. Argument: the source tree.
set -euo pipefail
source_dir=$1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
# Nothing is installed yet.
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
# The lock of the package lists is held, by the look of the lock table.
printf '#!/bin/sh\necho /var/lib/apt/lists/lock\n' >"$work/bin/lslocks"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
# The first update finds the lists locked, the second gets through.
cat >"$work/bin/apt-get" <<'FAKE'
#!/bin/sh
echo "$*" >>"$APT_LOG"
case "$*" in
*update*)
  if [ ! -e "$APT_LOG.locked-once" ]; then
    touch "$APT_LOG.locked-once"
    echo "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 42 (apt-get)" >&2
    exit 100
  fi ;;
esac
exit 0
FAKE
chmod +x "$work/bin/"*

output=$(PATH="$work/bin:$PATH" APT_LOG="$work/apt.log" DEPS_LOCK_POLL=0 "$source_dir/scripts/deps.sh" 2>&1) ||
  status=$?
fail() {
  printf 'deps: %s\n--- output:\n%s\n--- apt-get calls:\n' "$1" "$output"
  cat "$work/apt.log"
  exit 1
}
[ "${status:-0}" -eq 0 ] || fail "it failed while the lock was held"
grep -q "waiting" <<<"$output" || fail "it does not say that it waits for the lock"
[ "$(grep -c update "$work/apt.log")" -eq 2 ] || fail "the package lists were not tried again"
timeout=$(sed -n 's/.*install.*DPkg::Lock::Timeout=\([0-9]*\).*/\1/p' "$work/apt.log")
[ "${timeout:-0}" -ge 60 ] || fail "the install does not wait for the dpkg lock"
