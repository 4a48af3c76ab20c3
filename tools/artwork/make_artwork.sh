#!/usr/bin/env bash
# Draws the programs' artwork with ImageMagick and writes it where the
# resource files expect it:
#   launcher/setupstub_picture.bmp  the progress dialog's picture (bitmap
#                                   138): 254 x 175 pixels, 24-bit colour
#   launcher/setupstub.ico          icon 128 of setupstub: a parcel being
#                                   unpacked, 16, 32 and 48 pixels
#   uninstaller/uninstall.ico       icon 128 of uninstall: the parcel with a
#                                   red cross, 16, 32 and 48 pixels
# Each icon size is drawn from the same shapes at its own scale (not shrunk
# from the largest), with no text, so that no installed font changes the
# result. Files carry no time stamps: running this again with the same
# ImageMagick gives the same bytes.
#
#   tools/artwork/make_artwork.sh [SOURCE_DIR]
set -euo pipefail
SOURCE_DIR=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
command -v convert > /dev/null || { echo "needs ImageMagick's convert" >&2; exit 1; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# The parcel on a 48 x 48 grid: top face, front and side, flaps open, and
# an arrow rising out of it. $1: the width of its outlines (1.5).
parcel() {
  cat << SHAPES
stroke #5a3a12 stroke-width $1
fill #e8b45a polygon 6,20 28,20 28,44 6,44
fill #c98d36 polygon 28,20 42,12 42,36 28,44
fill #f4cf86 polygon 6,20 20,12 42,12 28,20
fill #f7dca4 polygon 6,20 1,13 15,5 20,12
fill #d9a04a polygon 28,20 34,11 46,5 42,12
stroke #1d5f9e stroke-width $1 fill #3d8fd8
polygon 24,1 33,10 28,10 28,18 20,18 20,10 15,10
SHAPES
}
# A red cross in the lower right corner, for the uninstaller.
cross() {
  cat << 'SHAPES'
stroke #7a0f0f stroke-width 1.5 fill #d83a3a circle 37,37 46,37
stroke #ffffff stroke-width 3.5 line 33,33 41,41 line 41,33 33,41
SHAPES
}

# icon NAME SHAPES...: NAME.ico with 16, 32 and 48 pixel images.
icon() {
  local name=$1 size images=()
  shift
  for size in 16 32 48; do
    convert -size ${size}x${size} xc:none -draw "scale $(awk "BEGIN{print $size/48}"),$(awk "BEGIN{print $size/48}") $*" \
      -strip "PNG32:$WORK/$size.png"
    images+=("$WORK/$size.png")
  done
  convert "${images[@]}" -strip "$WORK/$name.ico"
}

icon setupstub "$(parcel 1.5)"
icon uninstall "$(parcel 1.5) $(cross)"

# The picture: a light sky with a horizon, the parcel large in the middle,
# a few sparks around the rising arrow.
convert -size 254x175 gradient:'#dcebfa'-'#ffffff' \
  -fill '#cfd8e0' -draw 'rectangle 0,140 254,175' \
  -stroke '#b0bcc8' -draw 'line 0,140 254,140' \
  -draw "translate 70,26 scale 2.4,2.4 $(parcel 0.8)" \
  -stroke '#f0a020' -strokewidth 3 -draw 'line 104,22 94,14 line 152,22 162,14 line 128,12 128,2 line 98,40 86,40 line 158,40 170,40' \
  -alpha off -type TrueColor -strip "BMP3:$WORK/picture.bmp"

cp "$WORK/picture.bmp" "$SOURCE_DIR/launcher/setupstub_picture.bmp"
cp "$WORK/setupstub.ico" "$SOURCE_DIR/launcher/setupstub.ico"
cp "$WORK/uninstall.ico" "$SOURCE_DIR/uninstaller/uninstall.ico"
