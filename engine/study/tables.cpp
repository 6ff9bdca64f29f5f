#include "tables.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <string>

namespace tds::study {

std::string case_name(std::size_t index) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "c%06zu", index + 1);
  return buffer;
}

std::string numbered(char prefix, std::size_t n, std::size_t count) {
  const int width = std::max(3, static_cast<int>(std::to_string(count).size()));
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%c%0*zu", prefix, width, n);
  return buffer;
}

std::vector<double> factor_values(const Study& s, const std::vector<double>& point) {
  std::vector<double> values;
  for (std::size_t i = 0; i < s.factors.size(); ++i) values.push_back(point_value(s, i, point[i]));
  return values;
}

void write_factor_value(CsvWriter& csv, const Factor& f, double x) {
  if (f.type == Factor::Type::Input)
    csv.field(f.paths[static_cast<std::size_t>(x)]);
  else if (f.type == Factor::Type::Int)
    csv.number(static_cast<std::int64_t>(x));
  else
    csv.number(x);
}

void design_header(CsvWriter& csv, const Study& s) {
  csv.field("case");
  for (const Factor& f : s.factors) csv.field(f.name);
  for (const Output& o : s.outputs) csv.field(o.name);
}

void design_fields(CsvWriter& csv, const Study& s, std::size_t index,
                   const std::vector<double>& point, const std::vector<double>& outputs) {
  csv.field(case_name(index));
  const std::vector<double> values = factor_values(s, point);
  for (std::size_t i = 0; i < values.size(); ++i) write_factor_value(csv, s.factors[i], values[i]);
  for (double v : outputs) csv.number(v);
}

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

std::string short_number(double x) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3g", x);
  return buffer;
}

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
    text += (r ? ", " : "") + summary_words(s.factors[order[r]]) + " (" + label + " " +
            short_number(measure[order[r]]) + ")";
  return text;
}

}  // namespace tds::study
