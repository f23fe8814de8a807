"""Builds the extension module with the interpreter's own compiler settings,
from the same sources and numerical flags as the CMake build, and installs
its type stubs beside it: mirlaxon.pyi with py.typed, and the stub-only
package mirlaxon-stubs, the form mypy reads."""
import os

from setuptools import Extension, setup
from setuptools.command.build_py import build_py

def build_inputs(kind):
    """The entries of one kind in src/build_inputs.txt, the list every build reads."""
    prefix = kind + ":"
    with open(os.path.join("src", "build_inputs.txt"), encoding="utf-8") as lines:
        return [line[len(prefix):].strip() for line in lines if line.startswith(prefix)]


SOURCES = [os.path.join("src", name) for name in build_inputs("core") + build_inputs("binding")]
(VERSION,) = build_inputs("version")
# The tree's root, for the prefix map and the export map (pip builds in a
# temporary copy of the tree, and runs this file from its root).
ROOT = os.path.abspath(os.curdir)


def flags(kind):
    """The flags of one kind, {source} standing for the tree's root."""
    return [flag.replace("{source}", ROOT) for flag in build_inputs(kind)]


# The flags every build shares: the standard, the numerics that keep results
# bit-reproducible, hidden symbols, sources named relative to the tree.
COMPILE_FLAGS = (flags("standard") + flags("optimisation") + flags("numerics") + flags("warnings") + flags("visibility")
                 + flags("prefix_map"))
# PyInit_mirlaxon is the only symbol the module exports.
LINK_FLAGS = flags("module_link")


STUBS = "src/binding/mirlaxon-stubs"


class BuildWithStubs(build_py):
    """The stub-only package, plus the same stub as mirlaxon.pyi with
    py.typed at the top level, beside the module."""

    def run(self):
        super().run()
        self.copy_file(os.path.join(STUBS, "__init__.pyi"), os.path.join(self.build_lib, "mirlaxon.pyi"))
        self.copy_file("src/binding/py.typed", os.path.join(self.build_lib, "py.typed"))


setup(
    version=VERSION,
    ext_modules=[
        Extension(
            "mirlaxon",
            SOURCES,
            include_dirs=["src"],
            language="c++",
            extra_compile_args=COMPILE_FLAGS,
            define_macros=[("MIRLAXON_VERSION", f'"{VERSION}"')],
            extra_link_args=LINK_FLAGS,
            depends=[os.path.join(root, name) for root, _, names in os.walk("src") for name in names
                     if name.endswith(".hpp")],
        )
    ],
    packages=["mirlaxon-stubs"],
    package_dir={"mirlaxon-stubs": STUBS},
    package_data={"mirlaxon-stubs": ["__init__.pyi"]},
    py_modules=[],
    cmdclass={"build_py": BuildWithStubs},
    # pip builds in the source tree; keep clear of the developers' build folders.
    options={"build": {"build_base": "build-pip"}},
    zip_safe=False,
)
