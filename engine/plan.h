// The diagram plan: how a host walks a model's process diagrams, as data.
//
// For each process the plan names where its start transition begins (run
// once, before day 1) and where each day's walk begins, and for each node what
// follows it. A task node is performed and the walk goes on at its "next"; a
// decision node is evaluated and the walk goes on at the node whose number it
// answers (same process and label); a node without model code ("host": true)
// performs its actions, copying a value from one variable to another as a
// signal would or setting one, and goes on at its "next". A node without
// "next" ends the walk. The format is documented in docs/plan-and-scenario.md.
#ifndef TDS_HOST_PLAN_H
#define TDS_HOST_PLAN_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "description.h"
#include "model.h"

namespace tds {

struct Action {
  std::size_t target = 0;  // value index
  bool copy = false;       // copy from source, or set to value
  std::size_t source = 0;
  Cell value;
};

struct PlanNode {
  enum class Kind { Task, Decision, Host };
  std::string id;
  Kind kind;
  int next = -1;  // node index, -1 ends the walk (tasks and host nodes)
  std::vector<Action> actions;
  // Decisions: the nodes that the two described answers lead to.
  int number_true = 0, number_false = 0;
  int on_true = -1, on_false = -1;
  std::size_t process;  // index into Plan::processes()
};

struct PlanProcess {
  std::string name;
  int start = -1;  // node index of the start transition, or -1
  int day = -1;    // node index where each day's walk begins, or -1
};

// A named count of the days on which a node was visited.
struct NodeCount {
  std::string name;
  int node;
};

class Plan {
 public:
  // Reads a plan and checks it against the description: every process,
  // node and variable it names exists, every node a walk can reach is
  // defined, and actions fit the variables' kinds. Throws InputError naming
  // the source and the offending entry.
  static Plan parse(std::string_view text, const std::string& source, const Description& d);
  // The same for a plan already read as JSON (read_json).
  static Plan parse(const nlohmann::json& doc, const std::string& source, const Description& d);
  // A plan's text as JSON; throws InputError when it is not valid JSON.
  static nlohmann::json read_json(std::string_view text, const std::string& source);

  const std::string& source() const { return source_; }
  const std::vector<PlanProcess>& processes() const { return processes_; }
  const std::vector<PlanNode>& nodes() const { return nodes_; }

  // The value indexes written by default, and the panels that group them.
  const std::vector<std::size_t>& default_variables() const { return default_variables_; }
  // Days on which a node was visited (e.g. irrigated days), days with a
  // shortfall (any of the shortfall nodes visited), and levels to report.
  const std::vector<NodeCount>& counts() const { return counts_; }
  const std::vector<NodeCount>& shortfalls() const { return shortfalls_; }
  const std::vector<std::size_t>& levels() const { return levels_; }

  // The node that a decision's answer leads to, or -1 when the plan defines
  // none.
  int answer(const PlanNode& decision, std::int32_t number) const;

  // The plain labels of "output.labels", by value name.
  const ValueLabels& labels() const { return labels_; }

 private:
  std::string source_;
  std::vector<PlanProcess> processes_;
  std::vector<PlanNode> nodes_;
  std::vector<std::size_t> default_variables_, levels_;
  std::vector<NodeCount> counts_, shortfalls_;
  std::deque<std::string> texts_;  // texts that set actions store
  ValueLabels labels_;
  std::unordered_map<std::string, int> index_;
};

// The most steps one walk may take before the host calls it a loop.
constexpr int kMaxStepsPerWalk = 10000;

}  // namespace tds

#endif  // TDS_HOST_PLAN_H
