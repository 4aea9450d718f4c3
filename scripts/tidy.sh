#!/usr/bin/env bash
# Runs clang-tidy with .clang-tidy's checks over every source of the core and of the record
# reader, from the compile commands of a build folder (build/ unless one is named). Fails on
# any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/compile_commands.json" ] || { echo "tidy.sh: no $build/compile_commands.json; build first" >&2; exit 2; }
command -v clang-tidy >/dev/null || { echo "tidy.sh: clang-tidy is missing" >&2; exit 2; }
# The core's sources and the record reader's: those the compile commands build into their
# libraries.
mapfile -t sources < <(grep -o '"command": ".*vantrel_\(core\|record\)\.dir/.* -c [^"]*"' "$build/compile_commands.json" |
                       sed 's|.* -c \([^"]*\)"$|\1|' | sort -u)
[ ${#sources[@]} -gt 0 ] || { echo "tidy.sh: no core objects in $build" >&2; exit 2; }
echo "== clang-tidy over ${#sources[@]} core sources"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc 2>/dev/null || echo 2)" -n 4 clang-tidy -p "$build" --quiet \
  >"$log" 2>&1 || status=$?
# Its count of what it suppressed in system headers is noise.
grep -v '^[0-9]* warnings\? generated\.$' "$log" || true
[ "$status" -eq 0 ] || { echo "== clang-tidy found what to mend" >&2; exit 1; }
echo "== clang-tidy found nothing"
