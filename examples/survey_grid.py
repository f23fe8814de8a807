"""A survey grid of finite-source light curves, computed serially, with a
thread pool, with a process pool and on a Dask cluster, with the same results.

Each light curve is the finite-source part of a high-magnification event: a
point lens passing over or near a limb-darkened source (the built-in profile
of integrated_heyrovsky_magnification) with source radius rho and impact
parameter u0 (both in Einstein radii), sampled at evenly spaced epochs over
t0 - 3 rho tE ... t0 + 3 rho tE, while the lens is within about three source
radii. The curves cover a grid of rho, log-spaced over 0.001 ... 0.1, and
u0 / rho, evenly spaced over 0 ... 2 (the first N pairs of the grid, rho
varying fastest).

    /usr/bin/python3 examples/survey_grid.py [--curves N] [--epochs M]
        [--workers K] [--repeat R] [--small] [--no-dask | --require-dask]
        [--module-dir DIR] [--arrays-dir DIR] [--require-front]
    pypy3 examples/survey_grid.py --no-dask

computes 200 curves of 2 000 epochs by default (--small: 16 of 200, for CI)
four ways, on K workers (default: every core):

  serial     one call per curve, one after the other;
  array front  the same, serially and on a thread pool, through the array
             front mirlaxon_arrays (separations in and magnifications out as
             array('d')), when it can be imported: its speed-up against the
             module's serial run is the gain of the front;
  threads    concurrent.futures.ThreadPoolExecutor: the integrated functions
             run without the interpreter lock, so one thread's call overlaps
             the others' calls and their building of separations, which
             holds the lock;
  processes  concurrent.futures.ProcessPoolExecutor;
  dask       a distributed.LocalCluster of K single-threaded worker processes
             and a Client (client.map, client.gather), a few batches of
             curves per worker. The task is a plain top-level function of a
             batch of (rho, u0) pairs that imports mirlaxon where it runs, so
             the same code runs on any Dask cluster whose workers can import
             the module.

It prints the time of each way, best of R runs (default 1), and its speed-up
against the serial run, then the same with the starting and stopping of the
pool or cluster added; then it compares every curve bit for bit with the
serial ones. Exit status 0 when all ways agree, 1 (naming the first differing
curve and epoch) when they do not, 2 when it cannot run: mirlaxon not
importable, or Dask missing with --require-dask. Without Debian's
python3-distributed, and under PyPy, which has no Dask, the Dask way is
skipped with a note.

What to expect: every epoch is within a few source radii of the lens, where a
separation costs the module about a microsecond, more than building it in
Python; the integrals run without the interpreter lock, so threads scale with
the cores. Processes and the cluster pay for starting their workers and for
moving each curve's result back, and Dask for its scheduler on every task; it
pays off where a survey outgrows one machine. Far from the lens (beyond ten
source radii) a separation costs about 0.01 microseconds, and there building
the separations in Python, not the module, sets the pace.

mirlaxon is imported from --module-dir if given, else from the path
(PYTHONPATH), else from build-release/cpython or build-release/pypy beside
this folder; its folder is also put on PYTHONPATH so that worker processes,
which may be started afresh rather than forked, import the same build.
"""

import argparse
import array
import concurrent.futures
import functools
import importlib
import math
import os
import struct
import sys
import time

RHO_RANGE = (0.001, 0.1)   # source radius, Einstein radii (log-spaced)
U0_RANGE = (0.0, 2.0)      # impact parameter, source radii
HALF_SPAN = 3.0            # epochs over t0 +- HALF_SPAN * rho * tE


def light_curve(rho, u0, epochs):
    """Magnifications of one curve at its epochs, with t0 = 0 and tE = 1, as
    an array('d'); u0 in source radii.

    The unit of work for every way: top-level, so that a process pool can
    pickle it by name and Dask by value, and importing mirlaxon itself, so
    that it works in a fresh worker process. Each separation is computed by
    the same expression whichever process runs it, which is what lets the
    results agree bit for bit. The array travels between processes as one
    block of bytes; Dask handles a list of 2 000 floats item by item, which
    made its run of the default grid some 15 times slower."""
    import mirlaxon
    step = 2.0 * HALF_SPAN / (epochs - 1)
    l = [math.sqrt(u0 * u0 + (k * step - HALF_SPAN) ** 2) for k in range(epochs)]
    return array.array("d", mirlaxon.integrated_heyrovsky_magnification(l, 1.0, rho))


