#!/usr/bin/env bash
# Sets everything up, then runs every test: the GoogleTest suite of the core
# and the Python suite under PyPy and under CPython; the same under
# AddressSanitizer and UndefinedBehaviorSanitizer; reference counts under
# debug CPython and a soak under PyPy; a bounded fuzzing run; and pip
# installs into fresh virtual environments of both interpreters.
set -euo pipefail
cd "$(dirname "$0")/.."
MIRLAXON_EXTRA_PACKAGES="python3-cffi python3-numpy python3-scipy python3-distributed python3-dbg mypy pypy3-venv python3-venv python3-wheel-whl
  python3-pip-whl python3-setuptools-whl clang-16 libclang-rt-16-dev" scripts/setup.sh
ctest --test-dir build-release --output-on-failure "$@"
scripts/test_sanitizers.sh
scripts/test_leaks.sh
scripts/fuzz.sh 60
scripts/test_install.sh
echo "all tests passed"
