// Robustness of designs across a common ensemble of futures: the summary
// statistics of one design's outcomes, regret against the best design of
// each future, and satisficing (the share of futures that meet every
// threshold). The measures follow the robust decision making literature:
// Lempert et al. (2006), "A general, analytic method for generating robust
// strategies and narrative scenarios", Management Science 52(4); Herman et
// al. (2015), "How should robustness be defined for water systems
// planning under change?", J. Water Resour. Plann. Manage. 141(10).
//
// What robustness means here: a design is robust when it performs acceptably
// across the futures nobody controls, not when it is best in one of them.
// Three views of that, each over the same ensemble of futures:
// - the spread of the design's own outcomes: mean, standard deviation,
//   percentiles and the worst future (Herman et al.'s "decision analytic"
//   measures);
// - regret: how much worse the design did in a future than the best design
//   did in that same future (Savage's minimax regret, as Lempert et al. and
//   Herman et al. use it), summarised by its maximum and 90th percentile;
// - satisficing: the share of futures in which the design meets every
//   threshold the planner set (Starr's domain criterion).
//
// A failed case has no outcome and is given as NaN. It is not dropped: a
// design's summary, percentiles and worst are NaN when any of its futures
// failed, so that a failure cannot make a design look better; a NaN design
// sets no best for regret, and its own regret in that future is NaN. For
// satisficing, the caller counts a failed case as not met.
#pragma once

#include <cstddef>
#include <vector>

namespace tds::study {

// Whether smaller or larger outcomes are better.
enum class Sense { Minimise, Maximise };

// Summary statistics of one design's outcomes over the futures.
struct OutcomeSummary {
  double mean = 0.0;  // the sum in order of the futures, over their count
  double std = 0.0;   // the sample standard deviation (divisor n - 1); 0 for one future
  double p10 = 0.0, p50 = 0.0, p90 = 0.0;
  double worst = 0.0;  // the largest when minimised, the smallest when maximised
};

// The p-th percentile (p in [0, 100]) of values, as NumPy's default
// ("linear") method computes it, bit for bit: h = (n - 1) (p / 100), the
// values at floor(h) and the next in order, interpolated by NumPy's two-sided
// formula. NaN when any value is NaN. Throws std::invalid_argument for no
// values or p outside [0, 100].
double percentile(std::vector<double> values, double p);

// The summary of one design's outcomes over the futures. Throws
// std::invalid_argument for no outcomes.
OutcomeSummary summarise(const std::vector<double>& outcomes, Sense sense);

// Regret of every design in every future: outcome[d][f] measured against the
// best outcome of any design in future f (0 for the best, positive for the
// others, whichever the sense). All rows have the same length.
std::vector<std::vector<double>> regrets(const std::vector<std::vector<double>>& outcome,
                                         Sense sense);

// The share of futures in which a design met every threshold. Throws
// std::invalid_argument for no futures.
double satisficing(const std::vector<bool>& met);

}  // namespace tds::study
