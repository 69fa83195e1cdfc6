#!/usr/bin/env bash
# The mirrors CI makes its Debian root from (scripts/apt_mirrors.sh): read from sample apt sources
# of both formats, in apt's order, passing over what apt or debootstrap would not use; nothing
# when the sources name none. CI and the scripts name no web address of their own, and CI that
# cannot make its root says that it runs on this machine's own packages. Argument: the source
# tree.
set -euo pipefail
source_dir=$1
source "$source_dir/scripts/apt_mirrors.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
# expect ROOT SUITE WANTED [SUITE WANTED]...: the mirror the sources under ROOT give for each suite.
expect() {
  local root=$1 got
  shift
  while [ $# -gt 0 ]; do
    got=$(apt_mirror "$1" "$work/$root")
    if [ "$got" != "$2" ]; then
      printf 'ci mirrors: %s, suite %s: got "%s", wanted "%s"\n' "$root" "$1" "$got" "$2"
      failures=$((failures + 1))
    fi
    shift 2
  done
}

# deb822 stanzas in any field order and case, with comments, a disabled stanza, a source-only
# one, a stanza without addresses and a CD address before the mirror.
mkdir -p "$work/deb822/etc/apt/sources.list.d"
cat >"$work/deb822/etc/apt/sources.list.d/debian.sources" <<'EOF'
# The archive, as an installer writes it.
Types: deb-src
URIs: http://source.invalid/debian
Suites: bookworm

Enabled: no
Types: deb
URIs: http://off.invalid/debian
Suites: bookworm

Types: deb
Suites: bookworm

suites: bookworm-updates
  bookworm
types: deb deb-src
# a comment inside the stanza
uris: cdrom:[Debian]/ http://main.invalid/debian
Components: main
Enabled: yes

Types: deb
URIs: http://security.invalid/debian-security
Suites: bookworm-security
Components: main
EOF
expect deb822 bookworm http://main.invalid/debian bookworm-updates http://main.invalid/debian \
  bookworm-security http://security.invalid/debian-security trixie ""

# One-line entries with options in brackets, comments and source lines; sources.list comes
# first, then the files of sources.list.d by name.
lists=$work/lines/etc/apt/sources.list.d
mkdir -p "$lists"
cat >"$work/lines/etc/apt/sources.list" <<'EOF'
# deb http://commented.invalid/debian bookworm main
deb-src http://source.invalid/debian bookworm main
deb [ arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] http://one.invalid/debian bookworm main
deb mirror+file:/etc/apt/mirrors.txt bookworm-updates main
deb file:/srv/mirror bookworm-updates main # the local copy
EOF
printf 'deb http://later.invalid/debian bookworm main\ndeb http://z.invalid/debian bookworm-backports main\n' \
  >"$lists/z.list"
printf 'Types: deb\nURIs: http://a.invalid/debian\nSuites: bookworm-backports\n' >"$lists/a.sources"
printf 'deb http://ignored.invalid/debian bookworm-security main\n' >"$lists/old.list.disabled"
expect lines bookworm http://one.invalid/debian bookworm-updates file:/srv/mirror \
  bookworm-backports http://a.invalid/debian bookworm-security ""

# A machine whose sources name nothing, or that has none at all.
mkdir -p "$work/empty/etc/apt/sources.list.d"
printf '# nothing here\n' >"$work/empty/etc/apt/sources.list"
expect empty bookworm ""
expect none bookworm ""

# CI takes its mirrors from the machine only.
if addresses=$(grep -rnE 'https?://' "$source_dir/.ci" "$source_dir/scripts"); then
  printf 'ci mirrors: web addresses in .ci or scripts:\n%s\n' "$addresses"
  failures=$((failures + 1))
fi

# Without root no fresh root can be made: .ci/run says so, and why, before it runs the test
# command (here a stand-in) on this machine.
ci=$work/ci
mkdir -p "$ci/.ci" "$ci/scripts"
cp "$source_dir/.ci/run" "$ci/.ci/run"
cp "$source_dir/scripts/apt_mirrors.sh" "$ci/scripts/"
printf '#!/bin/sh\necho the tests ran\n' >"$ci/scripts/test.sh"
chmod -R a+rX "$work"
chmod a+x "$ci/scripts/test.sh"
as_user() {
  if [ "$(id -u)" -eq 0 ]; then
    setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
  else
    "$@"
  fi
}
for here in "" 1; do
  if ! output=$(as_user env -u KV_CI_HERE ${here:+KV_CI_HERE=$here} "$ci/.ci/run" 2>&1) ||
    ! head -n 1 <<<"$output" | grep -q "on this machine's own packages, not in a fresh root" ||
    ! grep -q "the tests ran" <<<"$output"; then
    printf 'ci run (KV_CI_HERE=%s): must say first that it runs on this machine, then run; it said:\n%s\n' \
      "$here" "$output"
    failures=$((failures + 1))
  fi
done

[ "$failures" -eq 0 ]
