#!/usr/bin/env bash
# Installs what is missing, checks the sources' format, builds everything and runs every test
# with ctest, then the core tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
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
if ! checked=$(clang-format --dry-run -Werror "${sources[@]}" 2>&1); then
  unformatted=$(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*clang-format-violations.*/\1/p' <<<"$checked" | sort -u)
  printf 'Out of the format .clang-format sets (clang-format -i FILE mends it):\n%s\n' "${unformatted:-$checked}" >&2
  exit 1
fi

vantrel_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_WERROR=ON
vantrel_say "Running all tests"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs"

vantrel_build build-asan -DCMAKE_BUILD_TYPE=Debug -DVANTREL_WERROR=ON -DVANTREL_GUI=OFF -DVANTREL_SANITIZE=ON -DVANTREL_BENCH=OFF
vantrel_say "Running the core tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -L core
vantrel_say "All tests passed"
