// Every design across every future as a study method, in the manner of
// robust decision making (Lempert et al. 2006; Herman et al. 2015): the
// designs are settings of the study's levers (a Latin hypercube of them, a
// file of designs, or both), the futures settings of its uncertainties, and
// one batch runs every design in every future. Its tables measure each
// design's robustness (robustness.h), rank the designs and, for the most
// robust one (or one named), find where in the futures it misses its
// thresholds by scenario discovery (prim.h).
//
// Its points are the factors' values, the levers' then the uncertainties'
// (Study::value_points); case c is design c / F in future c % F of F
// futures.
#ifndef TDS_ENGINE_STUDY_METHOD_ROBUST_H
#define TDS_ENGINE_STUDY_METHOD_ROBUST_H

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "goals.h"
#include "prim.h"

namespace tds::study {

class Reader;
struct Study;
struct Cases;
struct Tables;

struct RobustOptions {
  static constexpr const char* kName = "robust";
  static constexpr bool kOneBatch = true;
  // The tables it writes beside samples.csv and results.csv.
  static constexpr const char* kRobustness = "robustness.csv";
  static constexpr const char* kTrajectory = "prim_trajectory.csv";
  static constexpr const char* kBoxes = "boxes.csv";
  static constexpr std::array<const char*, 3> kTables = {kRobustness, kTrajectory, kBoxes};
  // The designs: those of the designs file (the levers' values), then
  // `samples` of a Latin hypercube of the levers.
  std::vector<std::vector<double>> designs;
  std::size_t samples = 0;
  std::vector<Goal> goals;             // the outputs with a direction: their regret
  std::vector<Constraint> thresholds;  // what a design must meet in a future, one or more
  // The measure that ranks the designs: satisficing (the default), or a
  // statistic of an output's outcomes.
  enum class Measure { Satisficing, Mean, P50, P90, Worst, RegretMax, RegretP90 };
  Measure rank = Measure::Satisficing;
  std::size_t rank_output = 0;
  // Scenario discovery: of the most robust design, or of the design of this
  // index.
  bool discover_named = false;
  std::size_t discover = 0;
  PrimOptions prim;
  // Reads the study file's "robust" object; read_file gives the designs
  // file. Throws InputError naming the first bad key or cell.
  static RobustOptions read(const Reader& options, const Reader& study, const Study& s,
                            const std::function<std::string(const std::string&)>& read_file);
};

std::vector<std::vector<double>> design(const Study& s, const RobustOptions& o);
// The output the designs' robustness is drawn against: the ranked one, or
// for satisficing the first threshold's (the first output in a study without
// thresholds).
std::size_t drawn_output(const RobustOptions& o);
std::size_t case_count(const Study& s, const RobustOptions& o);
// results.csv of a robust study: per case its design and future by name and
// their values, then the columns of every study's results.csv.
std::string robust_results(const Study& s, const std::vector<std::string>& figures,
                           const Cases& cases);
// robustness.csv (per design and output: its statistics over the futures,
// regret, satisficing, the designs in rank order), prim_trajectory.csv and
// boxes.csv (where the discovered design misses its thresholds); the
// summary names the most robust design and that box in words.
void add_tables(const Study& s, const RobustOptions& o,
                const std::vector<std::vector<double>>& outputs, const Cases& cases, Tables& t);

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_METHOD_ROBUST_H
