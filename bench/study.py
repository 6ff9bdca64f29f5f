#!/usr/bin/python3
"""What a design study costs beside the model's own work, measured side by
side in one run: tarvello-run --study for a Sobol' study of 20 factors at
N = 4096 with second-order indices (172 032 one-year cases), for NSGA-II with
25 000 evaluations (population 100, 250 generations), for a robust
evaluation of 100 designs across 1 000 futures (100 000 cases) and for a
robust search of population 40 over 50 generations across 100 futures
(204 000 cases), each against cases x the in-process year (tds_bench's
host/year_without_csv, measured before and after each study) / jobs; and
the share of the robust evaluation's
tables (its measures of every design and the scenario discovery), made
in-process from its recorded cases by tds_bench's study/recorded_tables.
Prints a Markdown section for BENCHMARKS.md.

    bench/study.py BUILD_DIR [--quick] [NAME ...]    (the bench preset's build: bin/)

--quick runs the robust studies at a tenth of their cases or fewer, to try
the harness; its figures are not the table's. NAMEs (sobol, nsga2, robust,
robust-search) run only those studies.
"""
import json
import os
import subprocess
import sys
import tempfile
import time

JOBS = 2
STUDIES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs", "studies")


def median_seconds(build, benchmark, repetitions=10, env=None):
    """The median wall time of one of tds_bench's benchmarks, in seconds."""
    out = subprocess.run([os.path.join(build, "bin", "tds_bench"),
                          f"--benchmark_filter=^{benchmark}$", f"--benchmark_repetitions={repetitions}",
                          "--benchmark_report_aggregates_only=true", "--benchmark_format=json"],
                         capture_output=True, check=True, text=True, env=env)
    rows = json.loads(out.stdout)["benchmarks"]
    failed = next((r for r in rows if r.get("error_occurred")), None)
    if failed is not None:
        sys.exit(f"study.py: {benchmark}: {failed.get('error_message')}")
    median = next(r for r in rows if r.get("aggregate_name") == "median")
    return median["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[median["time_unit"]]


def in_process_year(build):
    return median_seconds(build, "host/year_without_csv")


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


def robust_study(designs=100, futures=1000):
    """The robust example across futures of the sun, the crop's water need
    and the inflow, its designs a Latin hypercube of the levers in place of
    the NSGA-II example's front."""
    with open(os.path.join(STUDIES, "robust-front.json"), encoding="utf-8") as f:
        study = json.load(f)
    del study["robust"]["designs"]
    study["robust"]["samples"] = designs
    study["futures"] = {"sample": "lhs", "count": futures}
    return study


def robust_search_study(population=40, generations=50, futures=100):
    """NSGA-II over the robust example's levers, each design run in every
    future: the 90th percentile of the crop-water shortfall days and the
    mean grid energy minimised, the share of futures meeting the thresholds
    maximised. The repository's robust search example when there is one."""
    path = os.path.join(STUDIES, "robust-search.json")
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            study = json.load(f)
    else:
        study = robust_study()
        del study["robust"]
        study["method"] = "nsga2"
        study["nsga2"] = {
            "objectives": [{"output": "crop_water_days", "goal": "minimise", "statistic": "p90"},
                           {"output": "grid_energy_total", "goal": "minimise", "statistic": "mean"},
                           {"statistic": "satisficing", "goal": "maximise"}],
            "thresholds": [{"output": "crop_water_days", "max": 30},
                           {"output": "grid_energy_total", "max": 100}]}
    study["nsga2"].update(population=population, generations=generations)
    study["futures"] = {"sample": "lhs", "count": futures}
    return study


def timed(build, study, scratch, name):
    path = os.path.join(scratch, f"{name}.json")
    with open(path, "w", encoding="utf-8") as f:
        json.dump(study, f)
    started = time.perf_counter()
    run = subprocess.run([os.path.join(build, "bin", "tarvello-run"), "--study", path, "--out",
                          os.path.join(scratch, name), "--jobs", str(JOBS), "--quiet"],
                         stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - started
    if run.returncode != 0:
        # A study that this build refuses or fails keeps its row, saying why.
        sys.stderr.write(run.stderr)
        raise RuntimeError(run.stderr.strip().splitlines()[-1] if run.stderr.strip()
                           else f"tarvello-run ended with status {run.returncode}")
    with open(os.path.join(scratch, name, "results.csv"), encoding="utf-8") as f:
        cases = sum(1 for _ in f) - 1
    return wall, cases


def load():
    with open("/proc/loadavg", encoding="utf-8") as f:
        return ", ".join(f.read().split()[:3])


def main(build, quick=False, only=()):
    studies = [("sobol", sobol_study(), "Sobol', 20 factors, N = 4096, second order"),
               ("nsga2", nsga2_study(), "NSGA-II, population 100, 250 generations"),
               ("robust", robust_study(), "Robust evaluation, 100 designs × 1,000 futures"),
               ("robust-search", robust_search_study(),
                "Robust search, population 40, 50 generations, 100 futures")]
    if quick:
        studies = [("robust", robust_study(20, 100), "Robust evaluation, 20 designs × 100 futures"),
                   ("robust-search", robust_search_study(10, 5, 10),
                    "Robust search, population 10, 5 generations, 10 futures")]
    if only:
        studies = [row for row in studies if row[0] in only]
    started_load = load()
    # The in-process year before and after each study, on a machine whose
    # load may change: each study's model work takes the mean of the two.
    years = [in_process_year(build)]
    rows = []
    tables = None
    with tempfile.TemporaryDirectory() as scratch:
        for name, study, what in studies:
            try:
                wall, cases = timed(build, study, scratch, name)
            except RuntimeError as e:
                rows.append(f"| {what} | | not run: {str(e).replace('|', '/')} | | | |")
                continue
            finally:
                years.append(in_process_year(build))
            year = (years[-2] + years[-1]) / 2
            model = cases * year / JOBS
            rows.append(f"| {what} | {cases:,} | {year * 1e6:,.0f} µs | {wall:.1f} s | {model:.1f} s "
                        f"| {wall / model:.2f} |")
            if name == "robust":
                env = dict(os.environ, TDS_BENCH_STUDY=os.path.join(scratch, f"{name}.json"),
                           TDS_BENCH_RESULTS=os.path.join(scratch, name, "results.csv"))
                made = median_seconds(build, "study/recorded_tables", 5, env)
                tables = (cases, made, wall)
    print("## Design studies\n")
    print(f"`bench/study.py`, run by `bench/run.sh`: `tarvello-run --study` with {JOBS} jobs, plots")
    print("included, beside cases × the in-process year (host/year_without_csv, the mean of its")
    print("medians just before and just after the study) ÷ jobs.")
    print("NSGA-II runs its generations as batches of one session: its workers and the snapshot's")
    print("self-check are started once for the whole search; a robust search runs each generation's")
    print("designs in every future as one batch.\n")
    print("| Study | Cases | Year | Wall time | Model's work | Ratio |")
    print("|---|---:|---:|---:|---:|---:|")
    print("\n".join(rows))
    if tables is not None:
        cases, made, wall = tables
        print(f"\nThe robust evaluation's tables from its {cases:,} recorded cases (samples.csv, results.csv,")
        print("robustness.csv with every design's measures and regret, and the scenario discovery's")
        print(f"files; study/recorded_tables, in-process, median of 5) took {made * 1e3:,.0f} ms,")
        print(f"{made / wall * 100:.1f} % of the study's wall time.")
    print(f"\nLoad averages when the studies started: {started_load}; when they ended: {load()}.")


if __name__ == "__main__":
    NAMES = {"sobol", "nsga2", "robust", "robust-search"}
    options = sys.argv[2:]
    quick = "--quick" in options
    only = [o for o in options if o != "--quick"]
    if len(sys.argv) < 2 or not set(only) <= NAMES:
        sys.exit(__doc__)
    main(sys.argv[1], quick=quick, only=only)
