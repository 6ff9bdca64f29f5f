#include "method_robust.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "csv.h"
#include "lhs.h"
#include "robustness.h"
#include "seeds.h"
#include "study.h"
#include "study_file.h"
#include "study_reader.h"
#include "tables.h"

namespace tds::study {

namespace {

const std::vector<std::string_view> kMeasures = {"satisficing", "mean",       "p50",       "p90",
                                                 "worst",       "regret_max", "regret_p90"};

std::size_t design_count(const RobustOptions& o) { return o.designs.size() + o.samples; }

// The designs file: one column per lever (other columns ignored, so that an
// earlier study's pareto.csv or best.csv serves as it stands), each cell
// within its lever's bounds or among its values.
std::vector<std::vector<double>> read_designs(const std::string& text, const std::string& path,
                                              const Study& s) {
  const CsvTable table = parse_csv(text, path);
  std::vector<std::size_t> column(s.levers);
  for (std::size_t l = 0; l < s.levers; ++l) {
    const auto it = std::find(table.header.begin(), table.header.end(), s.factors[l].name);
    if (it == table.header.end())
      throw InputError(path + ": the column of the lever " + s.factors[l].name + " is missing");
    column[l] = static_cast<std::size_t>(it - table.header.begin());
  }
  if (table.rows.empty()) throw InputError(path + ": holds no design");
  std::vector<std::vector<double>> designs;
  designs.reserve(table.rows.size());
  for (const CsvTable::Row& row : table.rows) {
    std::vector<double> values;
    values.reserve(s.levers);
    for (std::size_t l = 0; l < s.levers; ++l)
      values.push_back(factor_cell(s.factors[l], row.fields[column[l]],
                                   path + ": line " + std::to_string(row.line) + ": column " +
                                       std::to_string(column[l] + 1)));
    designs.push_back(std::move(values));
  }
  return designs;
}

bool meets(const RobustOptions& o, const std::vector<double>& outputs) {
  return std::all_of(o.thresholds.begin(), o.thresholds.end(), [&](const Constraint& k) {
    const double x = outputs[k.output];
    return !std::isnan(x) && x >= k.min && x <= k.max;
  });
}

Sense sense_of(const RobustOptions& o, std::size_t output) {
  for (const Goal& g : o.goals)
    if (g.output == output) return g.maximise ? Sense::Maximise : Sense::Minimise;
  return Sense::Minimise;
}

bool has_goal(const RobustOptions& o, std::size_t output) {
  return std::any_of(o.goals.begin(), o.goals.end(),
                     [&](const Goal& g) { return g.output == output; });
}

// A design's figures for one output: its statistics over the futures it ran
// in, its regret over the futures every design ran in.
struct Measures {
  std::optional<OutcomeSummary> summary;
  std::optional<double> regret_max, regret_p90;
};

std::string percent(double share) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.0f %%", 100.0 * share);
  return buffer;
}

// A value of an uncertainty in words: an input's table, else the number.
std::string value_words(const Factor& f, double x) {
  return f.type == Factor::Type::Input ? f.paths[static_cast<std::size_t>(x)] : short_number(x);
}

// A category's value: a list's level, an input's index.
double category_value(const Factor& f, std::size_t category) {
  return f.type == Factor::Type::Input ? static_cast<double>(category) : f.levels[category];
}

// The box's restricted uncertainties in words, joined by "and".
std::string box_words(const Study& s, const PrimBox& box, const std::vector<double>& low,
                      const std::vector<double>& high) {
  std::string text;
  for (std::size_t u = 0; u < box.restricted.size(); ++u) {
    if (!box.restricted[u]) continue;
    const Factor& f = s.factors[s.levers + u];
    std::string part = summary_words(f) + " is ";
    if (!box.categories[u].empty()) {
      part += box.categories[u].size() == 1 ? "" : "one of ";
      for (std::size_t c = 0; c < box.categories[u].size(); ++c)
        part += (c ? ", " : "") + value_words(f, category_value(f, box.categories[u][c]));
    } else if (box.low[u] > low[u] && box.high[u] < high[u]) {
      part += "between " + short_number(box.low[u]) + " and " + short_number(box.high[u]);
    } else if (box.high[u] < high[u]) {
      part += "at most " + short_number(box.high[u]);
    } else {
      part += "at least " + short_number(box.low[u]);
    }
    text += (text.empty() ? "" : " and ") + part;
  }
  return text;
}

// A box's columns: per uncertainty its low and high bound, or the values it
// keeps ('|' between them); empty when it is not restricted.
void box_header(CsvWriter& csv, const Study& s) {
  for (std::size_t i = s.levers; i < s.factors.size(); ++i) {
    const Factor& f = s.factors[i];
    if (f.levels.empty()) {
      csv.field(f.name + "_low");
      csv.field(f.name + "_high");
    } else {
      csv.field(f.name);
    }
  }
}

void box_fields(CsvWriter& csv, const Study& s, const PrimBox& box) {
  for (std::size_t u = 0; u + s.levers < s.factors.size(); ++u) {
    const Factor& f = s.factors[s.levers + u];
    if (!f.levels.empty()) {
      std::string kept;
      if (box.restricted[u])
        for (std::size_t c : box.categories[u])
          kept += (kept.empty() ? "" : "|") + value_words(f, category_value(f, c));
      csv.field(kept);
    } else if (box.restricted[u]) {
      csv.number(box.low[u]);
      csv.number(box.high[u]);
    } else {
      csv.field("");
      csv.field("");
    }
  }
}

}  // namespace

