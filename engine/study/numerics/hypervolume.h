// The exact hypervolume of a front of minimised objectives, for any number
// of objectives: the WFG algorithm of While, L., Bradstreet, L. & Barone, L.
// (2012), "A fast way of calculating exact hypervolumes", IEEE Transactions
// on Evolutionary Computation 16(1), with its points taken in order of the
// last objective, worst first, so that each point's exclusive part is a
// slab of one dimension fewer (the slicing of While, Hingston, Barone &
// Huband 2006, "A faster algorithm for calculating hypervolume", IEEE
// Transactions on Evolutionary Computation 10(1)). Three objectives are swept
// in the last one over a staircase of the first two (the dimension sweep of
// Beume, Fonseca, López-Ibáñez, Paquete & Vahrenhold 2009, "On the
// complexity of computing the hypervolume indicator", IEEE Transactions on
// Evolutionary Computation 13(5)), in O(n^2) with a sorted list for a tree.
#pragma once

#include <vector>

namespace tds::study {

// The volume dominated by the front and bounded by the reference point.
// Points not strictly better than the reference in every objective (a NaN
// included) add nothing; dominated and repeated points are allowed. Throws
// std::invalid_argument when a point has not one value per objective of
// the reference.
double hypervolume(const std::vector<std::vector<double>>& front,
                   const std::vector<double>& reference);

}  // namespace tds::study
