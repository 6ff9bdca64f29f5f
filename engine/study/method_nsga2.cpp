#include "method_nsga2.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>
#include <stdexcept>

#include "archive.h"
#include "hypervolume.h"
#include "pareto.h"
#include "seeds.h"
#include "study_file.h"
#include "study_reader.h"
#include "tables.h"

namespace tds::study {

using nlohmann::json;

namespace {

// The normalised box of convergence.csv: each objective (as minimised) from
// the ideal to the nadir of the non-dominated set of every feasible
// evaluation of the study, so that 0 is the best value found and 1 the
// worst on that front; the reference point lies at 1.1 in each, just beyond
// the front, so that its extreme designs count too.
constexpr double kReference = 1.1;

// A table of designs (case, factors, outputs, knee), rows sorted by their
// objectives as minimised, then by case.
std::string design_table(const Study& s, const std::vector<std::vector<double>>& outputs,
                         const Cases& cases,
                         std::vector<std::pair<std::vector<double>, std::size_t>> rows,
                         std::size_t knee_case) {
  std::sort(rows.begin(), rows.end());
  CsvWriter csv;
  design_header(csv, s);
  csv.field("knee");
  csv.end_row();
  for (const auto& [objectives, c] : rows) {
    design_fields(csv, s, c, cases.points[c], outputs[c]);
    csv.number(static_cast<std::int64_t>(c == knee_case ? 1 : 0));
    csv.end_row();
  }
  return std::move(csv.buffer());
}

// convergence.csv: per generation the evaluations so far, the archive's
// size, the designs that entered and left it since the generation before,
// and the share of the box from the ideal to the reference point that its
// front dominates; then each objective's ideal and reference point in the
// objective's own unit (a maximised one as its output, not negated).
// `archives` holds the archive's members (objectives, case) after each
// generation, `evaluated` the cases run by then, and `all` the members of
// the unthinned archive of the whole study.
std::string convergence_table(
    const Study& s, const Nsga2StudyOptions& o,
    const std::vector<std::vector<std::pair<std::vector<double>, std::size_t>>>& archives,
    const std::vector<std::size_t>& evaluated, const std::vector<ParetoArchive::Member>& all) {
  const std::size_t m = o.objectives.size();
  constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> ideal(m, kNan), range(m, kNan);
  if (!all.empty()) {
    std::vector<double> nadir = all[0].objectives;
    ideal = nadir;
    for (const ParetoArchive::Member& a : all) {
      for (std::size_t j = 0; j < m; ++j) {
        ideal[j] = std::min(ideal[j], a.objectives[j]);
        nadir[j] = std::max(nadir[j], a.objectives[j]);
      }
    }
    // An objective that does not vary on the front counts in its own unit.
    for (std::size_t j = 0; j < m; ++j) range[j] = nadir[j] > ideal[j] ? nadir[j] - ideal[j] : 1;
  }
  double box = 1;
  for (std::size_t j = 0; j < m; ++j) box *= kReference;
  CsvWriter csv;
  for (const char* name : {"generation", "evaluations", "front", "entered", "left", "hypervolume"})
    csv.field(name);
  for (const Goal& g : o.objectives) {
    csv.field("ideal:" + s.outputs[g.output].name);
    csv.field("reference:" + s.outputs[g.output].name);
  }
  csv.end_row();
  std::vector<std::size_t> before;
  for (std::size_t g = 0; g < archives.size(); ++g) {
    std::vector<std::size_t> now;
    std::vector<std::vector<double>> normalised;
    now.reserve(archives[g].size());
    normalised.reserve(archives[g].size());
    for (const auto& [f, c] : archives[g]) {
      now.push_back(c);
      std::vector<double> p(m);
      for (std::size_t j = 0; j < m; ++j) p[j] = (f[j] - ideal[j]) / range[j];
      normalised.push_back(std::move(p));
    }
    std::sort(now.begin(), now.end());
    std::vector<std::size_t> entered, left;
    std::set_difference(now.begin(), now.end(), before.begin(), before.end(),
                        std::back_inserter(entered));
    std::set_difference(before.begin(), before.end(), now.begin(), now.end(),
                        std::back_inserter(left));
    csv.number(static_cast<std::int64_t>(g));
    csv.number(static_cast<std::int64_t>(evaluated[g]));
    csv.number(static_cast<std::int64_t>(now.size()));
    csv.number(static_cast<std::int64_t>(entered.size()));
    csv.number(static_cast<std::int64_t>(left.size()));
    csv.number(normalised.empty()
                   ? 0.0
                   : hypervolume(normalised, std::vector<double>(m, kReference)) / box);
    for (std::size_t j = 0; j < m; ++j) {
      const double sign = o.objectives[j].maximise ? -1 : 1;
      csv.number(sign * ideal[j]);
      csv.number(sign * (ideal[j] + kReference * range[j]));
    }
    csv.end_row();
    before = std::move(now);
  }
  return std::move(csv.buffer());
}

}  // namespace

Nsga2StudyOptions Nsga2StudyOptions::read(const Reader& options, const Reader& /*study*/,
                                          const Study& s) {
  Nsga2StudyOptions o;
  Nsga2Options& n = o.search;
  options.only({"population", "generations", "objectives", "constraints", "crossover", "eta_c",
                "mutation", "eta_m", "epsilons"});
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
  const json& epsilons = options.list("epsilons", false);
  if (options.has("epsilons") && epsilons.size() != o.objectives.size())
    options.fail("epsilons", "needs one per objective (" + std::to_string(o.objectives.size()) +
                                 "), not " + std::to_string(epsilons.size()));
  for (std::size_t i = 0; i < epsilons.size(); ++i) {
    const json& e = epsilons[i];
    const std::string key = "epsilons[" + std::to_string(i) + "]";
    if (!e.is_number()) options.fail(key, "must be a number");
    const double v = e.get<double>();
    if (!(v > 0) || !std::isfinite(v)) options.fail(key, "must be above 0");
    o.epsilons.push_back(v);
  }
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
  // deterministic given its seed and the evaluations it is told, and so is
  // the archive given the evaluations in their order.
  Nsga2 search = new_search(s, o);
  ParetoArchive archive(o.epsilons);
  ParetoArchive all;  // unthinned, for the normalised box; the archive itself without epsilons
  ParetoArchive& front_of_all = o.epsilons.empty() ? archive : all;
  std::vector<std::vector<std::pair<std::vector<double>, std::size_t>>> archives;
  std::vector<std::size_t> evaluated;
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
      if (violation == 0) {
        archive.offer(objective, at);
        if (!o.epsilons.empty()) all.offer(objective, at);
      }
      objectives.push_back(std::move(objective));
      violations.push_back(violation);
    }
    search.tell(objectives, violations);
    archives.emplace_back();
    archives.back().reserve(archive.members().size());
    for (const ParetoArchive::Member& a : archive.members())
      archives.back().emplace_back(a.objectives, a.id);
    evaluated.push_back(at);
    front = search.front();
    if (front.empty()) continue;
    front_objectives.clear();
    for (std::size_t i : front) front_objectives.push_back(search.objectives()[i]);
    knee = front[knee_point(front_objectives)];
    const std::size_t c = case_of.at(search.population()[knee]);
    optim += optim_line(s, cases.points[c], outputs[c]);
  }
  // The last population's front, each design once.
  std::vector<std::pair<std::vector<double>, std::size_t>> population;
  population.reserve(front.size());
  for (std::size_t i : front)
    population.emplace_back(search.objectives()[i], case_of.at(search.population()[i]));
  std::sort(population.begin(), population.end());
  population.erase(std::unique(population.begin(), population.end(),
                               [](const auto& a, const auto& b) { return a.second == b.second; }),
                   population.end());
  const std::size_t population_knee =
      front.empty() ? cases.points.size() : case_of.at(search.population()[knee]);
  // The archive's front, sorted as its table is, and its knee.
  std::vector<std::pair<std::vector<double>, std::size_t>> rows =
      archives.empty() ? decltype(rows){} : archives.back();
  std::sort(rows.begin(), rows.end());
  std::size_t knee_case = cases.points.size();
  if (!rows.empty()) {
    front_objectives.clear();
    for (const auto& r : rows) front_objectives.push_back(r.first);
    knee_case = rows[knee_point(front_objectives)].second;
  }
  t.files.emplace_back(Nsga2StudyOptions::kPareto,
                       design_table(s, outputs, cases, rows, knee_case));
  t.files.emplace_back(Nsga2StudyOptions::kPopulation,
                       design_table(s, outputs, cases, std::move(population), population_knee));
  t.files.emplace_back(Nsga2StudyOptions::kConvergence,
                       convergence_table(s, o, archives, evaluated, front_of_all.members()));
  t.files.emplace_back(Nsga2StudyOptions::kOptim, std::move(optim));
  if (rows.empty()) {
    t.summary = "no feasible design found";
    return;
  }
  // The knee with what it achieves of each objective.
  t.summary = "Pareto front of " + std::to_string(rows.size()) + " designs of " +
              std::to_string(cases.points.size()) + " evaluated; knee " + case_name(knee_case) +
              ":";
  for (std::size_t g = 0; g < o.objectives.size(); ++g) {
    const Output& out = s.outputs[o.objectives[g].output];
    t.summary += (g ? ", " : " ") + summary_words(out) + " " +
                 with_unit(short_number(outputs[knee_case][o.objectives[g].output]), out.unit);
  }
}

}  // namespace tds::study
