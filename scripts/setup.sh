#!/usr/bin/env bash
# Installs the Debian packages Kelbo needs to build, run and test, when they are missing.
# apt-get runs with root rights: directly as root, through sudo otherwise; without sudo it
# prints the exact command to run and stops.
#   --run         also what the window needs on a machine without a display (Xvfb)
#   --screenshot  also what scripts/screenshot.sh needs (Xvfb, xdotool, ImageMagick)
#   --ci          also what continuous integration runs besides the tests: clang and libFuzzer
#                 for scripts/fuzz.sh
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-qpa-plugins qt6-image-formats-plugins qt6-translations-l10n
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg libjpeg62-turbo-dev
  fonts-liberation2 fonts-dejavu-core fonts-comic-neue
  # The test of the installed tree validates the desktop entry, the AppStream metainfo and
  # the MIME type with the desktop's own tools.
  desktop-file-utils appstream shared-mime-info
)
case "${1:-}" in
  --run)
    # The run command shows the window; a machine without a display gets a virtual one.
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      packages+=(xvfb xauth)
    fi
    ;;
  --screenshot)
    packages+=(xvfb xauth xdotool imagemagick)
    ;;
  --ci)
    packages+=(clang-14 libclang-rt-14-dev)
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "Kelbo a besoin de ces paquets. Lancez en tant que root, puis réessayez :" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installation des paquets manquants avec sudo : ${missing[*]}" >&2
  as_root=(sudo)
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "${missing[@]}"
