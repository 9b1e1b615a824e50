#!/bin/sh
# Makes docs/clock.png: the clock at 10:10:30 as it appears at its first-start place
# on tests/data/wallpaper-1366x768.png, with some of the desktop around it.
# Usage: tools/render/make_readme_picture.sh <native lumivane-render>   (needs ImageMagick)
set -eu
render=${1:?usage: $0 path/to/lumivane-render}
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$render" --background "$root/tests/data/wallpaper-1366x768.png" --time 10:10:30 \
    --output "$scratch/frame.png"
# The frame is 285 x 285 at (540, 0); black is the window's transparent colour.
convert "$root/tests/data/wallpaper-1366x768.png" -crop 405x325+480+0 +repage \
    \( "$scratch/frame.png" -transparent black \) -geometry +60+0 -composite \
    -strip "$root/docs/clock.png"
