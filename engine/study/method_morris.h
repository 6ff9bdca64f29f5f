// Elementary effects screening as a study method: Morris, M. D. (1991),
// "Factorial sampling plans for preliminary computational experiments",
// Technometrics 33(2), with mu* of Campolongo, Cariboni & Saltelli (2007),
// "An effective screening design for sensitivity analysis of large models",
// Environmental Modelling & Software 22(10). The numerics are morris.h's.
#ifndef TDS_ENGINE_STUDY_METHOD_MORRIS_H
#define TDS_ENGINE_STUDY_METHOD_MORRIS_H

#include <array>
#include <cstddef>
#include <vector>

namespace tds::study {

class Reader;
struct Study;
struct Cases;
struct Tables;

struct MorrisOptions {
  static constexpr const char* kName = "morris";
  static constexpr bool kOneBatch = true;
  // The tables it writes beside samples.csv and results.csv.
  static constexpr const char* kEffects = "effects.csv";
  static constexpr std::array<const char*, 1> kTables = {kEffects};
  std::size_t trajectories = 10;  // from 2
  std::size_t levels = 4;         // even, from 2 to 1000
  // Reads the study file's "morris" object. Throws InputError naming the
  // first bad key.
  static MorrisOptions read(const Reader& options, const Reader& study, const Study& s);
};

// trajectories (k + 1) points: the trajectories one after another.
std::vector<std::vector<double>> design(const Study& s, const MorrisOptions& o);
std::size_t case_count(const Study& s, const MorrisOptions& o);
// effects.csv: mu, mu* and sigma of every factor on every output; the
// summary ranks the factors by mu* on the first output.
void add_tables(const Study& s, const MorrisOptions& o,
                const std::vector<std::vector<double>>& outputs, const Cases& cases, Tables& t);

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_METHOD_MORRIS_H