def light_curve_front(rho, u0, epochs):
    """The same curve through the array front (mirlaxon_arrays): the same
    separations, given as an array('d'), and the magnifications back as one,
    with no float object made per value on the way in or out."""
    import mirlaxon_arrays
    step = 2.0 * HALF_SPAN / (epochs - 1)
    l = array.array("d", [math.sqrt(u0 * u0 + (k * step - HALF_SPAN) ** 2) for k in range(epochs)])
    return mirlaxon_arrays.integrated_heyrovsky_magnification(l, 1.0, rho)


def light_curves(batch, epochs):
    """The curves of a batch of (rho, u0) pairs: one task of a cluster."""
    return [light_curve(rho, u0, epochs) for rho, u0 in batch]


def batched(pairs, count):
    """`pairs` cut into `count` consecutive batches of nearly equal size."""
    size = -(-len(pairs) // count)
    return [pairs[i:i + size] for i in range(0, len(pairs), size)]


def module_file(_=None):
    """Where this process imports mirlaxon from: to start the pool workers
    before the clock runs, and to check that they use the parent's build."""
    import mirlaxon
    return os.path.realpath(mirlaxon.__file__)


def survey_grid(curves):
    """The first `curves` (rho, u0) pairs of a near-square grid, rho fastest."""
    n_rho = math.ceil(math.sqrt(curves))
    n_u0 = math.ceil(curves / n_rho)
    lo, hi = (math.log10(x) for x in RHO_RANGE)
    rhos = [10.0 ** (lo + (hi - lo) * i / max(n_rho - 1, 1)) for i in range(n_rho)]
    u0s = [U0_RANGE[0] + (U0_RANGE[1] - U0_RANGE[0]) * j / max(n_u0 - 1, 1) for j in range(n_u0)]
    pairs = [(rho, u0) for u0 in u0s for rho in rhos][:curves]
    return pairs, (n_rho, n_u0)


# Each way returns its curves and the seconds spent computing them, from
# handing out the first curve to holding the last; starting and stopping a
# pool or cluster is timed by the caller, around the whole function.

def run_serial(pairs, epochs, workers, curve=light_curve):
    start = time.perf_counter()
    curves = [curve(rho, u0, epochs) for rho, u0 in pairs]
    return time.perf_counter() - start, curves


def run_threads(pairs, epochs, workers, curve=light_curve):
    with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
        start = time.perf_counter()
        curves = list(pool.map(curve, *zip(*pairs), [epochs] * len(pairs)))
        return time.perf_counter() - start, curves


def run_processes(pairs, epochs, workers):
    with concurrent.futures.ProcessPoolExecutor(max_workers=workers) as pool:
        check_module(pool.map(module_file, range(workers)), "process pool")
        start = time.perf_counter()
        # A few chunks per worker: fewer round trips than one curve each,
        # still enough to even out curves of different cost.
        chunk = max(1, len(pairs) // (4 * workers))
        curves = list(pool.map(light_curve, *zip(*pairs), [epochs] * len(pairs), chunksize=chunk))
        return time.perf_counter() - start, curves


def run_dask(pairs, epochs, workers):
    import logging
    from distributed import Client, LocalCluster

    with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                      dashboard_address=None, silence_logs=logging.ERROR) as cluster, \
            Client(cluster) as client:
        client.wait_for_workers(workers)
        check_module(client.run(module_file).values(), "Dask workers")
        start = time.perf_counter()
        # A few batches of curves per worker, as for the process pool: the
        # scheduler's cost per task (about a millisecond) would otherwise
        # outweigh a curve's. pure=False: every run computes afresh rather
        # than finding the previous run's results under the same keys.
        batches = batched(pairs, 4 * workers)
        futures = client.map(light_curves, batches, epochs=epochs, pure=False)
        curves = [curve for batch in client.gather(futures) for curve in batch]
        return time.perf_counter() - start, curves


def check_module(files, where):
    """Workers importing another build could disagree for that reason alone:
    say so rather than leave a bare mismatch to puzzle over."""
    mine = module_file()
    others = sorted(set(files) - {mine})
    if others:
        print("note: %s import mirlaxon from %s, this process from %s" % (where, ", ".join(others), mine))


def bits(values):
    """The IEEE 754 doubles themselves: unlike ==, tells -0.0 from 0.0 and
    matches a NaN with the same NaN."""
    return array.array("d", values).tobytes()


def first_difference(pairs, reference, curves):
    """None when `curves` is `reference` bit for bit, else where they differ."""
    if len(curves) != len(reference):
        return "%d curves instead of %d" % (len(curves), len(reference))
    for i, (ref, got) in enumerate(zip(reference, curves)):
        if len(got) != len(ref):
            return "curve %d has %d epochs instead of %d" % (i, len(got), len(ref))
        if bits(got) != bits(ref):
            k = next(k for k in range(len(ref)) if struct.pack("<d", got[k]) != struct.pack("<d", ref[k]))
            rho, u0 = pairs[i]
            return "curve %d (rho = %r, u0/rho = %r), epoch %d: %r (%s) instead of %r (%s)" % (
                i, rho, u0, k, got[k], float(got[k]).hex(), ref[k], float(ref[k]).hex())
    return None


def implausible(pairs, curves, epochs):
    """A magnification by a point lens is finite and above 1; anything else
    means the reference itself is wrong and agreeing with it proves nothing."""
    for i, curve in enumerate(curves):
        if len(curve) != epochs:
            return "curve %d has %d epochs instead of %d" % (i, len(curve), epochs)
        for k, a in enumerate(curve):
            if not (math.isfinite(a) and a > 1.0):
                return "curve %d (rho = %r, u0/rho = %r), epoch %d: magnification %r" % (i, *pairs[i], k, a)
    return None


def cannot_run(message):
    print(message, file=sys.stderr)
    sys.exit(2)


def import_mirlaxon(module_dir):
    """Imports the module, from `module_dir`, else from the path, else from
    the build beside this folder, and exports its folder to child processes."""
    if module_dir:
        sys.path.insert(0, os.path.abspath(module_dir))
    try:
        import mirlaxon
    except ImportError:
        host = "pypy" if sys.implementation.name == "pypy" else "cpython"
        fallback = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "build-release", host)
        if module_dir or not os.path.isdir(fallback):
            cannot_run("cannot import mirlaxon: put its build folder on PYTHONPATH or pass --module-dir")
        sys.path.insert(0, os.path.realpath(fallback))
        try:
            import mirlaxon
        except ImportError as error:
            cannot_run("cannot import mirlaxon from %s: %s" % (fallback, error))
    folder = os.path.dirname(os.path.realpath(mirlaxon.__file__))
    path = os.environ.get("PYTHONPATH", "")
    if folder not in path.split(os.pathsep):
        os.environ["PYTHONPATH"] = folder + (os.pathsep + path if path else "")
    return mirlaxon


