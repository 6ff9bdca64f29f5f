// The engine's input reading: the one lookup of a value by name in each of
// the forms its messages take, and doubles written and read back bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <string>

#include "description.h"
#include "input.h"

namespace {

const tds::Description& description() {
  static const tds::Description d = tds::Description::parse(
      R"({"formatVersion": 1, "model": "M", "functions": {"initialise": "i", "modelName": "n", "decision": "d",
          "task": "t"},
          "values": [
            {"name": "waterTank_B1_Food_P1_Crop", "kind": "double", "getter": "g1",
             "setter": "s1", "processNumber": 1, "category": "variable"},
            {"name": "level", "kind": "int", "getter": "g2", "setter": "s2",
             "processNumber": 1, "category": "variable"}]})",
      "test.json");
  return d;
}

struct Lookup {
  std::string test, name, prefix;
  tds::NameShown shown;
  std::string message;  // empty: found
};

class ValueNamed : public testing::TestWithParam<Lookup> {};

TEST_P(ValueNamed, AnswersTheIndexOrNamesTheNearest) {
  const Lookup& c = GetParam();
  const tds::Labels labels = {{0, {"water in the tank", "mm"}}};
  if (c.message.empty()) {
    EXPECT_EQ(tds::value_named(description(), c.name, c.prefix, &labels, c.shown), 1u);
    return;
  }
  try {
    tds::value_named(description(), c.name, c.prefix, &labels, c.shown);
    FAIL() << "no error for " << c.name;
  } catch (const tds::InputError& e) {
    EXPECT_EQ(std::string(e.what()), c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ValueNamed,
    testing::Values(
        Lookup{"Found", "level", "--vars: ", tds::NameShown::Plain, ""},
        Lookup{"Plain", "levle", "--vars: ", tds::NameShown::Plain,
               "--vars: unknown variable levle (nearest: level, waterTank_B1_Food_P1_Crop)"},
        // The name part and a label's words come first; a message stays on one line.
        Lookup{"NamePartFirst", "watertank", "--set: ", tds::NameShown::Plain,
               "--set: unknown variable watertank (nearest: waterTank_B1_Food_P1_Crop, level)"},
        Lookup{"QuotedOnOneLine", "tank\nx", "set: ", tds::NameShown::Quoted,
               "set: unknown variable 'tank\\nx' (nearest: level, waterTank_B1_Food_P1_Crop)"},
        Lookup{"QuotedAndCut", std::string(70, 'x'), "set: ", tds::NameShown::Quoted,
               "set: unknown variable '" + std::string(60, 'x') + "...' (70 bytes)"},
        Lookup{"Omitted", "levl", "scenario s: constants.levl: ", tds::NameShown::Omitted,
               "scenario s: constants.levl: unknown variable (nearest: level, "
               "waterTank_B1_Food_P1_Crop)"}));

std::uint64_t bits(double d) {
  std::uint64_t b = 0;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

TEST(FormatDouble, ReadsBackToTheSameBits) {
  const double cases[] = {0.1,
                          -0.0,
                          1e300,
                          1e16,
                          123456789012345680.0,
                          std::numeric_limits<double>::denorm_min(),
                          std::numeric_limits<double>::max(),
                          -std::numeric_limits<double>::infinity(),
                          1.0 / 3.0};
  for (const double d : cases) {
    std::deque<std::string> keep;
    const std::string text = tds::format_double(d);
    EXPECT_EQ(bits(tds::parse_cell(tds::Kind::Double, text, "x", keep).d), bits(d)) << text;
  }
  EXPECT_EQ(tds::format_double(-0.0), "-0");
  EXPECT_EQ(tds::format_double(1e300), "1e+300");
  std::deque<std::string> keep;
  EXPECT_TRUE(std::isnan(
      tds::parse_cell(tds::Kind::Double, tds::format_double(std::nan("")), "x", keep).d));
}

}  // namespace
