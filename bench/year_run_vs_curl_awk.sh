#!/usr/bin/env bash
# Times a year run of kabuka-collect against the sample data server, next to the
# pipeline a user would otherwise write: curl fetching the same 12 month files one
# after another, then a plain awk split into day files (awk does not sync).
#
# kabuka-collect fetches, judges, splits and replaces every day file atomically,
# durable on disk (one sync of the file system per month). To show what the syncs
# cost, it is also timed with them turned into no-ops by a preloaded shim; that variant exists only here, the
# program itself always syncs.
#
# Usage: bench/year_run_vs_curl_awk.sh [rounds]      (default 3 rounds)
# Environment: BUILD_DIR (default build/release, a Release build), WORK_DIR (where
# the databases are written; default $BUILD_DIR/bench-year-run, on disk so that
# syncs cost what they cost), RECORDS (records per day, default 4000 as the real
# market), YEAR (default 2015).
set -euo pipefail

cd "$(dirname "$0")/.."
rounds=${1:-3}
build=${BUILD_DIR:-build/release}
work=${WORK_DIR:-$build/bench-year-run}
records=${RECORDS:-4000}
year=${YEAR:-2015}

command -v curl >/dev/null || tools/install-deps.sh curl
if [ ! -x "$build/bin/kabuka-collect" ] || [ ! -x "$build/bin/kabuka_sample_server" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" --target kabuka-collect kabuka_sample_server
fi

rm -rf "$work" && mkdir -p "$work"
work=$(cd "$work" && pwd)

# fsync, fdatasync and syncfs as no-ops, counted, for the no-sync variant only.
cat >"$work/nosync.c" <<'C'
#include <stdio.h>
#include <stdlib.h>
static long syncs;
int fsync(int fd) { (void)fd; ++syncs; return 0; }
int fdatasync(int fd) { (void)fd; ++syncs; return 0; }
int syncfs(int fd) { (void)fd; ++syncs; return 0; }
__attribute__((destructor)) static void report(void) {
  const char* path = getenv("NOSYNC_COUNT_FILE");
  FILE* out = path ? fopen(path, "w") : NULL;
  if (out) { fprintf(out, "%ld\n", syncs); fclose(out); }
}
C
cc -shared -fPIC -O2 -o "$work/nosync.so" "$work/nosync.c"

"$build/bin/kabuka_sample_server" --today "$year-12-31" --from-year "$year" --to-year "$year" \
  --records-per-day "$records" --quiet >"$work/server.out" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do grep -q '^base ' "$work/server.out" 2>/dev/null && break; sleep 0.1; done
base=$(sed -n 's/^base //p' "$work/server.out")

program="$work/program"
mkdir -p "$program"
printf '日毎株価取得サイト,%s\r\n株価データベースフォルダパス,./kabuka/\r\n日毎株価フォルダ名,data_d\r\nEOF,EOF\r\n' \
  "$base" >"$program/settei.txt"

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

collect() {  # [LD_PRELOAD=...] : one year run into a fresh database
  rm -rf "$program/kabuka"
  sync
  local start; start=$(now)
  env "$@" "$build/bin/kabuka-collect" --program-folder "$program" --today "$year-12-31" \
    --quiet year "$year"
  elapsed "$start" "$(now)"
}

curl_awk() {  # the hand-made pipeline: fetch 12 month files, then split them
  local out="$work/curl_awk"
  rm -rf "$out" && mkdir -p "$out/months" "$out/days"
  sync
  local start; start=$(now)
  for month in 01 02 03 04 05 06 07 08 09 10 11 12; do
    curl -sSf -o "$out/months/$year$month.csv" "$base$year/data_dg/$year$month.csv"
  done
  local fetched; fetched=$(now)
  for file in "$out"/months/*.csv; do
    LC_ALL=C awk -v dir="$out/days" -v ym="$(basename "$file" .csv)" '
      NR == 1 { next }
      /^[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9],/ && substr($0, 1, 6) == ym {
        if (out != "") close(out)
        out = dir "/" substr($0, 1, 8) ".csv"
      }
      { print > out }' "$file"
  done
  echo "$(elapsed "$start" "$(now)") $(elapsed "$start" "$fetched")"
}

echo "year $year, $records records per day, $rounds rounds, work folder $work"
echo "round  kabuka-collect  without-sync  curl+awk  (curl alone)   seconds"
: >"$work/times"
for round in $(seq "$rounds"); do
  with_sync=$(collect)
  without_sync=$(collect LD_PRELOAD="$work/nosync.so" NOSYNC_COUNT_FILE="$work/syncs")
  read -r pipeline curl_only <<<"$(curl_awk)"
  printf '%5d  %14s  %12s  %8s  (%s)\n' "$round" "$with_sync" "$without_sync" "$pipeline" "$curl_only"
  echo "$with_sync $without_sync $pipeline $curl_only" >>"$work/times"
done

median() { cut -d' ' -f"$1" "$work/times" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
printf 'median %14s  %12s  %8s  (%s)\n' "$(median 1)" "$(median 2)" "$(median 3)" "$(median 4)"

days=$(find "$program/kabuka/$year/data_d" -name '*.csv' | wc -l)
bytes=$(du -sb "$program/kabuka/$year/data_d" | cut -f1)
echo "day files: $days, $((bytes / 1024 / 1024)) MiB; syncs per run: $(cat "$work/syncs")"
awk_days=$(find "$work/curl_awk/days" -name '*.csv' | wc -l)
[ "$days" -eq "$awk_days" ] || echo "note: awk wrote $awk_days day files, kabuka-collect $days"
