#!/usr/bin/python3
"""Checks an unpacked FMU of the site as an FMI tool would see it.

    check_fmu.py structure DIR VERSION PLAN
    check_fmu.py import DIR VERSION GOLDEN WORKDIR IMPORTER... -- HOST...
    check_fmu.py archive FMU VERSION GOLDEN WORKDIR IMPORTER... [-- IMPORTER...]
    check_fmu.py private DIR VERSION WORKDIR IMPORTER...

`structure`: modelDescription.xml names, types and references every value of
the model description (in DIR/resources) once, derives causality from the plan
and the scenario, gives the start values of the description and the scenario,
and lists the outputs in the model structure. `import`: the project's own
importer (IMPORTER, under wine for the Windows build) runs the FMU, and its
CSV must equal tarvello-run's (HOST) for the same settings byte for byte.
`archive`: the joined archive holds exactly the files of both platforms with
fixed times, and each IMPORTER (one per platform) runs the standalone year
from the unpacked archive to the golden CSV. `private`: the private module
copies (see private() below) and the growth per load and unload.
"""
import csv
import io
import json
import os
import subprocess
import sys
import shutil
import xml.etree.ElementTree as ET
import zipfile

failures = []
DAY = 86400
REUSE = "percentReuse_B1_Water_P1_WasteWater"
DRIVEN = "qttWater_B1_Water_P1_CleanWater"


def check(name, ok, detail=""):
    print("%s %s%s" % ("ok  " if ok else "FAIL", name, (": " + detail) if detail and not ok else ""))
    if not ok:
        failures.append(name)


def variables(root, version):
    """(name, vr, type, causality, variability, initial, start) per variable, in XML order."""
    out = []
    for v in root.find("ModelVariables"):
        if version == 2:
            if v.tag != "ScalarVariable":
                continue
            typed = v[0]
            vtype, start = typed.tag, typed.get("start")
        else:
            vtype = v.tag
            start = v.get("start")
            if vtype == "String" and v.find("Start") is not None:
                start = v.find("Start").get("value")
        out.append((v.get("name"), int(v.get("valueReference")), vtype, v.get("causality", "local"),
                    v.get("variability"), v.get("initial"), start))
    return out


def write_vars(fmu_dir, version, workdir):
    """vars.txt for the importer: "name vr type" per variable of modelDescription.xml."""
    root = ET.parse(os.path.join(fmu_dir, "modelDescription.xml")).getroot()
    with open(os.path.join(workdir, "vars.txt"), "w", encoding="utf-8") as f:
        for v in variables(root, version):
            f.write("%s %d %s\n" % (v[0], v[1], v[2]))


def same_value(kind, a, b):
    if kind == "double":
        return float(a) == float(b)
    if kind == "int":
        return int(a) == int(b)
    return a == b


