#include "study.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <iterator>
#include <limits>
#include <map>
#include <numeric>
#include <stdexcept>

#include "csv.h"
#include "lhs.h"
#include "morris.h"
#include "nsga2.h"
#include "pareto.h"
#include "random.h"
#include "run.h"
#include "saltelli.h"

namespace tds::study {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Independent streams of random numbers drawn from the study's seed: each
// part of a study (the design, the search, each output's bootstrap) seeds
// its generator with the first draw of a generator of its own stream, so
// that none of them depends on how many numbers another one drew.
enum Stream : std::uint64_t { kDesign = 1, kSearch = 2, kBootstrap = 1000 };
std::uint64_t stream_seed(std::uint64_t seed, std::uint64_t stream) {
  return Random(seed ^ (stream * 0x9e3779b97f4a7c15ull)).bits();
}

void write_factor_value(CsvWriter& csv, const Factor& f, double x) {
  if (f.type == Factor::Type::Int)
    csv.number(static_cast<std::int64_t>(x));
  else
    csv.number(x);
}

std::vector<double> factor_values(const Study& s, const std::vector<double>& point) {
  std::vector<double> values;
  for (std::size_t i = 0; i < s.factors.size(); ++i)
    values.push_back(factor_value(s.factors[i], point[i]));
  return values;
}

// The study's outputs of a case (after the figure columns), NaN when it failed.
std::vector<double> study_outputs(const Study& s, const Evaluation& e, std::size_t figures) {
  std::vector<double> out(s.outputs.size(), kNaN);
  if (e.ok)
    for (std::size_t j = 0; j < out.size(); ++j) out[j] = e.outputs[figures + j];
  return out;
}

// Objectives as NSGA-II minimises them (maximised ones negated) and the
// total violation of the constraints; a failed case violates infinitely.
std::pair<std::vector<double>, double> objectives_of(const Study& s,
                                                     const std::vector<double>& outputs) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  std::vector<double> objectives;
  bool failed = false;
  for (const Goal& g : s.objectives) {
    const double v = outputs[g.output];
    failed = failed || std::isnan(v);
    objectives.push_back(std::isnan(v) ? kInf : g.maximise ? -v : v);
  }
  double violation = 0.0;
  for (const Constraint& c : s.constraints) {
    const double v = outputs[c.output];
    if (std::isnan(v))
      failed = true;
    else
      violation += std::max(0.0, c.min - v) + std::max(0.0, v - c.max);
  }
  return {objectives, failed ? kInf : violation};
}

Nsga2Options nsga2_options(const Study& s) {
  Nsga2Options o;
  o.population = s.population;
  o.generations = s.generations;
  o.crossover = s.crossover;
  o.eta_c = s.eta_c;
  o.mutation = s.mutation;
  o.eta_m = s.eta_m;
  o.seed = stream_seed(s.seed, kSearch);
  return o;
}

std::string generation_phase(const Study& s, std::size_t g) {
  return g == 0 ? "initial population"
                : "generation " + std::to_string(g) + " of " + std::to_string(s.generations);
}

// A short number for the summary line.
std::string short_number(double x) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3g", x);
  return buffer;
}

// optim.out: a header line of names, then lines of space-separated numbers:
// the factors' values and the study's outputs of a design.
std::string optim_header(const Study& s) {
  std::string line;
  for (const Factor& f : s.factors) line += (line.empty() ? "" : " ") + f.name;
  for (const Output& o : s.outputs) line += " " + o.name;
  return line + "\n";
}
std::string optim_line(const Study& s, const std::vector<double>& point,
                       const std::vector<double>& outputs) {
  std::string line;
  const std::vector<double> values = factor_values(s, point);
  for (std::size_t i = 0; i < values.size(); ++i) line += (i ? " " : "") + format_double(values[i]);
  for (double v : outputs) line += " " + format_double(v);
  return line + "\n";
}

// A design's row of a table: case, the factors' values, the study's outputs.
void design_fields(CsvWriter& csv, const Study& s, std::size_t index,
                   const std::vector<double>& point, const std::vector<double>& outputs) {
  csv.field(case_name(index));
  const std::vector<double> values = factor_values(s, point);
  for (std::size_t i = 0; i < values.size(); ++i) write_factor_value(csv, s.factors[i], values[i]);
  for (double v : outputs) csv.number(v);
}
void design_header(CsvWriter& csv, const Study& s) {
  csv.field("case");
  for (const Factor& f : s.factors) csv.field(f.name);
  for (const Output& o : s.outputs) csv.field(o.name);
}

// A factor or output as a sentence names it: its words, or its name when a
// study was made without them.
template <class T>
std::string words(const T& x) {
  return in_sentence(x.label.empty() ? x.name : x.label);
}

