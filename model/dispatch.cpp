// Node dispatch: the decision and task nodes of the ten process diagrams,
// each reached by its node identifier "0_<block>_<process>_<label>_<node>".
//
// Identifiers match only when equal byte for byte over their whole length.
// Each function is one flat chain of comparisons against constant texts, in
// the catalogue's order; nothing is built or allocated. Node code works on the
// store directly.
#include <cstdint>
#include <cstring>

#include "CongruentailRandom.h"
#include "store.h"

namespace {

// Byte-for-byte equality. Every identifier starts "0_<block>": the first
// three bytes, compared in line (each only when the one before matched, so a
// shorter text is never read beyond its end), settle most entries of a chain
// before any library call: a task call costs about a third of what 26 calls
// of strcmp did (BENCHMARKS.md).
bool is(const char* node, const char* id) {
  return node[0] == id[0] && node[1] == id[1] && node[2] == id[2] && std::strcmp(node, id) == 0;
}

// The int counters wrap around in two's complement instead of overflowing.
std::int32_t wrapping_add(std::int32_t counter, std::int32_t step) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) +
                                   static_cast<std::uint32_t>(step));
}

}  // namespace

extern "C" {

// Answers the number of the node to continue with, or 0 when the identifier
// names no decision node. Stops at the first matching identifier.
TDS_API int32_t GetModelDecision(const char* node) {
  using namespace tds::store;
  if (node == nullptr) return 0;
#define TDS_DECIDE(block, process, label, number, condition, if_true, if_false) \
  if (is(node, TDS_NODE_ID(block, process, label, number))) return (condition) ? if_true : if_false;
  TDS_DECISION_NODES(TDS_DECIDE)
#undef TDS_DECIDE
  return 0;
}

// Performs the assignments of the named task node, in order, and answers 0.
// Every identifier is compared, whether an earlier one matched or not.
TDS_API int32_t GetModelTask(const char* node) {
  using namespace tds::store;
  if (node == nullptr) return 0;
#define TDS_PERFORM(block, process, label, number, draws, ...) \
  if (is(node, TDS_NODE_ID(block, process, label, number))) {  \
    __VA_ARGS__                                                \
  }
  TDS_TASK_NODES(TDS_PERFORM)
#undef TDS_PERFORM
  return 0;
}

}  // extern "C"
