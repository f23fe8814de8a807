"""The array front against the kernel and the module, one process per host:

    /usr/bin/python3 bench/array_front.py --build build-release

runs itself as a worker under PyPy and CPython (the module from
<build>/pypy or <build>/cpython, the front from <build>/arrays) and prints
markdown tables. The kernel time is the C library's own, called in the same
process on buffers made beforehand (one call per light curve: its fixed cost,
0.03 µs under PyPy and about 1 µs under CPython, is lost in 10 000 separations).
A call's fixed cost is its time less one far-field separation's kernel time.

Cases: integrated_heyrovsky_magnification on 10 000 separations in the far
field, and on a light curve (ρ = 0.01, u0 = 0.001, ±3 tE); one call with one
separation (far field), whose fixed cost is its time less the kernel's.
"""
import argparse
import json
import math
import os
import subprocess
import sys
import time
from array import array

COUNT = 10000
RHO = 0.01
U0 = 0.001


def far_field():
    return [30.0 + 970.0 * i / (COUNT - 1) for i in range(COUNT)], 1.0


def light_curve():
    taus = [-3.0 + 6.0 * i / (COUNT - 1) for i in range(COUNT)]
    return [math.sqrt(U0 * U0 + tau * tau) / RHO for tau in taus], RHO


def best(runs, repeat, rounds=15):
    """Best time of each of `runs` (name: function) per repetition, in µs,
    the runs interleaved round by round so that a busy moment of the shared
    machine weighs on all of them alike."""
    for run in runs.values():
        for _ in range(max(3, repeat // 5)):
            run()
    times = {name: [] for name in runs}
    for _ in range(rounds):
        for name, run in runs.items():
            started = time.perf_counter()
            for _ in range(repeat):
                run()
            times[name].append((time.perf_counter() - started) / repeat)
    return {name: min(values) * 1e6 for name, values in times.items()}


def worker():
    import mirlaxon
    import mirlaxon_arrays
    from cffi import FFI

    from mirlaxon_arrays._cdef import CDEF

    ffi = FFI()
    ffi.cdef(CDEF)
    lib = ffi.dlopen(mirlaxon_arrays.paths()[0])
    kernel_function = lib.mirlaxon_integrated_heyrovsky_magnification
    front = mirlaxon_arrays.integrated_heyrovsky_magnification
    module = mirlaxon.integrated_heyrovsky_magnification
    pypy = sys.implementation.name == "pypy"
    try:
        import numpy
    except ImportError:
        numpy = None

    result = {"host": "PyPy" if pypy else "CPython", "cases": {}}
    for case, (ls, rstar) in {"far field": far_field(), "light curve": light_curve()}.items():
        separations = ffi.new("double[]", ls)
        values = ffi.new("double[]", len(ls))
        repeat = 10
        as_array = array("d", ls)
        out = array("d", bytes(8 * len(ls)))
        runs = {"kernel": lambda: kernel_function(separations, len(ls), 1.0, rstar, values, ffi.NULL),
                "front, array('d') in": lambda: front(as_array, 1.0, rstar),
                "front, list in": lambda: front(ls, 1.0, rstar),
                "front, array('d') in, out=": lambda: front(as_array, 1.0, rstar, out=out)}
        if numpy is not None:
            as_numpy = numpy.array(ls)
            out_numpy = numpy.empty(len(ls))
            runs["front, numpy in and out"] = lambda: front(as_numpy, 1.0, rstar)
            runs["front, numpy in, out= numpy"] = lambda: front(as_numpy, 1.0, rstar, out=out_numpy)
        runs["module, list in"] = lambda: module(ls, 1.0, rstar)
        timings = best(runs, repeat)
        result["cases"][case] = {name: value / len(ls) for name, value in timings.items()}

    # One separation in the far field: the call's fixed cost.
    one = [50.0]
    one_c = ffi.new("double[]", one)
    value = ffi.new("double[1]")
    calls = 20000
    one_array = array("d", one)
    one_out = array("d", [0.0])
    runs = {
        "C library through cffi": lambda: kernel_function(one_c, 1, 1.0, 1.0, value, ffi.NULL),
        "front, [l] in": lambda: front(one, 1.0, 1.0),
        "front, array('d') in": lambda: front(one_array, 1.0, 1.0),
        "front, array('d') in, out=": lambda: front(one_array, 1.0, 1.0, out=one_out),
        "module, [l] in": lambda: module(one, 1.0, 1.0),
        "front heyrovsky_magnification(50.0, 0.5, 1.0, 1.0)":
            lambda: mirlaxon_arrays.heyrovsky_magnification(50.0, 0.5, 1.0, 1.0),
        "module heyrovsky_magnification(50.0, 0.5, 1.0, 1.0)":
            lambda: mirlaxon.heyrovsky_magnification(50.0, 0.5, 1.0, 1.0),
    }
    if numpy is not None:
        one_numpy = numpy.array(one)
        runs["front, numpy in and out"] = lambda: front(one_numpy, 1.0, 1.0)
    fixed = best(runs, calls)
    result["one_separation_us"] = fixed
    print(json.dumps(result))


def run_worker(interpreter, build, host):
    environment = dict(os.environ, PYTHONPATH=os.pathsep.join(
        [os.path.join(build, "arrays"), os.path.join(build, host)]))
    command = [interpreter, os.path.abspath(__file__), "worker"]
    output = subprocess.run(command, check=True, capture_output=True, text=True, env=environment).stdout
    return json.loads(output.strip().splitlines()[-1])


def report(results):
    for result in results:
        print("## %s: µs per separation, 10 000 separations (ratio to the kernel)\n" % result["host"])
        print("| | far field | light curve |")
        print("|---|---:|---:|")
        cases = result["cases"]
        kernels = {case: timings["kernel"] for case, timings in cases.items()}
        for name in cases["far field"]:
            cells = ["%.4f (%.2f×)" % (cases[case][name], cases[case][name] / kernels[case]) for case in cases]
            print("| %s | %s |" % (name, " | ".join(cells)))
        print("\n%s: one call with one separation (far field), µs\n" % result["host"])
        print("| call | µs | fixed cost (less one far-field separation's kernel time) |")
        print("|---|---:|---:|")
        timings = result["one_separation_us"]
        kernel = cases["far field"]["kernel"]
        for name, value in timings.items():
            print("| %s | %.3f | %.3f |" % (name, value, value - kernel))
        print()


def main():
    from host_benchmark import interpreter  # beside this file  # noqa: PLC0415
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("mode", nargs="?", default="driver", choices=["driver", "worker"])
    parser.add_argument("--build", default="build-release")
    parser.add_argument("--pypy", default=interpreter("pypy"), help="PyPy (default: src/build_inputs.txt's)")
    parser.add_argument("--cpython", default=interpreter("cpython"), help="CPython (default: src/build_inputs.txt's)")
    args = parser.parse_args()
    if args.mode == "worker":
        worker()
        return
    build = os.path.abspath(args.build)
    report([run_worker(args.pypy, build, "pypy"), run_worker(args.cpython, build, "cpython")])


if __name__ == "__main__":
    main()
