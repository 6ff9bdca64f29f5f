#include "site.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <utility>

#include "defaults.h"

namespace tds {

namespace fs = std::filesystem;

namespace {

constexpr const char* kBuiltIn = "(built-in)";

}  // namespace

void Site::load_description(const std::string& path) { description_ = Description::load(path); }

void Site::set_description(Description description) { description_ = std::move(description); }

void Site::bind(const Resolver& resolve, const std::string& origin) {
  try {
    model_.emplace(resolve, origin, description_);
  } catch (const LoadError& e) {
    throw InputError(e.what());
  }
}

SiteText Site::given_plan(const std::string& path) {
  if (path.empty()) return {kBuiltIn, std::string(kDefaultPlan)};
  return {path, read_text_file(path, "plan")};
}

void Site::read_plan(SiteText plan) {
  const nlohmann::json doc = Plan::read_json(plan.text, plan.source);
  read_plan(std::move(plan), doc);
}

void Site::read_plan(SiteText plan, const nlohmann::json& doc) {
  plan_text_ = std::move(plan.text);
  plan_.emplace(Plan::parse(doc, plan.source, description_));
  relabel();
}

void Site::read_scenario(const std::string& path) {
  if (path.empty()) {
    read_scenario({kBuiltIn, std::string(kDefaultScenario)}, [](const std::string& name) {
      if (name != "inputs.csv") throw InputError("scenario (built-in): no built-in file " + name);
      return std::string(kDefaultInputs);
    });
    return;
  }
  const fs::path dir = fs::path(path).parent_path();
  read_scenario({path, read_text_file(path, "scenario")}, [&dir](const std::string& name) {
    return read_text_file((dir / name).string(), "per-day input table");
  });
}

void Site::read_scenario(SiteText scenario, const DailyReader& read_daily) {
  scenario_text_ = std::move(scenario.text);
  daily_text_.clear();
  scenario_.emplace(
      Scenario::parse(scenario_text_, scenario.source, description_,
                      [&](const std::string& name) { return daily_text_ = read_daily(name); }));
  relabel();
}

void Site::read_daily(const std::string& path) {
  daily_text_ = read_text_file(path, "per-day input table");
  scenario_->daily = DailyInputs::parse(daily_text_, path, description_, scenario_->cycle);
}

void Site::relabel() {
  if (plan_ && scenario_) labels_ = shown_labels(scenario_->labels, plan_->labels());
}

}  // namespace tds
