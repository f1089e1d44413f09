#!/usr/bin/env bash
# Makes the PNG sizes of Kelbo's icon from its one drawing, data/icons/org.example.Kelbo.svg,
# and records the drawing's SHA-256 beside them (a test checks that the PNGs are not older than
# the drawing). Run it after changing the drawing, then commit the PNGs. Needs rsvg-convert
# (Debian package librsvg2-bin); the build itself needs nothing more than the committed files.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
command -v rsvg-convert >/dev/null || { echo "rsvg-convert manque : apt-get install librsvg2-bin" >&2; exit 1; }
for size in 16 32 48 64 128 256; do
  mkdir -p "${size}x${size}"
  rsvg-convert --width "$size" --height "$size" --format png \
    --output "${size}x${size}/org.example.Kelbo.png" org.example.Kelbo.svg
done
sha256sum org.example.Kelbo.svg | cut -d' ' -f1 > org.example.Kelbo.svg.sha256
