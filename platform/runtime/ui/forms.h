// Forms: top-level windows, their life cycle and the focus among their controls.
//
// Focus rules (the order is also written down in docs/runtime.md). Moving the focus from
// control A to control B runs OnExit of A and of each of its containers up to, not
// including, the closest container common to A and B, innermost first; then OnEnter of
// each container of B below that common one, outermost first, then of B.
// - If an exit handler raises, the move stops there and the exception goes on to the
//   caller; the focus stays on A (or wherever the handler put it). A later move runs
//   the exits again, so a validation that refused cannot be slipped past.
// - A handler may move the focus itself (a validation gives its edit the focus and
//   aborts): that nested move starts from the point the outer move had reached (a
//   control whose exit handler is running is not exited twice) and the outer move is
//   then abandoned.
// - An enter handler that raises stops the remaining enters; the focus is on B.
// - The form and its containers themselves never get OnEnter/OnExit for moves inside it.
#pragma once

#include <any>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/ui/controls.h"
#include "platform/runtime/ui/layout.h"
#include "platform/runtime/ui/menus.h"

namespace rt {

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner = nullptr);
  ~TForm() override;
  std::string ClassName() const override { return "TForm"; }

  TFormStyle FormStyle() const { return form_style_; }
  void SetFormStyle(TFormStyle style) { form_style_ = style; }
  TWindowState WindowState() const { return window_state_; }
  void SetWindowState(TWindowState state) { window_state_ = state; }
  int ClientWidth() const { return Width(); }
  int ClientHeight() const { return Height(); }
  void SetClientWidth(int width) { SetWidth(width); }
  void SetClientHeight(int height) { SetHeight(height); }

  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* menu) { menu_ = menu; }

  // --- Life cycle ---------------------------------------------------------------
  // Runs OnCreate; the creation step (CreateForm) calls it once after the layouts.
  void DoCreate();
  // Makes the form visible and the active form; the first time, gives the focus to
  // ActiveControl (or the first tab stop), running the enter events from the form down.
  void Show();
  // Hides the form; its focus is kept for the next Show.
  void HideForm();
  bool IsShown() const { return shown_; }
  // Visible true shows the form, false hides it.
  void SetVisible(bool visible) override;
  // OnCloseQuery (may refuse), then OnClose with the default action (caHide; caMinimize
  // for an MDI child), then the action: caNone nothing, caHide hide, caMinimize minimise,
  // caFree hide and Release.
  void Close();
  // Destroys the form later, once the input call or event in progress has returned
  // (the application's deferred release), so that a handler may release its own form.
  void Release();
  bool ReleasePending() const { return release_pending_; }

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TNotifyEvent OnDestroy;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  // --- Focus ---------------------------------------------------------------------
  // The control that has (or, before the form is shown, will get) the focus.
  TWinControl* ActiveControl() const { return focused_; }
  // Before the form is shown: only records the control. After: moves the focus to it.
  void SetActiveControl(TWinControl* control);
  // Moves the focus to `control` with the rules above. Throws EInvalidOperation when
  // the control cannot take the focus.
  void FocusControl(TWinControl* control);
  // Moves the focus to the next (or previous) tab stop, wrapping around.
  void SelectNext(bool forward = true);
  // The tab stops that can take the focus now, in tab order, depth first.
  std::vector<TWinControl*> TabStops() const;
  // Called when a control of the form is going away or can no longer hold the focus.
  void ControlRemoved(TControl* control);

  // --- Short-cuts ----------------------------------------------------------------
  // Dispatches a short-cut key to the form's menu; true when an item carried it.
  bool IsShortCut(TShortCut short_cut);

  // --- Event handlers published by name ------------------------------------------
  // The handlers a layout resource may wire by name (layout.h). Form classes publish
  // theirs in PublishHandlers; a derived class publishing an existing name overrides it.
  THandlerTable& Handlers() { return handlers_; }
  const THandlerTable& Handlers() const { return handlers_; }

  // The creation step of a form class: publish handlers, read the layout resources,
  // run OnCreate. CreateForm calls it; a failure destroys the form and goes on.
  void InitializeForm();

 protected:
  // Base-first list of the layout resources the form class is built from.
  virtual std::vector<std::string> LayoutResources() const { return {}; }
  // Derived classes call the base version first, then publish their own.
  virtual void PublishHandlers() {}

  // Publishes a member function of the form class under a name.
  template <class F, class R, class... A>
  void Publish(const std::string& name, R (F::*method)(A...)) {
    F* self = static_cast<F*>(this);
    handlers_.Add<R(A...)>(name, std::function<R(A...)>([self, method](A... args) -> R {
                             return (self->*method)(std::forward<A>(args)...);
                           }));
  }

 private:
  void FocusFirst();

  TFormStyle form_style_ = fsNormal;
  TWindowState window_state_ = wsNormal;
  TMainMenu* menu_ = nullptr;
  bool shown_ = false;
  bool ever_shown_ = false;
  bool release_pending_ = false;
  TWinControl* focused_ = nullptr;
  // While a move runs its exits: the control whose exit runs now (not exited twice).
  std::vector<TWinControl*> exiting_;
  // The innermost control whose exit has not yet run during a move (nested moves start
  // there); nullptr outside moves.
  TWinControl* exit_point_ = nullptr;
  bool moving_ = false;
  unsigned focus_generation_ = 0;
  THandlerTable handlers_;
};

// Creates a form of class F owned by `owner` and runs its creation step; on failure the
// form is destroyed and the exception goes on to the caller.
template <class F, class... Args>
F* CreateForm(TComponent* owner, Args&&... args) {
  auto* form = new F(owner, std::forward<Args>(args)...);
  try {
    form->InitializeForm();
  } catch (...) {
    delete form;
    throw;
  }
  return form;
}

}  // namespace rt
