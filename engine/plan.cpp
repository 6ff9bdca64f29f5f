#include "plan.h"

#include <nlohmann/json.hpp>
#include <set>

namespace tds {

using nlohmann::json;

namespace {

// The block and process fields of a node identifier "0_<b>_<p>_<label>_<n>",
// or false when the text does not have that form.
bool split_id(const std::string& id, int& process, std::string& label, int& number) {
  auto digits = [](const std::string& s) {
    return !s.empty() && s.size() <= 9 && s.find_first_not_of("0123456789") == std::string::npos &&
           (s.size() == 1 || s[0] != '0');
  };
  if (id.rfind("0_", 0) != 0) return false;
  const auto b_end = id.find('_', 2);
  if (b_end == std::string::npos) return false;
  const auto p_end = id.find('_', b_end + 1);
  const auto n_start = id.rfind('_');
  if (p_end == std::string::npos || n_start <= p_end + 1) return false;
  const std::string block = id.substr(2, b_end - 2), proc = id.substr(b_end + 1, p_end - b_end - 1),
                    num = id.substr(n_start + 1);
  label = id.substr(p_end + 1, n_start - p_end - 1);
  if (!digits(block) || !digits(proc) || !digits(num) || label.empty()) return false;
  process = std::stoi(proc);
  number = std::stoi(num);
  return true;
}

class Reader {
 public:
  Reader(const std::string& source, const Description& d) : source_(source), d_(d) {}

  [[noreturn]] void fail(const std::string& where, const std::string& what) const {
    throw InputError("plan " + source_ + ": " + where + ": " + what);
  }

  std::size_t variable(const json& name, const std::string& where) const {
    if (!name.is_string()) fail(where, "a variable name must be a string");
    return value_named(d_, name.get<std::string>(), "plan " + source_ + ": " + where + ": ");
  }

  // Checks that an object has only the keys it may have.
  void keys(const json& object, const std::string& where,
            const std::set<std::string>& allowed) const {
    if (!object.is_object()) fail(where, "must be a JSON object");
    for (const auto& [key, value] : object.items())
      if (!allowed.count(key)) fail(where, "unknown key \"" + key + "\"");
  }

