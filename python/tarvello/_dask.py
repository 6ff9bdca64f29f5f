"""Work on a Dask cluster: points or cases split into chunks, each chunk a
task that a worker runs on its own batch engine, the results gathered in
their order. Only plain data travels: the site as its inputs, the study as
its text and the texts of the files it names, points and evaluations as
lists of floats and texts."""

from __future__ import annotations

import math
import threading
import uuid

from . import _tarvello

# A task that fails is tried again on another worker this many times; a
# worker that dies takes no retry: the scheduler runs its chunks elsewhere.
RETRIES = 2

# Per worker process: each site by its inputs (loading a library is paid once
# per process, not per chunk), each study by its site, source, text and the
# files it names.
_SITES = {}
_STUDIES = {}


# A worker may run tasks on several threads: one of them builds each.
_BUILDING = threading.Lock()


def worker_site(inputs):
    with _BUILDING:
        site = _SITES.get(inputs)
        if site is None:
            from ._site import Site
            site = _SITES[inputs] = Site(*inputs)
        return site


def _worker_study(inputs, text, source, files):
    site = worker_site(inputs)
    key = (inputs, source, text, tuple(sorted(files.items())))
    with _BUILDING:
        study = _STUDIES.get(key)
        if study is None:
            # The studies of the last few calls are kept, with their batch
            # engines' workers; older ones end with theirs.
            if len(_STUDIES) >= 4:
                _STUDIES.pop(next(iter(_STUDIES)))
            # The files the study names come with it; a worker reads none.
            study = _STUDIES[key] = _tarvello.SteppedStudy(site._native, text, source, files=files)
        return study


def worker_jobs(jobs):
    """The cases a worker runs at once: jobs when given, otherwise the
    worker's threads."""
    if jobs is not None:
        return jobs
    try:
        from distributed import get_worker
        return max(1, int(get_worker().nthreads))
    except (ImportError, ValueError, AttributeError):
        return 1


def evaluate_chunk(inputs, text, source, files, points, jobs):
    """A worker's task: a chunk of a study's points, evaluated."""
    return _worker_study(inputs, text, source, files).evaluate(points, worker_jobs(jobs))


def chunk_size(client, count, chunk):
    """chunk, or by default a quarter of each worker's share, so that the
    chunks even out the workers' speeds and a lost one costs little."""
    if chunk is None:
        workers = len(client.scheduler_info().get("workers", {})) or 1
        return max(1, math.ceil(count / (4 * workers)))
    if isinstance(chunk, bool) or not isinstance(chunk, int) or chunk < 1:
        raise ValueError(f"chunk: {chunk!r} is not a positive whole number")
    return chunk


def check_jobs(jobs):
    if jobs is not None and (isinstance(jobs, bool) or not isinstance(jobs, int) or jobs < 1):
        raise ValueError(f"jobs: {jobs!r} is not a positive whole number")
    return jobs


def run_chunks(client, function, chunks, what, done=None):
    """function(*args) for each args of chunks on the cluster, under keys of
    their own; the results in the order of chunks. done(index, result) is
    called as each chunk comes back. Unfinished tasks are cancelled when
    this ends early (an error, Ctrl-C)."""
    from distributed import as_completed

    token = uuid.uuid4().hex
    futures = [client.submit(function, *args, key=f"tarvello-{what}-{token}-{i}", retries=RETRIES)
               for i, args in enumerate(chunks)]
    order = {future.key: i for i, future in enumerate(futures)}
    results = [None] * len(futures)
    try:
        for future in as_completed(futures):
            i = order[future.key]
            results[i] = future.result()
            if done is not None:
                done(i, results[i])
    except BaseException:
        client.cancel(futures)
        raise
    return results