def structure(args):
    fmu_dir, version, plan_path = args[0], int(args[1]), args[2]
    resources = os.path.join(fmu_dir, "resources")
    with open(os.path.join(resources, "TarvelloDemoSite.json"), encoding="utf-8") as f:
        description = json.load(f)
    with open(os.path.join(resources, "scenario.json"), encoding="utf-8") as f:
        scenario = json.load(f)
    with open(plan_path, encoding="utf-8") as f:
        plan = json.load(f)
    with open(os.path.join(resources, scenario["daily"]), encoding="utf-8") as f:
        inputs = set(next(csv.reader(f))[1:])
    root = ET.parse(os.path.join(fmu_dir, "modelDescription.xml")).getroot()
    check("fmiVersion is %d.0" % version, root.get("fmiVersion") == "%d.0" % version)
    cs = root.find("CoSimulation")
    state_flag = "canGetAndSetFMUstate" if version == 2 else "canGetAndSetFMUState"
    serialize_flag = "canSerializeFMUstate" if version == 2 else "canSerializeFMUState"
    check("co-simulation, many instances, states", cs is not None
          and cs.get("modelIdentifier") == "TarvelloDemoSiteFMU"
          and cs.get("canBeInstantiatedOnlyOncePerProcess") == "false"
          and cs.get(state_flag) == "true" and cs.get(serialize_flag) == "true")
    experiment = root.find("DefaultExperiment")
    check("a default experiment of one year", experiment is not None
          and float(experiment.get("stopTime")) == 365 * DAY)
    check("log categories declared",
          {c.get("name") for c in root.find("LogCategories")} >= {"logStatusError", "logEvents"})

    found = variables(root, version)
    values = description["values"]
    types = {"double": ("Real", "Float64"), "int": ("Integer", "Int32"), "text": ("String", "String")}
    vrs = [v[1] for v in found]
    check("every variable referenced once", len(vrs) == len(set(vrs)))
    by_vr = {v[1]: v for v in found}
    outputs = [n for n in plan["output"]["variables"] if n not in inputs]
    constants = scenario.get("constants", {})
    bad = []
    for i, value in enumerate(values):
        v = by_vr.get(i)
        if v is None or v[0] != value["name"] or v[2] != types[value["kind"]][version - 2]:
            bad.append("%d %s: %s" % (i, value["name"], v))
            continue
        name, causality, start = value["name"], v[3], v[6]
        expected = ("input" if name in inputs else "parameter" if name in constants
                    else "output" if name in outputs else "local")
        if causality != expected:
            bad.append("%s is %s, not %s" % (name, causality, expected))
        want = constants.get(name, value.get("initial"))
        if causality == "output":
            if start is not None or v[5] != "calculated":
                bad.append("%s: an output with a start value" % name)
        elif want is not None and (start is None or not same_value(value["kind"], start, want)):
            bad.append("%s: start %s, not %s" % (name, start, want))
        elif want is None and causality == "local" and (start is not None or v[5] != "calculated"):
            bad.append("%s: a start value the description does not give" % name)
    check("all %d values named, typed, with causality and start values" % len(values), not bad,
          "; ".join(bad[:5]))
    # What a modeller reads: the scenario's notes on its constants, and
    # "accumulates" exactly for the values a task of the model both reads and
    # writes (the description's reads and writes, from the node code).
    said = {v.get("name"): v.get("description", "") for v in root.find("ModelVariables")}
    notes = scenario.get("notes", {})
    accumulating = {w for n in description["nodes"] if n["kind"] == "task"
                    for w in n["writes"] if w in n["reads"]}
    wrong = [n for n in constants if n in notes and notes[n].rstrip(".") not in said[n]]
    wrong += [n for n in list(inputs) + list(constants) + outputs
              if ("Accumulates over the run" in said[n]) != (n in accumulating)]
    check("descriptions carry the scenario's notes and what accumulates (%d of the %d outputs)"
          % (len([n for n in outputs if n in accumulating]), len(outputs)), not wrong,
          "; ".join(wrong[:5]))
    own = {v[0]: v for v in found if v[1] >= len(values)}
    use = own.get("useScenarioInputs")
    check("useScenarioInputs is a fixed Boolean parameter, true", use is not None
          and use[2] == "Boolean" and use[3] == "parameter" and use[4] == "fixed"
          and use[6] == "true")
    if version == 3:
        check("time is the one independent variable",
              [v[0] for v in found if v[3] == "independent"] == ["time"])
    ms = root.find("ModelStructure")
    if version == 2:
        index = {v[0]: k + 1 for k, v in enumerate(found)}
        listed = [int(u.get("index")) for u in ms.find("Outputs")]
        initial = [int(u.get("index")) for u in ms.find("InitialUnknowns")]
    else:
        index = {v[0]: v[1] for v in found}
        listed = [int(u.get("valueReference")) for u in ms.findall("Output")]
        initial = [int(u.get("valueReference")) for u in ms.findall("InitialUnknown")]
    check("the model structure lists the %d outputs" % len(outputs),
          sorted(listed) == sorted(index[n] for n in outputs) and sorted(initial) == sorted(listed))


def run(command, cwd):
    result = subprocess.run(command, cwd=cwd, capture_output=True, stdin=subprocess.DEVNULL)
    return result.returncode, result.stdout.replace(b"\r\n", b"\n"), result.stderr.decode(errors="replace")


def daily_table(resources):
    """The scenario's per-day table with every value held: a row per day of the year."""
    with open(os.path.join(resources, "inputs.csv"), encoding="utf-8") as f:
        rows = list(csv.reader(f))
    header, held, table, k = rows[0], [""] * (len(rows[0]) - 1), [], 1
    for day in range(1, 366):
        while k < len(rows) and int(rows[k][0]) == day:
            held = [new if new != "" else old for new, old in zip(rows[k][1:], held)]
            k += 1
        table.append([str(day)] + held)
    return header, table


def write_csv(path, header, rows):
    with open(path, "w", newline="", encoding="utf-8") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(header)
        w.writerows(rows)


