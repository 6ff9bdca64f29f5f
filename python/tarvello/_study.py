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


# The further tables a study may write, beside samples, results and its
# method's own: a robust study's scenario discovery, a search's last
# population and convergence.
_MORE = ("robustness.csv", "prim_trajectory.csv", "boxes.csv", "population.csv", "convergence.csv")

# What each method draws, the first by default.
_PLOTS = {"morris": ("effects",), "sobol": ("indices",), "lhs": ("best",),
          "nsga2": ("front", "convergence"), "robust": ("robustness", "tradeoff", "box")}


class StudyResult:
    """A design study's results.

    Attributes:
        method: ``morris``, ``sobol``, ``lhs``, ``nsga2`` or ``robust``.
        files: every output file as ``tarvello-run --study`` writes it,
            ``{name: bytes}``.
        summary: the line that sums the study up (the most influential
            factors, the best design or the front's size; for a robust
            study the most robust design and where it misses, in words).
        samples, results: every case's factor values and outputs (a robust
            study's ``results`` has a row per design and future, with their
            names and values).
        table: the method's table (``effects``, ``indices``, ``best``,
            ``pareto`` or ``robustness``), also under that name.
        robustness: per design and output its statistics over the futures,
            regret and satisficing, the designs in rank order (robust).
        prim_trajectory, boxes: scenario discovery for the discovered design:
            every peeling step, and the chosen box with each restricted
            uncertainty's bounds (robust).
        population, convergence: a search's last population, and per
            generation the hypervolume and size of its front (nsga2).
        Each of these is None when the study did not write it.

    >>> from tarvello import Site
    >>> result = Site().study({"method": "morris", "days": 30, "seed": 1,
    ...     "factors": [{"name": "percentReuse_B1_Water_P1_WasteWater", "low": 0, "high": 1}],
    ...     "outputs": [{"name": "short", "figure": "shortfall_days"}],
    ...     "morris": {"trajectories": 4, "levels": 4}}, jobs=1)
    >>> list(result.effects.columns[:3])
    ['factor', 'output', 'mu']
    >>> result.robustness is None
    True
    """

    def __init__(self, native):
        self.method = native["method"]
        self.files = {name: bytes(content) for name, content in native["files"]}
        self.summary = native["summary"]
        self._words = native["words"]
        self.samples = self._csv("samples.csv")
        self.results = self._csv("results.csv")
        own = _TABLES[self.method]
        self.table = self._csv(own)
        for name in _MORE:
            setattr(self, Path(name).stem, None if name not in self.files
                    else self.table if name == own else self._csv(name))
        setattr(self, Path(own).stem, self.table)

    def _csv(self, name):
        # An empty cell is a missing number (a case that failed, a measure
        # without a value); a text such as "NA" stays a text.
        return pd.read_csv(io.BytesIO(self.files[name]), float_precision="round_trip",
                           keep_default_na=False, na_values=["nan", ""])

    def write(self, directory) -> None:
        """Writes every file into directory (created if need be), each
        under a temporary name first, renamed when complete."""
        target = Path(directory)
        target.mkdir(parents=True, exist_ok=True)
        for name, content in self.files.items():
            temporary = target / f".{name}.{os.getpid()}.tmp"
            temporary.write_bytes(content)
            os.replace(temporary, target / name)

    def plot(self, output=None, ax=None, kind=None):
        """Plots the study with matplotlib, in the plan's words.

        kind chooses what (the first by default):

        - morris: ``effects``, μ* against σ; sobol: ``indices``, S1 and ST
          with their intervals; each for one output (the first by default).
        - lhs: ``best``, the best designs' objective.
        - nsga2: ``front``, its first two objectives; ``convergence``, the
          hypervolume of the front per generation, with its size.
        - robust: ``robustness``, each design's satisficing (the share of
          futures that meet every threshold) against the 90th percentile of
          its outcomes, numbered by rank, the most robust circled;
          ``tradeoff``, PRIM's coverage against density along the peeling,
          the chosen box circled; ``box``, the chosen box over the futures'
          scatter of its two most restricted uncertainties, the futures in
          which the design misses its thresholds marked. ``kind="all"``
          draws the three side by side.

        Returns the axes (a list of them for ``all``)."""
        import matplotlib.pyplot as plt

        kinds = _PLOTS[self.method]
        if kind is None:
            kind = kinds[0]
        if kind == "all" and self.method == "robust":
            if ax is None:
                _, ax = plt.subplots(1, 3, figsize=(18, 5.2))
            if len(ax) != 3:
                raise ValueError("plot: kind \"all\" takes three axes")
            for k, a in zip(kinds, ax):
                self.plot(ax=a, kind=k)
            ax[0].figure.tight_layout()
            return list(ax)
        if kind not in kinds:
            raise ValueError(f"plot: a {self.method} study draws {' or '.join(kinds)}"
                             + (" or all" if self.method == "robust" else "") + f", not {kind!r}")
        if ax is None:
            _, ax = plt.subplots(figsize=(7, 4.5))
        if self.method == "robust":
            return getattr(self, f"_plot_{kind}")(ax)
        if kind == "convergence":
            return self._plot_convergence(ax)
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
            # The front's first two objectives, as convergence.csv names them:
            # an output, or in a robust search a statistic over the futures.
            objectives = [] if self.convergence is None else [
                c[len("ideal:"):] for c in self.convergence.columns if c.startswith("ideal:")][:2]
            if self.method == "nsga2" and len(objectives) == 2:
                ax.scatter(t[objectives[0]], t[objectives[1]])
                ax.set_xlabel(self._measure_label(objectives[0]))
                ax.set_ylabel(self._measure_label(objectives[1]))
            else:
                t.iloc[:, -1].plot.bar(ax=ax)
        ax.set_title(textwrap.fill(self.summary, 90), fontsize=8)
        return ax

    _STATISTICS = {"mean": "mean", "std": "standard deviation", "p10": "10th percentile",
                   "p50": "median", "p90": "90th percentile", "worst": "worst"}

    def _measure_label(self, column):
        """The words of a front's column: an output's label, or in a robust
        search a statistic of it over the futures, or satisficing."""
        if column == "satisficing":
            return "share of futures meeting every threshold"
        statistic, _, name = column.rpartition(":")
        label = self._output(name)["label"]
        if statistic in self._STATISTICS:
            return f"{self._STATISTICS[statistic]} of {label[:1].lower()}{label[1:]}"
        return label

    def _output(self, name):
        return next((o for o in self._words["outputs"] if o["name"] == name),
                    {"name": name, "label": name, "in_sentence": name})

    def _plot_convergence(self, ax):
        c = self.convergence
        ax.plot(c["generation"], c["hypervolume"], marker="o", markersize=4, lw=2, color="#1a4f8b",
                label="hypervolume of the front")
        ax.set_xlabel("generation")
        ax.set_ylabel("hypervolume (share of the normalised box)")
        ax.set_ylim(bottom=0)
        size = ax.twinx()
        size.plot(c["generation"], c["front"], color="black", lw=1, label="size of the front")
        size.set_ylabel("designs on the front")
        size.set_ylim(bottom=0)
        lines = ax.get_lines() + size.get_lines()
        ax.legend(lines, [line.get_label() for line in lines], loc="lower right", fontsize=8)
        ax.set_title("Convergence of the search: the archive of non-dominated designs "
                     "after each generation", fontsize=9)
        return ax

    def _plot_robustness(self, ax):
        drawn = self._output(self._words["drawn"])
        t = self.robustness[self.robustness["output"] == drawn["name"]].dropna(subset=["p90"])
        ax.scatter(t["p90"], t["satisficing"], s=30, color="#2a6f97", label="design", zorder=2)
        for _, row in t.iterrows():
            ax.annotate(str(row["rank"]), (row["p90"], row["satisficing"]), fontsize=7,
                        xytext=(4, 3), textcoords="offset points")
        best = t[t["rank"] == 1]
        ax.scatter(best["p90"], best["satisficing"], s=220, facecolors="none", edgecolors="black",
                   linewidths=2, label="the most robust", zorder=3)
        ax.set_xlabel(f"90th percentile over the futures of {drawn['in_sentence']}")
        ax.set_ylabel("Satisficing (share of futures meeting every threshold)")
        ax.grid(True, alpha=0.4)
        ax.legend(loc="lower right", fontsize=8)
        ax.set_title("Robustness of the designs: the share of futures that meet every threshold\n"
                     "against the 90th percentile, numbered by rank", fontsize=9)
        return ax

    def _plot_tradeoff(self, ax):
        # Step 0 is the whole box of the futures.
        t = self.prim_trajectory[self.prim_trajectory["step"] > 0]
        ax.plot(t["coverage"], t["density"], marker="o", markersize=4, color="#2a6f97",
                label="peeling steps")
        chosen = t[t["chosen"] == 1]
        ax.scatter(chosen["coverage"], chosen["density"], s=220, facecolors="none", edgecolors="red",
                   linewidths=2, label="chosen box", zorder=3)
        ax.set_xlim(0, 1.02)
        ax.set_ylim(0, 1.02)
        ax.set_xlabel("Coverage (share of the misses inside the box)")
        ax.set_ylabel("Density (share of the box that misses)")
        ax.grid(True, alpha=0.4)
        ax.legend(loc="lower left", fontsize=8)
        ax.set_title("Scenario discovery: coverage against density along the peeling trajectory",
                     fontsize=9)
        return ax

    def _plot_box(self, ax):
        from matplotlib.patches import Rectangle

        if self.boxes is None or self.boxes.empty:
            raise ValueError("plot: the study found no box: its design meets its thresholds "
                             "in every future")
        box = self.boxes.iloc[0]
        factors = self._words["factors"]
        levers = sum(1 for f in factors if f["lever"])
        # The uncertainties given by bounds, by how much of its range the box
        # cuts away, the most first; an unrestricted one keeps its range.
        axes = []
        for u, f in enumerate(f for f in factors if f["uncertainty"]):
            if f["values"]:
                continue
            low, high = box.get(f"{f['name']}_low"), box.get(f"{f['name']}_high")
            restricted = not pd.isna(low)
            low, high = (low, high) if restricted else (f["low"], f["high"])
            cut = 1 - (high - low) / (f["high"] - f["low"]) if f["high"] > f["low"] else 0.0
            axes.append((cut, u, f, low, high))
        if len(axes) < 2:
            raise ValueError("plot: the box is drawn over two uncertainties given by bounds; "
                             "the study has fewer")
        axes.sort(key=lambda a: -a[0])
        (_, ux, fx, x_low, x_high), (_, uy, fy, y_low, y_high) = axes[:2]
        # The columns by position: a lever and an uncertainty may share a name.
        r = self.results[self.results["design"] == box["design"]]
        met = r["status"] == "ok"
        for k in self._words["thresholds"]:
            v = pd.to_numeric(r[k["output"]], errors="coerce")
            if k["min"] is not None:
                met &= v >= k["min"]
            if k["max"] is not None:
                met &= v <= k["max"]
        x, y = r.iloc[:, 3 + levers + ux], r.iloc[:, 3 + levers + uy]
        ax.add_patch(Rectangle((x_low, y_low), x_high - x_low, y_high - y_low, facecolor="#f4d03f",
                               alpha=0.25, edgecolor="#b7950b", lw=2, label="chosen box", zorder=0))
        ax.scatter(x[met], y[met], s=14, color="#9a9a9a", label="meets its thresholds", zorder=2)
        ax.scatter(x[~met], y[~met], s=18, color="#c0392b", label="misses", zorder=2)
        ax.set_xlabel(fx["label"])
        ax.set_ylabel(fy["label"])
        ax.grid(True, alpha=0.4)
        ax.legend(loc="upper left", fontsize=8)
        ax.set_title(f"Where design {box['design']} misses its thresholds: the chosen box over "
                     "the futures", fontsize=9)
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


