// Controls: the visible parts of a form, their nesting, their states and the events the
// user's input raises.
//
// A control's parent (a TWinControl) shows it; its owner (usually the form) destroys it.
// A control is Showing when it and every parent up to its form are visible and the form
// is shown; it CanFocus when it is a focusable control that is Showing and enabled up
// the same chain. Focus itself is the form's business (forms.h).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>
#include "platform/runtime/exception.h"

#include "platform/runtime/ui/canvas.h"
#include "platform/runtime/ui/component.h"

namespace rt {

class TWinControl;
class TForm;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner = nullptr);
  ~TControl() override;
  std::string ClassName() const override { return "TControl"; }

  TWinControl* Parent() const { return parent_; }
  // Moves the control into another container (nullptr: none); throws
  // EInvalidOperation when that would make the control its own ancestor.
  virtual void SetParent(TWinControl* parent);
  // The form the control sits on (itself for a form), or nullptr.
  TForm* GetParentForm() const;

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);

  // Caption and Text are one property, as in the host framework.
  const std::string& Caption() const { return text_; }
  void SetCaption(const std::string& caption) { SetText(caption); }
  const std::string& Text() const { return text_; }
  virtual void SetText(const std::string& text);

  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint) { hint_ = hint; }
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool show) { show_hint_ = show; }
  TColor Color() const { return color_; }
  void SetColor(TColor color) { color_ = color; }
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align) { align_ = align; }
  // Position among the tab stops of the parent; new controls come last.
  int TabOrder() const { return tab_order_; }
  void SetTabOrder(int order) { tab_order_ = order; }
  // Free-form integer the host framework gives every control.
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  // Visible here and up the parent chain, on a shown form.
  bool Showing() const;
  // Enabled here and up the parent chain.
  bool EnabledInChain() const;
  // Can take the focus now (only focusable controls ever can).
  virtual bool CanFocus() const { return false; }

  // What a click of the user does; the default runs OnClick when enabled.
  virtual void Click();
  TNotifyEvent OnClick;

 protected:
  friend class TWinControl;
  std::string text_;

 private:
  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  std::string hint_;
  bool show_hint_ = false;
  TColor color_ = clBtnFace;
  TFont font_;
  TAlign align_ = alNone;
  int tab_order_ = 0;
  int tag_ = 0;
};

// A control that can hold other controls and take the focus.
class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner = nullptr);
  ~TWinControl() override;
  std::string ClassName() const override { return "TWinControl"; }

  const std::vector<TControl*>& Controls() const { return controls_; }
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  // True when `control` is this or lies inside it.
  bool ContainsControl(const TControl* control) const;
  // Children in tab order (TabOrder, then insertion order).
  std::vector<TControl*> ControlsInTabOrder() const;

  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool on) { tab_stop_ = on; }

  bool CanFocus() const override;
  // True when this control has the focus of its form.
  bool Focused() const;
  // Gives this control the focus (focus rules in forms.h). Throws EInvalidOperation
  // "Cannot focus a disabled or invisible window" when it cannot take it.
  void SetFocus();

  // A key typed while this control has the focus.
  virtual void KeyPress(char& key);
  // A character typed as UTF-8 (one code point). The default passes its first byte to
  // KeyPress; text boxes insert the whole character.
  virtual void KeyPressChar(const std::string& utf8_char);

  // Called by the focus rules.
  virtual void DoEnter();
  virtual void DoExit();

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

 protected:
  // Every TWinControl can be given the focus by code; only tab stops are reached by Tab.
  bool tab_stop_ = false;

 private:
  friend class TControl;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  std::vector<TControl*> controls_;
};

// A failed operation on a control (the host framework's EInvalidOperation).
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

class TPanel : public TWinControl {
 public:
  explicit TPanel(TComponent* owner = nullptr);
  std::string ClassName() const override { return "TPanel"; }
};

class TGroupBox : public TWinControl {
 public:
  explicit TGroupBox(TComponent* owner = nullptr);
  std::string ClassName() const override { return "TGroupBox"; }
};

class TScrollBox : public TWinControl {
 public:
  explicit TScrollBox(TComponent* owner = nullptr);
  std::string ClassName() const override { return "TScrollBox"; }
};

class TPageControl;

// A page of a page control; only the active page is visible.
class TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* owner = nullptr);
  ~TTabSheet() override;
  std::string ClassName() const override { return "TTabSheet"; }
  TPageControl* PageControl() const;
  // Puts the sheet into a page control (its parent); the first sheet becomes active.
  void SetPageControl(TPageControl* page_control);
  void SetParent(TWinControl* parent) override;
};

class TPageControl : public TWinControl {
 public:
  explicit TPageControl(TComponent* owner = nullptr);
  std::string ClassName() const override { return "TPageControl"; }
  std::vector<TTabSheet*> Pages() const;
  TTabSheet* ActivePage() const { return active_page_; }
  void SetActivePage(TTabSheet* page);

