// The method units through the study's driver, on an analytic function in
// place of the model: each method's case count is the number of cases its
// run evaluates, its tables are the method's files, an NSGA-II run replays
// in its tables; and each method's options refuse what they must, naming
// the key, as the study file's reader reports it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <variant>
#include <vector>

#include "description.h"
#include "functions.h"
#include "robustness.h"
#include "study.h"
#include "study_reader.h"

namespace tds::study {
namespace {

using nlohmann::json;

// A study of three factors and two outputs, without a model.
Study analytic_study(Method method) {
  Study s;
  s.seed = 7;
  for (const char* name : {"a", "b", "c"}) {
    Factor f;
    f.name = name;
    s.factors.push_back(f);
  }
  for (const char* name : {"y", "z"}) {
    Output o;
    o.name = name;
    s.outputs.push_back(o);
  }
  s.method = std::move(method);
  return s;
}

Method small_method(const std::string& name) {
  if (name == "morris") return MorrisOptions{4, 4};
  if (name == "sobol") return SobolOptions{16, true, true, 50, 0.9};
  if (name == "lhs") return LhsOptions{20, 5, Goal{1, true}};
  Nsga2StudyOptions o;
  o.search.population = 8;
  o.search.generations = 3;
  o.objectives = {Goal{0, false}, Goal{1, true}};
  o.constraints = {Constraint{0, 0.2, 1.5}};
  return o;
}

struct MethodCase {
  std::string name;
  std::vector<std::string> files;
};

class MethodRun : public testing::TestWithParam<MethodCase> {};

TEST_P(MethodRun, CountsItsCasesAndWritesItsTables) {
  const Study s = analytic_study(small_method(GetParam().name));
  EXPECT_STREQ(method_name(s.method), GetParam().name.c_str());
  test::FunctionEvaluator f(2, [](const std::vector<double>& u) {
    return std::vector<double>{u[0] + u[1] * u[2], test::ishigami(u)};
  });
  const Cases cases = run_cases(s, f, nullptr);
  ASSERT_EQ(cases.points.size(), case_count(s));
  if (one_batch(s.method)) {
    EXPECT_EQ(cases.points, design(s));
  }
  const Tables t = make_tables(s, {}, cases);
  std::vector<std::string> files;
  for (const auto& [name, text] : t.files) files.push_back(name);
  EXPECT_EQ(files, GetParam().files);
  // Each is a table that the method declares, which a study run again over
  // the directory removes first.
  const std::vector<std::string> declared = method_tables();
  for (const std::string& name : files) {
    EXPECT_TRUE(name == kSamplesFile || name == kResultsFile ||
                std::find(declared.begin(), declared.end(), name) != declared.end())
        << name;
  }
  EXPECT_FALSE(t.summary.empty());
  // The same cases give the same bytes: the tables depend on them alone.
  const Tables again = make_tables(s, {}, cases);
  EXPECT_EQ(again.files, t.files);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, MethodRun,
    testing::Values(MethodCase{"morris", {"samples.csv", "results.csv", "effects.csv"}},
                    MethodCase{"sobol",
                               {"samples.csv", "results.csv", "indices.csv", "indices2.csv"}},
                    MethodCase{"lhs", {"samples.csv", "results.csv", "best.csv", "optim.out"}},
                    MethodCase{"nsga2",
                               {"samples.csv", "results.csv", "pareto.csv", "population.csv",
                                "convergence.csv", "optim.out"}}),
    [](const testing::TestParamInfo<MethodCase>& info) { return info.param.name; });

// The rows of a CSV text, each split at its commas (the tables below quote
// nothing).
std::vector<std::vector<std::string>> rows_of(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    std::vector<std::string> row;
    for (std::size_t at = start;;) {
      const std::size_t comma = text.find(',', at);
      if (comma == std::string::npos || comma > end) {
        row.push_back(text.substr(at, end - at));
        break;
      }
      row.push_back(text.substr(at, comma - at));
      at = comma + 1;
    }
    rows.push_back(std::move(row));
    start = end + 1;
  }
  return rows;
}

// An NSGA-II study's archive: without epsilons its front only grows in
// hypervolume, each generation's entered and left designs account for the
// change in its size, its last size is pareto.csv's, and every evaluation
// is counted; with epsilons the front is no larger.
TEST(Nsga2Tables, ConvergenceFollowsTheArchive) {
  std::size_t unthinned = 0;
  for (const bool thinned : {false, true}) {
    SCOPED_TRACE(thinned);
    Study s = analytic_study(small_method("nsga2"));
    auto& o = std::get<Nsga2StudyOptions>(s.method);
    o.search.population = 12;
    o.search.generations = 8;
    o.constraints.clear();
    if (thinned) o.epsilons = {0.2, 1};
    test::FunctionEvaluator f(2, [](const std::vector<double>& u) {
      return std::vector<double>{u[0] + u[1] * u[2], test::ishigami(u)};
    });
    const Cases cases = run_cases(s, f, nullptr);
    const Tables t = make_tables(s, {}, cases);
    const auto file = [&](const std::string& name) {
      for (const auto& [n, text] : t.files)
        if (n == name) return rows_of(text);
      ADD_FAILURE() << name;
      return std::vector<std::vector<std::string>>{};
    };
    const auto pareto = file("pareto.csv");
    const auto convergence = file("convergence.csv");
    ASSERT_EQ(convergence.size(), o.search.generations + 2);
    EXPECT_EQ(convergence[0], (std::vector<std::string>{"generation", "evaluations", "front",
                                                        "entered", "left", "hypervolume", "ideal:y",
                                                        "reference:y", "ideal:z", "reference:z"}));
    double before = 0;
    std::size_t size = 0;
    for (std::size_t g = 1; g < convergence.size(); ++g) {
      const auto& r = convergence[g];
      EXPECT_EQ(std::stoul(r[1]), g * o.search.population);
      EXPECT_EQ(size + std::stoul(r[3]) - std::stoul(r[4]), std::stoul(r[2]));
      size = std::stoul(r[2]);
      const double volume = std::stod(r[5]);
      EXPECT_GE(volume, 0);
      EXPECT_LE(volume, 1);
      if (!thinned) {
        EXPECT_GE(volume, before);
      }
      before = volume;
    }
    EXPECT_GT(before, 0.3);
    EXPECT_EQ(size, pareto.size() - 1);
    if (thinned) {
      EXPECT_LT(size, unthinned);
    } else {
      unthinned = size;
    }
  }
}

// A robust search on the analytic study: levers a and b, the uncertainty c,
// seven futures. Its objectives are the 90th percentile of y and
// satisficing (z at least 1), which pull apart, its constraint the worst of
// z at most 2.5;
// the cases with a below 0.15 fail in the futures with c above 0.8.
Study robust_search() {
  Study s = analytic_study(MorrisOptions{});
  s.levers = 2;
  s.value_points = true;
  for (std::size_t f = 0; f < 7; ++f) {
    s.futures.names.push_back(numbered('f', f + 1, 7));
    s.futures.values.push_back({static_cast<double>(f) / 6.0});
  }
  Nsga2StudyOptions o;
  o.search.population = 10;
  o.search.generations = 6;
  o.objectives = {Goal{0, false}, Goal{0, true}};
  o.objective_statistics = {Statistic::P90, Statistic::Satisficing};
  o.constraints = {Constraint{1, -std::numeric_limits<double>::infinity(), 2.5}};
  o.constraint_statistics = {Statistic::Worst};
  o.thresholds = {Constraint{1, 1.0, std::numeric_limits<double>::infinity()}};
  s.method = o;
  return s;
}

// The rows of a CSV text as maps of its header's names, after the header.
std::vector<std::map<std::string, std::string>> records_of(const std::string& text) {
  const auto rows = rows_of(text);
  std::vector<std::map<std::string, std::string>> records;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    std::map<std::string, std::string> record;
    for (std::size_t c = 0; c < rows[0].size() && c < rows[r].size(); ++c)
      record[rows[0][c]] = rows[r][c];
    records.push_back(std::move(record));
  }
  return records;
}

