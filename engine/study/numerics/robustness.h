// Robustness of designs across a common ensemble of futures: the summary
// statistics of one design's outcomes, regret against the best design of
// each future, and satisficing (the share of futures that meet every
// threshold). The measures follow the robust decision making literature:
// Lempert et al. (2006), "A general, analytic method for generating robust
// strategies and narrative scenarios", Management Science 52(4); Herman et
// al. (2015), "How should robustness be defined for water systems
// planning under change?", J. Water Resour. Plann. Manage. 141(10).
#pragma once

#include <cstddef>
#include <vector>

namespace tds::study {

// Whether smaller or larger outcomes are better.
enum class Sense { Minimise, Maximise };

// Summary statistics of one design's outcomes over the futures.
struct OutcomeSummary {
  double mean = 0.0;  // the sum in order of the futures, over their count
  double std = 0.0;   // the standard deviation (stated in robustness.cpp)
  double p10 = 0.0, p50 = 0.0, p90 = 0.0;
  double worst = 0.0;  // the largest when minimised, the smallest when maximised
};

// The p-th percentile (p in [0, 100]) of values, as NumPy's default
// ("linear") method computes it, bit for bit. Throws std::invalid_argument
// for no values.
double percentile(std::vector<double> values, double p);

// The summary of one design's outcomes over the futures. Throws
// std::invalid_argument for no outcomes.
OutcomeSummary summarise(const std::vector<double>& outcomes, Sense sense);

// Regret of every design in every future: outcome[d][f] measured against the
// best outcome of any design in future f (0 for the best, positive for the
// others, whichever the sense). All rows have the same length.
std::vector<std::vector<double>> regrets(const std::vector<std::vector<double>>& outcome,
                                         Sense sense);

// The share of futures in which a design met every threshold.
double satisficing(const std::vector<bool>& met);

}  // namespace tds::study
