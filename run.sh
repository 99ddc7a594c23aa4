#!/usr/bin/env bash
# Builds the program (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build build/release

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Built build/release/bin/kabuka-collector, but there is no display to show it on."
  echo "Start it from a desktop session, or see tools/screenshot.sh for a picture of it."
  exit 0
fi
exec build/release/bin/kabuka-collector "$@"
