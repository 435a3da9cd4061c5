#include "platform/clientlib/routines.h"

#include <gtest/gtest.h>

namespace clib {
namespace {

TEST(EmptyStringTest, BlankMeansEmptyOrOnlyBlanks) {
  struct Case {
    const char* s;
    bool empty;
  };
  for (const Case& c : {Case{"", true}, Case{"   ", true}, Case{" \t", true}, Case{" 0 ", false}, Case{"x", false}})
    EXPECT_EQ(EmptyString(c.s), c.empty) << '"' << c.s << '"';
}

TEST(AjustaTest, PadsDigitsKeepsEverythingElse) {
  struct Case {
    const char* s;
    int n;
    const char* out;
  };
  for (const Case& c :
       {Case{"12", 10, "0000000012"}, Case{"5", 2, "05"}, Case{"00", 2, "00"},
        Case{" 7 ", 2, "07"},                // blanks around a number are dropped
        Case{"", 2, ""}, Case{"  ", 2, ""},  // blank stays blank: still "not informed"
        Case{"123", 2, "123"},               // wider than n: never cut
        Case{"12345678901", 10, "12345678901"}, Case{"A1", 10, "A1"}, Case{"8:", 2, "8:"}, Case{"1 2", 10, "1 2"}}) {
    EXPECT_EQ(Ajusta(c.s, c.n), c.out) << '"' << c.s << "\" at " << c.n;
  }
}

TEST(AjustaInscricaoTest, PrefixByLengthAndTrimInPlace) {
  struct Case {
    const char* in;
    const char* prefix;
    const char* after;
  };
  for (const Case& c : {Case{"12345678901", "F", "12345678901"}, Case{"12345678000195", "J", "12345678000195"},
                        Case{" 12345678901 ", "F", "12345678901"}, Case{"1234", "", "1234"}, Case{"", "", ""},
                        Case{"1234567890A", "", "1234567890A"}}) {
    std::string s = c.in;
    EXPECT_EQ(Ajusta_Inscricao(s), c.prefix) << c.in;
    EXPECT_EQ(s, c.after) << c.in;
  }
}

TEST(PictPessTest, MaskPerRegistrationType) {
  EXPECT_EQ(PictPess("F"), "999.999.999-99;0");
  EXPECT_EQ(PictPess("J"), "99.999.999/9999-99;0");
  EXPECT_EQ(PictPess(""), "");
  EXPECT_EQ(PictPess("X"), "");
}

TEST(RoundDecTest, HalfAwayFromZeroOnTheDecimalValue) {
  struct Case {
    double x;
    int n;
    double out;
  };
  for (const Case& c : {Case{1.999, 2, 2.0}, Case{2.345, 2, 2.35}, Case{2.344, 2, 2.34}, Case{-2.345, 2, -2.35},
                        Case{1.005, 2, 1.01}, Case{0.125, 2, 0.13}, Case{9.995, 2, 10.0}, Case{5.5, 0, 6.0},
                        Case{-0.5, 0, -1.0}, Case{3.0, 2, 3.0}, Case{1e20, 2, 1e20}, Case{0.0, 2, 0.0}})
    EXPECT_DOUBLE_EQ(RoundDec(c.x, c.n), c.out) << c.x << " at " << c.n;
  EXPECT_THROW(RoundDec(1.0, -1), std::invalid_argument);
}

}  // namespace
}  // namespace clib
