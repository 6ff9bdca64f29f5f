// Writes what the OpenTURNS oracle checks: Saltelli designs (plain and
// scrambled), a function's outputs on them and our indices, the plain
// sequence's first points, a Latin hypercube, as text tables of %.17g numbers.
// Usage: study_oracle_sample DIR
#include <cstdio>
#include <string>
#include <vector>

#include "functions.h"
#include "lhs.h"
#include "saltelli.h"

namespace {

bool write_table(const std::string& path, const std::vector<std::vector<double>>& rows) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    return false;
  }
  bool ok = true;
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      ok = ok && std::fprintf(file, c + 1 < row.size() ? "%.17g " : "%.17g\n", row[c]) > 0;
    }
  }
  return std::fclose(file) == 0 && ok;
}

// Ishigami in the first three factors plus a linear fourth.
double function(const std::vector<double>& u) { return tds::study::test::ishigami(u) + 2 * u[3]; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: study_oracle_sample DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::size_t k = 4, n = 1000;
  bool ok = true;
  for (const bool scrambled : {false, true}) {
    const std::string name = dir + (scrambled ? "/scrambled-" : "/plain-");
    const auto design = tds::study::saltelli_design(k, n, scrambled, false, 17);
    std::vector<std::vector<double>> outputs;
    std::vector<double> y;
    for (const auto& u : design) {
      y.push_back(function(u));
      outputs.push_back({y.back()});
    }
    const auto s = tds::study::sobol_indices(y, k, n, false, 0, 0.95, 1);
    std::vector<std::vector<double>> indices(2);
    for (std::size_t i = 0; i < k; ++i) {
      indices[0].push_back(s.first[i].value);
      indices[1].push_back(s.total[i].value);
    }
    ok = ok && write_table(name + "design.txt", design) &&
         write_table(name + "output.txt", outputs) && write_table(name + "indices.txt", indices);
  }
  // The plain two-dimensional sequence: A's column and B's column.
  const std::size_t points = 256;
  const auto sequence = tds::study::saltelli_design(1, points, false, false, 0);
  std::vector<std::vector<double>> rows;
  for (std::size_t j = 0; j < points; ++j) {
    rows.push_back({sequence[j][0], sequence[points + j][0]});
  }
  ok = ok && write_table(dir + "/sequence.txt", rows) &&
       write_table(dir + "/lhs.txt", tds::study::lhs_design(5, 200, 3));
  if (!ok) {
    std::fprintf(stderr, "study_oracle_sample: cannot write to %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
