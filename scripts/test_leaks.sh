#!/usr/bin/env bash
# Leaks: reference counts under Debian's debug CPython, every binding path and
# the whole Python suite repeated, and every path through the array front; and
# soaks under PyPy with resident memory watched (10^5 calls of the module,
# 10^6 of the array front).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-dbg -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRLAXON_PYPY=OFF -DMIRLAXON_TESTS=OFF \
  -DMIRLAXON_CPYTHON_EXECUTABLE=/usr/bin/python3-dbg >/dev/null
cmake --build build-dbg
# The panic paths write a diagnostic per call; only the verdict matters here.
PYTHONPATH=build-dbg/cpython /usr/bin/python3-dbg tests/leaks/refcounts.py 2>/dev/null
PYTHONPATH=build-dbg/arrays:build-dbg/cpython /usr/bin/python3-dbg tests/leaks/refcounts_arrays.py 2>/dev/null
PYTHONPATH=build-release/pypy /usr/bin/pypy3 tests/leaks/soak.py
PYTHONPATH=build-release/arrays /usr/bin/pypy3 tests/leaks/soak_arrays.py
