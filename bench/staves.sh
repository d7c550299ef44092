#!/usr/bin/env bash
# Whether the two staves of every corpus tune agree on the page: each tune
# alone in a file, converted by kry under no option, "f", "m -2" and
# "m -2 f", and typeset by our abctab2ps (one tune a page). Not a test: it
# prints, for each option set,
#   - the lines abctab2ps finds out of time (" runs ... than the melody");
#   - the systems and pages on which the bar lines of the melody staff and
#     of the tab staff do not stand at the same x, read from the PostScript
#     abcm2ps writes: a bar line is drawn there by "H X Y bar" (or thbar,
#     dotbar) in page units, at the Y of the bottom of its staff, and each
#     system defines where its tab staff stands ("/scst1{gsave 0 Y T ...");
#   - the tab events that do not sound a note of the melody event above them
#     (read from TEMP.ABC: the melody's notes after the key, the accidentals
#     of the bar in their own octave, octave= and the transposition, against
#     the fret plus the open note of the course), and the tab lines whose
#     events do not pair with the melody's; notes below the lowest course
#     ("x") are not counted.
# The tunes kry refuses (a note out of reach, several voices) are counted
# apart.
#
# usage: bench/staves.sh [BUILD_DIR]      (default: build; kry and abctab2ps)
# STAVES_DEBUG=1 names each event off pitch and each line out of step on the
# error stream.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
for prog in "$build/kry" "$build/abctab2ps"; do
  [[ -x $prog ]] || { echo "staves.sh: $prog is not built" >&2; exit 1; }
