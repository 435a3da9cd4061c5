// Layout resources: a form's components, their properties, nesting and event wiring,
// kept as data (a JSON document, format in docs/runtime.md) and read when the form is
// created, so that the form class holds only behaviour.
//
// Pieces:
// - THandlerTable: the event handlers a form publishes by name.
// - TClassRegistry: class name -> factory, with property setters by name per class
//   (inherited along the registered base class). Other libraries (the data grid, the
//   client library) register their own classes.
// - Resource modules: a library registers its resources under names ("TFRMALOCAMAO");
//   a language resource module beside the library overrides them.
// - ReadLayout(form, name): creates and sets up the components of a resource.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>
#include "platform/runtime/exception.h"
#include "platform/runtime/ui_language.h"

#include <nlohmann/json.hpp>

#include "platform/runtime/ui/canvas.h"
#include "platform/runtime/ui/component.h"

namespace rt {

class TForm;

// A layout that cannot be read: unknown class, property, handler, resource, bad value.
class ELayoutError : public Exception {
 public:
  using Exception::Exception;
};

// Event handlers by name, each a std::function of its event's shape.
class THandlerTable {
 public:
  template <class Sig>
  void Add(const std::string& name, std::function<Sig> handler) {
    handlers_[name] = std::move(handler);
  }
  bool Has(const std::string& name) const { return handlers_.count(name) != 0; }
  // The handler of that name and shape; ELayoutError when there is none or its shape
  // differs from the event's.
  template <class Sig>
  std::function<Sig> Get(const std::string& name) const {
    auto it = handlers_.find(name);
    if (it == handlers_.end()) throw ELayoutError("Handler \"" + name + "\" is not published by the form");
    if (auto* fn = std::any_cast<std::function<Sig>>(&it->second)) return *fn;
    throw ELayoutError("Handler \"" + name + "\" does not fit the event it is wired to");
  }

 private:
  std::map<std::string, std::any> handlers_;
};

// What a property setter may use while a layout is read.
class TLayoutContext {
 public:
  TLayoutContext(TForm& form, const THandlerTable& handlers) : form_(form), handlers_(handlers) {}
  TForm& Form() const { return form_; }
  const THandlerTable& Handlers() const { return handlers_; }
  // Runs `fn` once every component of the layout exists (for references by name).
  void Defer(std::function<void()> fn) { deferred_.push_back(std::move(fn)); }
  // The component of that name owned by the form; ELayoutError when absent.
  TComponent& Resolve(const std::string& name) const;
  void RunDeferred();

 private:
  TForm& form_;
  const THandlerTable& handlers_;
  std::vector<std::function<void()>> deferred_;
};

using TPropertySetter = std::function<void(TComponent& component, const nlohmann::json& value, TLayoutContext& ctx)>;
using TComponentFactory = std::function<TComponent*(TComponent* owner)>;

// Conversions of a property value; ELayoutError on a value of the wrong kind.
int LayoutInt(const nlohmann::json& value);
bool LayoutBool(const nlohmann::json& value);
std::string LayoutString(const nlohmann::json& value);
TColor LayoutColor(const nlohmann::json& value);  // a number or a colour name ("clInfoBk")
// An enumeration written by its identifier ("alTop"), looked up in its table of names.
template <class E, size_t N>
E LayoutEnum(const nlohmann::json& value, const std::pair<const char*, E> (&names)[N]) {
  const std::string text = LayoutString(value);
  for (const auto& [name, e] : names)
    if (text == name) return e;
  throw ELayoutError("unknown value \"" + text + "\"");
}

class TClassRegistry {
 public:
  static TClassRegistry& Instance();

  // Registers a class; `base` names a registered class whose properties it inherits
  // ("" for none); an empty factory makes the class abstract (not creatable). `is_a`
  // tells whether a component is of this class (used for components of unregistered
  // classes, such as a form class: their nearest registered class gives the properties).
  void Register(const std::string& class_name, const std::string& base, TComponentFactory factory,
                std::function<bool(const TComponent&)> is_a = {});
  void AddProperty(const std::string& class_name, const std::string& property, TPropertySetter setter);

  bool IsRegistered(const std::string& class_name) const;
  // The setter, looked up along the base classes; nullptr when none.
  const TPropertySetter* FindProperty(const std::string& class_name, const std::string& property) const;
  // ELayoutError for an unknown or abstract class.
  TComponent* Create(const std::string& class_name, TComponent* owner) const;
  // True when `class_name` is `ancestor` or derives from it (by registration).
  bool InheritsFrom(const std::string& class_name, const std::string& ancestor) const;
  // The registered class that describes the component: its own class name when
  // registered, else the most derived registered class it is an instance of ("" if none).
  std::string ClassOf(const TComponent& component) const;

