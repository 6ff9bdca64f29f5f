#!/usr/bin/python3
"""The Python package beside what it wraps, measured side by side in one run:
site.run(days=365) against the engine's in-process year (tds_bench's
host/year: the default year with 18 variables written each day), and
site.sweep of 10 000 one-year cases against tarvello-run --sweep of the same
cases with the same jobs. Prints a Markdown section for BENCHMARKS.md.

    bench/python.py BUILD_DIR    (the bench preset's build: bin/ and python/)
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time
import timeit

import json

CASES = 10_000
JOBS = 2


def engine_year(build):
    out = subprocess.run([os.path.join(build, "bin", "tds_bench"), "--benchmark_filter=^host/year$",
                          "--benchmark_repetitions=10", "--benchmark_report_aggregates_only=true",
                          "--benchmark_format=json"], capture_output=True, check=True, text=True)
    rows = json.loads(out.stdout)["benchmarks"]
    median = next(r for r in rows if r.get("aggregate_name") == "median")
    return median["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3}[median["time_unit"]]


def main(build):
    sys.path.insert(0, os.path.join(build, "python"))
    import pandas as pd
    import tarvello

    site = tarvello.Site()
    site.run()
    python_year = statistics.median(t / 50 for t in timeit.repeat(site.run, number=50, repeat=10))
    year = engine_year(build)

    reuse = [(k % 1000) / 1000 for k in range(CASES)]
    cases = pd.DataFrame({"case": [f"c{k:05d}" for k in range(CASES)],
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

    print("## Python\n")
    print("`bench/python.py`, run by `bench/run.sh` after the rows above: the package's calls beside")
    print("what they wrap, measured side by side (medians).\n")
    print("| Benchmark | Python | Beside it | Ratio |")
    print("|---|---:|---:|---:|")
    print(f"| `site.run(days=365)`, DataFrame of 18 variables, vs the engine's year (host/year) "
          f"| {python_year * 1e6:,.0f} µs | {year * 1e6:,.0f} µs | {python_year / year:.2f} |")
    print(f"| `site.sweep` of {CASES:,} one-year cases vs `tarvello-run --sweep`, {JOBS} jobs "
          f"| {py_sweep:.2f} s | {host_sweep:.2f} s | {py_sweep / host_sweep:.2f} |")


if __name__ == "__main__":
    main(sys.argv[1])
