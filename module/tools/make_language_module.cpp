// Builds the language resource module from the layout files and a translation file
// (format: module/tools/language_module.h), or lists the texts it has no translation for.
// Usage:
//   make_language_module <translation.json> <output> <RESOURCE>=<layout.json>...
//   make_language_module --missing <translation.json> <RESOURCE>=<layout.json>...
// Building leaves an untranslated text as it is (the screen still works); --missing
// prints one line per such text and exits 1 when there is any.
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "module/tools/language_module.h"

using json = nlohmann::json;

namespace {

json ReadJson(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  return json::parse(in);
}

// "TFRMALOCAMAO=alloc/layout_tfrmalocamao.json" arguments -> resource name -> layout.
std::map<std::string, json> ReadLayouts(int first, int argc, char** argv) {
  std::map<std::string, json> layouts;
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    auto eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) throw std::runtime_error("not RESOURCE=file: " + arg);
    layouts[arg.substr(0, eq)] = ReadJson(arg.substr(eq + 1));
  }
  return layouts;
}

}  // namespace

int main(int argc, char** argv) {
  const bool list_missing = argc > 1 && std::string(argv[1]) == "--missing";
  if (argc < 3) {
    std::cerr << "usage: make_language_module <translation.json> <output> <RESOURCE>=<layout.json>...\n"
                 "       make_language_module --missing <translation.json> <RESOURCE>=<layout.json>...\n";
    return 2;
  }
  try {
    const auto translation = langtool::TTranslation::FromJson(ReadJson(argv[list_missing ? 2 : 1]));
    std::vector<langtool::TUntranslated> missing;
    json module = langtool::MakeLanguageModule(ReadLayouts(3, argc, argv), translation, missing);
    if (list_missing) {
      for (const auto& m : missing)
        std::cout << m.resource << ' ' << m.component << '.' << m.property << ": " << m.text << '\n';
      return missing.empty() ? 0 : 1;
    }
    std::ofstream(argv[2]) << module.dump(1) << '\n';
  } catch (const std::exception& e) {
    std::cerr << "make_language_module: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