done
command -v abcm2ps > /dev/null || { echo "staves.sh: abcm2ps is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/tunes" "$work/stub" "$work/run"
printf '#!/bin/sh\nexit 0\n' > "$work/stub/abctab2ps"
chmod +x "$work/stub/abctab2ps"
for book in "$here"/tests/corpus/*.abc; do "$here/scripts/split-tunes.sh" "$book" "$work/tunes"; done

for options in "" "f" "m -2" "m -2 f"; do
  set=$work/set
  rm -rf "$set"
  mkdir "$set"
  : > "$set/all.abc"
  : > "$set/names"
  for tune in "$work"/tunes/*.abc; do
    rm -f "$work/run/TEMP.ABC"
    cp "$tune" "$work/run/t.abc"
    # shellcheck disable=SC2086
    if (cd "$work/run" && PATH="$work/stub:$PATH" "$build/kry" t debug $options < /dev/null > /dev/null 2>&1); then
      echo "$(basename "$tune" .abc) $(wc -l < "$set/all.abc")" >> "$set/names"
      cat "$work/run/TEMP.ABC" >> "$set/all.abc"
    else
      echo "$(basename "$tune" .abc)" >> "$set/refused"
    fi
  done
  (cd "$set" && "$build/abctab2ps" all.abc -1 -O all > /dev/null 2> said) || true
  python3 - "$set" "$options" "$(wc -l < "$set/names")" "$(cat "$set/refused" 2> /dev/null | wc -l)" <<'PY'
import os, re, sys
from bisect import bisect_right

folder, options, kept, refused = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
names, starts = [], []
for line in open(f"{folder}/names"):
    name, start = line.split()
    names.append(name)
    starts.append(int(start))

def tune_of_line(n):  # n counts from 1 in all.abc
    return names[bisect_right(starts, n - 1) - 1]

# ---- time: what abctab2ps says ----
late = {}
for line in open(f"{folder}/said", encoding="latin-1"):
    m = re.match(r"abctab2ps: all\.abc line (\d+): the tab staff runs", line)
    if m:
        late.setdefault(tune_of_line(int(m.group(1))), 0)
        late[tune_of_line(int(m.group(1)))] += 1

# ---- bar lines: the PostScript ----
ps = open(f"{folder}/all.ps", encoding="latin-1").read()
BAR = re.compile(r"(-?[\d.]+) (-?[\d.]+) (-?[\d.]+) (?:bar|thbar|dotbar)\b")
pages = ps.split("%%Page: ")[1:]
tune_index, bad_pages, systems, bad_systems, bad_tunes = -1, 0, 0, 0, {}
for page in pages:
    tune_index += page.count("% --- xref ")
    page_bad = False
    for system in page.split("/scst1{gsave 0 ")[1:]:
        tab_y = float(system.split()[0])
        melody, tab = [], []
        for h, x, y in BAR.findall(system):
            if float(x) < 1:
                continue  # the line that opens the system joins both staves
            (tab if abs(float(y) - tab_y) < 0.11 else melody).append(round(float(x), 1))
        systems += 1
        if sorted(melody) != sorted(tab):
            bad_systems += 1
            page_bad = True
            bad_tunes[names[tune_index]] = bad_tunes.get(names[tune_index], 0) + 1
    bad_pages += page_bad

# ---- pitch: TEMP.ABC, melody line against tab line ----
DECORATIONS = set("""trill trill( trill) lowermordent uppermordent mordent pralltriller roll turn turnx
invertedturn invertedturnx arpeggio > accent emphasis fermata invertedfermata tenuto 0 1 2 3 4 5 + plus
snap slide wedge upbow downbow open thumb breath pppp ppp pp p mp mf f ff fff ffff sfz crescendo( <(
crescendo) <) diminuendo( >( diminuendo) >) segno coda D.S. D.C. dacoda dacapo fine shortphrase
mediumphrase longphrase""".split())
SHARPS, FLATS = "FCGDAEB", "BEADGCF"
MODES = {"": 0, "maj": 0, "ion": 0, "m": -3, "min": -3, "aeo": -3, "mix": -1, "dor": -2, "phr": -4, "lyd": 1, "loc": -5}
TONICS = {"C": 0, "G": 1, "D": 2, "A": 3, "E": 4, "B": 5, "F": -1}
STEP = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}
OPEN = {"guitar": [76, 71, 67, 62, 57, 52], "mandolin": [76, 69, 62, 55]}
LETTERS = "abcdefghiklmnopq"

def signature(value):
    """The accidental the key of a K: value puts on each letter."""
    m = re.match(r"\s*([A-G])([#b]?)\s*([A-Za-z]*)", value)
    if not m:
        return {}
    count = TONICS[m.group(1)] + {"#": 7, "b": -7, "": 0}[m.group(2)] + MODES.get(m.group(3).lower()[:3], 0)
    return {l: 1 for l in SHARPS[:count]} if count > 0 else {l: -1 for l in FLATS[:-count]}

def octave_of(value, old):
    m = re.search(r"(?:^|\s)octave=([+-]?\d+)", value)
    return int(m.group(1)) if m else old

class Melody:
    def __init__(self):
        self.key, self.octave, self.carried, self.overlay, self.symbols = {}, 0, {}, False, set()

    def note(self, s, i):
        """The pitch of the note at i (accidentals first) and the position after it."""
        acc = re.match(r"\^\^|\^|__|_|=", s[i:])
        j = i + (len(acc.group(0)) if acc else 0)
        letter = s[j]
        j += 1
        marks = re.match(r"[,']*", s[j:]).group(0)
        j += len(marks)
        octave = (1 if letter.islower() else 0) + marks.count("'") - marks.count(",")
        where = (letter.upper(), octave)
        if acc:
            self.carried[where] = {"^^": 2, "^": 1, "=": 0, "_": -1, "__": -2}[acc.group(0)]
        shift = self.carried.get(where, self.key.get(letter.upper(), 0))
        pitch = 60 + STEP[letter.upper()] + 12 * octave + shift + 12 * self.octave
        j += len(re.match(r"(?:[1-9/][0-9/]*)?", s[j:]).group(0))
        return pitch, j

    def events(self, s):
        """The events of a melody line: a set of pitches, or None for a rest."""
        out, i = [], 0
        while i < len(s):
            c = s[i]
            if self.overlay:
                if c == "|" or s.startswith("::", i) or s.startswith(":|", i):
                    self.overlay = False
                    continue
                i += 1
                continue
            if c == "%":
                break
            if c in '"{':
                close = s.find('"' if c == '"' else "}", i + 1)
                i = len(s) if close < 0 else close + 1
            elif c == "&":
                self.overlay = True
                i += 1
            elif c == "|" or s.startswith("::", i):
                self.carried = {}
                i += 1
            elif c == "!":
                # a decoration when its partner follows with no blank and no bar line between
                close = s.find(c, i + 1)
                i = close + 1 if close > 0 and not re.search(r"[ |]", s[i + 1:close]) else i + 1
            elif c == "+":
                # abcm2ps reads to the next "+", or to the end of the line
                close = s.find(c, i + 1)
                inside = s[i + 1:close]
                if close > 0 and inside not in DECORATIONS and inside not in self.symbols \
                        and re.fullmatch(r"[A-Ga-g^=_,'0-9/ -]*[A-Ga-g][A-Ga-g^=_,'0-9/ -]*", inside):
                    out.append(self.chord(inside))
                i = len(s) if close < 0 else close + 1
            elif c == "[" and re.match(r"\[[A-Za-z]:", s[i:]):
                close = s.find("]", i)
                close = len(s) if close < 0 else close
                if s[i + 1] == "K":
                    self.key_field(s[i + 3:close])
                i = close + 1
            elif c == "[" and i + 1 < len(s) and s[i + 1] not in "|123456789":
                close = s.find("]", i)
                close = len(s) if close < 0 else close
                out.append(self.chord(s[i + 1:close]))
                i = close + 1
            elif c in "^=_" or c in "ABCDEFGabcdefg":
                if c in "^=_" and not re.match(r"[\^=_]+[A-Ga-g]", s[i:]):
                    i += 1
                    continue
                pitch, i = self.note(s, i)
                out.append({pitch})
            elif c in "zx":
                out.append(None)
                i += 1
            else:
                i += 1
        return out

    def chord(self, inside):
        pitches, k = set(), 0
        while k < len(inside):
            if inside[k] in "!+":
                close = inside.find(inside[k], k + 1)
                k = len(inside) if close < 0 else close + 1
            elif re.match(r"[\^=_]*[A-Ga-g]", inside[k:]):
                pitch, k = self.note(inside, k)
                pitches.add(pitch)
            else:
                k += 1
        return pitches

    def key_field(self, value):
        self.key = signature(value) if re.match(r"\s*[A-G]", value) else {} if value.strip().startswith("none") else self.key
        self.octave = octave_of(value, self.octave)

def tab_events(s, course_open, transpose):
    """The events of a tab line: a set of pitches (less the transposition), "x", or None for a rest."""
    out = []
    s = re.sub(r"\[[A-Z]:[^\]]*\]", " ", s)
    for chord, single, rest in re.findall(r"\[([a-q,]+)[0-9/]*\]|([a-q,]+)|([zx])", s):
        if rest:
            out.append("x" if rest == "x" else None)
            continue
        frets = chord or single
        out.append({course_open[k] + LETTERS.index(f) - transpose for k, f in enumerate(frets) if f != ","})
    return out

transpose = -2 if "-2" in options.split() else 0
text = open(f"{folder}/all.abc", encoding="latin-1").read().replace("\r", "")
off_pitch, out_of_step, events, pitch_tunes = 0, 0, 0, {}
tune, melody, course_open, pending, file_symbols = None, Melody(), OPEN["guitar"], None, set()
for n, line in enumerate(text.split("\n"), 1):
    if line.startswith("X:"):
        tune, melody = tune_of_line(n), Melody()
    elif line.startswith("K:") and not line.startswith("K:none"):
        melody.key_field(line[2:])
    elif line.startswith("U:"):
        m = re.search(r"=\s*[!+]([^!+]*)[!+]", line)
        if m:
            melody.symbols.add(m.group(1))
    elif line.startswith("V:G"):
        course_open = OPEN["mandolin" if "spanish4tab" in line else "guitar"]
    elif line.startswith("V:") and not line.startswith("V:M"):
        melody.octave = octave_of(line, melody.octave)
    elif line.startswith("[V:M]"):
        pending = melody.events(line[5:])
    elif line.startswith("[V:G]") and pending is not None:
        tab = tab_events(line[5:], course_open, transpose)
        if len(tab) != len(pending):
            if os.environ.get("STAVES_DEBUG"):
                print(f"  out of step: {tune} line {n}: {len(pending)} melody, {len(tab)} tab events", file=sys.stderr)
            out_of_step += 1
            pitch_tunes[tune] = pitch_tunes.get(tune, 0) + 1
        else:
            for m, t in zip(pending, tab):
                events += 1
                if t == "x" or (t is None and m is None):
                    continue
                if t is None or m is None or not t or not t <= m:
                    if os.environ.get("STAVES_DEBUG"):
                        print(f"  off: {tune} line {n}: melody {m} tab {t}", file=sys.stderr)
                    off_pitch += 1
                    pitch_tunes[tune] = pitch_tunes.get(tune, 0) + 1
        pending = None

label = f'"{options}"'
print(f"{label:9} tunes {kept} typeset, {refused} refused; time: {sum(late.values())} lines in {len(late)} tunes; "
      f"bar lines: {bad_systems} of {systems} systems, {bad_pages} of {len(pages)} pages, in {len(bad_tunes)} tunes; "
      f"pitch: {off_pitch} of {events} events off, {out_of_step} tab lines out of step, in {len(pitch_tunes)} tunes")
for title, found in (("time", late), ("bar lines", bad_tunes), ("pitch", pitch_tunes)):
    if found:
        print(f"  {title}: " + " ".join(sorted(found)))
PY
done
