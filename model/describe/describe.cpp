// tds_describe: writes the model description, TarvelloDemoSite.json, from the
// catalogue that the library itself is expanded from.
//
//   tds_describe VERSION OUTPUT
//
// The description names every value with its kind, accessors and initial
// value, the blocks, processes and signals, and the nodes with their
// conditions or assignments and the variables they read and write. Reads and
// writes are derived from the node code itself, so they cannot drift from what
// the library does. Object keys are sorted, every list has a fixed order and
// the layout is fixed, so the same sources always give the same bytes.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "store.h"

namespace {

using json = nlohmann::json;

constexpr int kFormatVersion = 1;
constexpr char kModelName[] = "TarvelloDemoSite";

struct Process {
  int block_number;
  std::string block;
  int number;
  std::string name;
};

const std::vector<Process>& processes() {
  static const std::vector<Process> list = {
#define TDS_PROCESS_ENTRY(ctx, bn, B, pn, P) {bn, #B, pn, #P},
      TDS_PROCESSES(TDS_PROCESS_ENTRY, ~)
#undef TDS_PROCESS_ENTRY
  };
  return list;
}

const Process& process_named(const std::string& block, const std::string& name) {
  for (const Process& p : processes())
    if (p.block == block && p.name == name) return p;
  throw std::runtime_error("no process " + name + " in block " + block);
}

const Process& process_numbered(int block, int number) {
  for (const Process& p : processes())
    if (p.block_number == block && p.number == number) return p;
  throw std::runtime_error("no process " + std::to_string(number) + " in block " +
                           std::to_string(block));
}

// The constant texts that IniModel points text variables at.
#define TDS_DEFINE_CONSTANT_TEXT(constant, text) constexpr char constant[] = text;
TDS_CONSTANT_TEXTS(TDS_DEFINE_CONSTANT_TEXT)
#undef TDS_DEFINE_CONSTANT_TEXT

struct Value {
  std::string name;
  std::string kind;
  bool slot;
};

// Tables of constant texts rather than code, so that even the 1003 entries
// compile to data.
struct Entry {
  const char* name;
  const char* kind;
};
constexpr Entry kVariables[] = {
#define TDS_VARIABLE_ENTRY(kind, name) {#name, #kind},
    TDS_VARIABLES(TDS_VARIABLE_ENTRY)
#undef TDS_VARIABLE_ENTRY
};
constexpr Entry kSlots[] = {
#define TDS_SLOT_ENTRY(kind, name) {#name, #kind},
    TDS_SLOTS(TDS_SLOT_ENTRY)
#undef TDS_SLOT_ENTRY
};

std::vector<Value> catalogue_values() {
  std::vector<Value> out;
  for (const Entry& e : kVariables) out.push_back({e.name, e.kind, false});
  for (const Entry& e : kSlots) out.push_back({e.name, e.kind, true});
  return out;
}

// IniModel's assignments: qualified name -> (1-based position, value). Each
// value is converted to the kind of its storage object, as the assignment does.
std::map<std::string, std::pair<int, json>> initial_values() {
  std::map<std::string, std::pair<int, json>> out;
  int position = 0;
#define TDS_INITIAL_ENTRY(name, value) \
  out[#name] = {++position, json(static_cast<decltype(tds::store::name)>(value))};
  TDS_INITIAL_VALUES(TDS_INITIAL_ENTRY)
#undef TDS_INITIAL_ENTRY
  return out;
}

int parse_number(const std::string& digits, const std::string& context) {
  if (digits.empty() || digits.size() > 6 ||
      digits.find_first_not_of("0123456789") != std::string::npos ||
      (digits.size() > 1 && digits[0] == '0'))
    throw std::runtime_error("bad number '" + digits + "' in " + context);
  return std::stoi(digits);
}

// Splits a qualified name into <name>_B1_<block>_P1_<process>[_<n>].
json describe_value(const Value& v) {
  const std::string& q = v.name;
  const auto b1 = q.find("_B1_");
  const auto p1 = b1 == std::string::npos ? b1 : q.find("_P1_", b1 + 4);
  if (p1 == std::string::npos) throw std::runtime_error("not a qualified name: " + q);
  const std::string name_part = q.substr(0, b1);
  const std::string block = q.substr(b1 + 4, p1 - b1 - 4);
  auto end = p1 + 4;
  while (end < q.size() && std::isalpha(static_cast<unsigned char>(q[end]))) ++end;
  const Process& p = process_named(block, q.substr(p1 + 4, end - p1 - 4));
  std::optional<int> ending;
  if (end < q.size()) {
    if (q[end] != '_') throw std::runtime_error("bad ending in " + q);
    ending = parse_number(q.substr(end + 1), q);
  }
  json d;
  d["name"] = q;
  d["kind"] = v.kind;
  d["block"] = p.block;
  d["blockNumber"] = p.block_number;
  d["process"] = p.name;
  d["processNumber"] = p.number;
  d["getter"] = "Get" + q;
  d["setter"] = "Set" + q;
  if (v.slot) {
    if (name_part.rfind("PARAM_", 0) != 0 || !ending)
      throw std::runtime_error("not a slot name: " + q);
    d["category"] = "slot";
    d["signal"] = *ending;
    d["position"] = parse_number(name_part.substr(6), q);
  } else {
    d["category"] = "variable";
    d["namePart"] = name_part;
    d["ending"] = ending ? json(*ending) : json(nullptr);
  }
  return d;
}

// ------------------------------------------------------------------ nodes

// The code of a node, split into identifiers, calls and the rest.
struct Code {
  std::vector<std::string> variables;  // in order of appearance
  std::vector<std::string> calls;      // names followed by '('
};

Code scan(const std::string& text, const std::set<std::string>& known) {
  Code code;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isalpha(c) || c == '_') {
      std::size_t j = i;
      while (j < text.size() &&
             (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_'))
        ++j;
      std::string word = text.substr(i, j - i);
      std::size_t k = j;
      while (k < text.size() && text[k] == ' ') ++k;
      if (k < text.size() && text[k] == '(') {
        code.calls.push_back(word);
      } else if (known.count(word)) {
        code.variables.push_back(word);
      } else {
        throw std::runtime_error("unknown name '" + word + "' in: " + text);
      }
      i = j;
    } else if (std::isdigit(c)) {
      while (i < text.size() &&
             (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '.'))
        ++i;
    } else {
      ++i;
    }
  }
  return code;
}

std::string trim(const std::string& s) {
  const auto a = s.find_first_not_of(' ');
  const auto b = s.find_last_not_of(' ');
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

json sorted(const std::vector<std::string>& names) {
  const std::set<std::string> unique(names.begin(), names.end());
  return json(std::vector<std::string>(unique.begin(), unique.end()));
}

json node_header(int chain, const char* kind, int block, int process, const char* label,
                 int number) {
  const Process& p = process_numbered(block, process);
  json d;
  d["id"] = "0_" + std::to_string(block) + "_" + std::to_string(process) + "_" + label + "_" +
            std::to_string(number);
  d["kind"] = kind;
  d["chain"] = chain;
  d["block"] = p.block;
  d["blockNumber"] = block;
  d["process"] = p.name;
  d["processNumber"] = process;
  d["label"] = label;
  d["node"] = number;
  return d;
}

struct DecisionNode {
  int block, process;
  const char* label;
  int node;
  const char* condition;
  int if_true, if_false;
  const char* id;
};

struct TaskNode {
  int block, process;
  const char* label;
  int node;
  bool draws;
  const char* code;
  const char* id;
};

json describe_decision(int chain, const DecisionNode& n, const std::set<std::string>& known) {
  json d = node_header(chain, "decision", n.block, n.process, n.label, n.node);
  if (d["id"] != n.id) throw std::runtime_error("identifier mismatch for " + std::string(n.id));
  const Code code = scan(n.condition, known);
  if (!code.calls.empty()) throw std::runtime_error(std::string("a call in condition of ") + n.id);
  d["condition"] = n.condition;
  d["reads"] = sorted(code.variables);
  d["writes"] = json::array();
  d["ifTrue"] = n.if_true;
  d["ifFalse"] = n.if_false;
  return d;
}

// A task's statements are "<variable> = <expression>;". A variable counts as
// read when the node uses the value it held before the call, that is when it
// is read before the node has assigned it.
json describe_task(int chain, const TaskNode& n, const std::set<std::string>& known) {
  json d = node_header(chain, "task", n.block, n.process, n.label, n.node);
  if (d["id"] != n.id) throw std::runtime_error("identifier mismatch for " + std::string(n.id));
  std::vector<std::string> reads, writes, statements;
  bool draws = false;
  const std::string text = n.code;
  std::size_t start = 0;
  for (std::size_t semi = 0; (semi = text.find(';', start)) != std::string::npos;
       start = semi + 1) {
    const std::string statement = trim(text.substr(start, semi - start));
    const auto eq = statement.find(" = ");
    if (eq == std::string::npos) throw std::runtime_error("not an assignment: " + statement);
    const std::string target = statement.substr(0, eq);
    if (!known.count(target)) throw std::runtime_error("unknown target: " + statement);
    const Code rhs = scan(statement.substr(eq + 3), known);
    for (const std::string& v : rhs.variables)
      if (std::find(writes.begin(), writes.end(), v) == writes.end()) reads.push_back(v);
    for (const std::string& call : rhs.calls)
      if (call != "wrapping_add") draws = true;
    writes.push_back(target);
    statements.push_back(statement);
  }
  if (!trim(text.substr(start)).empty() || statements.empty())
    throw std::runtime_error(std::string("malformed task code of ") + n.id);
  if (draws != n.draws)
    throw std::runtime_error(std::string("random flag disagrees with the code of ") + n.id);
  d["assignments"] = statements;
  d["random"] = n.draws;
  d["reads"] = sorted(reads);
  d["writes"] = sorted(writes);
  return d;
}

json describe(const std::string& version) {
  json doc;
  doc["formatVersion"] = kFormatVersion;
  doc["model"] = kModelName;
  doc["version"] = version;
  doc["modules"] = {{"linux", std::string(kModelName) + ".so"},
                    {"windows", std::string(kModelName) + ".dll"}};
  doc["functions"] = {{"initialise", "IniModel"},
                      {"modelName", "GetModelName"},
                      {"decision", "GetModelDecision"},
                      {"task", "GetModelTask"}};

  json blocks = json::array(), procs = json::array();
  std::map<int, std::pair<std::string, std::vector<int>>> by_block;
  for (const Process& p : processes()) {
    by_block[p.block_number].first = p.block;
    by_block[p.block_number].second.push_back(p.number);
  }
  for (auto& [number, b] : by_block) {
    std::sort(b.second.begin(), b.second.end());
    blocks.push_back({{"number", number}, {"name", b.first}, {"processes", b.second}});
  }
  std::vector<Process> ps = processes();
  std::sort(ps.begin(), ps.end(), [](auto& a, auto& b) { return a.number < b.number; });
  for (const Process& p : ps)
    procs.push_back({{"number", p.number},
                     {"name", p.name},
                     {"block", p.block},
                     {"blockNumber", p.block_number}});
  doc["blocks"] = blocks;
  doc["processes"] = procs;

  std::map<int, std::vector<std::pair<int, std::string>>> signals;
#define TDS_SIGNAL_ENTRY(ctx, sig, k, kind) signals[sig].push_back({k, #kind});
  TDS_SIGNAL_PARAMETERS(TDS_SIGNAL_ENTRY, ~)
#undef TDS_SIGNAL_ENTRY
  json sigs = json::array();
  for (auto& [number, params] : signals) {
    std::sort(params.begin(), params.end());
    json kinds = json::array();
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (params[i].first != static_cast<int>(i + 1))
        throw std::runtime_error("signal " + std::to_string(number) + " skips a position");
      kinds.push_back(params[i].second);
    }
    sigs.push_back({{"number", number}, {"parameters", kinds}});
  }
  doc["signals"] = sigs;

  std::vector<Value> values = catalogue_values();
  std::sort(values.begin(), values.end(), [](auto& a, auto& b) { return a.name < b.name; });
  auto initial = initial_values();
  std::set<std::string> known;
  json vals = json::array();
  int variables = 0, slots = 0;
  for (const Value& v : values) {
    if (!known.insert(v.name).second) throw std::runtime_error("duplicate value " + v.name);
    json d = describe_value(v);
    (v.slot ? slots : variables)++;
    if (auto it = initial.find(v.name); it != initial.end()) {
      d["initialOrder"] = it->second.first;
      d["initial"] = it->second.second;
      initial.erase(it);
    }
    vals.push_back(std::move(d));
  }
  if (!initial.empty())
    throw std::runtime_error("initial value for unknown " + initial.begin()->first);
  doc["values"] = vals;

  json nodes = json::array();
  int chain = 0, decisions = 0, tasks = 0;
#define TDS_DECISION_ENTRY(block, process, label, number, condition, if_true, if_false)            \
  nodes.push_back(describe_decision(++chain,                                                       \
                                    {block, process, label, number, #condition, if_true, if_false, \
                                     TDS_NODE_ID(block, process, label, number)},                  \
                                    known));                                                       \
  ++decisions;
  TDS_DECISION_NODES(TDS_DECISION_ENTRY)
#undef TDS_DECISION_ENTRY
  chain = 0;
#define TDS_TASK_ENTRY(block, process, label, number, draws, ...)                    \
  nodes.push_back(describe_task(++chain,                                             \
                                {block, process, label, number, draws, #__VA_ARGS__, \
                                 TDS_NODE_ID(block, process, label, number)},        \
                                known));                                             \
  ++tasks;
  TDS_TASK_NODES(TDS_TASK_ENTRY)
#undef TDS_TASK_ENTRY
  doc["nodes"] = nodes;

  doc["counts"] = {{"values", variables + slots},
                   {"variables", variables},
                   {"slots", slots},
                   {"initialValues", static_cast<int>(initial_values().size())},
                   {"decisionNodes", decisions},
                   {"taskNodes", tasks},
                   {"exports", 2 * (variables + slots) + 4}};
  return doc;
}

// The file's layout: one top-level key per line, and a list of objects one
// object per line, each in compact form. Hosts read the file at every start,
// so it stays small, and a change to one entry is a change to one line.
std::string layout(const json& doc) {
  std::string out = "{\n";
  const char* separator = "";
  for (const auto& [key, value] : doc.items()) {
    out += separator;
    separator = ",\n";
    out += "  " + json(key).dump() + ": ";
    if (!value.is_array() || value.empty() || !value.front().is_object()) {
      out += value.dump();
      continue;
    }
    out += "[\n";
    for (std::size_t i = 0; i < value.size(); ++i)
      out += "    " + value[i].dump() + (i + 1 < value.size() ? ",\n" : "\n");
    out += "  ]";
  }
  return out + "\n}\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tds_describe VERSION OUTPUT\n");
    return 2;
  }
  const std::string output = argv[2];
  const std::string partial = output + ".part";
  try {
    const std::string text = layout(describe(argv[1]));
    {
      std::ofstream out(partial, std::ios::binary | std::ios::trunc);
      out << text;
      out.close();
      if (!out) throw std::runtime_error("cannot write " + partial);
    }
    if (std::rename(partial.c_str(), output.c_str()) != 0)
      throw std::runtime_error("cannot rename " + partial + " to " + output);
  } catch (const std::exception& e) {
    std::remove(partial.c_str());
    std::fprintf(stderr, "tds_describe: %s\n", e.what());
    return 1;
  }
  return 0;
}
