#!/usr/bin/env bash
# Renders the application's icon (desktop/icons/com.quillbank.Ondara.svg) into
# the PNGs of the asset catalogue, which the programs show where the desktop's
# icon theme has no copy of it. The PNGs are committed; run this only after
# changing the SVG (needs rsvg-convert, Debian: librsvg2-bin).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
svg="$here/../../desktop/icons/com.quillbank.Ondara.svg"
for size in 16 32 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --output "$here/app-icon-$size.png" "$svg"
done