def import_front(arrays_dir):
    """mirlaxon_arrays from `arrays_dir`, else from the path, else from the
    build beside this folder; None if there is none."""
    folders = [arrays_dir] if arrays_dir else [None, os.path.join(
        os.path.dirname(os.path.abspath(__file__)), os.pardir, "build-release", "arrays")]
    for folder in folders:
        if folder is not None:
            sys.path.insert(0, os.path.abspath(folder))
        try:
            return importlib.import_module("mirlaxon_arrays")
        except ImportError:
            continue
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--curves", type=int, help="number of light curves (default 200, --small 16)")
    parser.add_argument("--epochs", type=int, help="epochs per curve (default 2000, --small 200)")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                        help="threads, processes and Dask workers (default: cpu count, %(default)s)")
    parser.add_argument("--repeat", type=int, default=1, help="runs of each way; the best time counts")
    parser.add_argument("--small", action="store_true", help="16 curves of 200 epochs, for CI")
    dask_group = parser.add_mutually_exclusive_group()
    dask_group.add_argument("--no-dask", action="store_true", help="skip the Dask cluster")
    dask_group.add_argument("--require-dask", action="store_true", help="fail (status 2) if Dask is missing")
    parser.add_argument("--module-dir", help="folder holding the mirlaxon extension module")
    parser.add_argument("--arrays-dir", help="folder holding the array front, mirlaxon_arrays (default: the "
                        "path, else build-release/arrays beside this folder)")
    parser.add_argument("--require-front", action="store_true",
                        help="fail (status 2) if the array front cannot be imported")
    args = parser.parse_args()
    curves = args.curves if args.curves is not None else (16 if args.small else 200)
    epochs = args.epochs if args.epochs is not None else (200 if args.small else 2000)
    if curves < 1 or epochs < 2 or args.workers < 1 or args.repeat < 1:
        parser.error("need at least 1 curve, 2 epochs, 1 worker and 1 run")

    mirlaxon = import_mirlaxon(args.module_dir)
    ways = [("serial", run_serial), ("threads", run_threads), ("processes", run_processes)]
    if not args.no_dask:
        # Not only ImportError: under an interpreter it was not installed for
        # (PyPy finding CPython's dist-packages), importing Dask can fail in
        # other ways, and that too means no Dask here.
        try:
            importlib.import_module("distributed")
            ways.append(("dask LocalCluster", run_dask))
        except Exception as error:
            why = "import distributed failed under %s: %s: %s (Debian's python3-distributed provides it for " \
                  "CPython)" % (sys.implementation.name, type(error).__name__, error)
            if args.require_dask:
                cannot_run("Dask is required but unavailable: " + why)
            print("Dask skipped: " + why)

    front = import_front(args.arrays_dir)
    if front is None and args.require_front:
        cannot_run("the array front (mirlaxon_arrays) is required but cannot be imported")
    if front is not None:
        ways[1:1] = [("serial, array front", functools.partial(run_serial, curve=light_curve_front)),
                     ("threads, array front", functools.partial(run_threads, curve=light_curve_front))]
    else:
        print("array front skipped: mirlaxon_arrays cannot be imported (pass --arrays-dir)")

    pairs, shape = survey_grid(curves)
    print("mirlaxon from %s" % os.path.dirname(os.path.realpath(mirlaxon.__file__)))
    print("%s %s, %d workers, best of %d run%s" % (
        sys.implementation.name, ".".join(map(str, sys.version_info[:3])), args.workers, args.repeat,
        "" if args.repeat == 1 else "s"))
    print("%d light curves (rho %g...%g log-spaced x u0/rho %g...%g, first %d of a %d x %d grid) x %d epochs "
          "over +-%g rho tE: %d separations" % (curves, *RHO_RANGE, *U0_RANGE, curves, *shape, epochs, HALF_SPAN,
                                             curves * epochs))
    print()
    print("%-28s %11s %9s %14s %9s" % ("way", "compute (s)", "speed-up", "+ start/stop", "overall"))

    reference = None
    serial_time = None
    failures = []
    for name, run in ways:
        best, best_overhead = None, None
        for run_number in range(1, args.repeat + 1):
            start = time.perf_counter()
            compute, result = run(pairs, epochs, args.workers)
            overhead = time.perf_counter() - start - compute
            if best is None or compute < best:
                best, best_overhead = compute, overhead
            # Every run is checked, the repeated serial ones against the first.
            if reference is None:
                reference = result
                problem = implausible(pairs, reference, epochs)
                if problem:
                    failures.append("serial gives an impossible magnification: %s" % problem)
            else:
                problem = first_difference(pairs, reference, result)
                if problem:
                    failures.append("%s (run %d) differs from serial: %s" % (name, run_number, problem))
        if serial_time is None:
            serial_time = best
        label = name if name.startswith("serial") else "%s (%d)" % (name, args.workers)
        print("%-28s %11.3f %9.2f %14s %9.2f" % (
            label, best, serial_time / best, "-" if name.startswith("serial") else "%.3f" % best_overhead,
            serial_time / (best + best_overhead)), flush=True)

    print()
    if failures:
        for failure in failures:
            print("FAILED: " + failure, file=sys.stderr)
        return 1
    print("all %d ways agree bit for bit (%d curves x %d epochs)" % (len(ways), curves, epochs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
