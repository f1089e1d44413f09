#!/usr/bin/env bash
# Installs the Debian packages Kelbo needs to build, run and test, when they are missing.
# As root it runs apt-get itself; otherwise it prints the exact command to run and stops.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-qpa-plugins qt6-image-formats-plugins qt6-translations-l10n
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  fonts-liberation2 fonts-dejavu-core fonts-comic-neue
)
# The run command shows the window; a machine without a display gets a virtual one.
if [ "${1:-}" = "--run" ] && [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  packages+=(xvfb xauth)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Kelbo needs these packages. Run, then try again:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
