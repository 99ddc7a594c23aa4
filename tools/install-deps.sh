#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, and only
# those that are missing. Safe to run again; never removes anything.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev zlib1g-dev libsqlite3-dev libxxhash-dev sqlite3
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-ipafont-gothic xdg-utils
  xvfb xauth xdotool
  locales
  systemd tzdata
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ! "${sudo_cmd[@]}" apt-get install -y "${missing[@]}"; then
    "${sudo_cmd[@]}" apt-get update
    "${sudo_cmd[@]}" apt-get install -y "${missing[@]}"
  fi
fi

# The tests read numbers under a locale whose decimal separator is a comma.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
