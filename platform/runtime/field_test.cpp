#include "platform/runtime/field.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/runtime/client_dataset.h"
#include "platform/runtime/locale_format.h"

namespace rt {
namespace {

FieldDef Def(const std::string& name, FieldType type, int size = 20) {
  FieldDef def;
  def.name = name;
  def.type = type;
  def.size = size;
  return def;
}

// One open row of every type, in edit state; Brazilian number settings.
class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CurrentFormatSettings();
    SetCurrentFormatSettings(FormatSettings{});
    ds.SetFieldDefs({Def("S", FieldType::String, 5), Def("F", FieldType::Float), Def("I", FieldType::Integer),
                     Def("B", FieldType::Boolean), Def("D", FieldType::DateTime)});
    ds.CreateDataSet();
    ds.Append();
  }
  void TearDown() override { SetCurrentFormatSettings(saved_); }

  TField& F(const char* name) { return ds.FieldByName(name); }

  TClientDataSet ds{"cdsFields"};
  FormatSettings saved_;
};

TEST_F(FieldTest, NullsReadAsEmptyTextAndZero) {
  for (TField* field : ds.Fields()) {
    EXPECT_TRUE(field->IsNull()) << field->FieldName();
    EXPECT_EQ(field->AsString(), "") << field->FieldName();
    EXPECT_EQ(field->AsFloat(), 0) << field->FieldName();
    EXPECT_EQ(field->AsInteger(), 0) << field->FieldName();
  }
}

TEST_F(FieldTest, TextConversionsFollowTheUserSettings) {
  struct Case {
    const char* field;
    const char* typed;
    const char* shown;
  } cases[] = {
      {"F", "1,5", "1,5"},
      {"F", "6", "6"},
      {"F", " -0,25 ", "-0,25"},
      {"I", "42", "42"},
      {"B", "True", "True"},
      {"D", "31/01/2026 10:05:00", "31/01/2026 10:05:00"},
      {"D", "2026-02-28T23:59:59", "28/02/2026 23:59:59"},
      {"S", "abcdefgh", "abcde"},
  };
  for (const Case& c : cases) {
    F(c.field).SetAsString(c.typed);
    EXPECT_EQ(F(c.field).AsString(), c.shown) << c.field << " " << c.typed;
  }
  F("F").SetAsFloat(0.1 + 0.2);  // no binary noise in the text
  EXPECT_EQ(F("F").AsString(), "0,3");
  F("F").SetAsString("");
  EXPECT_TRUE(F("F").IsNull());
}

TEST_F(FieldTest, BadTextIsRefusedAndLeavesTheValue) {
  F("F").SetAsFloat(2);
  for (const char* bad : {"abc", "1.5.3", "1,5x"}) {
    EXPECT_THROW(F("F").SetAsString(bad), EDatabaseError) << bad;
  }
  try {
    F("F").SetAsString("abc");
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid value for field 'F'");
  }
  EXPECT_THROW(F("I").SetAsString("1,5"), EDatabaseError);
  EXPECT_THROW(F("D").SetAsString("31/02/2026"), EDatabaseError);
  EXPECT_THROW(F("B").SetValue(Variant(VariantArray{})), EDatabaseError);
  EXPECT_EQ(F("F").AsFloat(), 2);
}

TEST_F(FieldTest, NumbersConvertBetweenTypes) {
  F("I").SetAsFloat(2.5);
  EXPECT_EQ(F("I").AsInteger(), 2);  // to even, as the framework rounds
  F("I").SetAsFloat(3.5);
  EXPECT_EQ(F("I").AsInteger(), 4);
  F("F").SetAsInteger(7);
  EXPECT_EQ(F("F").Value().type(), Variant::Type::Float);
  F("S").SetAsFloat(1.25);
  EXPECT_EQ(F("S").AsString(), "1,25");
  EXPECT_EQ(F("S").AsFloat(), 1.25);
  F("S").SetAsString("x");
  EXPECT_THROW(F("S").AsFloat(), EDatabaseError);
}

TEST_F(FieldTest, TextHandlersDecideTheWholeText) {
  F("S").SetAsString("FOLHA");
  std::string flags;
  F("S").OnGetText = [&](TField& sender, std::string& text, bool display) {
    flags += display ? "display " : "edit ";
    EXPECT_EQ(text, "");  // starts empty
    if (sender.AsString() == "FOLHA") text = "EM FOLHA";
  };
  EXPECT_EQ(F("S").DisplayText(), "EM FOLHA");
  EXPECT_EQ(F("S").Text(), "EM FOLHA");
  EXPECT_EQ(F("S").EditText(), "EM FOLHA");
  EXPECT_EQ(flags, "display display edit ");
  F("S").SetAsString("OTHER");
  EXPECT_EQ(F("S").DisplayText(), "");

  F("S").OnSetText = [](TField& sender, const std::string& text) {
    if (text == "EM FOLHA") sender.SetAsString("FOLHA");
  };
  F("S").SetText("EM FOLHA");
  EXPECT_EQ(F("S").AsString(), "FOLHA");
  F("S").SetText("unknown");  // the handler leaves the field unchanged
  EXPECT_EQ(F("S").AsString(), "FOLHA");
  F("S").OnSetText = nullptr;
  F("S").SetText("plain");
  EXPECT_EQ(F("S").AsString(), "plain");
}

TEST_F(FieldTest, DefinitionProperties) {
  TField& s = F("S");
  EXPECT_EQ(s.DisplayLabel(), "S");
  s.SetDisplayLabel("Pagamento");
  EXPECT_EQ(s.DisplayLabel(), "Pagamento");
  EXPECT_EQ(s.DisplayWidth(), 5);
  s.SetDisplayWidth(17);
  EXPECT_EQ(s.DisplayWidth(), 17);
  EXPECT_EQ(F("F").DisplayWidth(), 10);
  s.SetProviderFlags(ProviderFlags::NotApplied());
  EXPECT_TRUE(s.ProviderFlags().IsEmpty());
  EXPECT_EQ(ds.FieldDefs()[0].display_label, "Pagamento");  // the stored definitions follow
  EXPECT_EQ(s.Index(), 0);
  EXPECT_EQ(&s.DataSet(), &ds);
}

TEST(CutToCharsTest, CountsCharactersNotBytes) {
  struct Case {
    const char* text;
    int size;
    const char* cut;
  } cases[] = {
      {"abc", 5, "abc"}, {"abcdef", 3, "abc"}, {"ção", 2, "çã"}, {"€uro", 1, "€"},
      {"😀x", 1, "😀"},    {"", 0, ""},          {"ab", 0, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CutToChars(c.text, c.size), c.cut) << c.text << " " << c.size;
}

}  // namespace
}  // namespace rt
