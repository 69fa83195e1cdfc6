#!/usr/bin/env bash
# Installs the program into a new prefix as a user would (cmake --install), checks what lands
# where and the desktop entry, starts the installed program, and then makes a gallery and edits
# templates with the installed files through the program's windows (install_tests).
# Arguments: the build tree and the install_tests program.
set -euo pipefail
build=$1
tests=$2

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() {
  echo "install: $*" >&2
  exit 1
}

for file in bin/plimbet share/plimbet/templates/classic/template.html share/plimbet/templates/cards/template.ini \
  share/plimbet/data/spacer.gif share/plimbet/data/plimbet.png share/plimbet/help/main.htm \
  share/applications/plimbet.desktop share/icons/hicolor/128x128/apps/plimbet.png; do
  [ -f "$prefix/$file" ] || fail "$file is missing"
done
[ -x "$prefix/bin/plimbet" ] || fail "bin/plimbet cannot be run"
# Nothing but the program: no libraries, headers or test programs.
others=$(cd "$prefix" && find . -type f |
  grep -v -E '^\./(bin/plimbet|share/plimbet/.*|share/applications/plimbet\.desktop|share/icons/hicolor/128x128/apps/plimbet\.png)$' || true)
[ -z "$others" ] || fail "installs more than the program: $others"
desktop-file-validate "$prefix/share/applications/plimbet.desktop" || fail "the desktop entry is not valid"

# The installed program starts, with nothing of the build tree or the tests to lean on, and runs
# until it is stopped.
mkdir -p "$prefix/home"
status=0
env -u PLIMBET_HOME HOME="$prefix/home" XDG_CONFIG_HOME="$prefix/home/.config" \
  XDG_DATA_HOME="$prefix/home/.local/share" KORVANE_REGISTRY_FILE="$prefix/home/Plimbet.conf" \
  QT_QPA_PLATFORM=offscreen timeout 5 "$prefix/bin/plimbet" >/dev/null 2>&1 || status=$?
[ "$status" -eq 124 ] || fail "the installed program ended by itself with status $status"

PLIMBET_INSTALL_PREFIX="$prefix" "$tests"
