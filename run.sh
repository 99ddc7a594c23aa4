#!/usr/bin/env bash
# Builds the program (Release), lays out its program folder in build/release/program
# and starts it from there.
#
#   ./run.sh          the program, in build/release/program
#   ./run.sh --demo   the program against the sample data server, in build/release/demo
#
# In the demo, kabuka_sample_server serves synthetic prices on a free loopback port
# and the demo folder's settei.txt points 日毎株価取得サイト at it; the server is
# stopped when the program exits.
set -euo pipefail
cd "$(dirname "$0")"

demo=false
if [ "${1:-}" = "--demo" ]; then
  demo=true
  shift
fi

build=build/release
program_dir=$build/program
$demo && program_dir=$build/demo

tools/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build "$build"
# Replaces the program, readme.txt and settei.txt.sample only: the user's
# settei.txt and the price database in the folder stay as they are.
cmake --install "$build" --prefix "$program_dir" >/dev/null

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Built the program into $program_dir/, but there is no display to show it on."
  echo "Start it from a desktop session, or see tools/screenshot.sh for a picture of it."
  exit 0
fi

if ! $demo; then
  cd "$program_dir"
  exec ./kabuka-collector "$@"
fi

server_log=$build/sample_server.log
server_out=$(mktemp)
"$build/bin/kabuka_sample_server" --port 0 >"$server_out" 2>"$server_log" &
server_pid=$!
stop_server() {
  kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  rm -f "$server_out"
}
trap stop_server EXIT

# The server's first line is "port <n>" once it listens.
port=""
for _ in $(seq 100); do
  port=$(sed -n '1s/^port \([0-9]*\)$/\1/p' "$server_out")
  if [ -n "$port" ] || ! kill -0 "$server_pid" 2>/dev/null; then
    break
  fi
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "The sample data server did not start; see $server_log." >&2
  exit 1
fi

site="http://127.0.0.1:$port/kabu/kabu2/kabuka_db/"
"$build/bin/kabuka_write_settei" dist/settei.txt.sample.in "$program_dir/settei.txt" "$site"
echo "Demo: sample data server at $site (log: $server_log)"
echo "Demo program folder: $program_dir/"
(cd "$program_dir" && ./kabuka-collector "$@")
