// The module's exports as a host resolves them: every expected name, each
// with its own entry point, and nothing that is not on the list.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "host.h"

using namespace tds_test;

TEST(Exports, ExpectedListHoldsTheModelsValuesByKind) {
  // Guards the test data itself: 2010 exports, 1003 values of three kinds.
  ASSERT_EQ(expected_exports().size(), 2010u);
  std::map<Kind, int> by_kind;
  for (const Value& v : values()) ++by_kind[v.kind];
  EXPECT_EQ(values().size(), 1003u);
  EXPECT_EQ(by_kind[Kind::Double], 410);
  EXPECT_EQ(by_kind[Kind::Int], 190);
  EXPECT_EQ(by_kind[Kind::Text], 403);
}

TEST(Exports, EveryExpectedNameResolvesToItsOwnEntryPoint) {
  std::map<void*, std::string> seen;
  for (const Export& e : expected_exports()) {
    void* p = module().symbol(e.name.c_str());
    EXPECT_NE(p, nullptr) << e.name;
    if (!p) continue;
    auto [it, fresh] = seen.emplace(p, e.name);
    EXPECT_TRUE(fresh) << e.name << " shares its entry point with " << it->second;
  }
}

TEST(Exports, NamesOutsideTheCatalogueDoNotResolve) {
  const char* const absent[] = {
      // letter case and spelling variants of real names
      "GetirrigationDaysOk_B1_Food_P1_Crop", "GetirrigationDaysOK_B1_Food_P1_Crop_2",
      "GetIrrigationDaysOK_B1_Food_P1_Crop", "GetdailyWaterNeeded_B1_Food_P1_Crop",
      "GetindustrialFertilizer_B1_Food_P1_BioProductProduction", "getModelName", "Inimodel",
      "GetwaterTank_B1_Food_P1_crop", "GETwaterTank_B1_Food_P1_Crop",
      // names that exist only with an ending, and endings that do not exist
      "Getco2_B1_Building_P1_Building", "GetpathData_B1_Building_P1_Building",
      "Getlevel_B1_Food_P1_Crop", "Get_B1_Water_P1_WasteWater", "GetwaterTank_B1_Food_P1_Crop_6",
      "GetqttWater_B1_Food_P1_Crop_05",
      // a variable under the wrong process or block
      "GetwaterTank_B1_Water_P1_WasteWater", "GetwaterTank_B1_Food_P1_CleanWater",
      // slots beyond a signal's parameters, signal 62, position 0, other signals
      "GetPARAM_11_B1_Waste_P1_Waste_54", "GetPARAM_2_B1_Waste_P1_Waste_50",
      "GetPARAM_1_B1_Waste_P1_Waste_62", "SetPARAM_1_B1_Food_P1_Crop_62",
      "GetPARAM_0_B1_Food_P1_Crop_54", "GetPARAM_1_B1_Food_P1_Crop_49",
      "GetPARAM_1_B1_Food_P1_Crop_80",
      // the store and the support units are private
      "waterTank_B1_Food_P1_Crop", "get_random", "round_dbl", "m_seed", "recoverOptiValue",
      "printFileDebug", "get_values", "hiperexponential"};
  for (const char* name : absent) EXPECT_EQ(module().symbol(name), nullptr) << name;
}

TEST(Exports, ModuleLoadsByItsPlainNameAsAHostLoadsIt) {
  // The platform's own search finds the module beside the test program.
  const auto by_name = tds::Module::load(module_file());
  EXPECT_NE(by_name->symbol("IniModel"), nullptr);
  EXPECT_EQ(by_name->symbol("GetModelTaskX"), nullptr);
}
