"""Design studies: the tables of tarvello-run --study as DataFrames."""

from __future__ import annotations

import html
import io
import json
import os
import textwrap
from pathlib import Path

import pandas as pd

from . import _tarvello

# The method's own table, by method.
_TABLES = {"morris": "effects.csv", "sobol": "indices.csv", "lhs": "best.csv", "nsga2": "pareto.csv",
           "robust": "robustness.csv"}


class StudyResult:
    """A design study's results.

    Attributes:
        method: ``morris``, ``sobol``, ``lhs``, ``nsga2`` or ``robust``.
        files: every output file as ``tarvello-run --study`` writes it,
            ``{name: bytes}``.
        summary: the line that sums the study up (the most influential
            factors, the best design or the front's size).
        samples, results: every case's factor values and outputs.
        table: the method's table (``effects``, ``indices``, ``best``,
            ``pareto`` or ``robustness``), also under that name; a robust
            study's scenario discovery is in ``files`` (``prim_trajectory.csv``,
            ``boxes.csv``).

    >>> from tarvello import Site
    >>> result = Site().study({"method": "morris", "days": 30, "seed": 1,
    ...     "factors": [{"name": "percentReuse_B1_Water_P1_WasteWater", "low": 0, "high": 1}],
    ...     "outputs": [{"name": "short", "figure": "shortfall_days"}],
    ...     "morris": {"trajectories": 4, "levels": 4}}, jobs=1)
    >>> list(result.effects.columns[:3])
    ['factor', 'output', 'mu']
    """

    def __init__(self, native):
        self.method = native["method"]
        self.files = {name: bytes(content) for name, content in native["files"]}
        self.summary = native["summary"]
        self.samples = self._csv("samples.csv")
        self.results = self._csv("results.csv")
        self.table = self._csv(_TABLES[self.method])
        setattr(self, Path(_TABLES[self.method]).stem, self.table)

    def _csv(self, name):
        return pd.read_csv(io.BytesIO(self.files[name]), float_precision="round_trip",
                           keep_default_na=False, na_values=["nan"])

    def write(self, directory) -> None:
        """Writes every file into directory (created if need be), each
        under a temporary name first, renamed when complete."""
        target = Path(directory)
        target.mkdir(parents=True, exist_ok=True)
        for name, content in self.files.items():
            temporary = target / f".{name}.{os.getpid()}.tmp"
            temporary.write_bytes(content)
            os.replace(temporary, target / name)

    def plot(self, output=None, ax=None):
        """Plots the method's table with matplotlib: μ* against σ (morris),
        S1 and ST with their intervals (sobol), each for one output (the
        first by default), the front's first two objectives (nsga2) or the
        best designs' objective (lhs). Returns the axes."""
        import matplotlib.pyplot as plt

        if self.method == "robust":
            raise ValueError("plot: a robust study is drawn by tarvello-run --study "
                             "(robustness.png, prim_tradeoff.png, prim_box.png)")
        if ax is None:
            _, ax = plt.subplots(figsize=(7, 4.5))
        t = self.table
        if self.method in ("morris", "sobol"):
            output = t["output"].iloc[0] if output is None else output
            if output not in set(t["output"]):
                raise ValueError(f"plot: the study has no output {output!r}")
            t = t[t["output"] == output]
        if self.method == "morris":
            # Only the factors with a noticeable effect are labelled.
            floor = 0.05 * t["mu_star"].max()
            for output, part in t.groupby("output", sort=False):
                ax.scatter(part["mu_star"], part["sigma"], label=output)
                for _, row in part[part["mu_star"] > floor].iterrows():
                    ax.annotate(_short(row["factor"]), (row["mu_star"], row["sigma"]), fontsize=7,
                                xytext=(3, 3), textcoords="offset points")
            ax.set_xlabel("μ* (mean absolute elementary effect)")
            ax.set_ylabel("σ (spread of the effects)")
            ax.legend(fontsize=8)
        elif self.method == "sobol":
            first = t
            x = range(len(first))
            ax.bar([i - 0.2 for i in x], first["S1"], width=0.4, label="S1 (first order)",
                   yerr=[first["S1"] - first["S1_low"], first["S1_high"] - first["S1"]])
            ax.bar([i + 0.2 for i in x], first["ST"], width=0.4, label="ST (total)",
                   yerr=[first["ST"] - first["ST_low"], first["ST_high"] - first["ST"]])
            ax.set_xticks(list(x), [_short(f) for f in first["factor"]], rotation=30, ha="right")
            ax.set_ylabel(f"Sobol' index of {first['output'].iloc[0]}")
            ax.legend(fontsize=8)
        else:
            outputs = [c for c in self.results.columns if c in t.columns][-2:]
            if self.method == "nsga2" and len(outputs) == 2:
                ax.scatter(t[outputs[0]], t[outputs[1]])
                ax.set_xlabel(outputs[0])
                ax.set_ylabel(outputs[1])
            else:
                t.iloc[:, -1].plot.bar(ax=ax)
        ax.set_title(textwrap.fill(self.summary, 90), fontsize=8)
        return ax

    def _repr_html_(self) -> str:
        return (f"<div><strong>{html.escape(self.method)} study</strong>: {html.escape(self.summary)}"
                f"<br>{len(self.results)} cases{self.table.to_html(max_rows=20)}</div>")

    def __repr__(self) -> str:
        return f"StudyResult({self.method}, {len(self.results)} cases: {self.summary})"


