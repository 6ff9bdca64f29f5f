#!/usr/bin/python3
"""Runs the reference host tarvello-run as a user would and checks what it does.

    check_host.py golden GOLDEN.csv WORKDIR PROGRAM...
    check_host.py rules WORKDIR PROGRAM...
    check_host.py sweep WORKDIR PROGRAM...
    check_host.py sweep-crash WORKDIR PROGRAM...

PROGRAM is the command that starts tarvello-run (under wine for the Windows
build). `golden`: the default year, to a file and to standard output, equals
GOLDEN.csv byte for byte. `rules`: small plans walk as the plan says, and bad
plans and options fail with their messages and exit statuses before anything
is written. `sweep`: a sweep's cases equal the same runs made one by one,
whatever the number of jobs, and shards merge into the one summary; a
malformed cases file is rejected before anything runs. `sweep-crash` (Linux):
a case whose child is killed is reported while the others finish.

    check_host.py recorded-years DATA WORKDIR PROGRAM...

`recorded-years`: a sweep whose cases name recorded years (DATA's
dry-year.csv and dull-year.csv) in their "input" column gives each case
what `--input FILE` gives alone; a cases file naming a missing or bad table
is rejected before anything runs.
"""
import json
import os
import re
import shutil
import signal
import stat
import subprocess
import sys
import time

PLAN_HEAD = {"format": "tarvello-plan", "formatVersion": 1, "model": "TarvelloDemoSite"}
EMPTY_SCENARIO = {"format": "tarvello-scenario", "formatVersion": 1, "model": "TarvelloDemoSite"}
CROP_OUT = ["waterTank_B1_Food_P1_Crop", "irrigationDaysOK_B1_Food_P1_Crop",
            "fertilizerDaysOK_B1_Food_P1_Crop"]
failures = []


def run(program, args, cwd):
    return subprocess.run(program + args, cwd=cwd, capture_output=True, stdin=subprocess.DEVNULL)


def write_json(workdir, name, value):
    with open(os.path.join(workdir, name), "w", encoding="utf-8") as f:
        json.dump(value, f)
    return name


def crop_plan(nodes):
    return dict(PLAN_HEAD, processes=[{"process": "Crop", "day": "0_4_12_GROWING_9",
                                       "nodes": nodes}], output={"variables": CROP_OUT})


def check(name, ok, detail=""):
    print("%s %s%s" % ("ok  " if ok else "FAIL", name, (": " + detail) if detail and not ok else ""))
    if not ok:
        failures.append(name)


def golden(args):
    golden_path, workdir, program = args[0], args[1], args[2:]
    with open(golden_path, "rb") as f:
        expected = f.read()
    os.makedirs(workdir, exist_ok=True)
    result = run(program, ["--quiet", "--out", "default-year.csv"], workdir)
    check("default year to a file exits 0", result.returncode == 0, result.stderr.decode())
    with open(os.path.join(workdir, "default-year.csv"), "rb") as f:
        written = f.read()
    check("default year to a file equals the golden CSV", written == expected,
          "first difference at byte %d" % next(
              (i for i, (a, b) in enumerate(zip(written, expected)) if a != b),
              min(len(written), len(expected))))
    result = run(program, ["--quiet"], workdir)
    check("default year on standard output equals the golden CSV", result.stdout == expected)
    result = run(program, [], workdir)
    summary = result.stderr.replace(b"\r\n", b"\n")  # stderr is text on Windows
    check("the default year visits every node with model code and has all three shortfalls",
          b"nodes with model code visited: 35 of 35\n" in summary
          and b"irrigated days: " in summary
          and b"(crop water 45, grid energy 71, industrial fertilizer 22)" in summary,
          summary.decode())
    # A person reads the plan's and scenario's words and units; where a name
    # is to be typed (--set, --scale, --vars), --info gives it in parentheses.
    info = run(program, ["--info"], workdir).stdout.replace(b"\r\n", b"\n")
    check("the summary and --info speak in the plan's and scenario's labels and units",
          b"  final clean water in the tank: 245 units\n" in summary
          and b"_B1_" not in summary
          and b" Share of waste water reused (percentReuse_B1_Water_P1_WasteWater): 0.5\n" in info
          and b" Solar production, units/day (qttEnergy_B1_Energy_P1_Energy)\n" in info
          and b" Irrigated days (irrigated_days)\n" in info,
          summary.decode() + info.decode())


def module_beside(program):
    """The module and description files beside the program (its last argument)."""
    here = os.path.dirname(program[-1])
    name = "TarvelloDemoSite.dll" if program[-1].endswith(".exe") else "TarvelloDemoSite.so"
    return os.path.join(here, name), os.path.join(here, "TarvelloDemoSite.json")


