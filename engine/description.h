// The model description, TarvelloDemoSite.json: what a host learns about a
// model library without knowing the model beforehand. Only the parts that a
// host needs are kept: the values with their kinds, accessors and initial
// values, the processes, and the nodes that carry model code.
#ifndef TDS_HOST_DESCRIPTION_H
#define TDS_HOST_DESCRIPTION_H

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "input.h"

namespace tds {

struct ValueInfo {
  std::string name;
  Kind kind;
  std::string getter;
  std::string setter;
  int process;                         // process number
  bool slot;                           // a signal parameter slot, not a model variable
  std::optional<std::string> initial;  // as written in the description (texts unquoted)
};

struct NodeInfo {
  std::string id;
  bool decision;
  int process;  // process number
  std::string label;
  int number;
  int if_true = 0;  // decisions only
  int if_false = 0;
};

// The identifier of the node with another number under the same process and
// label as the node `id`: where a decision's answer leads.
std::string sibling_node(const std::string& id, long long number);

struct ProcessInfo {
  int number;
  std::string name;
  std::string block;
};

class Description {
 public:
  Description() = default;
  // Movable, not copyable: the indexes refer into the owned names.
  Description(Description&&) = default;
  Description& operator=(Description&&) = default;
  Description(const Description&) = delete;
  Description& operator=(const Description&) = delete;
  ~Description() = default;

  // Reads and checks a description; source names it in messages. Throws
  // InputError.
  static Description parse(std::string_view text, const std::string& source);
  static Description load(const std::string& path);

  const std::string& model() const { return model_; }
  const std::string& version() const { return version_; }
  const std::string& source() const { return source_; }
  const std::string& function(const char* role) const;  // initialise, modelName, decision, task

  const std::vector<ValueInfo>& values() const { return values_; }
  const std::vector<NodeInfo>& nodes() const { return nodes_; }
  const std::vector<ProcessInfo>& processes() const { return processes_; }

  // Index into values() / nodes(), or nothing.
  std::optional<std::size_t> find_value(std::string_view name) const;
  std::optional<std::size_t> find_node(std::string_view id) const;
  const ProcessInfo* find_process(std::string_view name) const;

  // The known value names closest to a mistyped one, for messages, ranked by
  // nearest_names with the plain labels that a plan or scenario gives them.
  std::vector<std::string> nearest_values(std::string_view name, const Labels* labels = nullptr,
                                          std::size_t count = 3) const;

 private:
  friend class DescriptionReader;
  std::string source_, model_, version_;
  std::unordered_map<std::string, std::string> functions_;
  std::vector<ValueInfo> values_;
  std::vector<NodeInfo> nodes_;
  std::vector<ProcessInfo> processes_;
  std::unordered_map<std::string_view, std::size_t> value_index_, node_index_;
};

}  // namespace tds

#endif  // TDS_HOST_DESCRIPTION_H
