#include "method_nsga2.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <stdexcept>

#include "pareto.h"
#include "seeds.h"
#include "study_file.h"
#include "study_reader.h"
#include "tables.h"

namespace tds::study {

using nlohmann::json;

Nsga2StudyOptions Nsga2StudyOptions::read(const Reader& options, const Reader& /*study*/,
                                          const Study& s) {
  Nsga2StudyOptions o;
  Nsga2Options& n = o.search;
  options.only({"population", "generations", "objectives", "constraints", "crossover", "eta_c",
                "mutation", "eta_m"});
  n.population = options.count("population", n.population, 4, 1000000);
  if (n.population % 2 != 0) options.fail("population", "must be even");
  n.generations = options.count("generations", n.generations, 1, 1000000);
  n.crossover = options.number("crossover", n.crossover);
  if (n.crossover < 0.0 || n.crossover > 1.0) options.fail("crossover", "must lie from 0 to 1");
  n.mutation = options.number("mutation", n.mutation);
  if (options.has("mutation") && (n.mutation < 0.0 || n.mutation > 1.0))
    options.fail("mutation", "must lie from 0 to 1");
  n.eta_c = options.number("eta_c", n.eta_c);
  n.eta_m = options.number("eta_m", n.eta_m);
  if (n.eta_c < 0.0) options.fail("eta_c", "must not be negative");
  if (n.eta_m < 0.0) options.fail("eta_m", "must not be negative");
  const json& objectives = options.list("objectives", true);
  if (objectives.size() < 2) options.fail("objectives", "needs two objectives or more");
  for (std::size_t i = 0; i < objectives.size(); ++i)
    o.objectives.push_back(read_goal(options.element("objectives", i), s));
  const json& constraints = options.list("constraints", false);
  for (std::size_t i = 0; i < constraints.size(); ++i)
    o.constraints.push_back(read_constraint(options.element("constraints", i), s));
  return o;
}

std::size_t case_count(const Study& /*s*/, const Nsga2StudyOptions& o) {
  return o.search.population * (o.search.generations + 1);
}

Nsga2 new_search(const Study& s, const Nsga2StudyOptions& o) {
  Nsga2Options search = o.search;
  search.seed = stream_seed(s.seed, kSearch);
  return {s.factors.size(), o.objectives.size(), search};
}

std::pair<std::vector<double>, double> objectives_of(const Nsga2StudyOptions& o,
                                                     const std::vector<double>& outputs) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  std::vector<double> objectives;
  bool failed = false;
  for (const Goal& g : o.objectives) {
    const double v = outputs[g.output];
    failed = failed || std::isnan(v);
    objectives.push_back(std::isnan(v) ? kInf : g.maximise ? -v : v);
  }
  double violation = 0.0;
  for (const Constraint& c : o.constraints) {
    const double v = outputs[c.output];
    if (std::isnan(v))
      failed = true;
    else
      violation += std::max(0.0, c.min - v) + std::max(0.0, v - c.max);
  }
  return {objectives, failed ? kInf : violation};
}

std::string generation_phase(const Nsga2StudyOptions& o, std::size_t g) {
  return g == 0 ? "initial population"
                : "generation " + std::to_string(g) + " of " + std::to_string(o.search.generations);
}

void add_tables(const Study& s, const Nsga2StudyOptions& o,
                const std::vector<std::vector<double>>& outputs, const Cases& cases, Tables& t) {
  // The generations replayed from the recorded cases: NSGA-II is
  // deterministic given its seed and the evaluations it is told.
  Nsga2 search = new_search(s, o);
  std::map<std::vector<double>, std::size_t> case_of;  // the first case of each point
  std::string optim = optim_header(s);
  std::size_t at = 0;
  std::vector<std::size_t> front;
  std::vector<std::vector<double>> front_objectives;
  std::size_t knee = 0;
  while (!search.done()) {
    const std::vector<std::vector<double>> points = search.ask();
    if (at + points.size() > cases.points.size())
      throw std::logic_error("the cases of an NSGA-II study end before its last generation");
    std::vector<std::vector<double>> objectives;
    std::vector<double> violations;
    for (std::size_t p = 0; p < points.size(); ++p, ++at) {
      if (points[p] != cases.points[at])
        throw std::logic_error("the cases of an NSGA-II study do not replay its search");
      case_of.emplace(points[p], at);
      auto [objective, violation] = objectives_of(o, outputs[at]);
      objectives.push_back(std::move(objective));
      violations.push_back(violation);
    }
    search.tell(objectives, violations);
    front = search.front();
    if (front.empty()) continue;
    front_objectives.clear();
    for (std::size_t i : front) front_objectives.push_back(search.objectives()[i]);
    knee = front[knee_point(front_objectives)];
    const std::size_t c = case_of.at(search.population()[knee]);
    optim += optim_line(s, cases.points[c], outputs[c]);
  }
  // The front, sorted by its objectives as minimised, then by case.
  std::vector<std::pair<std::vector<double>, std::size_t>> rows;
  rows.reserve(front.size());
  for (std::size_t i : front)
    rows.emplace_back(search.objectives()[i], case_of.at(search.population()[i]));
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end(),
                         [](const auto& a, const auto& b) { return a.second == b.second; }),
             rows.end());
  const std::size_t knee_case =
      front.empty() ? cases.points.size() : case_of.at(search.population()[knee]);
  CsvWriter csv;
  design_header(csv, s);
  csv.field("knee");
  csv.end_row();
  for (const auto& [objectives, c] : rows) {
    design_fields(csv, s, c, cases.points[c], outputs[c]);
    csv.number(static_cast<std::int64_t>(c == knee_case ? 1 : 0));
    csv.end_row();
  }
  t.files.emplace_back("pareto.csv", std::move(csv.buffer()));
  t.files.emplace_back("optim.out", std::move(optim));
  if (front.empty()) {
    t.summary = "no feasible design found";
    return;
  }
  // The knee with what it achieves of each objective.
  t.summary = "Pareto front of " + std::to_string(rows.size()) + " designs; knee " +
              case_name(knee_case) + ":";
  for (std::size_t g = 0; g < o.objectives.size(); ++g) {
    const Output& out = s.outputs[o.objectives[g].output];
    t.summary += (g ? ", " : " ") + summary_words(out) + " " +
                 with_unit(short_number(outputs[knee_case][o.objectives[g].output]), out.unit);
  }
}

}  // namespace tds::study
