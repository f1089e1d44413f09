#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite headless. The test of a file over 1 GiB and the
# 10 000-frame soak test are labelled "large" and "soak" and run apart:
#   ctest --test-dir build -L large      ctest --test-dir build -L soak
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)" -LE 'large|soak'
