#!/usr/bin/env python3
"""Times the real binary end to end, as a user runs it: the instance from a file on standard input,
process start included. Each figure is the median wall time of several runs and the largest peak
memory among them; every run must print the same answer.

Usage: bench/time_binary.py [--set readme|grid|hard|big] [--runs N] [--timeout S] [--only WORD]
                            [--seeds K] [--dump DIR] PROGRAM [PROGRAM...]

`--set readme` (the default) gives the README's instances; `--set grid` every family of the
literature at n = 1000 with R = 10^3, 10^5 and 10^6 and at n = 10000 with R = 10^3 and 10^5;
`--set hard` almost strongly correlated at n from 10^3 to 2 x 10^4, R from 10^3 to 10^6 and
capacities a tenth, half and nine tenths of the total weight, and circle, multiple strongly
correlated, profit ceiling, spanners, even-odd and inverse strongly correlated at n = 10^3 and 10^4
with R = 10^4 and 10^5; `--set big` 10^6 and 10^7 elements with values and weights in [1, 1000]
and 10^8 with values in [1, 20] and weights in [1, 400], each at a tenth of the total weight (10^8
takes a minute or two to write, and 0.9 GB). `--seeds K` draws each of the grid's and the hard
set's instances from K seeds. `--dump DIR` writes each instance to DIR/NAME.in as well, and for the
big set takes it from there when it is there already.

A process started from here counts this script's own memory in its peak until it replaces itself
with the program, so a peak at that floor (measured with `true` before each instance) is shown as
"<= floor".

With several programs, each instance runs on each in turn and the answers must agree: the way to
compare a build before and after a change. Instances come from fixed seeds.
"""
import argparse
import array
import math
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

INT_MAX = 2**31 - 1


