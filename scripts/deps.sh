#!/usr/bin/env bash
# Installs the Debian packages Plimbet needs to build, run, test and benchmark.
# Only what is missing is installed; apt-get update runs only then. Safe to run twice.
set -euo pipefail

PACKAGES=(
  # build
  g++ cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libopenjp2-7-dev
  libcurl4-openssl-dev libsane-dev libsane1
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  fonts-liberation2 fontconfig
  # tools the tests ask to check our output, and sample files no one here wrote
  libjpeg-turbo-progs pngcheck libtiff-tools giflib-tools gifsicle imagemagick
  netpbm libopenjp2-tools ffmpeg tidy python3 xauth xvfb
  gdk-pixbuf-tests golang-1.19-src imagemagick-6-doc icoutils libimage-exiftool-perl
  golang-golang-x-image-dev librust-tiff-dev
  # peers the benchmarks compare against (numpy also for the processing references)
  libvips-tools libmagickwand-6.q16-dev python3-numpy python3-pil
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
echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
