#!/usr/bin/env bash
# Builds the window for 64-bit Windows with Qt for Windows (scripts/qt-windows.sh builds it
# into its cache when the cache is missing) into build-windows-gui/ and tries it under
# Wine with ANSI code page 932:
#  - every shell test, on Qt's offscreen platform, as many at once as the machine has
#    cores (or VANTREL_WINE_SLOTS), each in a Wine prefix of its own; the Linux programs
#    that read PDFs through the tests' unix-tool;
#  - vantrel.exe on an Xvfb of its own: it lists a folder with Japanese names, two files
#    are marked with the mouse and printed to PDF files with Ctrl+P, and their pages must
#    match vantrel-dump --pdf of the same files, text and geometry;
#  - vantrel.exe on a printer: Wine's printers are the queues of a CUPS scheduler of the
#    run's own, whose jobs land in files. The printer is chosen in プリンタの設定; two
#    marked files, pages 2 to 3 of a 4-page file and 2 copies of a file are printed, and a
#    long job is cancelled from the status window; what reached the queue must read as
#    vantrel-dump --pdf of the same files (scripts/queue-pages.py), the cancelled job not
#    at all, and the list must show ● for exactly the printed files;
#  - a document named on the command line by a name outside the code page opens nothing;
#  - the NSIS installer (cpack -G NSIS), installed silently: its files, its Start menu
#    entry, the installed programs (vantrel-dump --pdf; the printer and folder dialogs
#    in Japanese, shot into build-windows-gui/installed-*-dialog.png), and the
#    uninstaller, which leaves the user's settings.
# It waits for what it needs (a window, a file, a drawn row), and finds the rows from the
# program's own layout of the list (tests/app/window_layout.cpp). It picks a free display
# and a CUPS socket of its own, so that two runs can share a machine. A Wine start that
# fails without a word is made once more, and only once.
# Its last line gives the time, the pages that reached the queue, the shell tests run and
# skipped, whether Qt was built or taken from the cache, and the Wine starts made again.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/setup.sh

start=$SECONDS
# libcups2: Wine lists and feeds the printers of CUPS through it (Debian's Wine only
# recommends it). cups: the run's own scheduler; ghostscript and python3-fonttools read
# what reached its queue. The PDF readers the shell tests ask through unix-tool: poppler,
# mupdf, qpdf, pypdf, pdfminer, poppler's Python binding and PDFBox's Preflight.
GUI_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix wine64 locales googletest nsis
  qt6-translations-l10n fonts-ipafont fonts-dejavu-core fonts-urw-base35 xvfb openbox xdotool x11-utils
  poppler-utils imagemagick libcups2 cups ghostscript python3-fonttools
  mupdf-tools qpdf python3-pypdf python3-pdfminer python3-gi gir1.2-poppler-0.18
  libpdfbox2-java libactivation-java libjaxb-api-java default-jre-headless)
vantrel_install_packages "${GUI_PACKAGES[@]}"
vantrel_japanese_locale

qt=$(realpath -m "${VANTREL_QT_WINDOWS:-/var/cache/vantrel/qt6-windows-6.4.2}")
if [ -f "$qt/.vantrel-complete" ]; then
  qt_note="used the Qt for Windows cache in $qt"
  built=$(sed -n 's/^# built in \([0-9]*\) s$/\1/p' "$qt/.vantrel-complete")
  [ -n "$built" ] && qt_note="$qt_note (its build took $((built / 60)) min)"
else
  qt_note="built Qt for Windows into $qt"
fi
VANTREL_QT_WINDOWS=$qt scripts/qt-windows.sh

root=$PWD
out=$root/build-windows-gui
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
unix_to_wine() { printf 'Z:%s' "${1//\//\\}"; }

export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEPREFIX=$out/wine WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
# Qt's DLLs and the compiler's runtime, for the programs in the build folder.
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
pthread=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")
export WINEPATH="$(unix_to_wine "$qt/bin");$(unix_to_wine "$runtime");$(unix_to_wine "$pthread")"
unset DISPLAY WAYLAND_DISPLAY

# Wine starts made again (by cmake/wine-run.sh, and by start_window below), a line each.
mkdir -p "$out"
retries=$out/wine-retries
: >"$retries"
export VANTREL_WINE_RETRIES=$retries
retried() {
  local n
  n=$(wc -l <"$retries")
  case $n in
  0) echo "no Wine start retried" ;;
  1) echo "1 Wine start retried" ;;
  *) echo "$n Wine starts retried" ;;
  esac
}
# A Windows program in the foreground.
w() { "$root/cmake/wine-run.sh" "$wine" "$@"; }

