"""Sweeps: cases in, one xarray Dataset out, locally or on a Dask cluster."""

from __future__ import annotations

import math
import os
from typing import Mapping

import numpy as np
import pandas as pd
import xarray as xr


def _records(cases):
    """The cases as (labels, rows of {column: value})."""
    if isinstance(cases, pd.DataFrame):
        frame = cases
        labels = frame["case"].tolist() if "case" in frame.columns else frame.index.tolist()
        rows = frame.drop(columns=[c for c in ("case",) if c in frame.columns]).to_dict("records")
        return labels, rows
    if isinstance(cases, Mapping) or isinstance(cases, (str, bytes)):
        raise TypeError("cases must be a DataFrame or a list of dicts")
    rows = [dict(r) for r in cases]
    labels = [r.pop("case") if "case" in r else i for i, r in enumerate(rows)]
    return labels, rows


def _missing(value) -> bool:
    return value is None or (isinstance(value, float) and math.isnan(value))


def _native_cases(rows, days):
    out = []
    for row in rows:
        own_days = days
        values, factors = {}, {}
        for name, value in row.items():
            if _missing(value):
                continue
            name = str(name)
            if name == "days":
                own_days = value
            elif name.startswith("scale:"):
                factors[name[len("scale:"):]] = value
            else:
                values[name] = value
        if isinstance(own_days, float) and own_days.is_integer():
            own_days = int(own_days)
        if isinstance(own_days, bool) or not isinstance(own_days, (int, np.integer)) or own_days < 1:
            raise ValueError(f"days: {own_days!r} is not a positive whole number")
        out.append((int(own_days), values, factors))
    return out


def _dataset(native, labels, daily, every):
    n = len(labels)
    coords = {"case": np.asarray(labels)}
    failed = np.array([s != "ok" for s in native["status"]])
    data = {"status": ("case", np.array(native["status"], dtype=object))}
    for name, column in native["figures"].items():
        column = np.asarray(column)
        if failed.any():
            column = column.astype("float64")
            column[failed] = np.nan
        data[name] = ("case", column)
    if daily:
        coords["day"] = np.arange(1, native["rows"] + 1, dtype="int64") * every
    for name, column in zip(native["names"], native["values"]):
        column = np.asarray(column)
        data[name] = (("case", "day") if daily else "case", column)
    ds = xr.Dataset(data, coords=coords)
    ds.attrs["cases"] = n
    ds.attrs["failed"] = int(failed.sum())
    return ds


def _local(site, labels, rows, days, vars, jobs, daily, every, set, scale, longest=0):
    native = site._native.sweep(_native_cases(rows, days), dict(set or {}), dict(scale or {}),
                                vars if vars is None or isinstance(vars, str) else list(vars),
                                every, jobs, daily, longest)
    return _dataset(native, labels, daily, every)


def _chunk_on_worker(inputs, labels, rows, days, vars, jobs, daily, every, set, scale, longest):
    from . import _dask

    return _local(_dask.worker_site(inputs), labels, rows, days, vars, _dask.worker_jobs(jobs),
                  daily, every, set, scale, longest)


def sweep(site, cases, days=365, vars=None, jobs=None, daily=False, every=1, set=None,
          scale=None, client=None, chunk=None):
    labels, rows = _records(cases)
    if not rows:
        raise ValueError("cases: there are no cases")
    if client is None:
        if jobs is None:
            jobs = os.cpu_count() or 1
        if isinstance(jobs, bool) or not isinstance(jobs, (int, np.integer)) or jobs < 1:
            raise ValueError(f"jobs: {jobs!r} is not a positive whole number")
        return _local(site, labels, rows, days, vars, int(jobs), daily, every, set, scale)
    from . import _dask

    if isinstance(jobs, np.integer):
        jobs = int(jobs)
    jobs = _dask.check_jobs(jobs)
    size = _dask.chunk_size(client, len(rows), chunk)
    # Checked here, before anything is sent: the same errors as a local sweep.
    longest = max(c[0] for c in _native_cases(rows, days))
    parts = [(site._inputs, labels[at:at + size], rows[at:at + size], days, vars, jobs, daily,
              every, set, scale, longest) for at in range(0, len(rows), size)]
    parts = _dask.run_chunks(client, _chunk_on_worker, parts, "sweep")
    ds = xr.concat(parts, dim="case", data_vars="all", combine_attrs="drop")
    ds.attrs["cases"] = len(rows)
    ds.attrs["failed"] = int(sum(p.attrs["failed"] for p in parts))
    return ds
