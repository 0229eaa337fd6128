#!/usr/bin/env bash
# Builds the message renderer's fuzz target with clang (libFuzzer, ASan,
# UBSan) in build-fuzz/ and runs it for a bounded time, as
# tools/fuzz-codecs.sh does for the codecs.
#   fuzz/render-fuzz.sh [SECONDS, default 60] [JOBS, default 2]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=${2:-2}
build=build-fuzz
target=msgrender_parts

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzz_$target
mkdir -p "$build/corpus/$target" "$build/crashes/$target"
if "$build/fuzz_$target" -max_total_time="$seconds" -jobs="$jobs" -workers="$jobs" -print_final_stats=1 \
     -max_len=200000 -rss_limit_mb=4096 -artifact_prefix="$build/crashes/$target/" \
     "$build/corpus/$target" tests/data/render/corpus >"$build/$target.log" 2>&1; then
  runs=$(cat fuzz-*.log 2>/dev/null | grep -o 'stat::number_of_executed_units: *[0-9]*' | grep -o '[0-9]*$' |
         awk '{s+=$1} END {print s+0}')
  echo "$target: ok ($runs runs)"
else
  echo "$target: FAILED, see $build/$target.log, fuzz-*.log and $build/crashes/$target/"
  exit 1
fi
