#!/usr/bin/env bash
# Measures kry on a large tune file against what the same file work costs with
# standard tools, and against a naive awk one-liner, at full size and at one
# tenth, with a fake typesetter so only kry is timed. Not a test: it prints
# figures and whether kry meets its targets:
#   - wall time within 3 times the I/O skeleton
#       cp big T1 && cat T1 T1 > T2 && cp T2 T3 && rm T1 T2 T3
#   - faster than  awk '{print "[V:M] " $0; print "[V:G] " $0}'
#   - peak resident memory under 8 MiB, and flat from one tenth to full size
#   - with option f (the fix-up pass along), within 1.2 times a plain run
#
# usage: bench/bench.sh [SIZE_MB] [ROUNDS]     (defaults: 60 and 5)
# Builds kry (Release) in build-bench/; works in a temporary directory.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-60}
rounds=${2:-5}
corpus=$here/tests/corpus
build=$here/build-bench

[[ -x /usr/bin/time ]] || { echo "bench.sh: needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKRY_TESTS=OFF > /dev/null
cmake --build "$build" -j"$(nproc)" --target kry > /dev/null 2>&1
kry=$build/kry

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir bin tunes run
printf '#!/bin/sh\nexit 0\n' > bin/abctab2ps
chmod +x bin/abctab2ps
export PATH=$work/bin:$PATH

# ---- the tune files: the corpus tunes that convert with no options ----
# kry stops a run at the first note with no place on the instrument, so only
# tunes that go through whole make up the big file.
for file in "$corpus"/*.abc; do "$here/scripts/split-tunes.sh" "$file" tunes; done
: > good.abc
total=0 good=0
for tune in tunes/*.abc; do
  total=$((total + 1))
  if (cd run && "$kry" "../$tune" < /dev/null > /dev/null 2>&1); then
    cat "$tune" >> good.abc
    good=$((good + 1))
  fi
  rm -f run/*
done
make_big() {  # make_big BYTES NAME: good.abc over and over until BYTES are reached
  : > "$2"
  while [[ $(stat -c %s "$2") -lt $1 ]]; do cat good.abc >> "$2"; done
}
make_big $((size_mb * 1024 * 1024)) run/big.abc
make_big $((size_mb * 1024 * 1024 / 10)) run/small.abc

# ---- measuring: median wall time and largest peak RSS over the rounds ----
# The commands take turns, one run of each a round, so that a machine that
# slows down or speeds up meanwhile weighs on all of them alike.
# The peak RSS comes from /usr/bin/time, which starts the command from a small
# process (a child of python would count python's own pages from before exec).
measure() {  # measure LABEL COMMAND... [";;" LABEL COMMAND...]: prints "LABEL seconds kib" for each
  python3 - "$rounds" "$@" <<'PY'
import subprocess, sys, time
rounds, words = int(sys.argv[1]), sys.argv[2:]
runs = []
while words:
    cut = words.index(";;") if ";;" in words else len(words)
    runs.append((words[0], words[1:cut], [], []))
    words = words[cut + 1:]
for _ in range(rounds):
    for label, cmd, times, peaks in runs:
        start = time.perf_counter()
        status = subprocess.call(["/usr/bin/time", "-f", "%M", "-o", "../rss", *cmd], cwd="run",
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
        peaks.append(int(open("rss").read().split()[-1]))
        if status != 0:
            sys.exit(f"{label}: {' '.join(cmd)} failed with status {status}")
for label, cmd, times, peaks in runs:
    times.sort()
    print(label, f"{times[len(times) // 2]:.3f}", max(peaks))
PY
}

declare -A secs kib
for size in big small; do
  bytes=$(stat -c %s "run/$size.abc")
  while read -r label t m; do
    secs[$label-$size]=$t kib[$label-$size]=$m
  done < <(measure kry "$kry" "$size.abc" ";;" kryf "$kry" "$size.abc" f \
             ";;" skeleton sh -c "cp $size.abc T1 && cat T1 T1 > T2 && cp T2 T3 && rm T1 T2 T3" \
             ";;" awk sh -c "awk '{print \"[V:M] \" \$0; print \"[V:G] \" \$0}' $size.abc > T2 && rm T2")
  declare "bytes_$size=$bytes"
done

ratio() { python3 -c "print(f'{$1 / $2:.2f}')"; }
mib() { python3 -c "print(f'{$1 / 1024:.1f}')"; }
pass() { python3 -c "print('met' if $1 else 'MISSED')"; }

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
echo "machine: $(nproc) cores, $cpu; awk is $(readlink -f "$(command -v awk)")"
echo "corpus: $good of $total tunes convert with no options; rounds: $rounds, the commands in turn (median time, largest RSS)"
printf '%-6s %6s %8s %8s %10s %8s %9s %11s\n' size MB kry/s "kry f/s" skeleton/s awk/s "peak MiB" "f peak MiB"
for size in big small; do
  b=bytes_$size
  printf '%-6s %6s %8s %8s %10s %8s %9s %11s\n' "$size" "$(python3 -c "print(f'{${!b} / 1048576:.1f}')")" \
    "${secs[kry-$size]}" "${secs[kryf-$size]}" "${secs[skeleton-$size]}" "${secs[awk-$size]}" \
    "$(mib "${kib[kry-$size]}")" "$(mib "${kib[kryf-$size]}")"
done
for size in big small; do
  k=${secs[kry-$size]} f=${secs[kryf-$size]} s=${secs[skeleton-$size]} a=${secs[awk-$size]}
  echo "$size: kry / skeleton $(ratio "$k" "$s") (target <= 3: $(pass "$k <= 3 * $s"));" \
    "kry / awk $(ratio "$k" "$a") (target < 1: $(pass "$k < $a"));" \
    "kry f / kry $(ratio "$f" "$k") (target <= 1.2: $(pass "$f <= 1.2 * $k"))"
done
big=$(( kib[kry-big] > kib[kryf-big] ? kib[kry-big] : kib[kryf-big] ))
small=$(( kib[kry-small] > kib[kryf-small] ? kib[kry-small] : kib[kryf-small] ))
echo "kry peak RSS, f or not: $(mib "$big") MiB at full size, $(mib "$small") MiB at a tenth" \
  "(target < 8 MiB and flat: $(pass "$big < 8192 and $big <= 1.1 * $small + 256"))"
k=${secs[kry-big]} s=${secs[skeleton-big]} a=${secs[awk-big]}
echo "growth, full / tenth: kry $(ratio "$k" "${secs[kry-small]}"), skeleton $(ratio "$s" "${secs[skeleton-small]}")," \
  "awk $(ratio "$a" "${secs[awk-small]}")"
