// The model description against the built library: what it names resolves,
// what it says about initial values holds, and its nodes read and write
// exactly what it lists.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "host.h"

using namespace tds_test;
using nlohmann::json;

namespace {

const json& description() {
  static const json d = [] {
    const std::string path = tds::path_join(tds::executable_directory(), "TarvelloDemoSite.json");
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      ADD_FAILURE() << "cannot read " << path;
      return json::object();
    }
    return json::parse(in);
  }();
  return d;
}

std::set<std::string> names_in(const json& list) {
  std::set<std::string> out;
  for (const auto& n : list) out.insert(n.get<std::string>());
  return out;
}

// Values that a node's result should not depend on, unless it reads them.
std::vector<Cell> perturbations(Kind kind) {
  static char text[] = "perturbed";
  switch (kind) {
    case Kind::Double:
      return {cell_of(0.0), cell_of(1e300), cell_of(-1e300),
              cell_of(std::numeric_limits<double>::quiet_NaN())};
    case Kind::Int:
      return {cell_of(std::int32_t{0}), cell_of(std::int32_t{1}), cell_of(std::int32_t{365}),
              cell_of(std::numeric_limits<std::int32_t>::min())};
    case Kind::Text:
      return {cell_of(static_cast<const char*>(nullptr)), cell_of(text)};
  }
  return {};
}

std::vector<json> nodes_of_kind(const char* kind) {
  std::vector<json> out;
  for (const auto& n : description()["nodes"])
    if (n["kind"] == kind) out.push_back(n);
  return out;
}

}  // namespace

TEST(Description, NamesExactlyTheExportsOfTheModuleWithTheirKinds) {
  const json& d = description();
  ASSERT_TRUE(d.contains("values"));
  EXPECT_EQ(d["model"], "TarvelloDemoSite");
  EXPECT_EQ(d["model"], std::string(model_name()));

  std::map<std::string, std::string> described;  // export name -> kind
  for (const auto& v : d["values"]) {
    described[v["getter"]] = v["kind"];
    described[v["setter"]] = v["kind"];
  }
  std::set<std::string> functions;
  for (const auto& [role, name] : d["functions"].items()) functions.insert(name);
  for (const std::string& name : functions) described[name] = "function";

  std::map<std::string, std::string> expected;
  for (const Export& e : expected_exports())
    expected[e.name] = functions.count(e.name) ? "function" : to_string(e.kind);
  EXPECT_EQ(described, expected);
  for (const auto& [name, kind] : described)
    EXPECT_NE(module().symbol(name.c_str()), nullptr) << name;
}

TEST(Description, IniModelGivesEveryValueItsDescribedInitialValueAndLeavesTheRestZero) {
  ini_model();
  std::size_t initialised = 0;
  for (const auto& v : description()["values"]) {
    const Value& value = tds_test::value(v["name"].get<std::string>());
    const Cell held = read(value);
    if (!v.contains("initial")) {
      EXPECT_EQ(held, zero_of(value.kind)) << value.name;
      continue;
    }
    ++initialised;
    const json& initial = v["initial"];
    switch (value.kind) {
      case Kind::Double:
        EXPECT_EQ(held, cell_of(initial.get<double>())) << value.name;
        break;
      case Kind::Int:
        EXPECT_EQ(held, cell_of(initial.get<std::int32_t>())) << value.name;
        break;
      case Kind::Text: {
        const char* text = get_text(value.name);
        ASSERT_NE(text, nullptr) << value.name;
        EXPECT_EQ(std::string(text), initial.get<std::string>()) << value.name;
        break;
      }
    }
  }
  EXPECT_EQ(initialised, description()["counts"]["initialValues"].get<std::size_t>());
}

