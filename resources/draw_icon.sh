#!/usr/bin/env bash
# Draws the stub's icon (a parcel with a green arrow leaving it) at 16, 32 and 48
# pixels and packs the three images into app.ico as palette PNGs with transparency:
# about a quarter of the size of the same pictures as 16-colour bitmaps. Images in PNG
# form are read by Windows Vista and later. There is no 24-pixel image: Windows scales the
# 32-pixel one down for those places, and a fourth image would cost the stub 512 bytes.
# Needs ImageMagick's `convert`. Run from anywhere; writes resources/app.ico.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
sizes=(16 32 48)

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
        -channel A -threshold 50% +channel -colors 16 -strip \
        -define png:compression-level=9 -define png:exclude-chunks=date,time "png8:$work/$s.png"
}

# Little-endian 16- and 32-bit values as raw bytes.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16)); }

for size in "${sizes[@]}"; do draw "$size"; done
{
    le16 0; le16 1; le16 ${#sizes[@]}  # reserved, type icon, image count
    offset=$((6 + 16 * ${#sizes[@]}))
    for size in "${sizes[@]}"; do
        bytes=$(stat -c %s "$work/$size.png")
        # width, height, colours, reserved, planes, bits per pixel, size, offset
        printf "\\x$(printf %02x "$size")\\x$(printf %02x "$size")\\x10\\x00"; le16 1; le16 4
        le32 "$bytes"; le32 "$offset"
        offset=$((offset + bytes))
    done
    for size in "${sizes[@]}"; do cat "$work/$size.png"; done
} > "$here/app.ico"
