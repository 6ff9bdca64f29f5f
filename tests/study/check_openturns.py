"""OpenTURNS as the oracle of the Sobol' estimators and sequence.

On the same design and outputs, our first-order indices (Saltelli et al.
2010's estimator) must equal OpenTURNS's MauntzKucherenkoSensitivityAlgorithm
(the same formula, same centring and divisors) and our total indices
(Jansen's) its JansenSensitivityAlgorithm's, to 1e-9 relative.
OpenTURNS's SaltelliSensitivityAlgorithm implements Saltelli 2002's
first-order estimator, another formula for the same quantity: it must agree
as an estimate (0.05). The plain sequence's two dimensions must equal
OpenTURNS's SobolSequence point for point (after our origin). Its further
dimensions use other direction numbers than Boost's. Our Latin hypercube
must be stratified as OpenTURNS's LHSExperiment is.

Usage: check_openturns.py STUDY_ORACLE_SAMPLE WORKDIR
"""
import os
import subprocess
import sys

import numpy as np
import openturns as ot


def main():
    program, workdir = sys.argv[1:3]
    os.makedirs(workdir, exist_ok=True)
    subprocess.run([program, workdir], check=True)
    worst = 0.0
    for name in ("plain", "scrambled"):
        design = np.loadtxt(os.path.join(workdir, name + "-design.txt"), ndmin=2)
        output = np.loadtxt(os.path.join(workdir, name + "-output.txt"), ndmin=2)
        first, total = np.loadtxt(os.path.join(workdir, name + "-indices.txt"), ndmin=2)
        k = design.shape[1]
        n = design.shape[0] // (k + 2)
        x, y = ot.Sample(design), ot.Sample(output)
        oracles = {
            "first (MauntzKucherenko)": (first, ot.MauntzKucherenkoSensitivityAlgorithm(x, y, n).getFirstOrderIndices()),
            "total (Jansen)": (total, ot.JansenSensitivityAlgorithm(x, y, n).getTotalOrderIndices()),
        }
        for what, (ours, theirs) in oracles.items():
            theirs = np.array(theirs)
            relative = np.max(np.abs(ours - theirs) / np.abs(theirs))
            worst = max(worst, relative)
            print(f"{name} {what}: ours {ours} OpenTURNS {theirs} max relative difference {relative:.3g}")
            assert relative <= 1e-9, f"{name} {what} differs from OpenTURNS by {relative:.3g}"
        saltelli2002 = np.array(ot.SaltelliSensitivityAlgorithm(x, y, n).getFirstOrderIndices())
        print(f"{name} first vs Saltelli 2002 (SaltelliSensitivityAlgorithm): {saltelli2002}")
        assert np.max(np.abs(first - saltelli2002)) <= 0.05, f"{name}: first order far from Saltelli 2002's"
    sequence = np.loadtxt(os.path.join(workdir, "sequence.txt"), ndmin=2)
    # Ours starts at the origin, which OpenTURNS's sequence skips.
    theirs = np.array(ot.SobolSequence(2).generate(sequence.shape[0] - 1))
    assert np.array_equal(sequence[0], [0, 0]), "the plain Sobol' sequence does not start at the origin"
    assert np.array_equal(sequence[1:], theirs), "the plain Sobol' sequence differs from OpenTURNS's"
    print(f"Sobol' sequence: {sequence.shape[0] - 1} points of 2 dimensions after the origin equal to OpenTURNS's")
    # The Latin hypercube: one point in each of the n strata of every
    # coordinate, as in OpenTURNS's LHSExperiment of the same size.
    ours = np.loadtxt(os.path.join(workdir, "lhs.txt"), ndmin=2)
    n, k = ours.shape
    theirs = np.array(ot.LHSExperiment(ot.ComposedDistribution([ot.Uniform(0, 1)] * k), n).generate())
    for name, sample in (("ours", ours), ("OpenTURNS's", theirs)):
        strata = np.sort(np.floor(sample * n).astype(int), axis=0)
        assert (strata == np.arange(n)[:, None]).all(), f"{name} Latin hypercube misses a stratum"
    print(f"Latin hypercube: {n} points in {k} dimensions stratified as OpenTURNS's LHSExperiment")
    print(f"max relative difference of the indices from OpenTURNS: {worst:.3g}")


if __name__ == "__main__":
    main()
