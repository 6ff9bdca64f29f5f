// A Latin hypercube sample searched for its best designs as a study method:
// McKay, M. D., Beckman, R. J. & Conover, W. J. (1979), "A comparison of
// three methods for selecting values of input variables in the analysis of
// output from a computer code", Technometrics 21(2). The numerics are
// lhs.h's.
#ifndef TDS_ENGINE_STUDY_METHOD_LHS_H
#define TDS_ENGINE_STUDY_METHOD_LHS_H

#include <array>
#include <cstddef>
#include <vector>

#include "goals.h"

namespace tds::study {

class Reader;
struct Study;
struct Cases;
struct Tables;

struct LhsOptions {
  static constexpr const char* kName = "lhs";
  static constexpr bool kOneBatch = true;
  // The tables it writes beside samples.csv and results.csv.
  static constexpr const char* kBest = "best.csv";
  static constexpr const char* kOptim = "optim.out";
  static constexpr std::array<const char*, 2> kTables = {kBest, kOptim};
  std::size_t samples = 100;  // from 2
  std::size_t best = 10;      // rows of best.csv, from 1
  Goal objective;             // required
  // Reads the study file's "lhs" object. Throws InputError naming the first
  // bad key.
  static LhsOptions read(const Reader& options, const Reader& study, const Study& s);
};

std::vector<std::vector<double>> design(const Study& s, const LhsOptions& o);
std::size_t case_count(const Study& s, const LhsOptions& o);
// best.csv (the best designs by the objective, failed cases left out) and
// optim.out (the best design so far after each sample, the best of all
// last); the summary names the best design.
void add_tables(const Study& s, const LhsOptions& o,
                const std::vector<std::vector<double>>& outputs, const Cases& cases, Tables& t);

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_METHOD_LHS_H
