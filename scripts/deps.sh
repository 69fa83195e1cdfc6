#!/usr/bin/env bash
# Installs the Debian packages Plimbet needs to build, run, test and benchmark.
# Only what is missing is installed; apt-get update runs only then. Safe to run twice.
set -euo pipefail

PACKAGES=(
  # run: the desktop's own file and folder dialogs
  qt6-gtk-platformtheme qt6-xdgdesktopportal-platformtheme
  # build
  g++ cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libopenjp2-7-dev
  libcurl4-openssl-dev libsane-dev libsane1 sane-utils
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libuemf-dev
  fonts-liberation2 fontconfig
  # tools the tests ask to check our output, and sample files no one here wrote
  libjpeg-turbo-progs pngcheck libtiff-tools giflib-tools gifsicle imagemagick
  netpbm libopenjp2-tools ffmpeg tidy python3 xauth xvfb poppler-utils
  gdk-pixbuf-tests golang-1.19-src imagemagick-6-doc icoutils libimage-exiftool-perl
  golang-golang-x-image-dev librust-tiff-dev librust-jpeg-decoder-dev
  desktop-file-utils
  # drawings no one here wrote, and the reader that maps them for the import tests
  librecad-data openscad-testing-data python3-ezdxf
  # peers the benchmarks compare against (numpy also for the processing references)
  libvips-tools libmagickwand-6.q16-dev python3-numpy python3-pil fgallery liblcms2-utils
)

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
