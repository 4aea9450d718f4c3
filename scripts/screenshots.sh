#!/usr/bin/env bash
# Makes the pictures of the read-me from the real programs, as a user sees them:
#   docs/screenshot.png    the window on a folder, two files printed, two marked
#   docs/printed-page.png  a printed page (vantrel-dump --pdf, rendered at 100 dpi)
# The window runs under its own Xvfb with openbox and is driven with xdotool. Needs a
# build in build/ (./run.sh or ./test.sh makes one) and xvfb, openbox, xdotool,
# imagemagick and poppler-utils.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
for tool in Xvfb openbox xdotool import pdftoppm; do
  command -v "$tool" >/dev/null || { echo "screenshots.sh: $tool is missing" >&2; exit 1; }
done
[ -x build/app/vantrel ] && [ -x build/cli/vantrel-dump ] || { echo "screenshots.sh: build first" >&2; exit 1; }

work=$(mktemp -d /tmp/vtshots.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A folder of samples with Japanese names, and a home of its own (settings, the printer's PDF).
folder="$work/データ"
mkdir -p "$folder" "$work/home/.config/Kovalmeret"
for i in $(seq 10 39); do
  ext=bin; [ $((i % 3)) -eq 0 ] && ext=txt
  head -c $(( (i - 10) * 37311 + 211 )) /dev/urandom > "$folder/sample$i.$ext"
done
printf '[Path]\nPath=%s\n' "$folder" > "$work/home/.config/Kovalmeret/Vantrel.conf"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
sleep 1
DISPLAY=$display openbox >/dev/null 2>&1 & pids+=($!)
sleep 1
HOME="$work/home" TMPDIR="$work" LANG=C.UTF-8 DISPLAY=$display build/app/vantrel >/dev/null 2>&1 & pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do
  win=$(xdotool search --name '^ヴァントレル$' 2>/dev/null | tail -1 || true)
  [ -n "$win" ] && break
  sleep 0.2
done
[ -n "$win" ] || { echo "screenshots.sh: the window did not show" >&2; exit 1; }
xdotool windowactivate --sync "$win"
sleep 0.5
# Rows are 20 pixels high from y 92 of the view, under the menu and the toolbar.
view_y=$(( $(xdotool getwindowgeometry "$win" | awk '/Geometry/ { split($2, s, "x"); print s[2] }') - 360 ))
row() { echo $(( view_y + 92 + 20 * $1 + 10 )); }
click() { xdotool mousemove --window "$win" 150 "$(row "$1")" click "${2:-1}"; sleep 0.2; }

# Print two files to a PDF file: the printer set-up chooses it, Ctrl+P prints.
xdotool key alt+f; sleep 0.3; xdotool key r; sleep 1.5; xdotool key Return; sleep 0.5
click 1
xdotool keydown ctrl; click 2; xdotool keyup ctrl
xdotool key ctrl+p; sleep 1; xdotool key Return; sleep 3
# Two others marked.
click 4
xdotool keydown ctrl; click 5; xdotool keyup ctrl
sleep 0.5
import -window "$win" "$out/screenshot.png"

# A printed page, as the printer gets it.
build/cli/vantrel-dump --pdf "$work/page.pdf" "$folder/sample13.bin" >/dev/null
pdftoppm -png -r 100 -f 1 -l 1 -singlefile "$work/page.pdf" "$out/printed-page"
echo "screenshots.sh: $out/screenshot.png and $out/printed-page.png"
