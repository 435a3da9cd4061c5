#include "platform/runtime/ui/controls.h"

#include <algorithm>

#include "platform/runtime/ui/forms.h"

namespace rt {

// --- TControl ------------------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() {
  if (parent_) {
    if (TForm* form = parent_->GetParentForm()) form->ControlRemoved(this);
    parent_->RemoveControl(this);
  }
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  for (const TControl* p = parent; p; p = p->Parent())
    if (p == this) throw EInvalidOperation("A control cannot be placed inside itself");
  if (parent_) {
    if (TForm* form = parent_->GetParentForm()) form->ControlRemoved(this);
    parent_->RemoveControl(this);
  }
  parent_ = parent;
  if (parent_) {
    tab_order_ = parent_->ControlCount();
    parent_->InsertControl(this);
  }
}

TForm* TControl::GetParentForm() const {
  const TControl* c = this;
  while (c->Parent()) c = c->Parent();
  return dynamic_cast<TForm*>(const_cast<TControl*>(c));
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
}

void TControl::SetVisible(bool visible) { visible_ = visible; }

void TControl::SetEnabled(bool enabled) { enabled_ = enabled; }

void TControl::SetText(const std::string& text) { text_ = text; }

bool TControl::Showing() const {
  const TControl* c = this;
  for (; c; c = c->Parent()) {
    if (!c->Visible()) return false;
    if (!c->Parent()) break;
  }
  auto* form = dynamic_cast<const TForm*>(c);
  return form && form->IsShown();
}

bool TControl::EnabledInChain() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Enabled()) return false;
  return true;
}

void TControl::Click() {
  if (OnClick && EnabledInChain()) OnClick(this);
}

// --- TWinControl ---------------------------------------------------------------------

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  // The focus may sit inside: the form lets go of it while the chain is still whole.
  if (TForm* form = GetParentForm(); form && form != this) form->ControlRemoved(this);
  // Children owned elsewhere stay alive but lose their parent.
  for (TControl* child : controls_) child->parent_ = nullptr;
  controls_.clear();
}

void TWinControl::InsertControl(TControl* control) { controls_.push_back(control); }

void TWinControl::RemoveControl(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

bool TWinControl::ContainsControl(const TControl* control) const {
  for (const TControl* c = control; c; c = c->Parent())
    if (c == this) return true;
  return false;
}

std::vector<TControl*> TWinControl::ControlsInTabOrder() const {
  std::vector<TControl*> ordered = controls_;
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const TControl* a, const TControl* b) { return a->TabOrder() < b->TabOrder(); });
  return ordered;
}

bool TWinControl::CanFocus() const { return Showing() && EnabledInChain(); }

bool TWinControl::Focused() const {
  TForm* form = GetParentForm();
  return form && form->IsShown() && form->ActiveControl() == this;
}

void TWinControl::SetFocus() {
  TForm* form = GetParentForm();
  if (!form) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  form->FocusControl(this);
}

void TWinControl::KeyPress(char&) {}

void TWinControl::KeyPressChar(const std::string& utf8_char) {
  if (utf8_char.empty()) return;
  char key = utf8_char[0];
  KeyPress(key);
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

// --- Containers ------------------------------------------------------------------------

TPanel::TPanel(TComponent* owner) : TWinControl(owner) {}
TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner) {}
TScrollBox::TScrollBox(TComponent* owner) : TWinControl(owner) {}

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) {}

TPageControl* TTabSheet::PageControl() const { return dynamic_cast<TPageControl*>(Parent()); }

TTabSheet::~TTabSheet() {
  if (TPageControl* pc = PageControl(); pc && pc->active_page_ == this) pc->active_page_ = nullptr;
}

void TTabSheet::SetPageControl(TPageControl* page_control) { SetParent(page_control); }

void TTabSheet::SetParent(TWinControl* parent) {
  TPageControl* old = PageControl();
  TWinControl::SetParent(parent);
  if (old && old->active_page_ == this) {
    auto pages = old->Pages();
    old->SetActivePage(pages.empty() ? nullptr : pages.front());
  }
  if (TPageControl* pc = PageControl()) {
    if (!pc->active_page_)
      pc->SetActivePage(this);
    else
      SetVisible(false);
  }
}

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner) { tab_stop_ = true; }

std::vector<TTabSheet*> TPageControl::Pages() const {
  std::vector<TTabSheet*> pages;
  for (TControl* c : Controls())
    if (auto* sheet = dynamic_cast<TTabSheet*>(c)) pages.push_back(sheet);
  return pages;
}

void TPageControl::SetActivePage(TTabSheet* page) {
  if (page && page->Parent() != this) throw EInvalidOperation("The page does not belong to this page control");
  active_page_ = page;
  for (TTabSheet* sheet : Pages()) sheet->SetVisible(sheet == page);
}

TLabel::TLabel(TComponent* owner) : TControl(owner) {}

