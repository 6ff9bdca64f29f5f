#!/usr/bin/python3
"""Runs tarvello-run --study as a user would and checks what it does.

    check_study.py files DOCS WORKDIR PROGRAM...
    check_study.py examples DOCS WORKDIR OPTIM_READER... -- PROGRAM...
    check_study.py determinism DOCS WORKDIR PROGRAM...
    check_study.py crash WORKDIR LEAKY_MODULE LEAKY_SOURCES PROGRAM...
    check_study.py robust WORKDIR PROGRAM...
    check_study.py windows WORKDIR PROGRAM...

DOCS is the repository's docs/ directory (the schema and the example studies),
PROGRAM the command that starts tarvello-run (under wine for the Windows
build). `files`: the example studies and a table of bad ones against the JSON
Schema, and the program agrees: good ones run, bad ones are refused with their
one-line message and status 2, nothing written. `examples`: each example study
run small, its files checked, and optim.out read back with the library's own
result reader (OPTIM_READER). `determinism`: one small study of each method
gives the same bytes with --jobs 1 and 2, sharded and merged, and resumed.
`crash`: cases whose worker crashes (the test library tests/leaky/) are
reported in results.csv and left out of the tables, and the study goes on.
`robust`: a small robust study whose robustness.csv and scenario discovery,
recomputed with NumPy from its results.csv, are exactly the reported ones, with
the same bytes whatever the jobs and sharding. `windows`: outputs over
windows of the year add up to the whole run's.
"""
import copy
import csv
import io
import json
import math
import os
import shutil
import subprocess
import sys

import jsonschema

from check_host import leaky_workdir

failures = []
TABLES = {"morris": ["effects.csv"], "sobol": ["indices.csv"], "lhs": ["best.csv", "optim.out"],
          "nsga2": ["pareto.csv", "population.csv", "convergence.csv", "optim.out"],
          "robust": ["robustness.csv", "prim_trajectory.csv", "boxes.csv"]}
# Small enough to run in seconds, large enough to exercise every part.
SMALL = {"morris": {"trajectories": 3}, "sobol": {"n": 8, "resamples": 50},
         "lhs": {"samples": 12, "best": 3}, "nsga2": {"population": 8, "generations": 3},
         "robust": {"samples": 3}}


def check(name, ok, detail=""):
    print("%s %s%s" % ("ok  " if ok else "FAIL", name, (": " + detail) if detail and not ok else ""))
    if not ok:
        failures.append(name)


def run(program, args, cwd):
    return subprocess.run(program + args, cwd=cwd, capture_output=True, stdin=subprocess.DEVNULL)


