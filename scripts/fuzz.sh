#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz/ and runs each
# for FUZZ_SECONDS seconds (30 by default) from its seed corpus in fuzz/corpus/.
# With FUZZ_RUNS set, each target instead runs that many inputs from the fixed
# FUZZ_SEED (1 by default), so that a run gives the same result on every machine.
# The file readers (fuzz_readingcsv, fuzz_readingxlsx) parse a whole file per input:
# with FUZZ_RUNS they run FUZZ_FILE_SHARE percent of it (10 by default),
# so that the whole run takes about as long as before they joined.
# A single allocation above FUZZ_MALLOC_MB (256 by default) is a finding.
# New inputs go to build-fuzz/corpus/<target>/, crashes to build-fuzz/artifacts/.
# Usage: scripts/fuzz.sh [target...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

FENWARY_PACKAGES="$FENWARY_PACKAGES clang libclang-rt-14-dev"
install_packages

BUILD="$FENWARY_ROOT/build-fuzz"
SECONDS_EACH="${FUZZ_SECONDS:-30}"
if [ -n "${FUZZ_RUNS:-}" ]; then
  LENGTH=(-runs="$FUZZ_RUNS" -seed="${FUZZ_SEED:-1}")
  SPAN="$FUZZ_RUNS runs from seed ${FUZZ_SEED:-1}"
else
  LENGTH=(-max_total_time="$SECONDS_EACH")
  SPAN="${SECONDS_EACH}s"
fi
TARGETS=("$@")
if [ "${#TARGETS[@]}" -eq 0 ]; then
  TARGETS=(fuzz_criterion fuzz_typednumber fuzz_formatmask fuzz_capital fuzz_exportlines fuzz_readingcsv fuzz_readingxlsx)
fi

cmake -S "$FENWARY_ROOT" -B "$BUILD" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DFENWARY_FUZZ=ON
cmake --build "$BUILD" --target "${TARGETS[@]}" -j"$(build_jobs)"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen
failed=()
for t in "${TARGETS[@]}"; do
  mkdir -p "$BUILD/corpus/$t" "$BUILD/artifacts"
  length=("${LENGTH[@]}")
  span="$SPAN"
  if [ -n "${FUZZ_RUNS:-}" ] && [[ "$t" == fuzz_reading* ]]; then
    runs=$(( FUZZ_RUNS * ${FUZZ_FILE_SHARE:-10} / 100 ))
    length=(-runs="$runs" -seed="${FUZZ_SEED:-1}")
    span="$runs runs from seed ${FUZZ_SEED:-1}"
  fi
  echo "== $t: $span"
  if ! "$BUILD/fuzz/$t" "${length[@]}" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb="${FUZZ_MALLOC_MB:-256}" -max_len=4096 \
      -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$t-" \
      "$BUILD/corpus/$t" "$FENWARY_ROOT/fuzz/corpus/$t"; then
    failed+=("$t")
  fi
done
if [ "${#failed[@]}" -gt 0 ]; then
  echo "Fuzzing found failures in: ${failed[*]} (inputs in $BUILD/artifacts/)" >&2
  exit 1
fi
echo "All fuzz targets ran ($SPAN each) without a finding."
