#!/usr/bin/env bash
# Times the SQLite export of a ten-year database (2,452 day files of 4,000
# records, 9.8 million rows) next to what a user would do by hand: iconv of each
# day file from code page 932 to UTF-8, then the sqlite3 command line's
# `.import --csv` into one untyped table. Then an incremental run with one new
# day, a run with nothing changed, one stock's series over the ten years from the
# database (a whole process each time, as a command would be run) and from the
# day files, the peak memory and the size of the database per row.
#
# The day files are the ones kabuka_check_bench makes once under the temporary
# folder (the sample market of tools/sample_data). kabuka_history_tool runs the
# export and the series through the history library, as kabuka-collect does.
#
# Usage: bench/history_vs_iconv_sqlite3.sh [rounds]     (default 1 round)
# Environment: BUILD_DIR (default build/release, a Release build with tests),
# WORK_DIR (where the databases are written; default $BUILD_DIR/bench-history).
set -euo pipefail

cd "$(dirname "$0")/.."
rounds=${1:-1}
build=${BUILD_DIR:-build/release}
work=${WORK_DIR:-$build/bench-history}
days=${TMPDIR:-/tmp}/kabuka-check-bench-2006-2015-4000/kabuka

command -v sqlite3 >/dev/null || tools/install-deps.sh
if [ ! -x "$build/bin/kabuka_history_tool" ] || [ ! -x "$build/bin/kabuka_check_bench" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
  cmake --build "$build" --target kabuka_history_tool kabuka_check_bench
fi
tool=$build/bin/kabuka_history_tool
if [ ! -e "$days/.complete" ]; then
  "$build/bin/kabuka_check_bench" --benchmark_filter='BM_CheckTenYears/2' \
    --benchmark_min_time=0.01 >/dev/null
fi
rm -rf "$work" && mkdir -p "$work"
work=$(cd "$work" && pwd)
db=$work/kabuka.sqlite

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
export_db() { "$tool" export "$days" --db="$db" "$@" 2>&1 | tail -n 1; }

by_hand() {
  rm -f "$work/hand.csv" "$work/hand.db"
  local start; start=$(now)
  for file in "$days"/*/data_d/*.csv; do iconv -f CP932 -t UTF-8 "$file"; done >"$work/hand.csv"
  sqlite3 "$work/hand.db" "CREATE TABLE prices (c1, c2, c3, c4, c5, c6, c7, c8)" \
    ".import --csv $work/hand.csv prices"
  elapsed "$start" "$(now)"
}

echo "$(find "$days" -name '*.csv' | wc -l) day files in $days; $(nproc) cores; load $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq "$rounds"); do
  rm -f "$db" "$db"-*
  full=$(export_db)
  hand=$(by_hand)
  echo "round $round: export: $full"
  echo "round $round: iconv + sqlite3 .import: $hand s"
done

newest=$(find "$days" -name '*.csv' | sort | tail -n 1)
mv "$newest" "$work/newest.csv"
export_db >/dev/null
mv "$work/newest.csv" "$newest"
echo "one new day:     $(export_db)"
echo "nothing changed: $(export_db)"

series_runs=20
start=$(now)
for _ in $(seq "$series_runs"); do "$tool" series "$days" 1300 --db="$db" >"$work/series.csv" 2>"$work/series.err"; done
echo "series from the database: $(awk -v a="$start" -v b="$(now)" -v n="$series_runs" 'BEGIN { printf "%.1f ms", (b - a) * 1000 / n }') a run ($(cat "$work/series.err"))"
start=$(now)
"$tool" series "$days" 1300 --db="$work/none.sqlite" >"$work/series-files.csv" 2>"$work/series.err"
echo "series from the day files: $(elapsed "$start" "$(now)") s ($(cat "$work/series.err"))"
cmp -s "$work/series.csv" "$work/series-files.csv" && echo "both series: the same bytes" ||
  echo "note: the two series differ"

rows=$(sqlite3 "$db" "SELECT count(*) FROM price_rows")
bytes=$(stat -c %s "$db")
echo "database: $bytes bytes, $rows rows, $(awk -v b="$bytes" -v r="$rows" 'BEGIN { printf "%.1f", b / r }') bytes a row;" \
  "by hand: $(stat -c %s "$work/hand.db") bytes"
