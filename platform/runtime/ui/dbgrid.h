// The data-aware grid: shows the records of a data source's dataset as rows and a list
// of columns (by field name), edits the current record in place, and lets the screen
// draw every data cell itself.
//
// Rules (written down in docs/grid.md):
// - The current row is the dataset's current record; SelectedIndex is the selected
//   column (an index into Columns()).
// - Editor. The in-place editor shows the selected field's edit text (its OnGetText with
//   display false). A typed key first goes to OnKeyPress (by reference; 0 drops it).
//   Typing into an editable column puts the dataset in edit (Edit; an empty dataset is
//   asked to Insert) and opens the editor with its text selected, so the first key
//   replaces it; further keys append; backspace deletes the last character. A column is
//   not editable when it, its field or the grid is read-only, or it has no data field;
//   typing there is refused and nothing changes. The typed text reaches the field (its
//   SetText, through OnSetText) only when the grid leaves the column, on Return, or when
//   the dataset pulls pending editor text before a post.
// - Leaving a column (Tab, Left/Right, a click on another column, SelectedIndex by code):
//   the editor's text is written into the field, then OnColExit runs; only if it returns
//   normally does the grid move (an abort keeps the column, the open editor and the
//   row's edit state); the new column gets OnColEnter. A handler that itself moves the
//   grid to another column wins (the original move is abandoned); moves made while
//   OnColExit runs do not run it again.
// - Leaving a row (Up/Down, a click on another row): the editor's text is written, then
//   the dataset moves, which posts the row being edited; a post refused by BeforePost
//   cancels the move. A row move alone does not leave the column (no OnColExit); a
//   click on a cell of another row and column leaves the column first, on the row the
//   user is leaving, then moves the row. Down on the last row asks the dataset to
//   Append; the Insert key asks it to Insert (an inserted row left unmodified is
//   cancelled by Up/Down instead).
// - Escape cancels: the editor's typing is dropped, the dataset's edit is cancelled
//   (Cancel) and the editor closes. F2 opens the editor (caret at the end), Return
//   writes the editor's text into the field and closes it, or opens it when closed.
// - Buttons of the cell by keyboard: Ctrl+Enter on a column with an ellipsis runs
//   OnEditButtonClick, as a click on the button does. Alt+Down opens the selected
//   column's pick list (when it has one and is editable) with the item equal to the
//   cell's text highlighted; while it is open Up/Down/Home/End move the highlight,
//   Enter (or Alt+Up/Alt+Down) chooses it as PickListChoose does, Escape closes it
//   unchanged, and any other key or click closes it and then does what it does.
// - A field's FocusControl selects the field's column (leaving the current one as
//   above), gives the grid the focus (the focus rules run enter/exit events), and opens
//   the editor.
// - Drawing (Paint): a title row, then the visible rows from TopRow, which follows the
//   current row. For every visible data cell OnDrawColumnCell (or, without a handler,
//   DefaultDrawColumnCell) runs with the dataset reading that row (the cursor does not
//   move; no scroll event), the brush and font already set as the grid would draw the
//   cell: the window colour and the grid's font, or the highlight colours for the
//   selected cell.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/client_dataset.h"
#include "platform/runtime/data_source.h"
#include "platform/runtime/ui/canvas.h"
#include "platform/runtime/ui/controls.h"

namespace rt {

class TDBGrid;
class TColumn;

// Virtual keys the grid's navigation takes (the host system's key numbers).
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_PRIOR = 0x21;
constexpr int VK_NEXT = 0x22;
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_INSERT = 0x2D;
constexpr int VK_F2 = 0x71;

// Modifier keys held with a key (a bit set, as the host framework's TShiftState).
using TShiftState = unsigned;
constexpr TShiftState ssShift = 1;
constexpr TShiftState ssAlt = 2;
constexpr TShiftState ssCtrl = 4;

enum TColumnButtonStyle { cbsAuto, cbsEllipsis, cbsNone };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

enum TGridDrawStateItem { gdSelected, gdFocused, gdFixed };
// The state of a cell being drawn: selected is the current row's selected column;
// focused is that cell while the grid has the focus.
struct TGridDrawState {
  bool selected = false;
  bool focused = false;
  bool fixed = false;
  bool Contains(TGridDrawStateItem item) const;
  std::string ToString() const;  // "[]", "[gdSelected]", "[gdSelected,gdFocused]"
};

using TDrawColumnCellEvent =
    std::function<void(TObject* Sender, const TRect& Rect, int DataCol, TColumn& Column, TGridDrawState State)>;

class TColumnTitle {
 public:
  explicit TColumnTitle(TColumn& column) : column_(column) {}
  // The caption set, or else the field's DisplayLabel, or else the field name.
  std::string Caption() const;
  void SetCaption(const std::string& caption) { caption_ = caption; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment) { alignment_ = alignment; }

