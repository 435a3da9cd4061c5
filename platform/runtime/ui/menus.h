// Menus and short-cut keys.
//
// A short-cut is encoded as the host framework does: the virtual key code ('A'..'Z',
// '0'..'9', F1 = 0x70 ...) plus modifier bits scShift, scCtrl, scAlt. A short-cut key
// pressed on a form reaches the menu item that carries it only when the item and every
// menu item above it are enabled and visible.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/ui/component.h"

namespace rt {

using TShortCut = int;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;
constexpr TShortCut scNone = 0;

// "Ctrl+L", "Shift+Ctrl+F5", "F2" -> short-cut; nullopt for text it cannot read.
std::optional<TShortCut> TextToShortCut(const std::string& text);
// The canonical text: modifiers in the order Shift, Ctrl, Alt ("Ctrl+L"); "" for none.
std::string ShortCutToText(TShortCut short_cut);

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner = nullptr);
  ~TMenuItem() override;
  std::string ClassName() const override { return "TMenuItem"; }

  // "-" makes the item a separator.
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption) { caption_ = caption; }
  bool IsLine() const { return caption_ == "-"; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  bool Checked() const { return checked_; }
  void SetChecked(bool checked) { checked_ = checked; }
  TShortCut ShortCut() const { return short_cut_; }
  void SetShortCut(TShortCut short_cut) { short_cut_ = short_cut; }

  // Sub-items, in order.
  TMenuItem* Parent() const { return parent_; }
  const std::vector<TMenuItem*>& Items() const { return items_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // Appends (or, with index, inserts) an item; it leaves its former parent item.
  void Add(TMenuItem* item);
  void Insert(int index, TMenuItem* item);
  void Remove(TMenuItem* item);

  // Enabled and visible here and in every item above.
  bool EnabledInChain() const;
  // Runs OnClick when the item is enabled (up the chain).
  void Click();
  TNotifyEvent OnClick;

  // The item (this or below, depth first) carrying the short-cut, or nullptr.
  TMenuItem* FindByShortCut(TShortCut short_cut);

 private:
  std::string caption_;
  bool enabled_ = true;
  bool visible_ = true;
  bool checked_ = false;
  TShortCut short_cut_ = scNone;
  TMenuItem* parent_ = nullptr;
  std::vector<TMenuItem*> items_;
};

// A form's menu bar: a root item whose sub-items are the top-level menus.
class TMainMenu : public TComponent {
 public:
  explicit TMainMenu(TComponent* owner = nullptr);
  std::string ClassName() const override { return "TMainMenu"; }
  TMenuItem& Items() { return *items_; }
  // Finds the item of that short-cut; when it is enabled runs it. True when some item
  // carries the short-cut (the key is consumed even when the item is disabled).
  bool IsShortCut(TShortCut short_cut);

 private:
  TMenuItem* items_;  // owned by this menu
};

}  // namespace rt
