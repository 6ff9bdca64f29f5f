// Where tarvello-run finds the model, and its loading of the model, the plan
// and the scenario for a command.
#include <cstdio>
#include <filesystem>

#include "cli_context.h"
#include "defaults.h"

namespace tds {

namespace fs = std::filesystem;

PlanInput read_plan(const Options& o) {
  if (o.plan.empty()) return {"(built-in)", std::string(kDefaultPlan)};
  return {o.plan, read_text_file(o.plan, "plan")};
}

// A plan that does not say is reported when it is read.
std::string model_of(const nlohmann::json& plan) {
  if (plan.is_object() && plan.contains("model") && plan["model"].is_string())
    return plan["model"].get<std::string>();
  return "TarvelloDemoSite";
}

Located locate(const std::string& model, const std::string& library,
               const std::string& description) {
  Located found;
  const std::string file = module_file_name(model);
  if (!library.empty()) {
    // A path must name a file; a plain name is left to the platform's search.
    const fs::path path(library);
    if (path.has_parent_path() && !fs::exists(path))
      throw InputError("--library: there is no file " + library);
    found.module = library;
  } else {
    const fs::path here = executable_directory();
    for (const fs::path& candidate : {here / file, here.parent_path() / "lib" / file}) {
      if (fs::exists(candidate)) {
        found.module = candidate.string();
        break;
      }
    }
    if (found.module.empty())
      throw InputError("cannot find " + file + " beside " + kProgram + " (in " + here.string() +
                       " or " + (here.parent_path() / "lib").string() + "); give --library PATH");
  }
  if (!description.empty()) {
    found.description = description;
    return found;
  }
  const fs::path module(found.module);
  const std::string stem = module.stem().string();
  const fs::path dir = module.has_parent_path() ? module.parent_path() : fs::path(".");
  for (const fs::path& candidate :
       {dir / (stem + ".json"), dir.parent_path() / "share" / stem / (stem + ".json")}) {
    if (fs::exists(candidate)) {
      found.description = candidate.string();
      return found;
    }
  }
  throw InputError("cannot find the model description " + stem + ".json beside " + found.module +
                   "; give --description PATH");
}

void load(const Options& o, const Checked& checked, Loaded& into) {
  const bool sweeping = checked.sweeping;
  const bool worker = checked.worker;
  const Isolation isolation = checked.isolation;
  into.plan_input = read_plan(o);
  const PlanInput& plan_input = into.plan_input;
  const nlohmann::json plan_json = Plan::read_json(plan_input.text, plan_input.source);
  into.at = locate(model_of(plan_json), o.library, o.description);
  const Located& at = into.at;
  into.description = Description::load(at.description);
  const Description& description = into.description;
  std::unique_ptr<Module>& module = into.module;
  try {
    module = Module::load(at.module);
  } catch (const LoadError& e) {
    throw InputError(e.what());
  }
  // A sweep's workers restore the library's load-time state: recorded now,
  // before anything has called into it.
  // A Windows worker takes its own, for the requests that restore it.
  std::optional<Snapshot>& snapshot = into.snapshot;
  if (sweeping && (isolation == Isolation::Snapshot || worker)) {
    try {
      snapshot = Snapshot::take(*module);
    } catch (const LoadError& e) {
      if (!worker)
        std::fprintf(stderr, "%s: %s; each case runs in a process of its own\n", kProgram,
                     e.what());
    }
  }
  try {
    into.model.emplace(*module, description);
  } catch (const LoadError& e) {
    throw InputError(e.what());
  }

  // A listing needs no plan nor scenario.
  if (o.listing) return;

  into.plan = Plan::parse(plan_json, plan_input.source, description);
  // The scenario's texts are kept: a sweep records their digests.
  std::string& scenario_text = into.scenario_text;
  std::string& daily_text = into.daily_text;
  Scenario scenario = [&] {
    if (o.scenario.empty()) {
      scenario_text = kDefaultScenario;
      return Scenario::parse(kDefaultScenario, "(built-in)", description,
                             [&](const std::string& name) {
                               if (name != "inputs.csv")
                                 throw InputError("scenario (built-in): no built-in file " + name);
                               return daily_text = kDefaultInputs;
                             });
    }
    const fs::path dir = fs::path(o.scenario).parent_path();
    scenario_text = read_text_file(o.scenario, "scenario");
    return Scenario::parse(scenario_text, o.scenario, description, [&](const std::string& name) {
      return daily_text = read_text_file((dir / name).string(), "per-day input table");
    });
  }();
  if (!o.input.empty()) {
    daily_text = read_text_file(o.input, "per-day input table");
    scenario.daily = DailyInputs::parse(daily_text, o.input, description, scenario.cycle);
  }
  into.scenario.emplace(std::move(scenario));
}

}  // namespace tds
