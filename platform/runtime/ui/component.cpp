#include "platform/runtime/ui/component.h"
#include "platform/runtime/exception.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace rt {

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

namespace {

bool IsIdentifier(const std::string& name) {
  if (name.empty()) return true;
  auto alpha = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; };
  if (!alpha(name[0])) return false;
  return std::all_of(name.begin(), name.end(),
                     [&](char c) { return alpha(c) || std::isdigit(static_cast<unsigned char>(c)); });
}

}  // namespace

TComponent::TComponent(TComponent* owner) { SetOwner(owner); }

TComponent::~TComponent() {
  BeginDestroy();
  DestroyComponents();
  SetOwner(nullptr);
}

void TComponent::DestroyComponents() {
  BeginDestroy();
  // Last created first; each child's destructor takes itself out of components_.
  while (!components_.empty()) delete components_.back();
}

void TComponent::BeginDestroy() {
  if (destroying_) return;
  destroying_ = true;
  auto observers = std::move(destroy_observers_);
  destroy_observers_.clear();
  for (auto& [ticket, observer] : observers) observer(this);
}

void TComponent::SetOwner(TComponent* owner) {
  if (owner == owner_) return;
  if (owner_) {
    auto& list = owner_->components_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  owner_ = owner;
  if (owner_) {
    if (!name_.empty() && owner_->FindComponent(name_)) {
      owner_ = nullptr;
      throw EComponentError("A component named " + name_ + " already exists");
    }
    owner_->components_.push_back(this);
  }
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  if (!IsIdentifier(name)) throw EComponentError("\"" + name + "\" is not a valid component name");
  if (owner_ && !name.empty()) {
    TComponent* other = owner_->FindComponent(name);
    if (other && other != this) throw EComponentError("A component named " + name + " already exists");
  }
  name_ = name;
  NameChanged();
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name)) return c;
  return nullptr;
}

int TComponent::AddDestroyObserver(std::function<void(TComponent*)> observer) {
  int ticket = next_ticket_++;
  destroy_observers_.emplace_back(ticket, std::move(observer));
  return ticket;
}

void TComponent::RemoveDestroyObserver(int ticket) {
  std::erase_if(destroy_observers_, [ticket](const auto& entry) { return entry.first == ticket; });
}

}  // namespace rt
