#!/usr/bin/env bash
# Installs what Fenwary needs, builds everything in build/ and runs every test.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_packages
configure
cmake --build "$FENWARY_ROOT/build" -j"$(build_jobs)"
cd "$FENWARY_ROOT/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(build_jobs)"