def rules(args):
    workdir, program = args[0], args[1:]
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    scenario = write_json(workdir, "empty-scenario.json", EMPTY_SCENARIO)
    module, description = module_beside(program)
    truncated = "truncated" + os.path.splitext(module)[1]
    with open(module, "rb") as f, open(os.path.join(workdir, truncated), "wb") as g:
        g.write(f.read()[:200000])
    # A description whose two getters are exchanged: the other entry points.
    with open(description, encoding="utf-8") as f:
        text = f.read()
    a, b = "GetwaterTank_B1_Food_P1_Crop", "GetqttWater_B1_Food_P1_Crop"
    with open(os.path.join(workdir, "swapped.json"), "w", encoding="utf-8") as f:
        f.write(text.replace('"%s"' % a, '"%s"' % b, 1))
    with open(os.path.join(workdir, "real.json"), "w", encoding="utf-8") as f:
        f.write(text)
    short_of_water = {
        "0_4_12_GROWING_9": {},
        "0_4_12_GROWING_10": {},
        "0_4_12_GROWING_13": {"host": True, "next": "0_4_12_GROWING_24", "actions": [
            {"set": "fertilizerDaysOK_B1_Food_P1_Crop", "value": 99.0}]},
        "0_4_12_GROWING_24": {},
    }
    continues = write_json(workdir, "continues.json", crop_plan(short_of_water))
    ends_nodes = dict(short_of_water)
    ends_nodes["0_4_12_GROWING_13"] = {k: v for k, v in short_of_water["0_4_12_GROWING_13"].items()
                                       if k != "next"}
    ends = write_json(workdir, "ends.json", crop_plan(ends_nodes))

    # IniModel sets the daily need to 10: a tank of 25 is enough, 4 is not.
    walks = [
        ("a decision's answer reaches its task node", continues, "25", "1,15,1,0"),
        ("a host node continues at its next", continues, "4", "1,4,0,100"),
        ("a host node without next ends the walk", ends, "4", "1,4,0,99"),
    ]
    for name, plan, tank, row in walks:
        result = run(program, ["--plan", plan, "--scenario", scenario, "--days", "1", "--quiet",
                               "--set", "waterTank_B1_Food_P1_Crop=" + tank], workdir)
        lines = result.stdout.decode().splitlines()
        check(name, result.returncode == 0 and lines == ["day," + ",".join(CROP_OUT), row],
              "exit %d, output %r, %s" % (result.returncode, lines, result.stderr.decode()))

    bad_next = dict(short_of_water)
    bad_next["0_4_12_GROWING_10"] = {"next": "0_4_12_GROWING_99"}
    typo = dict(short_of_water)
    typo["0_4_12_GROWNIG_9"] = {}
    bad_variable = dict(short_of_water)
    bad_variable["0_4_12_GROWING_13"] = {"host": True, "actions": [
        {"copy": "waterTank_B1_Food_P1_Crops", "to": "qttWater_B1_Food_P1_Crop"}]}
    loop = dict(PLAN_HEAD, processes=[{"process": "Crop", "day": "0_4_12_GROWING_1", "nodes": {
        "0_4_12_GROWING_1": {"host": True, "next": "0_4_12_GROWING_2"},
        "0_4_12_GROWING_2": {"host": True, "next": "0_4_12_GROWING_1"}}}])
    plans = {
        "bad-next.json": crop_plan(bad_next),
        "typo.json": crop_plan(typo),
        "bad-variable.json": crop_plan(bad_variable),
        "loop.json": loop,
    }
    for name, plan in plans.items():
        write_json(workdir, name, plan)

    tank = "waterTank_B1_Food_P1_Crop"
    days = "dies_B1_Environment_P1_Environment"
    failing = [
        ("a next that the plan does not define", ["--plan", "bad-next.json"], 2,
         "unknown node 0_4_12_GROWING_99"),
        ("a node that the model does not have", ["--plan", "typo.json"], 2,
         "node 0_4_12_GROWNIG_9: unknown node: the model has no such node"),
        ("an unknown variable in an action", ["--plan", "bad-variable.json"], 2,
         "unknown variable waterTank_B1_Food_P1_Crops (nearest: waterTank_B1_Food_P1_Crop"),
        ("a plan that loops", ["--plan", "loop.json"], 1, "the plan loops"),
        ("--set of an unknown name", ["--set", "waterTank_B1_Food_P1_crop=1"], 2,
         "unknown variable waterTank_B1_Food_P1_crop (nearest: waterTank_B1_Food_P1_Crop"),
        ("--set of a word for a number", ["--set", tank + "=plenty"], 2, "is not a number"),
        ("--set of 1.5 for an int", ["--set", days + "=1.5"], 2, "is not a whole number"),
        ("--set beyond 32 bits", ["--set", days + "=2147483648"], 2, "does not fit a 32-bit int"),
        ("--set without a value", ["--set", tank], 2, "expected NAME=VALUE"),
        ("--scale of a value that is no per-day column",
         ["--scale", "percentReuse_B1_Water_P1_WasteWater=2"], 2,
         "--scale percentReuse_B1_Water_P1_WasteWater: not a column of the scenario's per-day table"),
        ("--scale by an infinite factor", ["--scale", ENERGY + "=inf"], 2, "'inf' is not finite"),
        ("--scale by a hexadecimal factor", ["--scale", ENERGY + "=0x10"], 2,
         "'0x10' is not a number"),
        ("--scale without a factor", ["--scale", ENERGY], 2, "is not NAME=FACTOR"),
        ("--vars with an unknown name", ["--vars", tank + ",wterTank_B1_Food_P1_Crop"], 2,
         "unknown variable wterTank_B1_Food_P1_Crop (nearest: waterTank_B1_Food_P1_Crop"),
        ("--days 0", ["--days", "0"], 2, "--days: '0' is not a positive whole number"),
        ("--days -5", ["--days", "-5"], 2, "--days: '-5' is not a positive whole number"),
        ("--days in words", ["--days", "ten"], 2, "--days: 'ten' is not a positive whole number"),
        ("--every 0", ["--every", "0"], 2, "--every: '0' is not a positive whole number"),
        ("an unknown option", ["--dyas", "3"], 2, "--dyas"),
        ("a library that does not exist", ["--library", "nowhere/TarvelloDemoSite.so"], 2,
         "--library: there is no file nowhere/TarvelloDemoSite.so"),
        ("a truncated library", ["--library", truncated, "--description", "real.json"], 2,
         "cannot load " + truncated + ": "),
        ("a description of other entry points", ["--description", "swapped.json"], 2,
         "swapped.json does not belong to "),
        ("--set of a double that underflows", ["--set", tank + "=1e-400"], 2,
         "'1e-400' is too small for a double (it underflows to zero)"),
        ("--vars empty", ["--vars", ""], 2, "--vars: the list is empty"),
        ("--out an existing directory", ["--out", "."], 2, "--out: . is a directory"),
        ("--out without a name", ["--out", ""], 2, "--out: the file name is empty"),
        ("--out in a directory that does not exist", ["--out", "nowhere/out.csv"], 2,
         "--out: there is no directory nowhere"),
    ]
    # JSON values of the wrong type, each named by file and key.
    host_node = "processes[0] (Crop): node 0_4_12_GROWING_13: "
    for kind, document, key, message in [
            ("plan", dict(crop_plan(short_of_water), format=1), "format", '"format" must be a string'),
            ("plan", dict(crop_plan(short_of_water), model=None), "model", '"model" must be a string'),
            ("plan", crop_plan(dict(short_of_water, **{"0_4_12_GROWING_13": {"host": "yes"}})),
             "host", host_node + '"host" must be true or false'),
            ("scenario", dict(EMPTY_SCENARIO, formatVersion="1"), "formatVersion",
             '"formatVersion" must be a whole number'),
            # Labels and presets: names that exist, texts, ranges and values that fit.
            ("plan", dict(crop_plan(short_of_water), output={
                "variables": CROP_OUT, "labels": {"waterTank_B1_Food_P1_Crops": {"label": "water"}}}),
             "label", "output.labels.waterTank_B1_Food_P1_Crops: unknown variable"),
            ("scenario", dict(EMPTY_SCENARIO, labels={tank: {"label": "tank", "min": 5, "max": 1}}),
             "range", 'labels.%s: "min" lies above "max"' % tank),
            ("scenario", dict(EMPTY_SCENARIO, labels={tank: {"label": "tank", "unit": 3}}),
             "unit", 'labels.%s: "unit" must be a string' % tank),
            ("scenario", dict(EMPTY_SCENARIO, presets={"Dry": {"constants": {days: 1.5}}}),
             "preset", "presets.Dry.constants.%s: 1.5 is not an int" % days)]:
        path = write_json(workdir, "typed-%s.json" % key, document)
        failing.append(("a %s whose %s has the wrong type" % (kind, key), ["--" + kind, path], 2,
                        "%s %s: %s" % (kind, path, message)))
    for name, options, status, message in failing:
        before = sorted(os.listdir(workdir))
        out = [] if "--out" in options else ["--out", "out.csv"]
        result = run(program, options + out + ["--quiet"], workdir)
        stderr = result.stderr.decode()
        lines = stderr.strip().splitlines()
        check(name, result.returncode == status and len(lines) == 1 and message in stderr
              and stderr.startswith("tarvello-run: ") and sorted(os.listdir(workdir)) == before,
              "exit %d, stderr %r, new files %r" % (result.returncode, stderr,
                                                    set(os.listdir(workdir)) - set(before)))

    # The nearest names of an unknown one: every value whose name part is
    # what was typed (letter case aside), then those whose label in the
    # built-in scenario holds the typed words, then the closest by edits.
    reuse = "percentReuse_B1_Water_P1_WasteWater"
    energies = ["qttEnergy_B1_%s" % p for p in (
        "Compensation_P1_Compensation", "Compensation_P1_Compensation_1", "Energy_P1_Energy",
        "Food_P1_WineProduction", "Food_P1_WineProduction_1", "Water_P1_CleanWater",
        "Water_P1_CleanWater_1")]
    for typed, first, whole in [
            ("percentReuse", [reuse], False),
            ("PERCENTREUSE", [reuse], False),
            ("waterTank", ["waterTank_B1_Food_P1_Crop", "waterTank_B1_Food_P1_Crop_5",
                           "waterTank_B1_Water_P1_CleanWater"], True),
            ("qttEnergy", energies, True),
            ("Share of waste water reused", [reuse], False),
            ("waste REUSED", [reuse], False),
            ("waterTank_B1_Food_P1_Crops", ["waterTank_B1_Food_P1_Crop"], False),
            ("x" * 200, [], True)]:
        result = run(program, ["--set", typed + "=1", "--quiet"], workdir)
        stderr = result.stderr.decode().strip()
        head = "tarvello-run: --set: unknown variable " + typed
        offered = stderr[len(head) + len(" (nearest: "):-1].split(", ") if stderr != head else []
        check("--set %s offers %s" % (typed[:30], ", ".join(first) or "nothing"),
              result.returncode == 2 and stderr.startswith(head)
              and (offered == first if whole else offered[:len(first)] == first
                   and len(offered) == 3), stderr)

    # --version: this program's version (the project's), the model's name and
    # version from its description, and the description's digest, as study
    # records keep it; without a model, the program's version all the same.
    with open(os.path.join(os.path.dirname(__file__), "..", "CMakeLists.txt"), encoding="utf-8") as f:
        project = re.search(r"^project\([^)]*VERSION ([0-9.]+)", f.read(), re.M).group(1)
    with open(description, "rb") as f:
        data = f.read()
    digest = 0xcbf29ce484222325
    for byte in data:
        digest = ((digest ^ byte) * 0x100000001b3) & 0xffffffffffffffff
    model = json.loads(data)
    result = run(program, ["--version"], workdir)
    lines = result.stdout.decode().splitlines()
    check("--version names the program, the model and the description's digest",
          result.returncode == 0 and not result.stderr and len(lines) == 3
          and lines[0] == "tarvello-run " + project
          and lines[1].startswith("model %s %s (" % (model["model"], model["version"]))
          and lines[2].startswith("description fnv1a64:%016x (" % digest), repr(result))
    result = run(program, ["--version", "--library", "nowhere/TarvelloDemoSite.so"], workdir)
    check("--version without a model gives the program's version and why there is no model",
          result.returncode == 0 and result.stdout.decode().splitlines() == [
              "tarvello-run " + project,
              "model: unknown (--library: there is no file nowhere/TarvelloDemoSite.so)"],
          repr(result))


