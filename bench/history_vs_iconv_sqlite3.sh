#!/usr/bin/env bash
# Times the SQLite export of a ten-year database (2,452 day files of 4,000
# records, 9.8 million rows) next to what a user would do by hand: iconv of each
# day file from code page 932 to UTF-8, then the sqlite3 command line's
# `.import --csv` into one untyped table. Then an incremental run with one new
# day, a run with nothing changed, one stock's series over the ten years from the
# database and from the day files, the peak memory and the size of the database
# per row.
#
# Every figure is of `kabuka-collect` itself, a whole process each time (its
# start, reading settei.txt, the SQLite file's opening), as a user or a timer
# runs it. The day files are the ones kabuka_check_bench makes once under the
# temporary folder (the sample market of tools/sample_data).
#
# Usage: bench/history_vs_iconv_sqlite3.sh [rounds]     (default 1 round)
# Environment: BUILD_DIR (default build/release, a Release build),
# WORK_DIR (where the databases are written; default $BUILD_DIR/bench-history),
# MAX_LOAD (when set, each round waits until the 1-minute load is below it:
# the machine is shared, and a figure taken while others build says little).
set -euo pipefail

cd "$(dirname "$0")/.."
rounds=${1:-1}
build=${BUILD_DIR:-build/release}
work=${WORK_DIR:-$build/bench-history}
days=${TMPDIR:-/tmp}/kabuka-check-bench-2006-2015-4000/kabuka

if ! command -v sqlite3 >/dev/null || [ ! -x /usr/bin/time ]; then tools/install-deps.sh time; fi
if [ ! -x "$build/bin/kabuka-collect" ] || [ ! -x "$build/bin/kabuka_check_bench" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
  cmake --build "$build" --target kabuka-collect kabuka_check_bench
fi
collect=$build/bin/kabuka-collect
if [ ! -e "$days/.complete" ]; then
  "$build/bin/kabuka_check_bench" --benchmark_filter='BM_CheckTenYears/2' \
    --benchmark_min_time=0.01 >/dev/null
fi
rm -rf "$work" && mkdir -p "$work/program"
work=$(cd "$work" && pwd)
db=$work/kabuka.sqlite
printf '株価データベースフォルダパス,%s/\r\nEOF,EOF\r\n' "$days" >"$work/program/settei.txt"

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
load() { cut -d' ' -f1 /proc/loadavg; }
wait_for_quiet() {
  [ -n "${MAX_LOAD:-}" ] || return 0
  while awk -v l="$(load)" -v m="$MAX_LOAD" 'BEGIN { exit !(l >= m) }'; do sleep 10; done
}
# kabuka-collect with the benchmark's settings; stderr's last line, then the
# wall time and the peak memory of the process.
run_collect() {
  /usr/bin/time -o "$work/time" -f '%e %M' \
    "$collect" --program-folder "$work/program" "$@" 2>"$work/err" >"$work/out" || true
  read -r seconds kib <"$work/time"
  echo "$(tail -n 1 "$work/err" | sed "s/^[0-9T:.-]*Z //") [${seconds} s, peak $((kib / 1024)) MiB]"
}
export_db() { run_collect export --db "$db" "$@"; }

by_hand() {
  rm -f "$work/hand.csv" "$work/hand.db"
  local start; start=$(now)
  for file in "$days"/*/data_d/*.csv; do iconv -f CP932 -t UTF-8 "$file"; done >"$work/hand.csv"
  sqlite3 "$work/hand.db" "CREATE TABLE prices (c1, c2, c3, c4, c5, c6, c7, c8)" \
    ".import --csv $work/hand.csv prices"
  elapsed "$start" "$(now)"
}

echo "$(find "$days" -name '*.csv' | wc -l) day files in $days; $(nproc) cores"
# Both ways read the day files from the page cache, and each starts with the
# writes of the one before on disk, not still being written back beside it.
cat "$days"/*/data_d/*.csv >/dev/null
for round in $(seq "$rounds"); do
  wait_for_quiet
  rm -f "$db" "$db"-*
  echo "round $round (load $(load)):"
  sync
  start=$(now)
  full=$(export_db)
  ours=$(elapsed "$start" "$(now)")
  sync
  hand=$(by_hand)
  echo "  export:                  $full"
  echo "  iconv + sqlite3 .import: $hand s"
  echo "  by hand / export:        $(awk -v h="$hand" -v o="$ours" 'BEGIN { printf "%.2f", h / o }')"
done

wait_for_quiet
newest=$(find "$days" -name '*.csv' | sort | tail -n 1)
mv "$newest" "$work/newest.csv"
export_db >/dev/null
mv "$work/newest.csv" "$newest"
echo "one new day:     $(export_db)"
echo "nothing changed: $(export_db)"

# The mean wall time of `runs` series of one stock over the ten years, and the
# last run's message; the output stays in $work/$name.csv.
series() {
  local name=$1 runs=$2; shift 2
  local start; start=$(now)
  for _ in $(seq "$runs"); do
    "$collect" --program-folder "$work/program" series 1300 "$@" >"$work/$name.csv" 2>"$work/err"
  done
  echo "$(awk -v a="$start" -v b="$(now)" -v n="$runs" 'BEGIN { printf "%.1f ms", (b - a) * 1000 / n }')" \
    "a run ($(tail -n 1 "$work/err" | sed "s/^[0-9T:.-]*Z //"))"
}
wait_for_quiet
echo "series from the database:  $(series from-db 20 --db "$db")"
echo "series from the day files: $(series from-files 5 --db "$work/none.sqlite")"
cmp -s "$work/from-db.csv" "$work/from-files.csv" && echo "both series: the same bytes" ||
  echo "note: the two series differ"

rows=$(sqlite3 "$db" "SELECT count(*) FROM price_rows")
bytes=$(stat -c %s "$db")
echo "database: $bytes bytes, $rows rows, $(awk -v b="$bytes" -v r="$rows" 'BEGIN { printf "%.1f", b / r }') bytes a row;" \
  "by hand: $(stat -c %s "$work/hand.db") bytes"
