#!/usr/bin/env bash
# Starts the program on a virtual X screen and writes a PNG of its window, so the
# window can be looked at on a machine without a display.
#
#   tools/screenshot.sh [output.png]      default: build/screenshot/dl_form.png
#
# KABUKA_BIN names the program to start; by default a Release build is made.
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-build/screenshot/dl_form.png}
bin=${KABUKA_BIN:-build/release/bin/kabuka-collector}

tools/install-deps.sh imagemagick
if [ -z "${KABUKA_BIN:-}" ]; then
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build build/release --target kabuka-collector >/dev/null
fi
[ -x "$bin" ] || { echo "no program at $bin" >&2; exit 1; }
mkdir -p "$(dirname "$out")"

# Runs inside the virtual screen: start the program, wait for its window to be
# mapped and painted, grab it, and end the program it started.
# shellcheck disable=SC2016
capture='
  bin=$1 out=$2
  QT_QPA_PLATFORM=xcb "$bin" &
  pid=$!
  trap "kill $pid 2>/dev/null || true" EXIT
  wid=$(timeout 20 xdotool search --sync --onlyvisible --name "日毎株価収集ソフトウェア" | head -n 1)
  sleep 1.5  # let start-up finish filling the lists and repaint
  import -window "$wid" "$out"
'

xvfb-run --auto-servernum --server-args='-screen 0 800x600x24 -dpi 96' \
  bash -c "$capture" capture "$(realpath "$bin")" "$(realpath -m "$out")"
echo "wrote $out"
