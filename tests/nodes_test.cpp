// The decision and task nodes through GetModelDecision / GetModelTask.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "host.h"

using namespace tds_test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();

// The store's contents by qualified name.
class State {
 public:
  State() {
    const auto cells = snapshot();
    for (std::size_t i = 0; i < values().size(); ++i) cells_.emplace(values()[i].name, cells[i]);
  }
  double d(const std::string& name) const { return double_of_bits(at(name).bits); }
  std::int32_t i(const std::string& name) const { return static_cast<std::int32_t>(at(name).bits); }
  const Cell& at(const std::string& name) const { return cells_.at(name); }
  const std::map<std::string, Cell>& cells() const { return cells_; }

 private:
  std::map<std::string, Cell> cells_;
};

void set_all(const std::vector<std::pair<const char*, Cell>>& inputs) {
  for (const auto& [name, cell] : inputs) write(value(name), cell);
}

// The names whose content differs between two states.
std::vector<std::string> changed(const State& before, const State& after) {
  std::vector<std::string> out;
  for (const auto& [name, cell] : before.cells())
    if (!(after.at(name) == cell)) out.push_back(name);
  return out;
}

}  // namespace

// ---------------------------------------------------------------- decisions

TEST(Decisions, AfterIniModelFollowTheInitialValues) {
  ini_model();
  const std::pair<const char*, std::int32_t> expected[] = {
      {"0_7_11_ACTIVE_5", 8},   {"0_4_12_GROWING_9", 13},    {"0_4_12_GROWING_23", 24},
      {"0_4_8_ACTIVE_2", 3},    {"0_1_14_ENVIRONMENT_8", 9}, {"0_2_9_start_2", 5},
      {"0_5_10_ACTIVE_10", 17}, {"0_2_9_5__1", 2},           {"0_6_13_ACTIVO_12", 13}};
  for (const auto& [node, next] : expected) EXPECT_EQ(decision(node), next) << node;
}

struct DecisionCase {
  const char* node;
  std::vector<std::pair<const char*, Cell>> inputs;
  std::int32_t expected;
};

