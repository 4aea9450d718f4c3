#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest. Now and then Wine exits at once, without a
# word and before the program has started; every test program writes a first line as it
# starts, so a failed run that wrote nothing at all is Wine's and is started again (three
# tries in all). A program that wrote anything keeps its own result.
#   wine-run.sh WINE PROGRAM [ARGUMENT...]
wine=$1
shift
out=$(mktemp) && err=$(mktemp) || exit 125
trap 'rm -f "$out" "$err"' EXIT
for try in 1 2 3; do
  # Standard output streams as it comes, so a hang still shows how far it got.
  "$wine" "$@" 2>"$err" | tee "$out"
  status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ]; then
    break
  fi
  echo "wine-run: Wine exited with $status before the program started (try $try of 3)" >&2
done
cat "$err" >&2
exit "$status"
