// Objectives and constraints on a study's outputs, as the methods that
// search (lhs, nsga2) take them from the study file.
#ifndef TDS_ENGINE_STUDY_GOALS_H
#define TDS_ENGINE_STUDY_GOALS_H

#include <cstddef>
#include <limits>
#include <string>

namespace tds::study {

class Reader;
struct Study;

// An objective or a constraint on an output, by its index in Study::outputs.
struct Goal {
  std::size_t output = 0;
  bool maximise = false;
};
struct Constraint {
  std::size_t output = 0;
  double min = -std::numeric_limits<double>::infinity();
  double max = std::numeric_limits<double>::infinity();
};

// The index of the output that the string `key` names, with the nearest
// names when there is none.
std::size_t output_named(const Reader& r, const std::string& key, const Study& s);
// {"output": NAME, "goal": "minimise" (the default) or "maximise"}.
Goal read_goal(const Reader& r, const Study& s);
// {"output": NAME, "min": X, "max": Y}, one bound or both.
Constraint read_constraint(const Reader& r, const Study& s);
// The parts of those: whether "goal" says maximise (`fallback` when absent),
// and the bounds "min" and "max" of a constraint, one or both.
bool read_maximise(const Reader& r, bool fallback);
void read_bounds(const Reader& r, Constraint& k);

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_GOALS_H