TEST(Decisions, ConditionsAtTheirBoundaries) {
  const char* tank = "waterTank_B1_Food_P1_Crop";
  const char* need = "dayliWaterNeeded_B1_Food_P1_Crop";
  const char* ftank = "fertilizerTank_B1_Food_P1_Crop";
  const char* flevel = "fertilizerLevel_B1_Food_P1_Crop";
  const char* btank = "fertilizerTank_B1_Food_P1_BioProductProduction";
  const char* bqtt = "qttFertilizer_B1_Food_P1_BioProductProduction";
  const char* ctank = "waterTank_B1_Water_P1_CleanWater";
  const char* cqtt = "qttWater_B1_Water_P1_CleanWater";
  const char* level = "energyLevel_B1_Energy_P1_Energy";
  const char* demand = "qttEnergy_B1_Energy_P1_Energy";
  const char* value = "value_B1_Compensation_P1_Compensation";
  const char* days = "dies_B1_Environment_P1_Environment";
  const char* design = "analyzeOnlyDesign_B1_Building_P1_Building";
  const char* eplus = "ePlus_B1_Building_P1_Building";
  const char* eplus5 = "ePlus_B1_Building_P1_Building_5";
  const DecisionCase cases[] = {
      {"0_7_11_ACTIVE_5", {{value, cell_of(0.0)}}, 8},
      {"0_7_11_ACTIVE_5", {{value, cell_of(-0.0)}}, 8},
      {"0_7_11_ACTIVE_5", {{value, cell_of(5e-324)}}, 6},
      {"0_7_11_ACTIVE_5", {{value, cell_of(kNaN)}}, 6},
      {"0_4_12_GROWING_9", {{tank, cell_of(10.0)}, {need, cell_of(10.0)}}, 10},
      {"0_4_12_GROWING_9", {{tank, cell_of(9.999999999999998)}, {need, cell_of(10.0)}}, 13},
      {"0_4_12_GROWING_9", {{tank, cell_of(-kInf)}, {need, cell_of(-kInf)}}, 10},
      {"0_4_12_GROWING_9", {{tank, cell_of(kNaN)}, {need, cell_of(0.0)}}, 13},
      {"0_4_12_GROWING_9", {{tank, cell_of(0.0)}, {need, cell_of(kNaN)}}, 13},
      {"0_4_12_GROWING_23", {{ftank, cell_of(2.5)}, {flevel, cell_of(2.5)}}, 24},
      {"0_4_12_GROWING_23", {{ftank, cell_of(2.5)}, {flevel, cell_of(2.75)}}, 27},
      {"0_4_12_GROWING_23", {{ftank, cell_of(kNaN)}, {flevel, cell_of(kNaN)}}, 27},
      {"0_4_8_ACTIVE_2", {{btank, cell_of(30.0)}, {bqtt, cell_of(30.0)}}, 3},
      {"0_4_8_ACTIVE_2", {{btank, cell_of(-1.0)}, {bqtt, cell_of(0.0)}}, 7},
      {"0_4_8_ACTIVE_2", {{btank, cell_of(kInf)}, {bqtt, cell_of(kNaN)}}, 7},
      {"0_1_14_ENVIRONMENT_8", {{days, cell_of(0)}}, 9},
      {"0_1_14_ENVIRONMENT_8", {{days, cell_of(365)}}, 9},
      {"0_1_14_ENVIRONMENT_8", {{days, cell_of(-365)}}, 9},
      {"0_1_14_ENVIRONMENT_8", {{days, cell_of(730)}}, 9},
      {"0_1_14_ENVIRONMENT_8", {{days, cell_of(1)}}, 13},
      {"0_1_14_ENVIRONMENT_8", {{days, cell_of(364)}}, 13},
      {"0_1_14_ENVIRONMENT_8", {{days, cell_of(-1)}}, 13},
      {"0_1_14_ENVIRONMENT_8", {{days, cell_of(kIntMin)}}, 13},
      {"0_2_9_start_2", {{design, cell_of(1)}}, 3},
      {"0_2_9_start_2", {{design, cell_of(-1)}}, 3},
      {"0_2_9_start_2", {{design, cell_of(2)}}, 3},
      {"0_2_9_start_2", {{design, cell_of(0)}}, 5},
      {"0_5_10_ACTIVE_10", {{ctank, cell_of(40.0)}, {cqtt, cell_of(40.0)}}, 17},
      {"0_5_10_ACTIVE_10", {{ctank, cell_of(39.5)}, {cqtt, cell_of(40.0)}}, 11},
      {"0_5_10_ACTIVE_10", {{ctank, cell_of(kNaN)}, {cqtt, cell_of(40.0)}}, 11},
      {"0_2_9_5__1", {{eplus, cell_of(1)}, {eplus5, cell_of(0)}}, 2},
      {"0_2_9_5__1", {{eplus, cell_of(1)}, {eplus5, cell_of(7)}}, 2},
      {"0_2_9_5__1", {{eplus, cell_of(0)}, {eplus5, cell_of(1)}}, 4},
      {"0_2_9_5__1", {{eplus, cell_of(2)}, {eplus5, cell_of(1)}}, 4},
      {"0_2_9_5__1", {{eplus, cell_of(-1)}, {eplus5, cell_of(1)}}, 4},
      {"0_6_13_ACTIVO_12", {{level, cell_of(100.0)}, {demand, cell_of(100.0)}}, 15},
      {"0_6_13_ACTIVO_12", {{level, cell_of(100.0)}, {demand, cell_of(99.99999999999999)}}, 13},
      {"0_6_13_ACTIVO_12", {{level, cell_of(kNaN)}, {demand, cell_of(0.0)}}, 15},
  };
  for (const DecisionCase& c : cases) {
    set_all(c.inputs);
    EXPECT_EQ(decision(c.node), c.expected)
        << c.node << " with " << c.inputs[0].first << " = " << describe(c.inputs[0].second);
  }
}