ENERGY = "qttEnergy_B1_Energy_P1_Energy"
CASES = """case,days,percentReuse_B1_Water_P1_WasteWater,waterTank_B1_Water_P1_CleanWater,current_year_B1_Environment_P1_Environment,scale:%s
base,,,,,
reuse80,,0.8,,,
bigtank,60,,400,,
year2020,,,,2020,
solar,,0.8,,,2.5
""" % ENERGY
SINGLE = {"base": [], "reuse80": ["--set", "percentReuse_B1_Water_P1_WasteWater=0.8"],
          "bigtank": ["--days", "60", "--set", "waterTank_B1_Water_P1_CleanWater=400"],
          "year2020": ["--set", "current_year_B1_Environment_P1_Environment=2020"],
          "solar": ["--set", "percentReuse_B1_Water_P1_WasteWater=0.8", "--scale", ENERGY + "=2.5"]}


def read(workdir, *path):
    with open(os.path.join(workdir, *path), "rb") as f:
        return f.read()


def sweep(args):
    workdir, program = args[0], args[1:]
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    with open(os.path.join(workdir, "cases.csv"), "w", encoding="ascii") as f:
        f.write(CASES)
    runs = [(jobs, isolation) for jobs in ("1", "2") for isolation in ("snapshot", "process")]
    for jobs, isolation in runs:
        result = run(program, ["--sweep", "cases.csv", "--out", "jobs%s-%s" % (jobs, isolation),
                               "--jobs", jobs, "--isolation", isolation, "--daily", "--quiet"],
                     workdir)
        check("a sweep with --jobs %s --isolation %s succeeds" % (jobs, isolation),
              result.returncode == 0 and not result.stderr, result.stderr.decode())
    summary = read(workdir, "jobs1-snapshot", "summary.csv")
    check("--jobs 1 and 2, snapshot and process isolation give the same summary",
          all(read(workdir, "jobs%s-%s" % r, "summary.csv") == summary for r in runs))
    check("the summary has a row per case in the file's order, all ok",
          [line.split(b",")[:2] for line in summary.splitlines()[1:]] ==
          [[name.encode(), b"ok"] for name in SINGLE])
    for name, options in SINGLE.items():
        result = run(program, options + ["--quiet", "--out", "single-%s.csv" % name], workdir)
        alone = read(workdir, "single-%s.csv" % name)
        same = result.returncode == 0 and all(
            alone == read(workdir, "jobs%s-%s" % r, name + ".csv") for r in runs)
        check("case %s equals the same run made alone" % name, same, result.stderr.decode())

    # --scale multiplies every value of the column as a table with the products would hold
    # them; a column that --set fixes keeps the --set value.
    table = "day,%s,qttWater_B1_Water_P1_CleanWater\n1,0.1,3\n40,7.25,\n200,,2\n"
    scaled = table % ENERGY
    for factor, values in [("3", ("0.1", "7.25")), ("-0.5", ("0.1", "7.25"))]:
        product = scaled
        for v in values:
            product = product.replace("," + v + ",", "," + repr(float(v) * float(factor)) + ",")
        for name, text in [("scaled.csv", scaled), ("product.csv", product)]:
            with open(os.path.join(workdir, name), "w", encoding="ascii") as f:
                f.write(text)
        common = ["--days", "300", "--quiet", "--vars", ENERGY + ",energyLevel_B1_Energy_P1_Energy"]
        a = run(program, common + ["--input", "scaled.csv", "--scale", ENERGY + "=" + factor], workdir)
        b = run(program, common + ["--input", "product.csv"], workdir)
        check("--scale %s equals the table of the products" % factor,
              a.returncode == 0 and a.stdout == b.stdout, a.stderr.decode())
    fixed = run(program, ["--quiet", "--set", ENERGY + "=4", "--scale", ENERGY + "=3"], workdir)
    check("a value that --set fixes is not scaled",
          fixed.returncode == 0 and fixed.stdout ==
          run(program, ["--quiet", "--set", ENERGY + "=4"], workdir).stdout, fixed.stderr.decode())

    for i in range(3):
        run(program, ["--sweep", "cases.csv", "--out", "shard%d" % i, "--shard", "%d/3" % i,
                      "--quiet"], workdir)
    result = run(program, ["--merge", "merged", "shard0", "shard1", "shard2"], workdir)
    check("three shards merge into the one-machine summary",
          result.returncode == 0 and read(workdir, "merged", "summary.csv") == summary,
          result.stderr.decode())
    for name, dirs, message in [("a missing shard", ["shard0", "shard2"], "shard 1 of 3 is missing"),
                                ("a duplicated shard", ["shard0", "shard1", "shard1", "shard2"],
                                 "shard 1 of 3 appears twice")]:
        result = run(program, ["--merge", "bad-merge"] + dirs, workdir)
        check("a merge with %s fails" % name, result.returncode == 2
              and message in result.stderr.decode()
              and not os.path.exists(os.path.join(workdir, "bad-merge", "summary.csv")),
              result.stderr.decode())

    malformed = [
        ("a duplicate case name", "case,days\na,\nb,\na,3\n",
         "cases-bad.csv:4: column case: 'a' is already the case of line 2"),
        ("an unknown column", "case,waterTank_B1_Food_P1_Crops\na,1\n",
         "cases-bad.csv:1: column 2: unknown variable waterTank_B1_Food_P1_Crops (nearest: "
         "waterTank_B1_Food_P1_Crop"),
        ("a bad value", "case,dies_B1_Environment_P1_Environment\na,1\nb,1.5\n",
         "cases-bad.csv:3: column dies_B1_Environment_P1_Environment: '1.5' is not a whole number"),
        ("a scale of a value that is no per-day column",
         "case,scale:percentReuse_B1_Water_P1_WasteWater\na,2\n",
         "cases-bad.csv:1: column 2 (scale:percentReuse_B1_Water_P1_WasteWater): not a column of "
         "the scenario's per-day table"),
        ("a scale that is not finite", "case,scale:%s\na,2\nb,nan\n" % ENERGY,
         "cases-bad.csv:3: column scale:%s: 'nan' is not finite" % ENERGY),
    ]
    for name, text, message in malformed:
        with open(os.path.join(workdir, "cases-bad.csv"), "w", encoding="ascii") as f:
            f.write(text)
        shutil.rmtree(os.path.join(workdir, "bad"), ignore_errors=True)
        result = run(program, ["--sweep", "cases-bad.csv", "--out", "bad", "--quiet"], workdir)
        check("a cases file with %s is rejected before anything runs" % name,
              result.returncode == 2 and message in result.stderr.decode()
              and not os.path.exists(os.path.join(workdir, "bad")), result.stderr.decode())


