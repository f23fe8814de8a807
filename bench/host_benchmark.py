"""Host-level benchmark: the seven functions under PyPy and CPython against
the numpy/scipy peer (bench/numpy_reference.py), in one run.

    /usr/bin/python3 bench/host_benchmark.py --build build-bench [--quick]

runs itself as a worker under each interpreter (`worker` mode, one JSON line
of timings on stdout), times the numpy peer in this process, and prints
markdown tables: microseconds per separation and the ratio numpy / mirlaxon.
It also measures the per-call overhead against a native call that does
nothing (bench/noop_module.cpp), two host threads against one, and list
input against buffer input.
"""
import argparse
import array
import json
import math
import os
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "tests"))
import function_surface  # noqa: E402

FUNCTIONS = function_surface.NAMES
ETAS = (1.0, 10.0)
REGIONS = {"inside": (0.05, 0.95), "outside": (1.05, 3.0)}
RING_RADIUS = 0.5  # the ring of heyrovsky_magnification, in source radii

# An 11-sample limb-darkened flux map, the shape users tabulate.
BL = [i / 10 for i in range(11)]
BF = [1.0 - 0.6 * (1.0 - math.sqrt(1.0 - r * r)) for r in BL]


def separations(count, region):
    low, high = REGIONS[region]
    if count == 1:
        return [(low + high) / 2]
    return [low + (high - low) * i / (count - 1) for i in range(count)]


def call(module, name, ls, eta):
    profile = {"r": RING_RADIUS, "bl": BL, "bf": BF}
    if not function_surface.is_sequence(name, "l"):
        return [function_surface.call(name, [l], eta, module=module, **profile) for l in ls]
    return function_surface.call(name, ls, eta, module=module, **profile)


def best_time(run, budget=0.3, at_most=200):
    """Best wall time of repeated runs within about `budget` seconds."""
    best = math.inf
    spent = 0.0
    runs = 0
    while runs < at_most and (runs < 3 or spent < budget):
        start = time.perf_counter()
        run()
        elapsed = time.perf_counter() - start
        best = min(best, elapsed)
        spent += elapsed
        runs += 1
    return best


def time_functions(module, sizes, warm_up, names=FUNCTIONS):
    timings = {}
    for name in names:
        for count in sizes:
            for eta in ETAS:
                for region in REGIONS:
                    ls = separations(count, region)
                    if warm_up:  # let a JIT see the call site first
                        for _ in range(3):
                            call(module, name, ls[:100], eta)
                    seconds = best_time(lambda: call(module, name, ls, eta))
                    timings[f"{name}|{count}|{eta}|{region}"] = seconds / count * 1e6
    return timings