// --------------------------------------------------------- identifiers

TEST(Dispatch, IdentifiersThatNameNoNodeOfTheKindDoNothing) {
  const char* const not_decisions[] = {nullptr,
                                       "",
                                       "0_4_12_GROWING_10",
                                       "0_5_16_ACTIVE_10",
                                       "0_4_12_growing_9",
                                       "0_4_12_GROWING_9 ",
                                       " 0_4_12_GROWING_9",
                                       "0_4_12_GROWING_09",
                                       "0_4_12_GROWING_9\n",
                                       "0_4_12_GROWING_",
                                       "0_4_12_GROWING",
                                       "0_4_12_GROWING_90",
                                       "0_2_9_5_1",
                                       "0_2_9_5___1",
                                       "0_2_9_Start_2",
                                       "1_4_12_GROWING_9",
                                       "0_04_12_GROWING_9"};
  const char* const not_tasks[] = {nullptr,
                                   "",
                                   "0_4_12_GROWING_9",
                                   "0_5_10_ACTIVE_10",
                                   "0_6_13_ACTIVO_12",
                                   "0_5_16_1_1",
                                   "0_5_16_1__1 ",
                                   "0_5_16_1__01",
                                   "0_4_12_GROWING_8\t",
                                   "0_4_12_Growing_8",
                                   "0_1_14_ENVIRONMENT_",
                                   "0_4_17_1__",
                                   "0_5_16_ACTIVE_3_",
                                   "0_5_10_ACTIVE_1",
                                   "0_6_13_ACTIVO_1"};
  const Markers markers;
  markers.write_all();
  const State before;
  for (const char* id : not_decisions) {
    EXPECT_EQ(decision(id), 0) << (id ? id : "(null)");
  }
  for (const char* id : not_tasks) {
    EXPECT_EQ(task(id), 0) << (id ? id : "(null)");
  }
  EXPECT_EQ(changed(before, State()), std::vector<std::string>());
}

// ---------------------------------------------------------------- tasks

