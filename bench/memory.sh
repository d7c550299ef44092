#!/usr/bin/env bash
# Peak memory of abctab2ps on a 6 MB and a 60 MB book made from the corpus,
# with abcm2ps replaced by a stand-in so that only abctab2ps is measured.
# Not a test: it prints the figures and whether abctab2ps stays flat, its
# peak within 64 MiB plus the largest tune whatever the size of the book.
#
# usage: bench/memory.sh [SIZES_MB...]     (default: 6 60)
# Builds kry and abctab2ps (Release) in build-bench/; works in a temporary
# directory.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
sizes=("${@:-6 60}")
read -r -a sizes <<< "${sizes[*]}"
build=$here/build-bench

[[ -x /usr/bin/time ]] || { echo "memory.sh: needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKRY_TESTS=OFF > /dev/null
cmake --build "$build" -j2 --target kry abctab2ps > /dev/null 2>&1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir stub standin tunes

# 1. kry's two-voice tunes: each corpus tune that kry converts, its TEMP.ABC
#    kept (a stub stands in for abctab2ps there).
printf '#!/bin/sh\nexit 0\n' > stub/abctab2ps
chmod +x stub/abctab2ps
for file in "$here"/tests/corpus/*.abc; do "$here/scripts/split-tunes.sh" "$file" tunes; done
: > tabs.abc
largest=0
for tune in tunes/*.abc; do
  rm -f TEMP.ABC
  cp "$tune" tune.abc
  PATH="$work/stub:$PATH" "$build/kry" tune.abc debug </dev/null >/dev/null 2>&1 || true
  if [[ -f TEMP.ABC ]]; then
    cat TEMP.ABC >> tabs.abc
    size=$(wc -c < TEMP.ABC)
    (( size > largest )) && largest=$size
  fi
done

[[ -s tabs.abc ]] || { echo "memory.sh: kry converted no tune" >&2; exit 1; }

# 2. The stand-in for abcm2ps: a PostScript file about as long as its input,
#    a page and an xref line a tune, as abcm2ps marks a tune's first page.
cat > standin/abcm2ps <<'STANDIN'
#!/bin/sh
out=Out.ps
while [ $# -gt 1 ]; do
  [ "$1" = -O ] && { out=$2; shift; }
  shift
done
awk -v out="$out" 'BEGIN { print "%!PS-Adobe-3.0\n%%Title: book\n%%EndSetup" > out }
  /^X:/ { n++; print "%%Page: " n " " n "\n% --- xref " substr($0, 3) > out }
  { print "% " $0 > out }
  END { print "%%Trailer\n%%Pages: " n "\n%EOF" > out }' "$1"
STANDIN
chmod +x standin/abcm2ps

# 3. Books of each size, the tunes over and over; the peak of each run.
printf 'largest tune: %d bytes; allowed peak: 64 MiB + largest tune = %d KiB\n' "$largest" $(( 65536 + largest / 1024 ))
printf '%8s %10s %12s %8s\n' "book" "tunes" "peak KiB" "seconds"
flat=yes
for mb in "${sizes[@]}"; do
  : > book.abc
  while (( $(wc -c < book.abc) < mb * 1000000 )); do cat tabs.abc >> book.abc; done
  tunes=$(grep -c '^X:' book.abc)
  PATH="$work/standin:$PATH" /usr/bin/time -f '%M %e' -o time.txt "$build/abctab2ps" book.abc -O out >/dev/null 2>&1 || {
    echo "memory.sh: abctab2ps failed on the ${mb} MB book" >&2; exit 1; }
  read -r peak seconds < time.txt
  printf '%6s MB %10d %12d %8s\n' "$mb" "$tunes" "$peak" "$seconds"
  (( peak <= 65536 + largest / 1024 )) || flat=no
done
echo "within 64 MiB + the largest tune at every size: $flat"
