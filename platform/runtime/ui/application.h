// The application and the screen: one of each per process.
//
// The application's exception handler: every user input call (input.h) and every piece
// of deferred work runs through Application().Guard(fn). There an rt::EAbort ends the
// operation silently; any other exception is shown once, as an error dialog with its
// message, through the dialog service; nothing escapes to the caller of the input call.
// Event handlers themselves run unguarded inside the input call, so that an exception
// in a handler stops the operation that raised the event (a focus move, a post).
// Forms released with TForm::Release are destroyed when the outermost guard returns.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/runtime/ui/component.h"
#include "platform/runtime/ui/services.h"

namespace rt {

class TForm;
class TWinControl;

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;
  std::string ClassName() const override { return "TApplication"; }

  TForm* MainForm() const { return main_form_; }
  void SetMainForm(TForm* form);
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }

  // Runs fn under the exception handler; true when it returned normally (false after
  // an abort or a shown error). Never throws.
  bool Guard(const std::function<void()>& fn) noexcept;
  // Shows an exception as the handler does (EAbort: nothing).
  void HandleException(std::exception_ptr error) noexcept;
  // Depth of Guard calls in progress (0: back in the host's message loop).
  int GuardDepth() const { return guard_depth_; }

  // Destroys the component when the outermost guard returns (now, when none runs).
  void ReleaseLater(TComponent* component);
  // Destroys everything released so far (the host's message loop calls it when idle).
  void ProcessMessages();

  // Runs when the outermost guarded call has returned and released forms are gone: the
  // moment a host refreshes the widgets that mirror the runtime's state.
  std::function<void()> OnIdle;

 private:
  TForm* main_form_ = nullptr;
  int main_form_ticket_ = -1;
  std::string title_;
  int guard_depth_ = 0;
  std::vector<TComponent*> pending_release_;
};

// The process's application; owner of the forms the host creates.
TApplication& Application();

class TScreen {
 public:
  TCursor Cursor() const { return cursor_; }
  // Sets the cursor and tells the installed cursor sink.
  void SetCursor(TCursor cursor);
  TForm* ActiveForm() const { return active_form_; }
  // The focused control of the active form, or nullptr.
  TWinControl* ActiveControl() const;
  // Every existing form, in creation order.
  const std::vector<TForm*>& Forms() const { return forms_; }

  // Kept up to date by the forms.
  void SetActiveForm(TForm* form) { active_form_ = form; }
  void AddForm(TForm* form);
  void RemoveForm(TForm* form);

 private:
  TCursor cursor_ = crDefault;
  TForm* active_form_ = nullptr;
  std::vector<TForm*> forms_;
};

TScreen& Screen();

}  // namespace rt
