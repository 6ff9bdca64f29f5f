// IniModel and GetModelName: the 87 initial values, the constant texts and
// the model name, and what a repeated IniModel touches.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "host.h"

using namespace tds_test;

namespace {

// What IniModel assigns, in its order. Texts are compared by content; for the
// other kinds the expected cell is exact.
struct Initial {
  const char* name = nullptr;
  Cell number{};
  const char* text = nullptr;
};

const Initial kInitial[] = {
    {"qttFertilizer_B1_Food_P1_BioProductProduction", cell_of(0.0)},
    {"circularBioProduct_B1_Food_P1_BioProductProduction", cell_of(0.0)},
    {"industrialFerlizer_B1_Food_P1_BioProductProduction", cell_of(0.0)},
    {"bioProduct_B1_Food_P1_BioProductProduction", cell_of(10.0)},
    {"fertilizerTank_B1_Food_P1_BioProductProduction", cell_of(100.0)},
    {"waterTank_B1_Food_P1_Crop", cell_of(0.0)},
    {"qttGrapes_B1_Food_P1_Crop", cell_of(100.0)},
    {"evapotranspiration_B1_Food_P1_Crop", cell_of(0.0)},
    {"qttFertilizer_B1_Food_P1_Crop", cell_of(1.0)},
    {"fertilizerDaysOK_B1_Food_P1_Crop", cell_of(0.0)},
    {"qttWater_B1_Food_P1_Crop", cell_of(0.5)},
    {"climateZone_B1_Food_P1_Crop", zero_of(Kind::Text), "'Catalunya'"},
    {"plant_B1_Food_P1_Crop", cell_of(1.0)},
    {"dayliWaterNeeded_B1_Food_P1_Crop", cell_of(10.0)},
    {"fertilizerTank_B1_Food_P1_Crop", cell_of(0.0)},
    {"qttGrapes_B1_Food_P1_WineProduction", cell_of(0.0)},
    {"qttEnergy_B1_Food_P1_WineProduction", cell_of(1.0)},
    {"bioProduct_B1_Compensation_P1_Compensation", cell_of(0.0)},
    {"bioProductTypeTreatment_B1_Compensation_P1_Compensation", zero_of(Kind::Text), "'burn'"},
    {"energyLevel_B1_Energy_P1_Energy", cell_of(100.0)},
    {"ePlus_B1_Building_P1_Building", cell_of(std::int32_t{1})},
    {"life_expectation_B1_Building_P1_Building", cell_of(std::int32_t{1})},
    {"demand_year_co2_B1_Building_P1_Building", cell_of(0.0)},
    {"roof_width_B1_Building_P1_Building", cell_of(10.0)},
    {"District_Heating_Heating_B1_Building_P1_Building", cell_of(0.0)},
    {"Building_Area_EP_B1_Building_P1_Building", cell_of(0.0)},
    {"Electricity_Interior_Equipment_B1_Building_P1_Building", cell_of(0.0)},
    {"Electricity_Exterior_Lighting_B1_Building_P1_Building", cell_of(0.0)},
    {"Natural_Gas_Heating_B1_Building_P1_Building", cell_of(0.0)},
    {"consum_year_co2_B1_Building_P1_Building", cell_of(0.0)},
    {"acv_energy_B1_Building_P1_Building", cell_of(0.0)},
    {"Electricity_Interior_Lighting_B1_Building_P1_Building", cell_of(0.0)},
    {"demand_year_money_B1_Building_P1_Building", cell_of(0.0)},
    {"acv_co2_B1_Building_P1_Building", cell_of(0.0)},
    {"District_Heating_Water_Systems_B1_Building_P1_Building", cell_of(0.0)},
    {"demand_value_B1_Building_P1_Building", cell_of(0.0)},
    {"used_demand_money_B1_Building_P1_Building", cell_of(0.0)},
    {"demand_year_energy_B1_Building_P1_Building", cell_of(0.0)},
    {"build_money_B1_Building_P1_Building", cell_of(0.0)},
    {"idf_file_B1_Building_P1_Building", zero_of(Kind::Text), "'prova.idf'"},
    {"Natural_Gas_Cooling_B1_Building_P1_Building", cell_of(0.0)},
    {"Electricity_Heating_B1_Building_P1_Building", cell_of(0.0)},
    {"years_old_B1_Building_P1_Building", cell_of(std::int32_t{1})},
    {"build_energy_B1_Building_P1_Building", cell_of(0.0)},
    {"wall_width_B1_Building_P1_Building", cell_of(10.0)},
    {"build_co2_B1_Building_P1_Building", cell_of(0.0)},
    {"acv_money_B1_Building_P1_Building", cell_of(0.0)},
    {"Water_Total_End_Uses_B1_Building_P1_Building", cell_of(0.0)},
    {"District_Heating_Total_End_Uses_B1_Building_P1_Building", cell_of(0.0)},
    {"District_Cooling_Total_End_Uses_B1_Building_P1_Building", cell_of(0.0)},
    {"used_consum_energy_B1_Building_P1_Building", cell_of(0.0)},
    {"cons_energy_B1_Building_P1_Building", cell_of(0.0)},
    {"design_time_B1_Building_P1_Building", cell_of(1.0)},
    {"skp_file_B1_Building_P1_Building", zero_of(Kind::Text), "'prova.skp'"},
    {"used_consum_money_B1_Building_P1_Building", cell_of(0.0)},
    {"cons_money_B1_Building_P1_Building", cell_of(0.0)},
    {"cons_co2_B1_Building_P1_Building", cell_of(0.0)},
    {"analyzeOnlyDesign_B1_Building_P1_Building", cell_of(std::int32_t{0})},
    {"Electricity_Total_End_Uses_B1_Building_P1_Building", cell_of(0.0)},
    {"used_demand_co2_B1_Building_P1_Building", cell_of(0.0)},
    {"used_demand_energy_B1_Building_P1_Building", cell_of(0.0)},
    {"District_Cooling_Cooling_B1_Building_P1_Building", cell_of(0.0)},
    {"Electricity_Cooling_B1_Building_P1_Building", cell_of(0.0)},
    {"consum_year_money_B1_Building_P1_Building", cell_of(0.0)},
    {"consum_year_energy_B1_Building_P1_Building", cell_of(0.0)},
    {"calculateConsum_B1_Building_P1_Building", cell_of(std::int32_t{1})},
    {"used_consum_co2_B1_Building_P1_Building", cell_of(0.0)},
    {"current_year_B1_Environment_P1_Environment", cell_of(std::int32_t{2011})},
    {"dies_B1_Environment_P1_Environment", cell_of(std::int32_t{0})},
    {"dt_B1_Environment_P1_Environment", cell_of(1.0)},
    {"epw_file_B1_Environment_P1_Environment", zero_of(Kind::Text), "''"},
    {"percentLiquidWaste_B1_Waste_P1_Waste", cell_of(0.3)},
    {"qttSolidWasteLevel_B1_Waste_P1_Waste", cell_of(0.0)},
    {"PolifenolesLevel_B1_Water_P1_WasteWater", cell_of(1.0)},
    {"percentCOD_B1_Water_P1_WasteWater", cell_of(0.77)},
    {"TSSLevel_B1_Water_P1_WasteWater", cell_of(1.0)},
    {"qualityInlet_B1_Water_P1_WasteWater", zero_of(Kind::Text), "''"},
    {"ChlorpyrifosLevel_B1_Water_P1_WasteWater", cell_of(1.0)},
    {"CuLevel_B1_Water_P1_WasteWater", cell_of(1.0)},
    {"nitrateLevel_B1_Water_P1_WasteWater", cell_of(25.0)},
    {"MetalaxylLevel_B1_Water_P1_WasteWater", cell_of(1.0)},
    {"percentN_B1_Water_P1_WasteWater", cell_of(0.43)},
    {"qttTreatedWater_B1_Water_P1_WasteWater", cell_of(0.0)},
    {"waterTank_B1_Water_P1_CleanWater", cell_of(100.0)},
    {"qttWater_B1_Water_P1_CleanWater", cell_of(0.0)},
    {"waterTankMax_B1_Water_P1_CleanWater", cell_of(100.0)},
    {"qttEnergy_B1_Water_P1_CleanWater", cell_of(10.0)},
};

bool is_initialised(const std::string& name) {
  for (const Initial& i : kInitial)
    if (name == i.name) return true;
  return false;
}

void expect_initial_values() {
  for (const Initial& i : kInitial) {
    const Value& v = value(i.name);
    if (v.kind == Kind::Text) {
      ASSERT_NE(get_text(i.name), nullptr) << i.name;
      EXPECT_STREQ(get_text(i.name), i.text) << i.name;
    } else {
      EXPECT_EQ(read(v), i.number) << i.name << ": " << describe(read(v));
    }
  }
}

}  // namespace