 private:
  TClassRegistry();
  int Depth(const std::string& class_name) const;
  struct ClassInfo {
    std::string base;
    TComponentFactory factory;
    std::function<bool(const TComponent&)> is_a;
    std::map<std::string, TPropertySetter> properties;
  };
  std::map<std::string, ClassInfo> classes_;
};

// Typed registration helper:
//   RegisterClass<TEdit>("TEdit", "TWinControl")
//       .Property("MaxLength", [](TEdit& e, const json& v, TLayoutContext&) { ... })
//       .Int("MaxLength", &TEdit::SetMaxLength)
//       .Event<TNotifyEvent>("OnChange", &TEdit::OnChange);
template <class T>
class TClassBuilder {
 public:
  TClassBuilder(TClassRegistry& registry, std::string class_name)
      : registry_(&registry), class_name_(std::move(class_name)) {}

  TClassBuilder& Property(const std::string& name,
                          std::function<void(T&, const nlohmann::json&, TLayoutContext&)> setter) {
    registry_->AddProperty(
        class_name_, name,
        [setter, name](TComponent& c, const nlohmann::json& v, TLayoutContext& ctx) { setter(Cast(c, name), v, ctx); });
    return *this;
  }
  template <class C>
  TClassBuilder& Int(const std::string& name, void (C::*set)(int)) {
    return Property(name, [set](T& t, const nlohmann::json& v, TLayoutContext&) { (t.*set)(LayoutInt(v)); });
  }
  template <class C>
  TClassBuilder& Bool(const std::string& name, void (C::*set)(bool)) {
    return Property(name, [set](T& t, const nlohmann::json& v, TLayoutContext&) { (t.*set)(LayoutBool(v)); });
  }
  template <class C>
  TClassBuilder& String(const std::string& name, void (C::*set)(const std::string&)) {
    return Property(name, [set](T& t, const nlohmann::json& v, TLayoutContext&) { (t.*set)(LayoutString(v)); });
  }
  template <class C>
  TClassBuilder& Color(const std::string& name, void (C::*set)(TColor)) {
    return Property(name, [set](T& t, const nlohmann::json& v, TLayoutContext&) { (t.*set)(LayoutColor(v)); });
  }
  // An event member (a std::function) wired to a handler the form publishes by name.
  template <class Sig, class C>
  TClassBuilder& Event(const std::string& name, std::function<Sig> C::*member) {
    return Property(name, [member](T& t, const nlohmann::json& v, TLayoutContext& ctx) {
      t.*member = ctx.Handlers().template Get<Sig>(LayoutString(v));
    });
  }

 private:
  static T& Cast(TComponent& c, const std::string& property) {
    if (auto* t = dynamic_cast<T*>(&c)) return *t;
    throw ELayoutError("Property \"" + property + "\" set on a component of another class");
  }
  TClassRegistry* registry_;
  std::string class_name_;
};

template <class T>
TClassBuilder<T> RegisterClass(TClassRegistry& registry, const std::string& class_name, const std::string& base,
                               bool creatable = true) {
  registry.Register(class_name, base,
                    creatable ? TComponentFactory([](TComponent* owner) -> TComponent* { return new T(owner); })
                              : TComponentFactory(),
                    [](const TComponent& c) {
                      if constexpr (std::is_same_v<T, TComponent>)
                        return true;
                      else
                        return dynamic_cast<const T*>(&c) != nullptr;
                    });
  return TClassBuilder<T>(registry, class_name);
}
template <class T>
TClassBuilder<T> RegisterClass(const std::string& class_name, const std::string& base, bool creatable = true) {
  return RegisterClass<T>(TClassRegistry::Instance(), class_name, base, creatable);
}

// --- Resources -------------------------------------------------------------------

// A language resource module: resources (by name) read from a JSON file
// {"resources": {"TFRMALOCAMAO": {...layout...}, ...}}.
class TResourceModule {
 public:
  // Reads the file; ELayoutError when it cannot be read or is not such a document.
  static std::shared_ptr<TResourceModule> LoadFromFile(const std::string& path);
  const std::string& Path() const { return path_; }
  const nlohmann::json* Find(const std::string& name) const;

 private:
  std::string path_;
  std::map<std::string, nlohmann::json> resources_;
};

// What a library registers with the runtime: its name, file, own resources (JSON
// texts by name) and the language resource module that overrides them, if any.
struct TModuleRecord {
  std::string name;
  std::string library_path;
  std::map<std::string, std::string> resources;
  std::shared_ptr<TResourceModule> resource_module;
};

// Makes the module's resources findable (the most recently registered module first).
void RegisterModule(TModuleRecord* module);
void UnregisterModule(TModuleRecord* module);
// The resource of that name: from a language resource module when one holds it (any
// module's: it may translate another library's resources), else from the modules' own
// resources. ELayoutError when no registered module has it
// or its text is not valid JSON.
nlohmann::json FindResource(const std::string& name);

// The language resource module of a library for a locale: "<library>.<ll_CC>" then
// "<library>.<ll>" (from "en_GB.UTF-8": ".en_GB", then ".en"), the first that exists as
// a regular file. nullopt for an empty locale or when none exists.
std::optional<std::string> FindResourceModule(const std::string& library_path, const std::string& locale);

// Reads the layout resource `resource_name` into the form (see docs/runtime.md).
void ReadLayout(TForm& form, const std::string& resource_name);
// Same, from a document in hand.
void ReadLayoutDocument(TForm& form, const nlohmann::json& document);

}  // namespace rt
