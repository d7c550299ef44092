#!/usr/bin/env bash
# Builds kry in two trees, both with warnings as errors: plain with g++, and with
# clang, AddressSanitizer, UndefinedBehaviorSanitizer and the libFuzzer targets
# together; runs every test in both with ctest, then gives each fuzz target of
# the second tree a short run. The first failing step fails the script with its
# status; a run that gets through ends with one summary line.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests
jobs=$(nproc)

builds=0 passed=0
for config in "build" "build-check -DCMAKE_CXX_COMPILER=clang++ -DKRY_SANITIZE=ON -DKRY_FUZZ=ON"; do
  read -r dir flags <<< "$config"
  echo "== $dir"
  # Tests are named on every configure: a build directory made by example.sh
  # has them off in its cache.
  # shellcheck disable=SC2086
  cmake -S . -B "$dir" -DKRY_TESTS=ON -DKRY_WERROR=ON $flags > /dev/null
  cmake --build "$dir" -j"$jobs" > /dev/null
  # Passed tests are not listed; ctest's status decides, its summary stays.
  (cd "$dir" && ctest --output-on-failure --no-tests=error -j"$jobs") 2>&1 \
    | grep -Ev '^ *(Start +[0-9]+: |[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed )'
  builds=$((builds + 1))
  passed=$((passed + $(cd "$dir" && ctest -N | sed -n 's/^Total Tests: //p')))
done

echo "== fuzz (short run)"
FUZZ_BUILD=build-check scripts/fuzz.sh quick | tee build/fuzz-quick.log
fuzzed=$(grep -c '^fuzz_[a-z]*: [0-9]* runs' build/fuzz-quick.log)
echo "kry tests: $builds builds, $passed tests passed, 0 failed; fuzz $fuzzed targets"
