#!/usr/bin/env bash
# Builds kry twice (plain with warnings as errors, and with AddressSanitizer and
# UndefinedBehaviorSanitizer), runs every test in both, then gives each fuzz
# target a short run. Ends with one summary line; any failure fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests
jobs=$(nproc)

builds=0 passed=0
for config in "build" "build-asan -DKRY_SANITIZE=ON"; do
  read -r dir flags <<< "$config"
  echo "== $dir"
  # Tests are named on every configure: a build directory made by example.sh
  # has them off in its cache.
  # shellcheck disable=SC2086
  cmake -S . -B "$dir" -DKRY_TESTS=ON -DKRY_WERROR=ON $flags > /dev/null
  cmake --build "$dir" -j"$jobs" > /dev/null
  log=$dir/ctest.log
  (cd "$dir" && ctest --output-on-failure --no-tests=error -j"$jobs") 2>&1 | tee "$log" | grep -v '^ *Start ' \
    | grep -Ev '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed ' || true
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  [[ -n $summary ]] || { echo "kry tests: ctest gave no summary in $dir" >&2; exit 1; }
  failed=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<< "$summary")
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<< "$summary")
  if [[ $failed -ne 0 ]] || grep -q 'Not Run\|\*\*\*Skipped\|Disabled' "$log"; then
    echo "kry tests: $dir: $failed of $total failed (or some were not run)" >&2
    exit 1
  fi
  builds=$((builds + 1)) passed=$((passed + total))
done

echo "== fuzz (short run)"
fuzzlog=$(mktemp)
trap 'rm -f "$fuzzlog"' EXIT
scripts/fuzz.sh quick | tee "$fuzzlog"
targets=$(grep -c '^fuzz_[a-z]*: [0-9]* runs' "$fuzzlog")
echo "kry tests: $builds builds, $passed tests passed, 0 failed; fuzz $targets targets"
