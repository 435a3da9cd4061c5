#include "platform/runtime/ui/menus.h"

#include "platform/runtime/ui/controls.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace rt {

namespace {

struct NamedKey {
  const char* name;
  int code;
};
constexpr NamedKey kNamedKeys[] = {{"Tab", 0x09},   {"Enter", 0x0D}, {"Esc", 0x1B},
                                   {"Space", 0x20}, {"Ins", 0x2D},   {"Del", 0x2E}};

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  size_t e = s.find_last_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

bool EqualNoCase(const std::string& a, const char* b) { return SameText(a, b); }

std::optional<int> KeyCode(const std::string& key) {
  if (key.size() == 1 && std::isalnum(static_cast<unsigned char>(key[0])))
    return std::toupper(static_cast<unsigned char>(key[0]));
  if (key.size() >= 2 && (key[0] == 'F' || key[0] == 'f') &&
      std::all_of(key.begin() + 1, key.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
    int n = std::stoi(key.substr(1));
    if (n >= 1 && n <= 12) return 0x70 + n - 1;
  }
  for (const auto& k : kNamedKeys)
    if (EqualNoCase(key, k.name)) return k.code;
  return std::nullopt;
}

}  // namespace

std::optional<TShortCut> TextToShortCut(const std::string& text) {
  TShortCut modifiers = 0;
  std::string rest = text;
  for (;;) {
    size_t plus = rest.find('+', 1);  // "Ctrl++" is not supported; a lone "+" is no key
    if (plus == std::string::npos) break;
    std::string part = Trim(rest.substr(0, plus));
    if (EqualNoCase(part, "Shift"))
      modifiers |= scShift;
    else if (EqualNoCase(part, "Ctrl"))
      modifiers |= scCtrl;
    else if (EqualNoCase(part, "Alt"))
      modifiers |= scAlt;
    else
      return std::nullopt;
    rest = rest.substr(plus + 1);
  }
  auto code = KeyCode(Trim(rest));
  if (!code) return std::nullopt;
  return modifiers | *code;
}

std::string ShortCutToText(TShortCut short_cut) {
  if (short_cut == scNone) return "";
  std::string out;
  if (short_cut & scShift) out += "Shift+";
  if (short_cut & scCtrl) out += "Ctrl+";
  if (short_cut & scAlt) out += "Alt+";
  int code = short_cut & 0xFF;
  if ((code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z')) return out + static_cast<char>(code);
  if (code >= 0x70 && code < 0x70 + 12) return out + "F" + std::to_string(code - 0x70 + 1);
  for (const auto& k : kNamedKeys)
    if (k.code == code) return out + k.name;
  return out + "#" + std::to_string(code);
}

// --- TMenuItem -----------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem() {
  if (parent_) parent_->Remove(this);
  for (TMenuItem* item : items_) item->parent_ = nullptr;
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item) return;
  for (const TMenuItem* p = this; p; p = p->parent_)
    if (p == item) throw EInvalidOperation("A menu item cannot be placed inside itself");
  if (item->parent_) item->parent_->Remove(item);
  index = std::clamp(index, 0, Count());
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parent_ = nullptr;
}

bool TMenuItem::EnabledInChain() const {
  for (const TMenuItem* p = this; p; p = p->parent_)
    if (!p->enabled_ || !p->visible_) return false;
  return true;
}

void TMenuItem::Click() {
  if (OnClick && EnabledInChain()) OnClick(this);
}

TMenuItem* TMenuItem::FindByShortCut(TShortCut short_cut) {
  if (short_cut == scNone) return nullptr;
  if (short_cut_ == short_cut) return this;
  for (TMenuItem* item : items_)
    if (TMenuItem* found = item->FindByShortCut(short_cut)) return found;
  return nullptr;
}

// --- TMainMenu -----------------------------------------------------------------------

TMainMenu::TMainMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(this)) {}

bool TMainMenu::IsShortCut(TShortCut short_cut) {
  TMenuItem* item = items_->FindByShortCut(short_cut);
  if (!item) return false;
  item->Click();
  return true;
}

}  // namespace rt
