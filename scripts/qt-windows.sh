#!/usr/bin/env bash
# Cross-builds Qt for 64-bit Windows (Core, Gui, Widgets, PrintSupport and Test, with the
# windows and offscreen platform plugins and the Windows styles) from Debian's own qt6-base
# source, with MinGW-w64 and the host's Qt tools, into a cache outside the checkout:
#   VANTREL_QT_WINDOWS   (default /var/cache/vantrel/qt6-windows-6.4.2)
# A finished cache holds .vantrel-complete, written last, and is reused as it is; anything
# else found there is a build that stopped half way and is built again. Projects use it with
#   -DCMAKE_TOOLCHAIN_FILE=$VANTREL_QT_WINDOWS/lib/cmake/Qt6/qt.toolchain.cmake
# which loads the MinGW-w64 toolchain file kept in the cache. Needs root (it adds deb-src
# entries and installs packages); about 75 minutes on 2 cores shared with other work.
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/.."
. scripts/setup.sh

qt_version=6.4.2
prefix=$(realpath -m "${VANTREL_QT_WINDOWS:-/var/cache/vantrel/qt6-windows-$qt_version}")
stamp=$prefix/.vantrel-complete
building=$prefix/.vantrel-building
toolchain=$prefix/mingw-w64-posix.cmake
# The source and the build folder stand beside the cache, and go once it is complete.
work=$(dirname "$prefix")/build/qt6-windows-$qt_version
host_cmake=/usr/lib/x86_64-linux-gnu/cmake

options=(
  -GNinja
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_INSTALL_PREFIX="$prefix"
  -DCMAKE_TOOLCHAIN_FILE="$toolchain"
  -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR="$host_cmake"
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  # Qt's own copies, so the DLLs need nothing beyond the MinGW runtime.
  -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_zlib=OFF
  -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_png=OFF
  -DFEATURE_system_jpeg=OFF
  -DFEATURE_network=OFF
  -DFEATURE_sql=OFF
  -DFEATURE_dbus=OFF
  -DFEATURE_concurrent=OFF
  # Debian's source leaves out src/3rdparty/wintab.
  -DFEATURE_tabletevent=OFF
  # Without OpenGL, 6.4.2's qwindowswindow.cpp does not compile; Windows loads it at run time.
  -DFEATURE_opengl=ON
)
expected_options() { printf '%s\n' "${options[@]}"; }

if [ -f "$stamp" ]; then
  if [ "$(grep -v '^#' "$stamp")" = "$(expected_options)" ]; then
    vantrel_say "Qt $qt_version for Windows is already in $prefix; using it as it is."
    exit 0
  fi
  vantrel_say "Qt for Windows in $prefix was built with other options; building it again."
fi

if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Building Qt for Windows needs root (or sudo)." >&2; exit 1; }
  vantrel_say "Building Qt for Windows needs root; running again with sudo."
  exec sudo env VANTREL_QT_WINDOWS="$prefix" "$self" "$@"
fi

# Only a folder this script made is emptied: a stamp or the mark of a build under way says so.
if [ -e "$prefix" ] && [ -n "$(ls -A "$prefix")" ] && [ ! -e "$stamp" ] && [ ! -e "$building" ]; then
  echo "$prefix is not empty and holds no Qt built here; leaving it alone." >&2
  exit 1
fi

# vantrel_install_packages waits for another install's lock itself; the calls of apt-get
# here wait too, up to ten minutes, instead of failing at once.
apt_lock=(-o DPkg::Lock::Timeout=600)

vantrel_install_packages g++-mingw-w64-x86-64-posix cmake ninja-build qt6-base-dev \
  dpkg-dev xz-utils perl python3

# The cross build must match the host's moc, rcc and uic, so the source is the host Qt's own.
src_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
case $src_version in
  "$qt_version"+*) ;;
  *) echo "The host's Qt (qt6-base $src_version) is not Qt $qt_version." >&2; exit 1 ;;
esac

