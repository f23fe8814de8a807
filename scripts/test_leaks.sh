#!/usr/bin/env bash
# Leaks: reference counts under Debian's debug CPython, every binding path and
# the whole Python suite repeated; and a 10^5-call soak under PyPy with its
# resident memory watched.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build_inputs.sh
cmake -S . -B build-dbg -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRLAXON_PYPY=OFF -DMIRLAXON_TESTS=OFF \
  -DMIRLAXON_CPYTHON_EXECUTABLE="$MIRLAXON_CPYTHON_DEBUG" >/dev/null
cmake --build build-dbg
# The panic paths write a diagnostic per call; only the verdict matters here.
PYTHONPATH=build-dbg/cpython "$MIRLAXON_CPYTHON_DEBUG" tests/leaks/refcounts.py 2>/dev/null
PYTHONPATH=build-release/pypy "$MIRLAXON_PYPY" tests/leaks/soak.py
