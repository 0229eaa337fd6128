#!/usr/bin/env bash
# Builds the codec fuzz targets with clang (libFuzzer, AddressSanitizer, UBSan)
# in build-fuzz/ and runs each for a bounded time.
#   tools/fuzz-codecs.sh [SECONDS per target, default 60] [JOBS at once, default 2]
# Inputs that found new paths go to build-fuzz/corpus/<target>; a crash leaves
# its input in build-fuzz/crashes/<target>/ and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=${2:-2}
build=build-fuzz

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"

run_one() {
  local target=$1 seconds=$2 build=$3
  mkdir -p "$build/corpus/$target" "$build/crashes/$target"
  if "$build/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$build/crashes/$target/" \
       "$build/corpus/$target" "tests/mail/corpus/$target" >"$build/$target.log" 2>&1; then
    echo "$target: ok ($(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$build/$target.log" | grep -o '[0-9]*$') runs)"
  else
    echo "$target: FAILED, see $build/$target.log and $build/crashes/$target/"
    return 1
  fi
}
export -f run_one

targets=$(sed -n 's/^set(CODEC_FUZZ_TARGETS \(.*\))$/\1/p' fuzz/targets.cmake)
printf '%s\n' $targets | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$build"