// Each design of pareto.csv and population.csv, its measures recomputed
// from its rows of results.csv (its levers, every future in order), is
// exactly as reported; no design that failed in a future is among them; and
// every generation's designs met every future.
TEST(RobustSearch, MeasuresAreThoseOfTheResults) {
  const Study s = robust_search();
  test::FunctionEvaluator f(2, [](const std::vector<double>& x) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    if (x[0] < 0.15 && x[2] > 0.8) return std::vector<double>{kNan, kNan};
    return std::vector<double>{x[0] + x[1] * x[2] + 0.5 * x[2], 3 * x[1] * x[2] + x[0]};
  });
  const Cases cases = run_cases(s, f, nullptr);
  ASSERT_EQ(cases.points.size(), case_count(s));
  ASSERT_EQ(cases.points.size(), 10U * 7U * 7U);
  const Tables t = make_tables(s, {}, cases);
  std::map<std::string, std::string> files(t.files.begin(), t.files.end());
  const auto results = records_of(files["results.csv"]);
  ASSERT_EQ(results.size(), cases.points.size());
  std::map<std::string, std::vector<const std::map<std::string, std::string>*>> of_design;
  for (const auto& r : results) of_design[r.at("design")].push_back(&r);
  EXPECT_EQ(of_design.size(), 70U);
  const auto number = [](const std::string& x) { return std::stod(x); };
  std::size_t checked = 0;
  for (const char* table : {"pareto.csv", "population.csv"}) {
    SCOPED_TRACE(table);
    const auto rows = rows_of(files[table]);
    ASSERT_EQ(rows[0], (std::vector<std::string>{"design", "a", "b", "p90:y", "satisficing",
                                                 "worst:z", "knee"}));
    const auto designs = records_of(files[table]);
    EXPECT_FALSE(designs.empty());
    std::size_t knees = 0;
    for (const auto& d : designs) {
      SCOPED_TRACE(d.at("design"));
      const auto& futures = of_design.at(d.at("design"));
      ASSERT_EQ(futures.size(), 7U);
      std::vector<double> y, z;
      std::size_t met = 0;
      for (std::size_t i = 0; i < futures.size(); ++i) {
        const auto& r = *futures[i];
        EXPECT_EQ(r.at("future"), s.futures.names[i]);
        EXPECT_EQ(r.at("a"), d.at("a"));
        EXPECT_EQ(r.at("b"), d.at("b"));
        ASSERT_EQ(r.at("status"), "ok");
        ASSERT_NE(r.at("y"), "nan");
        y.push_back(number(r.at("y")));
        z.push_back(number(r.at("z")));
        met += z.back() >= 1.0 ? 1 : 0;
      }
      EXPECT_EQ(number(d.at("p90:y")), percentile(y, 90));
      EXPECT_EQ(number(d.at("satisficing")), static_cast<double>(met) / 7.0);
      EXPECT_EQ(number(d.at("worst:z")), *std::max_element(z.begin(), z.end()));
      EXPECT_LE(number(d.at("worst:z")), 2.5);
      knees += d.at("knee") == "1" ? 1 : 0;
      ++checked;
    }
    EXPECT_EQ(knees, 1U);
  }
  EXPECT_GT(checked, 4U);
  // Some designs failed in a future, and were kept out.
  EXPECT_TRUE(std::any_of(results.begin(), results.end(),
                          [](const auto& r) { return r.at("y") == "nan"; }));
  const auto convergence = rows_of(files["convergence.csv"]);
  EXPECT_EQ(convergence[0][6], "ideal:p90:y");
  EXPECT_EQ(convergence[0][8], "ideal:satisficing");
  EXPECT_NE(t.summary.find("across 7 futures; knee d"), std::string::npos) << t.summary;
  EXPECT_EQ(make_tables(s, {}, cases).files, t.files);
}

