#!/usr/bin/env bash
# Checks the example units of the program folder with systemd's own parser, the
# way a user manager would load them from ~/.config/systemd/user, but without a
# running manager (CI runs as root in a container):
#   - `systemd-analyze verify --user` accepts them without a single complaint
#     (it only warns, with exit status 0, about an unknown key or a bad value);
#   - every unit they name is one a user manager has (network-online.target,
#     for one, is the system manager's and means nothing here);
#   - the timer fires on weekdays at 18:30 in Tokyo whatever the machine's zone;
#   - a failed run is retried a bounded number of times, never after exit 2.
#
#   tests/tools/systemd_units_test.sh DIST_FOLDER
set -euo pipefail

dist=${1:?usage: $0 DIST_FOLDER}
service="$dist/kabuka-collect.service"
timer="$dist/kabuka-collect.timer"
export LC_ALL=C

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

command -v systemd-analyze >/dev/null ||
  fail "systemd-analyze is missing (tools/install-deps.sh installs the package systemd)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The last value of a key in a unit file, as systemd reads it: later lines win.
value_of() {
  sed -n "s/^[[:space:]]*$2=//p" "$1" | tail -n 1
}

# A time span in microseconds ("us" under LC_ALL=C, "μs" under UTF-8).
microseconds() {
  local parsed
  parsed=$(systemd-analyze timespan "$1" 2>&1) || fail "not a time span: '$1'"
  sed -n -E 's/^[[:space:]]*(us|μs): //p' <<<"$parsed"
}

verify_units() {
  # A user manager needs a runtime folder, and verify insists that ExecStart's
  # program exists: %h is $HOME, so a stand-in program goes where the README puts
  # the program folder.
  mkdir -p "$work/runtime" "$work/home/kabuka-collector"
  printf '#!/bin/sh\nexit 0\n' >"$work/home/kabuka-collector/kabuka-collect"
  chmod +x "$work/home/kabuka-collector/kabuka-collect"
  local output status=0
  output=$(XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" \
    systemd-analyze verify --user --man=no "$service" "$timer" 2>&1) || status=$?
  [ "$status" -eq 0 ] && [ -z "$output" ] ||
    fail "systemd-analyze verify (status $status) says:"$'\n'"$output"
}

check_named_units_exist() {
  local keys='Wants|Requires|BindsTo|PartOf|After|Before|WantedBy|RequiredBy'
  local paths name folder found
  paths=$(XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" systemd-analyze --user unit-paths)
  paths+=$'\n'"$dist"
  for name in $(sed -n -E "s/^[[:space:]]*($keys)=//p" "$service" "$timer"); do
    found=
    while read -r folder; do
      [ -e "$folder/$name" ] && found=yes
    done <<<"$paths"
    [ -n "$found" ] || fail "$name is not a unit of the user manager"
  done
}

# Tokyo keeps no summer time, so 18:30 there is 09:30 UTC the same weekday.
check_tokyo_evenings() {
  local zone=$1 calendar runs
  calendar=$(value_of "$timer" OnCalendar)
  runs=$(TZ=$zone systemd-analyze calendar --iterations=12 "$calendar" |
    sed -n 's/^[[:space:]]*(in UTC): //p')
  [ "$(wc -l <<<"$runs")" -eq 12 ] || fail "OnCalendar=$calendar under TZ=$zone: [$runs]"
  if grep -Ev '^(Mon|Tue|Wed|Thu|Fri) [0-9-]+ 09:30:00 UTC$' <<<"$runs"; then
    fail "OnCalendar=$calendar under TZ=$zone runs at the times above, not 18:30 in Tokyo"
  fi
  [ "$(value_of "$timer" Persistent)" = true ] || fail "the timer does not catch up a missed run"
}

check_bounded_retries() {
  local restart delay burst interval prevented
  restart=$(value_of "$service" Restart)
  delay=$(microseconds "$(value_of "$service" RestartSec)")
  burst=$(value_of "$service" StartLimitBurst)
  interval=$(microseconds "$(value_of "$service" StartLimitIntervalSec)")
  prevented=" $(value_of "$service" RestartPreventExitStatus) "
  [ "$restart" = on-failure ] || fail "Restart=$restart"
  [ "$delay" -ge 120000000 ] || fail "RestartSec under two minutes: a retry meets the same fault"
  [ "${burst:-0}" -ge 2 ] && [ "$burst" -le 10 ] || fail "StartLimitBurst=$burst: no or endless retries"
  # The limit counts starts within the interval; one shorter than the retries
  # lets the count start afresh and the retries go on for ever.
  [ "$interval" -gt $((burst * delay)) ] ||
    fail "StartLimitIntervalSec is shorter than $burst retries $delay us apart"
  [[ $prevented == *" 2 "* ]] || fail "a bad command line (exit 2) would be retried"
}

verify_units
check_named_units_exist
check_tokyo_evenings Pacific/Auckland
check_tokyo_evenings America/New_York
check_bounded_retries
echo "the example units pass"
