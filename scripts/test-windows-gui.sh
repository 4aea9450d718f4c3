#!/usr/bin/env bash
# Builds the window for 64-bit Windows with Qt for Windows (scripts/qt-windows.sh builds it
# into its cache when the cache is missing) into build-windows-gui/ and tries it under
# Wine with ANSI code page 932:
#  - every shell test, on Qt's offscreen platform;
#  - vantrel.exe on an Xvfb of its own: it lists a folder with Japanese names, two files
#    are marked with the mouse and printed to PDF files with Ctrl+P, and their pages must
#    match vantrel-dump --pdf of the same files, text and geometry;
#  - the NSIS installer (cpack -G NSIS), installed silently, and the installed program
#    starts.
# Its last line says whether Qt was built or taken from the cache.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/setup.sh

start=$SECONDS
GUI_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix wine64 locales googletest nsis
  qt6-translations-l10n fonts-ipafont fonts-dejavu-core xvfb openbox xdotool poppler-utils imagemagick)
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
mkdir -p "$WINEPREFIX"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  "$wineserver" -k 2>/dev/null || true
}
trap cleanup EXIT
vantrel_say "Starting Wine in $WINEPREFIX"
"$wineserver" -p 2>/dev/null || true  # one server for the whole run; it may be up already
"$wine" cmd /c exit >/dev/null 2>&1

# Qt's offscreen platform on Windows reads fonts from one folder only; Wine passes no QT_
# variable from Linux, so they live in the prefix's own environment.
fonts=$out/fonts
mkdir -p "$fonts"
ln -sf /usr/share/fonts/opentype/ipafont-mincho/ipam.ttf /usr/share/fonts/opentype/ipafont-mincho/ipamp.ttf \
  /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf \
  /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$fonts/"
"$wine" reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d offscreen /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Environment' /v QT_QPA_FONTDIR /d "$(unix_to_wine "$fonts")" /f >/dev/null 2>&1

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

vantrel_say "Running the shell tests under Wine"
log=$out/ctest.log
status=0
tests_start=$SECONDS
# One at a time: every test program's settings are the one registry key of the prefix.
ctest --test-dir "$out" -L shell --output-on-failure 2>&1 | tee "$log" || status=$?
total=$(sed -n 's/.* tests passed, [0-9]* tests failed out of \([0-9]*\)$/\1/p' "$log")
skipped=$(grep -c '\*\*\*Skipped' "$log" || true)
shell_note="${total:-no} shell tests run under Wine in $((SECONDS - tests_start)) s, $skipped of them skipped"
vantrel_say "$shell_note"
[ "$status" -eq 0 ] && [ -n "$total" ] || { vantrel_say "Shell tests failed; $qt_note"; exit 1; }

# The real window on a display of its own.
work=$WINEPREFIX/drive_c/vantrel-gui-test
rm -rf "$work"
mkdir -p "$work/データ" "$work/out"
head -c 6000 /dev/urandom >"$work/データ/あいう.bin"
head -c 300 /dev/urandom >"$work/データ/テスト.txt"
head -c 100 /dev/urandom >"$work/データ/残り.dat"
exec 3>"$out/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$out/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$out/display")
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

fail() { echo "FAIL: $*" >&2; exit 1; }
find_window() {
  local id
  for _ in $(seq "${2:-100}"); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}
key=HKCU\\Software\\Kovalmeret\\Vantrel
"$wine" reg delete "$key" /f >/dev/null 2>&1 || true
"$wine" reg add "$key\\Path" /v Path /d 'C:\vantrel-gui-test\データ' /f >/dev/null 2>&1
"$wine" reg add "$key\\Settings" /v Printer /d '' /f >/dev/null 2>&1
"$wine" reg add "$key\\Settings" /v PdfFile /d 'C:\vantrel-gui-test\out\dump.pdf' /f >/dev/null 2>&1

