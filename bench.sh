#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them. Extra arguments go to Google Benchmark,
# for example: ./bench.sh --benchmark_filter=Exchange
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j2 --target quorvel_bench
exec ./build-bench/bench/quorvel_bench "$@"
