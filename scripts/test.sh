#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite headless. The test of a file over 1 GiB is
# labelled "large" and runs apart: ctest --test-dir build -L large
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)" -LE large