# The shell tests run side by side, one Wine prefix each (the programs keep their
# settings in the prefix's one registry); the window's steps use the first prefix.
slots=${VANTREL_WINE_SLOTS:-$(nproc 2>/dev/null || echo 2)}
prefixes=("$WINEPREFIX")
for ((n = 1; n < slots; n++)); do prefixes+=("$WINEPREFIX-$n"); done
pids=()
sockets=
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for prefix in "${prefixes[@]}"; do WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true; done
  # The scheduler's log stays with the build for a look after a failure.
  [ -z "$sockets" ] || { cp -r "$sockets/cups/log" "$out/cups-log" 2>/dev/null || true; rm -rf "$sockets"; }
}
trap cleanup EXIT

# Qt's offscreen platform on Windows reads fonts from one folder only; Wine passes no QT_
# variable from Linux, so they live in the prefix's own environment.
fonts=$out/fonts
mkdir -p "$fonts"
ln -sf /usr/share/fonts/opentype/ipafont-mincho/ipam.ttf /usr/share/fonts/opentype/ipafont-mincho/ipamp.ttf \
  /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf \
  /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf "$fonts/"
# One server for each prefix for the whole run (it may be up already).
start_prefix() {
  export WINEPREFIX=$1
  mkdir -p "$WINEPREFIX"
  "$wineserver" -p 2>/dev/null || true
  w cmd /c exit >/dev/null 2>&1 &&
    w reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d offscreen /f >/dev/null 2>&1 &&
    w reg add 'HKCU\Environment' /v QT_QPA_FONTDIR /d "$(unix_to_wine "$fonts")" /f >/dev/null 2>&1
}
vantrel_say "Starting Wine in ${#prefixes[@]} prefixes: ${prefixes[*]}"
starting=()
for prefix in "${prefixes[@]}"; do
  start_prefix "$prefix" &
  starting+=($!)
done
for pid in "${starting[@]}"; do wait "$pid" || { echo "FAIL: a Wine prefix did not start ($(retried))" >&2; exit 1; }; done

toolchain=$qt/lib/cmake/Qt6/qt.toolchain.cmake
gtest=$out/googletest-install
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  vantrel_say "Building GoogleTest for Windows from /usr/src/googletest"
  cmake -S /usr/src/googletest -B "$out/googletest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$out/googletest" >/dev/null
  cmake --install "$out/googletest" >/dev/null
fi

vantrel_build "$out" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DVANTREL_MINGW_SHARED_RUNTIME=ON -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_BENCH=OFF -DVANTREL_WERROR=ON -DGTest_DIR="$gtest/lib/cmake/GTest"

vantrel_say "Running the shell tests under Wine, $slots at once"
log=$out/ctest.log
status=0
tests_start=$SECONDS
# Each test takes one prefix (the wine resource of tests/CMakeLists.txt) while it runs.
slots_file=$out/wine-prefixes.json
slot_list=$(for ((n = 0; n < slots; n++)); do printf '{"id": "%d", "slots": 1}\n' "$n"; done | paste -sd,)
printf '{"version": {"major": 1, "minor": 0}, "local": [{"wine": [%s]}]}\n' "$slot_list" >"$slots_file"
ctest --test-dir "$out" -L shell --output-on-failure -j "$slots" --resource-spec-file "$slots_file" 2>&1 | tee "$log" ||
  status=$?
total=$(sed -n 's/.* tests passed, [0-9]* tests failed out of \([0-9]*\)$/\1/p' "$log")
skipped=$(grep -c '\*\*\*Skipped' "$log" || true)
shell_note="${total:-no} shell tests run under Wine in $((SECONDS - tests_start)) s, $skipped of them skipped"
vantrel_say "$shell_note"
[ "$status" -eq 0 ] && [ -n "$total" ] || { vantrel_say "Shell tests failed; $qt_note; $(retried)"; exit 1; }
# The tests' Wine sessions end first: a desktop process started without a display lingers
# a few seconds after the last test, and a window opened while it lives never reaches X.
for prefix in "${prefixes[@]}"; do
  WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
  WINEPREFIX=$prefix "$wineserver" -w
done

