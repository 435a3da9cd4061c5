// The language resource module built from the layout files and a translation file.
//
// The translation file holds one dictionary for every layout, so a text reads the same
// wherever it appears:
//   {"texts": {"<Portuguese text>": "<translation>", ...},
//    "kept":  ["<text shown as it is in every language>", ...]}
// "kept" lists texts that are data or codes, not words: the payment types a field
// stores and the grid's pick list offers ("EM FOLHA"), screen codes ("EVT04700"), the
// menu separator "-".
//
// The texts of a layout are the string values of the properties Caption, Hint, Text,
// Titulo and TextoVazio; the text part of each "KEY|text" item of Items (a message
// table; an item without "|" is a text whole); the label of each field definition; the
// pick list and title caption of each grid column.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace langtool {

struct TTranslation {
  std::map<std::string, std::string> texts;
  std::set<std::string> kept;
  // Reads the translation file's document; std::runtime_error on another shape.
  static TTranslation FromJson(const nlohmann::json& document);
};

// A text of a layout with no translation and not kept.
struct TUntranslated {
  std::string resource;
  std::string component;
  std::string property;
  std::string text;
};

// Replaces every text of the layout by its translation (kept and untranslated texts
// stay); returns the untranslated ones.
std::vector<TUntranslated> TranslateLayout(const std::string& resource, nlohmann::json& layout,
                                           const TTranslation& translation);

// The language resource module {"resources": {"<RESOURCE>": <translated layout>, ...}}
// of the layouts (resource name -> layout document); the untranslated texts are
// appended to `untranslated`.
nlohmann::json MakeLanguageModule(const std::map<std::string, nlohmann::json>& layouts, const TTranslation& translation,
                                  std::vector<TUntranslated>& untranslated);

}  // namespace langtool