// The factors in order of a measure, largest first, ties in the study's order.
std::string ranking(const Study& s, const std::vector<double>& measure, const char* label) {
  std::vector<std::size_t> order(s.factors.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const double x = std::isnan(measure[a]) ? -1.0 : measure[a];
    const double y = std::isnan(measure[b]) ? -1.0 : measure[b];
    return x > y;
  });
  std::string text;
  for (std::size_t r = 0; r < std::min<std::size_t>(3, order.size()); ++r)
    text += (r ? ", " : "") + words(s.factors[order[r]]) + " (" + label + " " +
            short_number(measure[order[r]]) + ")";
  return text;
}

void morris_tables(const Study& s, const std::vector<std::vector<double>>& outputs,
                   const Cases& cases, Tables& t) {
  const auto effects = morris_effects(cases.points, outputs, s.factors.size());
  CsvWriter csv;
  for (const char* h : {"factor", "output", "mu", "mu_star", "sigma", "effects"}) csv.field(h);
  csv.end_row();
  for (std::size_t j = 0; j < s.outputs.size(); ++j)
    for (std::size_t i = 0; i < s.factors.size(); ++i) {
      const MorrisEffect& e = effects[i][j];
      csv.field(s.factors[i].name);
      csv.field(s.outputs[j].name);
      csv.number(e.mu);
      csv.number(e.mu_star);
      csv.number(e.sigma);
      csv.number(static_cast<std::int64_t>(e.effects));
      csv.end_row();
    }
  t.files.emplace_back("effects.csv", std::move(csv.buffer()));
  std::vector<double> mu_star;
  for (std::size_t i = 0; i < s.factors.size(); ++i) mu_star.push_back(effects[i][0].mu_star);
  t.summary = "most influential on " + words(s.outputs[0]) + ": " + ranking(s, mu_star, "mu*");
}

void sobol_tables(const Study& s, const std::vector<std::vector<double>>& outputs, Tables& t) {
  CsvWriter csv, second;
  for (const char* h : {"factor", "output", "S1", "S1_low", "S1_high", "ST", "ST_low", "ST_high"})
    csv.field(h);
  csv.end_row();
  for (const char* h : {"factor", "factor2", "output", "S2", "S2_low", "S2_high"}) second.field(h);
  second.end_row();
  std::vector<double> total_first;
  for (std::size_t j = 0; j < s.outputs.size(); ++j) {
    std::vector<double> column;
    column.reserve(outputs.size());
    for (const auto& row : outputs) column.push_back(row[j]);
    const SobolIndices x = sobol_indices(column, s.factors.size(), s.n, s.second_order, s.resamples,
                                         s.confidence, stream_seed(s.seed, kBootstrap + j));
    for (std::size_t i = 0; i < s.factors.size(); ++i) {
      csv.field(s.factors[i].name);
      csv.field(s.outputs[j].name);
      for (const Interval& v : {x.first[i], x.total[i]}) {
        csv.number(v.value);
        csv.number(v.low);
        csv.number(v.high);
      }
      csv.end_row();
      if (j == 0) total_first.push_back(x.total[i].value);
    }
    if (s.second_order)
      for (std::size_t a = 0; a < s.factors.size(); ++a)
        for (std::size_t b = a + 1; b < s.factors.size(); ++b) {
          const Interval& v = x.second[a][b];
          second.field(s.factors[a].name);
          second.field(s.factors[b].name);
          second.field(s.outputs[j].name);
          second.number(v.value);
          second.number(v.low);
          second.number(v.high);
          second.end_row();
        }
  }
  t.files.emplace_back("indices.csv", std::move(csv.buffer()));
  if (s.second_order) t.files.emplace_back("indices2.csv", std::move(second.buffer()));
  t.summary =
      "largest total effects on " + words(s.outputs[0]) + ": " + ranking(s, total_first, "ST");
}

