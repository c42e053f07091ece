#!/usr/bin/env bash
# Builds and runs the whole suite twice: a normal build, then an AddressSanitizer +
# UndefinedBehaviorSanitizer build. Exits non-zero when either run fails.
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
status=0

run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" || return 1
  cmake --build "$dir" -j "$jobs" || return 1
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300)
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

echo "== normal build =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo || status=1
echo "== sanitizer build (address, undefined) =="
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DQUOR_SANITIZE=ON -DQUOR_BENCH=OFF || status=1
exit $status
