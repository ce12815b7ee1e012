#include "ScpiHeaderPattern.h"

#include <gtest/gtest.h>

namespace marlin::sim {
namespace {

TEST(ScpiHeaderPatternTest, ShortAndLongFormsMatchButNothingInBetween) {
    const ScpiHeaderPattern p("SYSTem:DISPlay:UPDate");
    EXPECT_TRUE(p.match({"SYST", "DISP", "UPD"}));
    EXPECT_TRUE(p.match({"SYSTEM", "DISPLAY", "UPDATE"}));
    EXPECT_TRUE(p.match({"SYST", "DISPLAY", "UPD"}));
    EXPECT_FALSE(p.match({"SYSTE", "DISP", "UPD"}));
    EXPECT_FALSE(p.match({"SYS", "DISP", "UPD"}));
    EXPECT_FALSE(p.match({"SYST", "DISP"}));
    EXPECT_FALSE(p.match({"SYST", "DISP", "UPD", "ON"}));
}

TEST(ScpiHeaderPatternTest, OptionalNodesMayBeLeftOutAnywhere) {
    const ScpiHeaderPattern freq("[SENSe:]FREQuency:CENTer");
    EXPECT_TRUE(freq.match({"FREQ", "CENT"}));
    EXPECT_TRUE(freq.match({"SENS", "FREQ", "CENT"}));
    EXPECT_FALSE(freq.match({"SENS", "CENT"}));
    const ScpiHeaderPattern clear("SYSTem:ERRor:CLEar[:ALL]");
    EXPECT_TRUE(clear.match({"SYST", "ERR", "CLE", "ALL"}));
    EXPECT_TRUE(clear.match({"SYST", "ERR", "CLEAR"}));
}

TEST(ScpiHeaderPatternTest, NumericSuffixesAreReturnedWithDefaultOne) {
    const ScpiHeaderPattern p("DISPlay[:WINDow#]:TRACe#[:STATe]");
    EXPECT_EQ(p.match({"DISP", "TRAC3"}), (std::vector<int>{1, 3}));
    EXPECT_EQ(p.match({"DISP", "WIND2", "TRACE", "STAT"}), (std::vector<int>{2, 1}));
    EXPECT_FALSE(p.match({"DISP", "TRAC3X"}));
    // A suffix is only taken where the pattern allows one.
    EXPECT_FALSE(ScpiHeaderPattern("SYSTem:ERRor").match({"SYST2", "ERR"}));
}

TEST(ScpiHeaderPatternTest, CommonCommandsAndCharacterParameters) {
    const ScpiHeaderPattern idn("*IDN");
    EXPECT_TRUE(idn.common());
    EXPECT_TRUE(idn.match({"IDN"}));
    int suffix = 0;
    EXPECT_TRUE(ScpiHeaderPattern::matchWord("TRACe#", "trace4", &suffix));
    EXPECT_EQ(suffix, 4);
    EXPECT_TRUE(ScpiHeaderPattern::matchWord("TRACe#", "TRAC2", &suffix));
    EXPECT_EQ(suffix, 2);
    EXPECT_FALSE(ScpiHeaderPattern::matchWord("TRACe#", "TRA1"));
    EXPECT_TRUE(ScpiHeaderPattern::matchWord("ASCii", "asc"));
}

}  // namespace
}  // namespace marlin::sim
