// Where tarvello-run finds the model, and its loading of the model, the plan
// and the scenario for a command.
#include <cstdio>
#include <filesystem>

#include "cli_context.h"

namespace tds {

namespace fs = std::filesystem;

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
  // The plan as given (--plan, else the built-in one) is read first: its
  // JSON names the model whose module is looked for.
  SiteText plan_input = Site::given_plan(o.plan);
  const nlohmann::json plan_json = Plan::read_json(plan_input.text, plan_input.source);
  into.at = locate(model_of(plan_json), o.library, o.description);
  Site& site = into.site;
  site.load_description(into.at.description);
  site.load_module(into.at.module, false);
  // A sweep's workers restore the library's load-time state: recorded now,
  // before anything has called into it.
  // A Windows worker takes its own, for the requests that restore it.
  if (checked.sweeping && (checked.isolation == Isolation::Snapshot || checked.worker)) {
    try {
      site.take_snapshot();
    } catch (const LoadError& e) {
      if (!checked.worker)
        std::fprintf(stderr, "%s: %s; each case runs in a process of its own\n", kProgram,
                     e.what());
    }
  }
  site.bind();

  // A listing needs no plan nor scenario.
  if (o.listing) return;

  // The texts are kept: the records keep their digests.
  site.read_plan(std::move(plan_input), plan_json);
  site.read_scenario(o.scenario);
  if (!o.input.empty()) site.read_daily(o.input);
}

}  // namespace tds
