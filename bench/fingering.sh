#!/usr/bin/env bash
# How far the fretting hand travels: every corpus tune converted with the
# fixed table and with option pos, on the guitar and on the mandolin two half
# steps down, each alone in a file. Not a test: it prints, for each, the hand
# travel (a four-fret window, first finger at fret p covering p to p+3, moved
# over the fretted notes in order as little as it must; open strings free),
# the mean fret of the fretted notes, the widest chord (its fretted notes)
# and the highest fret, over the tunes that both convert, and whether pos
# meets its targets: at most half the travel, a mean fret at most one above
# the table's, no chord wider than the table's widest (four frets where four
# hold every note, the narrowest span that does where they don't), no fret
# above 15.
#
# usage: bench/fingering.sh [BUILD_DIR]     (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
kry=$(cd "${1:-$here/build}" && pwd)/kry
[[ -x $kry ]] || { echo "fingering.sh: $kry is not built" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/tunes" "$work/run"
ln -s /bin/true "$work/bin/abctab2ps"
for book in "$here"/tests/corpus/*.abc; do "$here/scripts/split-tunes.sh" "$book" "$work/tunes"; done

# Converts every tune under OPTIONS and writes, for each that converts, its
# name and its tab-voice lines to OUT.
convert_all() {  # convert_all OUT OPTIONS...
  local out=$1
  shift
  : > "$out"
  for tune in "$work"/tunes/*.abc; do
    rm -f "$work/run/TEMP.ABC"
    cp "$tune" "$work/run/t.abc"
    if (cd "$work/run" && PATH="$work/bin:$PATH" "$kry" t debug "$@" < /dev/null > /dev/null 2>&1); then
      { echo "== $(basename "$tune")"; grep -a '^\[V:G\]' "$work/run/TEMP.ABC" | tr -d '\r'; } >> "$out"
    fi
  done
}

for instrument in guitar mandolin; do
  extra=()
  [[ $instrument == mandolin ]] && extra=(m -2)
  convert_all "$work/table-$instrument" "${extra[@]}"
  convert_all "$work/pos-$instrument" "${extra[@]}" pos
  python3 - "$instrument" "$work/table-$instrument" "$work/pos-$instrument" <<'PY'
import re, sys
LETTERS = "abcdefghiklmnopq"

def tunes(path):
    """Each tune's events: the frets of each tab event, course 1 first (None: not played)."""
    out, name = {}, None
    for line in open(path, encoding="latin-1"):
        if line.startswith("== "):
            name = line[3:].strip()
            out[name] = []
            continue
        body = re.sub(r"\[[A-Z]:[^\]]*\]", " ", line[5:])  # inline fields
        for chord, single in re.findall(r"\[([a-q,]+)[0-9/]*\]|([a-q,]+)", body):
            courses = chord or single
            if set(courses) <= {","}:
                continue
            out[name].append([LETTERS.index(c) if c != "," else None for c in courses])
    return out

def measure(events):
    travel, first, frets, widest, highest = 0, None, [], 0, 0
    for event in events:
        fretted = [f for f in event if f]
        frets += fretted
        if fretted:
            widest = max(widest, max(fretted) - min(fretted) + 1)
            highest = max(highest, max(fretted))
        for f in fretted:
            if first is None:
                first = f
            elif f < first:
                travel, first = travel + first - f, f
            elif f > first + 3:
                travel, first = travel + f - 3 - first, f - 3
    return travel, frets, widest, highest

instrument, table, pos = sys.argv[1], tunes(sys.argv[2]), tunes(sys.argv[3])
both = sorted(set(table) & set(pos))
rows = {}
for label, data in (("table", table), ("pos", pos)):
    travel, frets, widest, highest = 0, [], 0, 0
    for name in both:
        t, f, w, h = measure(data[name])
        travel, frets, widest, highest = travel + t, frets + f, max(widest, w), max(highest, h)
    mean = sum(frets) / len(frets) if frets else 0
    rows[label] = (travel, mean, widest, highest)
    print(f"{instrument:8} {label:5}  tunes {len(both):4}  travel {travel:6}  mean fret {mean:5.2f}  widest chord {widest:2}  highest fret {highest:2}")
t, p = rows["table"], rows["pos"]
ok = lambda c: "met" if c else "MISSED"
print(f"{instrument:8} pos / table travel {p[0] / max(t[0], 1):.2f} (target <= 0.5: {ok(p[0] <= t[0] / 2)}); "
      f"mean fret +{p[1] - t[1]:.2f} (target <= 1: {ok(p[1] - t[1] <= 1)}); "
      f"widest {p[2]} (target <= {t[2]}: {ok(p[2] <= t[2])}); highest {p[3]} (target <= 15: {ok(p[3] <= 15)}); "
      f"tunes only the table converts {len(set(table) - set(pos))}, only pos {len(set(pos) - set(table))}")
PY
done
