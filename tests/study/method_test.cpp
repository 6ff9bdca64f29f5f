// The method units through the study's driver, on an analytic function in
// place of the model: each method's case count is the number of cases its
// run evaluates, its tables are the method's files, an NSGA-II run replays
// in its tables; and each method's options refuse what they must, naming
// the key, as the study file's reader reports it.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <variant>
#include <vector>

#include "description.h"
#include "functions.h"
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
    if (j.contains("nsga2")) read_options<Nsga2StudyOptions>(j, s);
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
            "study.json: nsga2.epsilons[1]: must be above 0"}),
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
