#!/usr/bin/env bash
# desktop_test.sh VANTREL: the real program on its own X server under openbox, driven
# with real keys and mouse clicks (xdotool) as a user drives it, with no print
# scheduler running:
#  - the frame tells the window manager it has no maximise button;
#  - with no printer, Ctrl+P asks for the range, then shows the printer dialog;
#    cancelling it prints nothing and says nothing;
#  - with the PDF file chosen (as the settings keep it), ten prints in a row, each
#    followed by Ctrl+P sent to whatever window has the focus: the range dialog opens
#    every time, so the frame is active with its shortcuts after every job.
set -euo pipefail
program=$1
base=${VANTREL_TEST_TMP:-${TMPDIR:-/tmp}}
mkdir -p "$base"
work=$(mktemp -d "$base/desktop-XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$work/data" "$work/home/.config/Kovalmeret"
head -c 6000 /dev/urandom >"$work/data/a.bin"
conf=$work/home/.config/Kovalmeret/Vantrel.conf
printf '[Path]\nPath=%s\n' "$work/data" >"$conf"

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$work/display")
openbox >/dev/null 2>&1 & pids+=($!)
sleep 1

# Waits up to 5 s for a window whose name matches; prints its id.
find_window() {
  local id
  for _ in $(seq 50); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
start() {
  HOME=$work/home XDG_CONFIG_HOME=$work/home/.config TMPDIR=$work CUPS_SERVER=$work/no-cupsd.sock \
    LANG=C.UTF-8 LC_ALL=C.UTF-8 "$program" >"$work/vantrel.log" 2>&1 & pids+=($!)
  win=$(find_window '^ヴァントレル$') || fail "the window did not show"
  xdotool windowactivate --sync "$win"
  sleep 0.5
  # The first row of the list: 20 pixels high from y 92 of the view, under the bars.
  local height
  height=$(xdotool getwindowgeometry "$win" | awk '/Geometry/ { split($2, s, "x"); print s[2] }')
  xdotool mousemove --window "$win" 150 $((height - 360 + 102)) click 1
  sleep 0.3
}
stop() {
  kill "${pids[-1]}" 2>/dev/null || true
  wait "${pids[-1]}" 2>/dev/null || true
  unset 'pids[-1]'
}
# Ctrl+P to the focused window and the range dialog's OK: true when the dialog opened.
print_range() {
  xdotool key ctrl+p
  find_window '^印刷範囲の選択$' >/dev/null || return 1
  xdotool key Return
}

start
# The frame's Motif hints have neither the maximise decoration (0x40) nor the function
# (0x10), and the window manager allows no maximising.
read -r _ functions decorations _ < <(xprop -id "$win" _MOTIF_WM_HINTS | sed 's/.*= //; s/,/ /g')
(( (functions & 0x10) == 0 && (decorations & 0x40) == 0 )) || fail "Motif hints offer a maximise: $functions $decorations"
xprop -id "$win" _NET_WM_ALLOWED_ACTIONS | grep -q MAXIMIZE && fail "the window manager may maximise the frame"
xprop -id "$win" _NET_WM_ALLOWED_ACTIONS | grep -q MINIMIZE || fail "the frame cannot be minimised"

# No printer at all: the printer dialog; cancelling it ends the command without a word.
print_range || fail "Ctrl+P did not open the range dialog"
dialog=$(find_window '^印刷$') || fail "no printer dialog without a printer"
xdotool key Escape
sleep 1
if find_window '^Vantrel$' >/dev/null; then fail "a message after the printer dialog was cancelled"; fi
[ -z "$(find "$work" -name '*.pdf')" ] || fail "a PDF after the printer dialog was cancelled"
stop

# The PDF file chosen, as the settings keep it: ten jobs in a row.
printf '[Path]\nPath=%s\n[Settings]\nPdfFile=%s\n' "$work/data" "$work/out.pdf" >"$conf"
start
for run in $(seq 10); do
  rm -f "$work/out.pdf"
  print_range || fail "run $run: Ctrl+P after the last job did nothing"
  for _ in $(seq 100); do [ -s "$work/out.pdf" ] && break; sleep 0.1; done
  [ -s "$work/out.pdf" ] || fail "run $run: no PDF"
  # The status window has gone once the file is in place; give the frame its turn.
  for _ in $(seq 50); do xdotool search --onlyvisible --name '^印刷中$' >/dev/null 2>&1 || break; sleep 0.1; done
  sleep 0.3
done
stop
echo "desktop ok: 10 of 10 prints kept Ctrl+P"
