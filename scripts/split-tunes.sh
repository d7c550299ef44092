#!/bin/sh
# Splits a tune book into one file per tune, as the benchmarks, the fuzz seeds
# and the typesetting tests want them.
#   scripts/split-tunes.sh BOOK.abc OUTDIR
# OUTDIR/BOOK-N.abc holds the Nth tune of the book (N counts from 1, whatever
# the tune's own number): from its X: line to the line before the next X:
# line, or the end. The lines before the first X: (the book's header) are left
# out: no caller wants them. OUTDIR is made if missing.
set -eu
[ $# -eq 2 ] || { echo "usage: scripts/split-tunes.sh BOOK.abc OUTDIR" >&2; exit 2; }
mkdir -p "$2"
LC_ALL=C awk -v out="$2/$(basename "$1" .abc)" '
  /^X:/ { if (file) close(file); file = out "-" ++n ".abc" }
  file { print > file }' "$1"
