// The page's one entry point into the run engine: a run of N days with the
// page's settings, answered as JSON with the chosen series in a buffer of
// doubles (or the CSV text that tarvello-run writes for the same settings).
// Every run happens in a fresh instance of the program, so the model starts
// from its load-time state.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "csv.h"
#include "description.h"
#include "linked.h"
#include "model.h"
#include "plan.h"
#include "run.h"
#include "scenario.h"

#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#define TDS_WEB_API extern "C" EMSCRIPTEN_KEEPALIVE
#else
#define TDS_WEB_API extern "C"
#endif

namespace tds {

namespace {

using nlohmann::json;

// What the last call answered; the caller reads it before the next call.
std::string g_answer;
std::vector<double> g_series;

// The request: {"description", "plan", "scenario", "daily" (optional: the
// per-day table in place of the scenario's), "days", "set": ["NAME=VALUE"],
// "scale": ["NAME=FACTOR"],
// "csv": true for the CSV text instead of the series}.
json run(const json& request) {
  const std::string description = request.at("description").get<std::string>();
  const std::string plan_text = request.at("plan").get<std::string>();
  const std::string scenario_text = request.at("scenario").get<std::string>();
  const Description d = Description::parse(description, "TarvelloDemoSite.json");
  const Model model(linked_export, "the linked-in model", d);
  const Plan plan = Plan::parse(std::string_view(plan_text), "(built-in)", d);
  const std::string daily = request.value("daily", std::string());
  const bool own_daily = request.contains("daily");
  const Scenario scenario =
      Scenario::parse(scenario_text, "(built-in)", d, [&](const std::string& name) {
        if (own_daily) return daily;
        throw InputError("scenario (built-in): no built-in file " + name);
      });

  RunOptions options;
  options.days = parse_positive(request.value("days", std::string("365")), "--days");
  options.variables = plan.default_variables();
  std::deque<std::string> texts;
  const json sets = request.value("set", json::array());
  for (std::size_t i = 0; i < sets.size(); ++i) {
    const std::string set = sets[i].get<std::string>();
    try {
      options.overrides.push_back(parse_set(d, set, texts));
    } catch (const InputError& e) {
      return {{"ok", false}, {"error", e.what()}, {"set", i}};
    }
  }
  const json scales = request.value("scale", json::array());
  for (std::size_t i = 0; i < scales.size(); ++i) {
    try {
      options.scales.push_back(parse_scale(d, scenario.daily, scales[i].get<std::string>()));
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
  answer["summary"] = run_figures(d, plan, r);
  if (csv) answer["csv"] = text;
  return answer;
}

}  // namespace

}  // namespace tds

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
