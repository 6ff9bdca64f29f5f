#include "method_sobol.h"

#include <string>
#include <utility>

#include "saltelli.h"
#include "seeds.h"
#include "study_file.h"
#include "study_reader.h"
#include "tables.h"

namespace tds::study {

SobolOptions SobolOptions::read(const Reader& options, const Reader& study, const Study& s) {
  constexpr std::size_t kMost = 100000000;
  SobolOptions o;
  options.only({"n", "scrambled", "second_order", "resamples", "confidence"});
  o.n = options.count("n", o.n, 2, kMost);
  if ((o.n & (o.n - 1)) != 0) options.fail("n", std::to_string(o.n) + " is not a power of two");
  o.scrambled = options.flag("scrambled", o.scrambled);
  o.second_order = options.flag("second_order", o.second_order);
  o.resamples = options.count("resamples", o.resamples, 0, 1000000);
  o.confidence = options.number("confidence", o.confidence);
  if (!(o.confidence > 0.0 && o.confidence < 1.0))
    options.fail("confidence", "must lie between 0 and 1");
  if (s.factors.size() < 2) study.fail("factors", "a Sobol' study needs two factors or more");
  return o;
}

std::vector<std::vector<double>> design(const Study& s, const SobolOptions& o) {
  return saltelli_design(s.factors.size(), o.n, o.scrambled, o.second_order,
                         stream_seed(s.seed, kDesign));
}

std::size_t case_count(const Study& s, const SobolOptions& o) {
  const std::size_t k = s.factors.size();
  return o.n * (o.second_order ? 2 * k + 2 : k + 2);
}

void add_tables(const Study& s, const SobolOptions& o,
                const std::vector<std::vector<double>>& outputs, const Cases& /*cases*/,
                Tables& t) {
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
    const SobolIndices x = sobol_indices(column, s.factors.size(), o.n, o.second_order, o.resamples,
                                         o.confidence, stream_seed(s.seed, kBootstrap + j));
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
    if (o.second_order)
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
  t.files.emplace_back(SobolOptions::kIndices, std::move(csv.buffer()));
  if (o.second_order) t.files.emplace_back(SobolOptions::kIndices2, std::move(second.buffer()));
  t.summary = "largest total effects on " + summary_words(s.outputs[0]) + ": " +
              ranking(s, total_first, "ST");
}

}  // namespace tds::study
