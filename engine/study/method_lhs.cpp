#include "method_lhs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include "lhs.h"
#include "seeds.h"
#include "study_file.h"
#include "study_reader.h"
#include "tables.h"

namespace tds::study {

LhsOptions LhsOptions::read(const Reader& options, const Reader& /*study*/, const Study& s) {
  constexpr std::size_t kMost = 100000000;
  LhsOptions o;
  options.only({"samples", "objective", "best"});
  o.samples = options.count("samples", o.samples, 2, kMost);
  o.best = options.count("best", o.best, 1, kMost);
  if (!options.has("objective")) options.fail("objective", "is missing");
  o.objective = read_goal(options.member("objective"), s);
  return o;
}

std::vector<std::vector<double>> design(const Study& s, const LhsOptions& o) {
  return lhs_design(s.factors.size(), o.samples, stream_seed(s.seed, kDesign));
}

std::size_t case_count(const Study& /*s*/, const LhsOptions& o) { return o.samples; }

void add_tables(const Study& s, const LhsOptions& o,
                const std::vector<std::vector<double>>& outputs, const Cases& cases, Tables& t) {
  const std::size_t j = o.objective.output;
  // Better first: a smaller (or, maximised, larger) objective, then the
  // earlier case; failed cases are left out.
  const auto better = [&](std::size_t a, std::size_t b) {
    const double x = outputs[a][j], y = outputs[b][j];
    if (x != y) return o.objective.maximise ? x > y : x < y;
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
  for (std::size_t r = 0; r < std::min(ok.size(), o.best); ++r) {
    csv.number(static_cast<std::int64_t>(r + 1));
    design_fields(csv, s, ok[r], cases.points[ok[r]], outputs[ok[r]]);
    csv.end_row();
  }
  t.files.emplace_back(LhsOptions::kBest, std::move(csv.buffer()));
  // optim.out: the best design so far after each sample, the last line the
  // best of all.
  std::string optim = optim_header(s);
  std::size_t best = outputs.size();
  for (std::size_t c = 0; c < outputs.size(); ++c) {
    if (std::isnan(outputs[c][j])) continue;
    if (best == outputs.size() || better(c, best)) best = c;
    optim += optim_line(s, cases.points[best], outputs[best]);
  }
  t.files.emplace_back(LhsOptions::kOptim, std::move(optim));
  t.summary = best == outputs.size()
                  ? "no case succeeded"
                  : "best of " + std::to_string(ok.size()) + " designs for " +
                        summary_words(s.outputs[j]) + ": " + case_name(best) + " (" +
                        with_unit(short_number(outputs[best][j]), s.outputs[j].unit) + ")";
}

}  // namespace tds::study
