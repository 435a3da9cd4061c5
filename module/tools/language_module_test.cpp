// The language-module tool: which texts of a layout it translates, which it keeps, and
// that the shipped English translation leaves no text of any layout file untranslated.
#include "module/tools/language_module.h"

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using json = nlohmann::json;

json ReadFile(const std::string& path) {
  std::ifstream in(path);
  return json::parse(in);
}

std::string Describe(const std::vector<langtool::TUntranslated>& missing) {
  std::string out;
  for (const auto& m : missing) out += m.resource + " " + m.component + "." + m.property + ": " + m.text + "\n";
  return out;
}

TEST(LanguageModuleTest, TheEnglishTranslationCoversEveryTextOfEveryLayout) {
  const auto translation = langtool::TTranslation::FromJson(ReadFile(ALLOC_TRANSLATION_EN));
  std::map<std::string, json> layouts;
  const std::string all = ALLOC_LAYOUTS;  // "RESOURCE=file|RESOURCE=file..."
  for (size_t start = 0; start < all.size();) {
    size_t end = all.find('|', start);
    if (end == std::string::npos) end = all.size();
    const std::string entry = all.substr(start, end - start);
    layouts[entry.substr(0, entry.find('='))] = ReadFile(entry.substr(entry.find('=') + 1));
    start = end + 1;
  }
  ASSERT_EQ(layouts.size(), 4u);
  std::vector<langtool::TUntranslated> missing;
  langtool::MakeLanguageModule(layouts, translation, missing);
  EXPECT_TRUE(missing.empty()) << "texts without a translation in module/lang/en.json:\n" << Describe(missing);
}

TEST(LanguageModuleTest, TranslatesEveryKindOfTextAndListsWhatItCannot) {
  json layout = json::parse(R"({
    "class": "TfrmX", "name": "frmX", "properties": {"Caption": "Cadastro", "Left": 3},
    "children": [
      {"class": "TButtonFlat", "name": "sbtA", "properties": {"Hint": "Gravar", "ShowHint": true}},
      {"class": "TEdit", "name": "edtA", "properties": {"Text": ""}},
      {"class": "TSearchButton", "name": "btnA", "properties": {"Titulo": "Orçamento", "TextoVazio": "Nada."}},
      {"class": "TMessages", "name": "msgA", "properties": {"Items": ["Excl|Confirma exclusão?", "COD|EM FOLHA"]}},
      {"class": "TClientDataSet", "name": "cdsA", "properties": {"FieldDefs": [
        {"name": "NRFORNE", "type": "string", "label": "Nr."}, {"name": "CDX", "type": "string"}]}},
      {"class": "TDBGrid", "name": "dbgA", "properties": {"Columns": [
        {"FieldName": "TP", "PickList": ["EM FOLHA"], "Title": {"Caption": "Tipo"}}]}},
      {"class": "TMenuItem", "name": "mnuSep", "properties": {"Caption": "-"}},
      {"class": "TDBNavigator", "name": "dbnA", "properties": {"Hints": ["Primeiro", ""]}}
    ]})");
  langtool::TTranslation translation;
  translation.texts = {
      {"Cadastro", "Records"}, {"Gravar", "Save"}, {"Orçamento", "Budget"}, {"Confirma exclusão?", "Confirm deletion?"},
      {"Nr.", "No."},          {"Tipo", "Type"},   {"Primeiro", "First"}};
  translation.kept = {"EM FOLHA", "-"};

  const auto missing = langtool::TranslateLayout("TFRMX", layout, translation);

  EXPECT_EQ(layout["properties"]["Caption"], "Records");
  EXPECT_EQ(layout["properties"]["Left"], 3);
  const json& c = layout["children"];
  EXPECT_EQ(c[0]["properties"]["Hint"], "Save");
  EXPECT_EQ(c[1]["properties"]["Text"], "");  // an empty text is no text
  EXPECT_EQ(c[2]["properties"]["Titulo"], "Budget");
  EXPECT_EQ(c[3]["properties"]["Items"], json::parse(R"(["Excl|Confirm deletion?", "COD|EM FOLHA"])"));
  EXPECT_EQ(c[4]["properties"]["FieldDefs"][0]["label"], "No.");
  EXPECT_EQ(c[5]["properties"]["Columns"][0]["PickList"][0], "EM FOLHA");
  EXPECT_EQ(c[5]["properties"]["Columns"][0]["Title"]["Caption"], "Type");
  EXPECT_EQ(c[6]["properties"]["Caption"], "-");
  EXPECT_EQ(c[7]["properties"]["Hints"], json::parse(R"(["First", ""])"));
  ASSERT_EQ(missing.size(), 1u) << Describe(missing);
  EXPECT_EQ(missing[0].component, "btnA");
  EXPECT_EQ(missing[0].property, "TextoVazio");
  EXPECT_EQ(missing[0].text, "Nada.");
  EXPECT_EQ(c[2]["properties"]["TextoVazio"], "Nada.");  // left as it is
}

TEST(LanguageModuleTest, ATranslationFileOfAnotherShapeIsRefused) {
  for (const char* text : {R"([])", R"({"kept": []})", R"({"texts": {"a": 1}})", R"({"texts": {}, "txets": {}})"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(langtool::TTranslation::FromJson(json::parse(text)), std::runtime_error);
  }
}

}  // namespace
