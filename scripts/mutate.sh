#!/usr/bin/env bash
# Mutation testing: does the test suite notice small changes to the code?
# Makes one small change at a time to a copy of the sources (flip a
# comparison, change a constant by one, swap && and ||, negate a condition,
# delete a statement), rebuilds, runs ctest, and says whether a test failed
# (the mutant is killed) or not (it survived). A development tool, not a test.
#
#   scripts/mutate.sh [COUNT] [NUMBER...]
#     COUNT    how many mutants to sample (default 80), spread evenly over
#              every place in src/ where a change can be made
#     NUMBER   run only these mutants of the sample (1-based), to check one again
#   scripts/mutate.sh --list [COUNT]   print the sample without running it
#
# The sample depends only on the sources, so the same sources give the same
# mutants: run it before and after changing the tests and compare the scores.
# Works in a temporary copy of the working tree; the tree itself is never touched.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

list=0
if [[ ${1:-} == --list ]]; then list=1; shift; fi
count=${1:-80}
shift || true
only=("$@")

sites() {  # prints the sample, one mutant a line: NUMBER<TAB>FILE<TAB>LINE<TAB>WHAT<TAB>NEW LINE
  python3 - "$1" "$count" <<'PY'
import os, re, sys
root, count = sys.argv[1], int(sys.argv[2])

def mask(line):
    """The line with string and character literals and a trailing // comment blanked."""
    out, i, n = [], 0, len(line)
    while i < n:
        c = line[i]
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            out.append(c + "_" * (min(j, n) - i - 1) + (c if j < n else ""))
            i = j + 1
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
            i += 1
    return "".join(out).ljust(n)[:n]

def matching(text, open_at):
    depth = 0
    for k in range(open_at, len(text)):
        if text[k] == "(":
            depth += 1
        elif text[k] == ")":
            depth -= 1
            if depth == 0:
                return k
    return -1

FLIPS = {" == ": " != ", " != ": " == ", " <= ": " > ", " >= ": " < ", " < ": " >= ", " > ": " <= "}
found = []
for dirpath, _, files in sorted(os.walk(os.path.join(root, "src"))):
    for name in sorted(files):
        if not name.endswith((".cc", ".h")):
            continue
        path = os.path.join(dirpath, name)
        rel = os.path.relpath(path, root)
        in_comment = in_raw = False
        for number, line in enumerate(open(path, encoding="utf-8").read().split("\n"), 1):
            stripped = line.strip()
            if in_raw:  # inside a raw string: text, not code
                in_raw = ')"' not in line
                continue
            if 'R"(' in line and ')"' not in line.split('R"(', 1)[1]:
                in_raw = True
                continue
            if in_comment:
                in_comment = "*/" not in stripped
                continue
            if stripped.startswith("/*"):
                in_comment = "*/" not in stripped
                continue
            if not stripped or stripped.startswith(("//", "#")):
                continue
            m = mask(line)
            if "template" in m or "operator" in m:
                continue
            for old, new in FLIPS.items():
                for at in [k.start() for k in re.finditer(re.escape(old), m)]:
                    found.append((rel, number, f"{old.strip()} -> {new.strip()}", line[:at] + new + line[at + len(old):]))
            for old, new in ((" && ", " || "), (" || ", " && ")):
                for at in [k.start() for k in re.finditer(re.escape(old), m)]:
                    found.append((rel, number, f"{old.strip()} -> {new.strip()}", line[:at] + new + line[at + len(old):]))
            for k in re.finditer(r"(?<![\w.'])(\d+)(?![\w.'])", m):
                value = int(k.group(1))
                found.append((rel, number, f"{value} -> {value + 1}", line[:k.start()] + str(value + 1) + line[k.end():]))
            for k in re.finditer(r"\b(if|while) \(", m):
                close = matching(m, k.end() - 1)
                if close > 0:
                    inner = line[k.end():close]
                    found.append((rel, number, f"negate {k.group(1)}", line[:k.end()] + "!(" + inner + ")" + line[close:]))
            if (stripped.endswith(";") and m.count("(") == m.count(")")
                    and re.match(r"^\s*(\+\+|--)?[A-Za-z_][\w.>:-]*(\[[^\]]*\])?\s*(\(|\+\+|--|[-+*/|&]?= )", m)
                    and not re.match(r"^\s*(return|throw|break|continue|case|default|using|namespace)\b", m)):
                found.append((rel, number, "delete statement", line[: len(line) - len(line.lstrip())] + ";"))
total = len(found)
picked = sorted({i * total // count for i in range(min(count, total))})
for n, index in enumerate(picked, 1):
    rel, number, what, new = found[index]
    print(f"{n}\t{rel}\t{number}\t{what}\t{new}")
PY
}

if [[ $list -eq 1 ]]; then
  sites "$here" | cut -f1-4
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$here" && git ls-files -co --exclude-standard -z | tar --null -T - -cf -) | tar -xf - -C "$work"
sites "$work" > "$work/mutants.tsv"
echo "mutants in the sample: $(wc -l < "$work/mutants.tsv") (of COUNT=$count)"

build=$work/build
cmake -S "$work" -B "$build" -DKRY_TESTS=ON > /dev/null
cmake --build "$build" -j"$(nproc)" > /dev/null
if ! (cd "$build" && ctest -j"$(nproc)" --timeout 120 > /dev/null 2>&1); then
  echo "mutate.sh: the unchanged sources fail their tests; fix that first" >&2
  exit 1
fi

killed=0 compiled=0
while IFS=$'\t' read -r number file line what newline; do
  if [[ ${#only[@]} -gt 0 && ! " ${only[*]} " =~ " $number " ]]; then continue; fi
  cp "$work/$file" "$work/$file.orig"
  python3 - "$work/$file" "$line" "$newline" <<'PY'
import sys
path, number, new = sys.argv[1], int(sys.argv[2]), sys.argv[3]
lines = open(path, encoding="utf-8").read().split("\n")
lines[number - 1] = new
open(path, "w", encoding="utf-8").write("\n".join(lines))
PY
  if ! timeout 600 cmake --build "$build" -j"$(nproc)" > /dev/null 2>&1; then
    result="not compiled"
  else
    compiled=$((compiled + 1))
    if (cd "$build" && timeout 900 ctest -j"$(nproc)" --timeout 120 --stop-on-failure > /dev/null 2>&1); then
      result="SURVIVED"
    else
      result="killed"
      killed=$((killed + 1))
    fi
  fi
  mv "$work/$file.orig" "$work/$file"
  # The copy is older than the mutant's objects: without a newer time the
  # build keeps the mutant in, and every later mutant is measured with it.
  touch "$work/$file"
  printf '%3s %-12s %s:%s  %s\n' "$number" "$result" "$file" "$line" "$what"
done < "$work/mutants.tsv"
echo "mutation score: $killed killed of $compiled compiled"