void lhs_tables(const Study& s, const std::vector<std::vector<double>>& outputs, const Cases& cases,
                Tables& t) {
  const std::size_t j = s.objective.output;
  // Better first: a smaller (or, maximised, larger) objective, then the
  // earlier case; failed cases are left out.
  const auto better = [&](std::size_t a, std::size_t b) {
    const double x = outputs[a][j], y = outputs[b][j];
    if (x != y) return s.objective.maximise ? x > y : x < y;
    return a < b;
  };
  std::vector<std::size_t> ok;
  for (std::size_t c = 0; c < outputs.size(); ++c)
    if (!std::isnan(outputs[c][j])) ok.push_back(c);
  std::sort(ok.begin(), ok.end(), better);
  CsvWriter csv;
  csv.field("rank");
  design_header(csv, s);
  csv.end_row();
  for (std::size_t r = 0; r < std::min(ok.size(), s.best); ++r) {
    csv.number(static_cast<std::int64_t>(r + 1));
    design_fields(csv, s, ok[r], cases.points[ok[r]], outputs[ok[r]]);
    csv.end_row();
  }
  t.files.emplace_back("best.csv", std::move(csv.buffer()));
  // optim.out: the best design so far after each sample, the last line the
  // best of all.
  std::string optim = optim_header(s);
  std::size_t best = outputs.size();
  for (std::size_t c = 0; c < outputs.size(); ++c) {
    if (std::isnan(outputs[c][j])) continue;
    if (best == outputs.size() || better(c, best)) best = c;
    optim += optim_line(s, cases.points[best], outputs[best]);
  }
  t.files.emplace_back("optim.out", std::move(optim));
  t.summary = best == outputs.size()
                  ? "no case succeeded"
                  : "best of " + std::to_string(ok.size()) + " designs for " + words(s.outputs[j]) +
                        ": " + case_name(best) + " (" +
                        with_unit(short_number(outputs[best][j]), s.outputs[j].unit) + ")";
}

void nsga2_tables(const Study& s, const std::vector<std::vector<double>>& outputs,
                  const Cases& cases, Tables& t) {
  // The generations replayed from the recorded cases: NSGA-II is
  // deterministic given its seed and the evaluations it is told.
  Nsga2 search(s.factors.size(), s.objectives.size(), nsga2_options(s));
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
      auto [o, v] = objectives_of(s, outputs[at]);
      objectives.push_back(std::move(o));
      violations.push_back(v);
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
  for (std::size_t g = 0; g < s.objectives.size(); ++g) {
    const Output& o = s.outputs[s.objectives[g].output];
    t.summary += (g ? ", " : " ") + words(o) + " " +
                 with_unit(short_number(outputs[knee_case][s.objectives[g].output]), o.unit);
  }
}

}  // namespace

std::string case_name(std::size_t index) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "c%06zu", index + 1);
  return buffer;
}

bool one_batch(Method m) { return m != Method::Nsga2; }

std::vector<std::vector<double>> design(const Study& s) {
  const std::size_t k = s.factors.size();
  const std::uint64_t seed = stream_seed(s.seed, kDesign);
  switch (s.method) {
    case Method::Morris:
      return morris_design(k, s.trajectories, s.levels, seed);
    case Method::Sobol:
      return saltelli_design(k, s.n, s.scrambled, s.second_order, seed);
    case Method::Lhs:
      return lhs_design(k, s.samples, seed);
    case Method::Nsga2:
      break;
  }
  throw std::logic_error("NSGA-II has no design of its own");
}

std::size_t case_count(const Study& s) {
  const std::size_t k = s.factors.size();
  switch (s.method) {
    case Method::Morris:
      return s.trajectories * (k + 1);
    case Method::Sobol:
      return s.n * (s.second_order ? 2 * k + 2 : k + 2);
    case Method::Lhs:
      return s.samples;
    case Method::Nsga2:
      return s.population * (s.generations + 1);
  }
  return 0;
}

StudyRun::StudyRun(const Study& s, std::size_t figures) : study_(&s), figures_(figures) {
  if (!one_batch(s.method))
    search_ = std::make_unique<Nsga2>(s.factors.size(), s.objectives.size(), nsga2_options(s));
}

StudyRun::~StudyRun() = default;

bool StudyRun::done() const { return search_ ? search_->done() : told_design_; }

const std::vector<std::vector<double>>& StudyRun::next() {
  if (asked_) return batch_;
  if (done()) throw std::logic_error("the study is done");
  if (search_) {
    batch_ = search_->ask();
    phase_ = generation_phase(*study_, generation_++);
  } else {
    batch_ = design(*study_);
    phase_ = "cases";
  }
  asked_ = true;
  return batch_;
}

void StudyRun::tell(std::vector<Evaluation> results) {
  if (!asked_ || results.size() != batch_.size())
    throw std::logic_error("a study told evaluations that are not of its batch");
  asked_ = false;
  const std::size_t first = cases_.points.size();
  cases_.points.insert(cases_.points.end(), std::make_move_iterator(batch_.begin()),
                       std::make_move_iterator(batch_.end()));
  batch_.clear();
  cases_.results.insert(cases_.results.end(), std::make_move_iterator(results.begin()),
                        std::make_move_iterator(results.end()));
  if (!search_) {
    told_design_ = true;
    return;
  }
  std::vector<std::vector<double>> objectives;
  std::vector<double> violations;
  for (std::size_t c = first; c < cases_.points.size(); ++c) {
    auto [o, v] = objectives_of(*study_, study_outputs(*study_, cases_.results[c], figures_));
    objectives.push_back(std::move(o));
    violations.push_back(v);
  }
  search_->tell(objectives, violations);
}

