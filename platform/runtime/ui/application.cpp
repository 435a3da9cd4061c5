#include "platform/runtime/ui/application.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "platform/runtime/abort.h"
#include "platform/runtime/ui/forms.h"

namespace rt {

// The screen is made first so that it outlives the application, whose destructor
// destroys the forms it still owns (and they leave the screen's list).
TApplication::TApplication() { Screen(); }

TApplication::~TApplication() {
  ProcessMessages();
  if (main_form_ && main_form_ticket_ >= 0) main_form_->RemoveDestroyObserver(main_form_ticket_);
}

void TApplication::SetMainForm(TForm* form) {
  if (main_form_ && main_form_ticket_ >= 0) main_form_->RemoveDestroyObserver(main_form_ticket_);
  main_form_ = form;
  main_form_ticket_ = form ? form->AddDestroyObserver([this](TComponent*) {
    main_form_ = nullptr;
    main_form_ticket_ = -1;
  })
                           : -1;
}

bool TApplication::Guard(const std::function<void()>& fn) noexcept {
  ++guard_depth_;
  bool ok = true;
  try {
    fn();
  } catch (...) {
    ok = false;
    HandleException(std::current_exception());
  }
  --guard_depth_;
  if (guard_depth_ == 0) {
    ProcessMessages();
    if (OnIdle) {
      auto idle = OnIdle;  // the handler may replace itself
      try {
        idle();
      } catch (...) {
        HandleException(std::current_exception());
      }
    }
  }
  return ok;
}

void TApplication::HandleException(std::exception_ptr error) noexcept {
  std::string message;
  try {
    std::rethrow_exception(std::move(error));
  } catch (const EAbort&) {
    return;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown error";
  }
  try {
    Dialogs().ShowError(message);
  } catch (...) {
    // The error dialog itself failed: nothing more can be shown.
  }
}

void TApplication::ReleaseLater(TComponent* component) {
  if (!component) return;
  if (std::find(pending_release_.begin(), pending_release_.end(), component) == pending_release_.end()) {
    pending_release_.push_back(component);
    // Destroyed some other way first (by its owner): it must not be deleted again.
    component->AddDestroyObserver([this](TComponent* gone) { std::erase(pending_release_, gone); });
  }
  if (guard_depth_ == 0) ProcessMessages();
}

void TApplication::ProcessMessages() {
  // A destructor may release more; take them in rounds.
  while (!pending_release_.empty()) {
    auto batch = std::move(pending_release_);
    pending_release_.clear();
    for (TComponent* c : batch) delete c;
  }
}

TApplication& Application() {
  static TApplication application;
  return application;
}

// --- TScreen -------------------------------------------------------------------------

void TScreen::SetCursor(TCursor cursor) {
  cursor_ = cursor;
  CursorSink().CursorChanged(cursor);
}

TWinControl* TScreen::ActiveControl() const { return active_form_ ? active_form_->ActiveControl() : nullptr; }

void TScreen::AddForm(TForm* form) { forms_.push_back(form); }

void TScreen::RemoveForm(TForm* form) {
  std::erase(forms_, form);
  if (active_form_ == form) {
    active_form_ = nullptr;
    for (TForm* f : forms_)
      if (f->IsShown()) active_form_ = f;
  }
}

TScreen& Screen() {
  static TScreen screen;
  return screen;
}

}  // namespace rt
