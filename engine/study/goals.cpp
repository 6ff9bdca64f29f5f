#include "goals.h"

#include <string_view>
#include <vector>

#include "description.h"
#include "study_file.h"
#include "study_reader.h"

namespace tds::study {

std::size_t output_named(const Reader& r, const std::string& key, const Study& s) {
  const std::string name = r.text(key);
  std::vector<std::string_view> names;
  for (std::size_t i = 0; i < s.outputs.size(); ++i) {
    if (s.outputs[i].name == name) return i;
    names.push_back(s.outputs[i].name);
  }
  r.fail(key, with_nearest("unknown output " + name, nearest_names(name, names, 3)));
}

Goal read_goal(const Reader& r, const Study& s) {
  r.only({"output", "goal"});
  Goal g;
  g.output = output_named(r, "output", s);
  g.maximise = read_maximise(r, false);
  return g;
}

bool read_maximise(const Reader& r, bool fallback) {
  if (!r.has("goal")) return fallback;
  const std::string goal = r.text("goal");
  if (goal != "minimise" && goal != "maximise")
    r.fail("goal", quote_input(goal) + " is not minimise or maximise");
  return goal == "maximise";
}

void read_bounds(const Reader& r, Constraint& k) {
  if (!r.has("min") && !r.has("max")) r.fail("", "give \"min\", \"max\" or both");
  k.min = r.number("min", k.min);
  k.max = r.number("max", k.max);
  if (k.min > k.max) r.fail("max", "must not be below \"min\"");
}

Constraint read_constraint(const Reader& r, const Study& s) {
  r.only({"output", "min", "max"});
  Constraint k;
  k.output = output_named(r, "output", s);
  read_bounds(r, k);
  return k;
}

}  // namespace tds::study
