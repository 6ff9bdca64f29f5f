// The page's entry points into the run engine: a run of N days with the
// page's settings, answered as JSON with the chosen series in a buffer of
// doubles (or the CSV text that tarvello-run writes for the same settings),
// and the checks of the page's fields by the host's own parsers. The
// description is parsed once (tds_web_load) and kept; the page returns the
// program's memory to the state it had right after that before every run
// (tds_web_memory_end gives how far that state reaches), so the model starts
// each run from its load-time state without a new instance.
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "api.h"
#include "csv.h"
#include "description.h"
#include "linked.h"
#include "model.h"
#include "plan.h"
#include "run.h"
#include "scenario.h"
#include "site.h"

#ifdef __EMSCRIPTEN__
#include <emscripten/stack.h>
#endif

namespace tds {

std::string g_answer;
std::optional<Site> g_site;

namespace {

// A request's plan and scenario texts, named as the built-in ones are, and
// the per-day table that the scenario names: the request's "daily" text.
SiteText plan_text_of(const nlohmann::json& request) {
  return {"(built-in)", request.at("plan").get<std::string>()};
}

SiteText scenario_text_of(const nlohmann::json& request) {
  return {"(built-in)", request.at("scenario").get<std::string>()};
}

DailyReader daily_of(const nlohmann::json& request) {
  const bool own_daily = request.contains("daily");
  return [own_daily, daily = request.value("daily", std::string())](const std::string& name) {
    if (own_daily) return daily;
    throw InputError("scenario (built-in): no built-in file " + name);
  };
}

}  // namespace

Plan plan_of(const nlohmann::json& request, const Description& d) {
  const SiteText plan = plan_text_of(request);
  return Plan::parse(std::string_view(plan.text), plan.source, d);
}

Scenario scenario_of(const nlohmann::json& request, const Description& d) {
  const SiteText scenario = scenario_text_of(request);
  return Scenario::parse(scenario.text, scenario.source, d, daily_of(request));
}

std::vector<double> g_series;

namespace {

using nlohmann::json;

// The request: {"description" (optional once tds_web_load has parsed one),
// "plan", "scenario", "daily" (optional: the per-day table in place of the
// scenario's), "days", "set": ["NAME=VALUE"], "scale": ["NAME=FACTOR"],
// "csv": true for the CSV text instead of the series}.
json run(const json& request) {
  std::optional<Site> own_site;
  if (request.contains("description")) {
    own_site.emplace();
    own_site->set_description(
        Description::parse(request.at("description").get<std::string>(), "TarvelloDemoSite.json"));
    own_site->bind(linked_export, "the linked-in model");
  } else if (!g_site) {
    throw InputError("no model description: call tds_web_load first");
  }
  Site& site = own_site ? *own_site : *g_site;
  site.read_plan(plan_text_of(request));
  site.read_scenario(scenario_text_of(request), daily_of(request));
  const Description& d = site.description();
  const Model& model = site.model();
  const Plan& plan = site.plan();
  const Scenario& scenario = site.scenario();
  const Labels& labels = site.labels();
  RunOptions options;
  options.days = parse_positive(request.value("days", std::string("365")), "--days");
  options.variables = plan.default_variables();
  std::deque<std::string> texts;
  const json sets = request.value("set", json::array());
  for (std::size_t i = 0; i < sets.size(); ++i) {
    const std::string set = sets[i].get<std::string>();
    try {
      options.overrides.push_back(parse_set(d, set, texts, &labels));
    } catch (const InputError& e) {
      return {{"ok", false}, {"error", e.what()}, {"set", i}};
    }
  }
  const json scales = request.value("scale", json::array());
  for (std::size_t i = 0; i < scales.size(); ++i) {
    try {
      options.scales.push_back(
          parse_scale(d, scenario.daily, scales[i].get<std::string>(), &labels));
    } catch (const InputError& e) {
      return {{"ok", false}, {"error", e.what()}, {"scale", i}};
    }
  }

  const bool csv = request.value("csv", false);
  options.write_csv = csv;
  std::string text;
  const std::size_t columns = options.variables.size();
  g_series.clear();
  if (!csv) {
    g_series.reserve(static_cast<std::size_t>(options.days) * columns);
    options.on_day = [&](long long) {
      for (std::size_t v : options.variables) {
        const Cell c = model.read(v);
        g_series.push_back(c.kind == Kind::Double ? c.d
                           : c.kind == Kind::Int  ? static_cast<double>(c.i)
                                                  : 0.0);
      }
    };
  }
  const RunResult r =
      run_model(model, plan, scenario, options, [&](std::string& chunk) { text += chunk; });

  json answer = {{"ok", true}, {"days", r.days}, {"seconds", r.seconds}};
  json names = json::array();
  for (std::size_t v : options.variables) names.push_back(d.values()[v].name);
  answer["variables"] = names;
  json counts = json::array(), shortfalls = json::array(), levels = json::array();
  for (std::size_t i = 0; i < plan.counts().size(); ++i)
    counts.push_back({{"name", plan.counts()[i].name}, {"days", r.counted[i]}});
  for (std::size_t i = 0; i < plan.shortfalls().size(); ++i)
    shortfalls.push_back({{"name", plan.shortfalls()[i].name}, {"days", r.shortfall_each[i]}});
  for (std::size_t i = 0; i < plan.levels().size(); ++i) {
    const Cell& c = r.levels[i];
    levels.push_back({{"name", d.values()[plan.levels()[i]].name},
                      {"text", figure_text(c)},
                      {"value", c.kind == Kind::Double ? c.d
                                : c.kind == Kind::Int  ? static_cast<double>(c.i)
                                                       : 0.0}});
  }
  answer["counts"] = counts;
  answer["shortfallDays"] = r.shortfall_days;
  answer["shortfalls"] = shortfalls;
  answer["levels"] = levels;
  answer["summary"] = run_figures(d, plan, scenario, r);
  if (csv) answer["csv"] = text;
  return answer;
}

// The labels that the page shows for values, {NAME: LABEL, ...}, of a
// request's "labels", for the nearest names of a mistyped one.
// Names the description lacks are passed over.
Labels labels_of(const json& request, const Description& d) {
  Labels labels;
  const json& given = request.value("labels", json::object());
  for (const auto& [name, label] : given.items()) {
    const std::optional<std::size_t> v = d.find_value(name);
    if (v && label.is_string()) labels[*v].label = label.get<std::string>();
  }
  return labels;
}

// One check: {"set": "NAME=VALUE", "labels": optional, see labels_of} as
// --set reads it, {"days": TEXT} as
// --days reads it, or {"value": NAME, "text": TEXT, "what": WHERE} for a
// cell of the per-day table (WHERE as the table's reader names the cell),
// or {"factor": TEXT, "name": NAME} as --scale reads a factor. Answers the
// message, or null when the host would accept the text.
json check(const json& c, const Description& d) {
  std::deque<std::string> keep;
  try {
    if (c.contains("set")) {
      const Labels labels = labels_of(c, d);
      parse_set(d, c.at("set").get<std::string>(), keep, &labels);
    } else if (c.contains("days")) {
      parse_positive(c.at("days").get<std::string>(), "--days");
    } else if (c.contains("value")) {
      const std::string name = c.at("value").get<std::string>();
      const std::optional<std::size_t> v = d.find_value(name);
      if (!v) return "unknown variable " + name;
      parse_cell(d.values()[*v].kind, c.at("text").get<std::string>(),
                 c.at("what").get<std::string>(), keep);
    } else {
      parse_factor(c.at("factor").get<std::string>(), "--scale " + c.at("name").get<std::string>());
    }
  } catch (const InputError& e) {
    return e.what();
  }
  return nullptr;
}

}  // namespace

}  // namespace tds

