#!/usr/bin/env bash
# Installs the Debian packages kry needs that this machine lacks.
#   scripts/setup.sh          what building kry and typesetting a tune need
#   scripts/setup.sh --tests  that, and what the tests and the fuzzers need
set -euo pipefail

packages=(cmake g++ make abcm2ps abcmidi ghostscript)
if [[ "${1:-}" == "--tests" ]]; then
  packages+=(libgtest-dev clang libclang-rt-dev poppler-utils)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq < /dev/null
$sudo apt-get install -y -qq "${missing[@]}" < /dev/null > /dev/null
