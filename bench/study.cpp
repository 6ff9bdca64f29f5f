// What the study methods add to a study's cases: the Sobol' estimators with
// their bootstrap for a 20-factor, N = 4096 study (172 032 outputs), and
// NSGA-II's bookkeeping (sorting, crowding, selection, variation) for a
// population of 100 over 250 generations, its objectives a cheap ZDT1.
#include "study.h"

#include <benchmark/benchmark.h>

#include <cmath>

#include "nsga2.h"
#include "saltelli.h"

namespace {

void sobol_analysis(benchmark::State& state) {
  const std::size_t k = 20, n = 4096;
  std::vector<double> y;
  for (const auto& u : tds::study::saltelli_design(k, n, true, false, 1)) {
    double sum = 0;
    for (std::size_t i = 0; i < k; ++i) {
      sum += static_cast<double>(i + 1) * u[i] * u[(i + 1) % k];
    }
    y.push_back(sum);
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(tds::study::sobol_indices(y, k, n, false, 1000, 0.95, 2));
  }
  state.SetLabel("sobol_indices(k 20, N 4096, 1000 resamples)");
}

void nsga2_bookkeeping(benchmark::State& state) {
  for (auto _ : state) {
    tds::study::Nsga2Options o;
    o.population = 100;
    o.generations = 250;
    tds::study::Nsga2 search(30, 2, o);
    while (!search.done()) {
      std::vector<std::vector<double>> f;
      for (const auto& x : search.ask()) {
        double sum = 0;
        for (std::size_t i = 1; i < x.size(); ++i) {
          sum += x[i];
        }
        const double g = 1 + 9 * sum / 29;
        f.push_back({x[0], g * (1 - std::sqrt(x[0] / g))});
      }
      search.tell(f, std::vector<double>(f.size(), 0));
    }
    benchmark::DoNotOptimize(search.front());
  }
  state.SetLabel("Nsga2 ask/tell, population 100, 250 generations, ZDT1");
}

}  // namespace

void register_study_benchmarks() {
  benchmark::RegisterBenchmark("study/sobol_indices", sobol_analysis)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("study/nsga2_bookkeeping", nsga2_bookkeeping)
      ->Unit(benchmark::kMillisecond);
}