namespace {

using Oracle = std::function<Cell(const State& before, const State& after)>;
using Name = std::string;

struct TaskNode {
  const char* id;
  // Every variable the node writes, with the value it must hold afterwards.
  std::vector<std::pair<Name, Oracle>> writes;
};

Oracle sum(const Name& a, const Name& b) {
  return [=](const State& s, const State&) { return cell_of(s.d(a) + s.d(b)); };
}
Oracle difference(const Name& a, const Name& b) {
  return [=](const State& s, const State&) { return cell_of(s.d(a) - s.d(b)); };
}
Oracle sum3(const Name& a, const Name& b, const Name& c) {
  return [=](const State& s, const State&) { return cell_of((s.d(a) + s.d(b)) + s.d(c)); };
}
Oracle constant(double d) {
  return [=](const State&, const State&) { return cell_of(d); };
}
Oracle plus_one_int(const Name& a) {
  return [=](const State& s, const State&) { return cell_of(s.i(a) + 1); };
}
// The outlet quality from the inlet that the same node has just stored.
Oracle outlet(const Name& inlet, const Name& fraction) {
  return [=](const State& s, const State& after) {
    return cell_of(after.d(inlet) - (after.d(inlet) * s.d(fraction)));
  };
}

// A Building figure: B("build_", "energy") is build_energy_B1_Building_P1_Building.
Name B(const char* part, const char* q = "") {
  return std::string(part) + q + "_B1_Building_P1_Building";
}

// The Building nodes work on the quantities energy, co2 and money side by side,
// in that order.
std::vector<std::pair<Name, Oracle>> per_quantity(
    const std::function<std::pair<Name, Oracle>(const char* q)>& write) {
  std::vector<std::pair<Name, Oracle>> writes;
  for (const char* q : {"energy", "co2", "money"}) writes.push_back(write(q));
  return writes;
}

const std::vector<TaskNode>& task_nodes() {
  static const std::vector<TaskNode> nodes = {
      {"0_5_10_ACTIVE_7",
       {{"waterTank_B1_Water_P1_CleanWater",
         sum("waterTank_B1_Water_P1_CleanWater", "qttWater_B1_Water_P1_CleanWater")}}},
      {"0_6_13_ACTIVO_6",
       {{"energyLevel_B1_Energy_P1_Energy",
         sum("energyLevel_B1_Energy_P1_Energy", "qttEnergy_B1_Energy_P1_Energy")}}},
      {"0_5_16_1__1",
       {{"qualityInletN_B1_Water_P1_WasteWater_1", constant(273.78232)},
        {"qualityInletCOD_B1_Water_P1_WasteWater_1", constant(69.24882)},
        {"qualityOutletN_B1_Water_P1_WasteWater_1",
         outlet("qualityInletN_B1_Water_P1_WasteWater_1", "percentN_B1_Water_P1_WasteWater_1")},
        {"qualityOutletCOD_B1_Water_P1_WasteWater_1",
         outlet("qualityInletCOD_B1_Water_P1_WasteWater_1",
                "percentCOD_B1_Water_P1_WasteWater_1")}}},
      {"0_2_9_USED_7", per_quantity([](const char* q) {
         return std::pair{B("total_activ_", q),
                          sum3(B("build_", q), B("used_consum_", q), B("destroy_", q))};
       })},
      {"0_2_9_USED_6", per_quantity([](const char* q) {
         return std::pair{B("total_passiv_", q),
                          sum3(B("build_", q), B("used_demand_", q), B("destroy_", q))};
       })},
      {"0_2_9_USED_4", per_quantity([](const char* q) {
         return std::pair{B("destroy_", q),
                          sum(B("destroy_materials_", q), B("destroy_decons_", q))};
       })},
      {"0_4_17_1__1",
       {{"qttWine_B1_Food_P1_WineProduction_1",
         [](const State& s, const State&) {
           return cell_of(s.d("qttGrapes_B1_Food_P1_WineProduction_1") * 10.0);
         }},
        {"qttWaste_B1_Food_P1_WineProduction_1",
         [](const State& s, const State&) {
           return cell_of(s.d("qttGrapes_B1_Food_P1_WineProduction_1") * 0.5);
         }}}},
      {"0_4_12_GROWING_8",
       {{"waterTank_B1_Food_P1_Crop",
         sum("waterTank_B1_Food_P1_Crop", "qttWater_B1_Food_P1_Crop")}}},
      {"0_4_12_GROWING_4", {{"irrigationDaysOK_B1_Food_P1_Crop", constant(0.0)}}},
      {"0_4_12_GROWING_22",
       {{"fertilizerTank_B1_Food_P1_Crop",
         sum("fertilizerTank_B1_Food_P1_Crop", "qttFertilizer_B1_Food_P1_Crop")}}},
      {"0_4_8_ACTIVE_7",
       {{"industrialFerlizer_B1_Food_P1_BioProductProduction",
         difference("qttFertilizer_B1_Food_P1_BioProductProduction",
                    "fertilizerTank_B1_Food_P1_BioProductProduction")}}},
      {"0_4_8_ACTIVE_3",
       {{"fertilizerTank_B1_Food_P1_BioProductProduction",
         difference("fertilizerTank_B1_Food_P1_BioProductProduction",
                    "qttFertilizer_B1_Food_P1_BioProductProduction")}}},
      {"0_1_14_ENVIRONMENT_10",
       {{"current_year_B1_Environment_P1_Environment",
         plus_one_int("current_year_B1_Environment_P1_Environment")}}},
      {"0_1_14_ENVIRONMENT_5",
       {{"dies_B1_Environment_P1_Environment",
         plus_one_int("dies_B1_Environment_P1_Environment")}}},
      {"0_6_13_ACTIVO_9",
       {{"bioProductsTank_B1_Energy_P1_Energy",
         sum("bioProductsTank_B1_Energy_P1_Energy", "bioProduct_B1_Energy_P1_Energy")}}},
      {"0_4_12_GROWING_10",
       {{"irrigationDaysOK_B1_Food_P1_Crop",
         [](const State& s, const State&) {
           return cell_of(s.d("irrigationDaysOK_B1_Food_P1_Crop") + 1.0);
         }},
        {"waterTank_B1_Food_P1_Crop",
         difference("waterTank_B1_Food_P1_Crop", "dayliWaterNeeded_B1_Food_P1_Crop")}}},
      {"0_2_9_DESIGNED_4", per_quantity([](const char* q) {
         return std::pair{B("build_", q), sum(B("acv_", q), B("cons_", q))};
       })},
      {"0_4_12_GROWING_24",
       {{"fertilizerDaysOK_B1_Food_P1_Crop",
         [](const State& s, const State&) {
           return cell_of(s.d("fertilizerDaysOK_B1_Food_P1_Crop") + 1.0);
         }}}},
      {"0_5_10_ACTIVE_3",
       {{"waterTank_B1_Water_P1_CleanWater",
         sum("waterTank_B1_Water_P1_CleanWater", "qttWater_B1_Water_P1_CleanWater")}}},
      {"0_5_16_ACTIVE_3",
       {{"qttWater_B1_Water_P1_WasteWater",
         [](const State& s, const State&) {
           return cell_of(s.d("qttWater_B1_Water_P1_WasteWater") +
                          (s.d("qttLiquidWaste_B1_Water_P1_WasteWater") *
                           s.d("percentReuse_B1_Water_P1_WasteWater")));
         }}}},
      {"0_3_15_ACTIVE_3",
       {{"qttSolidWasteLevel_B1_Waste_P1_Waste",
         sum("qttSolidWasteLevel_B1_Waste_P1_Waste", "qttSolidWaste_B1_Waste_P1_Waste")}}},
      {"0_5_10_ACTIVE_18",
       {{"waterTank_B1_Water_P1_CleanWater",
         difference("waterTank_B1_Water_P1_CleanWater", "qttWater_B1_Water_P1_CleanWater")}}},
      {"0_5_10_ACTIVE_11",
       {{"qttWater_B1_Water_P1_CleanWater",
         [](const State& s, const State&) { return s.at("waterTank_B1_Water_P1_CleanWater"); }},
        {"waterTank_B1_Water_P1_CleanWater", constant(0.0)}}},
      {"0_5_16_ACTIVE_10",
       {{"qttTreatedWater_B1_Water_P1_WasteWater",
         sum("qttTreatedWater_B1_Water_P1_WasteWater", "qttLiquidWaste_B1_Water_P1_WasteWater")}}},
      {"0_6_13_ACTIVO_15",
       {{"qttEnergyGrid_B1_Energy_P1_Energy",
         difference("qttEnergy_B1_Energy_P1_Energy", "energyLevel_B1_Energy_P1_Energy")},
        {"energyLevel_B1_Energy_P1_Energy", constant(0.0)}}},
      {"0_6_13_ACTIVO_13",
       {{"energyLevel_B1_Energy_P1_Energy",
         difference("energyLevel_B1_Energy_P1_Energy", "qttEnergy_B1_Energy_P1_Energy")}}},
  };
  return nodes;
}

}  // namespace

