#!/usr/bin/env bash
# Renders the project's SVG drawings into the PNGs that the resource collection holds.
# Run after changing a drawing; the PNGs are committed so that the build needs no renderer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

small=(menu download send remove save newFile debug edit)
large=(edit newFile create_backup restore_backup del firmware remove image program update save
       exchange debug send)

render() { # svg, size, png
  rsvg-convert --width "$2" --height "$2" --keep-aspect-ratio -o "$3" "$1"
}

for name in "${small[@]}"; do
  render "$root/images/svg/$name.svg" 24 "$root/images/x1/$name.png"
done
for name in "${large[@]}"; do
  render "$root/images/svg/$name.svg" 48 "$root/images/x2/$name.png"
done
render "$root/icons/svg/logo.svg" 256 "$root/icons/logo.png"
