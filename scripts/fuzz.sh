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
  -DVANTREL_GUI=ON -DBUILD_TESTING=OFF -DVANTREL_BENCH=OFF
# fuzz_pdf_names draws on Qt's offscreen platform; leaks that begin in system libraries
# are named in tests/lsan.supp.
export QT_QPA_PLATFORM=offscreen LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
targets=(fuzz_text_reader fuzz_join_path fuzz_name_order fuzz_dump_writer fuzz_pdf_names)
# The record reader is built where qpdf is.
[ -x build-fuzz/fuzz/fuzz_record_reader ] && targets+=(fuzz_record_reader)
for target in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  vantrel_say "Fuzzing $target for $seconds s"
  # Names up to 255 characters from the start: this target runs ten inputs a second.
  extra=()
  [ "$target" = fuzz_pdf_names ] && extra=(-max_len=768 -len_control=0)
  (cd build-fuzz && "fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 "${extra[@]}" "corpus/$target" \
      >"fuzz-$target.log" 2>&1) || { tail -40 "build-fuzz/fuzz-$target.log" >&2; exit 1; }
  grep -E '^stat::number_of_executed_units' "build-fuzz/fuzz-$target.log" || true
done
vantrel_say "Every fuzz target ran without a fault"