// Walks every task node once, from a pristine load with every value set to
// a marker: each node must write exactly its own variables, each to the value
// its assignments give, and leave every other variable and every slot alone.
TEST(Tasks, EachNodeWritesExactlyItsVariablesWithTheirValues) {
  ASSERT_EQ(task_nodes().size(), 26u);
  const Markers markers;
  markers.write_all();
  for (const TaskNode& node : task_nodes()) {
    SCOPED_TRACE(node.id);
    const State before;
    EXPECT_EQ(task(node.id), 0);
    const State after;
    std::vector<std::string> expected_changes;
    for (const auto& [name, oracle] : node.writes) {
      expected_changes.push_back(name);
      const Cell want = oracle(before, after);
      EXPECT_EQ(after.at(name), want)
          << name << ": " << describe(after.at(name)) << ", expected " << describe(want);
    }
    std::sort(expected_changes.begin(), expected_changes.end());
    EXPECT_EQ(changed(before, after), expected_changes);
  }
}

TEST(Tasks, DecisionsReadButNeverWrite) {
  const Markers markers;
  markers.write_all();
  const State before;
  for (const char* id : {"0_7_11_ACTIVE_5", "0_4_12_GROWING_9", "0_4_12_GROWING_23",
                         "0_4_8_ACTIVE_2", "0_1_14_ENVIRONMENT_8", "0_2_9_start_2",
                         "0_5_10_ACTIVE_10", "0_2_9_5__1", "0_6_13_ACTIVO_12"})
    EXPECT_NE(decision(id), 0) << id;
  EXPECT_EQ(changed(before, State()), std::vector<std::string>());
}

