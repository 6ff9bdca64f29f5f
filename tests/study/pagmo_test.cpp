// NSGA-II against pagmo's on ZDT1 and ZDT2 (30 variables): the same
// population, generations and variation settings, the fronts' hypervolumes
// within 1 %; and the two-objective hypervolume against pagmo's.
#include <gtest/gtest.h>

#include <pagmo/algorithm.hpp>
#include <pagmo/algorithms/nsga2.hpp>
#include <pagmo/population.hpp>
#include <pagmo/problem.hpp>
#include <pagmo/problems/zdt.hpp>
#include <pagmo/utils/hypervolume.hpp>
#include <pagmo/utils/multi_objective.hpp>

#include "functions.h"
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

}  // namespace
}  // namespace tds::study::test
