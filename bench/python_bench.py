#!/usr/bin/python3
"""Measures the Python package: the pandas path against pandas' own exact
Decimal arithmetic and float64 eval on 1,000,000 rows of the example sales
data's columns, the whole example report, and Dask with one and two worker
processes on 10,000,000 rows. Prints one line per figure.

    PYTHONPATH=python /usr/bin/python3 bench/python_bench.py [--rows N] [--runs N] [--dask-rows N]
        [--partitions N] [--no-dask] [--no-pandas]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
from decimal import ROUND_HALF_UP, Decimal

import numpy as np
import pandas as pd

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(os.path.dirname(HERE), "examples")
SALES = os.path.join(EXAMPLES, "sales.csv")
FORMULAS = os.path.join(EXAMPLES, "sales.formulas")
NET = "Quantity * Unit_Price * (1 - Discount)"
CENTS = Decimal("0.01")

sys.path.insert(0, os.path.join(os.path.dirname(HERE), "python"))
import xev  # noqa: E402
import xev.dask  # noqa: E402


def read_orders(path):
    return pd.read_csv(path, parse_dates=["Order Date", "Ship Date"])


def generated_orders(rows):
    """rows orders from the example data's generator: its columns, prices and
    discounts as varied as in the example, not repeats of its 3000 rows."""
    with tempfile.NamedTemporaryFile(suffix=".csv") as csv:
        subprocess.run([sys.executable, os.path.join(EXAMPLES, "make_sales.py"), str(rows)], stdout=csv,
                       check=True)
        return read_orders(csv.name)


def sales_rows(rows, seed):
    """rows orders drawn from the example data (for Dask's partitions)."""
    return read_orders(SALES).sample(rows, replace=True, random_state=seed).reset_index(drop=True)


def timed(work):
    """(wall, CPU of this process's threads) seconds of one work(), and its result."""
    start, cpu = time.perf_counter(), time.process_time()
    result = work()
    return (time.perf_counter() - start, time.process_time() - cpu), result


def median_of(runs, work):
    """The median of runs timings of work() as (wall, CPU) seconds, and its
    last result: the machine is shared, so neither the best nor the mean
    run stands for it."""
    timings, result = [], None
    for _ in range(runs):
        seconds, result = timed(work)
        timings.append(seconds)
    return (statistics.median(t[0] for t in timings), statistics.median(t[1] for t in timings)), result


def side_by_side(runs, pandas_work, xev_work):
    """Median timings of the two, run in turn so that both see the same load,
    the median of the per-pair ratios, and the last results."""
    pairs, results = [], None
    for _ in range(runs):
        slow, pandas_result = timed(pandas_work)
        fast, xev_result = timed(xev_work)
        pairs.append((slow, fast))
        results = pandas_result, xev_result
    median = lambda values: statistics.median(values)
    return ((median(p[0][0] for p in pairs), median(p[0][1] for p in pairs)),
            (median(p[1][0] for p in pairs), median(p[1][1] for p in pairs)),
            (median(p[0][0] / p[1][0] for p in pairs), median(p[0][1] / p[1][1] for p in pairs)), results)


def as_decimals(column):
    return column.map(lambda v: Decimal(0) if pd.isna(v) else Decimal(repr(float(v))))


def report(label, seconds, rows):
    """seconds: wall, or (wall, CPU)."""
    wall, cpu = seconds if isinstance(seconds, tuple) else (seconds, None)
    line = f"{label:<58} {wall:8.3f} s  {wall / rows * 1e9:7.0f} ns/row"
    if cpu is not None:
        line += f"  (CPU {cpu:.3f} s)"
    print(line, flush=True)


def bench_pandas(rows, runs):
    frame = generated_orders(rows)
    q, p, d = frame["Quantity"], frame["Unit Price"], frame["Discount"]
    exact = pd.DataFrame({"q": q.map(Decimal), "p": as_decimals(p), "d": as_decimals(d)})
    floats = pd.DataFrame({"q": q.astype(np.float64), "p": p, "d": d.fillna(0.0)})

    plain = lambda: exact.q * exact.p * (1 - exact.d)
    rounded = lambda: plain().map(lambda v: v.quantize(CENTS, ROUND_HALF_UP))
    seconds, _ = median_of(runs, lambda: floats.eval("q * p * (1 - d)"))
    report("pandas float64 eval: q * p * (1 - d) (inexact)", seconds, rows)
    for threads in (1, 0):
        name = "all processors" if threads == 0 else "1 thread"
        for label, pandas_work, formula in (("q * p * (1 - d)", plain, NET),
                                            ("rounded to cents", rounded, f"NumberRound({NET}, 2)")):
            xev_work = lambda: xev.evaluate(frame, {"Net": formula}, threads=threads)
            slow, fast, ratio, (expected, got) = side_by_side(runs, pandas_work, xev_work)
            report(f"pandas Decimal objects: {label}", slow, rows)
            report(f"xev, decimal column ({name}): {label}", fast, rows)
            print(f"  xev against pandas Decimal objects, {label}: {ratio[0]:.1f}x wall, {ratio[1]:.1f}x CPU "
                  "(medians of the pairs' ratios)", flush=True)
            assert got["Net"].tolist() == expected.tolist(), f"xev and Decimal differ: {label}"
    seconds, _ = median_of(runs, lambda: xev.evaluate(frame, {"Net": NET}, numbers="decimal"))
    report("xev, Decimal objects: q * p * (1 - d)", seconds, rows)
    seconds, _ = median_of(runs, lambda: xev.evaluate(frame, {"Net": NET}, numbers="float"))
    report("xev, float results: q * p * (1 - d)", seconds, rows)
    seconds, _ = median_of(runs, lambda: xev.evaluate(frame, FORMULAS))
    report("xev: the example report (11 formulas)", seconds, rows)


def dask_partition(rows, seed):
    return sales_rows(rows, seed)


def bench_dask(rows, partitions):
    import dask.dataframe as dd
    from distributed import Client, LocalCluster, wait

    per_partition = rows // partitions
    meta = sales_rows(1, 0).iloc[:0]
    timings = {}
    for workers in (1, 2):
        with LocalCluster(n_workers=workers, threads_per_worker=1, dashboard_address=None) as cluster, \
                Client(cluster) as client:
            orders = dd.from_map(dask_partition, [per_partition] * partitions, list(range(partitions)),
                                 meta=meta)
            orders = client.persist(orders)
            wait(orders)
            evaluated = xev.dask.evaluate(orders, FORMULAS)
            start = time.perf_counter()
            counted = evaluated.map_partitions(len).compute()
            timings[workers] = time.perf_counter() - start
            assert counted.sum() == per_partition * partitions
            if workers == 2:
                bench_results_to_client(orders, rows)
        report(f"Dask, {workers} worker process(es): the example report", timings[workers], rows)
    print(f"Dask speed-up of 2 workers over 1: {timings[1] / timings[2]:.2f}")


def bench_results_to_client(orders, rows):
    """q * p * (1 - d) computed and brought to the client, by number form."""
    seconds = {}
    for numbers in ("float", "exact", "decimal"):
        evaluated = xev.dask.evaluate(orders, {"Net": NET}, numbers=numbers)
        seconds[numbers], _ = median_of(3, evaluated.compute)
        report(f"Dask, 2 workers: q * p * (1 - d) to the client, numbers={numbers!r}", seconds[numbers], rows)
    print(f"  decimal column against float results: {seconds['exact'][0] / seconds['float'][0]:.2f}x the time; "
          f"Decimal objects: {seconds['decimal'][0] / seconds['float'][0]:.2f}x", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--dask-rows", type=int, default=10_000_000)
    parser.add_argument("--partitions", type=int, default=40)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--no-dask", action="store_true")
    parser.add_argument("--no-pandas", action="store_true")
    options = parser.parse_args()
    print(f"xev {xev.library_path}; {os.cpu_count()} processors; load average {os.getloadavg()[0]:.1f}")
    if not options.no_pandas:
        bench_pandas(options.rows, options.runs)
    if not options.no_dask:
        bench_dask(options.dask_rows, options.partitions)


if __name__ == "__main__":
    main()
