#!/usr/bin/env bash
# Builds kry's libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-check/ (or $FUZZ_BUILD), the tree the
# test command's second build is, and runs each of them.
#   scripts/fuzz.sh quick                 a short, bounded run of every target
#   scripts/fuzz.sh long N [TARGET...]    N executions of each target (all by default)
# Targets: convert (a tune and an option state through the conversion pass),
# fixup (the fix-up pass over any text), options (the option reader).
# Seeds are the corpus tunes one per file, made anew in build-check/seeds/. Inputs
# that find something are written to build-check/findings/; a finding fails the
# run. Save each as a regression under tests/fuzz/regressions/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-quick}
case "$mode" in
  quick) runs=${FUZZ_QUICK_RUNS:-20000}; shift || true ;;
  long)
    runs=${2:?usage: scripts/fuzz.sh long N [TARGET...]}
    shift 2 ;;
  *) echo "usage: scripts/fuzz.sh quick | long N [TARGET...]" >&2; exit 2 ;;
esac
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=(convert fixup options)

build=${FUZZ_BUILD:-build-check}
corpus=tests/corpus
# Configured as the test command configures its second tree, so the two never
# undo each other's settings.
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DKRY_TESTS=ON -DKRY_WERROR=ON \
  -DKRY_SANITIZE=ON -DKRY_FUZZ=ON > /dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}" kry > /dev/null

# ---- seeds: every corpus tune alone in a file, made anew on every run ----
# The fix-up seeds are tunes converted by kry: made by an older kry or from an
# older corpus, they would fuzz what no longer is.
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds"/{tunes,convert,fixup,options}
for file in "$corpus"/*.abc; do scripts/split-tunes.sh "$file" "$seeds/tunes"; done
# The conversion target reads three option bytes first (see fuzz_convert.cc):
# no options, then mandolin transposed down two with a capo and A4 paper.
for tune in "$seeds"/tunes/*.abc; do
  name=$(basename "$tune" .abc)
  { printf '\x0b\x00 '; cat "$tune"; } > "$seeds/convert/$name"
  { printf '\x09\x05\x33'; cat "$tune"; } > "$seeds/convert/$name-m"
done
# The fix-up pass reads converted tunes: convert each tune with kry itself.
work=$(mktemp -d)
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 0\n' > "$work/bin/abctab2ps"
chmod +x "$work/bin/abctab2ps"
kry=$(pwd)/$build/kry
for tune in "$seeds"/tunes/*.abc; do
  name=$(basename "$tune" .abc)
  (cd "$work" && rm -f TEMP.ABC KRY97.ABC && PATH="$work/bin:$PATH" "$kry" "$(cd - > /dev/null && pwd)/$tune" debug \
    < /dev/null > /dev/null 2>&1 || true
   if [[ -f TEMP.ABC ]]; then mv TEMP.ABC "$name"; elif [[ -f KRY97.ABC ]]; then mv KRY97.ABC "$name"; fi)
  [[ -f $work/$name ]] && mv "$work/$name" "$seeds/fixup/$name"
done
rm -rf "$work"
printf 'm\n-3\n0.8\n-0.5\nc3\nf\nr\ndebug\na4\nb4' > "$seeds/options/every-option"
printf '+11\n1.0\n-0.0\nc\nC10\n.5\n2.' > "$seeds/options/numbers"

# ---- run ----
# Inputs are cut to a kilobyte: the conversion handles one line at a time, so a
# kilobyte holds every structure a tune has, and longer inputs only make each
# execution slower (kry's own end-to-end tests give it a megabyte on one line).
max_len=${FUZZ_MAX_LEN:-1024}
mkdir -p "$build/findings" "$build/logs"
for target in "${targets[@]}"; do
  work_corpus=$build/corpus/$target
  mkdir -p "$work_corpus"
  log=$build/logs/$mode-$target.log
  echo "fuzz_$target: $runs runs"
  if ! "$build/fuzz_$target" -runs="$runs" -dict=tests/fuzz/abc.dict \
      -artifact_prefix="$build/findings/$target-" -print_final_stats=1 -timeout=10 -max_len="$max_len" \
      "$work_corpus" "$seeds/$target" tests/fuzz/regressions/"$target" > "$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "fuzz_$target found something: see $build/findings/ and $log" >&2
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$log" | sed 's/^/  /'
done
