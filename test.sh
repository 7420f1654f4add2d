#!/usr/bin/env bash
# Builds and runs the whole test suite through ctest.
#   ./test.sh             warnings as errors, Release with assertions
#   ./test.sh --sanitize  a separate clang build under AddressSanitizer and UndefinedBehaviorSanitizer,
#                         with bounded fuzz runs of the SCC decoder and the text parsers
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh

build=build-test
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_WERROR=ON -DQUORVEL_BUILD_TESTS=ON)
if [ "${1:-}" = "--sanitize" ]; then
  # clang, so that the same build also runs the fuzz targets (libFuzzer).
  build=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DQUORVEL_WERROR=ON -DQUORVEL_BUILD_TESTS=ON -DQUORVEL_SANITIZE=ON
         -DQUORVEL_BUILD_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi

export QT_QPA_PLATFORM=offscreen
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j2
cd "$build"
ctest --output-on-failure -j2 </dev/null
