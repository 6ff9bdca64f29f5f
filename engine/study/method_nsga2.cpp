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
#include "robustness.h"
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

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// The statistics' names in the study file, in the order of Statistic after
// Value.
const std::vector<std::string_view> kStatistics = {"mean", "std",   "p10",        "p50",
                                                   "p90",  "worst", "satisficing"};

// The words of a statistic before an output's ("90th percentile of").
const char* statistic_words(Statistic statistic) {
  switch (statistic) {
    case Statistic::Value:
      return "";
    case Statistic::Mean:
      return "mean of ";
    case Statistic::Std:
      return "standard deviation of ";
    case Statistic::P10:
      return "10th percentile of ";
    case Statistic::P50:
      return "median of ";
    case Statistic::P90:
      return "90th percentile of ";
    case Statistic::Worst:
      return "worst of ";
    case Statistic::Satisficing:
      return "share of futures meeting every threshold";
  }
  return "";
}

// The i-th statistic of a list, the study's default when the list is short
// (options made without the study file).
Statistic statistic_at(const Study& s, const std::vector<Statistic>& list, std::size_t i) {
  if (i < list.size()) return list[i];
  return s.futures.values.empty() ? Statistic::Value : Statistic::Mean;
}

// An objective's or a constraint's "statistic": Value without futures, Mean
// by default with them; regret is refused, as it measures a design against
// the others evaluated beside it, which in a search change from one
// generation to the next.
Statistic read_statistic(const Reader& r, const Study& s) {
  if (!r.has("statistic")) return s.futures.values.empty() ? Statistic::Value : Statistic::Mean;
  const std::string name = r.text("statistic");
  if (s.futures.values.empty())
    r.fail("statistic", "needs futures (a study of levers, uncertainties and futures)");
  if (name.rfind("regret", 0) == 0)
    r.fail("statistic", quote_input(name) +
                            " compares a design with the others evaluated beside it, which change "
                            "in a search; give mean, std, p10, p50, p90, worst or satisficing");
  const auto it = std::find(kStatistics.begin(), kStatistics.end(), name);
  if (it == kStatistics.end())
    r.fail("statistic", with_nearest(quote_input(name) + " is not a statistic",
                                     nearest_names(name, kStatistics, 1)));
  return static_cast<Statistic>(1 + (it - kStatistics.begin()));
}

// An objective: {"output", "goal", "statistic"}; satisficing has no output
// and is maximised unless its goal says otherwise.
std::pair<Goal, Statistic> read_objective(const Reader& r, const Study& s, bool thresholds) {
  r.only({"output", "goal", "statistic"});
  const Statistic statistic = read_statistic(r, s);
  Goal g;
  if (statistic == Statistic::Satisficing) {
    if (r.has("output")) r.fail("output", "satisficing counts every threshold; it takes no output");
    if (!thresholds) r.fail("statistic", "satisficing needs \"thresholds\" beside the objectives");
    g.maximise = read_maximise(r, true);
  } else {
    g.output = output_named(r, "output", s);
    g.maximise = read_maximise(r, false);
  }
  return {g, statistic};
}

// A constraint: {"output", "min", "max", "statistic"}; satisficing's bounds
// are shares of futures.
std::pair<Constraint, Statistic> read_constraint_of(const Reader& r, const Study& s,
                                                    bool thresholds) {
  r.only({"output", "min", "max", "statistic"});
  const Statistic statistic = read_statistic(r, s);
  Constraint k;
  if (statistic == Statistic::Satisficing) {
    if (r.has("output")) r.fail("output", "satisficing counts every threshold; it takes no output");
    if (!thresholds) r.fail("statistic", "satisficing needs \"thresholds\" beside the objectives");
  } else {
    k.output = output_named(r, "output", s);
  }
  read_bounds(r, k);
  return {k, statistic};
}

