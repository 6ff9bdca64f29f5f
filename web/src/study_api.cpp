// The study program's entry points: design studies in two kinds of
// instance. One leads a study (the study's ask/tell driver and its tables:
// tds_web_study_start and after) and is never restored; the others evaluate
// its points (tds_web_study_load, then tds_web_study_case for each point
// from the state right after the load). The program also has the page's
// entry points (api.cpp); the page's own program has no study code.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "api.h"
#include "case.h"
#include "model_cases.h"
#include "plan.h"
#include "scenario.h"
#include "study.h"
#include "study_file.h"

namespace tds {

namespace {

using nlohmann::json;

// A study's inputs in an instance: the plan and scenario of the request
// ({plan, scenario, daily, study: the study file's text, source: its name
// in messages}), the study read against them, and its cases as the model
// runs them.
struct StudyInputs {
  std::optional<Plan> plan;
  std::optional<Scenario> scenario;
  std::optional<study::Study> study;
  std::optional<study::ModelCases> cases;
  BatchOptions options;
};

std::unique_ptr<StudyInputs> read_study(const json& request) {
  if (!g_site) throw InputError("no model description: call tds_web_load first");
  const Description& d = g_site->description();
  auto in = std::make_unique<StudyInputs>();
  in->plan.emplace(plan_of(request, d));
  in->scenario.emplace(scenario_of(request, d));
  const std::string text = request.at("study").get<std::string>();
  in->study.emplace(study::parse_study(text, request.value("source", std::string("study.json")), d,
                                       *in->plan, *in->scenario));
  in->cases.emplace(d, *in->plan, *in->study);
  in->cases->configure(in->options);
  return in;
}

// An evaluation's outputs cross between instances as the hexadecimal digits
// of their bits, so that every double (a NaN's too) arrives as it left.
std::string bits_of(double x) {
  std::uint64_t b = 0;
  std::memcpy(&b, &x, sizeof b);
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, b);
  return text;
}
double from_bits(const std::string& text) {
  if (text.size() != 16 || text.find_first_not_of("0123456789abcdef") != std::string::npos)
    throw InputError("an evaluation's output is not 16 hexadecimal digits");
  const std::uint64_t b = std::strtoull(text.c_str(), nullptr, 16);
  double x = 0.0;
  std::memcpy(&x, &b, sizeof x);
  return x;
}

json evaluation_json(const study::Evaluation& e) {
  json outputs = json::array();
  for (double x : e.outputs) outputs.push_back(bits_of(x));
  json answer = {{"ok", e.ok}, {"outputs", outputs}};
  if (!e.ok) answer["reason"] = e.reason;
  return answer;
}
study::Evaluation evaluation_of(const json& j, std::size_t outputs) {
  study::Evaluation e;
  e.ok = j.at("ok").get<bool>();
  if (!e.ok) {
    e.reason = j.value("reason", std::string());
    return e;
  }
  for (const json& x : j.at("outputs")) e.outputs.push_back(from_bits(x.get<std::string>()));
  if (e.outputs.size() != outputs)
    throw InputError("an evaluation has the wrong number of outputs");
  return e;
}

// The instance that leads a study, and the one whose points this instance
// evaluates.
std::unique_ptr<StudyInputs> g_led;
std::unique_ptr<study::StudyRun> g_run;
std::unique_ptr<StudyInputs> g_evaluated;

json study_start(const json& request) {
  g_run.reset();
  g_led = read_study(request);
  const study::Study& s = *g_led->study;
  g_run = std::make_unique<study::StudyRun>(s, g_led->cases->figures().size());
  json factors = json::array(), outputs = json::array();
  for (const study::Factor& f : s.factors) factors.push_back(f.name);
  for (const study::Output& o : s.outputs) outputs.push_back(o.name);
  return {{"ok", true},
          {"method", study::method_name(s.method)},
          {"total", study::case_count(s)},
          {"factors", factors},
          {"outputs", outputs},
          {"figures", g_led->cases->figures()}};
}

json study_next() {
  if (!g_run) throw InputError("no study: call tds_web_study_start first");
  if (g_run->done()) return {{"ok", true}, {"done", true}};
  const std::vector<std::vector<double>>& points = g_run->next();
  return {{"ok", true},
          {"done", false},
          {"phase", g_run->phase()},
          {"first", g_run->cases().points.size()},
          {"points", points}};
}

json study_tell(const json& evaluations) {
  if (!g_run) throw InputError("no study: call tds_web_study_start first");
  std::vector<study::Evaluation> results;
  for (const json& e : evaluations) results.push_back(evaluation_of(e, g_led->cases->outputs()));
  g_run->tell(std::move(results));
  return {{"ok", true}, {"done", g_run->done()}};
}

json study_tables() {
  if (!g_run || !g_run->done()) throw InputError("no finished study");
  const study::Tables t =
      study::make_tables(*g_led->study, g_led->cases->figures(), g_run->cases());
  json files = json::array();
  for (const auto& [name, text] : t.files) files.push_back({name, text});
  return {{"ok", true}, {"files", files}, {"summary", t.summary}};
}

// A point (a list), or {"point", "keep": [NAME, ...]}: the case's series of
// the named variables are then kept in g_series, day after day, as a run's.
json study_case(const json& request) {
  if (!g_evaluated) throw InputError("no study: call tds_web_study_load first");
  const StudyInputs& in = *g_evaluated;
  const json& point = request.is_object() ? request.at("point") : request;
  const std::vector<double> p = point.get<std::vector<double>>();
  if (p.size() != in.study->factors.size())
    throw InputError("a point of " + std::to_string(p.size()) + " coordinates for " +
                     std::to_string(in.study->factors.size()) + " factors");
  BatchOptions options = in.options;
  if (request.is_object()) {
    const Description& d = g_site->description();
    for (const json& name : request.value("keep", json::array())) {
      const std::optional<std::size_t> v = d.find_value(name.get<std::string>());
      if (!v) throw InputError("unknown variable " + name.get<std::string>());
      options.run.variables.push_back(*v);
    }
    options.daily = !options.run.variables.empty();
  }
  const CaseOutcome outcome =
      run_case(g_site->model(), *in.plan, *in.scenario, in.cases->case_at(p), options);
  g_series.clear();
  g_series.reserve(outcome.daily.size());
  for (const Cell& c : outcome.daily)
    g_series.push_back(c.kind == Kind::Double ? c.d
                       : c.kind == Kind::Int  ? static_cast<double>(c.i)
                                              : 0.0);
  json answer = evaluation_json(in.cases->evaluation(outcome));
  if (options.daily && outcome.status == CaseOutcome::Status::Ok)
    answer["days"] = outcome.daily.size() / options.run.variables.size();
  return answer;
}

}  // namespace

}  // namespace tds