std::size_t drawn_output(const RobustOptions& o) {
  if (o.rank != RobustOptions::Measure::Satisficing) return o.rank_output;
  return o.thresholds.empty() ? 0 : o.thresholds.front().output;
}

RobustOptions RobustOptions::read(const Reader& options, const Reader& /*study*/, const Study& s,
                                  const std::function<std::string(const std::string&)>& read_file) {
  constexpr std::size_t kMost = 100000000;
  RobustOptions o;
  options.only({"samples", "designs", "goals", "thresholds", "rank", "discover"});
  if (s.levers == 0) {
    // One design, the plan as set: nothing to draw or read.
    for (const char* key : {"samples", "designs"})
      if (options.has(key)) options.fail(key, "a study without levers has one design");
    o.designs.emplace_back();
  } else if (options.has("designs")) {
    const std::string path = options.text("designs");
    o.designs = read_designs(
        read_named_file(read_file, path, options.source(), options.at("designs")), path, s);
  }
  if (s.levers > 0)
    o.samples =
        options.count("samples", o.designs.empty() ? 20 : 0, o.designs.empty() ? 1 : 0, kMost);
  const nlohmann::json& goals = options.list("goals", false);
  for (std::size_t i = 0; i < goals.size(); ++i) {
    o.goals.push_back(read_goal(options.element("goals", i), s));
    for (std::size_t j = 0; j + 1 < o.goals.size(); ++j)
      if (o.goals[j].output == o.goals.back().output)
        options.element("goals", i)
            .fail("output", s.outputs[o.goals[j].output].name + " has a goal already");
  }
  // A design alone needs no thresholds: its spread over the futures is the
  // answer, and it then meets every future.
  const nlohmann::json& thresholds = options.list("thresholds", s.levers > 0);
  if (thresholds.empty() && s.levers > 0) options.fail("thresholds", "is empty");
  for (std::size_t i = 0; i < thresholds.size(); ++i)
    o.thresholds.push_back(read_constraint(options.element("thresholds", i), s));
  {
    const Reader r = options.member("rank");
    r.only({"measure", "output"});
    const std::string measure = r.has("measure") ? r.text("measure") : "satisficing";
    const auto it = std::find(kMeasures.begin(), kMeasures.end(), measure);
    if (it == kMeasures.end())
      r.fail("measure", with_nearest(quote_input(measure) + " is not a measure",
                                     nearest_names(measure, kMeasures, 1)));
    o.rank = static_cast<Measure>(it - kMeasures.begin());
    if (o.rank == Measure::Satisficing) {
      if (r.has("output"))
        r.fail("output", "satisficing counts every threshold; it takes no output");
    } else {
      if (!r.has("output")) r.fail("output", "is missing");
      o.rank_output = output_named(r, "output", s);
      if ((o.rank == Measure::RegretMax || o.rank == Measure::RegretP90) &&
          !has_goal(o, o.rank_output))
        r.fail("output", s.outputs[o.rank_output].name + " has no goal; its regret is unknown");
    }
  }
  {
    const Reader r = options.member("discover");
    r.only({"design", "peel", "paste", "min_mass", "density"});
    if (r.has("design")) {
      const std::string name = r.text("design");
      const std::size_t count = design_count(o);
      for (std::size_t d = 0; d < count && !o.discover_named; ++d)
        if (numbered('d', d + 1, count) == name) {
          o.discover_named = true;
          o.discover = d;
        }
      if (!o.discover_named)
        r.fail("design", quote_input(name) + " is not a design (" + numbered('d', 1, count) +
                             " to " + numbered('d', count, count) + ")");
    }
    const auto share = [&](const char* key, double fallback, bool zero, double most) {
      const double x = r.number(key, fallback);
      if (!(zero ? x >= 0.0 : x > 0.0) || !(x <= most))
        r.fail(key,
               "must be " + std::string(zero ? "from 0" : "above 0") + " to " + short_number(most));
      return x;
    };
    o.prim.peel = share("peel", o.prim.peel, false, 0.5);
    o.prim.paste = share("paste", o.prim.paste, false, 0.5);
    o.prim.min_mass = share("min_mass", o.prim.min_mass, true, 0.99);
    o.prim.density = share("density", o.prim.density, false, 1.0);
  }
  return o;
}

