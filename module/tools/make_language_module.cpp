// Builds a language resource module from the layout files and a translation file:
// {"<RESOURCE>": {"<component name>": {"<property>": value, ...}, ...}, ...}.
// A property replaces the layout's value, except "Items" of a message table, whose
// "key|text" items replace the texts of those keys only. The output is the runtime's
// language resource module: {"resources": {"<RESOURCE>": <layout>, ...}}.
// Usage: make_language_module <translation.json> <output file> <RESOURCE>=<layout.json>...
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

using json = nlohmann::json;

namespace {

json ReadJson(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  return json::parse(in);
}

// "TFRMALOCAMAO=alloc/layout_tfrmalocamao.json" arguments -> resource name -> file.
std::map<std::string, std::string> LayoutFiles(int argc, char** argv) {
  std::map<std::string, std::string> files;
  for (int i = 3; i < argc; ++i) {
    std::string arg = argv[i];
    auto eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) throw std::runtime_error("not RESOURCE=file: " + arg);
    files[arg.substr(0, eq)] = arg.substr(eq + 1);
  }
  return files;
}

std::string KeyOf(const std::string& item) { return item.substr(0, item.find('|')); }

json MergeItems(const json& own, const json& translated) {
  std::map<std::string, std::string> by_key;
  for (const auto& t : translated) by_key[KeyOf(t.get<std::string>())] = t.get<std::string>();
  json out = json::array();
  for (const auto& item : own) {
    auto it = by_key.find(KeyOf(item.get<std::string>()));
    out.push_back(it == by_key.end() ? item : json(it->second));
  }
  return out;
}

// Applies the overrides to the entry of each named component, depth first; returns how
// many it applied.
int Apply(json& entry, const json& overrides) {
  int applied = 0;
  if (entry.contains("name") && overrides.contains(entry["name"].get<std::string>())) {
    json& props = entry["properties"];
    if (props.is_null()) props = json::object();
    for (const auto& [key, value] : overrides[entry["name"].get<std::string>()].items()) {
      props[key] = key == "Items" && props.contains("Items") ? MergeItems(props["Items"], value) : value;
      ++applied;
    }
  }
  if (entry.contains("children"))
    for (auto& child : entry["children"]) applied += Apply(child, overrides);
  return applied;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: make_language_module <translation.json> <output> <RESOURCE>=<layout.json>...\n";
    return 2;
  }
  try {
    json translation = ReadJson(argv[1]);
    const std::map<std::string, std::string> own = LayoutFiles(argc, argv);
    json out = {{"resources", json::object()}};
    for (const auto& [name, overrides] : translation.items()) {
      auto it = own.find(name);
      if (it == own.end()) throw std::runtime_error("unknown resource " + name);
      json layout = ReadJson(it->second);
      int wanted = 0;
      for (const auto& [component, props] : overrides.items()) wanted += static_cast<int>(props.size());
      if (Apply(layout, overrides) != wanted)
        throw std::runtime_error("a translated component of " + name + " is not in its layout");
      out["resources"][name] = std::move(layout);
    }
    std::ofstream(argv[2]) << out.dump(1) << '\n';
  } catch (const std::exception& e) {
    std::cerr << "make_language_module: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
