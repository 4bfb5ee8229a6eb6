#!/bin/sh
# Renders Zandrex's icon, data/icons/zandrex.svg, to the PNG sizes the desktop and the program
# use: data/icons/zandrex-SIZE.png. The PNGs are kept in the repository, so the build needs no
# SVG renderer; run this again after changing the SVG.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -eu

repo_dir=$(cd "$(dirname "$0")/.." && pwd)
icons="$repo_dir/data/icons"
if ! command -v rsvg-convert >/dev/null 2>&1; then
  echo "$0: rsvg-convert not found; apt-get install librsvg2-bin" >&2
  exit 1
fi
for size in 16 24 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" --keep-aspect-ratio \
    --output "$icons/zandrex-$size.png" "$icons/zandrex.svg"
  echo "wrote data/icons/zandrex-$size.png"
done
