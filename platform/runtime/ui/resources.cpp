// Resource modules: the resources a library registers, and the language resource
// module that overrides them. A language resource module is a JSON file beside the
// library, named after it with a locale suffix ("libPkg_EVT04700.so.en"):
//   {"resources": {"TFRMALOCAMAO": { ...layout... }, ...}}
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/runtime/ui/layout.h"

namespace rt {

namespace {

std::vector<TModuleRecord*>& Modules() {
  static std::vector<TModuleRecord*> modules;
  return modules;
}

// "en_GB.UTF-8@euro" -> {"en_GB", "en"}; "en" -> {"en"}.
std::vector<std::string> LocaleSuffixes(const std::string& locale) {
  std::string base = locale.substr(0, locale.find_first_of(".@"));
  std::vector<std::string> suffixes;
  if (base.empty()) return suffixes;
  suffixes.push_back(base);
  if (auto underscore = base.find('_'); underscore != std::string::npos && underscore > 0)
    suffixes.push_back(base.substr(0, underscore));
  return suffixes;
}

bool SafeSuffix(const std::string& suffix) {
  return std::all_of(suffix.begin(), suffix.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-'; });
}

}  // namespace

std::shared_ptr<TResourceModule> TResourceModule::LoadFromFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ELayoutError("Cannot read resource module " + path);
  std::stringstream text;
  text << in.rdbuf();
  nlohmann::json document = nlohmann::json::parse(text.str(), nullptr, false);
  if (document.is_discarded() || !document.is_object() || !document.contains("resources") ||
      !document["resources"].is_object())
    throw ELayoutError("Resource module " + path + " is not a JSON document with a \"resources\" object");
  auto module = std::make_shared<TResourceModule>();
  module->path_ = path;
  for (const auto& [name, resource] : document["resources"].items()) module->resources_[name] = resource;
  return module;
}

const nlohmann::json* TResourceModule::Find(const std::string& name) const {
  auto it = resources_.find(name);
  return it == resources_.end() ? nullptr : &it->second;
}

void RegisterModule(TModuleRecord* module) {
  auto& modules = Modules();
  if (!module || std::find(modules.begin(), modules.end(), module) != modules.end()) return;
  modules.insert(modules.begin(), module);
}

void UnregisterModule(TModuleRecord* module) { std::erase(Modules(), module); }

// Language resource modules come first, so that one can translate the resources of
// the libraries below its own (a module's language module carries the base screens its
// screens extend, registered by the client library).
nlohmann::json FindResource(const std::string& name) {
  for (const TModuleRecord* module : Modules())
    if (module->resource_module)
      if (const nlohmann::json* resource = module->resource_module->Find(name)) return *resource;
  for (const TModuleRecord* module : Modules()) {
    if (auto it = module->resources.find(name); it != module->resources.end()) {
      nlohmann::json document = nlohmann::json::parse(it->second, nullptr, false);
      if (document.is_discarded())
        throw ELayoutError("Resource " + name + " of module " + module->name + " is not valid JSON");
      return document;
    }
  }
  throw ELayoutError("Resource " + name + " not found");
}

std::optional<std::string> FindResourceModule(const std::string& library_path, const std::string& locale) {
  if (library_path.empty()) return std::nullopt;
  for (const std::string& suffix : LocaleSuffixes(locale)) {
    if (!SafeSuffix(suffix)) continue;  // a locale never names another directory
    std::string candidate = library_path;
    candidate.append(".").append(suffix);
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) return candidate;
  }
  return std::nullopt;
}

}  // namespace rt
