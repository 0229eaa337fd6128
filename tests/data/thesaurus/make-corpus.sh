#!/usr/bin/env bash
# Writes the thesaurus reader's fuzz seeds into corpus/: thesaurus files
# compiled by lxtcompile, without the 165-byte header the fuzz target puts
# back, from a small hand-made MyThes file and from the first headwords of
# Debian's MyThes data. The found-* seeds are inputs a fuzz run kept:
#   cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++
#   cmake --build build-fuzz --target fuzz_thesaurus_reader
#   build-fuzz/fuzz_thesaurus_reader -max_total_time=300 NEW-DIR tests/data/thesaurus/corpus
#
#   make-corpus.sh LXTCOMPILE [MYTHES-DATA]
set -euo pipefail
compile=$1
data=${2:-/usr/share/mythes/th_en_US_v2.dat}
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cat >"$tmp/small.dat" <<'DAT'
UTF-8
change|3
(noun)|alteration|modification|event (generic term)
(verb)|alter|modify|stay (antonym)
(verb)|switch|shift
i|1
(noun)|one|I|ace
one|1
(noun)|I|ace|unity
quick|2
(adj)|fast|speedy (similar term)
(adv)|quickly
xylophone|1
(noun)|marimba|vibraphone (related term)
é|1
(noun)|café|naïveté
DAT

seed() {  # NAME HEADWORDS DATA
  "$compile" --headwords "$2" "$3" "$tmp/$1.lxt" >/dev/null
  tail -c +166 "$tmp/$1.lxt" >"$here/corpus/$1"
}
mkdir -p "$here/corpus"
seed small 100 "$tmp/small.dat"
seed empty 0 "$tmp/small.dat"
seed mythes-3 3 "$data"
# Cut short in the link data and in the index data.
head -c 300 "$here/corpus/small" >"$here/corpus/small-cut-links"
head -c -3 "$here/corpus/mythes-3" >"$here/corpus/mythes-3-cut-index"