 private:
  const std::string& source_;
  const Description& d_;
};

}  // namespace

int Plan::answer(const PlanNode& decision, std::int32_t number) const {
  if (number == decision.number_true) return decision.on_true;
  if (number == decision.number_false) return decision.on_false;
  const auto it = index_.find(sibling_node(decision.id, number));
  return it == index_.end() ? -1 : it->second;
}

json Plan::read_json(std::string_view text, const std::string& source) {
  return tds::read_json(text, "plan " + source);
}

Plan Plan::parse(std::string_view text, const std::string& source, const Description& d) {
  return parse(read_json(text, source), source, d);
}

Plan Plan::parse(const json& doc, const std::string& source, const Description& d) {
  Plan plan;
  plan.source_ = source;
  const Reader r(source, d);
  r.keys(doc, "top level",
         {"format", "formatVersion", "model", "description", "processes", "output", "summary"});
  const std::string top = "plan " + source;
  if (json_string(doc, "format", top) != "tarvello-plan" ||
      json_integer(doc, "formatVersion", top, 0) != 1)
    r.fail("top level",
           "not a plan (expected \"format\": \"tarvello-plan\", \"formatVersion\": 1)");
  if (json_string(doc, "model", top) != d.model())
    r.fail("model", "the plan is for " + json_string(doc, "model", top, "no model") +
                        ", the library carries " + d.model());
  if (!doc.contains("processes") || !doc["processes"].is_array())
    r.fail("processes", "must be a list of processes");

  // First pass: every node and its kind, so that "next" may point forward.
  struct Pending {
    const json* entry;
    std::string where;
  };
  std::vector<Pending> pending;
  std::set<std::string> seen_processes;
  for (std::size_t p = 0; p < doc["processes"].size(); ++p) {
    const json& proc = doc["processes"][p];
    std::string where = "processes[" + std::to_string(p) + "]";
    r.keys(proc, where, {"process", "start", "day", "nodes", "description"});
    const std::string name = json_string(proc, "process", top + ": " + where);
    const ProcessInfo* info = d.find_process(name);
    if (!info) r.fail(where, "unknown process \"" + name + "\"");
    if (!seen_processes.insert(name).second) r.fail(where, "process " + name + " appears twice");
    where += " (" + name + ")";
    plan.processes_.push_back({name, -1, -1});
    if (!proc.contains("nodes") || !proc["nodes"].is_object())
      r.fail(where, "\"nodes\" must be an object of node identifiers");
    for (const auto& [id, entry] : proc["nodes"].items()) {
      const std::string at = where + ": node " + id;
      r.keys(entry, at, {"next", "actions", "host", "note"});
      int process = 0, number = 0;
      std::string label;
      if (!split_id(id, process, label, number) || process != info->number)
        r.fail(at, "not a node identifier of " + name + " (0_<block>_" +
                       std::to_string(info->number) + "_<label>_<node>)");
      PlanNode node{id, PlanNode::Kind::Host, -1, {}, 0, 0, -1, -1, p};
      const bool host = json_bool(entry, "host", top + ": " + at, false);
      if (const auto described = d.find_node(id)) {
        if (host) r.fail(at, "carries model code; it cannot be a host node");
        const NodeInfo& n = d.nodes()[*described];
        node.kind = n.decision ? PlanNode::Kind::Decision : PlanNode::Kind::Task;
        node.number_true = n.if_true;
        node.number_false = n.if_false;
        if (entry.contains("actions")) r.fail(at, "actions belong on host nodes");
        if (n.decision && entry.contains("next"))
          r.fail(at, "a decision's answer decides what follows; it takes no \"next\"");
      } else if (!host) {
        std::vector<std::string_view> ids;
        for (const NodeInfo& n : d.nodes()) ids.push_back(n.id);
        r.fail(at, with_nearest("unknown node: the model has no such node (a node without model "
                                "code needs \"host\": true)",
                                nearest_names(id, ids, 3)));
      }
      plan.index_[id] = static_cast<int>(plan.nodes_.size());
      plan.nodes_.push_back(std::move(node));
      pending.push_back({&entry, at});
    }
  }

  auto node_ref = [&](const json& id, std::size_t process, const std::string& where) {
    if (!id.is_string()) r.fail(where, "must be a node identifier");
    const auto it = plan.index_.find(id.get<std::string>());
    if (it == plan.index_.end() || plan.nodes_[it->second].process != process)
      r.fail(where, "unknown node " + id.get<std::string>() +
                        ": the plan does not define it under " + plan.processes_[process].name);
    return it->second;
  };

  // Second pass: successors, answers and actions.
  for (std::size_t i = 0; i < plan.nodes_.size(); ++i) {
    PlanNode& node = plan.nodes_[i];
    const json& entry = *pending[i].entry;
    const std::string& at = pending[i].where;
    if (entry.contains("next") && !entry["next"].is_null())
      node.next = node_ref(entry["next"], node.process, at + ": next");
    if (node.kind == PlanNode::Kind::Decision) {
      node.on_true = node_ref(sibling_node(node.id, node.number_true), node.process,
                              at + ": its answer " + std::to_string(node.number_true));
      node.on_false = node_ref(sibling_node(node.id, node.number_false), node.process,
                               at + ": its answer " + std::to_string(node.number_false));
    }
    if (!entry.contains("actions")) continue;
    if (!entry["actions"].is_array()) r.fail(at, "\"actions\" must be a list");
    for (std::size_t a = 0; a < entry["actions"].size(); ++a) {
      const json& action = entry["actions"][a];
      const std::string where = at + ": actions[" + std::to_string(a) + "]";
      if (action.contains("copy")) {
        r.keys(action, where, {"copy", "to"});
        if (!action.contains("to")) r.fail(where, "a copy needs \"to\"");
        const std::size_t from = r.variable(action["copy"], where);
        const std::size_t to = r.variable(action["to"], where);
        if (d.values()[from].kind != d.values()[to].kind)
          r.fail(where, "copies a " + std::string(kind_name(d.values()[from].kind)) + " into a " +
                            kind_name(d.values()[to].kind));
        node.actions.push_back({to, true, from, {}});
      } else if (action.contains("set")) {
        r.keys(action, where, {"set", "value"});
        if (!action.contains("value")) r.fail(where, "a set needs \"value\"");
        const std::size_t to = r.variable(action["set"], where);
        node.actions.push_back({to, false, 0,
                                parse_json_cell(d.values()[to].kind, action["value"],
                                                "plan " + source + ": " + where, plan.texts_)});
      } else {
        r.fail(where, "an action is {\"copy\": FROM, \"to\": TO} or {\"set\": NAME, \"value\": V}");
      }
    }
  }

  for (std::size_t p = 0; p < plan.processes_.size(); ++p) {
    const json& proc = doc["processes"][p];
    const std::string where =
        "processes[" + std::to_string(p) + "] (" + plan.processes_[p].name + ")";
    if (proc.contains("start"))
      plan.processes_[p].start = node_ref(proc["start"], p, where + ": start");
    if (proc.contains("day")) plan.processes_[p].day = node_ref(proc["day"], p, where + ": day");
  }

  if (doc.contains("output")) {
    const json& out = doc["output"];
    r.keys(out, "output", {"variables", "panels", "labels"});
    if (out.contains("labels"))
      plan.labels_ = check_labels(out["labels"], top + ": output.labels", d, false);
    for (const json& v : json_list(out, "variables", top + ": output"))
      plan.default_variables_.push_back(r.variable(v, "output.variables"));
    // Panels only group columns for plots; their names must still exist.
    for (const json& panel : json_list(out, "panels", top + ": output")) {
      r.keys(panel, "output.panels", {"title", "unit", "variables"});
      json_string(panel, "title", top + ": output.panels");
      json_string(panel, "unit", top + ": output.panels");
      for (const json& v : json_list(panel, "variables", top + ": output.panels"))
        r.variable(v, "output.panels");
    }
  }
  if (doc.contains("summary")) {
    const json& s = doc["summary"];
    r.keys(s, "summary", {"counts", "shortfalls", "levels"});
    auto counts = [&](const char* key, std::vector<NodeCount>& into) {
      for (const json& c : json_list(s, key, top + ": summary")) {
        const std::string where = std::string("summary.") + key;
        r.keys(c, where, {"name", "node", "label"});
        const std::string label = json_string(c, "label", top + ": " + where);
        if (!c.contains("name") || !c["name"].is_string() || !c.contains("node"))
          r.fail(where, "each entry needs \"name\" and \"node\"");
        const auto it = c["node"].is_string() ? plan.index_.find(c["node"].get<std::string>())
                                              : plan.index_.end();
        if (it == plan.index_.end())
          r.fail(where, "unknown node " + c["node"].dump() + ": the plan does not define it");
        into.push_back({c["name"].get<std::string>(), it->second, label});
      }
    };
    counts("counts", plan.counts_);
    counts("shortfalls", plan.shortfalls_);
    for (const json& v : json_list(s, "levels", top + ": summary"))
      plan.levels_.push_back(r.variable(v, "summary.levels"));
  }
  return plan;
}

}  // namespace tds
