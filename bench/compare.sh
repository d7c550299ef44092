#!/usr/bin/env bash
# Compares the converted tunes of two versions of kry byte for byte: every
# corpus tune alone in a file, under no option, "f", "m -2" and "b4 3", and the
# whole corpus in one file under these and skip and x=, with
# the kry of git revision REV against the kry of the working tree. Not a test:
# it prints each tune whose converted tune differs and a last line with the counts.
#
# usage: bench/compare.sh REV
# Builds REV in a temporary work tree and the working tree in build-bench/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
rev=${1:?usage: bench/compare.sh REV}
work=$(mktemp -d)
trap 'git -C "$here" worktree remove --force "$work/old" > /dev/null 2>&1 || true; rm -rf "$work"' EXIT

git -C "$here" worktree add --detach "$work/old" "$rev" > /dev/null 2>&1
for tree in "$work/old" "$here"; do
  cmake -S "$tree" -B "$tree/build-bench" -DCMAKE_BUILD_TYPE=Release -DKRY_TESTS=OFF > /dev/null
  cmake --build "$tree/build-bench" -j"$(nproc)" --target kry > /dev/null
done

mkdir "$work/tunes" "$work/bin"
ln -s /bin/true "$work/bin/abctab2ps"
for file in "$here"/tests/corpus/*.abc; do "$here/scripts/split-tunes.sh" "$file" "$work/tunes"; done

# The converted tune (TEMP.ABC, or KRY97.ABC when the run stopped) and what the run said.
convert() {  # convert KRY TUNE OPTIONS...
  local kry=$1 tune=$2 dir
  shift 2
  dir=$(mktemp -d -p "$work")
  cp "$tune" "$dir/t.abc"
  (cd "$dir" && PATH="$work/bin:$PATH" "$kry" t debug "$@" < /dev/null > out 2>&1 || true)
  cat "$dir/TEMP.ABC" "$dir/KRY97.ABC" "$dir/out" 2> /dev/null
  rm -rf "$dir"
}

same=0 differ=0
for tune in "$work"/tunes/*.abc; do
  for options in "" "f" "m -2" "b4 3"; do
    # shellcheck disable=SC2086
    if cmp -s <(convert "$work/old/build-bench/kry" "$tune" $options) <(convert "$here/build-bench/kry" "$tune" $options); then
      same=$((same + 1))
    else
      differ=$((differ + 1))
      echo "differs: $(basename "$tune") with options \"$options\""
    fi
  done
done
# The whole corpus four times over in one file: a collection large enough to
# be converted in chunks on several threads.
for _ in 1 2 3 4; do cat "$here"/tests/corpus/*.abc; done > "$work/collection.abc"
for options in "" "f" "skip" "skip f" "skip m -2" "skip b4 3 f" "x=1-20 skip f"; do
  # shellcheck disable=SC2086
  if cmp -s <(convert "$work/old/build-bench/kry" "$work/collection.abc" $options) \
            <(convert "$here/build-bench/kry" "$work/collection.abc" $options); then
    same=$((same + 1))
  else
    differ=$((differ + 1))
    echo "differs: the whole corpus in one file with options \"$options\""
  fi
done
echo "compare.sh: $same runs the same, $differ differ (old: $rev)"
