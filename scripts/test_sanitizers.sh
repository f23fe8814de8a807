#!/usr/bin/env bash
# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer:
# the GoogleTest suites as they are, the Python suites with the ASan runtime
# preloaded into PyPy and CPython (LeakSanitizer on under PyPy).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build_inputs.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRLAXON_SANITIZE=ON \
  -DMIRLAXON_PYPY_EXECUTABLE="$MIRLAXON_PYPY" -DMIRLAXON_CPYTHON_EXECUTABLE="$MIRLAXON_CPYTHON" >/dev/null
cmake --build build-asan
ctest --test-dir build-asan --output-on-failure
