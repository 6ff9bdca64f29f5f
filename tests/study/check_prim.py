"""NumPy and scikit-learn as second opinions on the robustness numerics.

Percentiles: ours must equal numpy.percentile (its default, linear method)
bit for bit on sets of values with ties, for many percentiles; the mean must
equal the left-to-right sum over n (numpy.cumsum's last), the standard
deviation the square root of the left-to-right sum of squared deviations over
n - 1.

PRIM: on futures with failures planted where x0 < 0.3 and x2 > 0.6, a depth-2
decision tree (DecisionTreeClassifier) must put its failures' leaf behind
splits on the same two uncertainties PRIM restricts, at values within 0.05 of
PRIM's bounds and of the planted ones.

Usage: check_prim.py STUDY_ROBUST_SAMPLE WORKDIR
"""
import os
import subprocess
import sys

import numpy as np
from sklearn.tree import DecisionTreeClassifier


def check_percentiles(workdir):
    table = np.loadtxt(os.path.join(workdir, "percentiles.txt"), ndmin=2)
    summaries = np.loadtxt(os.path.join(workdir, "summaries.txt"), ndmin=2)
    checked = 0
    for row in summaries:
        values = np.loadtxt(os.path.join(workdir, f"values-{int(row[0])}.txt"), ndmin=1)
        n = values.size
        for _, p, ours in table[table[:, 0] == row[0]]:
            theirs = np.percentile(values, p)
            assert ours == theirs, f"n {n} p {p!r}: ours {ours!r}, NumPy {theirs!r}"
            checked += 1
        mean = np.cumsum(values)[-1] / n
        std = np.sqrt(np.cumsum((values - mean) ** 2)[-1] / (n - 1)) if n > 1 else 0.0
        expected = [mean, std] + list(np.percentile(values, [10, 50, 90])) + [values.max()]
        for name, ours, theirs in zip(("mean", "std", "p10", "p50", "p90", "worst"), row[1:], expected):
            assert ours == theirs, f"n {n} {name}: ours {ours!r}, NumPy {theirs!r}"
    print(f"percentiles: {checked} over {len(summaries)} sets of values equal to numpy.percentile bit for bit; "
          "summaries equal")


def failure_leaf_path(tree):
    """The splits leading to the leaf holding the most failures: (feature, threshold, side)."""
    t = tree.tree_
    paths = {0: []}
    best, best_failures = None, -1
    for node in range(t.node_count):
        if t.children_left[node] == -1:
            counts = t.value[node][0]
            if counts[1] > counts[0] and counts[1] > best_failures:
                best, best_failures = node, counts[1]
            continue
        f, s = int(t.feature[node]), float(t.threshold[node])
        paths[t.children_left[node]] = paths[node] + [(f, s, "<=")]
        paths[t.children_right[node]] = paths[node] + [(f, s, ">")]
    assert best is not None, "the tree has no leaf of failures"
    return paths[best]


def check_prim(workdir):
    data = np.loadtxt(os.path.join(workdir, "prim-points.txt"), ndmin=2)
    box = np.loadtxt(os.path.join(workdir, "prim-box.txt"), ndmin=2)
    x, y = data[:, :-1], data[:, -1].astype(int)
    tree = DecisionTreeClassifier(max_depth=2, random_state=0).fit(x, y)
    path = failure_leaf_path(tree)
    restricted = {k for k in range(box.shape[0]) if box[k, 2] == 1}
    assert {f for f, _, _ in path} == restricted == {0, 2}, \
        f"the tree splits on {path}, PRIM restricts {sorted(restricted)}"
    planted = {(0, "<="): 0.3, (2, ">"): 0.6}
    for f, s, side in path:
        ours = box[f, 1] if side == "<=" else box[f, 0]
        assert (f, side) in planted, f"the tree's split x{f} {side} {s} is not the planted one"
        assert abs(ours - s) <= 0.05, f"x{f}: PRIM's bound {ours} far from the tree's {s}"
        assert abs(s - planted[(f, side)]) <= 0.05, f"x{f}: the tree's {s} far from the planted one"
        print(f"x{f} {side}: PRIM {ours:.4f}, decision tree {s:.4f}, planted {planted[(f, side)]}")


def main():
    program, workdir = sys.argv[1:3]
    os.makedirs(workdir, exist_ok=True)
    subprocess.run([program, workdir], check=True)
    check_percentiles(workdir)
    check_prim(workdir)


if __name__ == "__main__":
    main()
