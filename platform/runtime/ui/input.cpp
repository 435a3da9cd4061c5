#include "platform/runtime/ui/input.h"

#include "platform/runtime/ui/application.h"

namespace rt::Input {

namespace {

// The control that receives keys: the focused control of the active form, when it can
// still take input (a control disabled or hidden after it got the focus takes none).
TWinControl* KeyTarget() {
  TForm* form = Screen().ActiveForm();
  if (!form || !form->IsShown()) return nullptr;
  TWinControl* control = form->ActiveControl();
  return control && control->CanFocus() ? control : nullptr;
}

}  // namespace

bool FocusControl(TWinControl& control) {
  return Application().Guard([&] {
    if (auto* form = dynamic_cast<TForm*>(&control)) {
      if (!form->IsShown()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
      Screen().SetActiveForm(form);
      return;
    }
    control.SetFocus();
    // A click puts the caret where it lands (the end): nothing stays selected.
    if (auto* edit = dynamic_cast<TEdit*>(&control); edit && edit->Focused()) edit->Deselect();
  });
}

bool TypeKey(char key) {
  TWinControl* target = KeyTarget();
  if (!target) return false;
  return Application().Guard([&] { target->KeyPress(key); });
}

bool TypeText(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    // A byte that starts no well-formed character is taken as a Latin-1 key.
    size_t len = Utf8CharAt(text, i);
    std::string ch = len ? text.substr(i, len) : Latin1ToUtf8(text[i]);
    if (!len) len = 1;
    TWinControl* target = KeyTarget();
    if (!target) return false;
    if (!Application().Guard([&] { target->KeyPressChar(ch); })) return false;
    i += len;
  }
  return true;
}

bool Click(TControl& control) {
  if (!control.Showing() || !control.EnabledInChain()) return false;
  return Application().Guard([&] {
    // A control that takes the focus gets it first; an exit handler that refuses the
    // move cancels the click.
    if (auto* win = dynamic_cast<TWinControl*>(&control); win && win->TabStop()) {
      win->SetFocus();
      if (!win->Focused()) return;
    }
    control.Click();
  });
}

bool Click(TMenuItem& item) {
  if (!item.EnabledInChain()) return false;
  return Application().Guard([&] { item.Click(); });
}

bool ShortCut(TForm& form, const std::string& short_cut) {
  auto code = TextToShortCut(short_cut);
  if (!code || !form.IsShown()) return false;
  bool ran = false;
  bool ok = Application().Guard([&] {
    TMenuItem* item = form.Menu() ? form.Menu()->Items().FindByShortCut(*code) : nullptr;
    if (item && item->EnabledInChain()) {
      ran = true;
      item->Click();
    }
  });
  return ok && ran;
}

bool PressTab(bool shift) {
  TForm* form = Screen().ActiveForm();
  if (!form || !form->IsShown()) return false;
  return Application().Guard([&] { form->SelectNext(!shift); });
}

bool CloseForm(TForm& form) {
  return Application().Guard([&] { form.Close(); });
}

}  // namespace rt::Input