// Reads the options of `method` from a study object, as the study file does.
template <class Options>
Options read_options(const json& study, const Study& s) {
  static const std::string source = "study.json";
  const Reader top(study, "", source);
  return Options::read(top.member(Options::kName), top, s);
}

struct Refusal {
  std::string what;
  json study;
  std::string message;
};

class OptionsRefuse : public testing::TestWithParam<Refusal> {};

TEST_P(OptionsRefuse, NamingTheKey) {
  const Study s = analytic_study(MorrisOptions{});
  const json& j = GetParam().study;
  try {
    if (j.contains("morris")) read_options<MorrisOptions>(j, s);
    if (j.contains("sobol")) {
      Study one = s;
      if (j.value("one_factor", false)) one.factors.resize(1);
      read_options<SobolOptions>(j, one);
    }
    if (j.contains("lhs")) read_options<LhsOptions>(j, s);
    if (j.contains("nsga2"))
      read_options<Nsga2StudyOptions>(j, j.value("futures", false) ? robust_search() : s);
    ADD_FAILURE() << "accepted";
  } catch (const InputError& e) {
    EXPECT_EQ(e.what(), GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Methods, OptionsRefuse,
    testing::Values(
        Refusal{"MorrisOneTrajectory",
                {{"morris", {{"trajectories", 1}}}},
                "study.json: morris.trajectories: must be a whole number from 2 to 100000000"},
        Refusal{"MorrisUnknownKey",
                {{"morris", {{"level", 4}}}},
                "study.json: morris: unknown key \"level\" (nearest: levels, trajectories)"},
        Refusal{"SobolConfidence",
                {{"sobol", {{"confidence", 1.0}}}},
                "study.json: sobol.confidence: must lie between 0 and 1"},
        Refusal{"SobolOneFactor",
                {{"sobol", json::object()}, {"one_factor", true}},
                "study.json: factors: a Sobol' study needs two factors or more"},
        Refusal{"LhsNoObjective",
                {{"lhs", {{"samples", 10}}}},
                "study.json: lhs.objective: is missing"},
        Refusal{"LhsGoal",
                {{"lhs", {{"objective", {{"output", "y"}, {"goal", "max"}}}}}},
                "study.json: lhs.objective.goal: 'max' is not minimise or maximise"},
        Refusal{"Nsga2OddPopulation",
                {{"nsga2", {{"population", 9}}}},
                "study.json: nsga2.population: must be even"},
        Refusal{"Nsga2Mutation",
                {{"nsga2", {{"mutation", 2}}}},
                "study.json: nsga2.mutation: must lie from 0 to 1"},
        Refusal{"Nsga2ConstraintBounds",
                {{"nsga2",
                  {{"objectives", {{{"output", "y"}}, {{"output", "z"}}}},
                   {"constraints", {{{"output", "z"}, {"min", 2}, {"max", 1}}}}}}},
                "study.json: nsga2.constraints[0].max: must not be below \"min\""},
        Refusal{"Nsga2EpsilonsPerObjective",
                {{"nsga2",
                  {{"objectives", {{{"output", "y"}}, {{"output", "z"}}}}, {"epsilons", {0.1}}}}},
                "study.json: nsga2.epsilons: needs one per objective (2), not 1"},
        Refusal{
            "Nsga2EpsilonZero",
            {{"nsga2",
              {{"objectives", {{{"output", "y"}}, {{"output", "z"}}}}, {"epsilons", {0.1, 0}}}}},
            "study.json: nsga2.epsilons[1]: must be above 0"},
        Refusal{"RobustSearchRegret",
                {{"nsga2",
                  {{"objectives",
                    {{{"output", "y"}}, {{"output", "z"}, {"statistic", "regret_max"}}}}}},
                 {"futures", true}},
                "study.json: nsga2.objectives[1].statistic: 'regret_max' compares a design with "
                "the others evaluated beside it, which change in a search; give mean, std, p10, "
                "p50, p90, worst or satisficing"},
        Refusal{"RobustSearchSatisficingWithoutThresholds",
                {{"nsga2", {{"objectives", {{{"output", "y"}}, {{"statistic", "satisficing"}}}}}},
                 {"futures", true}},
                "study.json: nsga2.objectives[1].statistic: satisficing needs \"thresholds\" "
                "beside the objectives"},
        Refusal{
            "RobustSearchSatisficingOfAnOutput",
            {{"nsga2",
              {{"objectives", {{{"output", "y"}}, {{"output", "z"}, {"statistic", "satisficing"}}}},
               {"thresholds", {{{"output", "y"}, {"max", 1}}}}}},
             {"futures", true}},
            "study.json: nsga2.objectives[1].output: satisficing counts every threshold; it "
            "takes no output"},
        Refusal{"RobustSearchUnknownStatistic",
                {{"nsga2",
                  {{"objectives", {{{"output", "y"}}, {{"output", "z"}, {"statistic", "p95"}}}}}},
                 {"futures", true}},
                "study.json: nsga2.objectives[1].statistic: 'p95' is not a statistic (nearest: "
                "p90)"},
        Refusal{"RobustSearchThresholdOfAnUnknownOutput",
                {{"nsga2",
                  {{"objectives", {{{"output", "y"}}, {{"statistic", "satisficing"}}}},
                   {"thresholds", {{{"output", "w"}, {"max", 1}}}}}},
                 {"futures", true}},
                "study.json: nsga2.thresholds[0].output: unknown output w (nearest: y, z)"},
        Refusal{"StatisticWithoutFutures",
                {{"nsga2",
                  {{"objectives", {{{"output", "y"}, {"statistic", "p90"}}, {{"output", "z"}}}}}}},
                "study.json: nsga2.objectives[0].statistic: needs futures (a study of levers, "
                "uncertainties and futures)"},
        Refusal{"ConstraintStatisticWithoutFutures",
                {{"nsga2",
                  {{"objectives", {{{"output", "y"}}, {{"output", "z"}}}},
                   {"constraints", {{{"output", "z"}, {"statistic", "worst"}, {"max", 1}}}}}}},
                "study.json: nsga2.constraints[0].statistic: needs futures (a study of levers, "
                "uncertainties and futures)"},
        Refusal{"ThresholdsWithoutFutures",
                {{"nsga2",
                  {{"objectives", {{{"output", "y"}}, {{"output", "z"}}}},
                   {"thresholds", {{{"output", "y"}, {"max", 1}}}}}}},
                "study.json: nsga2.thresholds: needs futures (a study of levers, uncertainties "
                "and futures)"}),
    [](const testing::TestParamInfo<Refusal>& info) { return info.param.what; });

TEST(MethodOptions, DefaultsWhenTheMethodHasNoObject) {
  const Study s = analytic_study(MorrisOptions{});
  const MorrisOptions m = read_options<MorrisOptions>(json::object(), s);
  EXPECT_EQ(m.trajectories, 10U);
  EXPECT_EQ(m.levels, 4U);
  const SobolOptions o = read_options<SobolOptions>(json::object(), s);
  EXPECT_EQ(o.n, 1024U);
  EXPECT_TRUE(o.scrambled);
  EXPECT_FALSE(o.second_order);
  EXPECT_EQ(o.resamples, 1000U);
  EXPECT_EQ(o.confidence, 0.95);
}

}  // namespace
}  // namespace tds::study