 private:
  TColumn& column_;
  std::optional<std::string> caption_;
  TAlignment alignment_ = taLeftJustify;
};

// One column of the grid: shows the field named FieldName of the grid's dataset.
class TColumn {
 public:
  TColumn(TDBGrid& grid, int index);
  TColumn(const TColumn&) = delete;
  TColumn& operator=(const TColumn&) = delete;

  TDBGrid& Grid() const { return grid_; }
  int Index() const { return index_; }

  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(const std::string& name) { field_name_ = name; }
  // The field of that name in the grid's dataset now, or nullptr.
  TField* Field() const;

  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only) { read_only_ = read_only; }
  // The width set, or else from the field's DisplayWidth (6 px a character, the average width of the screens' 8-point
  // font, plus 4), or 64.
  int Width() const;
  void SetWidth(int width) { width_ = width; }
  TColumnButtonStyle ButtonStyle() const { return button_style_; }
  void SetButtonStyle(TColumnButtonStyle style) { button_style_ = style; }
  std::vector<std::string>& PickList() { return pick_list_; }
  const std::vector<std::string>& PickList() const { return pick_list_; }
  void SetPickList(std::vector<std::string> items) { pick_list_ = std::move(items); }
  TColumnTitle& Title() { return title_; }
  const TColumnTitle& Title() const { return title_; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }

  // Offers an ellipsis button on the selected cell.
  bool HasEllipsis() const { return button_style_ == cbsEllipsis; }

 private:
  friend class TDBGridColumns;
  TDBGrid& grid_;
  int index_;
  std::string field_name_;
  bool read_only_ = false;
  std::optional<int> width_;
  TColumnButtonStyle button_style_ = cbsAuto;
  std::vector<std::string> pick_list_;
  TColumnTitle title_{*this};
  bool visible_ = true;
};

// The grid's columns, in display order. Until a column is added by code or layout, the
// grid shows one default column per visible field of its dataset (rebuilt when the
// dataset opens or its fields change); adding one switches to the custom list.
class TDBGridColumns {
 public:
  explicit TDBGridColumns(TDBGrid& grid) : grid_(grid) {}
  int Count() const { return static_cast<int>(columns_.size()); }
  TColumn& operator[](int index) const;  // EListError outside 0..Count()-1
  TColumn& Items(int index) const { return (*this)[index]; }
  TColumn& Add();
  TColumn& Add(const std::string& field_name);
  void Clear();  // back to default columns
  // The index of the first column showing that field (case-insensitive), or -1.
  int IndexOfField(const std::string& field_name) const;
  bool Custom() const { return custom_; }

 private:
  friend class TDBGrid;
  void RebuildDefault();
  TDBGrid& grid_;
  std::vector<std::unique_ptr<TColumn>> columns_;
  bool custom_ = false;
};

class TDBGrid : public TWinControl {
 public:
  explicit TDBGrid(TComponent* owner = nullptr);
  ~TDBGrid() override;
  std::string ClassName() const override { return "TDBGrid"; }

