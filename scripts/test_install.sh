#!/usr/bin/env bash
# Installs the package with pip, offline, into fresh virtual environments of
# PyPy and of Debian's CPython, then uses it from outside the source tree:
# import, calls, the stubs beside the module, and mypy reading them.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# pip builds in the source folder: give it a copy, so the tree stays clean.
mkdir "$work/source"
cp -r "$repo/src" "$repo/setup.py" "$repo/pyproject.toml" "$repo/README.md" "$work/source/"

for python in /usr/bin/pypy3 /usr/bin/python3; do
  venv="$work/venv-$(basename "$python")"
  "$python" -m venv "$venv"
  # Debian's venvs have pip and setuptools but not wheel, which the
  # setuptools backend needs; Debian ships it as a wheel file.
  "$venv/bin/pip" install -q --no-index --find-links /usr/share/python-wheels wheel
  "$venv/bin/pip" install -q --no-build-isolation --no-index "$work/source"
  (cd "$work" && "$venv/bin/python" "$repo/tests/install/check_installed.py")
done

if command -v mypy >/dev/null; then
  cd "$work"
  mypy --no-incremental --python-executable "$work/venv-python3/bin/python" \
    "$repo/tests/install/typed_usage.py"
  # A list where a number belongs must be caught by the stubs.
  if mypy --no-incremental --python-executable "$work/venv-python3/bin/python" \
    -c "import mirlaxon; mirlaxon.heyrovsky_magnification([0.5], 0.3, 1.0, 1.0)" >"$work/mypy.out"; then
    echo "mypy accepted a list for heyrovsky_magnification's l" >&2
    exit 1
  fi
  grep -qi 'incompatible type "list\[float\]"; expected "float"' "$work/mypy.out"
  echo "mypy: stubs read from the installed package: ok"
fi
