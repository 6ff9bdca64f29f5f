// The design-study methods' own work, apart from the cases they run.
#pragma once

#include <benchmark/benchmark.h>

#include <functional>

namespace tds {
class Description;
class Plan;
struct Scenario;
}  // namespace tds

// What a study file is read against: the loaded module's description and the
// built-in plan and scenario.
struct StudySite {
  const tds::Description* description;
  const tds::Plan* plan;
  const tds::Scenario* scenario;
};

// site: the study site, or null after marking the benchmark as failed when
// it cannot be read.
void register_study_benchmarks(const std::function<const StudySite*(benchmark::State&)>& site);