# The real window on a display of its own.
work=$WINEPREFIX/drive_c/vantrel-gui-test
rm -rf "$work"
mkdir -p "$work/データ" "$work/out"
head -c 6000 /dev/urandom >"$work/データ/あいう.bin"
head -c 300 /dev/urandom >"$work/データ/テスト.txt"
head -c 100 /dev/urandom >"$work/データ/残り.dat"

# A failure on the display leaves the screen as it was in build-windows-gui/failure.png.
fail() {
  echo "FAIL: $* ($(retried))" >&2
  [ -z "${DISPLAY:-}" ] || import -window root "$out/failure.png" 2>/dev/null || true
  exit 1
}
# Tries a command every 0.2 s until it succeeds, at most $1 times: the one place that
# sleeps, as X, Wine and the scheduler tell nothing when a window, file or job comes.
wait_until() {
  local tries=$1
  shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.2; done
  return 1
}
# The window titled $1 once it shows, within $2 tries of 0.2 s.
find_window() {
  wait_until "${2:-100}" shown "$1" && xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1
}
# Where X has a window's client area (xdotool's position is off by openbox's frame).
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
    /^  Width:/ {w = $2} /^  Height:/ {h = $2} END {print x, y, w, h}'
}
shown() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
gone() { ! shown "$1"; }
ended() { ! kill -0 "$1" 2>/dev/null; }
shown_or_ended() { shown "$1" || ended "$2"; }
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# Xvfb takes the first display number no other server holds.
exec 3>"$out/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
exec 3>&-
wait_until 50 test -s "$out/display" || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$out/display")
openbox >/dev/null 2>&1 &
pids+=($!)
wait_until 50 wm_up || fail "openbox did not start on $DISPLAY"
"$wineserver" -p  # the window's session, on this display

# Starts a program with a window in the background ($program) and waits for its window
# titled $1 ($win), output in the file $2; false if none shows in 30 s. A start that
# ended before any window showed, without a word, is Wine's failure: it is made once more,
# and counted.
start_window() {
  local title=$1 log=$2 try
  shift 2
  for try in 1 2; do
    "$@" >"$log" 2>&1 &
    program=$!
    wait_until 150 shown_or_ended "$title" "$program" || return 1
    win=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | tail -1) && [ -n "$win" ] && return 0
    [ "$try" -eq 1 ] && [ ! -s "$log" ] || fail "$* ended before its window $title showed: $(cat "$log")"
    echo "$*" >>"$retries"
    vantrel_say "Wine ended before the window $title showed: starting it once more"
  done
}
vantrel_exe=$(unix_to_wine "$out/app/vantrel.exe")
# vantrel.exe with its window up and its list drawn (so that it takes clicks), laid out
# as vantrel-layout said.
start_vantrel() {
  local log=$1
  shift
  start_window '^ヴァントレル$' "$log" "$wine" cmd /c "set QT_QPA_PLATFORM=windows&& $vantrel_exe${*:+ $*}" ||
    fail "vantrel.exe $* showed no window"
  list_up
}
list_up() {
  xdotool windowactivate --sync "$win" 2>/dev/null || true
  read -r wx wy ww wh < <(geometry "$win")
  [ "$ww $wh" = "$layout_w $layout_h" ] || fail "the window's client is ${ww}x$wh, vantrel-layout's ${layout_w}x$layout_h"
  wait_until 100 row_drawn 1 || fail "the window drew no list"
}
close_vantrel() {
  xdotool windowactivate --sync "$win" 2>/dev/null || true
  xdotool key alt+F4
  wait_until 50 ended "$program" || fail "vantrel.exe did not end"
}

key=HKCU\\Software\\Kovalmeret\\Vantrel
w reg delete "$key" /f >/dev/null 2>&1 || true
w reg add "$key\\Path" /v Path /d 'C:\vantrel-gui-test\データ' /f >/dev/null 2>&1
w reg add "$key\\Settings" /v Printer /d '' /f >/dev/null 2>&1
w reg add "$key\\Settings" /v PdfFile /d 'C:\vantrel-gui-test\out\dump.pdf' /f >/dev/null 2>&1

# The list's rows in the frame's client pixels, from the program's own layout: its frame
# and view as vantrel.exe lays them out on this display, with these settings.
read -r layout_w layout_h rows_top row_height name_left name_right printed_left printed_right < <(
  w cmd /c "set QT_QPA_PLATFORM=windows&& $(unix_to_wine "$out/tests/app/vantrel-layout.exe")" 2>"$out/layout.log" |
    tr -d '\r') || true
