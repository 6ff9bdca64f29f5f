// tds_fmu_describe: writes an FMU's modelDescription.xml and its
// documentation/index.html from the resources that the FMU carries (the model
// description, the plan, the scenario and its per-day table), with the same
// variables, causalities and token that the FMU binary derives from them.
//
//   tds_fmu_describe 2|3 RESOURCES-DIR OUT-DIR
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "description.h"
#include "instance.h"
#include "loader.h"
#include "plan.h"
#include "scenario.h"
#include "variables.h"

namespace {

using namespace tds;
using namespace tds::fmu;

constexpr const char* kIdentifier = "TarvelloDemoSiteFMU";
constexpr const char* kYear = "31536000";  // 365 days of 86400 s

std::string escape(const std::string& s) {
  std::string out;
  for (const char ch : s) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\t':
        out += "&#9;";
        break;
      default:
        if (static_cast<unsigned char>(ch) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "&#%d;", ch);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  return out;
}

struct Resources {
  std::vector<std::string> texts;
  Description description;
  std::optional<Plan> plan;
  std::optional<Scenario> scenario;
  std::string plan_text, scenario_text;  // the two files' own descriptions
  std::vector<Variable> vars;
};

std::string initial_of(const Variable& v) {
  if (v.causality == Causality::Output) return "calculated";
  if (v.causality == Causality::Local) return v.start ? "exact" : "calculated";
  return "";  // inputs and parameters: exact by default, not written
}

std::string variability_of(const Variable& v) {
  if (v.causality == Causality::Parameter) return "fixed";
  if (v.causality == Causality::Independent) return "continuous";
  return "discrete";
}

// The elements between the interface type and the variables, the same in
// both versions.
void write_categories_and_experiment(std::ostream& x) {
  x << "  <LogCategories>\n";
  for (const LogCategory& c : log_categories())
    x << "    <Category name=\"" << c.name << "\" description=\"" << escape(c.description)
      << "\"/>\n";
  x << "  </LogCategories>\n"
    << "  <DefaultExperiment startTime=\"0\" stopTime=\"" << kYear << "\" stepSize=\"86400\"/>\n"
    << "  <ModelVariables>\n";
}

void write_fmi2(std::ostream& x, const Resources& s) {
  x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    << "<fmiModelDescription fmiVersion=\"2.0\" modelName=\"" << escape(s.description.model())
    << "\" guid=\"" << token(s.texts) << "\" description=\"" << escape(s.scenario_text)
    << "\" version=\"" << escape(s.description.version())
    << "\" generationTool=\"tds_fmu_describe\" variableNamingConvention=\"flat\""
    << " numberOfEventIndicators=\"0\">\n"
    << "  <CoSimulation modelIdentifier=\"" << kIdentifier << "\""
    << " canHandleVariableCommunicationStepSize=\"true\""
    << " canBeInstantiatedOnlyOncePerProcess=\"false\""
    << " canNotUseMemoryManagementFunctions=\"true\""
    << " canGetAndSetFMUstate=\"true\" canSerializeFMUstate=\"true\"/>\n";
  write_categories_and_experiment(x);
  std::vector<std::size_t> outputs;
  for (std::size_t vr = 0; vr < s.vars.size(); ++vr) {
    const Variable& v = s.vars[vr];
    if (v.causality == Causality::Output) outputs.push_back(vr + 1);  // 1-based index
    x << "    <!-- " << vr + 1 << " -->\n"
      << "    <ScalarVariable name=\"" << escape(v.name) << "\" valueReference=\"" << vr
      << "\" description=\"" << escape(v.description) << "\" causality=\""
      << causality_name(v.causality) << "\" variability=\"" << variability_of(v) << "\"";
    const std::string initial = initial_of(v);
    if (!initial.empty()) x << " initial=\"" << initial << "\"";
    x << ">\n      <" << fmi2_type_name(v.type);
    if (v.start) x << " start=\"" << escape(*v.start) << "\"";
    x << "/>\n    </ScalarVariable>\n";
  }
  x << "  </ModelVariables>\n  <ModelStructure>\n    <Outputs>\n";
  for (std::size_t i : outputs) x << "      <Unknown index=\"" << i << "\"/>\n";
  x << "    </Outputs>\n    <InitialUnknowns>\n";
  for (std::size_t i : outputs) x << "      <Unknown index=\"" << i << "\"/>\n";
  x << "    </InitialUnknowns>\n  </ModelStructure>\n</fmiModelDescription>\n";
}

void write_fmi3(std::ostream& x, const Resources& s) {
  x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    << "<fmiModelDescription fmiVersion=\"3.0\" modelName=\"" << escape(s.description.model())
    << "\" instantiationToken=\"" << token(s.texts) << "\" description=\""
    << escape(s.scenario_text) << "\" version=\"" << escape(s.description.version())
    << "\" generationTool=\"tds_fmu_describe\" variableNamingConvention=\"flat\">\n"
    << "  <CoSimulation modelIdentifier=\"" << kIdentifier << "\""
    << " canHandleVariableCommunicationStepSize=\"true\""
    << " canBeInstantiatedOnlyOncePerProcess=\"false\""
    << " canGetAndSetFMUState=\"true\" canSerializeFMUState=\"true\"/>\n";
  write_categories_and_experiment(x);
  std::vector<std::size_t> outputs;
  for (std::size_t vr = 0; vr < s.vars.size(); ++vr) {
    const Variable& v = s.vars[vr];
    if (v.causality == Causality::Output) outputs.push_back(vr);
    x << "    <" << fmi3_type_name(v.type) << " name=\"" << escape(v.name) << "\" valueReference=\""
      << vr << "\" description=\"" << escape(v.description) << "\" causality=\""
      << causality_name(v.causality) << "\" variability=\"" << variability_of(v) << "\"";
    const std::string initial = initial_of(v);
    if (!initial.empty()) x << " initial=\"" << initial << "\"";
    if (v.type == Type::String) {
      if (v.start)
        x << ">\n      <Start value=\"" << escape(*v.start) << "\"/>\n    </String>\n";
      else
        x << "/>\n";
    } else {
      if (v.start) x << " start=\"" << escape(*v.start) << "\"";
      x << "/>\n";
    }
  }
  x << "  </ModelVariables>\n  <ModelStructure>\n";
  for (std::size_t vr : outputs) x << "    <Output valueReference=\"" << vr << "\"/>\n";
  for (std::size_t vr : outputs) x << "    <InitialUnknown valueReference=\"" << vr << "\"/>\n";
  x << "  </ModelStructure>\n</fmiModelDescription>\n";
}

void write_html(std::ostream& h, const Resources& s, int version) {
  auto rows = [&](Causality c) {
    std::string out;
    for (std::size_t vr = 0; vr < s.vars.size(); ++vr) {
      const Variable& v = s.vars[vr];
      if (v.causality != c) continue;
      out += "<tr><td><code>" + escape(v.name) + "</code></td><td>" + std::to_string(vr) +
             "</td><td>" + (version == 2 ? fmi2_type_name(v.type) : fmi3_type_name(v.type)) +
             "</td><td>" + escape(v.start.value_or("")) + "</td><td>" + escape(v.description) +
             "</td></tr>\n";
    }
    return out;
  };
  std::size_t locals = 0;
  for (const Variable& v : s.vars) locals += v.causality == Causality::Local ? 1 : 0;
  const std::string head =
      "<table><thead><tr><th>Name</th><th>Value reference</th><th>Type</th><th>Start</th>"
      "<th>Description</th></tr>"
      "</thead><tbody>\n";
  h << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    << "<title>TarvelloDemoSite FMU (FMI " << version << ".0)</title>\n"
    << "<style>body{font-family:sans-serif;max-width:60em;margin:2em auto;line-height:1.4}"
       "td,th{border-bottom:1px solid #ccc;padding:0.2em 0.6em;text-align:left}</style>\n"
    << "</head>\n<body>\n<main>\n<h1>TarvelloDemoSite as a co-simulation FMU (FMI " << version
    << ".0)</h1>\n"
    << "<p>" << escape(s.scenario_text) << "</p>\n<p>" << escape(s.plan_text) << "</p>\n"
    << "<h2>Time</h2>\n<p>Time is in seconds; one day is 86400 s. After initialisation the "
       "values are those of day 0 (IniModel, the scenario's constants, the start transitions). "
       "A step performs every day whose end it reaches: the values at time d &#215; 86400 s "
       "are those of day d. Steps of any positive size work; a step that ends inside a day "
       "changes nothing until that day's end. A step that ends after a defined stop time, or "
       "that would perform more than 1000000 days, is refused before any work. The default "
       "experiment is one year (31536000 s) in steps of a day.</p>\n"
    << "<h2>Inputs</h2>\n<p>The columns of the scenario's per-day table. With the parameter "
       "<code>useScenarioInputs</code> true (the default) the table drives every input that the "
       "importer does not set; an input the importer sets in step mode holds the importer's "
       "value from then on. With <code>useScenarioInputs</code> false the importer drives every "
       "input. The value an input has when a step begins is the value the days of that step "
       "see: to give day d a value, set it at time (d &#8722; 1) &#215; 86400 s.</p>\n"
    << head << rows(Causality::Input) << "</tbody></table>\n"
    << "<h2>Outputs</h2>\n<p>The plan's output variables (that are not inputs).</p>\n"
    << head << rows(Causality::Output) << "</tbody></table>\n"
    << "<h2>Parameters</h2>\n<p>The scenario's constants, and <code>useScenarioInputs</code>. "
       "A start value set before initialisation acts like <code>tarvello-run --set</code>: "
       "written after IniModel and the scenario's constants.</p>\n"
    << head << rows(Causality::Parameter) << "</tbody></table>\n"
    << "<h2>Other variables</h2>\n<p>The " << locals
    << " other values of the model are local variables that an importer can read; those with "
       "an initial value from IniModel have it as their start value and can be set before "
       "initialisation as well.</p>\n"
    << "<h2>Instances and states</h2>\n<p>Every instance loads its own copy of the model "
       "library, so that instances in one process do not share state. FMU states can be "
       "saved, restored, serialized and restored into another instance; a reset returns to "
       "the state after instantiation.</p>\n"
    << "</main>\n</body>\n</html>\n";
}

std::string description_of(const std::string& text, const std::string& source) {
  const nlohmann::json doc = Plan::read_json(text, source);
  return json_string(doc, "description", source);
}

// The scenario's note on an input: the sentence of the per-day table's note
// that begins with the input's name ("<name>: ..."), up to the next input's.
std::string input_note(const std::string& table_note, const std::string& name,
                       const std::vector<std::string>& inputs) {
  const auto at = table_note.find(name + ": ");
  if (at == std::string::npos) return "";
  const std::size_t from = at + name.size() + 2;
  std::size_t to = table_note.size();
  for (const std::string& other : inputs) {
    const auto next = table_note.find(" " + other + ": ", from);
    if (next != std::string::npos && next < to) to = next;
  }
  std::string note = table_note.substr(from, to - from);
  while (!note.empty() && note.back() == ' ') note.pop_back();
  return note;
}

// What a modeller reads of the inputs, parameters and outputs: the
// scenario's notes (what the value is), the plan's notes on the nodes that
// write it (when it changes), and whether it accumulates over the run: a
// task of the model that reads it and writes it (the description's reads
// and writes are derived from the node code).
void add_notes(Resources& s) {
  const nlohmann::json model = nlohmann::json::parse(s.texts[0]);
  const nlohmann::json plan = Plan::read_json(s.texts[1], "plan.json");
  const nlohmann::json scenario = Plan::read_json(s.texts[2], "scenario.json");
  const nlohmann::json notes = scenario.value("notes", nlohmann::json::object());
  std::map<std::string, std::string> node_note;
  for (const auto& process : plan.at("processes"))
    for (const auto& [id, node] : process.at("nodes").items())
      if (node.contains("note")) node_note[id] = node.at("note").get<std::string>();
  std::vector<std::string> inputs;
  for (const Variable& v : s.vars)
    if (v.causality == Causality::Input) inputs.push_back(v.name);
  const std::string table_note = notes.contains(scenario.value("daily", ""))
                                     ? notes.at(scenario.value("daily", "")).get<std::string>()
                                     : "";
  for (Variable& v : s.vars) {
    if (!v.value || v.causality == Causality::Local) continue;
    std::vector<std::string> changes, accumulates;
    for (const auto& node : model.at("nodes")) {
      const auto& writes = node.at("writes");
      if (std::find(writes.begin(), writes.end(), v.name) == writes.end()) continue;
      const std::string id = node.at("id").get<std::string>();
      const std::string note = node_note.count(id) != 0 ? node_note[id] : id;
      changes.push_back(note);
      const auto& reads = node.at("reads");
      if (node.at("kind") == "task" && std::find(reads.begin(), reads.end(), v.name) != reads.end())
        accumulates.push_back(note);
    }
    std::vector<std::string> sentences = {v.description};
    if (v.causality == Causality::Input)
      sentences.push_back(input_note(table_note, v.name, inputs));
    if (notes.contains(v.name)) sentences.push_back(notes.at(v.name).get<std::string>());
    if (!changes.empty() && v.causality == Causality::Output) {
      std::string at = "Changes at the plan's nodes: ";
      for (std::size_t k = 0; k < changes.size(); ++k) at += (k > 0 ? "; " : "") + changes[k];
      sentences.push_back(at);
    }
    if (!accumulates.empty())
      sentences.push_back(
          "Accumulates over the run: a task of the model updates it from its own value");
    v.description.clear();
    for (std::string sentence : sentences) {
      while (!sentence.empty() && (sentence.back() == '.' || sentence.back() == ' '))
        sentence.pop_back();
      if (sentence.empty()) continue;
      sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
      v.description += (v.description.empty() ? "" : " ") + sentence + ".";
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::string(argv[1]) != "2" && std::string(argv[1]) != "3")) {
    std::cerr << "usage: tds_fmu_describe 2|3 RESOURCES-DIR OUT-DIR\n";
    return 2;
  }
  const int version = argv[1][0] - '0';
  const std::string resources = argv[2], out = argv[3];
  try {
    Resources s;
    for (const std::string& name : resource_names())
      s.texts.push_back(read_text_file(path_join(resources, name), "FMU resource"));
    s.description = Description::parse(s.texts[0], resource_names()[0]);
    s.plan.emplace(
        Plan::parse(std::string_view(s.texts[1]), std::string("plan.json"), s.description));
    s.scenario.emplace(
        Scenario::parse(s.texts[2], "scenario.json", s.description, [&](const std::string& name) {
          return read_text_file(path_join(resources, name), "per-day table");
        }));
    s.plan_text = description_of(s.texts[1], "plan.json");
    s.scenario_text = description_of(s.texts[2], "scenario.json");
    s.vars = variables(s.description, *s.plan, *s.scenario, version == 3);
    add_notes(s);
    std::ostringstream xml, html;
    if (version == 2)
      write_fmi2(xml, s);
    else
      write_fmi3(xml, s);
    write_html(html, s, version);
    for (const auto& [path, text] :
         {std::pair{path_join(out, "modelDescription.xml"), xml.str()},
          std::pair{path_join(path_join(out, "documentation"), "index.html"), html.str()}}) {
      std::ofstream f(path, std::ios::binary);
      f << text;
      f.close();
      if (!f) {
        std::cerr << "tds_fmu_describe: cannot write " << path << "\n";
        return 1;
      }
    }
  } catch (const std::exception& e) {
    std::cerr << "tds_fmu_describe: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
