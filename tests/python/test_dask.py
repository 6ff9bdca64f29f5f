"""Studies and sweeps on a Dask cluster as one runs across machines: a
scheduler and worker processes started by their own commands on loopback,
the package reaching them by address. Their files and Datasets equal those
of the same work run in this process, whatever the chunks, and a worker
killed in the middle of a study loses nothing.

Run by CTest (PythonDask) with PYTHONPATH at the staged package, which the
workers inherit."""
import json
import os
import shutil
import signal
import subprocess
import time
from pathlib import Path

import pandas as pd
import pytest

import tarvello

distributed = pytest.importorskip("distributed", reason="Dask's distributed is not installed")
# Debian's distributed with its tornado says so on every client.
pytestmark = pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")

REUSE = "percentReuse_B1_Water_P1_WasteWater"
ENERGY = "scale:qttEnergy_B1_Energy_P1_Energy"
FACTORS = [{"name": REUSE, "low": 0, "high": 1},
           {"name": ENERGY, "low": 0.5, "high": 2},
           {"name": "fertilizerLevel_B1_Food_P1_Crop", "low": 5, "high": 20}]
OUTPUTS = [{"name": "short", "figure": "shortfall_days"}, {"name": "grid", "figure": "grid_energy"},
           {"name": "water", "figure": "crop_water"}]
LHS = {"method": "lhs", "days": 30, "seed": 5, "factors": FACTORS, "outputs": OUTPUTS,
       "lhs": {"samples": 40, "best": 5, "objective": {"output": "short", "goal": "minimise"}}}
# The worked example's robust study, smaller: the designs file it names is
# read here and sent with it, the workers read none.
EXAMPLES = Path(__file__).resolve().parents[2] / "docs" / "studies"
ROBUST = json.loads((EXAMPLES / "robust-front.json").read_text())
ROBUST.update(days=120, futures={"sample": "lhs", "count": 12})
STUDIES = {
    "lhs": LHS,
    "robust": ROBUST,
    "morris": {"method": "morris", "days": 30, "seed": 3, "factors": FACTORS, "outputs": OUTPUTS,
               "morris": {"trajectories": 10, "levels": 4}},
    "nsga2": {"method": "nsga2", "days": 30, "seed": 11, "factors": FACTORS[:2], "outputs": OUTPUTS,
              "nsga2": {"population": 8, "generations": 3,
                        "objectives": [{"output": "grid"}, {"output": "water"}]}},
}
CASES = pd.DataFrame({
    "case": [f"k{i}" for i in range(12)],
    "days": [20 + 5 * (i % 4) for i in range(12)],
    REUSE: [None if i == 3 else i / 11 for i in range(12)],
    ENERGY: [0.5 + i / 8 for i in range(12)],
})


def dask_command(what):
    """`dask scheduler` or `dask worker`; older releases name them
    dask-scheduler and dask-worker."""
    if shutil.which("dask"):
        return [shutil.which("dask"), what]
    return [shutil.which(f"dask-{what}")]


