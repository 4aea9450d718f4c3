#!/usr/bin/env bash
# Builds the libFuzzer targets of the core with clang into build-fuzz/ and runs each for a
# while (30 seconds unless a number of seconds is given), keeping its corpus there for
# the next run. Fails when a target finds a fault.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/setup.sh
seconds=${1:-30}
# clang with libFuzzer (libclang-rt-14-dev), and whatever the targets link.
vantrel_install_packages "${VANTREL_PACKAGES[@]}"
vantrel_build build-fuzz -DVANTREL_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTREL_GUI=OFF -DBUILD_TESTING=OFF -DVANTREL_BENCH=OFF
for target in fuzz_text_reader fuzz_join_path fuzz_name_order fuzz_dump_writer; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  vantrel_say "Fuzzing $target for $seconds s"
  (cd build-fuzz && "fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 "corpus/$target" \
      >"fuzz-$target.log" 2>&1) || { tail -40 "build-fuzz/fuzz-$target.log" >&2; exit 1; }
  grep -E '^stat::number_of_executed_units' "build-fuzz/fuzz-$target.log" || true
done
vantrel_say "Every fuzz target ran without a fault"