// A statistic of one output over a design's futures (none failed), in the
// sense the objective or constraint takes it.
double statistic_of(Statistic statistic, const std::vector<double>& x, Sense sense) {
  const OutcomeSummary m = summarise(x, sense);
  switch (statistic) {
    case Statistic::Value:
      return x.front();
    case Statistic::Mean:
      return m.mean;
    case Statistic::Std:
      return m.std;
    case Statistic::P10:
      return m.p10;
    case Statistic::P50:
      return m.p50;
    case Statistic::P90:
      return m.p90;
    case Statistic::Worst:
      return m.worst;
    case Statistic::Satisficing:
      break;
  }
  return kNan;
}

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
  for (std::size_t j = 0; j < m; ++j) {
    const std::string name =
        measure_name(s, statistic_at(s, o.objective_statistics, j), o.objectives[j].output);
    csv.field("ideal:" + name);
    csv.field("reference:" + name);
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

// A robust search's table of designs (design, levers, measures, knee), rows
// sorted by their objectives as minimised, then by design. Design d's
// levers are those of its first case, d F.
std::string robust_design_table(const Study& s, const Nsga2StudyOptions& o, const Cases& cases,
                                const std::vector<std::vector<double>>& measures,
                                std::vector<std::pair<std::vector<double>, std::size_t>> rows,
                                std::size_t knee) {
  std::sort(rows.begin(), rows.end());
  const auto columns = measure_columns(s, o);
  CsvWriter csv;
  csv.field("design");
  for (std::size_t l = 0; l < s.levers; ++l) csv.field(s.factors[l].name);
  for (const auto& c : columns) csv.field(c.first);
  csv.field("knee");
  csv.end_row();
  for (const auto& [objectives, d] : rows) {
    csv.field(numbered('d', d + 1, measures.size()));
    for (std::size_t l = 0; l < s.levers; ++l)
      write_factor_value(csv, s.factors[l], cases.points[d * futures_per_design(s)][l]);
    for (const auto& c : columns) csv.number(measures[d][c.second]);
    csv.number(static_cast<std::int64_t>(d == knee ? 1 : 0));
    csv.end_row();
  }
  return std::move(csv.buffer());
}

// optim.out of a robust search: the levers and the measures of a design.
std::string robust_optim_header(const Study& s, const Nsga2StudyOptions& o) {
  std::string line;
  for (std::size_t l = 0; l < s.levers; ++l) line += (l ? " " : "") + s.factors[l].name;
  for (const auto& c : measure_columns(s, o)) line += " " + c.first;
  return line + "\n";
}

std::string robust_optim_line(const Study& s, const Nsga2StudyOptions& o,
                              const std::vector<double>& point,
                              const std::vector<double>& measures) {
  std::string line;
  for (std::size_t l = 0; l < s.levers; ++l) line += (l ? " " : "") + format_double(point[l]);
  for (const auto& c : measure_columns(s, o)) line += " " + format_double(measures[c.second]);
  return line + "\n";
}

}  // namespace

