#!/usr/bin/env bash
# Sets everything up, then runs every test: the GoogleTest suites of the
# kernels and the models and the Python suite under PyPy and under CPython,
# then again under AddressSanitizer and UndefinedBehaviorSanitizer; the
# GoogleTest suites with the kernels' scalar code only; reference counts
# under debug CPython and a soak under PyPy; a bounded fuzzing run; and pip
# installs into fresh virtual environments of both interpreters.
set -euo pipefail
cd "$(dirname "$0")/.."
MIRLAXON_EXTRA_PACKAGES="python3-cffi python3-numpy python3-scipy python3-distributed python3-dbg mypy pypy3-venv python3-venv python3-wheel-whl
  python3-pip-whl python3-setuptools-whl clang-16 libclang-rt-16-dev" scripts/setup.sh
ctest --test-dir build-release --output-on-failure "$@"
# The kernels without their AVX2 lanes: the scalar code alone, through the
# GoogleTest suites and the C library with its example (no modules).
cmake -S . -B build-scalar -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRLAXON_VECTOR_LANES=OFF \
  -DMIRLAXON_PYPY=OFF -DMIRLAXON_CPYTHON=OFF >/dev/null
cmake --build build-scalar --target mirlaxon_kernel_tests mirlaxon_model_tests mirlaxon_c example_light_curve_c
ctest --test-dir build-scalar --output-on-failure
scripts/test_sanitizers.sh
scripts/test_leaks.sh
scripts/fuzz.sh 60
scripts/test_install.sh
echo "all tests passed"
