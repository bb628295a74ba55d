#!/usr/bin/env bash
# Redraws the application icon's PNGs from data/icons/quern-midi.svg (needs
# rsvg-convert from librsvg2-bin). The PNGs are kept in the repository, so
# the build itself needs no SVG renderer.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 32 48 128 256; do
  rsvg-convert -w "$size" -h "$size" quern-midi.svg -o "quern-midi-$size.png"
done
