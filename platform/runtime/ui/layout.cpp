// Reading layout resources into forms; the class registry. The document format is in
// docs/runtime.md: a root object for the form ("class", "name", "properties",
// "events", "children"), each child an object of the same shape, nested as the
// controls are nested; "inherited": true names a component that already exists (made
// by a base form's layout) instead of creating one.
#include "platform/runtime/ui/layout.h"

#include "platform/runtime/ui/forms.h"
#include "platform/runtime/ui/menus.h"
#include "platform/runtime/ui/standard_classes.h"

namespace rt {

// --- Values --------------------------------------------------------------------------

int LayoutInt(const nlohmann::json& value) {
  if (!value.is_number_integer()) throw ELayoutError("an integer was expected, not " + value.dump());
  return value.get<int>();
}

bool LayoutBool(const nlohmann::json& value) {
  if (!value.is_boolean()) throw ELayoutError("true or false was expected, not " + value.dump());
  return value.get<bool>();
}

std::string LayoutString(const nlohmann::json& value) {
  if (!value.is_string()) throw ELayoutError("a string was expected, not " + value.dump());
  return value.get<std::string>();
}

TColor LayoutColor(const nlohmann::json& value) {
  if (value.is_number_integer()) return static_cast<TColor>(value.get<std::int64_t>());
  if (value.is_string()) {
    if (auto color = StringToColor(value.get<std::string>())) return *color;
  }
  throw ELayoutError("a colour was expected, not " + value.dump());
}

// --- Context -------------------------------------------------------------------------

TComponent& TLayoutContext::Resolve(const std::string& name) const {
  if (SameText(name, form_.Name())) return form_;
  TComponent* c = form_.FindComponent(name);
  if (!c) throw ELayoutError("No component named \"" + name + "\" on the form");
  return *c;
}

void TLayoutContext::RunDeferred() {
  auto work = std::move(deferred_);
  deferred_.clear();
  for (auto& fn : work) fn();
}

// --- Registry ------------------------------------------------------------------------

TClassRegistry::TClassRegistry() { RegisterStandardClasses(*this); }

TClassRegistry& TClassRegistry::Instance() {
  static TClassRegistry registry;
  return registry;
}

void TClassRegistry::Register(const std::string& class_name, const std::string& base, TComponentFactory factory,
                              std::function<bool(const TComponent&)> is_a) {
  if (!base.empty() && !classes_.count(base))
    throw ELayoutError("Class " + class_name + " names an unregistered base class " + base);
  auto& info = classes_[class_name];
  info.base = base;
  info.factory = std::move(factory);
  info.is_a = std::move(is_a);
}

void TClassRegistry::AddProperty(const std::string& class_name, const std::string& property, TPropertySetter setter) {
  auto it = classes_.find(class_name);
  if (it == classes_.end()) throw ELayoutError("Property " + property + " added to unregistered class " + class_name);
  it->second.properties[property] = std::move(setter);
}

bool TClassRegistry::IsRegistered(const std::string& class_name) const { return classes_.count(class_name) != 0; }

const TPropertySetter* TClassRegistry::FindProperty(const std::string& class_name, const std::string& property) const {
  for (std::string name = class_name; !name.empty();) {
    auto it = classes_.find(name);
    if (it == classes_.end()) return nullptr;
    if (auto p = it->second.properties.find(property); p != it->second.properties.end()) return &p->second;
    name = it->second.base;
  }
  return nullptr;
}

TComponent* TClassRegistry::Create(const std::string& class_name, TComponent* owner) const {
  auto it = classes_.find(class_name);
  if (it == classes_.end()) throw ELayoutError("Unknown class " + class_name);
  if (!it->second.factory) throw ELayoutError("Class " + class_name + " cannot be created from a layout");
  return it->second.factory(owner);
}

bool TClassRegistry::InheritsFrom(const std::string& class_name, const std::string& ancestor) const {
  for (std::string name = class_name; !name.empty();) {
    if (name == ancestor) return true;
    auto it = classes_.find(name);
    if (it == classes_.end()) return false;
    name = it->second.base;
  }
  return false;
}

int TClassRegistry::Depth(const std::string& class_name) const {
  int depth = 0;
  for (std::string name = class_name; !name.empty(); ++depth) {
    auto it = classes_.find(name);
    if (it == classes_.end()) break;
    name = it->second.base;
  }
  return depth;
}

std::string TClassRegistry::ClassOf(const TComponent& component) const {
  std::string own = component.ClassName();
  if (classes_.count(own)) return own;
  std::string best;
  for (const auto& [name, info] : classes_)
    if (info.is_a && info.is_a(component) && (best.empty() || Depth(name) > Depth(best))) best = name;
  return best;
}

// --- Reader --------------------------------------------------------------------------

namespace {

const nlohmann::json& ObjectMember(const nlohmann::json& entry, const char* key) {
  static const nlohmann::json empty = nlohmann::json::object();
  auto it = entry.find(key);
  if (it == entry.end()) return empty;
  if (!it->is_object()) throw ELayoutError(std::string("\"") + key + "\" must be an object");
  return *it;
}

// A misspelt section would otherwise be skipped without a word.
void CheckKeys(const nlohmann::json& entry) {
  for (const auto& [key, value] : entry.items())
    if (key != "class" && key != "name" && key != "inherited" && key != "properties" && key != "events" &&
        key != "children")
      throw ELayoutError("Unknown key \"" + key + "\" in the entry of \"" + entry.value("name", std::string()) + "\"");
}

std::string Describe(const TComponent& c) {
  return c.Name().empty() ? c.ClassName() : c.Name() + " (" + c.ClassName() + ")";
}

void ApplyProperties(TComponent& component, const nlohmann::json& entry, TLayoutContext& ctx) {
  const auto& registry = TClassRegistry::Instance();
  const std::string class_name = registry.ClassOf(component);
  for (const char* section : {"properties", "events"}) {
    for (const auto& [key, value] : ObjectMember(entry, section).items()) {
      const TPropertySetter* setter = registry.FindProperty(class_name, key);
      if (!setter)
        throw ELayoutError("Unknown " + std::string(section[0] == 'p' ? "property" : "event") + " " + key + " of " +
                           Describe(component));
      try {
        (*setter)(component, value, ctx);
      } catch (const ELayoutError& e) {
        throw ELayoutError(Describe(component) + "." + key + ": " + e.what());
      } catch (const Exception& e) {  // a value the component refuses
        throw ELayoutError(Describe(component) + "." + key + ": " + e.what());
      }
    }
  }
}

// Places a newly made component under the entry it is nested in.
void Place(TComponent& component, TComponent& container) {
  if (auto* control = dynamic_cast<TControl*>(&component)) {
    auto* parent = dynamic_cast<TWinControl*>(&container);
    if (!parent)
      throw ELayoutError("Control " + Describe(component) + " is nested in " + Describe(container) +
                         ", which cannot hold controls");
    control->SetParent(parent);
  } else if (auto* item = dynamic_cast<TMenuItem*>(&component)) {
    if (auto* menu = dynamic_cast<TMainMenu*>(&container))
      menu->Items().Add(item);
    else if (auto* parent_item = dynamic_cast<TMenuItem*>(&container))
      parent_item->Add(item);
    else
      throw ELayoutError("Menu item " + Describe(component) + " must be nested in a menu");
  }
  // Other non-visual components may sit anywhere; the form owns them all.
}

void ReadEntry(const nlohmann::json& entry, TComponent& container, TLayoutContext& ctx) {
  if (!entry.is_object()) throw ELayoutError("A component entry must be an object");
  CheckKeys(entry);
  TForm& form = ctx.Form();
  std::string name = entry.contains("name") ? LayoutString(entry["name"]) : std::string();
  std::string class_name = entry.contains("class") ? LayoutString(entry["class"]) : std::string();
  TComponent* component;
  if (entry.value("inherited", false)) {
    component = form.FindComponent(name);
    if (!component) throw ELayoutError("Inherited component \"" + name + "\" does not exist");
    if (!class_name.empty() && !TClassRegistry::Instance().InheritsFrom(component->ClassName(), class_name) &&
        component->ClassName() != class_name)
      throw ELayoutError("Inherited component \"" + name + "\" is a " + component->ClassName() + ", not a " +
                         class_name);
  } else {
    if (class_name.empty()) throw ELayoutError("Component \"" + name + "\" has no class");
    component = TClassRegistry::Instance().Create(class_name, &form);
    try {
      component->SetName(name);
      Place(*component, container);
    } catch (const Exception& e) {  // a name or a place the component refuses
      delete component;
      throw ELayoutError(e.what());
    } catch (...) {
      delete component;
      throw;
    }
  }
  ApplyProperties(*component, entry, ctx);
  if (entry.contains("children")) {
    if (!entry["children"].is_array()) throw ELayoutError("\"children\" of \"" + name + "\" must be an array");
    for (const auto& child : entry["children"]) ReadEntry(child, *component, ctx);
  }
}

// The layout's name for the form, or, when another form of the same owner holds it (a
// second instance of one form class), that name with "_1", "_2", … as the host
// framework names further instances.
std::string FormName(const TForm& form, const std::string& name) {
  const TComponent* owner = form.Owner();
  auto taken = [&](const std::string& n) {
    const TComponent* other = owner ? owner->FindComponent(n) : nullptr;
    return other && other != &form;
  };
  if (!taken(name)) return name;
  for (int i = 1;; ++i)
    if (!taken(name + "_" + std::to_string(i))) return name + "_" + std::to_string(i);
}

}  // namespace

void ReadLayoutDocument(TForm& form, const nlohmann::json& document) {
  if (!document.is_object()) throw ELayoutError("A layout must be a JSON object");
  CheckKeys(document);
  TLayoutContext ctx(form, form.Handlers());
  if (document.contains("name")) {
    try {
      form.SetName(FormName(form, LayoutString(document["name"])));
    } catch (const EComponentError& e) {
      throw ELayoutError(e.what());
    }
  }
  ApplyProperties(form, document, ctx);
  if (document.contains("children")) {
    if (!document["children"].is_array()) throw ELayoutError("\"children\" of the form must be an array");
    for (const auto& child : document["children"]) ReadEntry(child, form, ctx);
  }
  ctx.RunDeferred();
}

void ReadLayout(TForm& form, const std::string& resource_name) {
  nlohmann::json document = FindResource(resource_name);
  try {
    ReadLayoutDocument(form, document);
  } catch (const ELayoutError& e) {
    throw ELayoutError("Layout " + resource_name + ": " + e.what());
  }
}

}  // namespace rt
