#!/usr/bin/env bash
# Renders the chart page of one stock's series to a PNG in headless Chromium, so
# the page can be looked at (and shown in the README) on a machine without a
# display.
#
#   tools/chart-shot.sh [page.html] [output.png]
#
# Without a page it makes one: ten years of a made-up market (prices that walk at
# random, a few days missing) are written by kabuka_history_tool, exported to
# SQLite, and the series of one stock is drawn. The default output is
# docs/series-chart.png. KABUKA_SHOT_SIZE sets the window (default 1220,600);
# KABUKA_BUILD the build folder (default build/chart-shot).
set -euo pipefail
cd "$(dirname "$0")/.."

page=${1:-}
out=${2:-docs/series-chart.png}
size=${KABUKA_SHOT_SIZE:-1220,600}
build=${KABUKA_BUILD:-build/chart-shot}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_page() {
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON \
    -DKABUKA_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" --target kabuka_history_tool >/dev/null
  local tool="$build/bin/kabuka_history_tool"
  "$tool" sample "$work/kabuka" 2007 2016 50
  "$tool" export "$work/kabuka"
  page="$work/chart.html"
  "$tool" series "$work/kabuka" 1301 --html "$page"
}

[ -n "$page" ] || make_page
# The check's picture tool renders any page it is given.
KABUKA_SHOT_SIZE="$size" tools/report-shot.sh "$page" "$out"
