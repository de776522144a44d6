#!/usr/bin/env bash
# Draws the stand-in reader's sample card photo with ImageMagick: a stylised
# head-and-shoulders silhouette on a pale-blue gradient, 102 x 126 pixels (the
# proportions of an identity-card photo), written as a small baseline JPEG without
# metadata so that the same ImageMagick gives the same bytes again.
#
#   scripts/make-sample-photo.sh [output]   (default: standin/sample-photo.jpg)
#
# The committed standin/sample-photo.jpg is what the stand-in embeds and what the
# tests compare zp.jpg with; run this only to change the picture, then rebuild.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/standin/sample-photo.jpg}

# ImageMagick's own convert (a convert earlier on PATH may be something else).
im=/usr/bin/convert
if ! "$im" -version 2>/dev/null | grep -q ImageMagick; then
  echo "make-sample-photo: ImageMagick's convert is missing (apt-get install imagemagick)" >&2
  exit 1
fi

# Shoulders: a wide rounded shape cut by the bottom edge; neck: a short bar;
# head: an ellipse. Slightly darker collar line for a little depth.
"$im" -size 102x126 gradient:'#e8f0f9'-'#c3d5e8' \
  -fill '#5a6b7d' -stroke none \
  -draw 'roundrectangle 8,92 94,150 34,34' \
  -draw 'rectangle 42,66 60,96' \
  -draw 'ellipse 51,48 21,26 0,360' \
  -fill '#4a5968' \
  -draw 'polygon 40,92 51,104 62,92 60,90 51,98 42,90' \
  -strip -interlace none -sampling-factor 2x2 -quality 85 \
  "jpeg:$out"

echo "make-sample-photo: wrote $out ($(wc -c <"$out") bytes)"