def load(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def examples_of(docs):
    folder = os.path.join(docs, "studies")
    return [(name, load(os.path.join(folder, name))) for name in sorted(os.listdir(folder))
            if name.endswith(".json")]


def copy_named_files(docs, workdir):
    """The files the examples name (a designs file), beside them as in docs/studies."""
    folder = os.path.join(docs, "studies")
    for name in os.listdir(folder):
        if name.endswith(".csv"):
            shutil.copy(os.path.join(folder, name), workdir)


def small(study, days=30):
    s = copy.deepcopy(study)
    s.pop("$schema", None)
    s["days"] = days
    s.setdefault(s["method"], {}).update(SMALL[s["method"]])
    if isinstance(s.get("futures"), dict):
        s["futures"]["count"] = min(s["futures"]["count"], 20)
    return s


def write_study(workdir, name, study):
    with open(os.path.join(workdir, name), "w", encoding="utf-8") as f:
        json.dump(study, f)
    return name


def read(path):
    with open(path, "rb") as f:
        return f.read()


def outputs_of(folder):
    """Every result file of a study directory (not the plots or the record), as bytes."""
    return {name: read(os.path.join(folder, name)) for name in sorted(os.listdir(folder))
            if name.endswith(".csv") or name == "optim.out"}


BASE = {"method": "morris", "factors": [{"name": "percentReuse_B1_Water_P1_WasteWater",
                                         "low": 0, "high": 1}],
        "outputs": [{"name": "crop", "figure": "crop_water"}]}


def bad(change):
    s = copy.deepcopy(BASE)
    change(s)
    return s


# (what, study, valid under the schema, the program's message). The schema
# cannot know the model's names: those cases are valid JSON studies that only
# the program refuses.
BAD = [
    ("unknown top-level key", bad(lambda s: s.update(trajectories=3)), False,
     'unknown key "trajectories"'),
    ("unknown method", bad(lambda s: s.update(method="sobel")), False,
     "method: 'sobel' is not a method (nearest: sobol)"),
    ("no factors", bad(lambda s: s.pop("factors")), False, "factors: is missing"),
    ("factor without high", bad(lambda s: s["factors"][0].pop("high")), False,
     "factors[0].high: is missing"),
    ("bounds reversed", bad(lambda s: s["factors"][0].update(low=2)), True,
     'factors[0].high: must be above "low"'),
    ("unknown factor name", bad(lambda s: s["factors"][0].update(name="percentReuse_B1_Water")),
     True, "factors[0].name: unknown variable percentReuse_B1_Water (nearest: "),
    ("scale of a constant", bad(lambda s: s["factors"][0].update(
        name="scale:percentReuse_B1_Water_P1_WasteWater")), True,
     "factors[0].name: percentReuse_B1_Water_P1_WasteWater: not a column of the scenario's "
     "per-day table"),
    ("int factor with a fraction", bad(lambda s: s["factors"].append(
        {"name": "current_year_B1_Environment_P1_Environment", "low": 2010.5, "high": 2012})),
     True, "factors[1].low: 2010.5 is not an int"),
    ("text factor", bad(lambda s: s["factors"].append(
        {"name": "climateZone_B1_Food_P1_Crop", "low": 0, "high": 1})), True,
     "is a text; a factor is a double or an int"),
    ("values and bounds", bad(lambda s: s["factors"][0].update(values=[0.1, 0.2])), False,
     'factors[0].values: takes the place of "low" and "high"'),
    ("unknown figure", bad(lambda s: s["outputs"][0].update(figure="crop_waters")), True,
     "outputs[0].figure: unknown figure crop_waters (nearest: crop_water"),
    ("bad reduction", bad(lambda s: s["outputs"].append(
        {"name": "g", "variable": "qttEnergyGrid_B1_Energy_P1_Energy", "reduce": "total"})), False,
     "outputs[1].reduce: 'total' is not final, mean, min, max or sum"),
    ("output named as a figure column", bad(lambda s: s["outputs"][0].update(name="crop_water")),
     True, "outputs[0].name: crop_water is already a column of results.csv"),
    ("odd levels", bad(lambda s: s.update(morris={"levels": 5})), False,
     "morris.levels: must be even"),
    ("another method's options", bad(lambda s: s.update(sobol={"n": 8})), False,
     "sobol: holds the options of another method than morris"),
    ("n not a power of two", bad(lambda s: s.update(
        method="sobol", sobol={"n": 12}, factors=s["factors"] * 1 + [
            {"name": "fertilizerLevel_B1_Food_P1_Crop", "low": 1, "high": 2}])), True,
     "sobol.n: 12 is not a power of two"),
    ("one objective", bad(lambda s: s.update(method="nsga2", nsga2={
        "objectives": [{"output": "crop"}]})), False, "nsga2.objectives: needs two objectives"),
    ("objective of an unknown output", bad(lambda s: s.update(method="nsga2", nsga2={
        "objectives": [{"output": "crop"}, {"output": "grid"}]})), True,
     "nsga2.objectives[1].output: unknown output grid (nearest: crop)"),
    ("a factor also fixed", bad(lambda s: s.update(
        set={"percentReuse_B1_Water_P1_WasteWater": 0.5})), True,
     "set.percentReuse_B1_Water_P1_WasteWater: is a factor; it cannot be fixed too"),
    ("negative seed", bad(lambda s: s.update(seed=-1)), False, "seed: must be a whole number"),
    ("a window of no month", bad(lambda s: s["outputs"][0].update(window="Agust")), False,
     "outputs[0].window: 'Agust' is not a month (nearest: August)"),
]
# A robust study and the files it names (written beside the bad studies).
ROBUST_BASE = {"method": "robust",
               "levers": [{"name": "percentReuse_B1_Water_P1_WasteWater", "low": 0, "high": 1}],
               "uncertainties": [{"name": "scale:qttEnergy_B1_Energy_P1_Energy",
                                  "low": 0.5, "high": 1.5}],
               "futures": "futures.csv", "outputs": [{"name": "crop", "figure": "crop_water"}],
               "robust": {"thresholds": [{"output": "crop", "max": 10}]}}
ROBUST_FILES = {"futures.csv": "future,scale:qttEnergy_B1_Energy_P1_Energy\nf1,0.7\n",
                "futures-extra.csv": "future,scale:qttEnergy_B1_Energy_P1_Energy,sun\nf1,0.7,1\n",
                "futures-cell.csv": "future,scale:qttEnergy_B1_Energy_P1_Energy\nf1,0.7\nf2,9\n",
                "designs.csv": "case,percentReuse_B1_Water\nc000001,0.5\n"}


def bad_robust(change):
    s = copy.deepcopy(ROBUST_BASE)
    change(s)
    return s


BAD += [
    ("an uncertainty that is also a lever", bad_robust(lambda s: s["uncertainties"].append(
        {"name": "percentReuse_B1_Water_P1_WasteWater", "low": 0, "high": 1})), True,
     "uncertainties[1].name: percentReuse_B1_Water_P1_WasteWater is a lever; only a per-day "
     "column's scale can be an uncertainty too"),
    ("a futures file with a column of no uncertainty", bad_robust(
        lambda s: s.update(futures="futures-extra.csv")), True,
     "futures-extra.csv: column 3: 'sun' is not an uncertainty"),
    ("a futures file with a cell outside the bounds", bad_robust(
        lambda s: s.update(futures="futures-cell.csv")), True,
     "futures-cell.csv: line 3: column 2: '9' is outside scale:qttEnergy_B1_Energy_P1_Energy's "
     "bounds"),
    ("a per-day table that cannot be read", bad_robust(lambda s: s["uncertainties"].append(
        {"name": "input", "values": ["years/none.csv"]})), True,
     "uncertainties[1].values[0]: cannot read the file "),
    ("a threshold on an unknown output", bad_robust(lambda s: s["robust"].update(
        thresholds=[{"output": "crops", "max": 1}])), True,
     "robust.thresholds[0].output: unknown output crops (nearest: crop)"),
    ("a designs file without a lever's column", bad_robust(lambda s: s["robust"].update(
        designs="designs.csv")), True,
     "designs.csv: the column of the lever percentReuse_B1_Water_P1_WasteWater is missing"),
    ("factors in a robust study", bad_robust(lambda s: s.update(factors=BASE["factors"])), False,
     'factors: a robust study has "levers" and "uncertainties"'),
    ("a study without levers given samples", bad_robust(lambda s: (s.pop("levers"),
                                                                 s["robust"].update(samples=3))),
     False, "robust.samples: a study without levers has one design"),
    ("a study with levers without thresholds", bad_robust(lambda s: s.pop("robust")), False,
     "robust.thresholds: is missing"),
]


def files(args):
    docs, workdir, program = args[0], args[1], args[2:]
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    schema = load(os.path.join(docs, "study.schema.json"))
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    copy_named_files(docs, workdir)
    for name, study in examples_of(docs):
        errors = [e.message for e in validator.iter_errors(study)]
        check("%s is valid under the schema" % name, not errors, "; ".join(errors))
        path = write_study(workdir, name, small(study, days=10))
        result = run(program, ["--quiet", "--study", path, "--out", name + ".out", "--jobs", "2"],
                     workdir)
        check("%s runs (small)" % name, result.returncode == 0, result.stderr.decode())
    # The summary line names factors and outputs in the plan's and scenario's
    # words, a scale as the scale of its column; the tables keep the names.
    path = write_study(workdir, "words.json", {
        "method": "morris", "days": 365, "seed": 1,
        "factors": [{"name": "percentReuse_B1_Water_P1_WasteWater", "low": 0, "high": 1},
                    {"name": "scale:qttEnergy_B1_Energy_P1_Energy", "low": 0.5, "high": 1.5}],
        "outputs": [{"name": "grid", "variable": "qttEnergyGrid_B1_Energy_P1_Energy",
                     "reduce": "sum"}],
        "morris": {"trajectories": 4}})
    result = run(program, ["--study", path, "--out", "words.out", "--jobs", "2"], workdir)
    line = result.stderr.decode().strip().splitlines()[-1] if result.stderr.strip() else ""
    effects = table(os.path.join(workdir, "words.out", "effects.csv")) if result.returncode == 0 else []
    check("a study's summary speaks in labels, its tables in names",
          result.returncode == 0
          and "most influential on total energy from the grid: scale of solar production (mu* " in line
          and "share of waste water reused (mu* " in line and "_B1_" not in line
          and [r["factor"] for r in effects] == ["percentReuse_B1_Water_P1_WasteWater",
                                                 "scale:qttEnergy_B1_Energy_P1_Energy"],
          line)
    for name, text in ROBUST_FILES.items():
        with open(os.path.join(workdir, name), "w", encoding="utf-8") as f:
            f.write(text)
    for what, study, schema_valid, message in BAD:
        errors = list(validator.iter_errors(study))
        check("schema: %s is %s" % (what, "valid" if schema_valid else "refused"),
              (not errors) == schema_valid, "; ".join(e.message for e in errors))
        path = write_study(workdir, "bad.json", study)
        result = run(program, ["--study", path, "--out", "bad.out"], workdir)
        # The program's own lines (wine adds its own notes on a fresh prefix).
        err = "".join(line for line in result.stderr.decode().replace("\r\n", "\n")
                      .splitlines(keepends=True) if line.startswith("tarvello-run"))
        check("program: %s is refused in one line with status 2" % what,
              result.returncode == 2 and err.count("\n") == 1 and message in err
              and not os.path.exists(os.path.join(workdir, "bad.out")),
              "status %d, %r" % (result.returncode, err))


def table(path):
    with open(path, encoding="utf-8", newline="") as f:
        return list(csv.DictReader(f))


def examples(args):
    docs, workdir = args[0], args[1]
    split = args.index("--")
    reader, program = args[2:split], args[split + 1:]
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    copy_named_files(docs, workdir)
    for name, study in examples_of(docs):
        method = study["method"]
        path = write_study(workdir, name, small(study, days=study.get("days", 365)))
        # Names relative to the working directory, which wine takes as they are.
        rel = name[:-5]
        out = os.path.join(workdir, rel)
        result = run(program, ["--quiet", "--study", path, "--out", rel, "--jobs", "2"], workdir)
        check("%s runs" % name, result.returncode == 0, result.stderr.decode())
        if result.returncode != 0:
            continue
        present = set(os.listdir(out))
        wanted = {"samples.csv", "results.csv", "study.json"} | set(TABLES[method])
        check("%s writes %s" % (name, ", ".join(sorted(wanted))), wanted <= present,
              "has " + ", ".join(sorted(present)))
        check("%s leaves no temporary or partial file" % name,
              not any(n.endswith(".tmp") or n.endswith(".partial") for n in present))
        samples, results = table(os.path.join(out, "samples.csv")), table(os.path.join(out, "results.csv"))
        # A robust study's samples.csv: its levers, then the uncertainties
        # that are not levers too (those multiply the lever's column).
        factors = [f["name"] for f in study.get("factors", [])]
        for f in study.get("levers", []) + study.get("uncertainties", []):
            if f["name"] not in factors:
                factors.append(f["name"])
        check("%s: samples.csv is a cases file of the factors" % name,
              len(samples) == len(results) > 0 and list(samples[0]) == ["case", "days"] + factors
              and all(r["status"] == "ok" for r in results))
        # The samples run as a sweep give the study's figures.
        sweep = run(program, ["--quiet", "--sweep", rel + "/samples.csv", "--out", rel + ".sweep",
                              "--jobs", "2"], workdir)
        check("%s: samples.csv as a sweep runs" % name, sweep.returncode == 0, sweep.stderr.decode())
        if sweep.returncode == 0:
            summary = table(os.path.join(out + ".sweep", "summary.csv"))
            # The summary's figures (it also has the final values of --vars).
            columns = [c for c in summary[0] if c in results[0] and c not in ("case", "status")]
            check("%s: the sweep of samples.csv gives results.csv's figures" % name,
                  "shortfall_days" in columns and [[r[c] for c in columns] for r in summary]
                  == [[r[c] for c in columns] for r in results])
        if "optim.out" in TABLES[method]:
            with open(os.path.join(out, "optim.out"), encoding="utf-8") as f:
                lines = f.read().splitlines()
            check("%s: optim.out has a design after its header" % name, len(lines) >= 2)
            last = lines[-1].split()
            got = run(reader, [rel, str(len(last))], workdir)
            values = got.stdout.decode().split()
            check("%s: the library's reader gets optim.out's last line" % name,
                  got.returncode == 0 and [float(v) for v in values] == [float(v) for v in last],
                  "%r against %r" % (values, last))
            if method == "nsga2":
                # A robust search's designs are its levers.
                searched = [f["name"] for f in study["levers"]] if "levers" in study else factors
                knee = [r for r in table(os.path.join(out, "population.csv")) if r["knee"] == "1"]
                check("%s: the reader's design is the last population's knee" % name,
                      len(knee) == 1 and [float(knee[0][f]) for f in searched]
                      == [float(v) for v in values[:len(searched)]])


def determinism(args):
    docs, workdir, program = args[0], args[1], args[2:]
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    morris = dict(examples_of(docs))["morris-shortfalls.json"]
    studies = {"morris": small(morris)}
    studies["sobol"] = dict(small(morris), method="sobol", factors=morris["factors"][:4],
                            sobol=SMALL["sobol"])
    del studies["sobol"]["morris"]
    studies["lhs"] = dict(small(morris), method="lhs", lhs=dict(
        SMALL["lhs"], objective={"output": "any_shortfall_days"}))
    del studies["lhs"]["morris"]
    studies["nsga2"] = small(dict(examples_of(docs))["nsga2-grid-vs-water.json"])
    # A robust search: each generation is a batch of its designs in every future.
    studies["robust-search"] = small(dict(examples_of(docs))["robust-search.json"])
    search = studies["robust-search"]
    search["futures"]["count"] = 5
    # Over 30 days: no fertilized-days bound, which no design could meet.
    search["nsga2"]["constraints"] = []
    search["nsga2"]["thresholds"] = [t for t in search["nsga2"]["thresholds"]
                                     if t["output"] != "fertilized"]

    def at(*parts):
        return os.path.join(workdir, *parts)

    for method, study in studies.items():
        kind = study["method"]
        path = write_study(workdir, method + ".json", study)
        base = ["--quiet", "--study", path]
        one = method + "-1"
        result = run(program, base + ["--out", one, "--jobs", "1"], workdir)
        check("%s with --jobs 1 runs" % method, result.returncode == 0, result.stderr.decode())
        expected = outputs_of(at(one)) if result.returncode == 0 else {}
        # Every table with rows gets its plot, where gnuplot is at hand.
        tab = TABLES[kind][0]
        plot = tab.replace(".csv", ".png")
        if (shutil.which("gnuplot") and not program[-1].endswith(".exe")
                and len(table(at(one, tab))) > 0):
            with open(at(one, plot), "rb") as f:
                check("%s draws %s" % (method, plot), f.read(8) == b"\x89PNG\r\n\x1a\n")
        two = method + "-2"
        result = run(program, base + ["--out", two, "--jobs", "2"], workdir)
        check("%s: --jobs 2 gives the bytes of --jobs 1" % method,
              result.returncode == 0 and outputs_of(at(two)) == expected, result.stderr.decode())
        # A stopped study: half its journal kept, the record not complete.
        with open(at(one, "results.csv"), encoding="utf-8", newline="") as f:
            lines = f.read().split("\n")
        if "futures" in study:
            # The journal holds the cases as run (case, status, figures,
            # outputs), without results.csv's design, future and factors.
            status = lines[0].split(",").index("status")
            lines = [",".join(line.split(",")[:1] + line.split(",")[status:]) if line else line
                     for line in lines]
        stopped = method + "-resumed"
        os.makedirs(at(stopped))
        record = load(at(two, "study.json"))
        record["complete"] = False
        with open(at(stopped, "study.json"), "w", encoding="utf-8") as f:
            json.dump(record, f)
        with open(at(stopped, "results.csv.partial"), "w", encoding="utf-8", newline="") as f:
            f.write("\n".join(lines[:len(lines) // 2]) + "\n" + lines[len(lines) // 2][:5])
        result = run(program, base[1:] + ["--out", stopped, "--jobs", "2", "--resume"], workdir)
        check("%s: --resume of a stopped study keeps its results and gives the bytes of one run"
              % method, result.returncode == 0 and outputs_of(at(stopped)) == expected
              and b" cases kept from before" in result.stderr, result.stderr.decode())
        if kind == "nsga2":
            result = run(program, base + ["--out", "x", "--shard", "0/2"], workdir)
            check("%s refuses --shard" % method, result.returncode == 2, result.stderr.decode())
            continue
        shards = []
        for i in range(3):
            shards.append("%s-shard-%d" % (method, i))
            result = run(program, base + ["--out", shards[-1], "--shard", "%d/3" % i, "--jobs", "1"],
                         workdir)
            check("%s shard %d/3 runs" % (method, i), result.returncode == 0, result.stderr.decode())
        merged = method + "-merged"
        result = run(program, base + ["--merge", merged] + shards[::-1], workdir)
        check("%s: three shards merged give the bytes of one machine" % method,
              result.returncode == 0 and outputs_of(at(merged)) == expected, result.stderr.decode())
        result = run(program, base + ["--merge", merged + "-2"] + shards[:2], workdir)
        check("%s: a merge without a shard is refused" % method,
              result.returncode == 2 and b"shard 2 of 3 is missing" in result.stderr,
              result.stderr.decode())
        if method != "morris":
            continue
        # An output directory is taken only when it is new, empty or a study's
        # own; refused, it keeps every file it had.
        os.makedirs(at("busy"))
        with open(at("busy", "notes.txt"), "w") as f:
            f.write("mine")
        other = write_study(workdir, "other.json", small(morris, days=31))
        refusals = [
            ("a directory of other files", base + ["--out", "busy"], "busy",
             "--out: busy is not empty and holds no study (no study.json); give a new or empty "
             "directory"),
            ("--resume of another study", ["--quiet", "--study", other, "--resume", "--out", one],
             one, "--resume: %s holds another study (its study differs)" % one),
            ("--resume of another shard", base + ["--resume", "--shard", "1/3", "--out", shards[0]],
             shards[0], "--resume: %s holds another study (its shard differs)" % shards[0]),
        ]
        for what, options, folder, message in refusals:
            before = {name: read(at(folder, name)) for name in os.listdir(at(folder))}
            result = run(program, options, workdir)
            stderr = result.stderr.decode()
            check("%s: %s is refused, its files kept" % (method, what), result.returncode == 2
                  and stderr.splitlines() == ["tarvello-run: " + message]
                  and {name: read(at(folder, name)) for name in os.listdir(at(folder))} == before,
                  stderr)
        # Run again over its own directory, a study replaces its files and
        # their temporary ones, and keeps the others.
        for name in ("notes.txt", ".effects.csv.x.tmp"):
            with open(at(one, name), "w") as f:
                f.write("left")
        result = run(program, base + ["--out", one], workdir)
        check("%s: a study run again over its directory keeps only other files" % method,
              result.returncode == 0 and outputs_of(at(one)) == expected
              and read(at(one, "notes.txt")) == b"left"
              and not os.path.exists(at(one, ".effects.csv.x.tmp")), result.stderr.decode())


def crash(args):
    workdir, module, sources, program = args[0], args[1], args[2], args[3:]
    leaky = leaky_workdir(workdir, module, sources)
    # Half the designs crash their worker: an int factor of 0 or 1.
    study = {"method": "lhs", "days": 5, "seed": 3,
             "factors": [{"name": "crash_B1_Site_P1_Counter", "low": 0, "high": 1},
                         {"name": "count_B1_Site_P1_Counter", "low": 0, "high": 10}],
             "outputs": [{"name": "count", "variable": "count_B1_Site_P1_Counter"}],
             "lhs": {"samples": 8, "best": 8, "objective": {"output": "count"}}}
    write_study(workdir, "crash.json", study)
    result = run(program, leaky + ["--study", "crash.json", "--out", "out", "--jobs", "2", "--quiet"],
                 workdir)
    check("a study with crashing cases finishes", result.returncode == 0, result.stderr.decode())
    if result.returncode != 0:
        return
    samples = table(os.path.join(workdir, "out", "samples.csv"))
    results = table(os.path.join(workdir, "out", "results.csv"))
    crashed = [s["crash_B1_Site_P1_Counter"] == "1" for s in samples]
    check("the crashed cases are reported, the others have their outputs",
          any(crashed) and not all(crashed) and all(
              r["status"].startswith("crashed: ") and r["count"] == "" if c
              else r["status"] == "ok" and r["count"] != "" for r, c in zip(results, crashed)),
          repr(results))
    best = table(os.path.join(workdir, "out", "best.csv"))
    check("the best designs leave the crashed cases out",
          len(best) == crashed.count(False)
          and all(b["crash_B1_Site_P1_Counter"] == "0" for b in best))


ROBUST = {
    "method": "robust", "days": 365, "seed": 11,
    "levers": [{"name": "waterTankMax_B1_Water_P1_CleanWater", "low": 50, "high": 300},
               {"name": "scale:qttEnergy_B1_Energy_P1_Energy", "low": 0.8, "high": 1.5}],
    "uncertainties": [{"name": "scale:qttEnergy_B1_Energy_P1_Energy", "low": 0.7, "high": 1.2},
                      {"name": "scale:dayliWaterNeeded_B1_Food_P1_Crop", "low": 0.7, "high": 1.3},
                      {"name": "scale:qttWater_B1_Water_P1_CleanWater", "values": [0.8, 1, 1.2]}],
    "futures": {"sample": "lhs", "count": 40},
    "outputs": [{"name": "crop_water_days", "figure": "crop_water"},
                {"name": "grid", "variable": "qttEnergyGrid_B1_Energy_P1_Energy", "reduce": "sum"}],
    "robust": {"samples": 5, "goals": [{"output": "crop_water_days"}, {"output": "grid"}],
               "thresholds": [{"output": "crop_water_days", "max": 25}],
               "discover": {"peel": 0.1}}}


def recorded_years(workdir, program):
    """A robust study over recorded years, its tables in a folder of their own:
    its samples.csv runs as a cases file where it lies, and a changed table
    makes --resume refuse the directory."""
    defaults = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "host", "defaults")
    os.makedirs(os.path.join(workdir, "studies", "years"))
    with open(os.path.join(defaults, "inputs.csv"), encoding="utf-8", newline="") as f:
        year = f.read()
    for name, text in (("a.csv", year), ("b.csv", year.replace("\n1,2,6,0,5,", "\n1,2,6,0,2,"))):
        with open(os.path.join(workdir, "studies", "years", name), "w", encoding="utf-8",
                  newline="") as f:
            f.write(text)
    study = dict(ROBUST, days=30, futures={"sample": "lhs", "count": 4},
                 uncertainties=ROBUST["uncertainties"][1:2]
                 + [{"name": "input", "values": ["years/a.csv", "years/b.csv"]}],
                 robust=dict(ROBUST["robust"], samples=2, discover={"peel": 0.25}))
    path = os.path.join("studies", "years.json")
    write_study(workdir, path, study)
    out = os.path.join("runs", "years")
    result = run(program, ["--quiet", "--study", path, "--out", out], workdir)
    check("robust: a study over recorded years runs", result.returncode == 0,
          result.stderr.decode())
    samples = table(os.path.join(workdir, out, "samples.csv"))
    result = run(program, ["--quiet", "--sweep", os.path.join(out, "samples.csv"), "--out",
                           "years-sweep"], workdir)
    check("robust: samples.csv of recorded years runs as a cases file where it lies",
          result.returncode == 0 and {s["input"] for s in samples}
          == {"../../studies/years/a.csv", "../../studies/years/b.csv"}, result.stderr.decode())
    with open(os.path.join(workdir, "studies", "years", "b.csv"), "w", encoding="utf-8",
              newline="") as f:
        f.write(year.replace("\n1,2,6,0,5,", "\n1,2,6,0,3,"))
    result = run(program, ["--quiet", "--study", path, "--out", out, "--resume"], workdir)
    check("robust: --resume refuses a study whose per-day table changed",
          result.returncode == 2 and "(its designs, futures or per-day table file differs)"
          in result.stderr.decode(), result.stderr.decode())


def robust(args):
    import numpy
    workdir, program = args[0], args[1:]
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)

    def at(*parts):
        return os.path.join(workdir, *parts)

    path = write_study(workdir, "robust.json", ROBUST)
    base = ["--quiet", "--study", path]
    result = run(program, base + ["--out", "one", "--jobs", "1"], workdir)
    check("robust: a study runs", result.returncode == 0, result.stderr.decode())
    if result.returncode != 0:
        return
    expected = outputs_of(at("one"))
    result = run(program, base + ["--out", "two", "--jobs", "2"], workdir)
    check("robust: --jobs 2 gives the bytes of --jobs 1",
          result.returncode == 0 and outputs_of(at("two")) == expected, result.stderr.decode())
    for i in range(2):
        run(program, base + ["--out", "shard-%d" % i, "--shard", "%d/2" % i], workdir)
    result = run(program, base + ["--merge", "merged", "shard-1", "shard-0"], workdir)
    check("robust: two shards merged give the bytes of one machine",
          result.returncode == 0 and outputs_of(at("merged")) == expected, result.stderr.decode())

    # Resumed, a finished study runs none of its cases again and writes the
    # same bytes.
    result = run(program, base[1:] + ["--out", "one", "--resume"], workdir)
    check("robust: --resume of a finished study runs no case and gives the same bytes",
          result.returncode == 0 and outputs_of(at("one")) == expected
          and b"(200 cases kept from before)" in result.stderr, result.stderr.decode())
    recorded_years(workdir, program)

    results = table(at("one", "results.csv"))
    samples = table(at("one", "samples.csv"))
    robustness = table(at("one", "robustness.csv"))
    designs = sorted({r["design"] for r in results})
    futures = sorted({r["future"] for r in results})
    check("robust: every design meets every future", len(results) == len(designs) * len(futures)
          == 5 * 40 and all(r["status"] == "ok" for r in results))
    # samples.csv runs each case's scale of solar production as the product
    # of the design's and the future's.
    check("robust: samples.csv holds a scale that is lever and uncertainty as their product",
          [float(s["scale:qttEnergy_B1_Energy_P1_Energy"]) for s in samples]
          == [float(r["scale:qttEnergy_B1_Energy_P1_Energy"])
              * float(r["future:scale:qttEnergy_B1_Energy_P1_Energy"]) for r in results])
    outcome = {o: numpy.array([[float(r[o]) for r in results if r["design"] == d]
                               for d in designs]) for o in ("crop_water_days", "grid")}
    met = numpy.array([[float(r["crop_water_days"]) <= 25 for r in results if r["design"] == d]
                       for d in designs])
    mismatches = []
    for row in robustness:
        d, o = designs.index(row["design"]), row["output"]
        x = outcome[o][d]
        n = len(x)
        mean = numpy.cumsum(x)[-1] / n
        dev = x - mean
        regret = x - outcome[o].min(axis=0)
        want = {"mean": mean, "std": math.sqrt(numpy.cumsum(dev * dev)[-1] / (n - 1)),
                "p10": numpy.percentile(x, 10), "p50": numpy.percentile(x, 50),
                "p90": numpy.percentile(x, 90), "worst": x.max(),
                "regret_max": regret.max(), "regret_p90": numpy.percentile(regret, 90),
                "satisficing": met[d].sum() / n}
        mismatches += ["%s %s %s: %s against %r" % (row["design"], o, k, row[k], float(v))
                       for k, v in want.items() if float(row[k]) != float(v)]
    ranks = [float(r["satisficing"]) for r in robustness]
    check("robust: robustness.csv is NumPy's on results.csv, exactly, ranked by satisficing",
          not mismatches and len(robustness) == 2 * len(designs) and ranks == sorted(ranks)[::-1],
          "; ".join(mismatches[:5]))

    # Scenario discovery: the reported coverage, density and mass of every
    # peeling step and of the chosen box, recomputed from results.csv.
    box = table(at("one", "boxes.csv"))
    trajectory = table(at("one", "prim_trajectory.csv"))
    chosen = box[0]["design"] if box else robustness[0]["design"]
    rows = [r for r in results if r["design"] == chosen]
    miss = [float(r["crop_water_days"]) > 25 for r in rows]
    names = [u["name"] for u in ROBUST["uncertainties"]]
    column = {n: ("future:" + n if n.startswith("scale:qttEnergy") else n) for n in names}

    def inside(step, r):
        for n in names:
            if step.get(n + "_low", ""):
                if not float(step[n + "_low"]) <= float(r[column[n]]) <= float(step[n + "_high"]):
                    return False
            if step.get(n, "") and r[column[n]] not in step[n].split("|"):
                return False
        return True

    wrong = []
    for step in trajectory + box:
        held = [inside(step, r) for r in rows]
        hits = sum(h and m for h, m in zip(held, miss))
        got = (float(step["coverage"]), float(step["density"]), float(step["mass"]))
        want = (hits / sum(miss), hits / sum(held), sum(held) / len(rows))
        if got != want or int(step["points"]) != sum(held):
            wrong.append("%r against %r" % (got, want))
    check("robust: PRIM's coverage, density and mass are those of results.csv, exactly",
          any(miss) and len(trajectory) > 1 and len(box) == 1 and not wrong, "; ".join(wrong[:3]))


def windows(args):
    """Outputs over windows of the year: the twelve months of a figure and of a
    variable's sum add up to the whole run's, over two years."""
    workdir, program = args[0], args[1:]
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    months = ["January", "February", "March", "April", "May", "June", "July", "August",
              "September", "October", "November", "December"]
    grid = {"variable": "qttEnergyGrid_B1_Energy_P1_Energy", "reduce": "sum"}
    outputs = [{"name": "crop", "figure": "crop_water"}, {"name": "any", "figure": "shortfall_days"},
               dict(grid, name="grid")]
    for m in months:
        outputs += [{"name": "crop_" + m, "figure": "crop_water", "window": m},
                    {"name": "any_" + m, "figure": "shortfall_days", "window": m},
                    dict(grid, name="grid_" + m, window=m)]
    outputs.append({"name": "winter", "figure": "crop_water", "window": {"from": 335, "to": 59}})
    study = {"method": "lhs", "days": 730, "seed": 5, "outputs": outputs,
             "factors": [{"name": "scale:dayliWaterNeeded_B1_Food_P1_Crop", "low": 0.8, "high": 1.6},
                         {"name": "scale:qttEnergy_B1_Energy_P1_Energy", "low": 0.5, "high": 1.2}],
             "lhs": {"samples": 6, "objective": {"output": "crop"}}}
    path = write_study(workdir, "windows.json", study)
    result = run(program, ["--quiet", "--study", path, "--out", "out"], workdir)
    check("windows: a study of outputs over windows runs", result.returncode == 0,
          result.stderr.decode())
    if result.returncode != 0:
        return
    rows = table(os.path.join(workdir, "out", "results.csv"))
    wrong = []
    for r in rows:
        for name in ("crop", "any"):
            if sum(int(float(r[name + "_" + m])) for m in months) != int(float(r[name])):
                wrong.append("%s %s" % (r["case"], name))
        if abs(sum(float(r["grid_" + m]) for m in months) - float(r["grid"])) > 1e-9 * (
                1 + abs(float(r["grid"]))):
            wrong.append("%s grid" % r["case"])
        if float(r["winter"]) != sum(float(r["crop_" + m]) for m in ("December", "January",
                                                                       "February")):
            wrong.append("%s winter" % r["case"])
    check("windows: the months add up to the whole run, a window over the new year to its months",
          rows and not wrong and any(float(r["crop_August"]) > 0 for r in rows), ", ".join(wrong))


def main():
    modes = {"files": files, "examples": examples, "determinism": determinism, "crash": crash,
             "robust": robust, "windows": windows}
    if len(sys.argv) < 4 or sys.argv[1] not in modes:
        sys.exit(__doc__)
    modes[sys.argv[1]](sys.argv[2:])
    if failures:
        print("%d failed" % len(failures))
        sys.exit(1)


if __name__ == "__main__":
    main()
