#!/bin/sh
# package_test.sh BUILD_DIR: makes the Debian package of the build with cpack, unpacks
# it into a temporary root with dpkg -x and checks what a user installs: the files,
# Depends, the desktop entry, the AppStream metadata, the manual page, and the
# installed vantrel-dump running from that root.
set -eu
build=$1
base=${VANTREL_TEST_TMP:-${TMPDIR:-/tmp}}
mkdir -p "$base"
tmp=$(mktemp -d "$base/package-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; fail "cpack -G DEB"; }
set -- "$tmp"/out/vantrel_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "no single vantrel_*.deb in $tmp/out"
deb=$1

[ "$(dpkg-deb -f "$deb" Package)" = vantrel ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
for need in fonts-ipafont qt6-translations-l10n libqt6widgets6 libqt6printsupport6 libc6; do
  case ", $depends," in
    *", $need"[\ ,]*) ;;
    *) fail "Depends lacks $need: $depends" ;;
  esac
done

root=$tmp/root
dpkg -x "$deb" "$root"
for f in usr/bin/vantrel usr/bin/vantrel-dump \
         usr/share/applications/vantrel.desktop \
         usr/share/icons/hicolor/16x16/apps/vantrel.png \
         usr/share/icons/hicolor/32x32/apps/vantrel.png \
         usr/share/icons/hicolor/64x64/apps/vantrel.png \
         usr/share/metainfo/com.kovalmeret.vantrel.metainfo.xml \
         usr/share/man/man1/vantrel-dump.1.gz; do
  [ -f "$root/$f" ] || fail "not installed: /$f"
done
[ -x "$root/usr/bin/vantrel" ] || fail "/usr/bin/vantrel is not executable"

# The installed tool runs from the unpacked root and writes what the built one writes.
"$root/usr/bin/vantrel-dump" --help >"$tmp/help" || fail "installed vantrel-dump --help"
grep -q -- "vantrel-dump --csv FOLDER" "$tmp/help" || fail "--help text"
printf 'Vantrel\000\377' >"$tmp/sample.bin"
"$root/usr/bin/vantrel-dump" "$tmp/sample.bin" >"$tmp/installed.txt" || fail "installed vantrel-dump FILE"
"$build/cli/vantrel-dump" "$tmp/sample.bin" >"$tmp/built.txt"
cmp -s "$tmp/installed.txt" "$tmp/built.txt" || fail "installed and built dumps differ"

desktop-file-validate "$root/usr/share/applications/vantrel.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.kovalmeret.vantrel.metainfo.xml" ||
  fail "appstreamcli validate"
# The manual page renders without a warning and names its options.
MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/vantrel-dump.1.gz" >"$tmp/man.txt" 2>"$tmp/man.err" ||
  fail "man -l"
[ ! -s "$tmp/man.err" ] || { cat "$tmp/man.err" >&2; fail "man page warnings"; }
grep -q -- "--pages A-B" "$tmp/man.txt" || fail "man page text"
echo "package ok: $(basename "$deb")"
