#!/usr/bin/env bash
# Builds the Debian package build/package/fenwary_<version>_<arch>.deb: both programs,
# their menu entries and icons, the README. Reuses build/ when it is configured.
# Prints the path of the package on its last line.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

FENWARY_PACKAGES="$FENWARY_PACKAGES dpkg-dev file"
install_packages
[ -f "$FENWARY_ROOT/build/CMakeCache.txt" ] || configure
cmake -S "$FENWARY_ROOT" -B "$FENWARY_ROOT/build" >/dev/null
cmake --build "$FENWARY_ROOT/build" -j"$(build_jobs)" --target Tallowmere Brisco fenwary_package_docs
rm -f "$FENWARY_ROOT/build/package/"*.deb
(cd "$FENWARY_ROOT/build" && cpack -G DEB -C RelWithDebInfo >/dev/null)
deb="$(ls "$FENWARY_ROOT/build/package/"fenwary_*.deb)"
echo "$deb"
