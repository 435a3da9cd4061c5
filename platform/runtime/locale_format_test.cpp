#include "platform/runtime/locale_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace rt {
namespace {

const FormatSettings kBrazil{};
const FormatSettings kUs{'.', ',', ':', '/'};

TEST(FormatFloat, PatternsWithTheUsersSeparators) {
  struct Case {
    const char* pattern;
    double value;
    const char* brazil;
    const char* us;
  };
  const Case cases[] = {
      {"#,##0.00", 1234.5, "1.234,50", "1,234.50"},
      {"#,##0.00", 0, "0,00", "0.00"},
      {"#,##0.00", 0.5, "0,50", "0.50"},
      {"#,##0.00", 999.999, "1.000,00", "1,000.00"},
      {"#,##0.00", -1234567.891, "-1.234.567,89", "-1,234,567.89"},
      {"#,##0.00", 1e15, "1.000.000.000.000.000,00", "1,000,000,000,000,000.00"},
      {"#,##0.00", 1.005, "1,01", "1.01"},  // the typed 1,005 rounds up, not as its binary value would
      {"#,##0.00", 2.675, "2,68", "2.68"},
      {"#,##0.00", -0.004, "0,00", "0.00"},  // no "-0,00"
      {"#,##0.00", -0.005, "-0,01", "-0.01"},
      {"#,##0.00", 150, "150,00", "150.00"},
      {"0.00", 1234.5, "1234,50", "1234.50"},
      {"0.00", 0.126, "0,13", "0.13"},
      {"0", 2.5, "3", "3"},
      {"0.0#", 1.5, "1,5", "1.5"},
      {"0.0#", 1.25, "1,25", "1.25"},
      {"#.00", 0.5, ",50", ".50"},
      {"000", 7, "007", "007"},
      {"R$ #,##0.00", 1234.5, "R$ 1.234,50", "R$ 1,234.50"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " " + std::to_string(c.value));
    EXPECT_EQ(FormatFloat(c.pattern, c.value, kBrazil), c.brazil);
    EXPECT_EQ(FormatFloat(c.pattern, c.value, kUs), c.us);
  }
}

TEST(FormatFloat, NonFiniteAndUnsupportedPatterns) {
  EXPECT_EQ(FormatFloat("#,##0.00", std::nan(""), kBrazil), "NAN");
  EXPECT_EQ(FormatFloat("#,##0.00", -std::numeric_limits<double>::infinity(), kBrazil), "-INF");
  EXPECT_THROW(FormatFloat("abc", 1, kBrazil), EConvertError);
  EXPECT_THROW(FormatFloat("0.00;(0.00)", 1, kBrazil), EConvertError);
}

TEST(FloatToStr, ShortestPlainText) {
  const std::pair<double, const char*> cases[] = {
      {5.5, "5,5"},       {19.8, "19,8"},
      {6, "6"},           {0, "0"},
      {-0.0, "0"},        {-2.25, "-2,25"},
      {0.1, "0,1"},       {0.33 * 60, "19,8"},
      {0.1 + 0.2, "0,3"}, {123456789012345.0, "123456789012345"},
      {1e15, "1E15"},     {1e20, "1E20"},
      {1.5e-7, "1,5E-7"}, {0.0001, "0,0001"},
      {1e-5, "0,00001"},  {999999999, "999999999"},
  };
  for (const auto& [value, text] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(FloatToStr(value, kBrazil), text);
  }
  EXPECT_EQ(FloatToStr(5.5, kUs), "5.5");
}

TEST(StrToFloat, ReadsWithTheUsersDecimalSeparator) {
  const std::pair<const char*, double> good[] = {
      {"5,5", 5.5}, {"19,8", 19.8},  {"6", 6},       {"-2,25", -2.25},         {"+3", 3}, {" 12,5 ", 12.5}, {",5", 0.5},
      {"5,", 5},    {"1,5E3", 1500}, {"1e-2", 0.01}, {"999999999", 999999999}, {"0", 0},
  };
  for (const auto& [text, value] : good) {
    SCOPED_TRACE(text);
    EXPECT_EQ(StrToFloat(text, kBrazil), value);
    double out = -1;
    EXPECT_TRUE(TryStrToFloat(text, out, kBrazil));
    EXPECT_EQ(out, value);
  }
  EXPECT_EQ(StrToFloat("5.5", kUs), 5.5);
}

TEST(StrToFloat, RefusesWhatIsNotANumber) {
  const char* bad[] = {"",        " ",  "1-",  "abc", ",",   "-",     "1,2,3", "5.5",
                       "1.234,5", "1e", "1e+", "12a", "1 2", "1e400", "--1",   "0x10"};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    double out = 42;
    EXPECT_FALSE(TryStrToFloat(text, out, kBrazil));
    EXPECT_EQ(out, 42);
    try {
      StrToFloat(text, kBrazil);
      ADD_FAILURE() << "no EConvertError";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid floating point value");
    }
  }
}

TEST(FormatSettings, CurrentSettingsAreBrazilianUntilChanged) {
  EXPECT_EQ(CurrentFormatSettings(), kBrazil);
  EXPECT_EQ(FormatFloat("#,##0.00", 1234.5), "1.234,50");
  SetCurrentFormatSettings(kUs);
  EXPECT_EQ(FormatFloat("#,##0.00", 1234.5), "1,234.50");
  EXPECT_EQ(FloatToStr(5.5), "5.5");
  EXPECT_EQ(StrToFloat("5.5"), 5.5);
  SetCurrentFormatSettings(kBrazil);
  EXPECT_EQ(StrToFloat("5,5"), 5.5);
}

}  // namespace
}  // namespace rt
