#!/usr/bin/env bash
# Runs a Windows program under Wine, for ctest and the scripts. Now and then Wine exits at
# once, without a word and before the program has started; every test program writes a
# first line as it starts, so a failed run that wrote nothing at all is Wine's and is
# started once more, and only once: a second such failure is the run's result. A program
# that wrote anything keeps its own result. Each start again is a line in the file that
# VANTREL_WINE_RETRIES names, for the run's summary.
# Under ctest with Wine prefixes as resources (scripts/test-windows-gui.sh), a test runs
# in the prefix of its slot: slot 0 in WINEPREFIX, slot N in WINEPREFIX-N.
#   wine-run.sh WINE PROGRAM [ARGUMENT...]
wine=$1
shift
slot=${CTEST_RESOURCE_GROUP_0_WINE#id:}
slot=${slot%%,*}
if [ -n "$slot" ] && [ "$slot" != 0 ]; then
  export WINEPREFIX=${WINEPREFIX:-$HOME/.wine}-$slot
fi
out=$(mktemp) && err=$(mktemp) || exit 125
trap 'rm -f "$out" "$err"' EXIT
for try in 1 2; do
  # Standard output streams as it comes, so a hang still shows how far it got.
  "$wine" "$@" 2>"$err" | tee "$out"
  status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$try" -eq 2 ]; then
    break
  fi
  echo "wine-run: Wine exited with $status before the program started; starting it once more" >&2
  [ -z "${VANTREL_WINE_RETRIES:-}" ] || echo "$*" >>"$VANTREL_WINE_RETRIES"
done
cat "$err" >&2
exit "$status"
