#!/usr/bin/env bash
# Builds the libFuzzer target (clang 16 with Debian's libclang-rt-16-dev,
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs it for a bounded
# time: scripts/fuzz.sh [seconds] (default 60; MIRLAXON_FUZZ_SEED picks the
# random seed, fixed by default so that a run can be repeated). Crashes are kept in
# build-fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build_inputs.sh
seconds="${1:-60}"
mkdir -p build-fuzz/corpus build-fuzz/artifacts

# The core's and the C library's sources, the standard and the numerical
# flags, as every build reads them.
mapfile -t core < <(inputs core; inputs c_library); core=("${core[@]/#/src/}")
mapfile -t numerics < <(inputs standard; inputs optimisation; inputs numerics)

# libstdc++ 12 offers std::expected only when __cpp_concepts reports C++20's
# conditionally trivial special members; clang 16 implements them but still
# reports the older value.
clang++-16 "${numerics[@]}" -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -Wno-macro-redefined -D__cpp_concepts=202002L -Isrc \
  tests/fuzz/fuzz_models.cpp "${core[@]}" \
  -o build-fuzz/fuzz_models

# The models write a diagnostic to standard error for every assertion they
# report: keep the log readable.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  build-fuzz/fuzz_models -max_total_time="$seconds" -seed="${MIRLAXON_FUZZ_SEED:-20261208}" -max_len=256 -timeout=10 -print_final_stats=1 \
  -artifact_prefix=build-fuzz/artifacts/ build-fuzz/corpus 2> >(grep -v "^mirlaxon: internal failure\|^assertion\|^  left\|^ right" >&2)
