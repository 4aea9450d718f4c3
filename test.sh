#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test with ctest, then the
# core tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/setup.sh

vantrel_install_packages "${VANTREL_PACKAGES[@]}"
jobs=$(nproc 2>/dev/null || echo 2)

vantrel_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_WERROR=ON
vantrel_say "Running all tests"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs"

vantrel_build build-asan -DCMAKE_BUILD_TYPE=Debug -DVANTREL_WERROR=ON -DVANTREL_GUI=OFF -DVANTREL_SANITIZE=ON -DVANTREL_BENCH=OFF
vantrel_say "Running the core tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -L core
vantrel_say "All tests passed"
