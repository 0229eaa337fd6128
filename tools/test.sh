#!/usr/bin/env bash
# Builds everything and runs every test suite twice: in the normal build
# (build/) and in a build with AddressSanitizer and UBSan (build-asan/),
# where any report fails the test that caused it. The sanitizer build skips
# the benchmarks and compiles at -O1 with assertions on: it is there to find
# faults, and -O1 keeps its build time within reach of a two-core machine.
# Both runs happen even when the first fails; the exit status is non-zero
# when either did.
set -uo pipefail
cd "$(dirname "$0")/.."

# build_and_test DIR CMAKE_OPTIONS...
build_and_test() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" &&
    cmake --build "$dir" &&
    ctest --test-dir "$dir" --output-on-failure --timeout 900
}

status=0
build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo || status=1
build_and_test build-asan -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1" \
  -DPELLIWOX_SANITIZE=ON -DPELLIWOX_BENCH=OFF || status=1
exit $status
