#!/usr/bin/env bash
# Installs what Fenwary needs, builds it and starts Tallowmere.
#   scripts/run.sh          the billing program
#   scripts/run.sh brisco   the backup tool, on the same data folder
# The data folder (where data.dat lives) is FENWARY_HOME, by default ~/Fenwary.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_packages
configure
program=Tallowmere
path=programs/Tallowmere
if [ "${1:-}" = "brisco" ]; then
  program=Brisco
  path=programs/Brisco
fi
cmake --build "$FENWARY_ROOT/build" --target "$program" -j"$(build_jobs)"

export FENWARY_HOME="${FENWARY_HOME:-$HOME/Fenwary}"
mkdir -p -m 700 "$FENWARY_HOME"
echo "Data folder: $FENWARY_HOME"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting $program on a virtual display (xvfb-run)."
  exec xvfb-run -a "$FENWARY_ROOT/build/$path"
fi
exec "$FENWARY_ROOT/build/$path"
