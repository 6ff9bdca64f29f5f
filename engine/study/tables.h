// A study's tables: the cases they are made from, the files they are, and
// the rows and words that every method's tables share (a design's row, a
// line of optim.out, a ranking of the factors for the summary).
//
// The tables are a function of the study and its cases alone (the points
// evaluated and their results), so that a study run in shards and merged
// gives the bytes of one run on one machine.
#ifndef TDS_ENGINE_STUDY_TABLES_H
#define TDS_ENGINE_STUDY_TABLES_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "csv.h"
#include "evaluate.h"
#include "run.h"
#include "study_file.h"

namespace tds::study {

// The cases of a study in their order: each point in unit coordinates and
// its evaluation. An evaluation's outputs are the figure columns (see
// figure_columns) followed by the study's outputs; a failed one has none.
struct Cases {
  std::vector<std::vector<double>> points;
  std::vector<Evaluation> results;
};

// "c000001" for the case of index 0.
std::string case_name(std::size_t index);
// The name of the n-th (from 1) of `count` things: the prefix, then n with
// as many digits as count has, at least three ("d001", "f0042").
std::string numbered(char prefix, std::size_t n, std::size_t count);

// The study's output files (name, text) in a fixed order, and a line that
// sums them up (the most influential factors, the best design, the front).
struct Tables {
  std::vector<std::pair<std::string, std::string>> files;
  std::string summary;
};

// The factors' values at a point.
std::vector<double> factor_values(const Study& s, const std::vector<double>& point);
// A factor's value in a CSV row: an int's as a whole number, an input's as
// its per-day table's name.
void write_factor_value(CsvWriter& csv, const Factor& f, double x);

// A design's row of a table: case, the factors' values, the study's outputs;
// and the header of those columns.
void design_header(CsvWriter& csv, const Study& s);
void design_fields(CsvWriter& csv, const Study& s, std::size_t index,
                   const std::vector<double>& point, const std::vector<double>& outputs);

// optim.out: a header line of names, then lines of space-separated numbers:
// the factors' values and the study's outputs of a design.
std::string optim_header(const Study& s);
std::string optim_line(const Study& s, const std::vector<double>& point,
                       const std::vector<double>& outputs);

// A short number for the summary line ("%.3g").
std::string short_number(double x);

// A factor or output as the summary line names it: its words, or its name
// when a study was made without them.
template <class T>
std::string summary_words(const T& x) {
  return in_sentence(x.label.empty() ? x.name : x.label);
}

// The first three factors in order of a measure, largest first, ties in the
// study's order, each with "(<label> <value>)".
std::string ranking(const Study& s, const std::vector<double>& measure, const char* label);

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_TABLES_H
