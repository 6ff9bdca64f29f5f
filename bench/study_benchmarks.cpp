// What the study methods add to a study's cases: the Sobol' estimators with
// their bootstrap for a 20-factor, N = 4096 study (172 032 outputs),
// NSGA-II's bookkeeping (sorting, crowding, selection, variation) for a
// population of 100 over 250 generations, its objectives a cheap ZDT1, and
// the tables of a study whose cases were recorded by tarvello-run.
#include "study_benchmarks.h"

#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "csv.h"
#include "input.h"
#include "nsga2.h"
#include "saltelli.h"
#include "study.h"

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

// A study and its cases as tarvello-run recorded them.
struct RecordedStudy {
  tds::study::Study study;
  std::vector<std::string> figures;
  tds::study::Cases cases;
};

// Reads a one-batch study's file and the results.csv that tarvello-run wrote
// for it; a robust study's rows name each case's design and future and their
// values before the status and outputs, which are read as every study's.
// Throws what the readers throw, or std::runtime_error.
std::unique_ptr<RecordedStudy> read_recorded(const StudySite& site, const std::string& study_path,
                                             const std::string& results_path) {
  namespace st = tds::study;
  auto r = std::make_unique<RecordedStudy>();
  const std::filesystem::path folder = std::filesystem::path(study_path).parent_path();
  r->study =
      st::parse_study(tds::read_text_file(study_path, "study file"), study_path, *site.description,
                      *site.plan, *site.scenario, [&folder](const std::string& name) {
                        return tds::read_text_file((folder / name).string(), "file");
                      });
  if (!st::one_batch(r->study.method))
    throw std::runtime_error(study_path + ": not a study of one batch");
  r->figures = st::figure_columns(*site.plan);
  const std::size_t columns = r->figures.size() + r->study.outputs.size();
  const bool robust = std::holds_alternative<st::RobustOptions>(r->study.method);
  const std::size_t named = robust ? 2 + r->study.factors.size() : 0;
  const tds::CsvTable table =
      tds::parse_csv(tds::read_text_file(results_path, "results"), results_path);
  r->cases.points = st::design(r->study);
  r->cases.results.resize(table.rows.size());
  for (const tds::CsvTable::Row& row : table.rows) {
    std::vector<std::string> fields{row.fields[0]};
    fields.insert(fields.end(), row.fields.begin() + static_cast<long>(1 + named),
                  row.fields.end());
    auto [index, e] =
        st::parse_results_row(fields, columns, results_path + ":" + std::to_string(row.line));
    r->cases.results.at(index) = std::move(e);
  }
  if (r->cases.results.size() != r->cases.points.size())
    throw std::runtime_error(results_path + ": " + std::to_string(r->cases.results.size()) +
                             " cases, not the study's " + std::to_string(r->cases.points.size()));
  return r;
}

// The study's tables from its recorded cases, in memory: samples.csv,
// results.csv and the method's (for a robust study its measures of every
// design and the scenario discovery), as tarvello-run makes them once the
// cases are done.
void recorded_tables(benchmark::State& state,
                     const std::function<const StudySite*(benchmark::State&)>& site,
                     const std::string& study_path, const std::string& results_path) {
  static std::unique_ptr<RecordedStudy> recorded;
  if (!recorded) {
    const StudySite* where = site(state);
    if (where == nullptr) return;
    try {
      recorded = read_recorded(*where, study_path, results_path);
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      return;
    }
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(
        tds::study::make_tables(recorded->study, recorded->figures, recorded->cases));
  state.SetLabel("make_tables of " + std::to_string(recorded->cases.points.size()) +
                 " recorded cases (" + tds::study::method_name(recorded->study.method) + ")");
}

}  // namespace

void register_study_benchmarks(const std::function<const StudySite*(benchmark::State&)>& site) {
  benchmark::RegisterBenchmark("study/sobol_indices", sobol_analysis)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("study/nsga2_bookkeeping", nsga2_bookkeeping)
      ->Unit(benchmark::kMillisecond);
  // A study that tarvello-run has run, named by bench/study.py: its file and
  // results.csv.
  const char* study = std::getenv("TDS_BENCH_STUDY");
  const char* results = std::getenv("TDS_BENCH_RESULTS");
  if (study != nullptr && results != nullptr)
    benchmark::RegisterBenchmark("study/recorded_tables", [site, s = std::string(study),
                                                           r = std::string(results)](
                                                              benchmark::State& state) {
      recorded_tables(state, site, s, r);
    })->Unit(benchmark::kMillisecond);
}