std::vector<std::vector<double>> design(const Study& s, const RobustOptions& o) {
  std::vector<std::vector<double>> designs = o.designs;
  const std::vector<std::vector<double>> sample =
      o.samples == 0 ? std::vector<std::vector<double>>()
                     : lhs_design(s.levers, o.samples, stream_seed(s.seed, kDesign));
  for (const std::vector<double>& u : sample) {
    std::vector<double> values;
    values.reserve(s.levers);
    for (std::size_t l = 0; l < s.levers; ++l) values.push_back(factor_value(s.factors[l], u[l]));
    designs.push_back(std::move(values));
  }
  std::vector<std::vector<double>> points;
  points.reserve(designs.size() * s.futures.values.size());
  for (const std::vector<double>& d : designs)
    for (const std::vector<double>& f : s.futures.values) {
      std::vector<double> point = d;
      point.insert(point.end(), f.begin(), f.end());
      points.push_back(std::move(point));
    }
  return points;
}

std::size_t case_count(const Study& s, const RobustOptions& o) {
  return design_count(o) * s.futures.values.size();
}

std::string robust_results(const Study& s, const std::vector<std::string>& figures,
                           const Cases& cases) {
  const std::size_t futures = s.futures.values.size(), designs = cases.points.size() / futures;
  const std::size_t columns = figures.size() + s.outputs.size();
  CsvWriter csv;
  csv.field("case");
  csv.field("design");
  csv.field("future");
  // A scale that is a lever and an uncertainty: the future's factor is
  // named future:scale:NAME.
  for (std::size_t i = 0; i < s.factors.size(); ++i) {
    bool twice = false;
    for (std::size_t l = 0; l < s.levers && i >= s.levers; ++l)
      twice |= s.factors[l].name == s.factors[i].name;
    csv.field(twice ? "future:" + s.factors[i].name : s.factors[i].name);
  }
  csv.field("status");
  for (const std::string& f : figures) csv.field(f);
  for (const Output& o : s.outputs) csv.field(o.name);
  csv.end_row();
  std::string text = std::move(csv.buffer());
  for (std::size_t c = 0; c < cases.points.size(); ++c) {
    CsvWriter row;
    row.field(case_name(c));
    row.field(numbered('d', c / futures + 1, designs));
    row.field(s.futures.names[c % futures]);
    for (std::size_t i = 0; i < s.factors.size(); ++i)
      write_factor_value(row, s.factors[i], cases.points[c][i]);
    // The status and the outputs as every study's results.csv has them.
    const std::string rest = results_row(c, cases.results[c], columns);
    text += row.buffer() + "," + rest.substr(rest.find(',') + 1);
  }
  return text;
}

