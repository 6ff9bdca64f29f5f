// Writes what the NumPy and scikit-learn second opinions check, as text
// tables of %.17g numbers: sets of values with our percentiles and summaries
// of them, and the planted-box futures with the box PRIM finds in them.
// Usage: study_robust_sample DIR
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "planted.h"
#include "prim.h"
#include "robustness.h"

namespace {

using tds::study::Random;

// Appends numbers as text, formatted by printf.
template <typename... Args>
void add(std::string& text, const char* format, Args... args) {
  char buffer[256];
  const int length = std::snprintf(buffer, sizeof buffer, format, args...);
  text.append(buffer, static_cast<std::size_t>(length));
}

bool write_text(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    return false;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && ok;
}

bool write_percentiles(const std::string& dir) {
  Random random(2015);
  const std::vector<std::size_t> sizes{1, 2, 3, 10, 301, 1000};
  std::vector<double> ps{0,  0.5,  1,  2.5, 5,  10,   12.5, 25, 33.3,
                         50, 66.7, 75, 90,  95, 97.5, 99,   100};
  for (int i = 0; i < 50; ++i) {
    ps.push_back(random.unit() * 100);
  }
  std::string out, summaries;
  for (std::size_t set = 0; set < sizes.size(); ++set) {
    std::vector<double> values(sizes[set]);
    for (std::size_t i = 0; i < values.size(); ++i) {
      // Every third value a whole number, so that ties occur.
      const double x = random.unit() * 200 - 100;
      values[i] = i % 3 == 2 ? std::trunc(x / 8) : x;
    }
    std::string file;
    for (const double v : values) {
      add(file, "%.17g\n", v);
    }
    if (!write_text(dir + "/values-" + std::to_string(set) + ".txt", file)) {
      return false;
    }
    for (const double p : ps) {
      add(out, "%zu %.17g %.17g\n", set, p, tds::study::percentile(values, p));
    }
    const auto s = tds::study::summarise(values, tds::study::Sense::Minimise);
    add(summaries, "%zu %.17g %.17g %.17g %.17g %.17g %.17g\n", set, s.mean, s.std, s.p10, s.p50,
        s.p90, s.worst);
  }
  return write_text(dir + "/percentiles.txt", out) && write_text(dir + "/summaries.txt", summaries);
}

bool write_prim(const std::string& dir) {
  const auto p = tds::study::test::planted_box(5000, 31);
  tds::study::PrimOptions options;
  options.density = 0.9;
  const auto r = tds::study::prim(p.points, p.discrete, p.failed, options);
  std::string points, box;
  for (std::size_t i = 0; i < p.points.size(); ++i) {
    for (const double x : p.points[i]) {
      add(points, "%.17g ", x);
    }
    add(points, "%d\n", p.failed[i] ? 1 : 0);
  }
  for (std::size_t k = 0; k < p.discrete.size(); ++k) {
    add(box, "%.17g %.17g %d\n", r.box.box.low[k], r.box.box.high[k],
        r.box.box.restricted[k] ? 1 : 0);
  }
  std::printf("PRIM box: coverage %.3f density %.3f mass %.3f after %zu of %zu steps\n",
              r.box.coverage, r.box.density, r.box.mass, r.chosen, r.trajectory.size() - 1);
  return write_text(dir + "/prim-points.txt", points) && write_text(dir + "/prim-box.txt", box);
}

// PRIM over 100 000 futures of 10 uncertainties, timed.
void time_prim() {
  Random random(99);
  const std::size_t n = 100000, k = 10;
  std::vector<std::vector<double>> points(n, std::vector<double>(k));
  std::vector<bool> failed(n);
  for (std::size_t i = 0; i < n; ++i) {
    for (auto& x : points[i]) {
      x = random.unit();
    }
    failed[i] = (points[i][3] < 0.4 && points[i][7] > 0.5) != (random.below(100) < 3);
  }
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu = std::clock();
  const auto r = tds::study::prim(points, std::vector<bool>(k, false), failed);
  const double cpu_seconds = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("PRIM over %zu futures of %zu uncertainties: %zu steps in %.3f s (%.3f s of CPU)\n",
              n, k, r.trajectory.size() - 1, took.count(), cpu_seconds);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: study_robust_sample DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  if (!write_percentiles(dir) || !write_prim(dir)) {
    std::fprintf(stderr, "study_robust_sample: cannot write to %s\n", dir.c_str());
    return 1;
  }
  time_prim();
  return 0;
}