Nsga2StudyOptions Nsga2StudyOptions::read(const Reader& options, const Reader& /*study*/,
                                          const Study& s) {
  Nsga2StudyOptions o;
  Nsga2Options& n = o.search;
  options.only({"population", "generations", "objectives", "constraints", "thresholds", "crossover",
                "eta_c", "mutation", "eta_m", "epsilons"});
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
  const json& thresholds = options.list("thresholds", false);
  if (options.has("thresholds") && s.futures.values.empty())
    options.fail("thresholds", "needs futures (a study of levers, uncertainties and futures)");
  if (options.has("thresholds") && thresholds.empty()) options.fail("thresholds", "is empty");
  for (std::size_t i = 0; i < thresholds.size(); ++i)
    o.thresholds.push_back(read_constraint(options.element("thresholds", i), s));
  const json& objectives = options.list("objectives", true);
  if (objectives.size() < 2) options.fail("objectives", "needs two objectives or more");
  for (std::size_t i = 0; i < objectives.size(); ++i) {
    auto [goal, statistic] =
        read_objective(options.element("objectives", i), s, !o.thresholds.empty());
    o.objectives.push_back(goal);
    o.objective_statistics.push_back(statistic);
  }
  const json& constraints = options.list("constraints", false);
  for (std::size_t i = 0; i < constraints.size(); ++i) {
    auto [constraint, statistic] =
        read_constraint_of(options.element("constraints", i), s, !o.thresholds.empty());
    o.constraints.push_back(constraint);
    o.constraint_statistics.push_back(statistic);
  }
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

std::size_t futures_per_design(const Study& s) {
  return std::max<std::size_t>(1, s.futures.values.size());
}

std::size_t case_count(const Study& s, const Nsga2StudyOptions& o) {
  return o.search.population * (o.search.generations + 1) * futures_per_design(s);
}

Nsga2 new_search(const Study& s, const Nsga2StudyOptions& o) {
  Nsga2Options search = o.search;
  search.seed = stream_seed(s.seed, kSearch);
  return {s.futures.values.empty() ? s.factors.size() : s.levers, o.objectives.size(), search};
}

std::vector<std::vector<double>> generation_points(const Study& s,
                                                   const std::vector<std::vector<double>>& asked) {
  if (s.futures.values.empty()) return asked;
  std::vector<std::vector<double>> points;
  points.reserve(asked.size() * s.futures.values.size());
  for (const std::vector<double>& u : asked) {
    std::vector<double> levers;
    levers.reserve(s.factors.size());
    for (std::size_t l = 0; l < s.levers; ++l) levers.push_back(factor_value(s.factors[l], u[l]));
    for (const std::vector<double>& f : s.futures.values) {
      std::vector<double> point = levers;
      point.insert(point.end(), f.begin(), f.end());
      points.push_back(std::move(point));
    }
  }
  return points;
}

std::vector<double> design_measures(const Study& s, const Nsga2StudyOptions& o,
                                    const std::vector<std::vector<double>>& outputs) {
  const std::size_t count = o.objectives.size() + o.constraints.size();
  // Across futures, a failed case (its outputs NaN) fails its design.
  if (!s.futures.values.empty())
    for (const std::vector<double>& out : outputs)
      if (std::any_of(out.begin(), out.end(), [](double v) { return std::isnan(v); }))
        return std::vector<double>(count, kNan);
  // The outcomes of an output over the futures, in their order.
  const auto outcomes = [&](std::size_t output) {
    std::vector<double> x;
    x.reserve(outputs.size());
    for (const std::vector<double>& out : outputs) x.push_back(out[output]);
    return x;
  };
  const auto satisficed = [&] {
    std::vector<bool> met;
    met.reserve(outputs.size());
    for (const std::vector<double>& out : outputs)
      met.push_back(std::all_of(o.thresholds.begin(), o.thresholds.end(), [&](const Constraint& k) {
        return out[k.output] >= k.min && out[k.output] <= k.max;
      }));
    return satisficing(met);
  };
  std::vector<double> measures;
  measures.reserve(count);
  for (std::size_t j = 0; j < o.objectives.size(); ++j) {
    const Goal& g = o.objectives[j];
    const Statistic statistic = statistic_at(s, o.objective_statistics, j);
    measures.push_back(statistic == Statistic::Satisficing
                           ? satisficed()
                           : statistic_of(statistic, outcomes(g.output),
                                          g.maximise ? Sense::Maximise : Sense::Minimise));
  }
  for (std::size_t j = 0; j < o.constraints.size(); ++j) {
    const Constraint& k = o.constraints[j];
    const Statistic statistic = statistic_at(s, o.constraint_statistics, j);
    if (statistic == Statistic::Satisficing) {
      measures.push_back(satisficed());
    } else if (statistic == Statistic::Worst) {
      // The outcome furthest beyond (or least within) the bounds: the
      // smallest against the lower, the largest against the upper, the
      // lower's on a tie.
      const std::vector<double> x = outcomes(k.output);
      const double low = statistic_of(statistic, x, Sense::Maximise);
      const double high = statistic_of(statistic, x, Sense::Minimise);
      measures.push_back(k.min - low >= high - k.max ? low : high);
    } else {
      measures.push_back(statistic_of(statistic, outcomes(k.output), Sense::Minimise));
    }
  }
  return measures;
}

std::string measure_name(const Study& s, Statistic statistic, std::size_t output) {
  if (statistic == Statistic::Satisficing) return "satisficing";
  if (statistic == Statistic::Value) return s.outputs[output].name;
  return std::string(kStatistics[static_cast<std::size_t>(statistic) - 1]) + ":" +
         s.outputs[output].name;
}

std::string measure_words(const Study& s, Statistic statistic, std::size_t output) {
  if (statistic == Statistic::Satisficing) return statistic_words(statistic);
  return statistic_words(statistic) + summary_words(s.outputs[output]);
}

Statistic objective_statistic(const Study& s, const Nsga2StudyOptions& o, std::size_t i) {
  return statistic_at(s, o.objective_statistics, i);
}

std::vector<std::pair<std::string, std::size_t>> measure_columns(const Study& s,
                                                                 const Nsga2StudyOptions& o) {
  std::vector<std::pair<std::string, std::size_t>> columns;
  const auto add = [&](Statistic statistic, std::size_t output, std::size_t measure) {
    std::string name = measure_name(s, statistic, output);
    for (const auto& c : columns)
      if (c.first == name) return;
    columns.emplace_back(std::move(name), measure);
  };
  for (std::size_t j = 0; j < o.objectives.size(); ++j)
    add(statistic_at(s, o.objective_statistics, j), o.objectives[j].output, j);
  for (std::size_t j = 0; j < o.constraints.size(); ++j)
    add(statistic_at(s, o.constraint_statistics, j), o.constraints[j].output,
        o.objectives.size() + j);
  return columns;
}

std::pair<std::vector<double>, double> objectives_of(const Nsga2StudyOptions& o,
                                                     const std::vector<double>& measures) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  std::vector<double> objectives;
  bool failed = false;
  for (std::size_t j = 0; j < o.objectives.size(); ++j) {
    const double v = measures[j];
    failed = failed || std::isnan(v);
    objectives.push_back(std::isnan(v) ? kInf : o.objectives[j].maximise ? -v : v);
  }
  double violation = 0.0;
  for (std::size_t j = 0; j < o.constraints.size(); ++j) {
    const Constraint& c = o.constraints[j];
    const double v = measures[o.objectives.size() + j];
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
  // the archive given the evaluations in their order. Design d runs cases
  // d F to d F + F - 1 (one case without futures, so that designs are
  // cases).
  const bool robust = !s.futures.values.empty();
  const std::size_t per_design = futures_per_design(s);
  Nsga2 search = new_search(s, o);
  ParetoArchive archive(o.epsilons);
  ParetoArchive all;  // unthinned, for the normalised box; the archive itself without epsilons
  ParetoArchive& front_of_all = o.epsilons.empty() ? archive : all;
  std::vector<std::vector<std::pair<std::vector<double>, std::size_t>>> archives;
  std::vector<std::size_t> evaluated;
  std::map<std::vector<double>, std::size_t> design_of;  // the first design of each point
  std::vector<std::vector<double>> measures;             // per design
  std::string optim = robust ? robust_optim_header(s, o) : optim_header(s);
  std::size_t at = 0;
  std::vector<std::size_t> front;
  std::vector<std::vector<double>> front_objectives;
  std::size_t knee = 0;
  while (!search.done()) {
    const std::vector<std::vector<double>> asked = search.ask();
    const std::vector<std::vector<double>> points = generation_points(s, asked);
    if (at + points.size() > cases.points.size())
      throw std::logic_error("the cases of an NSGA-II study end before its last generation");
    for (std::size_t p = 0; p < points.size(); ++p)
      if (points[p] != cases.points[at + p])
        throw std::logic_error("the cases of an NSGA-II study do not replay its search");
    std::vector<std::vector<double>> objectives;
    std::vector<double> violations;
    for (std::size_t a = 0; a < asked.size(); ++a, at += per_design) {
      const std::size_t d = measures.size();
      design_of.emplace(asked[a], d);
      measures.push_back(
          design_measures(s, o,
                          std::vector<std::vector<double>>(
                              outputs.begin() + static_cast<std::ptrdiff_t>(at),
                              outputs.begin() + static_cast<std::ptrdiff_t>(at + per_design))));
      auto [objective, violation] = objectives_of(o, measures.back());
      if (violation == 0) {
        archive.offer(objective, d);
        if (!o.epsilons.empty()) all.offer(objective, d);
      }
      objectives.push_back(std::move(objective));
      violations.push_back(violation);
    }
    search.tell(objectives, violations);
    archives.emplace_back();
    archives.back().reserve(archive.members().size());
    for (const ParetoArchive::Member& a : archive.members())
      archives.back().emplace_back(a.objectives, a.id);
    evaluated.push_back(measures.size());
    front = search.front();
    if (front.empty()) continue;
    front_objectives.clear();
    for (std::size_t i : front) front_objectives.push_back(search.objectives()[i]);
    knee = front[knee_point(front_objectives)];
    const std::size_t d = design_of.at(search.population()[knee]);
    optim += robust ? robust_optim_line(s, o, cases.points[d * per_design], measures[d])
                    : optim_line(s, cases.points[d], outputs[d]);
  }
  // The last population's front, each design once.
  std::vector<std::pair<std::vector<double>, std::size_t>> population;
  population.reserve(front.size());
  for (std::size_t i : front)
    population.emplace_back(search.objectives()[i], design_of.at(search.population()[i]));
  std::sort(population.begin(), population.end());
  population.erase(std::unique(population.begin(), population.end(),
                               [](const auto& a, const auto& b) { return a.second == b.second; }),
                   population.end());
  const std::size_t population_knee =
      front.empty() ? measures.size() : design_of.at(search.population()[knee]);
  // The archive's front, sorted as its table is, and its knee.
  std::vector<std::pair<std::vector<double>, std::size_t>> rows =
      archives.empty() ? decltype(rows){} : archives.back();
  std::sort(rows.begin(), rows.end());
  std::size_t knee_design = measures.size();
  if (!rows.empty()) {
    front_objectives.clear();
    for (const auto& r : rows) front_objectives.push_back(r.first);
    knee_design = rows[knee_point(front_objectives)].second;
  }
  if (robust) {
    t.files.emplace_back(Nsga2StudyOptions::kPareto,
                         robust_design_table(s, o, cases, measures, rows, knee_design));
    t.files.emplace_back(
        Nsga2StudyOptions::kPopulation,
        robust_design_table(s, o, cases, measures, std::move(population), population_knee));
  } else {
    t.files.emplace_back(Nsga2StudyOptions::kPareto,
                         design_table(s, outputs, cases, rows, knee_design));
    t.files.emplace_back(Nsga2StudyOptions::kPopulation,
                         design_table(s, outputs, cases, std::move(population), population_knee));
  }
  t.files.emplace_back(Nsga2StudyOptions::kConvergence,
                       convergence_table(s, o, archives, evaluated, front_of_all.members()));
  t.files.emplace_back(Nsga2StudyOptions::kOptim, std::move(optim));
  if (rows.empty()) {
    t.summary = "no feasible design found";
    return;
  }
  // The knee with what it achieves of each objective.
  const std::string knee_name =
      robust ? numbered('d', knee_design + 1, measures.size()) : case_name(knee_design);
  t.summary = "Pareto front of " + std::to_string(rows.size()) + " designs of " +
              std::to_string(measures.size()) + " evaluated" +
              (robust ? " across " + std::to_string(per_design) + " futures" : std::string()) +
              "; knee " + knee_name + ":";
  for (std::size_t g = 0; g < o.objectives.size(); ++g) {
    const Statistic statistic = statistic_at(s, o.objective_statistics, g);
    const double v = measures[knee_design][g];
    if (statistic == Statistic::Satisficing) {
      t.summary +=
          (g ? ", " : " ") + measure_words(s, statistic, 0) + " " + short_number(100.0 * v) + " %";
      continue;
    }
    const Output& out = s.outputs[o.objectives[g].output];
    t.summary += (g ? ", " : " ") + measure_words(s, statistic, o.objectives[g].output) + " " +
                 with_unit(short_number(v), out.unit);
  }
}

}  // namespace tds::study