def _short(name: str) -> str:
    """A factor's name with its process instead of its block and process:
    percentReuse (WasteWater), scale:qttEnergy (Energy)."""
    if "_B1_" not in name or "_P1_" not in name:
        return name
    process = name.split("_P1_", 1)[1].split("_")[0]
    return f"{name.split('_B1_')[0]} ({process})"


def _distributed(site, text, source, jobs, progress, client, chunk) -> StudyResult:
    """The study's batches (its design, or each generation) split into
    chunks for the cluster's workers; the tables made here from the cases,
    in their order, as a study run in one process makes them."""
    from . import _dask

    stepped = _tarvello.SteppedStudy(site._native, text, source)
    total = stepped.total()
    while not stepped.done():
        points = stepped.next()
        phase, first = stepped.phase(), stepped.told()
        size = _dask.chunk_size(client, len(points), chunk)
        parts = [(site._inputs, text, source, points[at:at + size], jobs)
                 for at in range(0, len(points), size)]
        finished = 0

        def told(_, result, phase=phase, first=first):
            nonlocal finished
            finished += len(result)
            progress(first + finished, total, phase)

        results = _dask.run_chunks(client, _dask.evaluate_chunk, parts, "study",
                                   told if progress is not None else None)
        stepped.tell([e for part in results for e in part])
    return StudyResult(stepped.tables())


def study(site, spec, jobs=None, progress=None, client=None, chunk=None) -> StudyResult:
    if isinstance(spec, (str, os.PathLike)) and not str(spec).lstrip().startswith("{"):
        source = os.fspath(spec)
        text = Path(source).read_text(encoding="utf-8")
    elif isinstance(spec, dict):
        source, text = "(study)", json.dumps(spec)
    elif isinstance(spec, str):
        source, text = "(study)", spec
    else:
        raise TypeError(f"spec must be a dict, a JSON text or a study file's path, not {type(spec).__name__}")
    if client is not None:
        from . import _dask
        return _distributed(site, text, source, _dask.check_jobs(jobs), progress, client, chunk)
    if jobs is None:
        jobs = os.cpu_count() or 1
    if isinstance(jobs, bool) or not isinstance(jobs, int) or jobs < 1:
        raise ValueError(f"jobs: {jobs!r} is not a positive whole number")
    return StudyResult(site._native.study(text, source, jobs, progress))
