#include "platform/runtime/ui/forms.h"

#include <algorithm>

#include "platform/runtime/ui/application.h"

namespace rt {

TForm::TForm(TComponent* owner) : TWinControl(owner) {
  TControl::SetVisible(false);
  SetColor(clBtnFace);
  Screen().AddForm(this);
}

TForm::~TForm() {
  BeginDestroy();
  if (OnDestroy) {
    auto handler = OnDestroy;
    Application().Guard([&] { handler(this); });
  }
  DestroyComponents();
  Screen().RemoveForm(this);
}

void TForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}

void TForm::InitializeForm() {
  PublishHandlers();
  for (const std::string& resource : LayoutResources()) ReadLayout(*this, resource);
  DoCreate();
}

void TForm::SetVisible(bool visible) {
  if (visible)
    Show();
  else
    HideForm();
}

void TForm::Show() {
  bool was_shown = shown_;
  shown_ = true;
  TControl::SetVisible(true);
  Screen().SetActiveForm(this);
  if (!was_shown && OnShow) OnShow(this);
  if (!ever_shown_) {
    ever_shown_ = true;
    FocusFirst();
  }
}

void TForm::HideForm() {
  if (!shown_) {
    TControl::SetVisible(false);
    return;
  }
  shown_ = false;
  TControl::SetVisible(false);
  if (Screen().ActiveForm() == this) {
    TForm* next = nullptr;
    for (TForm* f : Screen().Forms())
      if (f != this && f->IsShown()) next = f;
    Screen().SetActiveForm(next);
  }
}

void TForm::Close() {
  if (OnCloseQuery) {
    bool can_close = true;
    OnCloseQuery(this, can_close);
    if (!can_close) return;
  }
  TCloseAction action = form_style_ == fsMDIChild ? caMinimize : caHide;
  if (OnClose) OnClose(this, action);
  switch (action) {
    case caNone:
      break;
    case caHide:
      HideForm();
      break;
    case caMinimize:
      window_state_ = wsMinimized;
      break;
    case caFree:
      HideForm();
      Release();
      break;
  }
}

void TForm::Release() {
  if (release_pending_) return;
  release_pending_ = true;
  Application().ReleaseLater(this);
}

// --- Focus -----------------------------------------------------------------------------

void TForm::SetActiveControl(TWinControl* control) {
  if (!shown_) {
    if (control && !ContainsControl(control)) throw EInvalidOperation("The control is not on this form");
    focused_ = control;
    return;
  }
  if (control) FocusControl(control);
}

void TForm::FocusFirst() {
  TWinControl* target = focused_ && focused_->CanFocus() ? focused_ : nullptr;
  if (!target) {
    auto stops = TabStops();
    if (!stops.empty()) target = stops.front();
  }
  focused_ = nullptr;
  if (target) FocusControl(target);
}

void TForm::FocusControl(TWinControl* target) {
  if (!target || target == this) return;
  if (!ContainsControl(target) || !target->CanFocus())
    throw EInvalidOperation("Cannot focus a disabled or invisible window");
  Screen().SetActiveForm(this);
  TWinControl* from = moving_ ? exit_point_ : focused_;
  if (!moving_ && from == target) return;

  const unsigned generation = ++focus_generation_;
  TWinControl* common = this;
  for (TWinControl* c = from; c; c = c->Parent()) {
    if (c->ContainsControl(target)) {
      common = c;
      break;
    }
  }

  // The outer move's state comes back when this one ends (the outer move then sees the
  // generation changed and stops).
  const bool outer_moving = moving_;
  TWinControl* const outer_exit_point = exit_point_;
  moving_ = true;
  struct RestoreMove {
    TForm& form;
    bool moving;
    TWinControl* exit_point;
    ~RestoreMove() {
      form.moving_ = moving;
      form.exit_point_ = exit_point;
    }
  } restore{*this, outer_moving, outer_exit_point};

  // Exits, innermost first, up to the common container.
  for (TWinControl* c = from; c && c != common; c = c->Parent()) {
    exit_point_ = c;
    if (std::find(exiting_.begin(), exiting_.end(), c) != exiting_.end()) continue;  // running further up
    exiting_.push_back(c);
    try {
      c->DoExit();
    } catch (...) {
      std::erase(exiting_, c);
      throw;  // the focus stays where it is (A, or where a handler put it)
    }
    std::erase(exiting_, c);
    if (generation != focus_generation_) return;  // a handler moved the focus itself
  }

  // Enters, outermost first, down to the target.
  std::vector<TWinControl*> path;
  for (TWinControl* c = target; c && c != common; c = c->Parent()) path.push_back(c);
  focused_ = target;
  std::reverse(path.begin(), path.end());
  for (TWinControl* control : path) {
    exit_point_ = control;
    control->DoEnter();
    if (generation != focus_generation_) return;
  }
}

std::vector<TWinControl*> TForm::TabStops() const {
  std::vector<TWinControl*> stops;
  std::function<void(const TWinControl&)> walk = [&](const TWinControl& container) {
    for (TControl* child : container.ControlsInTabOrder()) {
      auto* win = dynamic_cast<TWinControl*>(child);
      if (!win || !win->CanFocus()) continue;
      if (win->TabStop()) stops.push_back(win);
      walk(*win);
    }
  };
  walk(*this);
  return stops;
}

void TForm::SelectNext(bool forward) {
  auto stops = TabStops();
  if (stops.empty()) return;
  auto it = std::find(stops.begin(), stops.end(), focused_);
  TWinControl* next;
  if (it == stops.end()) {
    next = forward ? stops.front() : stops.back();
  } else {
    auto index = static_cast<size_t>(it - stops.begin());
    next = forward ? stops[(index + 1) % stops.size()] : stops[(index + stops.size() - 1) % stops.size()];
  }
  if (next != focused_) FocusControl(next);
}

void TForm::ControlRemoved(TControl* control) {
  auto inside = [control](TWinControl* c) {
    for (const TControl* p = c; p; p = p->Parent())
      if (p == control) return true;
    return false;
  };
  if (focused_ && inside(focused_)) focused_ = nullptr;
  if (exit_point_ && inside(exit_point_)) exit_point_ = nullptr;
  std::erase_if(exiting_, inside);
}

bool TForm::IsShortCut(TShortCut short_cut) { return menu_ && menu_->IsShortCut(short_cut); }

}  // namespace rt
