#!/usr/bin/env bash
# Every program and sample of tests/environment.txt is on this machine, belongs to the package the
# list names, and that package is one scripts/deps.sh installs, itself or as a dependency (the
# benchmark peers do not count: no test may lean on them). A program installed by hand, outside
# the package manager, or a package missing from deps.sh fails here, on a developer's machine as
# in CI. The packages of a minimal Debian system (priority "required") count as installed.
# Arguments: the source tree, and optionally another deps.sh to read the list from.
set -euo pipefail
source_dir=$1
deps=${2:-$source_dir/scripts/deps.sh}
list=$source_dir/tests/environment.txt

mapfile -t wanted < <(bash "$deps" --list run build test)
[ ${#wanted[@]} -gt 0 ] || { echo "environment: $deps lists no package" >&2; exit 1; }

# Every package those bring in, without recommendations (deps.sh installs none).
declare -A installs=()
while read -r package; do
    installs[${package%:*}]=1
done < <(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "${wanted[@]}" | grep -v '^ ' | tr -d '<>')

# Programs are looked for where the package manager puts them: the test support runs them with
# this search path, so a copy in /usr/local or a home folder is never what a test runs.
SYSTEM_PATH=/usr/sbin:/usr/bin:/sbin:/bin

# The spellings under which dpkg may know a path: as given, as its target, and in both halves of
# the merged /usr (dpkg may know /bin/sh while the shell finds /usr/bin/sh).
spellings() {
    local path=$1 real
    real=$(readlink -f "$path")
    for candidate in "$path" "$real"; do
        printf '%s\n' "$candidate" "${candidate#/usr}" "/usr${candidate}"
    done | sort -u
}

failures=0
fail() {
    echo "environment: $*" >&2
    failures=$((failures + 1))
}

# First pass: each entry's path; then one question to dpkg for every spelling of every path.
entries=()
while read -r kind name package rest; do
    case "$kind" in '' | '#'*) continue ;; esac
    if [ -z "$package" ] || [ -n "$rest" ]; then
        fail "tests/environment.txt: a line needs a kind, a name and a package: $kind $name $package $rest"
        continue
    fi
    case "$kind" in
    program)
        path=$(PATH=$SYSTEM_PATH command -v "$name" || true)
        [ -n "$path" ] || { fail "$name is missing: install the Debian package $package (scripts/deps.sh)"; continue; }
        ;;
    sample)
        path=$name
        [ -e "$path" ] || { fail "$path is missing: install the Debian package $package (scripts/deps.sh)"; continue; }
        ;;
    *)
        fail "tests/environment.txt: unknown kind $kind"
        continue
        ;;
    esac
    entries+=("$path $package")
done <"$list"

declare -A owners=()
mapfile -t all_spellings < <(for entry in "${entries[@]}"; do spellings "${entry% *}"; done | sort -u)
while IFS= read -r line; do
    case "$line" in "diversion by"*) continue ;; esac
    path=${line#*: }
    for package in $(sed 's/: .*//; s/,/ /g' <<<"$line"); do
        owners[$path]="${owners[$path]:-} ${package%%:*}"
    done
done < <(dpkg-query -S "${all_spellings[@]}" 2>/dev/null || true)

for entry in "${entries[@]}"; do
    path=${entry% *}
    package=${entry##* }
    found=""
    while read -r spelling; do
        found="$found${owners[$spelling]:-}"
    done < <(spellings "$path")
    if [[ " $found " != *" $package "* ]]; then
        fail "$path does not come from the package $package (owned by:${found:- no package; installed by hand?})"
        continue
    fi
    priority=$(dpkg-query -W -f='${Priority}' "$package" 2>/dev/null || true)
    if [ -z "${installs[$package]:-}" ] && [ "$priority" != required ]; then
        fail "$package (for $path) is not installed by scripts/deps.sh: add it to the test group"
    fi
done

if [ "$failures" -gt 0 ]; then
    echo "environment: $failures problem(s)" >&2
    exit 1
fi
echo "environment: every program and sample comes from a package scripts/deps.sh installs"