# The source comes from the machine's own archive: a deb-src twin of each of its deb entries,
# with the same mirror, suites, components and keyring (a local mirror works as well).
twins=/etc/apt/sources.list.d/vantrel-deb-src
deb_src_lines() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    if [ ! -f "$f" ] || [ "$f" = "$twins.list" ]; then continue; fi
    sed -e 's/#.*//' -e 's/[[:space:]]\+/ /g' -e 's/^ //' -e 's/ $//' "$f"
  done | awk '$1 == "deb" { $1 = "deb-src"; twin[$0] = 1; next } $1 == "deb-src" { have[$0] = 1 }
              END { for (l in twin) if (!(l in have)) print l }' | sort
}
deb_src_stanzas() {
  local files=() f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "$f" != "$twins.sources" ] && files+=("$f")
  done
  [ ${#files[@]} -gt 0 ] || return 0
  # Stanzas end at an empty line or a file's end; field names are case-insensitive.
  awk 'function flush() {
         if (types ~ / deb / && types !~ / deb-src / && enabled != "no")
           printf "%sTypes: deb-src\n%s", (n++ ? "\n" : ""), body
         types = ""; enabled = ""; body = ""
       }
       FNR == 1 { flush() }
       /^#/ { next }
       /^[ \t]*$/ { flush(); next }
       tolower($1) == "types:" { $1 = ""; types = $0 " "; next }
       tolower($1) == "enabled:" { enabled = tolower($2) }
       { body = body $0 "\n" }
       END { flush() }' "${files[@]}"
}
update_twin() {
  local file=$1 text=$2
  if [ -z "$text" ]; then
    [ ! -e "$file" ] || { rm -f "$file"; changed=1; }
  elif [ ! -f "$file" ] || [ "$(cat "$file")" != "$text" ]; then
    printf '%s\n' "$text" >"$file"
    changed=1
  fi
}
header='# Source packages of the deb entries beside this file, for scripts/qt-windows.sh.'
lines=$(deb_src_lines)
stanzas=$(deb_src_stanzas)
[ -n "$lines$stanzas" ] || { echo "No deb entry in the machine's apt sources to take deb-src from." >&2; exit 1; }
changed=0
update_twin "$twins.list" "${lines:+$header
$lines}"
update_twin "$twins.sources" "${stanzas:+$header
$stanzas}"
if [ "$changed" -eq 1 ]; then
  vantrel_say "Source packages of the machine's own apt sources in $twins.*"
  apt-get "${apt_lock[@]}" update -q
elif ! apt-cache showsrc --only-source qt6-base 2>/dev/null | grep -qx "Version: $src_version"; then
  apt-get "${apt_lock[@]}" update -q
fi

downloads=$work/downloads
source_dir=$work/qtbase
build_dir=$work/build
mkdir -p "$downloads"

# apt-get checks each file against the signed index; files already here are kept.
vantrel_say "Fetching the source of qt6-base $src_version"
(cd "$downloads" && apt-get "${apt_lock[@]}" source -q --download-only "qt6-base=$src_version")
dsc=$downloads/qt6-base_${src_version#*:}.dsc
[ -f "$dsc" ] || { echo "apt-get source left no $dsc" >&2; exit 1; }

# An unpacked source and a build folder of an earlier try are kept when they match, so a
# rerun goes on where it stopped rather than compiling everything again.
if [ "$(cat "$source_dir/.vantrel-source" 2>/dev/null)" != "$src_version" ]; then
  # Without debian-keyring dpkg-source cannot check the uploader's signature and says so;
  # apt-get has already checked every file against Debian's signed index.
  vantrel_say "Unpacking $(basename "$dsc")"
  rm -rf "$source_dir" "$build_dir"
  dpkg-source -x "$dsc" "$source_dir"
  echo "$src_version" >"$source_dir/.vantrel-source"
fi
if [ "$(cat "$build_dir/.vantrel-options" 2>/dev/null)" != "$(expected_options)" ]; then
  rm -rf "$build_dir"
fi
mkdir -p "$build_dir"

rm -rf "$prefix"
mkdir -p "$prefix"
touch "$building"

# The project's cmake/mingw-w64.cmake links programs statically and runs them under Wine, for
# the core's tests; Qt's DLLs want neither, and the installed qt.toolchain.cmake loads the
# toolchain file by its path, so that file lives in the cache with Qt.
cat >"$toolchain" <<'EOF'
# 64-bit Windows with Debian's MinGW-w64, POSIX threads (g++-mingw-w64-x86-64-posix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

start=$SECONDS
vantrel_say "Configuring Qt $qt_version for Windows in $build_dir"
cmake -S "$source_dir" -B "$build_dir" "${options[@]}"
expected_options >"$build_dir/.vantrel-options"

# Every core; on a developer's machine at the lowest priority, so other work keeps its pace,
# and in CI, where nothing else waits for the cores, at the usual one.
jobs=$(nproc 2>/dev/null || echo 2)
niceness=19
[ "${CI:-}" = true ] && niceness=0
vantrel_say "Building Qt for Windows with $jobs jobs at nice $niceness"
nice -n "$niceness" cmake --build "$build_dir" -j "$jobs"

vantrel_say "Installing into $prefix"
cmake --install "$build_dir" >/dev/null
elapsed=$((SECONDS - start))

{
  echo "# qt6-base $src_version from Debian, cross-built for Windows $(date -u +%Y-%m-%dT%H:%M:%SZ)"
  echo "# built in $elapsed s"
  expected_options
} >"$stamp.new"
mv "$stamp.new" "$stamp"
rm -f "$building"

# The cache is all that is needed from now on.
rm -rf "$work"
rmdir --ignore-fail-on-non-empty "$(dirname "$work")"

vantrel_say "Qt $qt_version for Windows is in $prefix ($(du -sh "$prefix" | cut -f1))."
vantrel_say "Built in $((elapsed / 60)) min $((elapsed % 60)) s."
