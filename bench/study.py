#!/usr/bin/python3
"""What a design study costs beside the model's own work, measured side by
side in one run: tarvello-run --study for a Sobol' study of 20 factors at
N = 4096 with second-order indices (172 032 one-year cases) and for NSGA-II with 25 000 evaluations
(population 100, 250 generations), each against cases x the in-process year
(tds_bench's host/year_without_csv) / jobs. Prints a Markdown section for
BENCHMARKS.md.

    bench/study.py BUILD_DIR    (the bench preset's build: bin/)
"""
import json
import os
import subprocess
import sys
import tempfile
import time

JOBS = 2
STUDIES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs", "studies")


def in_process_year(build):
    out = subprocess.run([os.path.join(build, "bin", "tds_bench"),
                          "--benchmark_filter=^host/year_without_csv$", "--benchmark_repetitions=10",
                          "--benchmark_report_aggregates_only=true", "--benchmark_format=json"],
                         capture_output=True, check=True, text=True)
    median = next(r for r in json.loads(out.stdout)["benchmarks"] if r.get("aggregate_name") == "median")
    return median["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3}[median["time_unit"]]


def sobol_study():
    """The Morris screening's factors and nine more doubles of the site."""
    with open(os.path.join(STUDIES, "morris-shortfalls.json"), encoding="utf-8") as f:
        morris = json.load(f)
    more = ["waterTank_B1_Water_P1_CleanWater", "waterTank_B1_Food_P1_Crop",
            "fertilizerTank_B1_Food_P1_BioProductProduction", "energyLevel_B1_Energy_P1_Energy",
            "qttSolidWasteLevel_B1_Waste_P1_Waste", "percentCOD_B1_Water_P1_WasteWater_1",
            "qttTreatedWater_B1_Water_P1_WasteWater", "qttEnergyGrid_B1_Energy_P1_Energy",
            "percentCOD_B1_Water_P1_WasteWater"]
    factors = morris["factors"] + [{"name": n, "low": 0, "high": 1} for n in more]
    assert len(factors) == 20
    return {"method": "sobol", "days": 365, "seed": 1, "factors": factors,
            "outputs": morris["outputs"][:2],
            "sobol": {"n": 4096, "resamples": 200, "second_order": True}}


def nsga2_study():
    with open(os.path.join(STUDIES, "nsga2-grid-vs-water.json"), encoding="utf-8") as f:
        study = json.load(f)
    study["nsga2"].update(population=100, generations=250)
    return study


def timed(build, study, scratch, name):
    path = os.path.join(scratch, f"{name}.json")
    with open(path, "w", encoding="utf-8") as f:
        json.dump(study, f)
    started = time.perf_counter()
    subprocess.run([os.path.join(build, "bin", "tarvello-run"), "--study", path, "--out",
                    os.path.join(scratch, name), "--jobs", str(JOBS), "--quiet"], check=True)
    wall = time.perf_counter() - started
    with open(os.path.join(scratch, name, "results.csv"), encoding="utf-8") as f:
        cases = sum(1 for _ in f) - 1
    return wall, cases


def main(build):
    year = in_process_year(build)
    rows = []
    with tempfile.TemporaryDirectory() as scratch:
        for name, study, what in (("sobol", sobol_study(), "Sobol', 20 factors, N = 4096, second order"),
                                  ("nsga2", nsga2_study(), "NSGA-II, population 100, 250 generations")):
            wall, cases = timed(build, study, scratch, name)
            model = cases * year / JOBS
            rows.append(f"| {what} | {cases:,} | {wall:.1f} s | {model:.1f} s | {wall / model:.2f} |")
    print("## Design studies\n")
    print(f"`bench/study.py`, run by `bench/run.sh`: `tarvello-run --study` with {JOBS} jobs, plots")
    print(f"included, beside cases × the in-process year ({year * 1e6:,.0f} µs, host/year_without_csv) ÷ jobs.")
    print("NSGA-II runs its generations as batches of one session: its workers and the snapshot's")
    print("self-check are started once for the whole search.\n")
    print("| Study | Cases | Wall time | Model's work | Ratio |")
    print("|---|---:|---:|---:|---:|")
    print("\n".join(rows))


if __name__ == "__main__":
    main(sys.argv[1])
