// Bound data controls: a read-only text bound to a field (TDBText) and the navigator bar
// (TDBNavigator) that moves through and edits a data source's dataset. Both follow the
// dataset through a data link; the grid lives in dbgrid.h.
//
// Layout resources name a data source by component name ("DataSource": "dtsOrcaEvento").
// The runtime's data source is not a component itself, so the component a layout names
// is turned into a TDataSource by the resolver below: by default a component that
// implements IDataSourceHolder; a library with its own data source component installs
// another with SetDataSourceResolver.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/runtime/client_dataset.h"
#include "platform/runtime/data_source.h"
#include "platform/runtime/ui/controls.h"

namespace rt {

class TClassRegistry;

// A component that carries a data source (what a layout's "DataSource" may name).
class IDataSourceHolder {
 public:
  virtual ~IDataSourceHolder() = default;
  virtual TDataSource& HeldDataSource() = 0;
};

using TDataSourceResolver = std::function<TDataSource*(TComponent& component)>;
// Replaces the resolver (an empty one puts the default back).
void SetDataSourceResolver(TDataSourceResolver resolver);
// The data source a named component stands for, or nullptr.
TDataSource* ResolveDataSource(TComponent& component);

// Registers TDBGrid, TDBText and TDBNavigator with their layout properties (once; later
// calls do nothing). Runs by itself when the library is linked in; call it explicitly
// from code that only creates these classes through layouts.
void RegisterDataControls();
void RegisterDataControls(TClassRegistry& registry);

// ---------------------------------------------------------------------------------
// A label that shows the display text of one field of the current record: the field's
// Text() (through its OnGetText with display true); empty when the dataset is closed,
// has no current record, or has no such field. Never takes the focus.
class TDBText : public TControl {
 public:
  explicit TDBText(TComponent* owner = nullptr);
  ~TDBText() override;
  std::string ClassName() const override { return "TDBText"; }

  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source);
  const std::string& DataField() const { return data_field_; }
  void SetDataField(const std::string& field_name);
  // The field shown, or nullptr.
  TField* Field() const;

  // The text to show now (also kept as the control's Caption).
  std::string DisplayText() const;

 private:
  class Link : public TDataLink {
   public:
    explicit Link(TDBText& owner) : owner_(owner) {}
    void ActiveChanged() override { owner_.Refresh(); }
    void DataSetChanged() override { owner_.Refresh(); }
    void DataSetScrolled(int) override { owner_.Refresh(); }
    void RecordChanged(TField*) override { owner_.Refresh(); }
    void StateChanged() override { owner_.Refresh(); }
    void LayoutChanged() override { owner_.Refresh(); }

   private:
    TDBText& owner_;
  };
  void Refresh();

  Link link_{*this};
  std::string data_field_;
};

// ---------------------------------------------------------------------------------
enum TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };
using TNavButtonSet = std::set<TNavigateBtn>;
// "nbFirst", ... (layouts and test output).
const char* NavigateBtnName(TNavigateBtn button);

// The navigator bar: one button per dataset action. A button is enabled from the
// dataset's state, read when asked (never stale, also while controls are disabled):
//   first, prior   an open dataset whose current record is not the first;
//   next, last     an open dataset whose current record is not the last;
//   insert         an open dataset;
//   delete         an open dataset with records, browsing;
//   edit           an open dataset with records, browsing;
//   post, cancel   the dataset in edit or insert state;
//   refresh        an open dataset, browsing.
// A press (Press) runs under the application's exception handler: BeforeAction (may
// abort), the action, then OnClick. Delete asks "Excluir registro?" (OK / Cancel) first
// while ConfirmDelete is on. Refresh re-shows the rows (a client dataset has no provider
// to read again from).
class TDBNavigator : public TWinControl {
 public:
  using TNavClickEvent = std::function<void(TObject* Sender, TNavigateBtn Button)>;

  explicit TDBNavigator(TComponent* owner = nullptr);
  ~TDBNavigator() override;
  std::string ClassName() const override { return "TDBNavigator"; }

  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source) { link_.SetDataSource(source); }

  const TNavButtonSet& VisibleButtons() const { return visible_buttons_; }
  void SetVisibleButtons(TNavButtonSet buttons) { visible_buttons_ = std::move(buttons); }
  // The tip of each button, in button order: the Portuguese texts unless a layout's
  // "Hints" list (at most one text per button; an empty text keeps the default) says
  // otherwise, so a language module translates them with the layout. More texts than
  // buttons is an EListError.
  const std::string& Hint(TNavigateBtn button) const { return hints_[static_cast<size_t>(button)]; }
  void SetHints(const std::vector<std::string>& hints);
  bool ConfirmDelete() const { return confirm_delete_; }
  void SetConfirmDelete(bool on) { confirm_delete_ = on; }

  // Enabled now: the navigator is enabled, the button visible, and the dataset allows it.
  bool ButtonEnabled(TNavigateBtn button) const;
  // Runs the button's action as the code would (no guard, no enabled check): for
  // handlers that act "as if the button was pressed".
  void BtnClick(TNavigateBtn button);
  // The user presses the button: nothing when it is disabled (false); otherwise the
  // action under the exception handler; true when it ran to its end.
  bool Press(TNavigateBtn button);

  TNavClickEvent BeforeAction;
  TNavClickEvent OnClick;

 private:
  TDataLink link_;
  TNavButtonSet visible_buttons_;
  std::array<std::string, nbRefresh + 1> hints_;
  bool confirm_delete_ = true;
};

}  // namespace rt
