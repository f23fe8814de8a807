#!/usr/bin/env bash
# The package as users get it: a source archive (sdist) made from the tree,
# installed with pip, offline, into fresh virtual environments of PyPy and
# of Debian's CPython (this one with --system-site-packages, the recipe for
# Debian's numpy), then used from outside the source tree: import, calls,
# the stubs beside the module, no build-machine path in the module, the
# array front with its C library and header (the C example built against
# them), no build-machine path in the library, and
# mypy reading the stubs, the module's and the array front's (numpy arrays and scalars accepted, a str where a
# sequence goes rejected).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
source "$repo/scripts/build_inputs.sh"
trap 'rm -rf "$work"' EXIT

# The archive from a copy of the tracked files, so the tree stays clean and
# nothing untracked slips in.
mkdir "$work/source" "$work/dist"
git -C "$repo" ls-files -z | (cd "$repo" && xargs -0 cp --parents -t "$work/source")
(cd "$work/source" && "$MIRLAXON_CPYTHON" setup.py -q sdist --dist-dir "$work/dist" >/dev/null)
archive=("$work"/dist/mirlaxon-*.tar.gz)
echo "sdist: $(basename "${archive[0]}"), $(tar tzf "${archive[0]}" | wc -l) files"

for python in "$MIRLAXON_PYPY" "$MIRLAXON_CPYTHON"; do
  venv="$work/venv-$(basename "$python")"
  options=()
  [ "$python" = "$MIRLAXON_CPYTHON" ] && options=(--system-site-packages)
  "$python" -m venv "${options[@]}" "$venv"
  # Debian's venvs have pip and setuptools but not wheel, which the
  # setuptools backend needs; Debian ships it as a wheel file.
  "$venv/bin/pip" install -q --no-index --find-links /usr/share/python-wheels wheel
  "$venv/bin/pip" install -q --no-build-isolation --no-index "${archive[0]}"
  (cd "$work" && "$venv/bin/python" "$repo/tests/install/check_installed.py")
  (cd "$work" && "$venv/bin/python" "$repo/tests/install/check_installed_arrays.py" "$repo/examples/light_curve.c")
  module=$("$venv/bin/python" -c "import mirlaxon; print(mirlaxon.__file__)")
  library=$("$venv/bin/python" -c "import mirlaxon_arrays; print(mirlaxon_arrays.paths()[0])")
  for built in "$module" "$library"; do
    if strings "$built" | grep -E "$repo|$work|/tmp/|/home/|/root/"; then
      echo "$built holds a path of the build machine" >&2
      exit 1
    fi
  done
done

if command -v mypy >/dev/null; then
  cd "$work"
  check() { mypy --no-incremental --python-executable "$work/venv-python3/bin/python" "$@"; }
  check "$repo/tests/install/typed_usage.py" "$repo/tests/install/typed_numpy.py" "$repo/tests/install/typed_arrays.py"
  # Each wrong argument must be caught by the stubs.
  if check "$repo/tests/install/typed_rejected.py" >"$work/mypy.out"; then
    echo "mypy accepted wrong arguments:" >&2
    exit 1
  fi
  grep -qi 'typed_rejected.py:7: error: Argument 1 to "witt_mao_magnification" has incompatible type "str"' "$work/mypy.out"
  grep -qi 'typed_rejected.py:8: error: Argument 1 to "heyrovsky_magnification" has incompatible type "list\[float\]"' "$work/mypy.out"
  grep -qi 'typed_rejected.py:9: error: No overload variant of "witt_mao_magnification" matches argument types "str"' "$work/mypy.out"
  grep -qi 'typed_rejected.py:10: error: Incompatible types in assignment (expression has type "array\[float\]"' "$work/mypy.out"
  echo "mypy: stubs read from the installed package: ok"
fi
