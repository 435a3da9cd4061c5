// The input calls: what a user does, as the tests and the desktop shell perform it.
// Each runs under the application's exception handler (Application().Guard) and
// returns true when the action ran to its end (false after an abort or a shown error,
// or when the target could not receive it).
#pragma once

#include <string>

#include "platform/runtime/ui/controls.h"
#include "platform/runtime/ui/forms.h"
#include "platform/runtime/ui/menus.h"

namespace rt::Input {

constexpr char kBackspace = 8;
constexpr char kTab = 9;
constexpr char kReturn = 13;
constexpr char kEscape = 27;

// The user clicks into a control: its form becomes active and the control gets the
// focus (a control that cannot take it reports "Cannot focus a disabled or invisible
// window" through the exception handler). A text box clicked into keeps nothing
// selected (Tab selects its text).
bool FocusControl(TWinControl& control);
// A key typed to the focused control of the active form.
bool TypeKey(char key);
// Types each character of a UTF-8 text (a non-ASCII character goes through OnKeyPress
// as its first byte and is inserted whole).
bool TypeText(const std::string& text);
// Clicks a button, a check box (which first takes the focus) or any control; nothing
// happens on a control that is not showing or not enabled (returns false).
bool Click(TControl& control);
bool Click(TMenuItem& item);
// A short-cut key ("Ctrl+L") pressed on a form; true when an enabled item ran.
bool ShortCut(TForm& form, const std::string& short_cut);
// Tab (or Shift+Tab) on the active form.
bool PressTab(bool shift = false);
// The close button of the form's window.
bool CloseForm(TForm& form);

}  // namespace rt::Input
