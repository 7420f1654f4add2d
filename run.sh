#!/usr/bin/env bash
# Builds Quorvel in Release and starts it.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j2 --target quorvel
exec ./build-release/quorvel "$@"
