// The model store through its accessors: zero at load, bit-exact round trips,
// references kept without copying, and no two values sharing storage.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "host.h"

using namespace tds_test;

TEST(Store, EveryValueIsZeroAtLoadAndGetModelNameChangesNothing) {
  EXPECT_STREQ(model_name(), "TarvelloDemoSite");
  for (const Value& v : values()) EXPECT_EQ(read(v), zero_of(v.kind)) << v.name;
}

TEST(Store, DistinctMarkersRoundTripWithoutDisturbingOtherValues) {
  const auto& all = values();
  const Markers markers;
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(write(all[i], markers[i]), markers[i]) << all[i].name;
    EXPECT_EQ(read(all[i]), markers[i]) << all[i].name;
  }
  // Every value still holds its own marker once all have been written.
  for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(read(all[i]), markers[i]) << all[i].name;
}

// Doubles pass through bit for bit, whatever they hold.
class DoubleBits : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(DoubleBits, ComeBackUnchangedFromSetterAndGetter) {
  const std::uint64_t bits = GetParam();
  for (const char* name :
       {"waterTank_B1_Food_P1_Crop", "qualityInlet_B1_Compensation_P1_Compensation",
        "waterTypeTreatment_B1_Compensation_P1_Compensation_4", "PARAM_10_B1_Waste_P1_Waste_54",
        "PARAM_1_B1_Food_P1_Crop_50"}) {
    EXPECT_EQ(bits_of(set_double(name, double_of_bits(bits))), bits) << name;
    EXPECT_EQ(bits_of(get_double(name)), bits) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Store, DoubleBits,
    ::testing::Values(0x7FF8000000000123ull,  // quiet NaN with a payload
                      0xFFF80000DEADBEEFull,  // negative quiet NaN with a payload
                      0x7FF0000000000001ull,  // signalling NaN
                      0x8000000000000000ull,  // -0.0
                      0x7FF0000000000000ull,  // +infinity
                      0xFFF0000000000000ull,  // -infinity
                      0x0000000000000001ull,  // smallest subnormal
                      0x7FEFFFFFFFFFFFFFull,  // largest finite
                      0xC00C000000000000ull   // -3.5
                      ));

TEST(Store, IntsKeepEveryThirtyTwoBitValue) {
  for (const char* name : {"dies_B1_Environment_P1_Environment", "_B1_Water_P1_WasteWater_2",
                           "ePlus_B1_Building_P1_Building_5", "PARAM_2_B1_Waste_P1_Waste_54"}) {
    for (std::int32_t i : {-1, std::numeric_limits<std::int32_t>::max(),
                           std::numeric_limits<std::int32_t>::min(), 7}) {
      EXPECT_EQ(set_int(name, i), i) << name;
      EXPECT_EQ(get_int(name), i) << name;
    }
  }
}

TEST(Store, TextsAreKeptByReferenceNeverCopied) {
  char caller_text[] = "Tarragona";
  for (const char* name :
       {"climateZone_B1_Food_P1_Crop", "waterTypeTreatment_B1_Compensation_P1_Compensation",
        "qualityInlet_B1_Water_P1_WasteWater", "PARAM_1_B1_Food_P1_Crop_54"}) {
    EXPECT_EQ(set_text(name, caller_text), caller_text) << name;
    EXPECT_EQ(get_text(name), caller_text) << name;
  }
  // A later change to the caller's text is what a later reader sees.
  std::strcpy(caller_text, "Girona");
  EXPECT_STREQ(get_text("climateZone_B1_Food_P1_Crop"), "Girona");
  EXPECT_EQ(set_text("climateZone_B1_Food_P1_Crop", nullptr), nullptr);
  EXPECT_EQ(get_text("climateZone_B1_Food_P1_Crop"), nullptr);
}
