"""The Python package against tarvello-run: the same runs give the same bytes,
bad inputs give the documented exceptions, a Site survives pickling.

Run by CTest (PythonPackage) with PYTHONPATH at the staged package and
TARVELLO_RUN naming the host built beside it."""
import importlib.metadata
import json
import logging
import os
import pickle
import re
import subprocess
from pathlib import Path

import numpy as np
import pandas as pd
import pytest

import tarvello

HOST = os.environ.get("TARVELLO_RUN", "tarvello-run")
REUSE = "percentReuse_B1_Water_P1_WasteWater"


def host_csv(*args):
    done = subprocess.run([HOST, "--out", "-", "--quiet", *args], capture_output=True, check=True)
    return done.stdout.decode()


@pytest.fixture(scope="module")
def site():
    return tarvello.Site()


@pytest.mark.parametrize("kwargs,args", [
    ({}, []),
    ({"days": 30, "every": 7, "set": {REUSE: 0.8, "fertilizerLevel_B1_Food_P1_Crop": "12.5"}},
     ["--days", "30", "--every", "7", "--set", f"{REUSE}=0.8", "--set", "fertilizerLevel_B1_Food_P1_Crop=12.5"]),
    ({"days": 3, "vars": "all"}, ["--days", "3", "--vars", "all"]),
    ({"days": 90, "scale": {"qttEnergy_B1_Energy_P1_Energy": 1.37}},
     ["--days", "90", "--scale", "qttEnergy_B1_Energy_P1_Energy=1.37"]),
])
def test_run_gives_the_hosts_bytes(site, kwargs, args):
    frame = site.run(**kwargs)
    assert site.to_csv(frame) == host_csv(*args)


def test_kinds_index_and_figures(site):
    frame = site.run(days=365, vars=["dies_B1_Environment_P1_Environment", "waterTank_B1_Food_P1_Crop",
                                     "climateZone_B1_Food_P1_Crop"])
    assert list(frame.dtypes.astype(str)) == ["int32", "float64", "object"]
    assert frame.index.name == "day" and frame.index[0] == 1 and frame.index[-1] == 365
    assert frame.attrs["figures"]["shortfall_days"] > 0
    assert set(frame.attrs["levels"]) >= {"waterTank_B1_Food_P1_Crop"}


def test_runs_do_not_leak_into_each_other(site):
    first = site.to_csv(site.run(days=40))
    site.run(days=40, set={REUSE: 0.0, "waterTank_B1_Food_P1_Crop": 1e9})
    other = tarvello.Site()  # a second private copy of the module
    other.run(days=40, set={REUSE: 1.0})
    assert site.to_csv(site.run(days=40)) == first == other.to_csv(other.run(days=40))


@pytest.mark.parametrize("call,error,message", [
    (lambda s: s.run(set={"percentReuse_B1_Water_P1_WasteWatr": 1}), ValueError, REUSE),
    (lambda s: s.run(set={"dies_B1_Environment_P1_Environment": 1.5}), ValueError, "is not an int"),
    (lambda s: s.run(set={REUSE: "0x10"}), ValueError, "0x10"),
    (lambda s: s.run(set={REUSE: True}), ValueError, "bool"),
    (lambda s: s.run(vars=["waterTank"]), ValueError, "nearest"),
    (lambda s: s.run(days=0), ValueError, "days"),
    (lambda s: s.run(scale={REUSE: 2}), ValueError, REUSE),
    (lambda s: s.run(scale={"qttEnergy_B1_Energy_P1_Energy": float("inf")}), ValueError, "finite"),
    (lambda s: s.run(set=[REUSE]), TypeError, "mapping"),
    (lambda s: tarvello.Site(library="/nonexistent/TarvelloDemoSite.so"), ValueError, "/nonexistent"),
    (lambda s: tarvello.Site(plan="/nonexistent/plan.json"), ValueError, "plan"),
])
def test_bad_inputs_raise_the_documented_exceptions(site, call, error, message):
    with pytest.raises(error, match=message):
        call(site)


