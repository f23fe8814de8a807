# Sourced by the scripts: the entries of src/build_inputs.txt, the list every
# build reads ("inputs kind" prints one entry a line), and the interpreters
# named there.
mirlaxon_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
inputs() { sed -n "s/^$1: *//p" "$mirlaxon_root/src/build_inputs.txt"; }
MIRLAXON_PYPY="$(inputs pypy)"
MIRLAXON_CPYTHON="$(inputs cpython)"
MIRLAXON_CPYTHON_DEBUG="$(inputs cpython_debug)"
