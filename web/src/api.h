// What the page's programs share: the description that tds_web_load parsed
// and the model bound to it, and the answer of the last call, which the
// caller reads before the next call.
#ifndef TDS_WEB_API_H
#define TDS_WEB_API_H

#include <exception>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "description.h"
#include "model.h"
#include "plan.h"
#include "scenario.h"
#include "site.h"

#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#define TDS_WEB_API extern "C" EMSCRIPTEN_KEEPALIVE
#else
#define TDS_WEB_API extern "C"
#endif

namespace tds {

extern std::string g_answer;
// The description that tds_web_load parsed and the model bound to it; a run
// reads its plan and scenario into it.
extern std::optional<Site> g_site;
// The last run's series, day after day, one double per variable
// (tds_web_series).
extern std::vector<double> g_series;

// The plan and the scenario of a request's "plan" and "scenario" texts; the
// per-day table that the scenario names is the request's "daily" text.
Plan plan_of(const nlohmann::json& request, const Description& d);
Scenario scenario_of(const nlohmann::json& request, const Description& d);

// Answers f(the request's JSON, or null without one) as JSON text, or
// {"ok": false, "error": the message}; the answer lives until the next call.
template <class F>
const char* answer_with(const char* request, F f) {
  try {
    g_answer = f(request == nullptr ? nlohmann::json() : nlohmann::json::parse(request)).dump();
  } catch (const std::exception& e) {
    g_answer = nlohmann::json{{"ok", false}, {"error", e.what()}}.dump();
  }
  return g_answer.c_str();
}

}  // namespace tds

#endif  // TDS_WEB_API_H
