#!/usr/bin/env bash
# Builds and runs the whole suite twice: a normal build, then an AddressSanitizer +
# UndefinedBehaviorSanitizer build. In between, the frame fuzzer (clang, libFuzzer)
# runs for a bounded time on a copy of fuzz/corpus. Exits non-zero when any of them fails.
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
status=0

# Unity builds: compiling each library's sources as a few larger units roughly
# halves the time of a build from scratch, which is what CI does every run.
run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_UNITY_BUILD=ON "$@" || return 1
  cmake --build "$dir" -j "$jobs" || return 1
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300)
}

# A crash leaves its input in build-fuzz/crashes for replaying:
#   build-fuzz/fuzz/fuzz_transport_frames build-fuzz/crashes/<file>
run_fuzz() {
  local dir=build-fuzz
  cmake -S . -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_UNITY_BUILD=ON -DQUOR_FUZZ=ON || return 1
  cmake --build "$dir" --target fuzz_transport_frames -j "$jobs" || return 1
  local work
  work=$(mktemp -d) || return 1
  mkdir -p "$work/corpus" "$dir/crashes"
  cp fuzz/corpus/* "$work/corpus/"
  local rc=0
  "$dir/fuzz/fuzz_transport_frames" -max_total_time=60 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$PWD/$dir/crashes/" "$work/corpus" >"$work/log" 2>&1 || rc=$?
  local runs
  runs=$(grep -o 'Done [0-9]* runs' "$work/log" | awk '{print $2}')
  if [ "$rc" -eq 0 ]; then
    echo "fuzz: ${runs:-0} runs, no crash"
  else
    tail -n 80 "$work/log"
    echo "fuzz: crash (exit $rc); input kept in $dir/crashes"
  fi
  rm -rf "$work"
  return "$rc"
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

echo "== normal build =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo || status=1
echo "== frame fuzzer (libFuzzer, 60 s) =="
run_fuzz || status=1
echo "== sanitizer build (address, undefined) =="
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DQUOR_SANITIZE=ON -DQUOR_BENCH=OFF || status=1
exit $status
