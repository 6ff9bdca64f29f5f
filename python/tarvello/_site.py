"""The site: runs, batches and studies on the engine, as pandas and xarray."""

from __future__ import annotations

import html
import os
from pathlib import Path
from typing import Iterable, Mapping, Optional, Sequence, Union

import numpy as np
import pandas as pd

from . import _tarvello

_HERE = Path(__file__).resolve().parent
_LIBRARY = "TarvelloDemoSite.so"
_DESCRIPTION = "TarvelloDemoSite.json"
_DTYPES = {"double": "float64", "int": "int32", "text": "object"}


def _default_library() -> str:
    """The model module beside the package: where the build and the
    installation put it."""
    path = _HERE / _LIBRARY
    if not path.exists():
        raise ValueError(f"cannot find {_LIBRARY} in {_HERE}; give Site(library=PATH)")
    return str(path)


def _description_for(library: str) -> str:
    """The description beside a library, as tarvello-run finds it."""
    module = Path(library)
    stem = module.stem
    for candidate in (module.with_suffix(".json"), module.parent.parent / "share" / stem / f"{stem}.json"):
        if candidate.exists():
            return str(candidate)
    raise ValueError(f"cannot find the model description {stem}.json beside {library}; "
                     "give Site(description=PATH)")


def _path(value, what: str) -> str:
    if value is None:
        return ""
    if not isinstance(value, (str, os.PathLike)):
        raise TypeError(f"{what} must be a path, not {type(value).__name__}")
    return os.fspath(value)


