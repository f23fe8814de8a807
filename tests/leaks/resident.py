"""The soaks' common loop: calls spread over a list (with an error path
every eighth call) in rounds, the resident memory read after each; it must
stop growing once the first rounds have warmed the JIT and the allocator."""
import gc


def resident_kb():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError("no VmRSS in /proc/self/status")


def soak(calls, errors, total_calls, rounds, warm_rounds, limit_kb):
    """Runs the soak and reports it; the process's exit status (0: flat)."""
    per_round = total_calls // rounds
    resident = []
    for _ in range(rounds):
        for i in range(per_round):
            if i % 8 == 7:
                try:
                    errors[i % len(errors)]()
                except (RuntimeError, TypeError, ValueError):
                    pass
            else:
                calls[i % len(calls)]()
        gc.collect()
        resident.append(resident_kb())
    growth = max(resident[warm_rounds:]) - resident[warm_rounds - 1]
    print("%d calls; resident kB after each round: %s" % (rounds * per_round, resident))
    print("growth after round %d: %d kB (limit %d)" % (warm_rounds, growth, limit_kb))
    return 0 if growth <= limit_kb else 1
