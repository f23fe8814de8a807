"""Builds the extension module with the interpreter's own compiler settings,
from the same sources and numerical flags as the CMake build, and installs
its type stubs beside it: mirlaxon.pyi with py.typed, and the stub-only
package mirlaxon-stubs, the form mypy reads. Installs the array front, the
package mirlaxon_arrays, with the C library libmirlaxon.so and its header
mirlaxon.h inside it."""
import os
import platform

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.command.build_py import build_py

def build_inputs(kind):
    """The entries of one kind in src/build_inputs.txt, the list every build reads."""
    prefix = kind + ":"
    with open(os.path.join("src", "build_inputs.txt"), encoding="utf-8") as lines:
        return [line[len(prefix):].strip() for line in lines if line.startswith(prefix)]


SOURCES = [os.path.join("src", name) for name in build_inputs("core") + build_inputs("binding")]
CORE_SOURCES = [os.path.join("src", name) for name in build_inputs("core")]
C_LIBRARY_SOURCES = [os.path.join("src", name) for name in build_inputs("c_library")]
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


def numpy_headers():
    """numpy's include folder when the building interpreter has numpy (the
    array front then makes its numpy results through numpy's C API), else
    None: the module never needs numpy to build or load."""
    if platform.python_implementation() == "PyPy":
        return None
    try:
        import numpy  # noqa: PLC0415
    except ImportError:
        return None
    folder = numpy.get_include()
    return folder if os.path.isfile(os.path.join(folder, "numpy", "arrayobject.h")) else None


NUMPY_HEADERS = numpy_headers()

STUBS = "src/binding/mirlaxon-stubs"
DEPENDS = [os.path.join(root, name) for root, _, names in os.walk("src") for name in names
           if name.endswith((".hpp", ".inc", ".h"))]


class BuildWithStubs(build_py):
    """The stub-only package, plus the same stub as mirlaxon.pyi with
    py.typed at the top level, beside the module."""

    def run(self):
        super().run()
        self.copy_file(os.path.join(STUBS, "__init__.pyi"), os.path.join(self.build_lib, "mirlaxon.pyi"))
        self.copy_file("src/binding/py.typed", os.path.join(self.build_lib, "py.typed"))
        self.copy_file("src/binding/c/mirlaxon.h", os.path.join(self.build_lib, "mirlaxon_arrays", "mirlaxon.h"))


C_LIBRARY = "mirlaxon_arrays.libmirlaxon"


class BuildWithCLibrary(build_ext):
    """The C library is a plain shared library, libmirlaxon.so, not a module:
    its file keeps that name (no interpreter suffix). It links the core's
    objects the module's build made (the same sources and flags), so the
    core is compiled once."""

    def build_extension(self, ext):
        if ext.name == C_LIBRARY:
            ext.extra_objects = self.compiler.object_filenames(CORE_SOURCES, output_dir=self.build_temp)
            ext.depends = ext.depends + ext.extra_objects
        super().build_extension(ext)

    def get_ext_filename(self, fullname):
        if fullname == C_LIBRARY:
            return os.path.join("mirlaxon_arrays", "libmirlaxon.so")
        return super().get_ext_filename(fullname)

    def get_ext_fullpath(self, ext_name):
        if ext_name == C_LIBRARY:
            module_path = super().get_ext_fullpath(ext_name)
            return os.path.join(os.path.dirname(module_path), "libmirlaxon.so")
        return super().get_ext_fullpath(ext_name)

    def get_export_symbols(self, ext):
        return [] if ext.name == C_LIBRARY else super().get_export_symbols(ext)


setup(
    version=VERSION,
    ext_modules=[
        Extension(
            "mirlaxon",
            SOURCES,
            include_dirs=["src"] + ([NUMPY_HEADERS] if NUMPY_HEADERS else []),
            language="c++",
            extra_compile_args=COMPILE_FLAGS,
            define_macros=[("MIRLAXON_VERSION", f'"{VERSION}"')]
            + ([("MIRLAXON_NUMPY_HEADERS", None)] if NUMPY_HEADERS else []),
            extra_link_args=LINK_FLAGS,
            depends=DEPENDS,
        ),
        # After the module, whose core objects it links.
        Extension(
            C_LIBRARY,
            C_LIBRARY_SOURCES,
            include_dirs=["src"],
            language="c++",
            extra_compile_args=COMPILE_FLAGS,
            extra_link_args=flags("c_library_link"),
            depends=DEPENDS,
        ),
    ],
    packages=["mirlaxon-stubs", "mirlaxon_arrays"],
    package_dir={"mirlaxon-stubs": STUBS, "mirlaxon_arrays": "src/binding/arrays/mirlaxon_arrays"},
    package_data={"mirlaxon-stubs": ["__init__.pyi"]},
    py_modules=[],
    cmdclass={"build_py": BuildWithStubs, "build_ext": BuildWithCLibrary},
    # pip builds in the source tree; keep clear of the developers' build folders.
    options={"build": {"build_base": "build-pip"}},
    zip_safe=False,
)
