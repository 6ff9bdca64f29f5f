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
"""
import json
import os
import shutil
import signal
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


def rules(args):
    workdir, program = args[0], args[1:]
    os.makedirs(workdir, exist_ok=True)
    scenario = write_json(workdir, "empty-scenario.json", EMPTY_SCENARIO)
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
        ("--vars with an unknown name", ["--vars", tank + ",wterTank_B1_Food_P1_Crop"], 2,
         "unknown variable wterTank_B1_Food_P1_Crop (nearest: waterTank_B1_Food_P1_Crop"),
        ("--days 0", ["--days", "0"], 2, "--days: '0' is not a positive whole number"),
        ("--days -5", ["--days", "-5"], 2, "--days: '-5' is not a positive whole number"),
        ("--days in words", ["--days", "ten"], 2, "--days: 'ten' is not a positive whole number"),
        ("--every 0", ["--every", "0"], 2, "--every: '0' is not a positive whole number"),
        ("an unknown option", ["--dyas", "3"], 2, "--dyas"),
        ("a library that does not exist", ["--library", "nowhere/TarvelloDemoSite.so"], 2,
         "--library: there is no file nowhere/TarvelloDemoSite.so"),
    ]
    for name, options, status, message in failing:
        for leftover in ("out.csv", "out.csv.part"):
            if os.path.exists(os.path.join(workdir, leftover)):
                os.unlink(os.path.join(workdir, leftover))
        result = run(program, options + ["--out", "out.csv", "--quiet"], workdir)
        stderr = result.stderr.decode()
        lines = stderr.strip().splitlines()
        check(name, result.returncode == status and len(lines) == 1 and message in stderr
              and stderr.startswith("tarvello-run: ")
              and not os.path.exists(os.path.join(workdir, "out.csv"))
              and not os.path.exists(os.path.join(workdir, "out.csv.part")),
              "exit %d, stderr %r" % (result.returncode, stderr))


CASES = """case,days,percentReuse_B1_Water_P1_WasteWater,waterTank_B1_Water_P1_CleanWater,current_year_B1_Environment_P1_Environment
base,,,,
reuse80,,0.8,,
bigtank,60,,400,
year2020,,,,2020
"""
SINGLE = {"base": [], "reuse80": ["--set", "percentReuse_B1_Water_P1_WasteWater=0.8"],
          "bigtank": ["--days", "60", "--set", "waterTank_B1_Water_P1_CleanWater=400"],
          "year2020": ["--set", "current_year_B1_Environment_P1_Environment=2020"]}


def read(workdir, *path):
    with open(os.path.join(workdir, *path), "rb") as f:
        return f.read()


def sweep(args):
    workdir, program = args[0], args[1:]
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    with open(os.path.join(workdir, "cases.csv"), "w", encoding="ascii") as f:
        f.write(CASES)
    for jobs in ("1", "2"):
        result = run(program, ["--sweep", "cases.csv", "--out", "jobs" + jobs, "--jobs", jobs,
                               "--daily", "--quiet"], workdir)
        check("a sweep with --jobs %s succeeds" % jobs, result.returncode == 0,
              result.stderr.decode())
    summary = read(workdir, "jobs1", "summary.csv")
    check("--jobs 1 and --jobs 2 give the same summary", summary == read(workdir, "jobs2",
                                                                         "summary.csv"))
    check("the summary has a row per case in the file's order, all ok",
          [line.split(b",")[:2] for line in summary.splitlines()[1:]] ==
          [[name.encode(), b"ok"] for name in SINGLE])
    for name, options in SINGLE.items():
        result = run(program, options + ["--quiet", "--out", "single-%s.csv" % name], workdir)
        same = result.returncode == 0 and read(workdir, "single-%s.csv" % name) == read(
            workdir, "jobs2", name + ".csv")
        check("case %s equals the same run made alone" % name, same, result.stderr.decode())

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
    ]
    for name, text, message in malformed:
        with open(os.path.join(workdir, "cases-bad.csv"), "w", encoding="ascii") as f:
            f.write(text)
        shutil.rmtree(os.path.join(workdir, "bad"), ignore_errors=True)
        result = run(program, ["--sweep", "cases-bad.csv", "--out", "bad", "--quiet"], workdir)
        check("a cases file with %s is rejected before anything runs" % name,
              result.returncode == 2 and message in result.stderr.decode()
              and not os.path.exists(os.path.join(workdir, "bad")), result.stderr.decode())


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
    sweeper = subprocess.Popen(program + ["--sweep", "cases.csv", "--out", "out", "--jobs", "2",
                                          "--quiet"], cwd=workdir, stdin=subprocess.DEVNULL)
    # The doomed case runs for hours; kill its child once the others are done.
    deadline = time.time() + 60
    while time.time() < deadline and sweeper.poll() is None:
        running = children(sweeper.pid)
        if len(running) == 1 and os.path.exists(os.path.join(workdir, "out")):
            time.sleep(0.2)
            if children(sweeper.pid) == running:
                os.kill(running[0], signal.SIGKILL)
                break
        time.sleep(0.05)
    status = sweeper.wait(timeout=60)
    lines = read(workdir, "out", "summary.csv").decode().splitlines()
    check("a killed case is reported and the others finish", status == 1 and
          [line.split(",")[:2] for line in lines[1:]] ==
          [["first", "ok"], ["doomed", "crashed: killed by signal 9 (Killed)"], ["last", "ok"]],
          "exit %d, summary %r" % (status, lines))


def main():
    modes = {"golden": golden, "rules": rules, "sweep": sweep, "sweep-crash": sweep_crash}
    if len(sys.argv) < 3 or sys.argv[1] not in modes:
        sys.exit(__doc__)
    modes[sys.argv[1]](sys.argv[2:])
    print("%d failed" % len(failures))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