def family(kind, n, r, seed=12345, fill=0.5):
    """The knapsack literature's families: weights uniform in [1, r] unless said, capacity a share
    `fill` of the total weight (at most INT_MAX, odd where the weights are even). Similar weights:
    weights in [100000, 100100], values in [1, r]. Spanners "spanner_V": V strongly correlated
    spanners scaled down by 10 / 2, each element one of them times a multiplier from 1 to 10."""
    rnd = random.Random(seed)
    values, weights = [], []
    spanners = []
    if kind.startswith("spanner"):
        for _ in range(int(kind.split("_")[1]) if "_" in kind else 5):
            w = rnd.randint(1, r)
            spanners.append((math.ceil(2 * w / 10), math.ceil(2 * (w + r // 10) / 10)))
    for _ in range(n):
        w = rnd.randint(1, r)
        if kind == "uncorrelated":
            v = rnd.randint(1, r)
        elif kind == "weakly":
            v = max(1, w + rnd.randint(-(r // 10), r // 10))
        elif kind == "strongly":
            v = w + r // 10
        elif kind == "almost_strongly":
            v = rnd.randint(w + r // 10 - r // 500, w + r // 10 + r // 500)
        elif kind == "similar_weights":
            w = rnd.randint(100000, 100100)
            v = rnd.randint(1, r)
        elif kind == "subset_sum":
            v = w
        elif kind == "inverse_strongly":
            v = w
            w = v + r // 10
        elif kind in ("even_subset_sum", "even_strongly"):
            w = 2 * rnd.randint(1, r // 2)
            v = w if kind == "even_subset_sum" else w + r // 10
        elif kind == "circle":
            v = int(2 / 3 * math.sqrt(4 * r * r - (w - 2 * r) ** 2))
        elif kind == "profit_ceiling":
            v = 3 * math.ceil(w / 3)
        elif kind == "multiple_strongly":
            v = w + (3 * r // 10 if w % 6 == 0 else 2 * r // 10)
        elif kind.startswith("spanner"):
            base_w, base_v = spanners[rnd.randrange(len(spanners))]
            a = rnd.randint(1, 10)
            w, v = a * base_w, a * base_v
        else:
            raise ValueError(kind)
        values.append(v)
        weights.append(w)
    capacity = min(int(sum(weights) * fill), INT_MAX)
    if kind.startswith("even") and capacity % 2 == 0:
        capacity -= 1
    return values, weights, capacity


def few_even(n, low, high, capacity=None, seed=12345):
    """Subset sum over n even weights in [low, high], at an odd capacity (half the total) or the
    one given."""
    rnd = random.Random(seed)
    weights = [2 * rnd.randint(low // 2, high // 2) for _ in range(n)]
    if capacity is None:
        capacity = sum(weights) // 2 | 1
    return weights, weights, capacity


def big_subset_sum(step, last, capacity, seed=12345):
    """Subset sum over 400 multiples of `step` up to 2x10^7 and one weight `last`."""
    rnd = random.Random(seed)
    weights = [step * rnd.randint(1, 20000000 // step) for _ in range(400)] + [last]
    return weights, weights, capacity


def uniform(n, capacity, max_value, max_weight, seed=12345):
    rnd = random.Random(seed)
    values = [rnd.randint(1, max_value) for _ in range(n)]
    weights = [rnd.randint(1, max_weight) for _ in range(n)]
    return values, weights, capacity


def instances():
    """(name, values, weights, capacity), in the order of the README's tables."""
    for kind in ("uncorrelated", "weakly", "subset_sum"):
        for n, r in ((1000, 10**6), (10000, 10**5)):
            yield f"{kind} {n} x {r}", *family(kind, n, r)
    for n, r in ((1000, 10**5), (1000, 10**6)):
        yield f"strongly {n} x {r}", *family("strongly", n, r)
    for kind, n, r in (("inverse_strongly", 200, 10**6), ("inverse_strongly", 1000, 10**5),
                       ("inverse_strongly", 1000, 10**6), ("inverse_strongly", 100000, 10**5),
                       ("even_subset_sum", 1000, 10**6), ("even_subset_sum", 10000, 10**5),
                       ("even_strongly", 1000, 10**6), ("circle", 1000, 10**5),
                       ("circle", 10000, 10**6), ("profit_ceiling", 10000, 10**5),
                       ("multiple_strongly", 10000, 10**6), ("spanner", 100000, 10**3)):
        yield f"{kind} {n} x {r}", *family(kind, n, r)
    yield "few even 30 in [2e7, 1e8]", *few_even(30, 2 * 10**7, 10**8)
    yield "few even 40 in [2e7, 1e8]", *few_even(40, 2 * 10**7, 10**8)
    yield "few even 40 in [8e7, 1.2e8] at INT_MAX", *few_even(40, 8 * 10**7, 12 * 10**7, INT_MAX)
    yield "subset sum 401, even, at 2000000001", *big_subset_sum(2, 2000000000, 2000000001)
    yield "subset sum 401, threes, at 2000000000", *big_subset_sum(3, 1500000001, 2000000000)
    yield "3 elements at capacity 2147483647", [5, 6, 7], [10**9] * 3, INT_MAX
    yield "read 1000000 x 2 numbers", *uniform(1000000, 1, 10**6, 10**6)


GRID_FAMILIES = ("uncorrelated", "weakly", "strongly", "inverse_strongly", "almost_strongly",
                 "subset_sum", "even_subset_sum", "even_strongly", "similar_weights", "circle",
                 "profit_ceiling", "multiple_strongly", "spanner_2", "spanner_5", "spanner_10")


def grid(seeds=1):
    """Every family at the sizes the literature compares methods on, from `seeds` seeds each."""
    for kind in GRID_FAMILIES:
        for n, r in ((1000, 10**3), (1000, 10**5), (1000, 10**6), (10000, 10**3), (10000, 10**5)):
            for seed in range(12345, 12345 + seeds):
                suffix = "" if seed == 12345 else f" seed {seed}"
                yield f"{kind} {n} x {r}{suffix}", *family(kind, n, r, seed)


def hard(seeds=1):
    """The families whose best selections differ from the greedy one in how many elements they
    take: almost strongly correlated at every size and capacity, the others at the literature's
    sizes, from `seeds` seeds each."""
    for n in (1000, 5000, 10000, 20000):
        for r in (10**3, 10**4, 10**5, 10**6):
            for fill in (0.1, 0.5, 0.9):
                for seed in range(12345, 12345 + seeds):
                    yield (f"almost_strongly {n} x {r} at {fill} seed {seed}",
                           *family("almost_strongly", n, r, seed, fill))
    for kind in ("circle", "multiple_strongly", "profit_ceiling", "spanner_2", "spanner_5",
                 "spanner_10", "even_subset_sum", "even_strongly", "inverse_strongly"):
        for n, r in ((1000, 10**4), (1000, 10**5), (10000, 10**4), (10000, 10**5)):
            for seed in range(12345, 12345 + seeds):
                yield f"{kind} {n} x {r} seed {seed}", *family(kind, n, r, seed)


BIG = ((10**6, 1000, 1000), (10**7, 1000, 1000), (10**8, 20, 400))


def write_big(path, n, max_value, max_weight, seed=12345):
    """n elements, values uniform in [1, max_value], weights in [1, max_weight], at a tenth of the
    total weight, written a million numbers at a time."""
    rnd = random.Random(seed)
    step = 10**6
    weights = array.array("H")
    for start in range(0, n, step):
        weights.extend(rnd.choices(range(1, max_weight + 1), k=min(step, n - start)))
    with open(path, "w") as out:
        out.write(f"{n}\n{sum(weights) // 10}\n")
        for start in range(0, n, step):
            drawn = rnd.choices(range(1, max_value + 1), k=min(step, n - start))
            out.write(" ".join(map(str, drawn)) + " ")
        out.write("\n")
        for start in range(0, n, step):
            out.write(" ".join(map(str, weights[start:start + step])) + " ")
        out.write("\n")


def write_instance(path, values, weights, capacity):
    with open(path, "w") as out:
        out.write(f"{len(values)}\n{capacity}\n")
        out.write(" ".join(map(str, values)) + "\n")
        out.write(" ".join(map(str, weights)) + "\n")


def run_once(program, path, output, timeout):
    """Wall seconds, peak resident MiB and the answer, or None past the timeout."""
    with open(path) as stdin, open(output, "w") as stdout:
        start = time.monotonic()
        child = subprocess.Popen([program], stdin=stdin, stdout=stdout, stderr=subprocess.STDOUT)
        while True:
            pid, _, usage = os.wait4(child.pid, os.WNOHANG)
            if pid != 0:
                break
            if time.monotonic() - start > timeout:
                child.kill()
                os.wait4(child.pid, 0)
                return None
            time.sleep(0.0005)
        seconds = time.monotonic() - start
    with open(output) as result:
        lines = result.read().strip().splitlines()
    # The number after the result line's colon, or the error line's message.
    return seconds, usage.ru_maxrss / 1024, lines[-1].rsplit(": ", 1)[-1] if lines else ""


def measure(program, path, runs, timeout):
    """The median wall time, shown, the answer and the largest peak memory over `runs` runs."""
    times, answers, peak = [], set(), 0
    for _ in range(runs):
        run = run_once(program, path, path + ".out", timeout)
        if run is None:
            return f"> {timeout:.0f} s", None, peak
        times.append(run[0])
        peak = max(peak, run[1])
        answers.add(run[2])
    if len(answers) != 1:
        sys.exit(f"{program}: answers differ between runs: {answers}")
    median = statistics.median(times)
    shown = f"{median * 1000:.0f} ms" if median < 10 else f"{median:.1f} s"
    return shown, answers.pop(), peak


def written(args, work):
    """(name, path) of each instance of the set asked for, written as it comes."""
    if args.set == "big":
        for n, max_value, max_weight in BIG:
            name = f"uniform {n} in [1, {max_value}] x [1, {max_weight}]"
            if args.only not in name:
                continue
            path = os.path.join(args.dump or work, name.replace(" ", "_") + ".in")
            if not (args.dump and os.path.exists(path)):
                # In a child of its own: this process's peak memory counts in every run's floor.
                child = os.fork()
                if child == 0:
                    write_big(path, n, max_value, max_weight)
                    os._exit(0)
                os.waitpid(child, 0)
            yield name, path
        return
    path = os.path.join(work, "instance")
    chosen = {"grid": grid, "hard": hard}.get(args.set)
    for name, values, weights, capacity in (chosen(args.seeds) if chosen else instances()):
        if args.only not in name:
            continue
        write_instance(path, values, weights, capacity)
        if args.dump:
            write_instance(os.path.join(args.dump, name.replace(" ", "_") + ".in"), values,
                           weights, capacity)
        yield name, path


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("programs", nargs="+")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--timeout", type=float, default=120)
    parser.add_argument("--only", default="", help="only instances whose name holds this")
    parser.add_argument("--set", choices=("readme", "grid", "hard", "big"), default="readme")
    parser.add_argument("--dump", help="also write each instance to DIR/NAME.in")
    parser.add_argument("--seeds", type=int, default=1,
                        help="seeds per instance of the grid and the hard set")
    args = parser.parse_args()
    if args.dump:
        os.makedirs(args.dump, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        for name, path in written(args, work):
            floor = run_once("true", path, path + ".out", 10)[1]
            row, answers = [f"{name:<40}"], set()
            for program in args.programs:
                shown, answer, peak = measure(program, path, args.runs, args.timeout)
                memory = f"<= {floor:.0f}" if peak <= floor + 1 else f"{peak:.0f}"
                row.append(f"{shown:>9} {memory:>7} MiB")
                if answer is not None:
                    answers.add(answer)
            if len(answers) > 1:
                sys.exit(f"{name}: programs disagree: {answers}")
            print(" ".join(row), " answer", answers.pop() if answers else "-", flush=True)


if __name__ == "__main__":
    main()
