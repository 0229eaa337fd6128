#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UBSan) in
# build-fuzz/ and runs each for a bounded time from its seeds: the codecs,
# the DNS, zip, PNG and spell readers (the renderer has fuzz/render-fuzz.sh).
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

# Where each target's seeds live (beside the tests that replay them).
seeds_of() {
  case $1 in
    spell_*) echo "tests/spell/corpus/$1" ;;
    thesaurus_reader) echo tests/data/thesaurus/corpus ;;
    dns_response) echo tests/data/dns/corpus ;;
    zip_directory) echo tests/data/zip/corpus ;;
    zip_extract) echo tests/data/zip/extract-corpus ;;
    zip_aes_entry) echo tests/data/zip/aes_corpus ;;
    png_decode) echo tests/data/pngsuite ;;
    *) echo "tests/mail/corpus/$1" ;;
  esac
}
export -f seeds_of

run_one() {
  local target=$1 seconds=$2 build=$3
  mkdir -p "$build/corpus/$target" "$build/crashes/$target"
  if "$build/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$build/crashes/$target/" \
       "$build/corpus/$target" "$(seeds_of "$target")" >"$build/$target.log" 2>&1; then
    echo "$target: ok ($(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$build/$target.log" | grep -o '[0-9]*$') runs)"
  else
    echo "$target: FAILED, see $build/$target.log and $build/crashes/$target/"
    return 1
  fi
}
export -f run_one

targets=$(cd "$build" && ls fuzz_* | sed 's/^fuzz_//' | grep -vx msgrender_parts)
printf '%s\n' $targets | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$build"