def _distributed(site, text, source, base, jobs, progress, client, chunk) -> StudyResult:
    """The study's batches (its design, or each generation) split into
    chunks for the cluster's workers; the tables made here from the cases,
    in their order, as a study run in one process makes them. The files the
    study names are read here, once, and go with the study: the workers
    read none."""
    from . import _dask

    stepped = _tarvello.SteppedStudy(site._native, text, source, base=base)
    files = stepped.files()
    total = stepped.total()
    while not stepped.done():
        points = stepped.next()
        phase, first = stepped.phase(), stepped.told()
        size = _dask.chunk_size(client, len(points), chunk)
        parts = [(site._inputs, text, source, files, points[at:at + size], jobs)
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


def study(site, spec, jobs=None, progress=None, client=None, chunk=None, base=None) -> StudyResult:
    if isinstance(spec, (str, os.PathLike)) and not str(spec).lstrip().startswith("{"):
        source = os.fspath(spec)
        text = Path(source).read_text(encoding="utf-8")
        folder = Path(source).parent
    elif isinstance(spec, dict):
        source, text, folder = "(study)", json.dumps(spec), Path.cwd()
    elif isinstance(spec, str):
        source, text, folder = "(study)", spec, Path.cwd()
    else:
        raise TypeError(f"spec must be a dict, a JSON text or a study file's path, not {type(spec).__name__}")
    if base is not None:
        if not isinstance(base, (str, os.PathLike)):
            raise TypeError(f"base must be a folder's path, not {type(base).__name__}")
        folder = Path(base)
    # The folder as it is now: a later change of the working directory, or a
    # worker's, does not move it.
    base = os.fspath(folder.absolute())
    if client is not None:
        from . import _dask
        return _distributed(site, text, source, base, _dask.check_jobs(jobs), progress, client, chunk)
    if jobs is None:
        jobs = os.cpu_count() or 1
    if isinstance(jobs, bool) or not isinstance(jobs, int) or jobs < 1:
        raise ValueError(f"jobs: {jobs!r} is not a positive whole number")
    return StudyResult(site._native.study(text, source, base, jobs, progress))
