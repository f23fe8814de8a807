"""The module's functions as the tests and benchmarks loop over them, read
from the type stubs: names in the order of __all__, parameters, and the kind
of each (a number or a sequence of numbers). tests/binding/test_module.py
holds the stubs to the module's own __all__ and text signatures. A new
function needs nothing here.

    sys.path.insert(0, <the tests folder>); import function_surface
"""
import ast
import pathlib

STUB = pathlib.Path(__file__).resolve().parents[1] / "src" / "binding" / "mirlaxon-stubs" / "__init__.pyi"

# A ring for the function of one ring, and a profile for every function that
# takes one: valid, and not trivial (a flux map with a kink, a two-term law).
RING_RADIUS = 0.4
PROFILE = {"bl": [0.0, 0.25, 0.5, 0.75, 1.0], "bf": [1.0, 0.95, 0.85, 0.7, 0.4],
           "powers": [0.0, 0.5, 1.0], "weights": [0.2, 0.5, 0.3]}


def _stubbed_kinds():
    tree = ast.parse(STUB.read_text(encoding="utf-8"))
    return {node.name: {a.arg: ast.unparse(a.annotation) for a in node.args.args}
            for node in tree.body if isinstance(node, ast.FunctionDef)}


STUBBED = _stubbed_kinds()
NAMES = list(STUBBED)


def parameters(name):
    """The parameter names of `name`, in order."""
    return list(STUBBED[name])


def is_sequence(name, parameter):
    return STUBBED[name][parameter] == "Samples"


def arguments(name, l, re=1.0, rstar=1.0, **others):
    """Positional arguments of `name` at the separations `l` (for a function
    of a single separation, the first of them), with the ring and profile
    above unless `others` names its own (r=..., bl=..., ...)."""
    values = dict(PROFILE, re=re, rstar=rstar, r=RING_RADIUS)
    values.update(others)
    values["l"] = list(l) if is_sequence(name, "l") else l[0]
    return tuple(values[parameter] for parameter in parameters(name))


def result_kind(name):
    """What `name` returns, from its stub: "float", "list[float]" (a value
    per separation), a gradient's "tuple[list[float], list[float],
    list[float]]" or components' "list[list[float]]" (a row per power)."""
    return _results()[name]


def _results():
    tree = ast.parse(STUB.read_text(encoding="utf-8"))
    return {node.name: ast.unparse(node.returns) for node in tree.body if isinstance(node, ast.FunctionDef)}


def out_for(name, count, make):
    """An `out` for `name` over `count` separations, each buffer make(count):
    one buffer for a value per separation, a tuple of three for a gradient,
    a list of one per power of PROFILE for components."""
    kind = result_kind(name)
    if kind.startswith("tuple"):
        return tuple(make(count) for _ in range(3))
    if kind == "list[list[float]]":
        return [make(count) for _ in PROFILE["powers"]]
    return make(count)


def rows(result):
    """A result as its rows of floats: one row for a number or a value per
    separation, three for a gradient, one per power for components."""
    if isinstance(result, float):
        return [[result]]
    if isinstance(result, (tuple, list)) and not all(isinstance(item, float) for item in result):
        return [list(row) for row in result]
    return [list(result)]


def call(name, l, re=1.0, rstar=1.0, module=None, **others):
    """`name` of `module` (mirlaxon by default, or a peer with the same
    functions) at the separations `l`."""
    if module is None:
        import mirlaxon as module
    return getattr(module, name)(*arguments(name, l, re, rstar, **others))
