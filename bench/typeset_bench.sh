#!/usr/bin/env bash
# Times our abctab2ps on the jigs of the corpus that kry converts, against
# abcm2ps alone on the translated input, and prints the ratio: what the
# translation (and the run around abcm2ps) costs on top of the engraving.
#
# usage: bench/typeset_bench.sh [BUILD_DIR] [ROUNDS]
#   BUILD_DIR holds kry and abctab2ps (default: build); ROUNDS default 11.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
rounds=${2:-11}
corpus="$here/tests/corpus/jigs.abc"

for prog in "$build/kry" "$build/abctab2ps"; do
  [ -x "$prog" ] || { echo "typeset_bench: $prog is not built" >&2; exit 1; }
done
command -v abcm2ps >/dev/null || { echo "typeset_bench: abcm2ps is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT INT TERM
cd "$work"

# 1. Convert the jigs one tune at a time (kry stops on a tune with a note
#    no course can play); keep every TEMP.ABC that kry finishes.
mkdir stub
printf '#!/bin/sh\nexit 0\n' > stub/abctab2ps
chmod +x stub/abctab2ps
"$here/scripts/split-tunes.sh" "$corpus" tunes
: > jigs.tab
kept=0
for t in tunes/*.abc; do
  rm -f TEMP.ABC
  cp "$t" tune.abc
  PATH="$work/stub:$PATH" "$build/kry" tune.abc debug </dev/null >/dev/null 2>&1 || true
  if [ -f TEMP.ABC ]; then
    cat TEMP.ABC >> jigs.tab
    kept=$((kept + 1))
  fi
done
total=$(ls tunes | wc -l)
echo "jigs converted by kry: $kept of $total tunes"

# 2. The translated input, as abctab2ps hands it to abcm2ps.
mkdir spy
cat > spy/abcm2ps <<'SPY'
#!/bin/sh
for a; do case "$a" in *.abc) cp "$a" "$SPYDIR/translated.abc";; esac; done
exec "$REAL" "$@"
SPY
chmod +x spy/abcm2ps
SPYDIR="$work" REAL=$(command -v abcm2ps) PATH="$work/spy:$PATH" \
  "$build/abctab2ps" jigs.tab -1 -O spy. >/dev/null 2>&1

# 3. The timings, the two taking turns round by round: wall-clock and CPU
#    time (user and system, abcm2ps's included), the median of the rounds.
timed() {  # timed FILE COMMAND...: appends "wall cpu" in seconds to FILE
  local out=$1 TIMEFORMAT='%3R %3U %3S'
  shift
  { time "$@" >/dev/null 2>&1; } 2> time.tmp || true
  awk '{ print $1, $2 + $3 }' time.tmp >> "$out"
}
: > ours.times
: > abcm.times
i=0
while [ "$i" -lt "$rounds" ]; do
  timed ours.times "$build/abctab2ps" jigs.tab -1 -O ours.
  timed abcm.times abcm2ps -q -1 -O abcm.ps translated.abc
  i=$((i + 1))
done

median() {  # median COLUMN FILE
  sort -n -k"$1" "$2" | awk -v c="$1" '{ v[NR] = $c } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ow=$(median 1 ours.times); oc=$(median 2 ours.times)
aw=$(median 1 abcm.times); ac=$(median 2 abcm.times)
awk -v ow="$ow" -v oc="$oc" -v aw="$aw" -v ac="$ac" -v n="$rounds" 'BEGIN {
  printf "median of %d rounds, taking turns        wall      cpu\n", n
  printf "abctab2ps (translation + abcm2ps): %8.0f ms %6.0f ms\n", ow * 1000, oc * 1000
  printf "abcm2ps alone on translated input: %8.0f ms %6.0f ms\n", aw * 1000, ac * 1000
  printf "ratio abctab2ps / abcm2ps:          %8.3f %8.3f\n", ow / aw, oc / ac
}'