  // --- Data ------------------------------------------------------------------------
  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source);
  // The dataset shown, or nullptr.
  TClientDataSet* DataSet() const { return link_.DataSet(); }
  TDBGridColumns& Columns() { return columns_; }
  const TDBGridColumns& Columns() const { return columns_; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only) { read_only_ = read_only; }

  // --- Selection -------------------------------------------------------------------
  int SelectedIndex() const { return selected_; }
  // Moves to that column as the user would (editor written, OnColExit, OnColEnter);
  // exceptions of the handlers go to the caller.
  void SetSelectedIndex(int index);
  TColumn* SelectedColumn() const;
  // The field of the selected column, or nullptr.
  TField* SelectedField() const;
  void SetSelectedField(TField* field);

  // --- Editor ----------------------------------------------------------------------
  bool EditorMode() const { return editor_open_; }
  // Opens (when the column is editable) or closes the editor; closing drops typing.
  void SetEditorMode(bool open);
  // The editor's text when open, else the selected field's edit text ("" without one).
  std::string EditorText() const;
  // The editor holds typing not yet written into the field.
  bool EditorModified() const { return editor_open_ && editor_modified_; }
  // The selected column can be edited now (see the rules above).
  bool CanEditColumn() const;

  // --- Drawing ---------------------------------------------------------------------
  int DefaultRowHeight() const { return row_height_; }
  void SetDefaultRowHeight(int height) { row_height_ = height; }
  int TitleHeight() const { return row_height_; }
  // Rows that fit below the title; with no height set, every row of the dataset.
  int VisibleRowCount() const;
  // The record number (1-based) drawn in the first data row; 0 when there is none.
  int TopRow() const;
  // The rectangle of a cell: visible_row 0 is the first data row (-1 the title row),
  // col a column index; an empty rectangle for an invisible column.
  TRect CellRect(int visible_row, int col) const;
  // The record number and column index of a point, if it is on a data cell.
  std::optional<std::pair<int, int>> CellAt(int x, int y) const;
  // Draws the titles and every visible data cell on the canvas.
  void Paint(TCanvas& canvas);
  // The canvas being painted on (valid during Paint; what drawing handlers use).
  TCanvas& Canvas() const;
  // The grid's own drawing of a data cell: the brush fills the rectangle, the field's
  // display text at left + 2, top + 2, clipped to the cell.
  void DefaultDrawColumnCell(const TRect& rect, int data_col, TColumn& column, TGridDrawState state);

  // --- Input calls (the user's actions; each under the application's exception
  //     handler; true when the action ran to its end) ----------------------------------
  // A click on a cell: record number (1-based) and column index. Gives the grid the focus.
  bool SelectCell(int recno, int col);
  // A navigation key: VK_TAB (shift: backwards), VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN,
  // VK_HOME, VK_END, VK_INSERT, VK_ESCAPE, VK_RETURN, VK_F2.
  bool Key(int vk, bool shift = false);
  // A key with its modifiers: as Key, plus Ctrl+Enter (the ellipsis button) and
  // Alt+Down (the pick list), and the keys of an open pick list.
  bool KeyDown(int vk, TShiftState shift);
  // A typed character (through OnKeyPress first); a UTF-8 character is taken whole.
  bool TypeChar(char c);
  bool TypeText(const std::string& text);
  bool OpenEditor();
  // The ellipsis button of the selected cell; false when the column offers none.
  bool EditButtonClick();
  // Chooses an item of the selected column's pick list, as typing it would.
  bool PickListChoose(int index);
  bool PickListChoose(const std::string& text);
  // Opens the selected column's pick list (its drop-down button, Alt+Down); false when
  // the column has none or cannot be edited.
  bool DropDown();

  // --- Pick list state (what a host shows under the cell) ----------------------------
  bool PickListOpen() const { return pick_open_; }
  // The highlighted item of the open list; -1 when none is.
  int PickListIndex() const { return pick_index_; }

  // Losing the focus writes the editor's typing into the field (an unmodified inserted
  // row is cancelled instead) and closes the editor; a failure there keeps the focus
  // and the editor. Then OnExit.
  void DoExit() override;

  // What a typed key does once the grid has the focus (Input::TypeKey lands here).
  void KeyPress(char& key) override;
  void KeyPressChar(const std::string& utf8_char) override;

  // --- Events ----------------------------------------------------------------------
  TNotifyEvent OnColEnter;
  TNotifyEvent OnColExit;
  TNotifyEvent OnEditButtonClick;
  TKeyPressEvent OnKeyPress;
  TDrawColumnCellEvent OnDrawColumnCell;

 private:
  class Link : public TDataLink {
   public:
    explicit Link(TDBGrid& grid) : grid_(grid) {}
    void ActiveChanged() override;
    void DataSetChanged() override;
    void DataSetScrolled(int distance) override;
    void RecordChanged(TField* field) override;
    void StateChanged() override;
    void LayoutChanged() override;
    void UpdateData() override;
    bool FocusControl(TField& field) override;

   private:
    TDBGrid& grid_;
  };
  friend class Link;
  friend class TDBGridColumns;

  bool Guarded(const std::function<void()>& action);
  // Actions behind the input calls (unguarded; exceptions go to the caller).
  void DoKey(int vk, TShiftState shift);
  // The keys of an open pick list; false when the key closed it and goes on.
  bool PickListKey(int vk, TShiftState shift);
  void OpenPickList();
  void ClosePickList() {
    pick_open_ = false;
    pick_index_ = -1;
  }
  void ChoosePickItem(int index);
  void RunEditButton();
  void TypeInto(const std::string& text, bool backspace);
  // What a key does once OnKeyPress has seen it.
  void HandleKey(char key);
  void MoveTo(int recno, int col);
  void MoveCol(int col);
  // Writes the editor and runs OnColExit; false when a handler moved the grid itself.
  bool LeaveColumn();
  void EnterColumn(int col);
  void MoveRowBy(int distance);
  void Tab(bool forward);
  void NextRow();
  void PriorRow();
  void CancelEdit();
  void ReturnKey();
  bool FocusField(TField& field);
  // Writes the editor's typing into the field (SetText) when it has any.
  void WriteEditor();
  void ShowEditor(bool select_all);
  void HideEditor();
  void ReloadEditor();
  // The dataset in edit or insert state (asks for it when browsing).
  void EnsureEditing();
  bool IsEditing() const;
  int NextVisibleColumn(int from, int step) const;
  int FirstVisibleColumn() const;
  int LastVisibleColumn() const;
  void ClampSelection();
  void FollowCurrentRow();
  int ComputeTopRow() const;
  TGridDrawState CellState(int recno, int col) const;

  Link link_{*this};
  TDBGridColumns columns_{*this};
  bool read_only_ = false;
  int selected_ = 0;
  bool editor_open_ = false;
  bool editor_modified_ = false;
  bool editor_select_all_ = false;
  std::string editor_text_;
  bool writing_editor_ = false;
  bool in_col_exit_ = false;
  bool pick_open_ = false;
  int pick_index_ = -1;
  int row_height_ = 18;
  int top_row_ = 1;
  TCanvas* canvas_ = nullptr;
};

}  // namespace rt