vantrel_say "Starting vantrel.exe under Wine on $DISPLAY"
"$wine" cmd /c "set QT_QPA_PLATFORM=windows&& $(unix_to_wine "$out/app/vantrel.exe")" >"$out/vantrel.log" 2>&1 &
program=$!
win=$(find_window '^ヴァントレル$' 150) || fail "the window did not show"
xdotool windowactivate --sync "$win" 2>/dev/null || true
sleep 1
# Rows are 20 pixels high under the list's yellow header; names in code page 932 order:
# あいう.bin, テスト.txt, 残り.dat. The first is clicked, the second added with Ctrl.
eval "$(xdotool getwindowgeometry --shell "$win")"
column=$((X + WIDTH / 2))
header=$(import -window root png:- | convert png:- -crop "1x768+$column+0" +repage txt:- |
  sed -n 's/^0,\([0-9]*\): .*#FFFF00.*/\1/p' | tail -1)
[ -n "$header" ] || fail "no list header on the screen"
xdotool mousemove "$column" $((header + 11)) click 1
sleep 0.8
xdotool mousemove "$column" $((header + 31)) keydown ctrl click 1 keyup ctrl
sleep 0.8
xdotool key ctrl+p
find_window '^Vantrel$' 50 >/dev/null || fail "Ctrl+P with two files marked asked nothing"
xdotool key Return
for _ in $(seq 150); do
  [ -f "$work/out/dump_あいう.bin.pdf" ] && [ -f "$work/out/dump_テスト.txt.pdf" ] && break
  sleep 0.2
done
ls "$work/out"
[ -f "$work/out/dump_あいう.bin.pdf" ] && [ -f "$work/out/dump_テスト.txt.pdf" ] || fail "the two PDFs were not printed"
[ ! -e "$work/out/dump_残り.dat.pdf" ] || fail "an unmarked file was printed"
xdotool windowactivate --sync "$win" 2>/dev/null || true
xdotool key alt+F4
for _ in $(seq 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program" 2>/dev/null && fail "vantrel.exe did not end"

# The same pages from vantrel-dump, named by the same Windows paths.
pages() { pdftotext -bbox "$1" - | sed -n '/<page /,/<\/page>/p'; }
for name in あいう.bin テスト.txt; do
  "$wine" "$out/cli/vantrel-dump.exe" --pdf "C:\\vantrel-gui-test\\out\\$name.ref.pdf" \
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

vantrel_say "Making the installer (cpack -G NSIS)"
(cd "$out" && cpack -G NSIS >/dev/null)
setup=$out/vantrel-setup.exe
vantrel_say "vantrel-setup.exe: $(stat -c %s "$setup") bytes"
installed='C:\Program Files\Vantrel'
dir=$WINEPREFIX/drive_c/Program\ Files/Vantrel
[ ! -f "$dir/Uninstall.exe" ] || "$wine" "$dir/Uninstall.exe" /S >/dev/null 2>&1 || true
"$wine" "$setup" /S >/dev/null 2>&1 || fail "the installer failed"
for f in bin/vantrel.exe bin/vantrel-dump.exe bin/qt.conf bin/Qt6Core.dll bin/Qt6PrintSupport.dll bin/libstdc++-6.dll \
  plugins/platforms/qwindows.dll translations/qtbase_ja.qm Uninstall.exe; do
  [ -f "$dir/$f" ] || fail "the installation lacks $f"
done
ls "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vantrel/"*.lnk >/dev/null 2>&1 ||
  fail "no Start menu entry"
# Qt's DLLs of the installation only: no WINEPATH.
WINEPATH= "$wine" cmd /c "set QT_QPA_PLATFORM=windows&& cd /d $installed\\bin&& vantrel.exe" >"$out/installed.log" 2>&1 &
program=$!
win=$(find_window '^ヴァントレル$' 150) || fail "the installed vantrel.exe did not show its window"
xdotool windowactivate --sync "$win" 2>/dev/null || true
xdotool key alt+F4
for _ in $(seq 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program" 2>/dev/null && fail "the installed vantrel.exe did not end"
"$wine" "$dir/Uninstall.exe" /S >/dev/null 2>&1 || true
vantrel_say "The installer installed silently under Wine and the installed vantrel.exe started"

vantrel_say "Windows window run done in $((SECONDS - start)) s: $shell_note; $qt_note"
