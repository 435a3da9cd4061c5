#include "platform/runtime/edit_mask.h"

#include <gtest/gtest.h>

namespace rt {
namespace {

const FormatSettings kBrazil{};

TEST(FormatMaskText, FillsInputPositionsFromTheLeft) {
  struct Case {
    const char* mask;
    const char* value;
    const char* shown;
  };
  const Case cases[] = {
      // Crew start time.
      {"99:99;0", "0830", "08:30"},
      {"99:99;0", "83", "83:  "},
      {"99:99;0", "", "  :  "},
      {"99:99;0", "08305", "08:305"},  // beyond the picture: follows at the end
      {"99:99;0", "8", "8 :  "},
      // Registrations.
      {"999.999.999-99;0", "12345678901", "123.456.789-01"},
      {"999.999.999-99;0", "123", "123.   .   -  "},
      {"99.999.999/9999-99;0", "12345678000195", "12.345.678/0001-95"},
      // Literals stored in the value.
      {"99:99;1", "08:30", "08:30"},
      {"99:99;1", "0830", "08:30"},  // a value without its literal still shows it
      {"99:99", "08:30", "08:30"},   // "1" is the default
      // Mask characters of every kind, escapes, blanks and case.
      {"LLL-0000;0", "abc1234", "abc-1234"},
      {">LLL<ll;0", "aBcDe", "ABCde"},
      {">L<>l;0", "ab", "Ab"},
      {"\\9\\:99;0", "12", "9:12"},
      {"AaCc#;0", "x1-+5", "x1-+5"},
      {"99_99;0", "1234", "12 34"},
      {"!99:99;0", "0830", "08:30"},
      {"99:99;0;_", "08", "08:  "},  // the editor's blank character is not shown here
      {"", "text", "text"},
      {";0", "abc", "abc"},
      // A multibyte character fills one position.
      {"LL-LL;0", "ção", "çã-o "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mask) + " <- " + c.value);
    EXPECT_EQ(FormatMaskText(c.mask, c.value, kBrazil), c.shown);
  }
}

TEST(FormatMaskText, SeparatorsComeFromTheUsersSettings) {
  FormatSettings dotted = kBrazil;
  dotted.time_separator = '.';
  dotted.date_separator = '-';
  EXPECT_EQ(FormatMaskText("99:99;0", "0830", dotted), "08.30");
  EXPECT_EQ(FormatMaskText("99/99/9999;0", "31122026", dotted), "31-12-2026");
  EXPECT_EQ(FormatMaskText("99\\:99;0", "0830", dotted), "08:30");  // an escaped ':' is a plain colon
  EXPECT_EQ(FormatMaskText("99:99;0", "0830"), "08:30");            // current settings
}

TEST(ParseEditMask, ReadsTheOptions) {
  const EditMask m = ParseEditMask("99:99;0;*", kBrazil);
  EXPECT_FALSE(m.saves_literals);
  EXPECT_EQ(m.blank, '*');
  ASSERT_EQ(m.positions.size(), 5u);
  EXPECT_TRUE(m.positions[0].input);
  EXPECT_FALSE(m.positions[2].input);
  EXPECT_EQ(m.positions[2].literal, ':');

  const EditMask defaults = ParseEditMask("\\;99", kBrazil);  // an escaped ';' belongs to the picture
  EXPECT_TRUE(defaults.saves_literals);
  EXPECT_EQ(defaults.blank, '_');
  ASSERT_EQ(defaults.positions.size(), 3u);
  EXPECT_EQ(defaults.positions[0].literal, ';');
}

}  // namespace
}  // namespace rt
