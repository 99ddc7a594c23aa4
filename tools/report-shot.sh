#!/usr/bin/env bash
# Renders the page of `kabuka-collect check --html` to a PNG in headless Chromium,
# so the page can be looked at (and shown in the README) on a machine without a
# display.
#
#   tools/report-shot.sh [page.html] [output.png]
#
# Without a page it makes one: it starts the sample data server, collects ten years
# of the sample market with kabuka-collect into a temporary database, breaks a few
# files the way failed runs and stray edits do, and runs the check with --html.
# The default output is docs/check-report.png. KABUKA_SHOT_SIZE sets the window
# (default 1200,2330); KABUKA_BUILD the build folder (default build/report-shot).
set -euo pipefail
cd "$(dirname "$0")/.."

page=${1:-}
out=${2:-docs/check-report.png}
size=${KABUKA_SHOT_SIZE:-1200,2330}
build=${KABUKA_BUILD:-build/report-shot}

tools/install-deps.sh chromium
work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

make_page() {
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DKABUKA_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" --target kabuka-collect kabuka_sample_server >/dev/null
  local today=2016-12-07
  "$build/bin/kabuka_sample_server" --port 0 --from-year 2007 --to-year 2016 \
    --records-per-day 600 --today "$today" --quiet >"$work/server.out" &
  server_pid=$!
  for _ in $(seq 50); do grep -q '^port ' "$work/server.out" 2>/dev/null && break; sleep 0.1; done
  local port
  port=$(sed -n 's/^port //p' "$work/server.out" | head -n 1)
  [ -n "$port" ] || { echo "the sample server did not start" >&2; exit 1; }

  local program="$work/program" db="$work/program/kabuka"
  mkdir -p "$program"
  printf '日毎株価取得サイト,http://127.0.0.1:%s/kabu/kabu2/kabuka_db/\r\nEOF,EOF\r\n' "$port" \
    >"$program/settei.txt"
  local collect=("$build/bin/kabuka-collect" --quiet --program-folder "$program" --today "$today")
  for year in $(seq 2007 2016); do "${collect[@]}" year "$year"; done

  # What failed runs and stray edits leave behind.
  local d="$db/2016/data_d"
  rm "$db/2009/data_d/20090708.csv" "$d/20160415.csv" "$d/20160418.csv"
  rm "$db/2015/data_d/201507"{0[6-9],1?,2[0-4]}.csv                # three weeks not run
  : >"$d/20160510.csv"                                        # emptied
  sed -i 's/\r$//' "$db/2012/data_d/20121016.csv"             # LF line ends
  sed -i '3p' "$db/2014/data_d/20140901.csv"                  # one stock twice
  LC_ALL=C awk -F, -v OFS=, 'NR == 1 { $2 = 200 } NR <= 201' "$d/20160921.csv" >"$work/short"
  mv "$work/short" "$d/20160921.csv"                          # fetched half written
  sed '1s/^20160104/20160111/' "$d/20160104.csv" >"$d/20160111.csv"  # a holiday
  mkdir -p "$db/2016/data_dg"
  head -c 5000 "$d/20161101.csv" >"$db/2016/data_dg/201611.csv"      # a split cut short
  cp "$d/20161125.csv" "$d/20161125.csv.Xq3rTb"              # an interrupted write

  page="$work/check.html"
  "${collect[@]}" check --html "$page" >/dev/null || true
  [ -s "$page" ] || { echo "the check wrote no page" >&2; exit 1; }
}

[ -n "$page" ] || make_page
mkdir -p "$(dirname "$out")"
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --hide-scrollbars --user-data-dir="$work/chromium" --window-size="$size" \
  --screenshot="$(realpath -m "$out")" "file://$(realpath "$page")" 2>/dev/null
echo "wrote $out"