// --- Text ----------------------------------------------------------------------------

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Latin-1 letters in UTF-8 are C3 80..BE; upper case C3 80..9E (not 97 ×), lower case
// C3 A0..BE (not B7 ÷), 0x20 apart.
std::string ChangeCase(const std::string& text, bool upper) {
  std::string out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (upper && c >= 'a' && c <= 'z')
      out[i] = static_cast<char>(c - 32);
    else if (!upper && c >= 'A' && c <= 'Z')
      out[i] = static_cast<char>(c + 32);
    else if (c == 0xC3 && i + 1 < out.size()) {
      unsigned char n = static_cast<unsigned char>(out[i + 1]);
      if (upper && n >= 0xA0 && n <= 0xBE && n != 0xB7)
        out[i + 1] = static_cast<char>(n - 0x20);
      else if (!upper && n >= 0x80 && n <= 0x9E && n != 0x97)
        out[i + 1] = static_cast<char>(n + 0x20);
      ++i;
    }
  }
  return out;
}

std::string DropLastChar(const std::string& text) {
  if (text.empty()) return text;
  size_t end = text.size() - 1;
  while (end > 0 && IsContinuation(static_cast<unsigned char>(text[end]))) --end;
  return text.substr(0, end);
}

}  // namespace

int Utf8Length(const std::string& text) {
  return static_cast<int>(
      std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuation(static_cast<unsigned char>(c)); }));
}

std::string Latin1ToUtf8(char key) {
  auto c = static_cast<unsigned char>(key);
  if (c < 0x80) return std::string(1, key);
  return {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
}

size_t Utf8CharAt(const std::string& text, size_t pos) {
  if (pos >= text.size()) return 0;
  auto lead = static_cast<unsigned char>(text[pos]);
  size_t len = lead < 0x80                    ? 1
               : lead >= 0xF0 && lead <= 0xF4 ? 4
               : lead >= 0xE0                 ? 3
               : lead >= 0xC2 && lead < 0xE0  ? 2
                                              : 0;
  if (len == 0 || pos + len > text.size()) return 0;
  for (size_t i = 1; i < len; ++i)
    if (!IsContinuation(static_cast<unsigned char>(text[pos + i]))) return 0;
  return len;
}

std::string Utf8Upper(const std::string& text) { return ChangeCase(text, true); }
std::string Utf8Lower(const std::string& text) { return ChangeCase(text, false); }

// --- TEdit ---------------------------------------------------------------------------

TEdit::TEdit(TComponent* owner) : TWinControl(owner) {
  tab_stop_ = true;
  SetColor(clWindow);
}

void TEdit::SetText(const std::string& text) {
  selected_ = false;
  std::string cased = char_case_ == ecUpperCase ? Utf8Upper(text) : char_case_ == ecLowerCase ? Utf8Lower(text) : text;
  if (cased == text_) return;
  text_ = cased;
  if (OnChange) OnChange(this);
}

void TEdit::SetCharCase(TEditCharCase char_case) {
  char_case_ = char_case;
  SetText(text_);
}

void TEdit::KeyPress(char& key) { KeyPressChar(Latin1ToUtf8(key)); }

int TEdit::SelStart() const { return SelLength() > 0 ? 0 : Utf8Length(text_); }
int TEdit::SelLength() const { return selected_ ? Utf8Length(text_) : 0; }

void TEdit::DoEnter() {
  if (auto_select_) SelectAll();
  TWinControl::DoEnter();
}

void TEdit::KeyPressChar(const std::string& utf8_char) {
  if (utf8_char.empty()) return;
  char key = utf8_char[0];
  const char typed = key;
  if (OnKeyPress) OnKeyPress(this, key);
  if (key == 0) return;
  if (key == 8) {
    if (!read_only_ && !text_.empty()) SetText(SelLength() > 0 ? std::string() : DropLastChar(text_));
    return;
  }
  if (static_cast<unsigned char>(key) < 32 || read_only_) return;  // Enter, Escape...: a one-line box takes none
  // The typed character replaces the selection.
  const std::string kept = SelLength() > 0 ? std::string() : text_;
  if (max_length_ > 0 && Utf8Length(kept) >= max_length_) return;
  // A handler that left the key alone gets the whole character it was typed as.
  std::string insert = key == typed ? utf8_char : Latin1ToUtf8(key);
  SetText(kept + insert);
}

// --- TCheckBox -----------------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner) { tab_stop_ = true; }

void TCheckBox::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  if (OnClick) OnClick(this);
}

void TCheckBox::Click() { SetChecked(!checked_); }

void TCheckBox::KeyPress(char& key) {
  if (key == ' ') Click();
}

// --- TSpeedButton --------------------------------------------------------------------

TSpeedButton::TSpeedButton(TComponent* owner) : TControl(owner) {}

// --- Helpers -------------------------------------------------------------------------

void SetChildEnabled(TWinControl& container, bool enabled) {
  for (TControl* child : container.Controls()) {
    child->SetEnabled(enabled);
    if (auto* win = dynamic_cast<TWinControl*>(child)) SetChildEnabled(*win, enabled);
  }
}

}  // namespace rt
