#!/usr/bin/python3
"""Validates a model description against its JSON Schema (draft 2020-12).

Also checks that the file is in its canonical form (sorted keys, each
top-level key on a line of its own, a list of objects one compact object per
line), which is what makes two builds byte-identical, and that its counts
agree with its lists.
Usage: check_description.py SCHEMA DESCRIPTION
"""
import json
import sys

import jsonschema  # Debian's python3-jsonschema


def compact(value):
    return json.dumps(value, separators=(",", ":"), sort_keys=True)


def canonical(description):
    lines = []
    for key in sorted(description):
        value = description[key]
        if isinstance(value, list) and value and isinstance(value[0], dict):
            items = ",\n".join("    " + compact(item) for item in value)
            lines.append("  %s: [\n%s\n  ]" % (json.dumps(key), items))
        else:
            lines.append("  %s: %s" % (json.dumps(key), compact(value)))
    return "{\n" + ",\n".join(lines) + "\n}\n"


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: check_description.py SCHEMA DESCRIPTION")
    with open(sys.argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    with open(sys.argv[2], encoding="utf-8") as f:
        text = f.read()
    description = json.loads(text)

    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    problems = ["%s: %s" % ("/".join(map(str, e.absolute_path)) or "(top)", e.message)
                for e in validator.iter_errors(description)]

    if canonical(description) != text:
        problems.append("not in canonical form (sorted keys, one entry of a list per line)")

    values = description["values"]
    nodes = description["nodes"]
    counts = description["counts"]
    names = [v["name"] for v in values]
    if names != sorted(names, key=lambda n: n.encode()) or len(set(names)) != len(names):
        problems.append("values are not unique and in byte-wise order")
    found = {
        "values": len(values),
        "variables": sum(v["category"] == "variable" for v in values),
        "slots": sum(v["category"] == "slot" for v in values),
        "initialValues": sum("initial" in v for v in values),
        "decisionNodes": sum(n["kind"] == "decision" for n in nodes),
        "taskNodes": sum(n["kind"] == "task" for n in nodes),
        "exports": 2 * len(values) + len(description["functions"]),
    }
    for key, n in found.items():
        if counts.get(key) != n:
            problems.append("counts.%s is %s, the lists hold %d" % (key, counts.get(key), n))
    orders = sorted(v["initialOrder"] for v in values if "initialOrder" in v)
    if orders != list(range(1, len(orders) + 1)):
        problems.append("initialOrder does not run from 1 without gaps")
    known = set(names)
    for n in nodes:
        for name in n["reads"] + n["writes"]:
            if name not in known:
                problems.append("node %s uses the unknown value %s" % (n["id"], name))

    for p in problems:
        print(p)
    print("%s: %d values, %d nodes, %d problems" % (sys.argv[2], len(values), len(nodes),
                                                    len(problems)))
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
