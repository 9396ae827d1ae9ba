#!/usr/bin/env bash
# Redraws the program's icons with ImageMagick; the PNG and BMP files it writes are committed.
set -euo pipefail
cd "$(dirname "$0")/images"

base() { convert -size 32x32 xc:none "$@"; }

# Application and document icons: a square wave on a dark tile.
base -fill '#1e2a38' -stroke '#0d141c' -draw 'roundrectangle 1,1 30,30 6,6' \
     -fill none -stroke '#3ddc6a' -strokewidth 2 -draw 'polyline 5,22 10,22 10,9 17,9 17,22 22,22 22,9 27,9' main.png
base -fill '#24476b' -stroke '#12263a' -draw 'roundrectangle 2,2 29,29 5,5' \
     -fill none -stroke '#ffd24a' -strokewidth 2 -draw 'polyline 6,21 11,21 11,10 18,10 18,21 21,21 21,10 26,10' child.png

# Open: a folder.
base -fill '#e8b84a' -stroke '#9a6f12' -strokewidth 1.5 -draw 'polygon 3,9 12,9 14,12 28,12 28,26 3,26' \
     -fill '#f6d27a' -draw 'polygon 3,26 7,15 30,15 26,26' file_open.png

# Print: a printer with a sheet.
base -fill white -stroke '#555' -strokewidth 1.2 -draw 'rectangle 9,3 23,13' \
     -fill '#7d8894' -stroke '#3a424a' -draw 'roundrectangle 3,12 29,24 3,3' \
     -fill white -stroke '#555' -draw 'rectangle 9,19 23,29' -fill '#3ddc6a' -stroke none -draw 'circle 25,16 26,16' print.png

# Zoom: a magnifier with +, - or a frame.
lens() { base -fill '#dff0ff' -stroke '#2d5f8a' -strokewidth 2.5 -draw 'circle 13,13 13,3' \
          -stroke '#2d5f8a' -strokewidth 4 -draw 'line 20,20 28,28' "$@"; }
lens -stroke '#2d5f8a' -strokewidth 2.5 -draw 'line 8,13 18,13' -draw 'line 13,8 13,18' zoom_in.png
lens -stroke '#2d5f8a' -strokewidth 2.5 -draw 'line 8,13 18,13' zoom_out.png
lens -fill none -stroke '#2d5f8a' -strokewidth 1.5 -draw 'rectangle 8,9 18,17' zoom_full.png

# Cursors: a red cursor line with a green plus or a red cross.
cursor() { base -stroke '#d83030' -strokewidth 2.5 -draw 'line 10,2 10,30' -fill '#d83030' -stroke none \
            -draw 'polygon 5,2 15,2 10,8' "$@"; }
cursor -stroke '#22a04a' -strokewidth 3 -draw 'line 17,20 29,20' -draw 'line 23,14 23,26' step_add.png
cursor -stroke '#444' -strokewidth 3 -draw 'line 18,15 28,25' -draw 'line 28,15 18,25' step_delete.png

# Window arrangement: side by side, and cascaded.
base -fill white -stroke '#2d5f8a' -strokewidth 1.5 -draw 'rectangle 2,4 15,28' -draw 'rectangle 17,4 30,28' \
     -fill '#2d5f8a' -draw 'rectangle 2,4 15,8' -draw 'rectangle 17,4 30,8' window_split_ver.png
base -fill white -stroke '#2d5f8a' -strokewidth 1.5 -draw 'rectangle 2,2 20,18' -fill '#2d5f8a' -draw 'rectangle 2,2 20,6' \
     -fill white -draw 'rectangle 7,8 25,24' -fill '#2d5f8a' -draw 'rectangle 7,8 25,12' \
     -fill white -draw 'rectangle 12,14 30,30' -fill '#2d5f8a' -draw 'rectangle 12,14 30,18' windows.png

# Reload: a circular arrow.
base -fill none -stroke '#2d5f8a' -strokewidth 3 -draw 'arc 5,5 27,27 -60,210' \
     -fill '#2d5f8a' -stroke none -draw 'polygon 19,2 30,9 19,15' reload.png

# Transition navigation: arrows.
base -fill '#22a04a' -stroke '#136030' -strokewidth 1.2 -draw 'polygon 4,12 18,12 18,5 29,16 18,27 18,20 4,20' navigate_right.png
base -fill '#22a04a' -stroke '#136030' -strokewidth 1.2 -draw 'polygon 28,12 14,12 14,5 3,16 14,27 14,20 28,20' navigate_left.png

# Name-tree icons (16 x 16 bitmaps): bit, integer, real, vector.
small() { convert -size 16x16 xc:black "$@"; }
small -fill none -stroke '#3ddc6a' -strokewidth 1.5 -draw 'polyline 1,12 5,12 5,4 10,4 10,12 15,12' BMP3:bmpBit.bmp
small -fill '#ff8080' -stroke none -font DejaVu-Sans-Bold -pointsize 11 -gravity center -annotate +0+0 '#' BMP3:bmpInt.bmp
small -fill none -stroke '#ff8080' -strokewidth 1.5 -draw 'bezier 1,11 4,1 8,15 11,4 15,8' BMP3:bmpReal.bmp
small -fill none -stroke '#ffff00' -strokewidth 1.2 -draw 'polyline 1,4 5,4 7,8 5,12 1,12' \
      -draw 'polyline 15,4 9,4 7,8 9,12 15,12' BMP3:bmpVector.bmp

# The application's icon for desktop menus, from its SVG at the hicolor theme's usual sizes.
for n in 16 22 24 32 48 64 128 256; do
  convert -background none -density $((n * 72 / 64 * 2)) ../desktop/dovlin.svg -resize ${n}x${n} -depth 8 \
          png:../desktop/icons/dovlin-$n.png
done