@pytest.mark.parametrize("typed", ["waterTank", "qttenergy", "Share of waste water reused"])
def test_an_unknown_name_gets_the_hosts_nearest_names(site, typed):
    host = subprocess.run([HOST, "--set", f"{typed}=1"], capture_output=True)
    offered = host.stderr.decode().strip().split(" (nearest: ", 1)[1]
    with pytest.raises(ValueError) as raised:
        site.run(set={typed: 1})
    assert str(raised.value) == f"set: unknown variable '{typed}' (nearest: {offered}"


def test_the_version_is_the_projects():
    cmake = (Path(__file__).resolve().parents[2] / "CMakeLists.txt").read_text(encoding="utf-8")
    assert tarvello.__version__ == re.search(r"^project\([^)]*VERSION ([0-9.]+)", cmake, re.M)[1]
    # The installed distribution's version, when the package imported is that
    # distribution's (not the build tree's).
    try:
        dist = importlib.metadata.distribution("tarvello")
    except importlib.metadata.PackageNotFoundError:
        return
    if Path(dist.locate_file("tarvello/__init__.py")).resolve() == Path(tarvello.__file__).resolve():
        assert dist.version == tarvello.__version__


def test_a_site_pickles_as_its_inputs(site):
    copy = pickle.loads(pickle.dumps(site))
    assert copy.to_csv(copy.run(days=10)) == site.to_csv(site.run(days=10))


CASES = pd.DataFrame({
    "case": ["dry", "wet", "sunny", "short"],
    "days": [40, 60, 60, 30],
    REUSE: [0.1, 0.9, None, 0.5],
    "scale:qttEnergy_B1_Energy_P1_Energy": [None, 1.0, 1.7, 0.5],
})


def host_sweep(tmp_path, cases, *args):
    cases.to_csv(tmp_path / "cases.csv", index=False)
    subprocess.run([HOST, "--sweep", str(tmp_path / "cases.csv"), "--out", str(tmp_path / "out"),
                    "--quiet", "--jobs", "2", *args], check=True)
    return pd.read_csv(tmp_path / "out" / "summary.csv", dtype=str, keep_default_na=False)


def as_text(value):
    return repr(float(value)) if isinstance(value, (float, np.floating)) else str(value)


@pytest.fixture(scope="module")
def swept(site):
    return site.sweep(CASES, daily=True, jobs=2, every=3)


def test_sweep_equals_the_hosts_summary_and_daily_files(site, swept, tmp_path):
    summary = host_sweep(tmp_path, CASES, "--daily", "--every", "3")
    assert list(swept.case.values) == list(summary["case"])
    for column in summary.columns[2:]:
        if "day" not in swept[column].dims:
            assert [float(v) for v in swept[column].values] == [float(v) for v in summary[column]], column
    assert list(swept.status.values) == list(summary["status"])
    for case in CASES["case"]:
        daily = pd.read_csv(tmp_path / "out" / f"{case}.csv", float_precision="round_trip")
        for column in daily.columns[1:]:
            ours = swept[column].sel(case=case).values[: len(daily)]
            assert np.array_equal(ours, daily[column].to_numpy(), equal_nan=True), (case, column)


def test_sweep_on_a_dask_cluster_equals_the_local_one(site, swept):
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None, silence_logs=logging.ERROR) as cluster, distributed.Client(cluster) as client:
        remote = site.sweep(CASES, daily=True, jobs=1, every=3, client=client, chunk=3)
    assert remote.identical(swept)


STUDY = {
    "method": "nsga2", "days": 90, "seed": 11,
    "factors": [{"name": REUSE, "low": 0, "high": 1},
                {"name": "scale:qttEnergy_B1_Energy_P1_Energy", "low": 0.5, "high": 2}],
    "outputs": [{"name": "grid", "figure": "grid_energy"}, {"name": "water", "figure": "crop_water"}],
    "nsga2": {"population": 8, "generations": 3,
              "objectives": [{"output": "grid"}, {"output": "water"}]},
}


