#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs every test there. Any sanitizer report fails the test.
# Usage: scripts/test-sanitize.sh [ctest arguments...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_packages
BUILD="$FENWARY_ROOT/build-asan"
cmake -S "$FENWARY_ROOT" -B "$BUILD" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFENWARY_SANITIZE=ON
cmake --build "$BUILD" -j"$(build_jobs)"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$FENWARY_ROOT/scripts/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
cd "$BUILD"
# The server engine's runs are the normal build's (scripts/test.sh).
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(build_jobs)" -LE server "$@"