def import_(args):
    fmu_dir, version, golden_path, workdir = args[0], int(args[1]), args[2], args[3]
    split = args.index("--")
    importer, host = args[4:split], args[split + 1:]
    os.makedirs(workdir, exist_ok=True)
    with open(golden_path, "rb") as f:
        golden = f.read()
    columns = golden.split(b"\n", 1)[0].decode().split(",")[1:]
    write_vars(fmu_dir, version, workdir)
    fmu_command = importer + [fmu_dir, str(version), "vars.txt", ",".join(columns)]

    resources = os.path.join(fmu_dir, "resources")
    header, table = daily_table(resources)
    column = header.index(DRIVEN)
    driven = [[r[0], str(2 + int(r[0]) % 5)] for r in table]
    write_csv(os.path.join(workdir, "drive-one.csv"), ["day", DRIVEN], driven)
    write_csv(os.path.join(workdir, "drive-all.csv"), header, table)
    write_csv(os.path.join(workdir, "host-inputs.csv"), header,
              [r[:column] + [d[1]] + r[column + 1:] for r, d in zip(table, driven)])
    with open(os.path.join(resources, "scenario.json"), encoding="utf-8") as f:
        scenario = json.load(f)
    scenario["daily"] = "host-inputs.csv"
    with open(os.path.join(workdir, "driven.json"), "w", encoding="utf-8") as f:
        json.dump(scenario, f)

    def host_run(extra):
        code, out, err = run(host + ["--quiet", "--out", "-"] + extra, workdir)
        check("tarvello-run " + " ".join(extra), code == 0, err)
        return out

    def every(text, n, last):
        lines = text.split(b"\n")
        keep = [lines[0]] + [l for l in lines[1:] if l and (int(l.split(b",")[0]) % n == 0
                                                            or int(l.split(b",")[0]) == last)]
        return b"\n".join(keep) + b"\n"

    reuse = REUSE + "=0.8"
    with_reuse = host_run(["--set", reuse])
    cases = [
        ("the standalone year", ["year"], golden),
        ("a start value acts like --set", ["year", "--start", reuse], with_reuse),
        ("half-day steps", ["year", "--step", str(DAY // 2)], golden),
        ("three-day steps over two years", ["year", "--step", str(3 * DAY), "--days", "730"],
         every(host_run(["--days", "730"]), 3, 730)),
        ("one input driven by the importer", ["year", "--inputs", "drive-one.csv"],
         host_run(["--scenario", "driven.json"])),
        ("every input driven, useScenarioInputs false",
         ["year", "--inputs", "drive-all.csv", "--scenario-inputs", "0"], golden),
        ("reset and rerun", ["reset", "--start", reuse], with_reuse),
        ("state saved, restored, serialized into a fresh instance", ["state"], golden),
        ("two instances interleaved", ["interleave", reuse], golden + b"--\n" + with_reuse),
    ]
    for name, extra, expected in cases:
        code, out, err = run(fmu_command + extra, workdir)
        first = next((i for i, (a, b) in enumerate(zip(out, expected)) if a != b),
                     min(len(out), len(expected)))
        check("FMI %d: %s" % (version, name), code == 0 and out == expected,
              err.strip() or "first difference at byte %d" % first)
    code, out, err = run(fmu_command + ["misuse"], workdir)
    print(out.decode().rstrip())
    check("FMI %d: every misuse refused with one message naming its function" % version,
          code == 0, err.strip())


def archive(args):
    fmu_path, version, golden_path, workdir = args[0], int(args[1]), args[2], args[3]
    importers = [[]]
    for a in args[4:]:
        if a == "--":
            importers.append([])
        else:
            importers[-1].append(a)
    platforms = ["linux64", "win64"] if version == 2 else ["x86_64-linux", "x86_64-windows"]
    expected = sorted(["modelDescription.xml", "documentation/index.html"]
                      + ["resources/" + r for r in ("TarvelloDemoSite.json", "plan.json",
                                                     "scenario.json", "inputs.csv")]
                      + ["binaries/%s/%s.%s" % (p, m, "so" if "linux" in p else "dll")
                         for p in platforms for m in ("TarvelloDemoSiteFMU", "TarvelloDemoSite")])
    with zipfile.ZipFile(fmu_path) as z:
        names = z.namelist()
        check("FMI %d archive: exactly the files of both platforms, sorted" % version,
              names == expected, "%s" % names)
        check("FMI %d archive: one fixed time for every entry" % version,
              len({i.date_time for i in z.infolist()}) == 1)
        unpacked = os.path.join(workdir, "unpacked")
        shutil.rmtree(unpacked, ignore_errors=True)
        z.extractall(unpacked)
    with open(golden_path, "rb") as f:
        golden = f.read()
    columns = golden.split(b"\n", 1)[0].decode().split(",")[1:]
    write_vars(unpacked, version, workdir)
    for importer in importers:
        code, out, err = run(importer + [os.path.abspath(unpacked), str(version), "vars.txt",
                                         ",".join(columns), "year"], workdir)
        check("FMI %d archive: %s runs the default year" % (version, os.path.basename(importer[-1])),
              code == 0 and out == golden, err.strip())


def private(args):
    """The private module copies leave nothing anywhere and cannot be
    attacked: links planted at predictable names are not followed, a
    temporary directory that cannot be written does not matter, and a process
    killed with SIGKILL leaves no file; the process does not grow per load
    and unload of the binary."""
    fmu_dir, version, workdir, importer = args[0], int(args[1]), args[2], args[3:]
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    columns = "qualityOutletCOD_B1_Water_P1_WasteWater_1"
    write_vars(fmu_dir, version, workdir)
    command = importer + [os.path.abspath(fmu_dir), str(version), "vars.txt", columns]
    if os.path.basename(importer[0]).startswith("wine"):
        return private_windows(command, version, workdir)
    tmp = os.path.join(workdir, "tmp")
    os.makedirs(tmp)
    env = dict(os.environ, TMPDIR=tmp, TMP=tmp, TEMP=tmp)
    strays = lambda: sorted(n for n in os.listdir("/tmp") if n.startswith("TarvelloDemoSite"))
    before = strays()

    victim = os.path.join(workdir, "victim")
    with open(victim, "wb") as f:
        f.write(b"precious\n")
    result = subprocess.run(command + ["planted", victim], cwd=workdir, env=env,
                            capture_output=True, stdin=subprocess.DEVNULL)
    with open(victim, "rb") as f:
        kept = f.read() == b"precious\n"
    check("FMI %d: links planted at the predictable names are not followed" % version,
          result.returncode == 0 and kept and len(os.listdir(tmp)) == 16
          and all(os.path.islink(os.path.join(tmp, n)) for n in os.listdir(tmp)),
          result.stderr.decode(errors="replace").strip() or "the victim was written")
    for n in os.listdir(tmp):
        os.remove(os.path.join(tmp, n))

    # A temporary directory that nobody can create files in (a file, not a
    # directory: root may write anywhere).
    blocked = os.path.join(workdir, "not-a-directory")
    with open(blocked, "w", encoding="utf-8") as f:
        f.write("")
    result = subprocess.run(command + ["year", "--days", "3"], cwd=workdir, capture_output=True,
                            env=dict(os.environ, TMPDIR=blocked, TMP=blocked, TEMP=blocked),
                            stdin=subprocess.DEVNULL)
    check("FMI %d: instances run with a temporary directory that cannot be written" % version,
          result.returncode == 0, result.stderr.decode(errors="replace").strip())

    held = subprocess.Popen(command + ["hold"], cwd=workdir, env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
    ready = held.stdout.readline().strip() == b"ready"
    held.kill()
    held.wait()
    left = os.listdir(tmp) + [n for n in strays() if n not in before]
    check("FMI %d: a process killed with SIGKILL while instances live leaves no file" % version,
          ready and not left, "left: %s" % left if ready else held.stderr.read().decode())

    result = subprocess.run(command + ["cycles", "1000"], cwd=workdir, capture_output=True,
                            env=env, stdin=subprocess.DEVNULL)
    print(result.stdout.decode().strip())
    check("FMI %d: less than 4 kB growth a load and unload cycle" % version,
          result.returncode == 0, result.stderr.decode(errors="replace").strip())


def private_windows(command, version, workdir):
    """Under wine: the copies of a process killed with SIGKILL are removed by
    the next instantiation, and a process that ends leaves nothing."""
    prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
    temps = [os.path.join(prefix, "drive_c", "users", u, d)
             for u in os.listdir(os.path.join(prefix, "drive_c", "users"))
             for d in ("Temp", os.path.join("AppData", "Local", "Temp"))]
    copies = lambda: [os.path.join(t, n) for t in temps if os.path.isdir(t)
                      for n in os.listdir(t) if n.startswith("TarvelloDemoSite-")]
    # Other tests' processes make and remove copies in the same directory at
    # the same time: only the copies that appeared while this one held its
    # instances count.
    before = set(copies())
    held = subprocess.Popen(command + ["hold"], cwd=workdir, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    ready = held.stdout.readline().strip() == b"ready"
    during = [c for c in copies() if c not in before]
    held.kill()
    held.wait()
    result = subprocess.run(command + ["year", "--days", "1"], cwd=workdir, capture_output=True,
                            stdin=subprocess.DEVNULL)
    left = [c for c in copies() if c in during]
    check("FMI %d: the copies of a process killed with SIGKILL are removed by the next one"
          % version, ready and during and result.returncode == 0 and not left,
          "copies while alive: %s, left: %s" % (during, left))


def main():
    modes = {"structure": structure, "import": import_, "archive": archive, "private": private}
    if len(sys.argv) < 2 or sys.argv[1] not in modes:
        sys.exit(__doc__)
    modes[sys.argv[1]](sys.argv[2:])
    if failures:
        print("%d check(s) failed" % len(failures))
        sys.exit(1)


if __name__ == "__main__":
    main()
