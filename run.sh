#!/usr/bin/env bash
# Installs what is missing, builds Vantrel and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/setup.sh

vantrel_install_packages "${VANTREL_PACKAGES[@]}"
vantrel_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ -x build/app/vantrel ]; then
  vantrel_say "Starting Vantrel"
  exec build/app/vantrel "$@"
else
  vantrel_say "Running vantrel-dump $*"
  exec build/cli/vantrel-dump "$@"
fi
