#include "module/tools/language_module.h"

#include <stdexcept>

using json = nlohmann::json;

namespace langtool {

namespace {

class TTranslator {
 public:
  TTranslator(const std::string& resource, const TTranslation& translation, std::vector<TUntranslated>& missing)
      : resource_(resource), translation_(translation), missing_(missing) {}

  void Entry(json& entry) {
    if (entry.contains("properties")) Properties(entry.value("name", std::string()), entry["properties"]);
    if (entry.contains("children"))
      for (json& child : entry["children"]) Entry(child);
  }

 private:
  void Properties(const std::string& component, json& props) {
    for (const char* key : {"Caption", "Hint", "Text", "Titulo", "TextoVazio"})
      if (props.contains(key)) Text(component, key, props[key]);
    if (props.contains("Items") && props["Items"].is_array())
      for (json& item : props["Items"]) Item(component, item);
    if (props.contains("Hints") && props["Hints"].is_array())
      for (json& hint : props["Hints"]) Text(component, "Hints", hint);
    if (props.contains("FieldDefs") && props["FieldDefs"].is_array())
      for (json& field : props["FieldDefs"])
        if (field.contains("label")) Text(component, "FieldDefs." + field.value("name", std::string()), field["label"]);
    if (props.contains("Columns") && props["Columns"].is_array())
      for (json& column : props["Columns"]) Column(component, column);
  }

  void Column(const std::string& component, json& column) {
    const std::string where = "Columns." + column.value("FieldName", std::string());
    if (column.contains("PickList"))
      for (json& choice : column["PickList"]) Text(component, where + ".PickList", choice);
    if (column.contains("Title") && column["Title"].contains("Caption"))
      Text(component, where + ".Title", column["Title"]["Caption"]);
  }

  // "KEY|text": the text part; an item without "|" is a text whole.
  void Item(const std::string& component, json& item) {
    if (!item.is_string()) return;
    const std::string whole = item.get<std::string>();
    const auto bar = whole.find('|');
    if (bar == std::string::npos) return Text(component, "Items", item);
    json text = whole.substr(bar + 1);
    Text(component, "Items." + whole.substr(0, bar), text);
    item = whole.substr(0, bar + 1) + text.get<std::string>();
  }

  void Text(const std::string& component, const std::string& property, json& value) {
    if (!value.is_string() || value.get<std::string>().empty()) return;
    const std::string text = value.get<std::string>();
    if (auto it = translation_.texts.find(text); it != translation_.texts.end())
      value = it->second;
    else if (!translation_.kept.count(text))
      missing_.push_back({resource_, component, property, text});
  }

  const std::string& resource_;
  const TTranslation& translation_;
  std::vector<TUntranslated>& missing_;
};

}  // namespace

TTranslation TTranslation::FromJson(const json& document) {
  if (!document.is_object() || !document.contains("texts") || !document["texts"].is_object())
    throw std::runtime_error("a translation file is an object with a \"texts\" object");
  for (const auto& [key, value] : document.items())
    if (key != "texts" && key != "kept")
      throw std::runtime_error("unknown key \"" + key + "\" in the translation file");
  TTranslation translation;
  for (const auto& [text, translated] : document["texts"].items()) {
    if (!translated.is_string()) throw std::runtime_error("the translation of \"" + text + "\" is not a text");
    translation.texts[text] = translated.get<std::string>();
  }
  if (document.contains("kept"))
    for (const json& text : document["kept"]) translation.kept.insert(text.get<std::string>());
  return translation;
}

std::vector<TUntranslated> TranslateLayout(const std::string& resource, json& layout, const TTranslation& translation) {
  std::vector<TUntranslated> missing;
  TTranslator(resource, translation, missing).Entry(layout);
  return missing;
}

json MakeLanguageModule(const std::map<std::string, json>& layouts, const TTranslation& translation,
                        std::vector<TUntranslated>& untranslated) {
  json out = {{"resources", json::object()}};
  for (const auto& [name, layout] : layouts) {
    json translated = layout;
    for (auto& text : TranslateLayout(name, translated, translation)) untranslated.push_back(std::move(text));
    out["resources"][name] = std::move(translated);
  }
  return out;
}

}  // namespace langtool
