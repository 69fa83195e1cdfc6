#!/usr/bin/env bash
# Installs what is missing, makes a release build and starts Plimbet.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

BUILD_DIR=${BUILD_DIR:-build-release}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF
cmake --build "$BUILD_DIR" -j "$(nproc)" --target plimbet

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "There is no display. Start Plimbet under a virtual one with:"
  echo "  xvfb-run -a $BUILD_DIR/app/plimbet"
  exit 1
fi
exec "$BUILD_DIR/app/plimbet" "$@"
