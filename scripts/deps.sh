#!/usr/bin/env bash
# Installs the Debian packages Plimbet needs to build, run, test and benchmark.
# Only what is missing is installed; apt-get update runs only then. Safe to run twice.
set -euo pipefail

# The packages, by what needs them. `scripts/deps.sh --list [group ...]` prints a group's packages
# (run, build, test, peers; all of them when none is named) and installs nothing.
RUN=(
  # the desktop's own file and folder dialogs
  qt6-gtk-platformtheme qt6-xdgdesktopportal-platformtheme
  # the scanner library and its test device
  libsane1
  # Qt's own texts (file dialog labels and buttons) in the languages of the library's dialogs
  qt6-translations-l10n
)
BUILD=(
  g++ cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libopenjp2-7-dev
  libcurl4-openssl-dev libsane-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libuemf-dev
  libxcb1-dev
  fonts-liberation2 fontconfig
)
# What the tests run or read; tests/environment.txt names each program and sample with its package.
TEST=(
  # check what our codecs write, and make files for them to read
  libjpeg-turbo-progs pngcheck libtiff-tools giflib-tools gifsicle imagemagick netpbm
  libopenjp2-tools ffmpeg libimage-exiftool-perl icoutils
  # ImageMagick's WMF coder, a recommendation of imagemagick: the metafile tests compare with it
  libmagickcore-6.q16-6-extra
  # the other metafile renderer the metafile tests compare with: EMF to SVG, SVG to PNG
  emf2svg librsvg2-bin
  # the pages' and help's HTML, the desktop entry, printed PDFs
  tidy desktop-file-utils poppler-utils
  # the loopback HTTP server, the drawing references (ezdxf)
  python3 python3-ezdxf
  # SANE's own front end, compared with our acquisition from the test device
  sane-utils
  # the screen capture of another program's window: a display of its own (Xvfb), the other
  # program's window and where it lies (xmessage, xwininfo, xprop); xauth for xvfb-run by hand
  xvfb xauth x11-utils
  # pictures no one here wrote: codecs, I/O, processing and view tests
  gdk-pixbuf-tests golang-1.19-src golang-golang-x-image-dev imagemagick-6-doc
  librust-tiff-dev librust-jpeg-decoder-dev
  # the animated GIF of the open dialog's preview tests
  fgallery
  # the saved-file tests: small ext4 and XFS disks that fill up, and ACLs on the files saved over
  e2fsprogs xfsprogs acl
  # the gallery folder tests: a FAT disk, whose names are one folder whatever their case
  dosfstools fusefat
  # drawings no one here wrote, for the vector layer's DXF import
  librecad-data openscad-testing-data
)
# Peers the benchmarks compare against (numpy also made the processing references), and valgrind,
# whose callgrind counts the instructions of bench/peers/tiff.sh; no test uses them.
PEERS=(
  libvips-tools libvips-dev libmagickwand-6.q16-dev python3-numpy python3-pil liblcms2-utils valgrind
)

if [ "${1:-}" = "--list" ]; then
  shift
  groups=("$@")
  [ ${#groups[@]} -gt 0 ] || groups=(run build test peers)
  for group in "${groups[@]}"; do
    case "$group" in
      run) printf '%s\n' "${RUN[@]}" ;;
      build) printf '%s\n' "${BUILD[@]}" ;;
      test) printf '%s\n' "${TEST[@]}" ;;
      peers) printf '%s\n' "${PEERS[@]}" ;;
      *) echo "deps: no group $group (run, build, test, peers)" >&2; exit 2 ;;
    esac
  done
  exit 0
fi
PACKAGES=("${RUN[@]}" "${BUILD[@]}" "${TEST[@]}" "${PEERS[@]}")

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: everything is installed"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
# Another program (the system updating itself, say) may hold the package manager's locks for a
# while: wait for them, a few minutes at most, rather than fail.
LOCK_WAIT=${DEPS_LOCK_WAIT:-300}
LOCK_POLL=${DEPS_LOCK_POLL:-10}
LOCKS='^/var/lib/dpkg/lock|^/var/lib/apt/lists/lock|^/var/cache/apt/archives/lock'

say_waiting() {
  echo "deps: another program holds the package manager's lock; waiting for it (at most $((LOCK_WAIT / 60)) minutes)"
}

# apt-get update does not wait for the lock of the package lists: it is tried again while that
# lock is held.
update_package_lists() {
  local waited=0 output
  while ! output=$($SUDO apt-get -q -o DPkg::Lock::Timeout="$LOCK_WAIT" update 2>&1); do
    if ! grep -q "Could not get lock" <<<"$output" || [ "$waited" -ge "$LOCK_WAIT" ]; then
      echo "$output" >&2
      return 1
    fi
    [ "$waited" -gt 0 ] || say_waiting
    sleep "$LOCK_POLL"
    waited=$((waited + LOCK_POLL))
  done
}

echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if lslocks -n -r -o PATH 2>/dev/null | grep -qE "$LOCKS"; then say_waiting; fi
update_package_lists
# apt-get install waits for the dpkg lock itself, and says so while it waits.
$SUDO apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout="$LOCK_WAIT" "${missing[@]}"
