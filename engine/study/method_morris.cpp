#include "method_morris.h"

#include <cstdint>
#include <utility>

#include "morris.h"
#include "seeds.h"
#include "study_file.h"
#include "study_reader.h"
#include "tables.h"

namespace tds::study {

MorrisOptions MorrisOptions::read(const Reader& options, const Reader& /*study*/,
                                  const Study& /*s*/) {
  constexpr std::size_t kMost = 100000000;
  MorrisOptions o;
  options.only({"trajectories", "levels"});
  o.trajectories = options.count("trajectories", o.trajectories, 2, kMost);
  o.levels = options.count("levels", o.levels, 2, 1000);
  if (o.levels % 2 != 0) options.fail("levels", "must be even, so that every step is as large");
  return o;
}

std::vector<std::vector<double>> design(const Study& s, const MorrisOptions& o) {
  return morris_design(s.factors.size(), o.trajectories, o.levels, stream_seed(s.seed, kDesign));
}

std::size_t case_count(const Study& s, const MorrisOptions& o) {
  return o.trajectories * (s.factors.size() + 1);
}

void add_tables(const Study& s, const MorrisOptions& /*o*/,
                const std::vector<std::vector<double>>& outputs, const Cases& cases, Tables& t) {
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
  t.files.emplace_back(MorrisOptions::kEffects, std::move(csv.buffer()));
  std::vector<double> mu_star;
  for (std::size_t i = 0; i < s.factors.size(); ++i) mu_star.push_back(effects[i][0].mu_star);
  t.summary =
      "most influential on " + summary_words(s.outputs[0]) + ": " + ranking(s, mu_star, "mu*");
}

}  // namespace tds::study
