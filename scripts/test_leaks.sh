#!/usr/bin/env bash
# Leaks: reference counts under Debian's debug CPython, every binding path and
# the whole Python suite repeated, and every path through the array front; and
# soaks under PyPy with resident memory watched (10^5 calls of the module,
# 10^6 of the array front).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build_inputs.sh
cmake -S . -B build-dbg -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRLAXON_PYPY=OFF -DMIRLAXON_TESTS=OFF \
  -DMIRLAXON_CPYTHON_EXECUTABLE="$MIRLAXON_CPYTHON_DEBUG" >/dev/null
cmake --build build-dbg
# The panic paths write a diagnostic per call; only the verdict matters here.
PYTHONPATH=build-dbg/cpython "$MIRLAXON_CPYTHON_DEBUG" tests/leaks/refcounts.py 2>/dev/null
PYTHONPATH=build-dbg/arrays:build-dbg/cpython "$MIRLAXON_CPYTHON_DEBUG" tests/leaks/refcounts_arrays.py 2>/dev/null
PYTHONPATH=build-release/pypy "$MIRLAXON_PYPY" tests/leaks/soak.py
PYTHONPATH=build-release/arrays "$MIRLAXON_PYPY" tests/leaks/soak_arrays.py