def test_study_equals_the_hosts_files(site, tmp_path):
    (tmp_path / "study.json").write_text(json.dumps(STUDY))
    subprocess.run([HOST, "--study", str(tmp_path / "study.json"), "--out", str(tmp_path / "out"),
                    "--quiet", "--jobs", "2"], check=True)
    result = site.study(STUDY, jobs=1)
    assert set(result.files) == {"samples.csv", "results.csv", "pareto.csv", "population.csv",
                                 "convergence.csv", "optim.out"}
    for name, content in result.files.items():
        assert (tmp_path / "out" / name).read_bytes() == content, name
    assert len(result.pareto) > 0 and list(result.samples.columns[:2]) == ["case", "days"]
    with pytest.raises(ValueError, match="method"):
        site.study({**STUDY, "method": "annealing"})


DATA = Path(__file__).resolve().parents[1] / "data"
ENERGY = "scale:qttEnergy_B1_Energy_P1_Energy"
WATER_NEED = "scale:dayliWaterNeeded_B1_Food_P1_Crop"
# A robust study that names a file of each kind: its designs, its futures and
# the recorded years its futures run.
ROBUST = {
    "method": "robust", "days": 120, "seed": 3,
    "levers": [{"name": REUSE, "low": 0, "high": 1}, {"name": ENERGY, "low": 0.5, "high": 2}],
    "uncertainties": [{"name": "input", "values": ["years/dry-year.csv", "years/dull-year.csv"]},
                      {"name": ENERGY, "low": 0.7, "high": 1.2},
                      {"name": WATER_NEED, "low": 0.8, "high": 1.3}],
    "futures": "futures.csv",
    "outputs": [{"name": "crop_water_days", "figure": "crop_water"},
                {"name": "grid", "figure": "grid_energy"}],
    "robust": {"designs": "designs.csv", "samples": 2,
               "goals": [{"output": "grid"}, {"output": "crop_water_days"}],
               "thresholds": [{"output": "crop_water_days", "max": 0}, {"output": "grid", "max": 60}]},
}


@pytest.fixture(scope="module")
def robust_folder(tmp_path_factory):
    """The robust study's file with the files it names beside it, and the
    host's output for it."""
    folder = tmp_path_factory.mktemp("robust")
    (folder / "years").mkdir()
    for name in ("dry-year.csv", "dull-year.csv"):
        (folder / "years" / name).write_bytes((DATA / name).read_bytes())
    (folder / "designs.csv").write_text(f"design,{REUSE},{ENERGY}\na,0.1,0.6\nb,0.9,1.9\nc,0.5,1\n")
    rows = [f"f{i:02d},years/{('dry', 'dull')[i % 2]}-year.csv,{0.7 + i / 46:.3f},"
            f"{0.8 + (7 * i % 24) / 46:.3f}" for i in range(24)]
    (folder / "futures.csv").write_text(f"future,input,{ENERGY},{WATER_NEED}\n" + "\n".join(rows) + "\n")
    (folder / "study.json").write_text(json.dumps(ROBUST))
    subprocess.run([HOST, "--study", str(folder / "study.json"), "--out", str(folder / "out"),
                    "--quiet", "--jobs", "2"], check=True)
    return folder


@pytest.mark.parametrize("how", ["file", "base", "working directory"])
def test_a_study_reads_the_files_it_names_as_the_host_does(site, robust_folder, how, monkeypatch):
    if how == "file":
        result = site.study(str(robust_folder / "study.json"), jobs=2)
    elif how == "base":
        result = site.study(ROBUST, jobs=2, base=robust_folder)
    else:
        monkeypatch.chdir(robust_folder)
        result = site.study(json.dumps(ROBUST), jobs=2)
    written = {p.name for p in (robust_folder / "out").iterdir() if p.suffix == ".csv"}
    assert written <= set(result.files) and "boxes.csv" in written
    for name in written:
        host = (robust_folder / "out" / name).read_bytes()
        # samples.csv names each recorded year from where it lies: the host's
        # from its output folder, Python's (which writes none) from the study's.
        if name == "samples.csv":
            host = host.replace(b",../years/", b",years/")
        assert result.files[name] == host, name