// ------------------------------------------------------------ scenarios

TEST(Tasks, ProcessStepsFromTheInitialState) {
  ini_model();
  task("0_4_12_GROWING_8");
  EXPECT_EQ(get_double("waterTank_B1_Food_P1_Crop"), 0.5);
  EXPECT_EQ(decision("0_4_12_GROWING_9"), 13);

  task("0_5_10_ACTIVE_11");  // the CleanWater tank holds 100.0 after IniModel
  EXPECT_EQ(get_double("qttWater_B1_Water_P1_CleanWater"), 100.0);
  EXPECT_EQ(get_double("waterTank_B1_Water_P1_CleanWater"), 0.0);

  for (int day = 0; day < 365; ++day) task("0_1_14_ENVIRONMENT_5");
  EXPECT_EQ(get_int("dies_B1_Environment_P1_Environment"), 365);
  EXPECT_EQ(decision("0_1_14_ENVIRONMENT_8"), 9);
  task("0_1_14_ENVIRONMENT_10");
  EXPECT_EQ(get_int("current_year_B1_Environment_P1_Environment"), 2012);

  task("0_4_12_GROWING_4");
  task("0_4_12_GROWING_10");
  task("0_4_12_GROWING_10");
  EXPECT_EQ(get_double("irrigationDaysOK_B1_Food_P1_Crop"), 2.0);
  EXPECT_EQ(get_double("waterTank_B1_Food_P1_Crop"), -19.5);  // tanks may go negative
}

struct ShortfallCase {
  const char* node;
  std::vector<std::pair<const char*, Cell>> inputs;
  std::vector<std::pair<const char*, double>> expected;
};

TEST(Tasks, ShortfallsAndYields) {
  const ShortfallCase cases[] = {
      {"0_6_13_ACTIVO_15",
       {{"energyLevel_B1_Energy_P1_Energy", cell_of(100.0)},
        {"qttEnergy_B1_Energy_P1_Energy", cell_of(150.0)}},
       {{"qttEnergyGrid_B1_Energy_P1_Energy", 50.0}, {"energyLevel_B1_Energy_P1_Energy", 0.0}}},
      {"0_6_13_ACTIVO_15",
       {{"energyLevel_B1_Energy_P1_Energy", cell_of(100.0)},
        {"qttEnergy_B1_Energy_P1_Energy", cell_of(80.0)}},
       {{"qttEnergyGrid_B1_Energy_P1_Energy", -20.0}, {"energyLevel_B1_Energy_P1_Energy", 0.0}}},
      {"0_4_8_ACTIVE_7",
       {{"fertilizerTank_B1_Food_P1_BioProductProduction", cell_of(100.0)},
        {"qttFertilizer_B1_Food_P1_BioProductProduction", cell_of(30.0)}},
       {{"industrialFerlizer_B1_Food_P1_BioProductProduction", -70.0},
        {"fertilizerTank_B1_Food_P1_BioProductProduction", 100.0}}},
      {"0_4_17_1__1",
       {{"qttGrapes_B1_Food_P1_WineProduction_1", cell_of(2.0)},
        {"qttGrapes_B1_Food_P1_WineProduction", cell_of(7.0)},
        {"qttGrapes_B1_Food_P1_Crop", cell_of(9.0)}},
       {{"qttWine_B1_Food_P1_WineProduction_1", 20.0},
        {"qttWaste_B1_Food_P1_WineProduction_1", 1.0},
        {"qttWine_B1_Food_P1_WineProduction", 0.0},
        {"qttWaste_B1_Food_P1_WineProduction", 0.0}}},
  };
  for (const ShortfallCase& c : cases) {
    set_all(c.inputs);
    task(c.node);
    for (const auto& [name, want] : c.expected)
      EXPECT_EQ(get_double(name), want) << c.node << ": " << name;
  }
}

