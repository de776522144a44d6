#!/usr/bin/env bash
# Draws the Zantor application icon (a stylised blue/white ID card) and writes
# res/Zantor.ico: 48/32/24/16 px at 4 and 8 bits per pixel, plus 256/48/32/24/16
# px at 32 bits with alpha (every image stored as PNG, as Windows reads them from
# Vista on: a sixth of the bytes of a bitmap with alpha, a fifth of a palette
# bitmap's; scripts/icon-palette-png.py turns the palette bitmaps that icotool
# writes into palette PNGs with the same pixels). Deterministic and
# safe to re-run. Needs ImageMagick (/usr/bin/convert) and icoutils (icotool), and
# zopfli (zopflipng) for the last squeeze of each PNG.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/res/Zantor.ico"
convert=/usr/bin/convert   # the real ImageMagick, not any wrapper earlier in PATH
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# PNGs without time stamps or other metadata, so that reruns give identical bytes.
png() { "$convert" "${@:1:$#-1}" -strip -define png:exclude-chunks=date,time "PNG32:${@: -1}"; }

# Master artwork at 256 px. Coordinates sit on a 16 px grid so that the 16 px
# image stays crisp: card with a dark rim, portrait block left, three text lines.
png -size 256x256 xc:none \
  -fill '#0b3d91' -draw 'roundrectangle 16,48 239,207 32,32' \
  -fill '#2f74d0' -draw 'roundrectangle 24,56 231,199 24,24' \
  -fill '#e8f0fb' -draw 'roundrectangle 32,80 111,175 8,8' \
  -fill '#0b3d91' -draw 'circle 72,112 72,90' \
  -draw 'ellipse 72,176 34,30 180,360' \
  -fill white -draw 'rectangle 128,80 223,95' \
  -draw 'rectangle 128,112 223,127' -draw 'rectangle 128,144 191,159' \
  "$tmp/master.png"

args=()
for bits in 4 8 32; do
  sizes="48 32 24 16"; [ "$bits" = 32 ] && sizes="256 $sizes"
  args+=(-b "$bits")
  for s in $sizes; do
    f="$tmp/$s-$bits.png"
    case "$bits" in
      # Stored as-is (PNG) in the icon.
      32) if [ "$s" = 256 ]; then cp "$tmp/master.png" "$f"; else png "$tmp/master.png" -filter Box -resize "${s}x$s" "$f"; fi
          args+=(-r "$f"); continue ;;
      # Palette images: 1-bit transparency, at most 15/255 colours plus transparent.
      *)  png "$tmp/master.png" -filter Box -resize "${s}x$s" \
              -channel A -threshold 50% +channel +dither -colors $(( (1 << bits) - 1 )) \
              -background none -alpha background "$f" ;;
    esac
    args+=("$f")
  done
done

mkdir -p "$(dirname "$out")"
icotool -c -o "$out" "${args[@]}"
python3 "$root/scripts/icon-palette-png.py" "$out"

# Check: exactly the thirteen expected entries (width, height, bit depth), in order.
expected="48x48x4 32x32x4 24x24x4 16x16x4 48x48x8 32x32x8 24x24x8 16x16x8
256x256x32 48x48x32 32x32x32 24x24x32 16x16x32"
# (From the icon's directory: icotool -l gives a PNG image's depth per channel.)
actual="$(python3 -c '
import struct, sys
d = open(sys.argv[1], "rb").read()
for i in range(struct.unpack_from("<H", d, 4)[0]):
    w, h, _, _, _, bits = struct.unpack_from("<BBBBHH", d, 6 + 16 * i)
    print("%dx%dx%d" % (w or 256, h or 256, bits))
' "$out")"
if [ "$(echo $actual)" != "$(echo $expected)" ]; then
  echo "make-icon: unexpected entries in $out:" >&2; icotool -l "$out" >&2; exit 1
fi
echo "make-icon: wrote $out ($(stat -c %s "$out") bytes, 13 images)"