def test_a_robust_studys_tables_and_plots_agree_with_its_results(site, robust_folder):
    import matplotlib
    matplotlib.use("Agg")

    result = site.study(ROBUST, jobs=2, base=robust_folder)
    r, robustness = result.results, result.robustness
    assert len(r) == 5 * 24 and list(r.columns[:3]) == ["case", "design", "future"]
    met = (r["status"] == "ok") & (r["crop_water_days"] <= 0) & (r["grid"] <= 60)
    share = met.groupby(r["design"]).mean()
    assert robustness.groupby("design")["satisficing"].first().to_dict() == share.to_dict()
    assert list(robustness["satisficing"]) == sorted(robustness["satisficing"], reverse=True)
    box = result.boxes.iloc[0]
    assert box["design"] == robustness["design"].iloc[0] and 0 < box["coverage"] <= 1
    assert result.prim_trajectory["chosen"].sum() == 1 and result.population is None

    robustness_ax, tradeoff_ax, box_ax = result.plot(kind="all")
    misses, meets = (len(c.get_offsets()) for c in box_ax.collections[::-1][:2])
    assert (misses, meets) == ((~met[r["design"] == box["design"]]).sum(),
                               met[r["design"] == box["design"]].sum())
    assert "solar production" in box_ax.get_xlabel() + box_ax.get_ylabel()
    assert "crop water" in robustness_ax.get_xlabel()
    with pytest.raises(ValueError, match="convergence"):
        result.plot(kind="convergence")


def test_a_searchs_convergence_is_drawn(site):
    import matplotlib
    matplotlib.use("Agg")

    result = site.study(STUDY, jobs=2)
    ax = result.plot(kind="convergence")
    assert list(ax.get_lines()[0].get_ydata()) == list(result.convergence["hypervolume"])
    assert len(result.population) == STUDY["nsga2"]["population"] and result.robustness is None

    # A robust search's front is drawn over its objectives' statistics, not
    # over whichever columns come last.
    search = {**STUDY, "levers": STUDY["factors"], "futures": {"sample": "lhs", "count": 3},
              "uncertainties": [{"name": "scale:dayliWaterNeeded_B1_Food_P1_Crop", "low": 0.8, "high": 1.2}],
              "nsga2": {**STUDY["nsga2"], "objectives": [{"output": "grid", "statistic": "p90"},
                                                         {"output": "water", "statistic": "worst"}]}}
    del search["factors"]
    ax = site.study(search, jobs=2).plot(kind="front")
    assert (ax.get_xlabel(), ax.get_ylabel()) == ("90th percentile of days short of grid energy",
                                                 "worst of days short of crop water")


@pytest.mark.parametrize("call,message", [
    (lambda site, folder: site.study(ROBUST, jobs=1),
     r"^\(study\): uncertainties\[0\]\.values\[0\]: cannot read the file .*/years/dry-year\.csv$"),
    (lambda site, folder: site.study({**ROBUST, "robust": {**ROBUST["robust"], "designs": "none.csv"}},
                                     base=folder),
     r"^\(study\): robust\.designs: cannot read the file .*/none\.csv$"),
    (lambda site, folder: site.study({**ROBUST, "futures": "none.csv"}, base=folder),
     r"^\(study\): futures: cannot read the file .*/none\.csv$"),
    (lambda site, folder: tarvello._tarvello.SteppedStudy(site._native, json.dumps(ROBUST), "s.json"),
     r"^s\.json: uncertainties\[0\]\.values\[0\]: 'years/dry-year.csv' was not sent with the study$"),
])
def test_a_file_a_study_names_that_cannot_be_read_is_named(site, robust_folder, call, message):
    with pytest.raises(ValueError, match=message):
        call(site, robust_folder)