 private:
  friend class TTabSheet;
  TTabSheet* active_page_ = nullptr;
};

// Static text; never takes the focus.
class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner = nullptr);
  std::string ClassName() const override { return "TLabel"; }
};

enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

// A one-line text box. Typing goes through OnKeyPress (key by reference; a key set to 0
// is dropped; a multi-byte character is offered as its first byte and inserted whole
// when the handler leaves it alone; a lone key byte of 0x80 and above is Latin-1), then
// inserts at the caret, which is kept at the end of the text; code 8
// deletes the last character. Letters are cased per CharCase, for typed and assigned
// text alike. MaxLength (in characters; 0 = no limit) bounds typing only, as in the host
// framework. OnChange runs on every change of the text, by typing or by code, and not
// when the text is set to the value it already has.
//
// Selection: the caret stays at the end, so a selection is the whole text or nothing.
// Entering the box by Tab or by code selects the whole text when AutoSelect is on (the
// default), so that the first key typed replaces it; a click (Input::FocusControl)
// leaves the caret at the end unselected. A typed character replaces the selection,
// backspace deletes it; a key dropped by OnKeyPress keeps it; text set by code drops it.
class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* owner = nullptr);
  std::string ClassName() const override { return "TEdit"; }

  void SetText(const std::string& text) override;
  int MaxLength() const { return max_length_; }
  void SetMaxLength(int length) { max_length_ = length; }
  TEditCharCase CharCase() const { return char_case_; }
  void SetCharCase(TEditCharCase char_case);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only) { read_only_ = read_only; }
  bool Flat() const { return flat_; }
  void SetFlat(bool flat) { flat_ = flat; }

  bool AutoSelect() const { return auto_select_; }
  void SetAutoSelect(bool on) { auto_select_ = on; }
  void SelectAll() { selected_ = true; }
  // Leaves the caret at the end with nothing selected.
  void Deselect() { selected_ = false; }
  // In characters: the selection starts at 0 and covers the text, or is empty at the end.
  int SelStart() const;
  int SelLength() const;
  std::string SelText() const { return selected_ ? text_ : std::string(); }

  void KeyPress(char& key) override;
  void KeyPressChar(const std::string& utf8_char) override;
  // Selects the whole text when AutoSelect, then OnEnter.
  void DoEnter() override;

  TNotifyEvent OnChange;
  TKeyPressEvent OnKeyPress;

 private:
  int max_length_ = 0;
  TEditCharCase char_case_ = ecNormal;
  bool read_only_ = false;
  bool flat_ = false;
  bool auto_select_ = true;
  bool selected_ = false;
};

// A check box; OnClick runs whenever the checked state changes, by a click or by code.
class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* owner = nullptr);
  std::string ClassName() const override { return "TCheckBox"; }
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  bool Flat() const { return flat_; }
  void SetFlat(bool flat) { flat_ = flat; }
  // A click toggles the state (which runs OnClick).
  void Click() override;
  // Space toggles, as a click does.
  void KeyPress(char& key) override;

 private:
  bool checked_ = false;
  bool flat_ = false;
};

// The standard picture a tool button shows (the host draws its own icon for each):
// layouts name it ("bgNew", ...), so no host needs to know a screen's button names.
enum TButtonGlyph {
  bgNone,
  bgNew,
  bgEdit,
  bgDelete,
  bgSearch,
  bgSave,
  bgPrint,
  bgHelp,
  bgClose,
  bgClear,
  bgApply,
  bgCancel,
  bgPreview
};

// A flat tool button: clicked, never focused.
class TSpeedButton : public TControl {
 public:
  explicit TSpeedButton(TComponent* owner = nullptr);
  std::string ClassName() const override { return "TSpeedButton"; }
  bool Flat() const { return flat_; }
  void SetFlat(bool flat) { flat_ = flat; }
  TButtonGlyph Glyph() const { return glyph_; }
  void SetGlyph(TButtonGlyph glyph) { glyph_ = glyph; }

 private:
  bool flat_ = false;
  TButtonGlyph glyph_ = bgNone;
};

// Enables or disables every control inside `container`, at every depth (not the
// container itself).
void SetChildEnabled(TWinControl& container, bool enabled);

// UTF-8 helpers for text boxes: length in characters, and upper/lower case of ASCII and
// Latin-1 letters (the accents of the screens' texts).
int Utf8Length(const std::string& text);
// A key byte of 0x80 and above standing alone is read as Latin-1 (the host's ANSI keys).
std::string Latin1ToUtf8(char key);
// The length of the well-formed UTF-8 character at `pos`, or 0 when the bytes there do
// not form one.
size_t Utf8CharAt(const std::string& text, size_t pos);
std::string Utf8Upper(const std::string& text);
std::string Utf8Lower(const std::string& text);

}  // namespace rt
