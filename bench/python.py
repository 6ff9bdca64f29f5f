#!/usr/bin/python3
"""The Python package beside what it wraps, measured side by side in one run:
site.run(days=365) against the engine's in-process year (tds_bench's
host/year: the default year with 18 variables written each day), and
site.sweep of 10 000 one-year cases against tarvello-run --sweep of the same
cases with the same jobs, and site.study(spec, client=client) of the robust
evaluation of bench/study.py (100 designs x 1 000 futures) on a Dask
LocalCluster of two worker processes of one thread each against
tarvello-run --study with two jobs. Prints a Markdown section for
BENCHMARKS.md.

    bench/python.py BUILD_DIR [--quick]    (the bench preset's build: bin/ and python/)

--quick runs the robust evaluation at 20 designs x 100 futures, to try the
harness; its figures are not the table's.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time
import timeit

import json

from study import robust_study

CASES = 10_000
JOBS = 2
# Side by side, alternately, this many times each: the robust evaluation.
STUDY_REPEATS = 2


def engine_year(build):
    out = subprocess.run([os.path.join(build, "bin", "tds_bench"), "--benchmark_filter=^host/year$",
                          "--benchmark_repetitions=10", "--benchmark_report_aggregates_only=true",
                          "--benchmark_format=json"], capture_output=True, check=True, text=True)
    rows = json.loads(out.stdout)["benchmarks"]
    median = next(r for r in rows if r.get("aggregate_name") == "median")
    return median["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3}[median["time_unit"]]


def robust_through_dask(build, site, quick):
    """Wall times (medians) of the robust evaluation through tarvello-run
    --study and through Dask, run alternately, and its case count."""
    from distributed import Client, LocalCluster

    spec = robust_study(20, 100) if quick else robust_study()
    host, dask = [], []
    with tempfile.TemporaryDirectory() as scratch, \
            LocalCluster(n_workers=JOBS, threads_per_worker=1, processes=True,
                         dashboard_address=None) as cluster, Client(cluster) as client:
        path = os.path.join(scratch, "robust.json")
        with open(path, "w", encoding="utf-8") as f:
            json.dump(spec, f)
        for k in range(STUDY_REPEATS):
            started = time.perf_counter()
            subprocess.run([os.path.join(build, "bin", "tarvello-run"), "--study", path, "--out",
                            os.path.join(scratch, f"out{k}"), "--jobs", str(JOBS), "--quiet"],
                           check=True)
            host.append(time.perf_counter() - started)
            started = time.perf_counter()
            result = site.study(spec, client=client)
            dask.append(time.perf_counter() - started)
        cases = len(result.results)
    return statistics.median(host), statistics.median(dask), cases


def main(build, quick=False):
    sys.path.insert(0, os.path.join(build, "python"))
    import pandas as pd
    import tarvello

    site = tarvello.Site()
    site.run()
    python_year = statistics.median(t / 50 for t in timeit.repeat(site.run, number=50, repeat=10))
    year = engine_year(build)

    count = CASES // 10 if quick else CASES
    reuse = [(k % 1000) / 1000 for k in range(count)]
    cases = pd.DataFrame({"case": [f"c{k:05d}" for k in range(count)],
                          "percentReuse_B1_Water_P1_WasteWater": reuse})
    host, py = [], []
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "cases.csv")
        cases.to_csv(path, index=False)
        for k in range(3):
            started = time.perf_counter()
            subprocess.run([os.path.join(build, "bin", "tarvello-run"), "--sweep", path, "--out",
                            os.path.join(scratch, f"out{k}"), "--jobs", str(JOBS), "--quiet"], check=True)
            host.append(time.perf_counter() - started)
            started = time.perf_counter()
            site.sweep(cases, jobs=JOBS)
            py.append(time.perf_counter() - started)
    host_sweep, py_sweep = statistics.median(host), statistics.median(py)
    host_study, dask_study, study_cases = robust_through_dask(build, site, quick)

    print("## Python\n")
    print("`bench/python.py`, run by `bench/run.sh` after the rows above: the package's calls beside")
    print("what they wrap, measured side by side (medians).\n")
    print("| Benchmark | Python | Beside it | Ratio |")
    print("|---|---:|---:|---:|")
    print(f"| `site.run(days=365)`, DataFrame of 18 variables, vs the engine's year (host/year) "
          f"| {python_year * 1e6:,.0f} µs | {year * 1e6:,.0f} µs | {python_year / year:.2f} |")
    print(f"| `site.sweep` of {count:,} one-year cases vs `tarvello-run --sweep`, {JOBS} jobs "
          f"| {py_sweep:.2f} s | {host_sweep:.2f} s | {py_sweep / host_sweep:.2f} |")
    print(f"| `site.study(spec, client=client)`, the robust evaluation of {study_cases:,} cases on a Dask "
          f"`LocalCluster` of {JOBS} worker processes, vs `tarvello-run --study`, {JOBS} jobs "
          f"| {dask_study:.1f} s | {host_study:.1f} s | {dask_study / host_study:.2f} |")


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3) or sys.argv[2:] not in ([], ["--quick"]):
        sys.exit(__doc__)
    main(sys.argv[1], quick=sys.argv[2:] == ["--quick"])
