#!/bin/sh
# Times our abctab2ps on the jigs of the corpus that kry converts, against
# abcm2ps alone on the translated input, and prints the ratio: what the
# translation (and the run around abcm2ps) costs on top of the engraving.
#
# usage: bench/typeset_bench.sh [BUILD_DIR] [ROUNDS]
#   BUILD_DIR holds kry and abctab2ps (default: build); ROUNDS default 5.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
rounds=${2:-5}
corpus="$here/tests/corpus/jigs.abc"

for prog in "$build/kry" "$build/abctab2ps"; do
  [ -x "$prog" ] || { echo "typeset_bench: $prog is not built" >&2; exit 1; }
done
command -v abcm2ps >/dev/null || { echo "typeset_bench: abcm2ps is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
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

now() { date +%s%N; }

# 3. The timings: best of the rounds for each.
best_ours=0
best_abcm=0
i=0
while [ "$i" -lt "$rounds" ]; do
  t0=$(now); "$build/abctab2ps" jigs.tab -1 -O ours. >/dev/null 2>&1; t1=$(now)
  abcm2ps -q -1 -O abcm.ps translated.abc >/dev/null 2>&1 || true; t2=$(now)
  ours=$((t1 - t0)); abcm=$((t2 - t1))
  [ "$best_ours" -eq 0 ] || [ "$ours" -lt "$best_ours" ] && best_ours=$ours
  [ "$best_abcm" -eq 0 ] || [ "$abcm" -lt "$best_abcm" ] && best_abcm=$abcm
  i=$((i + 1))
done

awk -v o="$best_ours" -v a="$best_abcm" 'BEGIN {
  printf "abctab2ps (translation + abcm2ps): %8.1f ms\n", o / 1e6
  printf "abcm2ps alone on translated input: %8.1f ms\n", a / 1e6
  printf "ratio abctab2ps / abcm2ps:          %8.3f\n", o / a
  printf "translation and run overhead:       %8.1f%% of the engraving\n", (o - a) * 100 / a
}'