// Parses the model description once and binds the linked-in model to it:
// {"ok": true} or {"ok": false, "error": the message}.
TDS_WEB_API const char* tds_web_load(const char* description) {
  using tds::g_answer;
  try {
    tds::g_site.reset();
    tds::g_site.emplace();
    tds::g_site->set_description(tds::Description::parse(description, "TarvelloDemoSite.json"));
    tds::g_site->bind(tds::linked_export, "the linked-in model");
    g_answer = nlohmann::json{{"ok", true}}.dump();
  } catch (const std::exception& e) {
    tds::g_site.reset();
    g_answer = nlohmann::json{{"ok", false}, {"error", e.what()}}.dump();
  }
  return g_answer.c_str();
}

// Checks a list of values (JSON text, see check()) with the loaded
// description: a JSON list of the messages, null where a value is accepted.
TDS_WEB_API const char* tds_web_check(const char* checks) {
  using tds::g_answer;
  try {
    if (!tds::g_site) throw tds::InputError("no model description: call tds_web_load first");
    nlohmann::json answers = nlohmann::json::array();
    for (const nlohmann::json& c : nlohmann::json::parse(checks))
      answers.push_back(tds::check(c, tds::g_site->description()));
    g_answer = answers.dump();
  } catch (const std::exception& e) {
    g_answer = nlohmann::json{{"ok", false}, {"error", e.what()}}.dump();
  }
  return g_answer.c_str();
}

// The names nearest to one that the description lacks, as the host's
// messages give them: {"name": NAME, "labels": optional, see labels_of}
// answers a JSON list of names, closest first.
TDS_WEB_API const char* tds_web_nearest(const char* request) {
  return tds::answer_with(request, [](const nlohmann::json& r) -> nlohmann::json {
    if (!tds::g_site) throw tds::InputError("no model description: call tds_web_load first");
    const tds::Description& d = tds::g_site->description();
    const tds::Labels labels = tds::labels_of(r, d);
    return d.nearest_values(r.at("name").get<std::string>(), &labels);
  });
}

// The end of the memory in use: the static data, the stack and the heap up
// to the break. The page saves the memory below it after tds_web_load and
// copies it back before each run.
TDS_WEB_API std::size_t tds_web_memory_end() { return reinterpret_cast<std::size_t>(sbrk(0)); }

#ifdef __EMSCRIPTEN__
// The stack's lowest and highest addresses: between calls nothing on it is
// live, so the page need not save it.
TDS_WEB_API std::size_t tds_web_stack_low() { return emscripten_stack_get_end(); }
TDS_WEB_API std::size_t tds_web_stack_high() { return emscripten_stack_get_base(); }
#endif

// Runs the request (JSON text) and answers JSON text: {"ok": true, the
// summary, "days", "variables"} with the series in tds_web_series(), or
// {"ok": false, "error": the host's message, "set": the index of the --set
// entry at fault, if one is}. The answer lives until the next call.
TDS_WEB_API const char* tds_web_run(const char* request) {
  using tds::g_answer;
  try {
    g_answer = tds::run(nlohmann::json::parse(request)).dump();
  } catch (const std::exception& e) {
    g_answer = nlohmann::json{{"ok", false}, {"error", e.what()}}.dump();
  }
  return g_answer.c_str();
}

// The last run's series: day after day, one double per variable.
TDS_WEB_API const double* tds_web_series() { return tds::g_series.data(); }
TDS_WEB_API std::size_t tds_web_series_size() { return tds::g_series.size(); }
TDS_WEB_API std::size_t tds_web_exports() { return tds::linked_export_count(); }