def per_call(function, args, calls=200000):
    for _ in range(calls // 10):
        function(*args)
    best = math.inf
    for _ in range(5):
        start = time.perf_counter()
        for _ in range(calls):
            function(*args)
        best = min(best, (time.perf_counter() - start) / calls)
    return best * 1e9


def worker(module_dir, sizes):
    sys.path.insert(0, module_dir)
    import mirlaxon
    import mirlaxon_noop

    result = {"timings": time_functions(mirlaxon, sizes, warm_up=True)}
    one = [0.5]
    result["overhead_ns"] = {
        "noop([0.5], 1.0, 1.0)": per_call(mirlaxon_noop.noop, (one, 1.0, 1.0)),
        "noop_list([0.5], 1.0, 1.0)": per_call(mirlaxon_noop.noop_list, (one, 1.0, 1.0)),
        "witt_mao_magnification([], 1.0, 1.0)": per_call(mirlaxon.witt_mao_magnification,
                                                         ([], 1.0, 1.0)),
        "witt_mao_magnification([0.5], 1.0, 1.0)": per_call(mirlaxon.witt_mao_magnification,
                                                            (one, 1.0, 1.0)),
        "fresh list: witt_mao_magnification([l], 1.0, 1.0)": per_call(
            lambda l: mirlaxon.witt_mao_magnification([l], 1.0, 1.0), (0.5,)),
        "fresh list: noop_list([l], 1.0, 1.0)": per_call(
            lambda l: mirlaxon_noop.noop_list([l], 1.0, 1.0), (0.5,)),
        "noop(0.5, 0.3, 1.0, 1.0)": per_call(mirlaxon_noop.noop, (0.5, 0.3, 1.0, 1.0)),
        "heyrovsky_magnification(0.5, 0.3, 1.0, 1.0)": per_call(mirlaxon.heyrovsky_magnification,
                                                               (0.5, 0.3, 1.0, 1.0)),
    }

    # Two threads, each a light curve of its own, against the same work in one.
    # Two curves of equal cost: the same range, shifted by half a step.
    curves = [separations(400, "inside"), [l + 0.001 for l in separations(400, "inside")]]
    work = lambda ls: mirlaxon.integrated_heyrovsky_magnification(ls, 1.0, 1.0)
    serial = best_time(lambda: [work(ls) for ls in curves], at_most=5)

    def parallel():
        threads = [threading.Thread(target=work, args=(ls,)) for ls in curves]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    threaded = best_time(parallel, at_most=5)
    result["threads"] = {"serial_s": serial, "two_threads_s": threaded}

    # Conversion alone: a flux map of 10 000 samples given to the discrete sum
    # with no separations is converted (both sequences) and nothing computed.
    ls = separations(10000, "outside")
    inputs = {"list": ls, "array.array('d')": array.array("d", ls),
              "memoryview": memoryview(array.array("d", ls))}
    try:
        import numpy

        inputs["numpy.ndarray"] = numpy.array(ls)
    except ImportError:
        pass
    convert = mirlaxon.discrete_flux_map_heyrovsky_magnification
    result["input_ns_per_item"] = {
        kind: best_time(lambda: convert([], 1.0, 1.0, value, value)) / (2 * len(ls)) * 1e9
        for kind, value in inputs.items()}
    print(json.dumps(result))


def numpy_timings(sizes):
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import numpy_reference

    class Peer:
        pass

    peer = Peer()
    peered = [name for name in FUNCTIONS if hasattr(numpy_reference, name)]
    for name in peered:
        setattr(peer, name, getattr(numpy_reference, name))
    return time_functions(peer, sizes, warm_up=False, names=peered)


def run_worker(interpreter, module_dir, args):
    command = [interpreter, os.path.abspath(__file__), "worker", "--module-dir", module_dir]
    if args.quick:
        command.append("--quick")
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return json.loads(output.strip().splitlines()[-1])


def report(hosts, numpy_result, sizes):
    print("## Microseconds per separation (best of repeated runs)\n")
    print("| function | n | η | l | PyPy | CPython | numpy/scipy | numpy ÷ PyPy | numpy ÷ CPython |")
    print("|---|---:|---:|---|---:|---:|---:|---:|---:|")
    for name in [name for name in FUNCTIONS if any(key.startswith(name + "|") for key in numpy_result)]:
        for count in sizes:
            for eta in ETAS:
                for region in REGIONS:
                    key = f"{name}|{count}|{eta}|{region}"
                    pypy = hosts["PyPy"]["timings"][key]
                    cpython = hosts["CPython"]["timings"][key]
                    peer = numpy_result[key]
                    print(f"| {name} | {count} | {eta:g} | {region} | {pypy:.3g} | {cpython:.3g} | "
                          f"{peer:.3g} | {peer / pypy:.1f} | {peer / cpython:.1f} |")
    print("\n## Per-call overhead, nanoseconds per call\n")
    print("| call | PyPy | CPython |")
    print("|---|---:|---:|")
    for call_text in hosts["PyPy"]["overhead_ns"]:
        print(f"| `{call_text}` | {hosts['PyPy']['overhead_ns'][call_text]:.0f} | "
              f"{hosts['CPython']['overhead_ns'][call_text]:.0f} |")
    print("\n## Two host threads, integrated_heyrovsky_magnification on 2 × 400 separations\n")
    print("| host | one thread (s) | two threads (s) | speed-up |")
    print("|---|---:|---:|---:|")
    for host, result in hosts.items():
        t = result["threads"]
        print(f"| {host} | {t['serial_s']:.4f} | {t['two_threads_s']:.4f} | "
              f"{t['serial_s'] / t['two_threads_s']:.2f} |")
    print("\n## Input conversion, two 10 000-item sequences with nothing to compute, ns per item\n")
    print("| input | PyPy | CPython |")
    print("|---|---:|---:|")
    kinds = list(hosts["CPython"]["input_ns_per_item"])
    for kind in kinds:
        pypy = hosts["PyPy"]["input_ns_per_item"].get(kind)
        cpython = hosts["CPython"]["input_ns_per_item"][kind]
        print(f"| {kind} | {'—' if pypy is None else f'{pypy:.1f}'} | {cpython:.1f} |")


def interpreter(kind):
    """The interpreter src/build_inputs.txt names for the modules' builds."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "src", "build_inputs.txt")
    with open(path, encoding="utf-8") as lines:
        (entry,) = [line.split(":", 1)[1].strip() for line in lines if line.startswith(kind + ":")]
    return entry


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("mode", nargs="?", default="driver", choices=["driver", "worker"])
    parser.add_argument("--module-dir")
    parser.add_argument("--build", default="build-bench")
    parser.add_argument("--quick", action="store_true", help="1 000 instead of 10 000 separations")
    parser.add_argument("--pypy", default=interpreter("pypy"), help="PyPy (default: src/build_inputs.txt's)")
    parser.add_argument("--cpython", default=interpreter("cpython"),
                        help="CPython (default: src/build_inputs.txt's)")
    args = parser.parse_args()
    sizes = (1, 100, 1000 if args.quick else 10000)
    if args.mode == "worker":
        worker(args.module_dir, sizes)
        return
    build = os.path.abspath(args.build)
    hosts = {
        "PyPy": run_worker(args.pypy, os.path.join(build, "pypy"), args),
        "CPython": run_worker(args.cpython, os.path.join(build, "cpython"), args),
    }
    report(hosts, numpy_timings(sizes), sizes)


if __name__ == "__main__":
    main()
