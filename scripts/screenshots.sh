#!/usr/bin/env bash
# Regenerates the README walkthrough's screenshots in docs/walkthrough/ from the
# real windows on the demo estate (offscreen), and the receipt page from its PDF.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${FENWARY_BUILD:-$ROOT/build-shots}"
OUT="$ROOT/docs/walkthrough"

cmake -S "$ROOT" -B "$BUILD" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target fenwary_walkthrough -j"$(nproc)"
mkdir -p "$OUT"
QT_QPA_PLATFORM=offscreen "$BUILD/tests/e2e/fenwary_walkthrough" "$OUT"
pdftoppm -png -r 90 -singlefile "$OUT/receipt.pdf" "$OUT/receipt"
rm -f "$OUT/receipt.pdf"
pdftoppm -png -r 60 -singlefile "$OUT/daytakings.pdf" "$OUT/daytakings_print"
rm -f "$OUT/daytakings.pdf"
ls -1 "$OUT"
