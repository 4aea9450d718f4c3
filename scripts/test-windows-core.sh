#!/usr/bin/env bash
# Builds the Qt-free core, vantrel-dump and the core tests for 64-bit Windows with
# MinGW-w64 into build-windows/, and runs every core test under Wine, whose ANSI code
# page is 932 here as on a Japanese Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/setup.sh

WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix wine64 locales googletest)
vantrel_install_packages "${WINDOWS_PACKAGES[@]}"

vantrel_japanese_locale

root=$PWD
out=$root/build-windows
jobs=$(nproc 2>/dev/null || echo 2)
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEPREFIX=$out/wine WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"

# One Wine server for the whole run, so each test starts in a fraction of a second.
vantrel_say "Starting Wine in $WINEPREFIX"
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true' EXIT
"$wine" cmd /c exit >/dev/null 2>&1

toolchain=$root/cmake/mingw-w64.cmake
gtest=$out/googletest-install
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  vantrel_say "Building GoogleTest for Windows from /usr/src/googletest"
  cmake -S /usr/src/googletest -B "$out/googletest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$out/googletest" -j "$jobs" >/dev/null
  cmake --install "$out/googletest" >/dev/null
fi

vantrel_build "$out" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTREL_GUI=OFF -DVANTREL_BENCH=OFF -DVANTREL_WERROR=ON -DGTest_DIR="$gtest/lib/cmake/GTest"

vantrel_say "Running the core tests under Wine"
log=$out/ctest.log
status=0
ctest --test-dir "$out" -L core --output-on-failure -j "$jobs" 2>&1 | tee "$log" || status=$?
total=$(sed -n 's/.* tests passed, [0-9]* tests failed out of \([0-9]*\)$/\1/p' "$log")
skipped=$(grep -c '\*\*\*Skipped' "$log" || true)
vantrel_say "${total:-No} core tests run under Wine ($LANG: ANSI code page 932), $skipped of them skipped"
[ "$status" -eq 0 ] && [ -n "$total" ] || exit 1
vantrel_say "All core tests passed on Windows"
