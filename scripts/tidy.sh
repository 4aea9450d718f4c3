#!/usr/bin/env bash
# Runs clang-tidy with .clang-tidy's checks over every source of the program: the core, the
# record reader, the PDF writer, the shell and the two programs, from the compile commands of
# a build folder (build/ unless one is named; configured as ./test.sh configures it when it
# has none). Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/setup.sh
build=${1:-build}
vantrel_install_packages "${VANTREL_PACKAGES[@]}"
if [ ! -f "$build/compile_commands.json" ]; then
  # Their sources need nothing generated: configuring is enough.
  vantrel_say "Configuring $build for its compile commands"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_WERROR=ON >/dev/null
fi
# The sources the compile commands build into the program's libraries and programs (not the
# tests' or the benchmarks'), without what Qt's moc and rcc generate.
objects='vantrel_\(core\|record\|pdf\|shell\)\|vantrel\|vantrel-dump'
mapfile -t sources < <(grep -o "\"command\": \".*CMakeFiles/\($objects\)\.dir/.* -c [^\"]*\"" "$build/compile_commands.json" |
                       sed 's|.* -c \([^"]*\)"$|\1|' | grep -v '_autogen/' | sort -u)
[ ${#sources[@]} -gt 0 ] || { echo "tidy.sh: no objects of the program in $build" >&2; exit 2; }
vantrel_say "clang-tidy over ${#sources[@]} sources of the core, the record reader, the PDF writer and the shell"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc 2>/dev/null || echo 2)" -n 4 clang-tidy -p "$build" --quiet \
  >"$log" 2>&1 || status=$?
# Its count of what it suppressed in system headers is noise.
grep -v '^[0-9]* warnings\? generated\.$' "$log" || true
[ "$status" -eq 0 ] || { vantrel_say "clang-tidy found what to mend" >&2; exit 1; }
vantrel_say "clang-tidy found nothing"
