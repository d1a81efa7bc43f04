#!/usr/bin/env bash
# Renders the program's icon (data/vreko.svg) to the PNG sizes the desktop themes use and to
# the Windows icon resource. The results are kept in the tree, so a build never needs this;
# run it again after changing the SVG. Needs librsvg2-bin and icoutils.
set -euo pipefail
cd "$(dirname "$0")/../data"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for s in 16 24 32 48 256; do
    rsvg-convert -w "$s" -h "$s" vreko.svg -o "$tmp/vreko-$s.png"
done
cp "$tmp/vreko-48.png" icons/vreko-48.png
cp "$tmp/vreko-256.png" icons/vreko-256.png
# The 256-pixel image is stored as PNG inside the icon, the small ones as bitmaps.
icotool -c -o vreko.ico "$tmp"/vreko-{16,24,32,48}.png -r "$tmp/vreko-256.png"