// Every value holds a distinct marker; the task node then changes exactly the
// values it lists as writes. For a node that draws no random numbers, no value
// outside its reads changes what it writes, and each of its reads does.
TEST(Description, TaskNodesWriteExactlyTheirWritesAndDependOnlyOnTheirReads) {
  const auto& all = values();
  const Markers markers;
  const auto tasks = nodes_of_kind("task");
  ASSERT_EQ(tasks.size(), description()["counts"]["taskNodes"].get<std::size_t>());
  for (const json& node : tasks) {
    const std::string id = node["id"];
    const std::set<std::string> reads = names_in(node["reads"]);
    const std::set<std::string> writes = names_in(node["writes"]);

    markers.write_all();
    EXPECT_EQ(task(id.c_str()), 0) << id;
    std::vector<std::size_t> written;
    std::set<std::string> changed;
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (!(read(all[i]) == markers[i])) changed.insert(all[i].name);
      if (writes.count(all[i].name)) written.push_back(i);
    }
    EXPECT_EQ(changed, writes) << id;
    if (changed != writes || node["random"].get<bool>()) continue;

    auto outputs = [&] {
      std::vector<Cell> out;
      out.reserve(written.size());
      for (std::size_t i : written) out.push_back(read(all[i]));
      return out;
    };
    // Runs the node with one value perturbed, then puts back the markers of
    // that value and of the node's writes (the only values it changes).
    auto run_with = [&](std::size_t i, const Cell& c) {
      write(all[i], c);
      task(id.c_str());
      auto out = outputs();
      write(all[i], markers[i]);
      for (std::size_t w : written) write(all[w], markers[w]);
      return out;
    };
    markers.write_all();
    task(id.c_str());
    const std::vector<Cell> baseline = outputs();
    for (std::size_t w : written) write(all[w], markers[w]);
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (reads.count(all[i].name)) {
        bool matters = false;
        for (const Cell& c : perturbations(all[i].kind)) matters |= run_with(i, c) != baseline;
        EXPECT_TRUE(matters) << id << " lists " << all[i].name << " as read but ignores it";
      } else {
        for (const Cell& c : perturbations(all[i].kind))
          EXPECT_EQ(run_with(i, c), baseline) << id << " depends on " << all[i].name;
      }
    }
  }
}

// A decision's result changes with none of the values outside its reads, from
// several starting states, and each of its reads can change it.
TEST(Description, DecisionNodesDependOnlyOnTheirReads) {
  const Markers markers;
  const auto decisions = nodes_of_kind("decision");
  ASSERT_EQ(decisions.size(), description()["counts"]["decisionNodes"].get<std::size_t>());
  // Starting states: all zero as loaded, after IniModel, every value a marker.
  const std::vector<std::function<void()>> starts = {
      [] { load_pristine_module(); }, [] { ini_model(); }, [&] { markers.write_all(); }};
  for (const json& node : decisions) {
    const std::string id = node["id"];
    const std::set<std::string> reads = names_in(node["reads"]);
    const std::set<int> results = {node["ifTrue"].get<int>(), node["ifFalse"].get<int>()};
    std::set<std::string> influential;
    for (const auto& start : starts) {
      start();
      const auto& now = values();  // resolved again after a reload
      const int baseline = decision(id.c_str());
      EXPECT_TRUE(results.count(baseline)) << id << " answered " << baseline;
      for (std::size_t i = 0; i < now.size(); ++i) {
        const Cell before = read(now[i]);
        for (const Cell& c : perturbations(now[i].kind)) {
          write(now[i], c);
          const int result = decision(id.c_str());
          if (result != baseline) {
            EXPECT_TRUE(reads.count(now[i].name)) << id << " depends on " << now[i].name;
            influential.insert(now[i].name);
          }
        }
        write(now[i], before);
      }
    }
    EXPECT_EQ(influential, reads) << id;
  }
}

TEST(Description, DecisionAndTaskIdentifiersNameTheModelsNodes) {
  for (const json& node : description()["nodes"]) {
    const std::string id = node["id"];
    if (node["kind"] == "decision") {
      EXPECT_NE(decision(id.c_str()), 0) << id;
    } else {
      EXPECT_EQ(decision(id.c_str()), 0) << id;
    }
  }
}
