// The loaded site: a model's description, the model bound to it (from a
// loaded module or linked in), the plan and the scenario with its per-day
// table, their texts, the plain labels that a front end shows, and the
// module's load-time state. Every front end loads it in the order its users
// know, stage by stage: the description and the module, then the model bound
// to them, then the plan and the scenario (which the page reads again for
// every request), each stage throwing InputError (or LoadError for a
// snapshot) naming the bad input.
#ifndef TDS_ENGINE_SITE_H
#define TDS_ENGINE_SITE_H

#include <functional>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

#include "description.h"
#include "input.h"
#include "loader.h"
#include "model.h"
#include "plan.h"
#include "scenario.h"
#include "snapshot.h"

namespace tds {

// A plan's or a scenario's text and the name that messages give it: its
// path, or "(built-in)".
struct SiteText {
  std::string source, text;
};

// The per-day table that a scenario names: its text by the name it is given.
using DailyReader = std::function<std::string(const std::string& name)>;

class Site {
 public:
  Site() = default;
  // Not movable: the model and the plan refer to the description held here.
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;
  ~Site() = default;

  // The description, read from its file or given already read.
  void load_description(const std::string& path);
  void set_description(Description description);

  // Loads the module (a private copy: a fresh instance with its own
  // storage even when the file is loaded already). Throws InputError with
  // the loader's message. Native builds only.
  void load_module(const std::string& path, bool private_copy);
  // Records the loaded module's load-time state, before anything calls into
  // it. Throws LoadError when its memory cannot be found. Native builds only.
  const Snapshot& take_snapshot();

  // Binds the model to the loaded module (native builds only), or to the
  // functions that `resolve` finds, `origin` naming them in messages.
  // Throws InputError with the binding's message.
  void bind();
  void bind(const Resolver& resolve, const std::string& origin);

  // The plan given by path, or the built-in one for an empty path; throws
  // InputError "cannot read the plan <path>".
  static SiteText given_plan(const std::string& path);
  // Reads the plan, checked against the description, and keeps its text;
  // `doc` is its JSON when it has been read already (read_json).
  void read_plan(SiteText plan);
  void read_plan(SiteText plan, const nlohmann::json& doc);

  // Reads the scenario from its file with the per-day table it names beside
  // it, or the built-in one with its table for an empty path.
  void read_scenario(const std::string& path);
  // Reads the scenario from a text, its per-day table from read_daily.
  void read_scenario(SiteText scenario, const DailyReader& read_daily);
  // Replaces the scenario's per-day table by the table in the file.
  void read_daily(const std::string& path);

  const Description& description() const { return description_; }
  const Model& model() const { return *model_; }
  const Plan& plan() const { return *plan_; }
  const Scenario& scenario() const { return *scenario_; }
  // The loaded module, or null when the model is linked in.
  const Module* module() const { return module_.get(); }
  // The load-time state, or null when none has been taken.
  const Snapshot* snapshot() const { return snapshot_ ? &*snapshot_ : nullptr; }

  // The labels that a front end shows: the scenario's, and the plan's for
  // the values that the scenario leaves without one.
  const Labels& labels() const { return labels_; }

  // The texts read, as given: for the digests that records keep.
  const std::string& plan_text() const { return plan_text_; }
  const std::string& scenario_text() const { return scenario_text_; }
  const std::string& daily_text() const { return daily_text_; }

 private:
  void relabel();

  Description description_;
  // Shared only so that a build without a loader needs none of its code to
  // release one.
  std::shared_ptr<const Module> module_;
  std::optional<Snapshot> snapshot_;
  std::optional<Model> model_;
  std::optional<Plan> plan_;
  std::optional<Scenario> scenario_;
  Labels labels_;
  std::string plan_text_, scenario_text_, daily_text_;
};

}  // namespace tds

#endif  // TDS_ENGINE_SITE_H
