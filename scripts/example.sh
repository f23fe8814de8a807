#!/usr/bin/env bash
# Sets everything up, then runs the light-curve example: the table under
# PyPy, and the plot (build-release/light_curve.png) under Debian's CPython,
# where matplotlib is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build_inputs.sh
MIRLAXON_EXTRA_PACKAGES="python3-matplotlib" scripts/setup.sh >/dev/null
PYTHONPATH=build-release/pypy "$MIRLAXON_PYPY" examples/light_curve.py --plot build-release/light_curve.png
PYTHONPATH=build-release/cpython "$MIRLAXON_CPYTHON" examples/light_curve.py --no-table \
  --plot build-release/light_curve.png