def recorded_years(args):
    data, workdir, program = args[0], args[1], args[2:]
    shutil.rmtree(workdir, ignore_errors=True)
    years = os.path.join(workdir, "years")
    os.makedirs(years)
    for name in ("dry-year.csv", "dull-year.csv"):
        shutil.copy(os.path.join(data, name), years)
    # The tables' paths are relative to the cases file's folder, not to the
    # folder the sweep runs in.
    with open(os.path.join(years, "cases.csv"), "w", encoding="ascii") as f:
        f.write("case,days,input,scale:%s\ndry,,dry-year.csv,\nplain,,,\n"
                "dull,,dull-year.csv,\ndrylong,730,dry-year.csv,1.5\n" % ENERGY)
    alone = {"dry": ["--input", "years/dry-year.csv"], "plain": [],
             "dull": ["--input", "years/dull-year.csv"],
             "drylong": ["--input", "years/dry-year.csv", "--days", "730",
                         "--scale", ENERGY + "=1.5"]}
    for isolation in ("snapshot", "process"):
        out = "sweep-" + isolation
        result = run(program, ["--sweep", "years/cases.csv", "--out", out, "--jobs", "2",
                               "--isolation", isolation, "--daily", "--quiet"], workdir)
        check("a sweep over recorded years (%s) succeeds" % isolation,
              result.returncode == 0 and not result.stderr, result.stderr.decode())
        rows = {line.split(",")[0]: line.split(",") for line in
                read(workdir, out, "summary.csv").decode().splitlines()}
        column = rows["case"].index("shortfall_days")
        for name, options in alone.items():
            single = run(program, options + ["--out", "single-%s.csv" % name], workdir)
            days = re.search(r"shortfall days: (\d+)", single.stderr.decode())
            check("case %s (%s) equals tarvello-run %s" % (name, isolation, " ".join(options)),
                  single.returncode == 0 and days is not None
                  and rows[name][column] == days.group(1)
                  and read(workdir, out, name + ".csv") == read(workdir, "single-%s.csv" % name),
                  single.stderr.decode())
    check("the recorded years differ from the scenario's",
          len({read(workdir, "sweep-snapshot", n + ".csv") for n in ("dry", "plain", "dull")}) == 3)

    with open(os.path.join(years, "bad-year.csv"), "w", encoding="ascii") as f:
        f.write("day,qttEnergy_B1_Energy_P1_Energy\n1,5\n1,6\n")
    for name, cell, message in [
            ("a missing table", "wet-year.csv",
             "cases-bad.csv:3: column input: cannot read the per-day input table "),
            ("a bad table", "bad-year.csv",
             "cases-bad.csv:3: column input: years"),
            ("a table that is not one", "bad-year.csv",
             "bad-year.csv:3: day 1 does not come after day 1")]:
        with open(os.path.join(years, "cases-bad.csv"), "w", encoding="ascii") as f:
            f.write("case,input\na,dry-year.csv\nb,%s\n" % cell)
        result = run(program, ["--sweep", "years/cases-bad.csv", "--out", "bad", "--quiet"],
                     workdir)
        err = result.stderr.decode()
        check("a cases file naming %s is rejected before anything runs" % name,
              result.returncode == 2 and message in err and err.count("\n") == 1
              and not os.path.exists(os.path.join(workdir, "bad")), err)