class Site:
    """The model library bound to its description, a plan and a scenario.

    Every run starts from the library's load-time state, whatever ran before.
    Each Site loads a private copy of the model module, so that sites with
    different plans or scenarios do not share the model's memory.

    Args:
        library: the model module's path; by default the one inside the package.
        description: the model description (JSON); by default the one beside
            the library.
        plan: a plan file (see docs/plan-and-scenario.md); by default the
            built-in one that tarvello-run uses.
        scenario: a scenario file; by default the built-in one.

    Raises:
        ValueError: a file that cannot be read or does not fit the model,
            naming it.

    >>> site = Site()
    >>> site.variables.loc["percentReuse_B1_Water_P1_WasteWater", "role"]
    'constant'
    """

    def __init__(self, library=None, description=None, plan=None, scenario=None):
        self._inputs = (library, description, plan, scenario)
        lib = _path(library, "library") or _default_library()
        desc = _path(description, "description") or _description_for(lib)
        self._native = _tarvello.NativeSite(lib, desc, _path(plan, "plan"), _path(scenario, "scenario"))
        self._library, self._description = lib, desc
        self._variables = None

    # A Site travels as its inputs (for multiprocessing and Dask): the
    # receiving process loads the library afresh.
    def __reduce__(self):
        return (Site, self._inputs)

    @property
    def model(self) -> str:
        """The model's name and version, e.g. ``'TarvelloDemoSite 1.0.0'``."""
        return f"{self._native.model()} {self._native.version()}"

    @property
    def variables(self) -> pd.DataFrame:
        """Every value of the description, indexed by its qualified name.

        Columns: ``kind`` (double, int, text), ``block``, ``process``,
        ``initial`` (IniModel's value as text, or None), and ``role``: what
        the plan and scenario make of it (``daily input``, ``constant``,
        ``output``, ``level``, ``variable`` or ``signal slot``).

        >>> Site().variables.loc["waterTank_B1_Food_P1_Crop", "kind"]
        'double'
        """
        if self._variables is None:
            rows = self._native.values()
            frame = pd.DataFrame(rows, columns=["name", "kind", "block", "process", "initial", "role"])
            self._variables = frame.set_index("name")
        return self._variables.copy()

    def info(self) -> str:
        """A summary of the library, description, plan and scenario.

        >>> print(Site().info().splitlines()[0])
        TarvelloDemoSite 1.0.0
        """
        return self._native.info()

    def run(self, days: int = 365, set: Optional[Mapping[str, object]] = None,
            scale: Optional[Mapping[str, float]] = None,
            vars: Union[None, str, Sequence[str]] = None, every: int = 1) -> pd.DataFrame:
        """Runs the model and returns its daily values.

        Args:
            days: days to run.
            set: values to set after the scenario's constants, as
                ``tarvello-run --set`` does: ``{name: number or text}``.
            scale: factors on the scenario's per-day columns, as
                ``--scale`` does: ``{name: factor}``.
            vars: the plan's output variables (None), ``"all"``, or names.
            every: a row every that many days.

        Returns:
            A DataFrame indexed by ``day``, a column per variable (float64,
            int32, or object for texts). ``df.attrs`` holds ``figures`` (the
            plan's counts and shortfalls), ``levels`` (final levels) and
            ``nodes_visited``. ``Site.to_csv(df)`` writes exactly the bytes
            of ``tarvello-run --out``.

        Raises:
            ValueError: an unknown name (with the nearest known names) or a
                value that does not fit its variable.
            RuntimeError: a run that fails (a plan that loops).

        >>> df = Site().run(days=30, set={"percentReuse_B1_Water_P1_WasteWater": 0.8})
        >>> len(df), df.index.name
        (30, 'day')
        """
        native = self._native.run(_count(days, "days"), _dict(set, "set"), _vars(vars),
                                  _count(every, "every"), _dict(scale, "scale"))
        return self._frame(native)

    def sweep(self, cases, days: int = 365, vars: Union[None, str, Sequence[str]] = None,
              jobs: Optional[int] = None, daily: bool = False, every: int = 1,
              set: Optional[Mapping[str, object]] = None,
              scale: Optional[Mapping[str, float]] = None, client=None,
              chunk: Optional[int] = None):
        """Runs many cases on the engine's batch workers and returns one Dataset.

        Every case starts from the library's load-time state in a worker
        process (a fork of this one that restores a snapshot of the library
        between cases), so that a case that crashes is a labelled failure,
        not the end of the others.

        Args:
            cases: a DataFrame, or a list of dicts, a row per case. Columns:
                value names (set as ``set`` sets them), ``scale:NAME`` (a
                factor on a per-day column), and optionally ``case`` (the
                case's label; otherwise the DataFrame's index or the list
                position) and ``days``. A missing or NaN cell leaves the
                value alone, as an empty cell of a cases file does.
            days: days of a case without its own.
            vars: the variables to report: the plan's outputs (None),
                ``"all"`` or names.
            jobs: cases at once (default: the number of cores; with a
                client, each worker's threads).
            daily: also every day's values, not only the final ones.
            every: with daily, a value every that many days.
            set, scale: values and factors for every case, before each case's own.
            client: a ``distributed.Client``: the cases go out in chunks of
                ``chunk`` to its workers, each running its chunk on its own
                batch engine; the result is the same Dataset. A chunk lost
                with its worker runs again on another.
            chunk: cases per chunk; by default a quarter of each worker's
                share.

        Returns:
            An ``xarray.Dataset`` with dimension ``case`` (and ``day`` with
            daily): ``status`` ("ok", "failed: ..." or "crashed: ...", as a
            sweep's summary has it), the figures (``days``, the plan's counts,
            ``shortfall_days`` and each shortfall) and, per variable, its
            final value or (daily) its values per day. Values of a case that
            did not finish are NaN (figures then become float64).

        >>> import pandas as pd
        >>> site = Site()
        >>> cases = pd.DataFrame({"percentReuse_B1_Water_P1_WasteWater": [0.2, 0.5, 0.8]})
        >>> ds = site.sweep(cases, days=60, jobs=2)
        >>> list(ds.status.values)
        ['ok', 'ok', 'ok']
        """
        from ._sweep import sweep
        return sweep(self, cases, days=days, vars=vars, jobs=jobs, daily=daily, every=every,
                     set=set, scale=scale, client=client, chunk=chunk)

    def study(self, spec, jobs: Optional[int] = None, progress=None, client=None,
              chunk: Optional[int] = None, base=None):
        """Runs a design study on the engine's batch workers.

        Args:
            spec: the study as a dict, a JSON text or a study file's path, in
                the format of ``tarvello-run --study`` (docs/studies.md):
                ``method`` (morris, sobol, lhs, nsga2, robust), ``days``,
                ``seed``, ``factors`` (or a robust study's ``levers``,
                ``uncertainties`` and ``futures``), ``outputs`` and the
                method's options.
            jobs: cases at once (default: the number of cores; with a
                client, each worker's threads).
            progress: called as ``progress(done, total, phase)`` as cases
                finish (with a client, as chunks finish).
            client: a ``distributed.Client``: each batch of the study (the
                design of a one-batch method, or a generation of a search)
                goes out in chunks to its workers, each running its chunk on
                its own batch engine. The files are byte for byte those of
                the study run here, whatever the chunks; a chunk lost with
                its worker runs again on another.
            chunk: cases per chunk; by default a quarter of each worker's
                share of a batch.
            base: the folder of the files the study names (a designs file, a
                futures file, the per-day tables of recorded years), which
                are read from there by the names the study gives them. By
                default the study file's folder, as ``tarvello-run --study``
                reads them, and for a study given as a dict or a JSON text
                the current directory. With a client they are read here,
                once, and sent with the study: the workers need none of them.

        Returns:
            A :class:`StudyResult`: the tables as DataFrames (``samples``,
            ``results``, the method's ``effects``, ``indices``, ``best``,
            ``pareto`` or ``robustness``, and a robust study's or a
            search's further tables), every file's bytes as ``tarvello-run
            --study`` writes them for the same study, ``summary``,
            ``plot()`` and ``write(directory)``.

        Raises:
            ValueError: a bad key or value of the study, or a file it names
                that cannot be read, named in one line.

        >>> spec = {"method": "lhs", "days": 30, "seed": 7,
        ...         "factors": [{"name": "percentReuse_B1_Water_P1_WasteWater", "low": 0, "high": 1}],
        ...         "outputs": [{"name": "short", "figure": "shortfall_days"}],
        ...         "lhs": {"samples": 8, "best": 2, "objective": {"output": "short", "goal": "minimise"}}}
        >>> len(Site().study(spec, jobs=1).samples)
        8
        """
        from ._study import study
        return study(self, spec, jobs=jobs, progress=progress, client=client, chunk=chunk,
                     base=base)

    def _frame(self, native) -> pd.DataFrame:
        # The native arrays are float64 and int32 already; texts come as
        # lists, which pandas keeps as object columns.
        columns = [np.array(c, dtype=object) if isinstance(c, list) else c for c in native["columns"]]
        frame = pd.DataFrame(dict(zip(native["names"], columns)),
                             index=pd.Index(native["day"], name="day"), copy=False)
        frame.attrs["figures"] = native["figures"]
        frame.attrs["levels"] = native["levels"]
        frame.attrs["nodes_visited"] = native["nodes_visited"]
        return frame

    def _kinds(self) -> dict:
        if not hasattr(self, "_kind_map"):
            self._kind_map = {row[0]: row[1] for row in self._native.values()}
        return self._kind_map

    def to_csv(self, frame: pd.DataFrame, path=None) -> Optional[str]:
        """Writes a run's DataFrame as tarvello-run writes its CSV.

        Doubles in their shortest form that reads back to the same bits,
        texts quoted, LF line ends: the bytes of ``tarvello-run --out`` for
        the same run. pandas' own ``to_csv`` writes floats differently
        (``2.0`` for ``2``), so use this for files to compare.

        Args:
            frame: a DataFrame from :meth:`run`.
            path: a file to write; None returns the text.

        >>> site = Site()
        >>> site.to_csv(site.run(days=2, vars=["dies_B1_Environment_P1_Environment"]))
        'day,dies_B1_Environment_P1_Environment\\n1,1\\n2,2\\n'
        """
        kinds = self._kinds()
        names = [str(c) for c in frame.columns]
        unknown = [n for n in names if n not in kinds]
        if unknown:
            raise ValueError(f"to_csv: {unknown[0]} is not a value of the model")
        columns = []
        for name in names:
            kind = kinds[name]
            series = frame[name]
            if kind == "double":
                columns.append(np.ascontiguousarray(series.to_numpy(dtype="float64")))
            elif kind == "int":
                columns.append(np.ascontiguousarray(series.to_numpy(dtype="int64")))
            else:
                columns.append([None if v is None or (isinstance(v, float) and np.isnan(v)) else str(v)
                                for v in series.tolist()])
        text = _tarvello.csv_text(np.ascontiguousarray(frame.index.to_numpy(dtype="int64")), names,
                                  [kinds[n] for n in names], columns)
        if path is None:
            return text
        target = Path(path)
        temporary = target.with_name(f".{target.name}.{os.getpid()}.tmp")
        with open(temporary, "w", encoding="utf-8", newline="") as out:
            out.write(text)
        os.replace(temporary, target)
        return None

    def _repr_html_(self) -> str:
        lines = self.info().splitlines()
        rows = "".join(
            f"<tr><th style='text-align:left'>{html.escape(k)}</th><td style='text-align:left'>{html.escape(v)}</td></tr>"
            for k, v in (line.strip().split(None, 1) for line in lines[1:]))
        return f"<div><strong>{html.escape(lines[0])}</strong><table>{rows}</table></div>"

    def __repr__(self) -> str:
        return f"Site({self.model}, library={self._library!r})"


def _count(value, what: str) -> int:
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise ValueError(f"{what}: {value!r} is not a positive whole number")
    if value < 1:
        raise ValueError(f"{what}: {value} is not a positive whole number")
    return int(value)


def _dict(value, what: str) -> dict:
    if value is None:
        return {}
    if not isinstance(value, Mapping):
        raise TypeError(f"{what} must be a mapping of names to values, not {type(value).__name__}")
    return dict(value)


def _vars(value):
    if value is None or isinstance(value, str):
        return value
    return list(value)
