#!/usr/bin/env bash
# Sets everything up, then runs the light-curve example: the table under
# PyPy, and the plot (build-release/light_curve.png) under Debian's CPython,
# where matplotlib is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
MIRLAXON_EXTRA_PACKAGES="python3-matplotlib" scripts/setup.sh >/dev/null
PYTHONPATH=build-release/pypy /usr/bin/pypy3 examples/light_curve.py --plot build-release/light_curve.png
PYTHONPATH=build-release/cpython /usr/bin/python3 examples/light_curve.py --no-table \
  --plot build-release/light_curve.png
