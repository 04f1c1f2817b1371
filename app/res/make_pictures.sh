#!/bin/sh
# Draws the program icon (32 x 32, 16 colours) and the language toggle's picture (37 x 18,
# the characters 中/英 in blue on white). The PNG files beside this script are its output and
# are kept in the tree, so the build needs no ImageMagick; run it again only to change them.
set -e
cd "$(dirname "$0")"
convert -size 32x32 xc:none -fill '#1f4e9c' -draw 'roundrectangle 1,1 30,30 6,6' \
  -fill white -draw 'rectangle 13,5 18,15' -draw 'polygon 8,14 23,14 15.5,22' \
  -draw 'rectangle 7,25 24,27' -colors 16 PNG8:kvb_icon.png
convert -size 37x18 xc:white -font /usr/share/fonts/truetype/arphic/uming.ttc -pointsize 13 \
  -fill '#0000ff' -gravity center -annotate +0+0 '中/英' -colors 16 PNG8:lang_toggle.png
# The icon at the other sizes of the desktop's icon theme (installed under hicolor); whole
# multiples of its pixels, so it stays sharp.
for size in 16 48 64 128; do
  convert kvb_icon.png -filter point -resize ${size}x${size} -colors 16 PNG8:kvb_icon_$size.png
done
# The same icon as the Windows program carries it.
convert kvb_icon.png kvb_icon.ico