class Processes:
    """Processes started each in a process group of its own (a dask worker's
    batch engine forks into it), all ended by stop()."""

    def __init__(self, directory):
        self.directory = directory
        self.started = {}

    def start(self, name, *args):
        log = open(self.directory / f"{name}.log", "wb")
        with log:
            process = subprocess.Popen([*dask_command(args[0]), *args[1:]],
                                       stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                       start_new_session=True, cwd=self.directory)
        self.started[name] = process
        return process

    def kill(self, name, sig=signal.SIGKILL):
        try:
            os.killpg(self.started[name].pid, sig)
        except ProcessLookupError:
            pass

    def stop(self):
        for name in self.started:
            self.kill(name, signal.SIGTERM)
        deadline = time.monotonic() + 10
        for name, process in self.started.items():
            try:
                process.wait(max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                pass
            self.kill(name)
            process.wait()

    def stray(self, wait=10):
        """The groups with a live process left in them after up to `wait`
        seconds (a zombie waiting for its reaper is not one)."""
        deadline = time.monotonic() + wait
        while True:
            groups = set()
            for stat in Path("/proc").glob("[0-9]*/stat"):
                try:
                    fields = stat.read_text().rsplit(")", 1)[1].split()
                except (OSError, IndexError):
                    continue
                if fields[0] != "Z":
                    groups.add(int(fields[2]))
            left = [name for name, p in self.started.items() if p.pid in groups]
            if not left or time.monotonic() > deadline:
                return left
            time.sleep(0.2)

    def logs(self):
        return "\n".join(f"--- {p.name}\n{p.read_text(errors='replace')[-2000:]}"
                         for p in sorted(self.directory.glob("*.log")))


def start_worker(processes, scheduler, name):
    # No nanny: a worker killed stays dead, so its chunks must run elsewhere.
    # It ends by itself a minute after its scheduler is gone.
    return processes.start(name, "worker", scheduler, "--name", name, "--nworkers", "1",
                           "--nthreads", "1", "--no-nanny", "--no-dashboard", "--death-timeout", "60",
                           "--local-directory", str(processes.directory / name))


@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    if not shutil.which("dask") and not (shutil.which("dask-scheduler") and shutil.which("dask-worker")):
        pytest.skip("the dask scheduler and worker commands are not installed")
    processes = Processes(tmp_path_factory.mktemp("cluster"))
    client = None
    try:
        # Port 0: the scheduler takes a free port and writes its address to
        # its file, so that this test runs beside others.
        scheduler_file = processes.directory / "scheduler.json"
        processes.start("scheduler", "scheduler", "--host", "127.0.0.1", "--port", "0",
                        "--no-dashboard", "--scheduler-file", str(scheduler_file),
                        "--idle-timeout", "300")
        deadline = time.monotonic() + 60
        while not scheduler_file.exists() or not scheduler_file.read_text():
            assert time.monotonic() < deadline, "the scheduler did not start\n" + processes.logs()
            assert processes.started["scheduler"].poll() is None, processes.logs()
            time.sleep(0.1)
        time.sleep(0.1)
        address = json.loads(scheduler_file.read_text())["address"]
        assert address.startswith("tcp://127.0.0.1:")
        for i in range(2):
            start_worker(processes, address, f"worker{i}")
        client = distributed.Client(address, timeout=60)
        client.wait_for_workers(2, timeout=60)
        yield processes, client, address
    finally:
        if client is not None:
            client.close()
        processes.stop()
    assert not processes.stray(), "processes left behind"


@pytest.fixture(scope="module")
def site():
    return tarvello.Site()


@pytest.mark.parametrize("method,chunk", [("lhs", None), ("lhs", 7), ("morris", 13), ("nsga2", 3),
                                          ("robust", 50)])
def test_study_on_the_cluster_gives_the_local_bytes(site, cluster, method, chunk):
    _, client, _ = cluster
    told = []
    remote = site.study(STUDIES[method], client=client, chunk=chunk, base=EXAMPLES,
                        progress=lambda *args: told.append(args))
    local = site.study(STUDIES[method], jobs=2, base=EXAMPLES)
    assert list(remote.files) == list(local.files)
    for name, content in local.files.items():
        assert remote.files[name] == content, name
    assert remote.summary == local.summary
    done = [t[0] for t in told]
    assert done == sorted(done) and told[-1][:2] == (len(local.results), len(local.results))


def test_sweep_on_the_cluster_gives_the_local_dataset(site, cluster):
    _, client, _ = cluster
    local = site.sweep(CASES, daily=True, every=3, jobs=2)
    for chunk in (None, 5):
        remote = site.sweep(CASES, daily=True, every=3, client=client, chunk=chunk)
        assert remote.identical(local), chunk


def test_bad_input_is_refused_before_anything_is_sent(site, cluster):
    _, client, _ = cluster
    with pytest.raises(ValueError, match="method"):
        site.study({**LHS, "method": "annealing"}, client=client)
    with pytest.raises(ValueError, match="chunk"):
        site.study(LHS, client=client, chunk=0)
    with pytest.raises(ValueError, match="jobs"):
        site.sweep(CASES, client=client, jobs=0)


def test_a_worker_killed_during_a_study_loses_nothing(site, cluster):
    processes, client, address = cluster
    start_worker(processes, address, "victim")
    client.wait_for_workers(3, timeout=60)
    victim = next(a for a, w in client.scheduler_info()["workers"].items() if w["name"] == "victim")
    study = {**LHS, "days": 365, "lhs": {**LHS["lhs"], "samples": 300}}
    in_hand = []

    def progress(done, total, phase):
        # At the first chunk back, the victim holds chunks of its own.
        if not in_hand:
            in_hand.append(len(client.processing(workers=[victim]).get(victim, ())))
            processes.kill("victim")

    remote = site.study(study, client=client, chunk=5, progress=progress)
    assert in_hand and in_hand[0] > 0, "the victim had no chunk when it was killed"
    assert victim not in client.scheduler_info()["workers"]
    assert processes.started["victim"].wait(10) == -signal.SIGKILL
    local = site.study(study, jobs=2)
    for name, content in local.files.items():
        assert remote.files[name] == content, name


def test_a_study_takes_only_its_batchs_evaluations(site):
    stepped = tarvello._tarvello.SteppedStudy(site._native, json.dumps(LHS), "(study)")
    points, width = stepped.next(), stepped.outputs()
    for wrong in ([[1.0] * width] * (len(points) - 1), [[1.0] * (width - 1)] * len(points)):
        with pytest.raises(ValueError, match="tell"):
            stepped.tell(wrong)
    # A failed case travels as its reason, and results.csv says it.
    stepped.tell(["crashed: signal 11"] + [[1.0] * width] * (len(points) - 1))
    assert stepped.done()
    results = dict(stepped.tables()["files"])["results.csv"].decode().splitlines()
    assert results[1].startswith("c000001,crashed: signal 11,") and ",ok,1," in results[2]
