#!/usr/bin/env bash
# Renders the committed PNG pictures from their hand-drawn SVG sources. A
# one-time step: the PNGs are kept in the repository, so building never needs
# it. Needs rsvg-convert (Debian package librsvg2-bin) and the DejaVu fonts.
# The smallest sizes have their own drawings on their pixel grid: scaled down
# from the large one they blur.
set -euo pipefail
cd "$(dirname "$0")"

render() {  # size source
  rsvg-convert --width "$1" --height "$1" --output "hicolor/quorvel-$1.png" "$2"
}

mkdir -p hicolor
render 16 quorvel-16.svg
# The 24-pixel drawing leaves a pixel free on each side: its inner 22 pixels
# make the 22-pixel icon without resampling.
sed -e 's/width="24" height="24" viewBox="0 0 24 24"/width="22" height="22" viewBox="1 1 22 22"/' \
  quorvel-24.svg | rsvg-convert --width 22 --height 22 --output hicolor/quorvel-22.png
render 24 quorvel-24.svg
for size in 32 48 64 128 256; do
  render "$size" quorvel.svg
done
rsvg-convert --width 80 --height 50 --output logo.png logo.svg
