#!/usr/bin/env bash
# Sets everything up, then runs the light-curve example under PyPy.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
PYTHONPATH=build-release/pypy exec /usr/bin/pypy3 examples/light_curve.py "$@"