Cases run_cases(const Study& s, Evaluator& evaluator, const StudyProgress& progress) {
  const std::size_t total = case_count(s);
  StudyRun run(s, evaluator.outputs() - s.outputs.size());
  while (!run.done()) {
    const std::vector<std::vector<double>>& points = run.next();
    const std::size_t first = run.cases().points.size();
    std::vector<Evaluation> results(points.size());
    evaluator.evaluate(points, [&](std::size_t i, Evaluation&& e) {
      results[i] = std::move(e);
      if (progress) progress(first + i + 1, total, run.phase());
    });
    run.tell(std::move(results));
  }
  return run.take_cases();
}

std::string samples_header(const Study& s) {
  CsvWriter csv;
  csv.field("case");
  csv.field("days");
  for (const Factor& f : s.factors) csv.field(f.name);
  csv.end_row();
  return std::move(csv.buffer());
}

std::string samples_row(const Study& s, std::size_t index, const std::vector<double>& point) {
  CsvWriter csv;
  csv.field(case_name(index));
  csv.number(static_cast<std::int64_t>(s.days));
  const std::vector<double> values = factor_values(s, point);
  for (std::size_t i = 0; i < values.size(); ++i) write_factor_value(csv, s.factors[i], values[i]);
  csv.end_row();
  return std::move(csv.buffer());
}

std::string results_header(const Study& s, const std::vector<std::string>& figures) {
  CsvWriter csv;
  csv.field("case");
  csv.field("status");
  for (const std::string& f : figures) csv.field(f);
  for (const Output& o : s.outputs) csv.field(o.name);
  csv.end_row();
  return std::move(csv.buffer());
}

std::string results_row(std::size_t index, const Evaluation& e, std::size_t columns) {
  CsvWriter csv;
  csv.field(case_name(index));
  csv.field(e.ok ? "ok" : e.reason.empty() ? "failed" : e.reason);
  for (std::size_t c = 0; c < columns; ++c) {
    if (e.ok)
      csv.number(e.outputs[c]);
    else
      csv.field("");
  }
  csv.end_row();
  return std::move(csv.buffer());
}

std::pair<std::size_t, Evaluation> parse_results_row(const std::vector<std::string>& fields,
                                                     std::size_t columns,
                                                     const std::string& where) {
  if (fields.size() != columns + 2)
    throw InputError(where + ": " + std::to_string(fields.size()) + " fields, not " +
                     std::to_string(columns + 2));
  const std::string& name = fields[0];
  std::size_t index = 0;
  const bool named =
      name.size() >= 7 && name[0] == 'c' &&
      std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (named) index = std::stoull(name.substr(1));
  if (!named || index == 0 || name.size() > 16 || case_name(index - 1) != name)
    throw InputError(where + ": " + quote_input(name) + " is not a study's case name");
  Evaluation e;
  e.ok = fields[1] == "ok";
  if (!e.ok) {
    e.reason = fields[1];
    return {index - 1, e};
  }
  std::deque<std::string> keep;
  for (std::size_t c = 0; c < columns; ++c)
    e.outputs.push_back(
        parse_cell(Kind::Double, fields[2 + c], where + ": column " + std::to_string(c + 3), keep)
            .d);
  return {index - 1, e};
}

Tables make_tables(const Study& s, const std::vector<std::string>& figures, const Cases& cases) {
  Tables t;
  const std::size_t columns = figures.size() + s.outputs.size();
  std::string samples = samples_header(s), results = results_header(s, figures);
  std::vector<std::vector<double>> outputs;
  for (std::size_t c = 0; c < cases.points.size(); ++c) {
    samples += samples_row(s, c, cases.points[c]);
    results += results_row(c, cases.results[c], columns);
    outputs.push_back(study_outputs(s, cases.results[c], figures.size()));
  }
  t.files.emplace_back("samples.csv", std::move(samples));
  t.files.emplace_back("results.csv", std::move(results));
  switch (s.method) {
    case Method::Morris:
      morris_tables(s, outputs, cases, t);
      break;
    case Method::Sobol:
      sobol_tables(s, outputs, t);
      break;
    case Method::Lhs:
      lhs_tables(s, outputs, cases, t);
      break;
    case Method::Nsga2:
      nsga2_tables(s, outputs, cases, t);
      break;
  }
  return t;
}

}  // namespace tds::study
