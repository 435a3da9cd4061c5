#include "server/core/credentials.h"

#include <gtest/gtest.h>

#include "server/core/money.h"
#include "server/core/packets.h"
#include "server/core/registration.h"

namespace srv {
namespace {

TEST(Credentials, HashVerifiesOnlyItsOwnPasswordAndIsSalted) {
  const std::string h = HashPassword("segredo", 1000);
  EXPECT_EQ(h.rfind("pbkdf2-sha256$1000$", 0), 0u);
  EXPECT_TRUE(VerifyPassword("segredo", h));
  EXPECT_FALSE(VerifyPassword("Segredo", h));
  EXPECT_FALSE(VerifyPassword("", h));
  EXPECT_NE(h, HashPassword("segredo", 1000));  // a fresh salt each time
}

TEST(Credentials, MalformedStoredHashesNeverVerify) {
  for (const std::string& stored : std::vector<std::string>{
           "", "plain", "pbkdf2-sha256$", "pbkdf2-sha256$x$00$00", "pbkdf2-sha256$1000$zz$" + std::string(64, '0'),
           "pbkdf2-sha256$1000$00$00", "pbkdf2-sha256$0$00$" + std::string(64, '0')}) {
    EXPECT_FALSE(VerifyPassword("x", stored)) << stored;
  }
}

TEST(Credentials, TokensAreRandom64HexDigits) {
  const std::string a = NewSessionToken(), b = NewSessionToken();
  EXPECT_EQ(a.size(), 64u);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, b);
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Registration, ClientKeyAndBareFormsAreAccepted) {
  struct Case {
    const char* text;
    char type;
    const char* digits;
  };
  for (const Case& c : {Case{"F52998224725", 'F', "52998224725"}, Case{"J11222333000181", 'J', "11222333000181"},
                        Case{"52998224725", 0, "52998224725"}, Case{"529.982.247-25", 0, "52998224725"},
                        Case{"11.222.333/0001-81", 0, "11222333000181"}}) {
    const auto r = ParseRegistration(c.text);
    ASSERT_TRUE(r) << c.text;
    EXPECT_EQ(r->type, c.type) << c.text;
    EXPECT_EQ(r->digits, c.digits) << c.text;
  }
  for (const char* bad : {"", "F", "X123", "12a45", "' OR 1=1 --", "123456789012345678901"}) {
    EXPECT_FALSE(ParseRegistration(bad)) << bad;
  }
}

TEST(Money, FloatsAreRoundedToCents) {
  struct Case {
    double amount;
    std::int64_t cents;
  };
  for (const Case& c : {Case{0, 0}, Case{0.29, 29}, Case{120.5, 12050}, Case{10.005, 1001}, Case{1.994999, 199},
                        Case{-3.335, -334}, Case{1.005, 101}, Case{2.675, 268}, Case{0.1 + 0.2, 30}}) {
    EXPECT_EQ(CentsFromFloat(c.amount), c.cents) << c.amount;
  }
  EXPECT_FALSE(CentsFromFloat(std::nan("")));
  EXPECT_FALSE(CentsFromFloat(1e300));
  EXPECT_DOUBLE_EQ(FloatFromCents(12050), 120.5);
}

TEST(Packets, StringsAreCutToTheFieldSizeInCharacters) {
  EXPECT_EQ(packets::CutToChars("GARÇOM", 4), "GARÇ");
  EXPECT_EQ(packets::CutToChars("ÇÇÇ", 3), "ÇÇÇ");
  rt::DataPacket p = packets::Make(packets::VdForn());
  packets::AddRow(p, {"1", "2", "F", std::string(60, 'x'), "Aurora Serviços de Garçom e Segurança Ltda de São Paulo"});
  EXPECT_EQ(p.rows[0][3].AsString().size(), 50u);
  EXPECT_EQ(p.rows[0][4].AsString(), "Aurora Serviços de Garçom e Segurança Lt");  // 40 characters
}

}  // namespace
}  // namespace srv
