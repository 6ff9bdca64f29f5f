// The Patient Rule Induction Method (Friedman and Fisher 1999, "Bump hunting
// in high-dimensional data", Statistics and Computing 9) as scenario
// discovery uses it (Bryant and Lempert 2010, "Thinking inside the box",
// Technological Forecasting and Social Change 77): over points (futures)
// with one flag each (the case of interest: a design missed its thresholds),
// a box of the uncertainties is peeled step by step, each step removing the
// share `peel` of the points left from one side of one uncertainty (or one
// category of a discrete one), the step that leaves the highest density of
// cases of interest, until the box holds less than `min_mass` of the points.
// The chosen box (the first step whose density reaches `density`, else the
// densest step, the earliest of equals) is then pasted: widened again, one
// side or category at a time, while that raises its density.
//
// coverage: the share of all cases of interest that lie in the box; density:
// the share of the box's points that are cases of interest; mass: the share
// of all points in the box. Ties go to the lower uncertainty, its lower side
// first, so that the result is a function of the data alone.
//
// In detail: a box of m points is peeled on one side of a continuous
// uncertainty by moving its bound to the value at rank t = max(1,
// floor(peel m)) from that side, removing the points beyond it (fewer when
// values tie there; when the value at rank t is the side's own extreme, the
// whole block of points holding it goes instead). A discrete uncertainty is
// peeled by dropping one category that the box's points hold, categories in
// increasing order. Densities are compared exactly, as fractions of counts.
// Peeling stops when the best candidate would leave a mass below `min_mass`,
// or when no candidate removes a point. Pasting takes in, on one side of one
// uncertainty, the max(1, floor(paste m)) nearest points that lie outside
// the box on that uncertainty alone (with any ties; all of them widen the
// bound to the data's own), or one category back; the candidate with the
// highest density is taken while it raises the box's density. A step costs
// O(k m) for k uncertainties; each uncertainty is sorted once.
#pragma once

#include <cstddef>
#include <vector>

namespace tds::study {

struct PrimOptions {
  double peel = 0.05;      // share of the box's points removed at each step, in (0, 0.5]
  double paste = 0.05;     // share of the points added at each pasting step, in (0, 0.5]
  double min_mass = 0.05;  // peeling stops before the box's mass falls below it, in [0, 1)
  double density = 0.8;    // the density that chooses the box, in (0, 1]
};

// A box: per uncertainty its bounds (both included), or for a discrete one
// (an uncertainty given as categories 0, 1, …) the categories it keeps; its
// bounds are then the smallest and largest of them. A continuous bound is a
// value of the data, so a point lies in the box exactly when low <= x <= high.
struct PrimBox {
  std::vector<double> low, high;                     // per uncertainty
  std::vector<std::vector<std::size_t>> categories;  // per uncertainty, empty when continuous
  // Whether uncertainty k is restricted: its bounds are narrower than the
  // data's, or it keeps fewer categories than the data has.
  std::vector<bool> restricted;
};

struct PrimStep {
  PrimBox box;
  double coverage = 0.0, density = 0.0, mass = 0.0;
  std::size_t points = 0, of_interest = 0;  // points in the box, cases of interest among them
};

struct PrimResult {
  std::vector<PrimStep> trajectory;  // step 0 is the whole data's box
  std::size_t chosen = 0;            // the trajectory's step chosen
  PrimStep box;                      // the chosen step after pasting
};

// points[i][k]: future i's value of uncertainty k (for a discrete one its
// category's index, a whole number); discrete[k]: whether uncertainty k is
// discrete; of_interest[i]: whether future i is a case of interest. Throws
// std::invalid_argument for bad options, rows of unequal length, a value that
// is not a finite number (or for a discrete uncertainty not a whole number
// from 0) or no cases of interest.
PrimResult prim(const std::vector<std::vector<double>>& points, const std::vector<bool>& discrete,
                const std::vector<bool>& of_interest, const PrimOptions& options = {});

}  // namespace tds::study
