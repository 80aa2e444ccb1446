"""Batch queries of the Python package against numpy.interp and scipy's LinearNDInterpolator.

Usage: PYTHONPATH=<build>/python /usr/bin/python3 bench/python_batch.py [--repeat N] [--clock cpu]
Times are the best of N runs in this process; ratios below 1 mean qorva_mat is faster. Both
sides run in one thread, so on a busy machine the process's CPU time (--clock cpu) is the
steadier measure; wall-clock time is the default.
Construction (triangulation) is timed separately from the queries for both libraries.
"""
import argparse
import time

import numpy as np
from scipy.interpolate import LinearNDInterpolator

import qorva_mat


CLOCK = time.perf_counter


def best(fn, repeat):
    times = []
    for _ in range(repeat):
        start = CLOCK()
        fn()
        times.append(CLOCK() - start)
    return min(times)


def one_dimensional(rng, repeat):
    x = np.sort(rng.uniform(0.0, 100.0, 1000))
    y = np.sin(x / 7.0) + 0.01 * x
    q = rng.uniform(x[0], x[-1], 200_000)
    s = qorva_mat.PropertySet.from_table("bench", independent={"x": x}, dependent={"v": y})
    ours = s.query(x=q, dependent="v", warnings="ignore")
    diff = np.max(np.abs(ours - np.interp(q, x, y)))
    t_ours = best(lambda: s.query(x=q, dependent="v", warnings="ignore"), repeat)
    t_numpy = best(lambda: np.interp(q, x, y), repeat)
    print(f"1-D, 1000 points, 200000 random queries: qorva_mat {t_ours * 1e3:8.2f} ms, "
          f"numpy.interp {t_numpy * 1e3:8.2f} ms, ratio {t_ours / t_numpy:.3f} (target <= 0.5), "
          f"max |difference| {diff:.2e}")


def scattered(rng, dims, repeat):
    names = ["x", "y", "z"][:dims]
    pts = rng.random((1000, dims))
    vals = np.sin(3 * pts[:, 0]) + pts[:, 1:].sum(axis=1) ** 2
    q = 0.1 + 0.8 * rng.random((50_000, dims))
    build_ours = best(lambda: qorva_mat.PropertySet.from_table(
        "bench", independent={n: pts[:, k] for k, n in enumerate(names)}, dependent={"v": vals}), 1)
    s = qorva_mat.PropertySet.from_table(
        "bench", independent={n: pts[:, k] for k, n in enumerate(names)}, dependent={"v": vals})
    build_scipy = best(lambda: LinearNDInterpolator(pts, vals), 1)
    interp = LinearNDInterpolator(pts, vals)
    columns = {n: np.ascontiguousarray(q[:, k]) for k, n in enumerate(names)}
    ours = s.query(**columns, dependent="v", warnings="ignore")
    theirs = interp(q)
    inside = ~np.isnan(theirs)
    diff = np.max(np.abs(ours[inside] - theirs[inside]))
    t_ours = best(lambda: s.query(**columns, dependent="v", warnings="ignore"), repeat)
    t_scipy = best(lambda: interp(q), repeat)
    print(f"{dims}-D, 1000 scattered points, 50000 queries: qorva_mat {t_ours * 1e3:8.2f} ms, "
          f"LinearNDInterpolator {t_scipy * 1e3:8.2f} ms, ratio {t_ours / t_scipy:.3f} (target <= 0.1), "
          f"max |difference| {diff:.2e}")
    print(f"    construction: qorva_mat {build_ours * 1e3:.2f} ms, scipy {build_scipy * 1e3:.2f} ms; "
          f"query + construction ratio {(t_ours + build_ours) / (t_scipy + build_scipy):.3f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=7)
    parser.add_argument("--clock", choices=["wall", "cpu"], default="wall")
    args = parser.parse_args()
    global CLOCK
    CLOCK = time.process_time if args.clock == "cpu" else time.perf_counter
    rng = np.random.default_rng(20261207)
    one_dimensional(rng, args.repeat)
    scattered(rng, 2, args.repeat)
    scattered(rng, 3, args.repeat)


if __name__ == "__main__":
    main()
