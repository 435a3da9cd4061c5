// Test double of the host services (tests only): scripted answers and a record of
// everything shown, in order, one string per event:
//   "MessageDlg(confirmation, Yes|No): Confirma exclusão? -> Yes"
//   "Error: Orçamento não cadastrado."
//   "PickList(Orçamento; Filial|Nr. Orçamento; 3 rows) -> 1"   (or "-> cancelled")
//   "Busy(1)"  "Busy off"
// Cursor changes are kept apart (Cursors()), so that logs stay short.
// Constructing one installs it for its lifetime (the previous services come back after).
// A question (any dialog but an OK-only one) or a pick list without a scripted answer
// fails the test and is answered as a cautious user would (No / Cancel / cancelled).
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/runtime/ui/services.h"

namespace rt::testing {

class TScriptedServices : public IDialogService, public IBusyIndicator, public ICursorSink {
 public:
  TScriptedServices() : scope_(this, this, this) {}

  // --- Script ----------------------------------------------------------------------
  // The answer to the next question (MessageDlg).
  void Answer(TModalResult result) { answers_.push_back(result); }
  // The next pick list chooses this row, or is cancelled.
  void ChooseRow(int row) { picks_.push_back(row); }
  void CancelPick() { picks_.push_back(std::nullopt); }

  // --- Record ----------------------------------------------------------------------
  const std::vector<std::string>& Events() const { return events_; }
  // The events joined with " | ".
  std::string Log() const {
    std::string out;
    for (const auto& e : events_) out += (out.empty() ? "" : " | ") + e;
    return out;
  }
  void Clear() { events_.clear(); }
  const std::vector<TCursor>& Cursors() const { return cursors_; }
  // Every busy indicator shown was hidden, and nothing was hidden that was not shown.
  bool BusyBalanced() const { return busy_depth_ == 0 && !busy_underflow_; }
  int BusyDepth() const { return busy_depth_; }
  // Every scripted answer was used.
  bool ScriptUsed() const { return answers_.empty() && picks_.empty(); }

  struct PickShown {
    std::string title, empty_text;
    std::vector<TPickColumn> columns;
    std::vector<std::vector<std::string>> rows;
  };
  const std::vector<PickShown>& PickLists() const { return pick_lists_; }

  // --- IDialogService -----------------------------------------------------------------
  TModalResult MessageDlg(const std::string& text, TMsgDlgType type, const TMsgDlgButtons& buttons, int) override {
    std::string names;
    for (auto b : buttons) names += (names.empty() ? "" : "|") + std::string(MsgDlgBtnName(b));
    TModalResult result;
    if (!answers_.empty()) {
      result = answers_.front();
      answers_.pop_front();
    } else if (buttons == TMsgDlgButtons{mbOK}) {
      result = mrOk;
    } else {
      ADD_FAILURE() << "Unscripted question: " << text;
      result = buttons.count(mbNo) ? mrNo : mrCancel;
    }
    events_.push_back("MessageDlg(" + std::string(MsgDlgTypeName(type)) + ", " + names + "): " + text + " -> " +
                      ModalResultName(result));
    return result;
  }
  void ShowError(const std::string& text) override { events_.push_back("Error: " + text); }
  std::optional<int> PickList(const std::string& title, const std::string& empty_text,
                              const std::vector<TPickColumn>& columns,
                              const std::vector<std::vector<std::string>>& rows) override {
    pick_lists_.push_back({title, empty_text, columns, rows});
    std::string titles;
    for (const auto& c : columns) titles += (titles.empty() ? "" : "|") + c.title;
    std::optional<int> result;
    if (!picks_.empty()) {
      result = picks_.front();
      picks_.pop_front();
    } else {
      ADD_FAILURE() << "Unscripted pick list: " << title;
    }
    if (result && (*result < 0 || *result >= static_cast<int>(rows.size()))) {
      ADD_FAILURE() << "Scripted row " << *result << " is not in a list of " << rows.size();
      result.reset();
    }
    events_.push_back("PickList(" + title + "; " + titles + "; " + std::to_string(rows.size()) + " rows) -> " +
                      (result ? std::to_string(*result) : std::string("cancelled")));
    return result;
  }

  // --- IBusyIndicator -----------------------------------------------------------------
  void Show(int kind) override {
    ++busy_depth_;
    events_.push_back("Busy(" + std::to_string(kind) + ")");
  }
  void Hide() override {
    if (busy_depth_ == 0)
      busy_underflow_ = true;
    else
      --busy_depth_;
    events_.push_back("Busy off");
  }

  // --- ICursorSink --------------------------------------------------------------------
  void CursorChanged(TCursor cursor) override { cursors_.push_back(cursor); }

 private:
  TServicesScope scope_;
  std::deque<TModalResult> answers_;
  std::deque<std::optional<int>> picks_;
  std::vector<std::string> events_;
  std::vector<PickShown> pick_lists_;
  std::vector<TCursor> cursors_;
  int busy_depth_ = 0;
  bool busy_underflow_ = false;
};

}  // namespace rt::testing
