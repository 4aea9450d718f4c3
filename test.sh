#!/usr/bin/env bash
# Installs what is missing, checks the sources' format, builds everything and runs every test
# with ctest. A source out of the format fails the run at its end, after the tests have run.
# The sanitizers' run of every test is scripts/test-sanitizers.sh (CI runs both).
set -euo pipefail
cd "$(dirname "$0")"
. scripts/setup.sh

vantrel_install_packages "${VANTREL_PACKAGES[@]}"
jobs=$(nproc 2>/dev/null || echo 2)

# Every source in the house's format; a file out of it fails the run with its name.
vantrel_say "Checking the sources against .clang-format"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t sources < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t sources < <(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
format_note=
if ! checked=$(clang-format --dry-run -Werror "${sources[@]}" 2>&1); then
  unformatted=$(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*clang-format-violations.*/\1/p' <<<"$checked" | sort -u)
  format_note=$(printf 'Out of the format .clang-format sets (clang-format -i FILE mends it):\n%s' "${unformatted:-$checked}")
  printf '%s\n' "$format_note" >&2
fi

vantrel_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_WERROR=ON
vantrel_say "Running all tests"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs"
[ -z "$format_note" ] || { printf '%s\n' "$format_note" >&2; exit 1; }
vantrel_say "All tests passed"