TEST(IniModel, AssignsTheTableAndLeavesEverythingElseAtZero) {
  ASSERT_EQ(std::size(kInitial), 87u);
  const char* name = ini_model();
  EXPECT_STREQ(name, "TarvelloDemoSite");
  EXPECT_EQ(std::strlen(name), 16u);
  expect_initial_values();
  for (const Value& v : values()) {
    if (!is_initialised(v.name)) {
      EXPECT_EQ(read(v), zero_of(v.kind)) << v.name;
    }
  }
}

TEST(IniModel, ReturnsTheOneModelNameCallAfterCall) {
  const char* before = model_name();
  EXPECT_EQ(ini_model(), before);
  EXPECT_EQ(ini_model(), before);
  EXPECT_EQ(model_name(), before);
}

TEST(IniModel, PointsTextVariablesAtTheLibrarysOwnConstants) {
  ini_model();
  const char* catalunya = get_text("climateZone_B1_Food_P1_Crop");
  const char* epw = get_text("epw_file_B1_Environment_P1_Environment");
  // Both "''" variables refer to one and the same constant, a two-byte text.
  EXPECT_EQ(epw, get_text("qualityInlet_B1_Water_P1_WasteWater"));
  EXPECT_EQ(std::strlen(epw), 2u);
  // A further IniModel points at the very same constants again.
  set_text("climateZone_B1_Food_P1_Crop", nullptr);
  ini_model();
  EXPECT_EQ(get_text("climateZone_B1_Food_P1_Crop"), catalunya);
  EXPECT_EQ(get_text("epw_file_B1_Environment_P1_Environment"), epw);
}

TEST(IniModel, DecimalFractionsAreTheNearestDoubles) {
  ini_model();
  EXPECT_EQ(bits_of(get_double("percentLiquidWaste_B1_Waste_P1_Waste")), 0x3FD3333333333333ull);
  EXPECT_EQ(bits_of(get_double("percentCOD_B1_Water_P1_WasteWater")), 0x3FE8A3D70A3D70A4ull);
  EXPECT_EQ(bits_of(get_double("percentN_B1_Water_P1_WasteWater")), 0x3FDB851EB851EB85ull);
}

TEST(IniModel, RunAgainReassignsExactlyTheTable) {
  ini_model();
  const auto& all = values();
  const Markers markers;
  markers.write_all();
  ini_model();
  expect_initial_values();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (!is_initialised(all[i].name)) {
      EXPECT_EQ(read(all[i]), markers[i]) << all[i].name;
    }
  }
}
