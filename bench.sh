#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them. Extra arguments go to Google Benchmark,
# for example: ./bench.sh --benchmark_filter=Exchange
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j2 --target quorvel_bench quorvel_virtual_card
# The PC/SC benchmarks talk to the virtual card through a pcscd of their own, started here and
# stopped after; with another pcscd in the way they are skipped and the rest run.
exec python3 tests/support/private_pcscd.py run --if-possible \
  --card build-bench/tests/support/virtual_card/quorvel_virtual_card \
  -- ./build-bench/bench/quorvel_bench "$@"
