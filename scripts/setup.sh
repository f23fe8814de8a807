#!/usr/bin/env bash
# Installs what the build needs on Debian 12 (only where something is
# missing; MIRLAXON_EXTRA_PACKAGES names more) and builds the core, the tests and the extension modules for PyPy
# and CPython into ./build-release.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build_inputs.sh

packages=(cmake ninja-build g++ libgtest-dev pypy3 pypy3-dev python3 python3-dev
  ${MIRLAXON_EXTRA_PACKAGES:-})
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DMIRLAXON_PYPY_EXECUTABLE="$MIRLAXON_PYPY" -DMIRLAXON_CPYTHON_EXECUTABLE="$MIRLAXON_CPYTHON" >/dev/null
cmake --build build-release