// Leads a study in this instance (see tds::read_study for the request):
// {"ok", "method", "total" (cases), "factors", "outputs", "figures"}, or the
// error with the command line's own message for a bad study file.
TDS_WEB_API const char* tds_web_study_start(const char* request) {
  return tds::answer_with(request, tds::study_start);
}
// The next batch: {"ok", "done", "phase", "first" (the index of its first
// case), "points" (unit coordinates)}; asked again before a tell, the same.
TDS_WEB_API const char* tds_web_study_next() {
  return tds::answer_with(nullptr, [](const nlohmann::json&) { return tds::study_next(); });
}
// The evaluations of the batch (a JSON list of tds_web_study_case's
// answers, in the order of its points): {"ok", "done"}.
TDS_WEB_API const char* tds_web_study_tell(const char* evaluations) {
  return tds::answer_with(evaluations, tds::study_tell);
}
// The finished study's tables: {"ok", "files": [[name, text]], "summary"}.
TDS_WEB_API const char* tds_web_study_tables() {
  return tds::answer_with(nullptr, [](const nlohmann::json&) { return tds::study_tables(); });
}
// Reads a study in an instance that evaluates its points: {"ok"}. The page
// then takes this instance's state as the one each case starts from.
TDS_WEB_API const char* tds_web_study_load(const char* request) {
  return tds::answer_with(request, [](const nlohmann::json& r) {
    tds::g_evaluated = tds::read_study(r);
    return nlohmann::json{{"ok", true}};
  });
}
// Runs the case of one point (a JSON list of unit coordinates, or
// {"point", "keep": [NAME, ...]}, see tds::study_case) in the library as it
// is: {"ok", "outputs": the bits of each as 16 hexadecimal digits, "days"
// with kept series} or {"ok": false, "reason"} for a case that failed.
TDS_WEB_API const char* tds_web_study_case(const char* point) {
  return tds::answer_with(point, tds::study_case);
}
