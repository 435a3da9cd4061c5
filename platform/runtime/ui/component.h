// Components and ownership: the root of everything a form is made of.
//
// A component may have an owner; the owner destroys the components it owns when it is
// destroyed (last created first), and a component destroyed on its own leaves its
// owner's list. Components are created on the heap with their owner
// (`new TEdit(form)` or `Create<TEdit>(form, "edtNome")`); an owner-less component is
// the caller's to delete (or to hand to a std::unique_ptr).
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>
#include "platform/runtime/exception.h"

namespace rt {

// The common base of every object that can be the sender of an event.
class TObject {
 public:
  virtual ~TObject() = default;
};

// The event shapes shared by the controls; the sender is the object that raised it.
using TNotifyEvent = std::function<void(TObject* Sender)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner = nullptr);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }

  const std::string& Name() const { return name_; }
  // Names are unique among the components of one owner (case-insensitive, as the host
  // framework's); an empty name is always allowed. Throws EComponentError on a
  // clash or on a name that is not an identifier.
  void SetName(const std::string& name);

  // The owned component of that name (case-insensitive), or nullptr.
  TComponent* FindComponent(std::string_view name) const;
  // FindComponent that also checks the kind; nullptr when absent or of another class.
  template <class T>
  T* Find(std::string_view name) const {
    return dynamic_cast<T*>(FindComponent(name));
  }
  // Find for a component the class cannot work without: EComponentError naming it and
  // this component's class when absent or of another class.
  template <class T>
  T& Comp(std::string_view name) const {
    if (T* c = Find<T>(name)) return *c;
    throw EComponentError("Component " + std::string(name) + " missing from " + ClassName());
  }
  const std::vector<TComponent*>& Components() const { return components_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }

  // The class name used by layout resources ("TEdit", "TfrmAlocaMao").
  virtual std::string ClassName() const { return "TComponent"; }

  // Runs after the name changed (a component whose parts carry the name follows it).
  virtual void NameChanged() {}

  // True while the destructor runs (owned components are being destroyed).
  bool Destroying() const { return destroying_; }

  // Moves this component to another owner (nullptr: no owner).
  void SetOwner(TComponent* owner);

  // Observers told once, just before the component is destroyed (used to drop
  // references to it: the focused control of a form, the active form of the screen).
  // Returns a ticket for RemoveDestroyObserver.
  int AddDestroyObserver(std::function<void(TComponent*)> observer);
  void RemoveDestroyObserver(int ticket);

 protected:
  // Sets destroying_ and tells the observers; derived destructors that need to run
  // before the owned components go may call it first (it runs once).
  void BeginDestroy();
  // Destroys the owned components now (last created first). Containers call it from
  // their destructor so that children go while their parent is still whole.
  void DestroyComponents();

 private:
  TComponent* owner_ = nullptr;
  std::string name_;
  std::vector<TComponent*> components_;
  std::vector<std::pair<int, std::function<void(TComponent*)>>> destroy_observers_;
  int next_ticket_ = 0;
  bool destroying_ = false;
};

// Creates a T owned by `owner` with the given name.
template <class T, class... Args>
T* Create(TComponent* owner, const std::string& name, Args&&... args) {
  auto* component = new T(owner, std::forward<Args>(args)...);
  try {
    component->SetName(name);
  } catch (...) {
    delete component;
    throw;
  }
  return component;
}

// Case-insensitive comparison of identifiers (ASCII), as the host framework compares names.
bool SameText(std::string_view a, std::string_view b);

}  // namespace rt
