#!/usr/bin/env bash
# The mirrors CI makes its Debian root from (scripts/apt_mirrors.sh): read from sample apt sources
# of both formats, in apt's order, passing over what apt or debootstrap would not use; nothing
# when the sources name none. And CI and the scripts name no web address of their own. Argument:
# the source tree.
set -euo pipefail
source_dir=$1
source "$source_dir/scripts/apt_mirrors.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
checks=0
failures=0
expect() {
  local root=$1 suite=$2 wanted=$3 got
  checks=$((checks + 1))
  got=$(apt_mirror "$suite" "$work/$root")
  if [ "$got" != "$wanted" ]; then
    printf 'ci mirrors: %s, suite %s: got "%s", wanted "%s"\n' "$root" "$suite" "$got" "$wanted"
    failures=$((failures + 1))
  fi
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
expect deb822 bookworm http://main.invalid/debian
expect deb822 bookworm-updates http://main.invalid/debian
expect deb822 bookworm-security http://security.invalid/debian-security
expect deb822 trixie ""

# One-line entries with options in brackets, comments and source lines; sources.list comes
# first, then the files of sources.list.d by name.
mkdir -p "$work/lines/etc/apt/sources.list.d"
cat >"$work/lines/etc/apt/sources.list" <<'EOF'
# deb http://commented.invalid/debian bookworm main
deb-src http://source.invalid/debian bookworm main
deb [ arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] http://one.invalid/debian bookworm main
deb mirror+file:/etc/apt/mirrors.txt bookworm-updates main
deb file:/srv/mirror bookworm-updates main # the local copy
EOF
printf 'deb http://later.invalid/debian bookworm main\ndeb http://z.invalid/debian bookworm-backports main\n' \
  >"$work/lines/etc/apt/sources.list.d/z.list"
printf 'Types: deb\nURIs: http://a.invalid/debian\nSuites: bookworm-backports\n' \
  >"$work/lines/etc/apt/sources.list.d/a.sources"
printf 'deb http://ignored.invalid/debian bookworm-security main\n' \
  >"$work/lines/etc/apt/sources.list.d/old.list.disabled"
expect lines bookworm http://one.invalid/debian
expect lines bookworm-updates file:/srv/mirror
expect lines bookworm-backports http://a.invalid/debian
expect lines bookworm-security ""

# A machine whose sources name nothing, or that has none at all.
mkdir -p "$work/empty/etc/apt/sources.list.d"
printf '# nothing here\n' >"$work/empty/etc/apt/sources.list"
expect empty bookworm ""
expect none bookworm ""

# CI takes its mirrors from the machine only.
checks=$((checks + 1))
if addresses=$(grep -rnE 'https?://' "$source_dir/.ci" "$source_dir/scripts"); then
  printf 'ci mirrors: web addresses in .ci or scripts:\n%s\n' "$addresses"
  failures=$((failures + 1))
fi

echo "mirrors: $((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
