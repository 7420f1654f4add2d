#!/usr/bin/env bash
# Builds and runs the whole test suite through ctest, in three builds:
#   1. gcc, warnings as errors, Release with assertions: every test;
#   2. clang under AddressSanitizer and UndefinedBehaviorSanitizer: every test again, with
#      bounded fuzz runs of the SCC decoder and the text parsers;
#   3. clang under ThreadSanitizer: the tests that run the card's line thread.
# ./test.sh plain, ./test.sh sanitize or ./test.sh thread runs one of them.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh

# The PC/SC tests' own pcscd and virtual card, which ctest starts and stops, stopped here too
# when a run ends before ctest could.
stop_private_pcscd() {
  local state_file=$1/private_pcscd_state
  if [ -f "$state_file" ]; then
    python3 tests/support/private_pcscd.py stop --state "$(cat "$state_file")"
  fi
}

run_build() {
  local build=$1 targets=$2 filter=$3
  shift 3
  # Called in an && list, where set -e does not reach: each step says when it failed.
  cmake -S . -B "$build" -DQUORVEL_WERROR=ON -DQUORVEL_BUILD_TESTS=ON "$@" >/dev/null || return
  # shellcheck disable=SC2086
  cmake --build "$build" -j2 $targets || return
  trap "stop_private_pcscd '$build'" EXIT
  (cd "$build" && ctest --output-on-failure -j2 $filter </dev/null)
}

plain() {
  run_build build-test "" "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
}

sanitize() {
  # clang, so that the same build also runs the fuzz targets (libFuzzer).
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
  LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    run_build build-sanitize "" "" -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=ON \
      -DQUORVEL_BUILD_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
}

thread() {
  # Only the two test programs, and only the tests that start the line thread, with the PC/SC
  # tests (their pcscd fixture comes with them).
  TSAN_OPTIONS="halt_on_error=1:suppressions=$PWD/tests/tsan.supp" \
    run_build build-thread "--target core_tests gui_tests" \
      "-R ^(LineThread|ListRun|AutomaticResponse|AutomaticCommand|ResetWithSpeed|QuorvelDlg|Pcscd|ExplorerWindow)" \
      -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE_THREAD=ON \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
}

export QT_QPA_PLATFORM=offscreen
case "${1:-all}" in
  all) plain && sanitize && thread ;;
  plain) plain ;;
  sanitize | --sanitize) sanitize ;;
  thread) thread ;;
  *) echo "usage: $0 [plain|sanitize|thread]" >&2; exit 2 ;;
esac
