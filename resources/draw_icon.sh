#!/usr/bin/env bash
# Draws the stub's icon (a parcel with a green arrow leaving it) at 16, 24, 32 and 48
# pixels and packs the four images into app.ico with at most 16 colours each.
# Needs ImageMagick's `convert`. Run from anywhere; writes resources/app.ico.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Scales a coordinate drawn on the 48-pixel grid to the image size $s.
c() { echo $(( ($1 * s + 24) / 48 )); }

draw() {
    s=$1
    convert -size "${s}x${s}" xc:none +antialias \
        -fill '#8a5a1e' -draw "rectangle $(c 5),$(c 19) $(c 42),$(c 44)" \
        -fill '#d9a441' -draw "rectangle $(c 7),$(c 21) $(c 40),$(c 42)" \
        -fill '#f2cf7a' -draw "rectangle $(c 7),$(c 21) $(c 40),$(c 25)" \
        -fill '#8a5a1e' -draw "rectangle $(c 21),$(c 19) $(c 26),$(c 44)" \
        -fill '#1f6f2a' -draw "polygon $(c 24),$(c 2) $(c 37),$(c 14) $(c 29),$(c 14) $(c 29),$(c 30) $(c 19),$(c 30) $(c 19),$(c 14) $(c 11),$(c 14)" \
        -fill '#4cc25a' -draw "polygon $(c 24),$(c 5) $(c 33),$(c 13) $(c 27),$(c 13) $(c 27),$(c 28) $(c 21),$(c 28) $(c 21),$(c 13) $(c 15),$(c 13)" \
        -channel A -threshold 50% +channel -colors 16 "png:$work/$s.png"
}

for size in 16 24 32 48; do draw "$size"; done
convert "$work/16.png" "$work/24.png" "$work/32.png" "$work/48.png" -colors 16 -type Palette "ico:$here/app.ico"
