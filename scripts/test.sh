#!/usr/bin/env bash
# Builds kry twice (plain, and with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs every test in both, then gives each fuzz target a short run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests
jobs=$(nproc)

for config in "build" "build-asan -DKRY_SANITIZE=ON"; do
  read -r dir flags <<< "$config"
  echo "== $dir"
  # shellcheck disable=SC2086
  cmake -S . -B "$dir" -DKRY_WERROR=ON $flags > /dev/null
  cmake --build "$dir" -j"$jobs" > /dev/null
  (cd "$dir" && ctest --output-on-failure -j"$jobs")
done

if [[ -x scripts/fuzz.sh ]]; then
  echo "== fuzz (short run)"
  scripts/fuzz.sh quick
fi