def children(pid):
    try:
        with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
            return [int(p) for p in f.read().split()]
    except OSError:
        return []


def sweep_crash(args):
    workdir, program = args[0], args[1:]
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    with open(os.path.join(workdir, "cases.csv"), "w", encoding="ascii") as f:
        f.write("case,days\nfirst,\ndoomed,1000000000\nlast,\n")
    for isolation in ("snapshot", "process"):
        killed_case(workdir, program, isolation)


def killed_case(workdir, program, isolation):
    out = "out-" + isolation
    sweeper = subprocess.Popen(program + ["--sweep", "cases.csv", "--out", out, "--jobs", "2",
                                          "--isolation", isolation, "--quiet"], cwd=workdir,
                               stdin=subprocess.DEVNULL)
    # The doomed case runs for hours; kill its child once the others are done.
    deadline = time.time() + 60
    while time.time() < deadline and sweeper.poll() is None:
        running = children(sweeper.pid)
        if len(running) == 1 and os.path.exists(os.path.join(workdir, out)):
            time.sleep(0.2)
            if children(sweeper.pid) == running:
                os.kill(running[0], signal.SIGKILL)
                break
        time.sleep(0.05)
    status = sweeper.wait(timeout=60)
    lines = read(workdir, out, "summary.csv").decode().splitlines()
    check("a killed case is reported and the others finish (%s)" % isolation, status == 1 and
          [line.split(",")[:2] for line in lines[1:]] ==
          [["first", "ok"], ["doomed", "crashed: killed by signal 9 (Killed)"], ["last", "ok"]],
          "exit %d, summary %r" % (status, lines))


