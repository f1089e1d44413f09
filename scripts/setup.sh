#!/usr/bin/env bash
# Installs the Debian packages Kelbo needs to build, run and test, when they are missing.
# As root it runs apt-get itself; otherwise it prints the exact command to run and stops.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-image-formats-plugins qt6-translations-l10n
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  fonts-liberation2 fonts-dejavu-core fonts-comic-neue
  locales
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

# The tests check the settings rules under a French locale (decimal comma).
if ! locale -a 2>/dev/null | grep -qi '^fr_FR\.utf-\?8$'; then
  if [ "$(id -u)" -eq 0 ]; then
    sed -i 's/^# *fr_FR.UTF-8 UTF-8/fr_FR.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^fr_FR.UTF-8 UTF-8' /etc/locale.gen || echo 'fr_FR.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
  else
    echo "note: the fr_FR.UTF-8 locale is missing; the French-locale tests will be skipped" >&2
  fi
fi
