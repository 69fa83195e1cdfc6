# Reads the package mirrors of this machine's apt sources; sourced by .ci/run, which makes its
# Debian roots from them and names no mirror of its own.
#
# apt_mirror SUITE [ROOT]: prints the first address that the apt sources under ROOT (default /)
# give for binary packages of SUITE, in the order apt reads them (sources.list, then the files of
# sources.list.d by name, one-line ".list" and deb822 ".sources" alike), and nothing when none
# does. Disabled entries, source-only entries and addresses debootstrap cannot fetch from (cdrom,
# mirror lists, other transports) are passed over.
apt_mirror() {
    local suite=$1 root=${2:-} file found
    for file in "$root/etc/apt/sources.list" "$root"/etc/apt/sources.list.d/*; do
        [ -f "$file" ] || continue
        case $file in
            *.sources) found=$(apt_mirror_deb822 "$suite" <"$file") ;;
            */sources.list | *.list) found=$(apt_mirror_one_line "$suite" <"$file") ;;
            *) continue ;;
        esac
        if [ -n "$found" ]; then
            printf '%s\n' "$found"
            return 0
        fi
    done
    return 0
}

# Whether debootstrap can fetch from the address: plain web transports and local folders.
apt_mirror_usable() {
    case $1 in
        http:* | https:* | file:*) return 0 ;;
        *) return 1 ;;
    esac
}

# "deb [options] address suite components" lines; "#" starts a comment.
apt_mirror_one_line() {
    local suite=$1 line type address entry
    while IFS= read -r line || [ -n "$line" ]; do
        line=${line%%#*}
        # The options in brackets may hold blanks of their own.
        line=$(printf '%s' "$line" | sed -e 's/\[[^]]*\]//')
        read -r type address entry _ <<<"$line" || true
        [ "$type" = deb ] && [ "$entry" = "$suite" ] && apt_mirror_usable "$address" || continue
        printf '%s\n' "$address"
        return 0
    done
}

# deb822 stanzas: fields "Types", "URIs", "Suites" and "Enabled" in any order and case, stanzas
# apart by blank lines, continuation lines starting with a blank, "#" lines comments.
apt_mirror_deb822() {
    local suite=$1 address
    while read -r address; do
        if apt_mirror_usable "$address"; then
            printf '%s\n' "$address"
            return 0
        fi
    done < <(awk -v suite="$suite" '
        function finish(   i, n, list, types, isdeb, serves, enabled) {
            last = ""
            if (!("uris" in field)) { split("", field); return }
            n = split(field["types"], types, " ")
            for (i = 1; i <= n; i++) if (types[i] == "deb") isdeb = 1
            n = split(field["suites"], list, " ")
            for (i = 1; i <= n; i++) if (list[i] == suite) serves = 1
            enabled = tolower(field["enabled"])
            gsub(/[ \t]/, "", enabled)
            if (isdeb && serves && enabled != "no") {
                n = split(field["uris"], list, " ")
                for (i = 1; i <= n; i++) print list[i]
            }
            split("", field)
        }
        /^#/ { next }
        /^[ \t]*$/ { finish(); next }
        /^[ \t]/ { if (last != "") field[last] = field[last] " " $0; next }
        {
            name = tolower(substr($0, 1, index($0, ":") - 1))
            value = substr($0, index($0, ":") + 1)
            field[name] = value
            last = name
        }
        END { finish() }')
}