def outputs(args):
    """Output targets: each run leaves exactly one complete output or nothing."""
    golden_path, workdir, program = args[0], args[1], args[2:]
    expected = read("", golden_path)
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    linux = not program[-1].endswith(".exe")

    def leftovers():
        return sorted(n for n in os.listdir(workdir) if n.endswith(".tmp"))

    # A file replaced, and a link planted where the old fixed temporary name was.
    with open(os.path.join(workdir, "victim"), "wb") as f:
        f.write(b"keep")
    with open(os.path.join(workdir, "year.csv"), "wb") as f:
        f.write(b"old")
    if linux:
        os.symlink("victim", os.path.join(workdir, "year.csv.part"))
    result = run(program, ["--quiet", "--out", "year.csv"], workdir)
    check("an existing file is replaced by the whole output, no link followed",
          result.returncode == 0 and read(workdir, "year.csv") == expected
          and read(workdir, "victim") == b"keep" and not leftovers(), result.stderr.decode())
    # Two runs at once into one file: it ends as one run's complete output.
    runs = [subprocess.Popen(program + ["--quiet", "--days", days, "--out", "shared.csv"],
                             cwd=workdir, stdin=subprocess.DEVNULL)
            for days in ("3650", "3000")]
    statuses = [r.wait() for r in runs]
    both = [run(program, ["--quiet", "--days", days], workdir).stdout for days in ("3650", "3000")]
    check("two runs into one file leave one run's complete output",
          statuses == [0, 0] and read(workdir, "shared.csv") in both and not leftovers())
    # Standard output that cannot be written: one line and status 1.
    targets = [("a full disk", "/dev/full", "No space left on device")]
    for what, target, reason in targets:
        for options in (["--quiet"], ["--list", "Crop"], ["--help"]):
            with open(target, "wb") as out:
                result = subprocess.run(program + options, cwd=workdir, stdout=out,
                                        stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
            lines = result.stderr.decode().strip().splitlines()
            check("%s on standard output fails: %s" % (what, " ".join(options)),
                  result.returncode == 1 and len(lines) == 1 and reason in lines[0],
                  "exit %d, %r" % (result.returncode, lines))
    if not linux:
        return
    result = subprocess.run(program + ["--quiet"], cwd=workdir, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                            preexec_fn=lambda: os.close(1))
    check("a closed standard output fails", result.returncode == 1
          and b"cannot write to standard output: Bad file descriptor" in result.stderr)
    reader, writer = os.pipe()
    os.close(reader)
    result = subprocess.run(program + ["--quiet"], cwd=workdir, stdout=writer,
                            stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                            preexec_fn=lambda: signal.signal(signal.SIGPIPE, signal.SIG_IGN))
    os.close(writer)
    check("a broken pipe with SIGPIPE ignored fails", result.returncode == 1
          and b"Broken pipe" in result.stderr, result.stderr.decode())
    # Not regular files: written directly, never replaced.
    fifo = os.path.join(workdir, "fifo")
    os.mkfifo(fifo)
    drain = subprocess.Popen(["cat", fifo], stdout=subprocess.PIPE)
    result = run(program, ["--quiet", "--out", "fifo"], workdir)
    check("a FIFO receives the output and stays a FIFO", result.returncode == 0
          and drain.communicate()[0] == expected and stat.S_ISFIFO(os.stat(fifo).st_mode))
    result = run(program, ["--quiet", "--out", "/dev/null"], workdir)
    check("/dev/null stays a device", result.returncode == 0
          and stat.S_ISCHR(os.stat("/dev/null").st_mode))


def sweep_processes(marker):
    """Processes whose command line holds marker: a sweep's workers on either platform."""
    found = []
    for pid in os.listdir("/proc"):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if marker in f.read():
                    found.append(int(pid))
        except (OSError, ValueError):
            pass
    return found


def signals(args):
    """SIGINT, SIGTERM and SIGHUP: nothing temporary left, no worker left, 128 + N.

    Under wine only SIGINT, which wine hands to the program as Ctrl-C; its
    SIGTERM and SIGHUP end the emulator itself and are no Windows event."""
    workdir, program = args[0], args[1:]
    windows = program[-1].endswith(".exe")
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    with open(os.path.join(workdir, "cases.csv"), "w", encoding="ascii") as f:
        f.write("case,percentReuse_B1_Water_P1_WasteWater\n")
        f.write("".join("c%d,%s\n" % (i, i / 200) for i in range(200)))
    sweep_options = ["--sweep", "cases.csv", "--daily", "--jobs", "2", "--days", "3650"]
    run(program, sweep_options + ["--out", "whole", "--quiet"], workdir)
    for sig in (signal.SIGINT,) if windows else (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        for what, options, ready in [
                ("a run", ["--days", "100000000", "--out", "run/long.csv"],
                 lambda: any(n.endswith(".tmp") for n in os.listdir(os.path.join(workdir, "run")))),
                ("a sweep", sweep_options + ["--out", "run"],
                 lambda: os.path.exists(os.path.join(workdir, "run", "c3.csv")))]:
            shutil.rmtree(os.path.join(workdir, "run"), ignore_errors=True)
            os.makedirs(os.path.join(workdir, "run"))
            p = subprocess.Popen(program + options + ["--quiet"], cwd=workdir,
                                 stdin=subprocess.DEVNULL, stderr=subprocess.PIPE)
            deadline = time.time() + 30
            while time.time() < deadline and not ready():
                time.sleep(0.02)
            workers = sweep_processes(b"--out\0run\0")
            p.send_signal(sig)
            stderr = p.communicate(timeout=30)[1].decode().replace("\r\n", "\n")
            left = [n for n in os.listdir(os.path.join(workdir, "run")) if n.endswith(".tmp")]
            # Under wine a worker's Linux process outlives its Windows
            # process for a moment after the job is terminated (up to about
            # a second on a busy machine): give it a few.
            settle = time.time() + (5 if windows else 0)
            alive = [w for w in workers if os.path.exists("/proc/%d" % w)]
            while alive and time.time() < settle:
                time.sleep(0.05)
                alive = [w for w in workers if os.path.exists("/proc/%d" % w)]
            check("%s stopped by %s" % (what, signal.Signals(sig).name),
                  p.returncode == 128 + sig and stderr == "tarvello-run: interrupted\n"
                  and not left and not alive,
                  "exit %d, %r, left %r, alive %r" % (p.returncode, stderr, left, alive))
        # The interrupted sweep resumes to the bytes of an uninterrupted one.
        result = run(program, sweep_options + ["--out", "run", "--resume"], workdir)
        check("a sweep stopped by %s resumes to the same summary" % signal.Signals(sig).name,
              result.returncode == 0 and b"kept from before" in result.stderr
              and read(workdir, "run", "summary.csv") == read(workdir, "whole", "summary.csv"),
              result.stderr.decode())


def names(args):
    """Case names that are no file on some platform are refused before anything runs."""
    workdir, program = args[0], args[1:]
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    table = [
        ("A\na\n", "differs only in letter case from 'A' of line 2"),
        ("con\n", "is a device name on Windows"),
        ("Nul.csv\n", "is a device name on Windows"),
        ("COM1.x\n", "is a device name on Windows"),
        ("lpt9\n", "is a device name on Windows"),
        ("ends.\n", "ends in a dot"),
        ("summary\n", "would write summary.csv"),
        ("SUMMARY\n", "would write summary.csv"),
        ("\"a b\"\n", "is not a case name"),
        ("x" * 201 + "\n", "is longer than 200 bytes"),
    ]
    for rows, message in table:
        with open(os.path.join(workdir, "cases.csv"), "w", encoding="ascii") as f:
            f.write("case\n" + rows)
        result = run(program, ["--sweep", "cases.csv", "--out", "out", "--quiet"], workdir)
        check("case names %r are refused" % rows.split("\n")[:2], result.returncode == 2
              and message in result.stderr.decode()
              and not os.path.exists(os.path.join(workdir, "out")), result.stderr.decode())
    # A directory that holds something else than a sweep is not taken.
    with open(os.path.join(workdir, "cases.csv"), "w", encoding="ascii") as f:
        f.write("case\nCOM10\ncon-1\n")
    os.makedirs(os.path.join(workdir, "busy"))
    with open(os.path.join(workdir, "busy", "notes.txt"), "w") as f:
        f.write("mine")
    result = run(program, ["--sweep", "cases.csv", "--out", "busy", "--quiet"], workdir)
    check("a sweep refuses a directory that holds other files", result.returncode == 2
          and b"is not empty and holds no sweep" in result.stderr)
    result = run(program, ["--sweep", "cases.csv", "--out", "out", "--quiet", "--daily"], workdir)
    check("names near the device names are taken", result.returncode == 0
          and sorted(os.listdir(os.path.join(workdir, "out"))) ==
          ["COM10.csv", "con-1.csv", "shard.json", "summary.csv"], result.stderr.decode())


def merges(args):
    """Shards that do not belong together are refused, naming what differs."""
    workdir, program = args[0], args[1:]
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    with open(os.path.join(workdir, "cases.csv"), "w", encoding="ascii") as f:
        f.write(CASES)
    # The built-in plan in other bytes: another plan file to the digest.
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "host", "defaults",
                           "plan.json"), encoding="utf-8") as f:
        write_json(workdir, "plan.json", json.load(f))

    def shard(name, i, *options):
        result = run(program, ["--sweep", "cases.csv", "--out", name, "--shard", "%d/2" % i,
                               "--daily", "--quiet"] + list(options), workdir)
        check("shard %s runs" % name, result.returncode == 0, result.stderr.decode())

    shard("s0", 0)
    shard("s1", 1)
    shard("set", 1, "--set", "percentReuse_B1_Water_P1_WasteWater=0.5")
    shard("days", 1, "--days", "300")
    shard("plan", 1, "--plan", "plan.json")
    shard("vars", 1, "--vars", "waterTank_B1_Food_P1_Crop")
    result = run(program, ["--merge", "good", "s0", "s1"], workdir)
    check("two shards merge", result.returncode == 0, result.stderr.decode())

    def tampered(name, change):
        shutil.rmtree(os.path.join(workdir, name), ignore_errors=True)
        shutil.copytree(os.path.join(workdir, "s1"), os.path.join(workdir, name))
        change(os.path.join(workdir, name))
        return name

    def edit(path, old, new):
        with open(path, "rb") as f:
            text = f.read()
        with open(path, "wb") as f:
            f.write(text.replace(old, new, 1))

    def manifest(change):
        def apply(d):
            with open(os.path.join(d, "shard.json")) as f:
                m = json.load(f)
            change(m)
            with open(os.path.join(d, "shard.json"), "w") as f:
                json.dump(m, f)
        return apply

    def swap_rows(d):
        with open(os.path.join(d, "summary.csv"), "rb") as f:
            lines = f.read().splitlines(keepends=True)
        with open(os.path.join(d, "summary.csv"), "wb") as f:
            f.write(b"".join(lines[:1] + lines[1:][::-1]))

    table = [
        ("other --set values", "set", "its --set values differs"),
        ("other --days", "days", "its --days differs"),
        ("another plan", "plan", "its plan differs"),
        ("other --vars", "vars", "its --vars differs"),
        ("an edited row", tampered("edited", lambda d: edit(
            os.path.join(d, "summary.csv"), b",ok,", b",ok,1")), "has been changed since"),
        ("reordered rows", tampered("reordered", swap_rows), "has been changed since"),
        ("rows out of order in shard.json", tampered("rows", manifest(
            lambda m: m.update(rows=m["rows"][::-1]))), "ascending order"),
        ("an unfinished shard", tampered("stale", manifest(lambda m: m.update(complete=False))),
         "has not finished"),
        ("another module", tampered("module", manifest(
            lambda m: m["identity"]["inputs"].update(module="0"))), "its module differs"),
        ("rows of the wrong type", tampered("typed", manifest(lambda m: m.update(rows={}))),
         '"rows" must be a list'),
        ("an absurd number of cases", tampered("huge", manifest(lambda m: m.update(cases=1e15))),
         '"cases" must be a whole number'),
        ("the output among the shards", "s0", "is one of the shards"),
    ]
    for what, other, message in table:
        out = "s0" if other == "s0" else "bad"
        result = run(program, ["--merge", out, "s0", other], workdir)
        stderr = result.stderr.decode()
        check("a merge with %s is refused" % what, result.returncode == 2
              and len(stderr.strip().splitlines()) == 1 and message in stderr
              and not os.path.exists(os.path.join(workdir, "bad")), stderr)
    # A sweep into a directory of another sweep leaves none of its files.
    result = run(program, ["--sweep", "cases.csv", "--out", "good", "--shard", "0/3", "--quiet"],
                 workdir)
    check("a sweep over another's directory leaves none of its files", result.returncode == 0
          and sorted(os.listdir(os.path.join(workdir, "good"))) == ["shard.json", "summary.csv"],
          repr(os.listdir(os.path.join(workdir, "good"))))
    result = run(program, ["--sweep", "cases.csv", "--out", "good", "--shard", "0/3", "--days",
                           "300", "--resume", "--quiet"], workdir)
    check("--resume of another sweep is refused, naming what differs", result.returncode == 2
          and result.stderr.decode().splitlines() ==
          ["tarvello-run: --resume: good holds another sweep (its --days differs)"],
          result.stderr.decode())


