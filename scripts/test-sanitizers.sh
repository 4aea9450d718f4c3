#!/usr/bin/env bash
# The whole program, window included, built with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-sanitize/, and every test run there (the window's
# on Qt's offscreen platform, the real-desktop ones under Xvfb). Leaks that begin in
# system libraries (fontconfig, D-Bus, ...) are named in tests/lsan.supp; the program's
# own never are.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/setup.sh
vantrel_install_packages "${VANTREL_PACKAGES[@]}"
jobs=$(nproc 2>/dev/null || echo 2)
vantrel_build build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVANTREL_WERROR=ON -DVANTREL_SANITIZE=ON -DVANTREL_BENCH=OFF
vantrel_say "Running every test under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 QT_QPA_PLATFORM=offscreen \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs" --timeout 600
vantrel_say "Every test passed under the sanitizers"
