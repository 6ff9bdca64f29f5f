// Pareto fronts of minimised objectives: domination, non-dominated sorting,
// the knee point and the two-objective hypervolume.
#pragma once

#include <cstddef>
#include <vector>

namespace tds::study {

// Whether a dominates b: no objective worse, at least one better.
bool dominates(const std::vector<double>& a, const std::vector<double>& b);

// Fast non-dominated sorting (Deb et al. 2002): the fronts in order, each
// front's indices ascending. With violations (>= 0, 0 = feasible), by
// constrained domination (Deb 2000): a feasible point dominates an
// infeasible one, of two infeasible points the smaller violation dominates,
// and feasible points compare by their objectives.
std::vector<std::vector<std::size_t>> nondominated_fronts(
    const std::vector<std::vector<double>>& objectives, const std::vector<double>& violations = {});

// The crowding distance (Deb et al. 2002) of each member of one front
// (indices into objectives), in the front's order: per objective, sorted by
// value (ties by index), the ends infinite and the inner points the sum of
// their neighbours' normalised gaps. Non-finite objectives count as largest.
std::vector<double> crowding_distances(const std::vector<std::vector<double>>& objectives,
                                       const std::vector<std::size_t>& front);

// The knee point of a front (an index into it): each objective normalised to
// [0, 1] by the front's own minimum and maximum (0 where they are equal),
// the point with the least sum of normalised objectives, that is the point
// farthest on the ideal side from the plane through the normalised axes'
// unit points. For two objectives that plane is the line through the two
// ends of the front, so the knee is the point that bulges farthest from the
// straight trade-off between the extremes. Among equals, the lowest index.
// Throws std::invalid_argument for an empty front.
std::size_t knee_point(const std::vector<std::vector<double>>& front_objectives);

// The area dominated by a two-objective front and bounded by the reference
// point (ref0, ref1); points not strictly better than the reference in both
// objectives add nothing.
double hypervolume2(std::vector<std::vector<double>> front, double ref0, double ref1);

}  // namespace tds::study
