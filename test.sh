#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test headless. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh
cmake -S . -B build/ci -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKABUKA_SANITIZE=ON
cmake --build build/ci
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build/ci --output-on-failure
