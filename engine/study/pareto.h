// Pareto fronts of minimised objectives: domination, non-dominated sorting,
// the knee point and the two-objective hypervolume.
#pragma once

#include <cstddef>
#include <vector>

namespace tds::study {

// Whether a dominates b: no objective worse, at least one better.
bool dominates(const std::vector<double>& a, const std::vector<double>& b);

// Fast non-dominated sorting (Deb et al. 2002): the fronts in order, each
// front's indices ascending.
std::vector<std::vector<std::size_t>> nondominated_fronts(
    const std::vector<std::vector<double>>& objectives);

// The knee point of a front: each objective normalised to [0, 1] by the
// front's own minimum and maximum, the point farthest from the hyperplane
// through the front's extreme points (for two objectives, the line through
// the two ends of the front), on the side of the ideal point; among equals,
// the lowest index. A front of one or two points, or a degenerate one,
// gives the point with the least sum of normalised objectives.
std::size_t knee_point(const std::vector<std::vector<double>>& front_objectives);

// The area dominated by a two-objective front and bounded by the reference
// point (ref0, ref1); points not strictly better than the reference in both
// objectives add nothing.
double hypervolume2(std::vector<std::vector<double>> front, double ref0, double ref1);

}  // namespace tds::study
