// Variance-based sensitivity analysis as a study method: Sobol', I. M.
// (1993), "Sensitivity estimates for nonlinear mathematical models",
// Mathematical Modelling and Computational Experiments 1(4), on the design
// of Saltelli, A. (2002), "Making best use of model evaluations to compute
// sensitivity indices", Computer Physics Communications 145(2), with the
// estimators of Saltelli et al. (2010), Computer Physics Communications
// 181(2), and Jansen (1999), and bootstrap intervals. The numerics are
// saltelli.h's.
#ifndef TDS_ENGINE_STUDY_METHOD_SOBOL_H
#define TDS_ENGINE_STUDY_METHOD_SOBOL_H

#include <array>
#include <cstddef>
#include <vector>

namespace tds::study {

class Reader;
struct Study;
struct Cases;
struct Tables;

struct SobolOptions {
  static constexpr const char* kName = "sobol";
  static constexpr bool kOneBatch = true;
  // The tables it writes beside samples.csv and results.csv.
  static constexpr const char* kIndices = "indices.csv";
  static constexpr const char* kIndices2 = "indices2.csv";
  static constexpr std::array<const char*, 2> kTables = {kIndices, kIndices2};
  std::size_t n = 1024;          // base sample: a power of two from 2
  bool scrambled = true;         // the Sobol' sequence scrambled
  bool second_order = false;     // also the second-order indices (indices2.csv)
  std::size_t resamples = 1000;  // bootstrap resamples, from 0
  double confidence = 0.95;      // of the bootstrap intervals, in (0, 1)
  // Reads the study file's "sobol" object. Throws InputError naming the
  // first bad key, or "factors" for a study of fewer than two factors.
  static SobolOptions read(const Reader& options, const Reader& study, const Study& s);
};

// n (k + 2) points, or n (2k + 2) with the second order.
std::vector<std::vector<double>> design(const Study& s, const SobolOptions& o);
std::size_t case_count(const Study& s, const SobolOptions& o);
// indices.csv (first-order and total indices with their intervals) and,
// with the second order, indices2.csv; the summary ranks the factors by
// their total effect on the first output.
void add_tables(const Study& s, const SobolOptions& o,
                const std::vector<std::vector<double>>& outputs, const Cases& cases, Tables& t);

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_METHOD_SOBOL_H
