#!/usr/bin/env bash
# Installs what Fenwary needs, builds everything in build/ and runs every test: each
# on the data file, and the tests labelled "server" a second time on a private
# PostgreSQL cluster started here and removed at the end (also on failure).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/pgcluster.sh"

# The server engine's tests run on a private cluster of this PostgreSQL server.
FENWARY_PACKAGES="$FENWARY_PACKAGES postgresql"
install_packages
configure
cmake --build "$FENWARY_ROOT/build" -j"$(build_jobs)"
trap pg_cluster_stop EXIT
pg_cluster_start
cd "$FENWARY_ROOT/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(build_jobs)"