def leaky_workdir(workdir, module, sources):
    """A fresh WORKDIR holding the test library tests/leaky/ (MODULE, and its
    description, plan and scenario from SOURCES); answers the options that
    run it there."""
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    library = "./" + os.path.basename(module)
    shutil.copy(module, os.path.join(workdir, library))
    for name in ("Leaky.json", "plan.json", "scenario.json"):
        shutil.copy(os.path.join(sources, name), workdir)
    return ["--library", library, "--description", "Leaky.json", "--plan", "plan.json",
            "--scenario", "scenario.json"]


def isolation(args):
    """A library whose state a snapshot cannot restore, and a worker that crashes."""
    workdir, module, sources, program = args[0], args[1], args[2], args[3:]
    common = leaky_workdir(workdir, module, sources) + ["--days", "5"]
    fallback = "a restored library did not repeat its first run (its daily values differ)"
    with open(os.path.join(workdir, "leak.csv"), "w") as f:
        f.write("case,leak_B1_Site_P1_Counter\na,1\nb,1\nc,0\n")
    checked = run(program, common + ["--sweep", "leak.csv", "--out", "checked", "--jobs", "1"],
                  workdir)
    alone = run(program, common + ["--sweep", "leak.csv", "--out", "alone", "--jobs", "1",
                                   "--isolation", "process", "--quiet"], workdir)
    check("a library that keeps state outside its module falls back to a process per case",
          checked.returncode == 0 and fallback in checked.stderr.decode()
          and read(workdir, "checked", "summary.csv") == read(workdir, "alone", "summary.csv"),
          checked.stderr.decode())
    with open(os.path.join(workdir, "crash.csv"), "w") as f:
        f.write("case,crash_B1_Site_P1_Counter\nfirst,0\ndoomed,1\nlast,0\n")
    result = run(program, common + ["--sweep", "crash.csv", "--out", "crash", "--jobs", "1"],
                 workdir)
    rows = [line.split(",")[:3] for line in read(workdir, "crash", "summary.csv").decode()
            .splitlines()[1:]]
    check("a worker that crashes is reported and replaced", result.returncode == 1
          and b"did not repeat" not in result.stderr and rows[0] == ["first", "ok", "5"]
          and rows[1][0] == "doomed" and rows[1][1].startswith("crashed: ")
          and rows[2] == ["last", "ok", "5"], "%r %r" % (rows, result.stderr))


def main():
    modes = {"golden": golden, "rules": rules, "sweep": sweep, "sweep-crash": sweep_crash,
             "outputs": outputs, "signals": signals, "names": names, "merges": merges,
             "isolation": isolation, "recorded-years": recorded_years}
    if len(sys.argv) < 3 or sys.argv[1] not in modes:
        sys.exit(__doc__)
    modes[sys.argv[1]](sys.argv[2:])
    print("%d failed" % len(failures))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
