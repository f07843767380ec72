#!/usr/bin/env bash
# Renders tarvesk.svg into the PNG icons kept beside it in icons/.
# Run once after editing the SVG (needs rsvg-convert from librsvg2-bin);
# the build only copies the committed PNGs.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
for size in 16 32 48 256; do
  rsvg-convert -w "$size" -h "$size" "$here/tarvesk.svg" -o "$here/icons/tarvesk-$size.png"
done