TEST(Tasks, PassiveTotalsUseTheDemolitionFiguresAsStored) {
  set_double(B("destroy_energy"), 1.0);
  set_double(B("destroy_materials_energy"), 10.0);
  set_double(B("destroy_decons_energy"), 20.0);
  set_double(B("build_energy"), 100.0);
  task("0_2_9_USED_6");
  EXPECT_EQ(get_double(B("total_passiv_energy")), 101.0);
  task("0_2_9_USED_4");
  task("0_2_9_USED_6");
  EXPECT_EQ(get_double(B("total_passiv_energy")), 130.0);
}

TEST(Tasks, DayCounterWrapsAroundInsteadOfOverflowing) {
  set_int("dies_B1_Environment_P1_Environment", kIntMax);
  set_int("current_year_B1_Environment_P1_Environment", -1);
  task("0_1_14_ENVIRONMENT_5");
  task("0_1_14_ENVIRONMENT_10");
  EXPECT_EQ(get_int("dies_B1_Environment_P1_Environment"), kIntMin);
  EXPECT_EQ(get_int("current_year_B1_Environment_P1_Environment"), 0);
}

// ------------------------------------------------------- random inlets

TEST(WasteWaterInlet, ThreeCallsAfterLoadDrawTheKnownQualities) {
  ini_model();
  set_double("percentN_B1_Water_P1_WasteWater_1", 0.5);
  const double expected[3][2] = {
      {273.78232, 69.24882}, {535.3081, 85.04636}, {345.60445, 73.63317}};
  for (const auto& [n, cod] : expected) {
    task("0_5_16_1__1");
    EXPECT_EQ(get_double("qualityInletN_B1_Water_P1_WasteWater_1"), n);
    EXPECT_EQ(get_double("qualityInletCOD_B1_Water_P1_WasteWater_1"), cod);
    // The outlet from the first draw, with half of the N removed.
    if (n == expected[0][0]) {
      EXPECT_EQ(get_double("qualityOutletN_B1_Water_P1_WasteWater_1"), 136.89116);
    }
  }
}

TEST(WasteWaterInlet, FractionsOfZeroAndOneGiveTheInletAndNothing) {
  set_double("percentCOD_B1_Water_P1_WasteWater_1", 1.0);  // percentN_..._1 stays 0.0 from load
  task("0_5_16_1__1");
  EXPECT_EQ(get_double("qualityOutletN_B1_Water_P1_WasteWater_1"),
            get_double("qualityInletN_B1_Water_P1_WasteWater_1"));
  EXPECT_EQ(get_double("qualityOutletCOD_B1_Water_P1_WasteWater_1"), 0.0);
}

TEST(WasteWaterInlet, IniModelDoesNotRestartTheGenerator) {
  ini_model();
  task("0_5_16_1__1");
  ini_model();
  task("0_5_16_1__1");
  EXPECT_EQ(get_double("qualityInletN_B1_Water_P1_WasteWater_1"), 535.3081);
  EXPECT_EQ(get_double("qualityInletCOD_B1_Water_P1_WasteWater_1"), 85.04636);
}
