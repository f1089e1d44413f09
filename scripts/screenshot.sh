#!/usr/bin/env bash
# Takes docs/screenshot-main.png: the real program under a virtual display (Xvfb), started as
# `kelbo PROJET.kelbo` on a project of three pictures, so that it shows the "Aperçu" tab with the
# first picture. Installs what it needs (Xvfb, xdotool, ImageMagick) through scripts/setup.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --screenshot
scripts/build.sh

work=$(mktemp -d)
display_pid=
kelbo_pid=
cleanup() {
  if [ -n "$kelbo_pid" ]; then kill "$kelbo_pid" 2>/dev/null || true; fi
  if [ -n "$display_pid" ]; then kill "$display_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Three pictures: a sky over a sea with a sun, at three moments.
for i in 1 2 3; do
  sun_y=$((150 - 30 * i))
  /usr/bin/convert -size 640x480 gradient:'#87c5ff-#fff3c8' \
    -fill '#1f6fb2' -draw "rectangle 0,300 640,480" \
    -fill '#ffcf3f' -draw "circle 420,$sun_y 420,$((sun_y + 45))" \
    -fill '#2b2b2b' -draw "polygon 120,330 260,330 230,360 140,360" \
    -fill '#f4f4f4' -draw "polygon 190,200 190,325 255,325" \
    "$work/image$i.jpg"
done
printf '%s\r\n' 12 320 240 "$work/image1.jpg" "$work/image2.jpg" "$work/image3.jpg" \
  > "$work/mer.kelbo"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp &
display_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

build/app/kelbo "$work/mer.kelbo" &
kelbo_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Kelbo' | head -n 1)
sleep 2 # the preview draws once the project is open
mkdir -p docs
import -window "$window" docs/screenshot-main.png
echo "docs/screenshot-main.png : $(identify -format '%wx%h' docs/screenshot-main.png)"
