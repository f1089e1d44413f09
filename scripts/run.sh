#!/usr/bin/env bash
# Sets up, builds and starts Kelbo. Without a display it starts inside a virtual one (Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --run
scripts/build.sh
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" build/app/kelbo
fi
exec build/app/kelbo