void add_tables(const Study& s, const RobustOptions& o,
                const std::vector<std::vector<double>>& outputs, const Cases& /*cases*/,
                Tables& t) {
  const std::size_t futures = s.futures.values.size(), designs = outputs.size() / futures;
  const std::size_t k = s.outputs.size();
  const auto at = [&](std::size_t d, std::size_t f) -> const std::vector<double>& {
    return outputs[d * futures + f];
  };
  // Statistics over the futures a design ran in.
  std::vector<std::vector<Measures>> m(designs, std::vector<Measures>(k));
  for (std::size_t d = 0; d < designs; ++d)
    for (std::size_t j = 0; j < k; ++j) {
      std::vector<double> x;
      x.reserve(futures);
      for (std::size_t f = 0; f < futures; ++f)
        if (!std::isnan(at(d, f)[j])) x.push_back(at(d, f)[j]);
      if (!x.empty()) m[d][j].summary = summarise(x, sense_of(o, j));
    }
  // Regret (Herman et al. 2015): over the futures in which every design ran.
  for (const Goal& g : o.goals) {
    std::vector<std::size_t> complete;
    for (std::size_t f = 0; f < futures; ++f) {
      bool all = true;
      for (std::size_t d = 0; d < designs; ++d) all = all && !std::isnan(at(d, f)[g.output]);
      if (all) complete.push_back(f);
    }
    if (complete.empty()) continue;
    std::vector<std::vector<double>> outcome(designs);
    for (std::size_t d = 0; d < designs; ++d) {
      outcome[d].reserve(complete.size());
      for (std::size_t f : complete) outcome[d].push_back(at(d, f)[g.output]);
    }
    const std::vector<std::vector<double>> r =
        regrets(outcome, g.maximise ? Sense::Maximise : Sense::Minimise);
    for (std::size_t d = 0; d < designs; ++d) {
      m[d][g.output].regret_max = *std::max_element(r[d].begin(), r[d].end());
      m[d][g.output].regret_p90 = percentile(r[d], 90.0);
    }
  }
  // Satisficing: a future in which the case failed is a miss.
  std::vector<double> satisficed(designs);
  std::vector<std::vector<bool>> met(designs, std::vector<bool>(futures));
  for (std::size_t d = 0; d < designs; ++d) {
    for (std::size_t f = 0; f < futures; ++f) met[d][f] = meets(o, at(d, f));
    satisficed[d] = satisficing(met[d]);
  }
  // The rank: by the measure, better first, a design without it last, ties
  // in the designs' order.
  const auto measure = [&](std::size_t d) -> std::optional<double> {
    const Measures& x = m[d][o.rank_output];
    const bool max = sense_of(o, o.rank_output) == Sense::Maximise;
    const auto oriented = [&](double v) { return max ? -v : v; };
    switch (o.rank) {
      case RobustOptions::Measure::Satisficing:
        return -satisficed[d];
      case RobustOptions::Measure::Mean:
        if (x.summary) return oriented(x.summary->mean);
        return std::nullopt;
      case RobustOptions::Measure::P50:
        if (x.summary) return oriented(x.summary->p50);
        return std::nullopt;
      case RobustOptions::Measure::P90:
        if (x.summary) return oriented(max ? x.summary->p10 : x.summary->p90);
        return std::nullopt;
      case RobustOptions::Measure::Worst:
        if (x.summary) return oriented(x.summary->worst);
        return std::nullopt;
      case RobustOptions::Measure::RegretMax:
        return x.regret_max;
      case RobustOptions::Measure::RegretP90:
        return x.regret_p90;
    }
    return std::nullopt;
  };
  std::vector<std::size_t> order(designs);
  for (std::size_t d = 0; d < designs; ++d) order[d] = d;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const std::optional<double> x = measure(a), y = measure(b);
    if (!y) return x.has_value();
    return x && *x < *y;
  });

  CsvWriter csv;
  csv.field("rank");
  csv.field("design");
  for (std::size_t l = 0; l < s.levers; ++l) csv.field(s.factors[l].name);
  for (const char* c : {"output", "mean", "std", "p10", "p50", "p90", "worst", "regret_max",
                        "regret_p90", "satisficing"})
    csv.field(c);
  csv.end_row();
  const std::vector<std::vector<double>> points = design(s, o);
  for (std::size_t r = 0; r < designs; ++r) {
    const std::size_t d = order[r];
    for (std::size_t j = 0; j < k; ++j) {
      csv.number(static_cast<std::int64_t>(r + 1));
      csv.field(numbered('d', d + 1, designs));
      for (std::size_t l = 0; l < s.levers; ++l)
        write_factor_value(csv, s.factors[l], points[d * futures][l]);
      csv.field(s.outputs[j].name);
      const Measures& x = m[d][j];
      for (const std::optional<double> v :
           {x.summary ? std::optional<double>(x.summary->mean) : std::nullopt,
            x.summary ? std::optional<double>(x.summary->std) : std::nullopt,
            x.summary ? std::optional<double>(x.summary->p10) : std::nullopt,
            x.summary ? std::optional<double>(x.summary->p50) : std::nullopt,
            x.summary ? std::optional<double>(x.summary->p90) : std::nullopt,
            x.summary ? std::optional<double>(x.summary->worst) : std::nullopt, x.regret_max,
            x.regret_p90})
        if (v)
          csv.number(*v);
        else
          csv.field("");
      csv.number(satisficed[d]);
      csv.end_row();
    }
  }
  t.files.emplace_back(RobustOptions::kRobustness, std::move(csv.buffer()));

  // Scenario discovery (Bryant and Lempert 2010) for the most robust design
  // or the one named: where in the futures it misses its thresholds.
  const std::size_t chosen = o.discover_named ? o.discover : order.front();
  const std::string name = numbered('d', chosen + 1, designs);
  std::vector<bool> missed(futures), discrete;
  std::size_t misses = 0;
  for (std::size_t f = 0; f < futures; ++f) {
    missed[f] = !met[chosen][f];
    misses += missed[f] ? 1 : 0;
  }
  const std::size_t u_count = s.factors.size() - s.levers;
  std::vector<std::vector<double>> prim_points(futures, std::vector<double>(u_count));
  std::vector<double> low(u_count, 0.0), high(u_count, 0.0);
  for (std::size_t u = 0; u < u_count; ++u) {
    const Factor& f = s.factors[s.levers + u];
    discrete.push_back(!f.levels.empty());
    for (std::size_t i = 0; i < futures; ++i) {
      double x = s.futures.values[i][u];
      if (f.type != Factor::Type::Input && !f.levels.empty())
        x = static_cast<double>(std::find(f.levels.begin(), f.levels.end(), x) - f.levels.begin());
      prim_points[i][u] = x;
      low[u] = i == 0 ? x : std::min(low[u], x);
      high[u] = i == 0 ? x : std::max(high[u], x);
    }
  }
  CsvWriter trajectory;
  for (const char* c : {"step", "coverage", "density", "mass", "points", "chosen"})
    trajectory.field(c);
  box_header(trajectory, s);
  trajectory.end_row();
  CsvWriter box;
  for (const char* c : {"design", "coverage", "density", "mass", "points"}) box.field(c);
  box_header(box, s);
  box.end_row();
  std::string found;
  if (misses == 0) {
    found = "design " + name +
            (o.thresholds.empty() ? " has no thresholds to miss"
                                  : " meets its thresholds in every future");
  } else {
    const PrimResult p = prim(prim_points, discrete, missed, o.prim);
    for (std::size_t i = 0; i < p.trajectory.size(); ++i) {
      const PrimStep& step = p.trajectory[i];
      trajectory.number(static_cast<std::int64_t>(i));
      trajectory.number(step.coverage);
      trajectory.number(step.density);
      trajectory.number(step.mass);
      trajectory.number(static_cast<std::int64_t>(step.points));
      trajectory.number(static_cast<std::int64_t>(i == p.chosen ? 1 : 0));
      box_fields(trajectory, s, step.box);
      trajectory.end_row();
    }
    box.field(name);
    box.number(p.box.coverage);
    box.number(p.box.density);
    box.number(p.box.mass);
    box.number(static_cast<std::int64_t>(p.box.points));
    box_fields(box, s, p.box.box);
    box.end_row();
    found = "design " + name + " misses its thresholds in " +
            percent(static_cast<double>(misses) / static_cast<double>(futures)) + " of futures";
    const std::string words = box_words(s, p.box.box, low, high);
    if (!words.empty())
      found += "; " + percent(p.box.coverage) + " of those lie where " + words + " (density " +
               short_number(p.box.density) + ")";
  }
  t.files.emplace_back(RobustOptions::kTrajectory, std::move(trajectory.buffer()));
  t.files.emplace_back(RobustOptions::kBoxes, std::move(box.buffer()));
  const std::size_t best = order.front();
  if (designs == 1) {
    t.summary = "one design across " + std::to_string(futures) + " futures; " + found;
    return;
  }
  t.summary = "most robust of " + std::to_string(designs) + " designs across " +
              std::to_string(futures) + " futures by " +
              std::string(kMeasures[static_cast<std::size_t>(o.rank)]) +
              (o.rank == RobustOptions::Measure::Satisficing
                   ? ""
                   : " of " + summary_words(s.outputs[o.rank_output])) +
              ": " + numbered('d', best + 1, designs) + " (meets its thresholds in " +
              percent(satisficed[best]) + " of futures); " + found;
}

}  // namespace tds::study
