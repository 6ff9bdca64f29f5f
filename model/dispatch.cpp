// Node dispatch: the decision and task nodes of the ten process diagrams,
// each reached by its node identifier "0_<block>_<process>_<label>_<node>".
//
// Identifiers match only when equal byte for byte over their whole length.
// Each function is one flat chain of comparisons against constant texts;
// nothing is built or allocated. Node code works on the store directly.
#include <cstdint>
#include <cstring>

#include "CongruentailRandom.h"
#include "store.h"

namespace {

bool is(const char* node, const char* id) { return std::strcmp(node, id) == 0; }

// The int counters wrap around in two's complement instead of overflowing.
std::int32_t plus_one(std::int32_t counter) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + 1u);
}

}  // namespace

extern "C" {

// Answers the number of the node to continue with, or 0 when the identifier
// names no decision node. Stops at the first matching identifier. Double
// comparisons are false with a NaN operand; -0.0 equals 0.0.
TDS_API int32_t GetModelDecision(const char* node) {
  using namespace tds::store;
  if (node == nullptr) return 0;
  // Compensation: is the compensation value zero?
  if (is(node, "0_7_11_ACTIVE_5")) return value_B1_Compensation_P1_Compensation == 0.0 ? 8 : 6;
  // Crop: does the tank hold the day's water?
  if (is(node, "0_4_12_GROWING_9"))
    return waterTank_B1_Food_P1_Crop >= dayliWaterNeeded_B1_Food_P1_Crop ? 10 : 13;
  // Crop: does the fertilizer tank reach the fertilizer level?
  if (is(node, "0_4_12_GROWING_23"))
    return fertilizerTank_B1_Food_P1_Crop >= fertilizerLevel_B1_Food_P1_Crop ? 24 : 27;
  // BioProductProduction: does the tank cover the requested fertilizer?
  if (is(node, "0_4_8_ACTIVE_2"))
    return fertilizerTank_B1_Food_P1_BioProductProduction >=
                   qttFertilizer_B1_Food_P1_BioProductProduction
               ? 3
               : 7;
  // Environment: has a whole number of years passed? (int remainder, any sign)
  if (is(node, "0_1_14_ENVIRONMENT_8"))
    return dies_B1_Environment_P1_Environment % 365 == 0 ? 9 : 13;
  // Building: analyse the design only?
  if (is(node, "0_2_9_start_2")) return analyzeOnlyDesign_B1_Building_P1_Building != 0 ? 3 : 5;
  // CleanWater: does the tank hold the requested quantity?
  if (is(node, "0_5_10_ACTIVE_10"))
    return waterTank_B1_Water_P1_CleanWater >= qttWater_B1_Water_P1_CleanWater ? 17 : 11;
  // Building: is the energy simulation on? (the variable without ending)
  if (is(node, "0_2_9_5__1")) return ePlus_B1_Building_P1_Building == 1 ? 2 : 4;
  // Energy: does the store hold strictly more than the demand?
  if (is(node, "0_6_13_ACTIVO_12"))
    return energyLevel_B1_Energy_P1_Energy > qttEnergy_B1_Energy_P1_Energy ? 13 : 15;
  return 0;
}

// Performs the assignments of the named task node, in order, and answers 0.
// Every identifier is compared, whether an earlier one matched or not.
TDS_API int32_t GetModelTask(const char* node) {
  using namespace tds::store;
  if (node == nullptr) return 0;
  if (is(node, "0_5_10_ACTIVE_7")) {
    waterTank_B1_Water_P1_CleanWater =
        waterTank_B1_Water_P1_CleanWater + qttWater_B1_Water_P1_CleanWater;
  }
  if (is(node, "0_6_13_ACTIVO_6")) {
    energyLevel_B1_Energy_P1_Energy =
        energyLevel_B1_Energy_P1_Energy + qttEnergy_B1_Energy_P1_Energy;
  }
  if (is(node, "0_5_16_1__1")) {
    // Inlet qualities drawn from the normal distribution (negative draws
    // clamped to 0), N first: the two draws share one pair of the polar method.
    qualityInletN_B1_Water_P1_WasteWater_1 = normal(438.0, 74.0, 1);
    qualityInletCOD_B1_Water_P1_WasteWater_1 = normal(85.0, 22.0, 1);
    qualityOutletN_B1_Water_P1_WasteWater_1 =
        qualityInletN_B1_Water_P1_WasteWater_1 -
        (qualityInletN_B1_Water_P1_WasteWater_1 * percentN_B1_Water_P1_WasteWater_1);
    qualityOutletCOD_B1_Water_P1_WasteWater_1 =
        qualityInletCOD_B1_Water_P1_WasteWater_1 -
        (qualityInletCOD_B1_Water_P1_WasteWater_1 * percentCOD_B1_Water_P1_WasteWater_1);
  }
  if (is(node, "0_2_9_USED_7")) {
    total_activ_energy_B1_Building_P1_Building =
        (build_energy_B1_Building_P1_Building + used_consum_energy_B1_Building_P1_Building) +
        destroy_energy_B1_Building_P1_Building;
    total_activ_co2_B1_Building_P1_Building =
        (build_co2_B1_Building_P1_Building + used_consum_co2_B1_Building_P1_Building) +
        destroy_co2_B1_Building_P1_Building;
    total_activ_money_B1_Building_P1_Building =
        (build_money_B1_Building_P1_Building + used_consum_money_B1_Building_P1_Building) +
        destroy_money_B1_Building_P1_Building;
  }
  if (is(node, "0_2_9_USED_6")) {
    total_passiv_energy_B1_Building_P1_Building =
        (build_energy_B1_Building_P1_Building + used_demand_energy_B1_Building_P1_Building) +
        destroy_energy_B1_Building_P1_Building;
    total_passiv_co2_B1_Building_P1_Building =
        (build_co2_B1_Building_P1_Building + used_demand_co2_B1_Building_P1_Building) +
        destroy_co2_B1_Building_P1_Building;
    total_passiv_money_B1_Building_P1_Building =
        (build_money_B1_Building_P1_Building + used_demand_money_B1_Building_P1_Building) +
        destroy_money_B1_Building_P1_Building;
  }
  if (is(node, "0_2_9_USED_4")) {
    destroy_energy_B1_Building_P1_Building = destroy_materials_energy_B1_Building_P1_Building +
                                             destroy_decons_energy_B1_Building_P1_Building;
    destroy_co2_B1_Building_P1_Building =
        destroy_materials_co2_B1_Building_P1_Building + destroy_decons_co2_B1_Building_P1_Building;
    destroy_money_B1_Building_P1_Building = destroy_materials_money_B1_Building_P1_Building +
                                            destroy_decons_money_B1_Building_P1_Building;
  }
  if (is(node, "0_4_17_1__1")) {
    qttWine_B1_Food_P1_WineProduction_1 = qttGrapes_B1_Food_P1_WineProduction_1 * 10.0;
    qttWaste_B1_Food_P1_WineProduction_1 = qttGrapes_B1_Food_P1_WineProduction_1 * 0.5;
  }
  if (is(node, "0_4_12_GROWING_8")) {
    waterTank_B1_Food_P1_Crop = waterTank_B1_Food_P1_Crop + qttWater_B1_Food_P1_Crop;
  }
  if (is(node, "0_4_12_GROWING_4")) {
    irrigationDaysOK_B1_Food_P1_Crop = 0.0;
  }
  if (is(node, "0_4_12_GROWING_22")) {
    fertilizerTank_B1_Food_P1_Crop = fertilizerTank_B1_Food_P1_Crop + qttFertilizer_B1_Food_P1_Crop;
  }
  if (is(node, "0_4_8_ACTIVE_7")) {
    industrialFerlizer_B1_Food_P1_BioProductProduction =
        qttFertilizer_B1_Food_P1_BioProductProduction -
        fertilizerTank_B1_Food_P1_BioProductProduction;
  }
  if (is(node, "0_4_8_ACTIVE_3")) {
    fertilizerTank_B1_Food_P1_BioProductProduction =
        fertilizerTank_B1_Food_P1_BioProductProduction -
        qttFertilizer_B1_Food_P1_BioProductProduction;
  }
  if (is(node, "0_1_14_ENVIRONMENT_10")) {
    current_year_B1_Environment_P1_Environment =
        plus_one(current_year_B1_Environment_P1_Environment);
  }
  if (is(node, "0_1_14_ENVIRONMENT_5")) {
    dies_B1_Environment_P1_Environment = plus_one(dies_B1_Environment_P1_Environment);
  }
  if (is(node, "0_6_13_ACTIVO_9")) {
    bioProductsTank_B1_Energy_P1_Energy =
        bioProductsTank_B1_Energy_P1_Energy + bioProduct_B1_Energy_P1_Energy;
  }
  if (is(node, "0_4_12_GROWING_10")) {
    irrigationDaysOK_B1_Food_P1_Crop = irrigationDaysOK_B1_Food_P1_Crop + 1.0;
    waterTank_B1_Food_P1_Crop = waterTank_B1_Food_P1_Crop - dayliWaterNeeded_B1_Food_P1_Crop;
  }
  if (is(node, "0_2_9_DESIGNED_4")) {
    build_energy_B1_Building_P1_Building =
        acv_energy_B1_Building_P1_Building + cons_energy_B1_Building_P1_Building;
    build_co2_B1_Building_P1_Building =
        acv_co2_B1_Building_P1_Building + cons_co2_B1_Building_P1_Building;
    build_money_B1_Building_P1_Building =
        acv_money_B1_Building_P1_Building + cons_money_B1_Building_P1_Building;
  }
  if (is(node, "0_4_12_GROWING_24")) {
    fertilizerDaysOK_B1_Food_P1_Crop = fertilizerDaysOK_B1_Food_P1_Crop + 1.0;
  }
  if (is(node, "0_5_10_ACTIVE_3")) {
    waterTank_B1_Water_P1_CleanWater =
        waterTank_B1_Water_P1_CleanWater + qttWater_B1_Water_P1_CleanWater;
  }
  if (is(node, "0_5_16_ACTIVE_3")) {
    qttWater_B1_Water_P1_WasteWater =
        qttWater_B1_Water_P1_WasteWater +
        (qttLiquidWaste_B1_Water_P1_WasteWater * percentReuse_B1_Water_P1_WasteWater);
  }
  if (is(node, "0_3_15_ACTIVE_3")) {
    qttSolidWasteLevel_B1_Waste_P1_Waste =
        qttSolidWasteLevel_B1_Waste_P1_Waste + qttSolidWaste_B1_Waste_P1_Waste;
  }
  if (is(node, "0_5_10_ACTIVE_18")) {
    waterTank_B1_Water_P1_CleanWater =
        waterTank_B1_Water_P1_CleanWater - qttWater_B1_Water_P1_CleanWater;
  }
  if (is(node, "0_5_10_ACTIVE_11")) {
    qttWater_B1_Water_P1_CleanWater = waterTank_B1_Water_P1_CleanWater;
    waterTank_B1_Water_P1_CleanWater = 0.0;
  }
  if (is(node, "0_5_16_ACTIVE_10")) {
    qttTreatedWater_B1_Water_P1_WasteWater =
        qttTreatedWater_B1_Water_P1_WasteWater + qttLiquidWaste_B1_Water_P1_WasteWater;
  }
  if (is(node, "0_6_13_ACTIVO_15")) {
    qttEnergyGrid_B1_Energy_P1_Energy =
        qttEnergy_B1_Energy_P1_Energy - energyLevel_B1_Energy_P1_Energy;
    energyLevel_B1_Energy_P1_Energy = 0.0;
  }
  if (is(node, "0_6_13_ACTIVO_13")) {
    energyLevel_B1_Energy_P1_Energy =
        energyLevel_B1_Energy_P1_Energy - qttEnergy_B1_Energy_P1_Energy;
  }
  return 0;
}

}  // extern "C"