[ -n "$printed_right" ] || fail "vantrel-layout said nothing: $(cat "$out/layout.log")"
wait_until 50 gone '^ヴァントレル$' || fail "vantrel-layout's window stayed"
vantrel_say "The list's rows from y $rows_top of a ${layout_w}x$layout_h client, $row_height pixels high"
shot=$out/screen.png
# Row $1 (from 1) on the screen: its top, the middle of its name, and the number of
# colours inside its cell from x $2 to $3 (inside the grid lines).
row_top() { echo $((wy + rows_top + row_height * ($1 - 1))); }
name_x() { echo $((wx + (name_left + name_right) / 2)); }
cell_colours() {
  convert "$shot" -crop "$(($3 - $2 - 6))x$((row_height - 6))+$((wx + $2 + 3))+$(($(row_top "$1") + 3))" \
    +repage -format %k info:
}
# A row is drawn once its name is.
row_drawn() {
  import -window root "$shot"
  [ "$(cell_colours "$1" "$name_left" "$name_right")" -gt 1 ]
}
click_row() { xdotool mousemove "$(name_x)" $(($(row_top "$1") + row_height / 2)) click 1; }
ctrl_click_row() { xdotool mousemove "$(name_x)" $(($(row_top "$1") + row_height / 2)) keydown ctrl click 1 keyup ctrl; }

vantrel_say "Starting vantrel.exe under Wine on $DISPLAY"
start_vantrel "$out/vantrel.log"
# Names in code page 932 order: あいう.bin, テスト.txt, 残り.dat. The first is clicked,
# the second added with Ctrl.
click_row 1
ctrl_click_row 2
xdotool key ctrl+p
find_window '^Vantrel$' 50 >/dev/null || fail "Ctrl+P with two files marked asked nothing"
xdotool key Return
# Each PDF takes its name once it is complete.
both_pdfs() { [ -f "$work/out/dump_あいう.bin.pdf" ] && [ -f "$work/out/dump_テスト.txt.pdf" ]; }
wait_until 150 both_pdfs || fail "the two PDFs were not printed: $(ls "$work/out")"
[ ! -e "$work/out/dump_残り.dat.pdf" ] || fail "an unmarked file was printed"
close_vantrel

# The same pages from vantrel-dump, named by the same Windows paths.
pages() { pdftotext -bbox "$1" - | sed -n '/<page /,/<\/page>/p'; }
for name in あいう.bin テスト.txt; do
  w "$out/cli/vantrel-dump.exe" --pdf "C:\\vantrel-gui-test\\out\\$name.ref.pdf" \
    "C:\\vantrel-gui-test\\データ\\$name" >/dev/null 2>&1 || fail "vantrel-dump --pdf $name failed"
  window_pdf=$work/out/dump_$name.pdf
  ref_pdf=$work/out/$name.ref.pdf
  [ "$(pdfinfo "$window_pdf" | grep '^Pages:')" = "$(pdfinfo "$ref_pdf" | grep '^Pages:')" ] ||
    fail "$name: the window printed another page count than vantrel-dump"
  diff <(pages "$window_pdf") <(pages "$ref_pdf") >/dev/null || fail "$name: pages differ from vantrel-dump --pdf"
  headers=$(pages "$window_pdf" | grep -c "C:\\\\vantrel-gui-test\\\\データ\\\\$name" || true)
  [ "$headers" -eq "$(pdfinfo "$window_pdf" | sed -n 's/^Pages: *//p')" ] || fail "$name: a page header lacks the path"
  # The record's name, path, length and digest, the same as the tool's (read in the ANSI code page).
  record() { pdfinfo "$1" | grep -E '^(Title|Subject):'; }
  [ "$(record "$window_pdf")" = "$(record "$ref_pdf")" ] && record "$window_pdf" | grep -q "^Title: *$name\$" ||
    fail "$name: the PDF's title or subject differs from vantrel-dump's"
done
vantrel_say "The window under Wine listed, marked and printed two PDFs whose pages match vantrel-dump --pdf"

