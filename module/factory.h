// The common steps of the module's screen factories.
#pragma once

#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/forms.h"

namespace pkg {

// The hour-glass cursor for a scope. The default cursor comes back on every path, also
// when creating or showing a screen fails (the failure itself goes on to the caller):
// a cursor left as an hour-glass would tell the user the client is still busy.
class THourGlass {
 public:
  THourGlass() { rt::Screen().SetCursor(rt::crHourGlass); }
  ~THourGlass() { rt::Screen().SetCursor(rt::crDefault); }
  THourGlass(const THourGlass&) = delete;
  THourGlass& operator=(const THourGlass&) = delete;
};

// Creates the screen (owned by the application) when `created` is false, shows it and,
// with restore_window, brings it back to its normal window state. A creation that fails
// leaves `form` and `created` untouched. A screen destroyed without being closed (the
// host tearing down its windows) clears `created` too, so that the flag never points
// the next factory call at a destroyed form.
template <class F>
void OpenScreen(F*& form, bool& created, bool restore_window) {
  THourGlass hour_glass;
  if (!created) {
    F* fresh = rt::CreateForm<F>(&rt::Application());
    form = fresh;
    created = true;
    fresh->AddDestroyObserver([&form, &created, fresh](rt::TComponent*) {
      if (form == fresh) created = false;
    });
  }
  form->Show();
  if (restore_window) form->SetWindowState(rt::wsNormal);
}

}  // namespace pkg
