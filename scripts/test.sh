#!/usr/bin/env bash
# Sets everything up, then runs every test: the GoogleTest suite of the core
# and the Python suite under PyPy and under CPython.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
ctest --test-dir build-release --output-on-failure "$@"