# ---- A printer. Wine lists the queues of CUPS (through libcups, which honours
# CUPS_SERVER) as its printers and hands them PostScript from its own driver. The run's
# own scheduler: its own socket, folders and two queues of a PostScript printer whose
# backend writes every job into a file, one folder a queue; "other-queue" is the default,
# "vantrel-queue" the printer chosen in プリンタの設定.
# Its socket and folders in a new folder of its own: no other run's, a socket's name short
# enough, and every folder reachable by the scheduler's user wherever the checkout is (a
# checkout under /root is not).
sockets=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-cups-XXXXXX")
chmod 755 "$sockets"
socket=$sockets/cups.sock
cups=$sockets/cups
rm -rf "$out/cups-log"
vantrel_say "Starting a CUPS scheduler of the run's own in $cups, on $socket"
rm -rf "$cups"
mkdir -p "$cups"/{etc,spool,cache,state,tmp,log,bin/backend,out}
# The system's filters and helpers, and the capture backend as the only backend.
for sub in filter daemon cgi-bin monitor notifier driver; do ln -s "/usr/lib/cups/$sub" "$cups/bin/$sub"; done
cat >"$cups/bin/backend/vantrel-capture" <<EOF
#!/bin/sh
[ \$# -eq 0 ] && { echo 'file vantrel-capture "Unknown" "Vantrel test capture"'; exit 0; }
mkdir -p '$cups/out'/"\$PRINTER" || exit 1
out='$cups/out'/"\$PRINTER/\$1"
if [ \$# -ge 6 ]; then cat "\$6" >"\$out.part"; else cat >"\$out.part"; fi || exit 1
mv "\$out.part" "\$out.ps"
EOF
# Only its owner runs it (as root, the scheduler then runs it as root too); the filters
# run as the scheduler's own user and must reach the folder and its tmp.
chmod 700 "$cups/bin/backend/vantrel-capture"
chmod 755 "$cups"
chmod 1777 "$cups/tmp"
printf 'Listen %s\nLogLevel warn\nWebInterface No\nBrowsing No\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n' \
  "$socket" >"$cups/etc/cupsd.conf"
printf '%s\n' "ServerRoot $cups/etc" "RequestRoot $cups/spool" "CacheDir $cups/cache" "StateDir $cups/state" \
  "TempDir $cups/tmp" "AccessLog $cups/log/access_log" "ErrorLog $cups/log/error_log" "PageLog $cups/log/page_log" \
  "ServerBin $cups/bin" "DataDir /usr/share/cups" >"$cups/etc/cups-files.conf"
# A PostScript printer for A4 that makes copies by printing each page again (the
# scheduler's filter writes them into the job), so that the copies are in the file.
cat >"$cups/vantrel.ppd" <<'EOF'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "VANTREL.PPD"
*Manufacturer: "Vantrel"
*Product: "(Vantrel test printer)"
*ModelName: "Vantrel test printer"
*ShortNickName: "Vantrel test printer"
*NickName: "Vantrel test printer"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*TTRasterizer: Type42
*cupsManualCopies: True
*HWMargins: 0 0 0 0
*OpenUI *PageSize/Page Size: PickOne
*OrderDependency: 100 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion/Page Region: PickOne
*OrderDependency: 100 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "0 0 595 842"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
EOF
/usr/sbin/cupsd -f -c "$cups/etc/cupsd.conf" -s "$cups/etc/cups-files.conf" >"$cups/log/cupsd.out" 2>&1 &
pids+=($!)
wait_until 50 test -S "$socket" || fail "cupsd made no socket: $(cat "$cups/log/cupsd.out" "$cups/log/error_log" 2>/dev/null)"
export CUPS_SERVER=$socket
for queue in vantrel-queue other-queue; do
  lpadmin -p "$queue" -E -v vantrel-capture:/ -P "$cups/vantrel.ppd" 2>/dev/null || fail "lpadmin cannot add $queue"
done
lpadmin -d other-queue
# Wine's default printer is its own setting: the other queue, so that choosing matters.
w reg add 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' /v Device \
  /d 'other-queue,winspool,CUPS:other-queue' /f >/dev/null 2>&1
jobs_in() { ls "$cups/out/$1" 2>/dev/null | grep -cxE '[0-9]+\.ps' || true; }
has_jobs() { [ "$(jobs_in "$1")" -ge "$2" ]; }

# Five files: row 4 has 4 pages, row 5 about 1,200. No printer in the settings: the
# system's default one.
head -c 9000 /dev/urandom >"$work/データ/四頁.bin"
head -c 3000000 /dev/urandom >"$work/データ/長い.bin"
w reg delete "$key\\Settings" /f >/dev/null 2>&1 || true
# Wine's spool folder, empty of what earlier runs left there.
spool=$WINEPREFIX/drive_c/windows/system32/spool/printers
rm -f "$spool"/*

vantrel_say "Starting vantrel.exe under Wine with CUPS_SERVER=$CUPS_SERVER"
start_vantrel "$out/vantrel-printer.log"
# "1" for each row whose 印刷済 cell holds a mark, else "0": any second colour there.
marks() {
  import -window root "$shot"
  local row
  for row in "$@"; do
    [ "$(cell_colours "$row" "$printed_left" "$printed_right")" -gt 1 ] && printf 1 || printf 0
  done
}
marks_are() { local want=$1; shift; [ "$(marks "$@")" = "$want" ]; }
# The range dialog's "範囲で印刷", at its place in the dialog's 211 x 109 units.
print_range() {
  local dialog x y w h
  dialog=$(find_window '^印刷範囲の選択$' 50) || fail "Ctrl+P with one file marked asked for no range"
  read -r x y w h < <(geometry "$dialog")
  xdotool mousemove $((x + 22 * w / 211)) $((y + 46 * h / 109)) click 1
  xdotool type --delay 50 "$1"
  xdotool key Tab ctrl+a
  xdotool type --delay 50 "$2"
  xdotool key Return
}
all_pages() { find_window '^印刷範囲の選択$' 50 >/dev/null || fail "Ctrl+P with one file marked asked for no range"; xdotool key Return; }
# The printer dialog of プリンタの設定: Wine's own print dialog, its printer list first.
printer_setup() {
  xdotool key alt+f r
  find_window '^印刷$' 50 >/dev/null || fail "プリンタの設定 showed no printer dialog"
}

vantrel_say "Choosing vantrel-queue in プリンタの設定"
printer_setup
xdotool key v Return
wait_until 50 gone '^印刷$' || fail "the printer dialog did not close"

vantrel_say "Printing two marked files with Ctrl+P"
click_row 1
ctrl_click_row 2
xdotool key ctrl+p
find_window '^Vantrel$' 50 >/dev/null || fail "Ctrl+P with two files marked asked nothing"
xdotool key Return
wait_until 300 has_jobs vantrel-queue 2 || fail "two jobs did not reach vantrel-queue: $(ls -R "$cups/out")"
wait_until 50 marks_are 110 1 2 3 || fail "the marks after two jobs are $(marks 1 2 3), not 110"

vantrel_say "Printing pages 2 to 3 of a 4-page file"
click_row 4
xdotool key ctrl+p
print_range 2 3
wait_until 300 has_jobs vantrel-queue 3 || fail "the range's job did not reach vantrel-queue"
wait_until 50 marks_are 1101 1 2 3 4 || fail "the marks after the range are $(marks 1 2 3 4), not 1101"

vantrel_say "Cancelling a long job from the status window"
click_row 5
xdotool key ctrl+p
all_pages
status=$(find_window '^Vantrel$' 100) || fail "the long job showed no status window"
# Once Wine's spooler holds pages of the job, the status window's ｷｬﾝｾﾙ (units 46-86 x
# 74-88 of 133 x 95, inside a 3-pixel frame).
spooled() { [ -n "$(find "$spool" -type f -size +100k 2>/dev/null)" ]; }
wait_until 150 spooled || fail "the long job sent nothing to Wine's spooler"
read -r sx sy sw sh < <(geometry "$status")
xdotool mousemove $((sx + 3 + 66 * (sw - 6) / 133)) $((sy + 3 + 81 * (sh - 6) / 95)) click 1
wait_until 100 gone '^Vantrel$' || fail "the status window stayed after ｷｬﾝｾﾙ"
# (Wine keeps the file of a job whose document never ended in its spool folder; the
# queue's job numbers below show that it never reached the printer. A message would hold
# the next steps up.)

vantrel_say "Printing 2 copies"
printer_setup
xdotool key alt+c
xdotool type 2
xdotool key Return
wait_until 50 gone '^印刷$' || fail "the printer dialog did not close"
click_row 2
xdotool key ctrl+p
all_pages
wait_until 300 has_jobs vantrel-queue 4 || fail "the copies' job did not reach vantrel-queue"
wait_until 50 marks_are 11010 1 2 3 4 5 || fail "the marks at the end are $(marks 1 2 3 4 5), not 11010"
close_vantrel
# The scheduler numbers its jobs: the four printed are 1 to 4, so the cancelled job never
# reached it, not even aborted; and the default queue got nothing. Checked again at the end.
only_the_printed_jobs() {
  [ "$(ls "$cups/out/vantrel-queue" | grep -xE '[0-9]+\.ps' | sort -V | tr '\n' ' ')" = "1.ps 2.ps 3.ps 4.ps " ] ||
    fail "vantrel-queue holds other jobs than 1 to 4: $(ls "$cups/out/vantrel-queue")"
  [ "$(jobs_in other-queue)" -eq 0 ] || fail "the default queue got a job although vantrel-queue was chosen"
}
only_the_printed_jobs

# What reached the queue beside vantrel-dump --pdf of the same files (the same Windows paths).
queue_pages=0
check_job() {
  local job=$1 name=$2 copies=$3
  shift 3
  w "$out/cli/vantrel-dump.exe" --pdf "C:\\vantrel-gui-test\\out\\$job.ref.pdf" "$@" \
    "C:\\vantrel-gui-test\\データ\\$name" >/dev/null 2>&1 || fail "vantrel-dump --pdf $* $name failed"
  local found
  found=$(/usr/bin/python3 "$root/scripts/queue-pages.py" "$cups/out/vantrel-queue/$job.ps" "$work/out/$job.ref.pdf" \
    "C:\\vantrel-gui-test\\データ\\$name" "$copies") || fail "job $job ($name)"
  vantrel_say "Job $job, $name $*: $found"
  queue_pages=$((queue_pages + $(pdfinfo "$cups/out/vantrel-queue/$job.ps.pdf" | sed -n 's/^Pages: *//p')))
}
check_job 1 あいう.bin 1
check_job 2 テスト.txt 1
check_job 3 四頁.bin 1 --pages 2-3
check_job 4 テスト.txt 2
queue_note="$queue_pages pages of 4 jobs reached Wine's CUPS printer (the cancelled job none)"
vantrel_say "$queue_note"

# ---- A document named on the command line comes from the wide command line: a name the
# code page cannot hold opens nothing, where the C runtime's best fit would make
# "x¥.bin" the name of another file, "x\.bin". A Japanese name opens and is remembered.
vantrel_say "Naming documents on vantrel.exe's command line"
printf 'yen' >"$work/x¥.bin"
mkdir -p "$work/x"
printf 'another file' >"$work/x/.bin"
recent() { w reg query "$key\\Recent File List" /v File1 2>/dev/null | iconv -f CP932 -t UTF-8 | tr -d '\r' |
  sed -n 's/^ *File1 *REG_SZ *//p'; }
w reg delete "$key\\Recent File List" /f >/dev/null 2>&1 || true
start_window '^Vantrel$' "$out/vantrel-yen.log" \
  "$wine" cmd /c "set QT_QPA_PLATFORM=windows&& $vantrel_exe C:\\vantrel-gui-test\\x¥.bin" ||
  fail "a name outside the code page opened a document, or vantrel.exe said nothing"
xdotool key Return
wait_until 50 ended "$program" || fail "vantrel.exe did not end after its document failed to open"
[ -z "$(recent)" ] || fail "a name outside the code page was remembered as $(recent)"
start_vantrel "$out/vantrel-name.log" 'C:\vantrel-gui-test\データ\残り.dat'
close_vantrel
[ "$(recent)" = 'C:\vantrel-gui-test\データ\残り.dat' ] || fail "the document opened was remembered as $(recent)"

# ---- The installer, both ways.
vantrel_say "Making the installer (cpack -G NSIS)"
(cd "$out" && cpack -G NSIS >/dev/null)
setup=$out/vantrel-setup.exe
vantrel_say "vantrel-setup.exe: $(stat -c %s "$setup") bytes"
installed='C:\Program Files\Vantrel'
dir=$WINEPREFIX/drive_c/Program\ Files/Vantrel
menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Vantrel
# NSIS's uninstaller runs from a copy of itself and returns at once: wait for its work.
uninstall() {
  [ -f "$dir/Uninstall.exe" ] || return 0
  w "$dir/Uninstall.exe" /S >/dev/null 2>&1 || true
  wait_until 150 test ! -e "$dir/Uninstall.exe"
}
uninstall || fail "an earlier installation would not go"
w "$setup" /S >/dev/null 2>&1 || fail "the installer failed"
for f in bin/vantrel.exe bin/vantrel-dump.exe bin/qt.conf bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll \
  bin/Qt6PrintSupport.dll bin/libstdc++-6.dll bin/libgcc_s_seh-1.dll bin/libwinpthread-1.dll \
  plugins/platforms/qwindows.dll plugins/styles/qwindowsvistastyle.dll translations/qtbase_ja.qm Uninstall.exe; do
  [ -f "$dir/$f" ] || fail "the installation lacks $f"
done
[ -f "$menu/Vantrel.lnk" ] && [ -f "$menu/Uninstall.lnk" ] || fail "no Start menu entries: $(ls "$menu" 2>&1)"
strings "$menu/Vantrel.lnk" | grep -qxF "$installed\bin\vantrel.exe" || fail "the Start menu entry does not start vantrel.exe"
# The installed programs with the installation's own Qt, its plugins and its translation:
# no WINEPATH, and no QT_ variable of the prefix.
WINEPATH= w cmd /c "set QT_QPA_PLATFORM=&& set QT_QPA_FONTDIR=&& cd /d $installed\\bin&& vantrel-dump.exe --pdf C:\\vantrel-gui-test\\out\\installed.pdf C:\\vantrel-gui-test\\データ\\テスト.txt" \
  >"$out/installed-dump.log" 2>&1 || fail "the installed vantrel-dump --pdf failed: $(cat "$out/installed-dump.log")"
pdftotext "$work/out/installed.pdf" - | grep -q 'C:\\vantrel-gui-test\\データ\\テスト.txt' ||
  fail "the installed vantrel-dump's PDF does not read as the file's pages"
WINEPATH= start_window '^ヴァントレル$' "$out/installed.log" \
  "$wine" cmd /c "set QT_QPA_PLATFORM=&& set QT_QPA_FONTDIR=&& cd /d $installed\\bin&& vantrel.exe" ||
  fail "the installed vantrel.exe showed no window"
list_up
# Japanese dialogs: プリンタの設定 shows Wine's own print dialog under a Japanese locale,
# 印刷フォルダ選択 Qt's folder dialog with Qt's Japanese texts from the installation. Each
# is shot once it has drawn itself: its area differs from the screen before it opened,
# and is the same in two shots 0.2 s apart.
signature() { convert "$1" -crop "$2" +repage -format %# info:; }
drawn_still() {
  local now
  import -window root "$shot_file"
  now=$(signature "$shot_file" "$shot_area")
  [ "$now" != "$(signature "$shot" "$shot_area")" ] && [ "$now" = "$shot_last" ] && return 0
  shot_last=$now
  return 1
}
shoot_drawn() {
  local x y w h
  read -r x y w h < <(geometry "$1")
  shot_file=$2 shot_area=${w}x$h+$x+$y shot_last=
  wait_until 50 drawn_still
}
import -window root "$shot"
printer_setup
shoot_drawn "$(find_window '^印刷$')" "$out/installed-print-dialog.png" || fail "the printer dialog drew nothing"
xdotool key Escape
wait_until 50 gone '^印刷$' || fail "the printer dialog did not close"
import -window root "$shot"
xdotool key alt+s f
folder=$(find_window '^印刷対象フォルダを選択してください$' 50) || fail "印刷フォルダ選択 showed no folder dialog"
shoot_drawn "$folder" "$out/installed-folder-dialog.png" || fail "the folder dialog drew nothing"
xdotool key Escape
wait_until 50 gone '^印刷対象フォルダを選択してください$' || fail "the folder dialog did not close"
close_vantrel
uninstall || fail "the uninstaller left $installed\\Uninstall.exe"
[ -z "$(find "$dir" -type f 2>/dev/null)" ] || fail "the uninstaller left $(find "$dir" -type f | head -3)"
[ ! -e "$menu" ] || [ -z "$(ls "$menu")" ] || fail "the uninstaller left the Start menu entry"
w reg query "$key\\Path" /v Path >/dev/null 2>&1 && w reg query "$key\\Settings" /v Printer >/dev/null 2>&1 ||
  fail "the uninstaller removed the user's settings"
vantrel_say "The installer installed, the installed programs ran, and the uninstaller removed them and kept the settings"

only_the_printed_jobs
vantrel_say "Windows window run done in $((SECONDS - start)) s: $queue_note; $shell_note; $qt_note; $(retried)"
