// NSGA-II against pagmo's on ZDT1 and ZDT2 (30 variables): the same
// population, generations and variation settings, the fronts' hypervolumes
// within 1 %; the two-objective hypervolume against pagmo's; and the
// hypervolume of any number of objectives against pagmo's, on random clouds
// and on the archive of a three-objective search after each generation.
#include <gtest/gtest.h>

#include <pagmo/algorithm.hpp>
#include <pagmo/algorithms/nsga2.hpp>
#include <pagmo/population.hpp>
#include <pagmo/problem.hpp>
#include <pagmo/problems/dtlz.hpp>
#include <pagmo/problems/zdt.hpp>
#include <pagmo/utils/hypervolume.hpp>
#include <pagmo/utils/multi_objective.hpp>

#include "archive.h"
#include "functions.h"
#include "hypervolume.h"
#include "nsga2.h"

namespace tds::study::test {
namespace {

constexpr std::size_t kPopulation = 100, kGenerations = 250;
constexpr double kCrossover = 0.95, kEtaC = 10, kMutation = 0.01, kEtaM = 50;

class AgainstPagmo : public testing::TestWithParam<unsigned> {};

TEST_P(AgainstPagmo, HypervolumesWithinOnePercent) {
  const unsigned id = GetParam();
  const pagmo::problem problem{pagmo::zdt{id, 30}};
  // The reference point just beyond the true front's nadir (1, 1).
  const std::vector<double> reference = {1.1, 1.1};
  double theirs = 0, ours = 0;
  for (unsigned seed = 1; seed <= 3; ++seed) {
    pagmo::algorithm algorithm{
        pagmo::nsga2{kGenerations, kCrossover, kEtaC, kMutation, kEtaM, seed}};
    pagmo::population population{problem, kPopulation, seed};
    population = algorithm.evolve(population);
    const auto& f = population.get_f();
    const auto front = pagmo::non_dominated_front_2d(f);
    std::vector<std::vector<double>> front_f;
    for (const auto i : front) {
      if (f[i][0] < reference[0] && f[i][1] < reference[1]) {
        front_f.push_back(f[i]);
      }
    }
    theirs += pagmo::hypervolume(front_f).compute(reference);

    Nsga2Options o;
    o.population = kPopulation;
    o.generations = kGenerations;
    o.crossover = kCrossover;
    o.eta_c = kEtaC;
    o.mutation = kMutation;
    o.eta_m = kEtaM;
    o.seed = seed;
    Nsga2 search(30, 2, o);
    run_to_end(search, [&](const std::vector<double>& x) {
      return std::pair{problem.fitness(x), 0.0};
    });
    std::vector<std::vector<double>> our_front;
    for (const std::size_t i : search.front()) {
      our_front.push_back(search.objectives()[i]);
    }
    const double volume = hypervolume2(our_front, reference[0], reference[1]);
    ours += volume;
    // The same front measured by pagmo.
    std::erase_if(our_front,
                  [&](const auto& p) { return !(p[0] < reference[0] && p[1] < reference[1]); });
    EXPECT_NEAR(volume, pagmo::hypervolume(our_front).compute(reference), 1e-12);
  }
  std::printf("ZDT%u hypervolume at (1.1, 1.1), mean of 3 seeds: pagmo %.6f, ours %.6f\n", id,
              theirs / 3, ours / 3);
  EXPECT_NEAR(ours / theirs, 1, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Zdt, AgainstPagmo, testing::Values(1u, 2u),
                         [](const auto& info) { return "ZDT" + std::to_string(info.param); });

// Ours against pagmo's on the same points, relatively to 1e-12. pagmo
// takes only points strictly better than the reference in every objective.
void expect_pagmo_volume(std::vector<std::vector<double>> points,
                         const std::vector<double>& reference) {
  const double ours = hypervolume(points, reference);
  std::erase_if(points, [&](const auto& p) {
    for (std::size_t j = 0; j < p.size(); ++j)
      if (!(p[j] < reference[j])) return true;
    return false;
  });
  const double theirs = points.empty() ? 0 : pagmo::hypervolume(points).compute(reference);
  EXPECT_NEAR(ours, theirs, 1e-12 * theirs);
}

// Clouds of random points, some beyond the reference, most dominated.
TEST(Hypervolume, EqualsPagmosOnRandomClouds) {
  Random random(3);
  for (const std::size_t m : {2u, 3u, 4u}) {
    for (const std::size_t n : {1u, 7u, 60u, 150u}) {
      SCOPED_TRACE(std::to_string(m) + " objectives, " + std::to_string(n) + " points");
      std::vector<std::vector<double>> points(n, std::vector<double>(m));
      for (auto& p : points) {
        // Near the unit simplex, so that many points are non-dominated.
        double sum = 0;
        for (double& v : p) sum += v = random.unit();
        for (double& v : p) v = v / sum + 0.2 * random.unit();
      }
      expect_pagmo_volume(points, std::vector<double>(m, 1.1));
    }
  }
}

// DTLZ2 with three objectives, run by our NSGA-II: after each generation
// the archive's front, normalised by the ideal and nadir of the whole run's
// front as a study's convergence.csv has it, with and without epsilons.
TEST(Hypervolume, EqualsPagmosOnEachGenerationsArchive) {
  const pagmo::problem problem{pagmo::dtlz{2, 12, 3}};
  for (const std::vector<double>& epsilons : {std::vector<double>{}, {0.05, 0.05, 0.05}}) {
    Nsga2Options o;
    o.population = 40;
    o.generations = 30;
    o.seed = 4;
    Nsga2 search(12, 3, o);
    ParetoArchive archive(epsilons), all;
    std::vector<std::vector<std::vector<double>>> fronts;
    std::size_t id = 0;
    run_to_end(search, [&](const std::vector<double>& x) {
      const std::vector<double> f = problem.fitness(x);
      archive.offer(f, id);
      all.offer(f, id++);
      // A generation is told once its population's points are offered.
      if (id % o.population == 0) {
        fronts.emplace_back();
        for (const auto& a : archive.members()) fronts.back().push_back(a.objectives);
      }
      return std::pair{f, 0.0};
    });
    ASSERT_EQ(fronts.size(), o.generations + 1);
    std::vector<double> ideal = all.members()[0].objectives, nadir = ideal;
    for (const auto& a : all.members()) {
      for (std::size_t j = 0; j < 3; ++j) {
        ideal[j] = std::min(ideal[j], a.objectives[j]);
        nadir[j] = std::max(nadir[j], a.objectives[j]);
      }
    }
    for (auto& front : fronts) {
      for (auto& p : front)
        for (std::size_t j = 0; j < 3; ++j) p[j] = (p[j] - ideal[j]) / (nadir[j] - ideal[j]);
      expect_pagmo_volume(front, {1.1, 1.1, 1.1});
    }
  }
}

}  // namespace
}  // namespace tds::study::test
