#include "platform/runtime/ui/dbgrid.h"
#include "platform/runtime/exception.h"

#include <algorithm>
#include <stdexcept>

#include "platform/runtime/ui/application.h"

namespace rt {

namespace {

// Default column width per display character: the average character width of the
// screens' 8-point font, so that the allocation grid's eight columns fit its form.
constexpr int kCharWidth = 6;
constexpr int kDefaultWidth = 64;  // a column without a field
constexpr int kGridLine = 1;       // the line between cells

// Drops the last UTF-8 character of a text.
void PopLastChar(std::string& text) {
  while (!text.empty()) {
    unsigned char c = static_cast<unsigned char>(text.back());
    text.pop_back();
    if ((c & 0xC0) != 0x80) break;  // a lead byte or a plain ASCII character
  }
}

// Length in bytes of the UTF-8 character that starts with `lead`.
size_t CharLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// Resets a flag when a scope ends, also by an exception.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

// ---------------------------------------------------------------------------------
bool TGridDrawState::Contains(TGridDrawStateItem item) const {
  switch (item) {
    case gdSelected:
      return selected;
    case gdFocused:
      return focused;
    case gdFixed:
      return fixed;
  }
  return false;
}

std::string TGridDrawState::ToString() const {
  std::string out;
  auto add = [&out](const char* name) { out += (out.empty() ? "" : ",") + std::string(name); };
  if (selected) add("gdSelected");
  if (focused) add("gdFocused");
  if (fixed) add("gdFixed");
  return "[" + out + "]";
}

std::string TColumnTitle::Caption() const {
  if (caption_) return *caption_;
  if (TField* field = column_.Field()) return field->DisplayLabel();
  return column_.FieldName();
}

TColumn::TColumn(TDBGrid& grid, int index) : grid_(grid), index_(index) {}

TField* TColumn::Field() const {
  TClientDataSet* dataset = grid_.DataSet();
  if (!dataset || field_name_.empty()) return nullptr;
  return dataset->FindField(field_name_);
}

int TColumn::Width() const {
  if (width_) return *width_;
  if (TField* field = Field()) return field->DisplayWidth() * kCharWidth + 4;
  return kDefaultWidth;
}

// ---------------------------------------------------------------------------------
TColumn& TDBGridColumns::operator[](int index) const {
  if (index < 0 || index >= Count()) throw EListError("Grid column index " + std::to_string(index) + " out of range");
  return *columns_[index];
}

TColumn& TDBGridColumns::Add() {
  if (!custom_) {
    columns_.clear();
    custom_ = true;
  }
  columns_.push_back(std::make_unique<TColumn>(grid_, Count()));
  grid_.ClampSelection();
  return *columns_.back();
}

TColumn& TDBGridColumns::Add(const std::string& field_name) {
  TColumn& column = Add();
  column.SetFieldName(field_name);
  return column;
}

void TDBGridColumns::Clear() {
  grid_.HideEditor();
  columns_.clear();
  custom_ = false;
  RebuildDefault();
  grid_.ClampSelection();
}

int TDBGridColumns::IndexOfField(const std::string& field_name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(columns_[i]->FieldName(), field_name)) return i;
  return -1;
}

void TDBGridColumns::RebuildDefault() {
  if (custom_) return;
  columns_.clear();
  TClientDataSet* dataset = grid_.DataSet();
  if (!dataset) return;
  for (TField* field : dataset->Fields()) {
    if (!field->Visible()) continue;
    columns_.push_back(std::make_unique<TColumn>(grid_, Count()));
    columns_.back()->SetFieldName(field->FieldName());
  }
}

// ---------------------------------------------------------------------------------
TDBGrid::TDBGrid(TComponent* owner) : TWinControl(owner) {
  tab_stop_ = true;
  SetColor(clWindow);
}

TDBGrid::~TDBGrid() { link_.SetDataSource(nullptr); }

void TDBGrid::SetDataSource(TDataSource* source) {
  HideEditor();
  link_.SetDataSource(source);
  columns_.RebuildDefault();
  ClampSelection();
  top_row_ = 1;
}

TColumn* TDBGrid::SelectedColumn() const {
  if (selected_ < 0 || selected_ >= columns_.Count()) return nullptr;
  return &columns_[selected_];
}

TField* TDBGrid::SelectedField() const {
  TColumn* column = SelectedColumn();
  return column ? column->Field() : nullptr;
}

void TDBGrid::SetSelectedIndex(int index) {
  if (index < 0 || index >= columns_.Count())
    throw EListError("Grid column index " + std::to_string(index) + " out of range");
  MoveCol(index);
}

void TDBGrid::SetSelectedField(TField* field) {
  if (!field) return;
  for (int i = 0; i < columns_.Count(); ++i)
    if (columns_[i].Visible() && columns_[i].Field() == field) {
      MoveCol(i);
      return;
    }
}

bool TDBGrid::IsEditing() const { return link_.Editing(); }

bool TDBGrid::CanEditColumn() const {
  TColumn* column = SelectedColumn();
  if (!column || !column->Visible() || read_only_ || column->ReadOnly()) return false;
  TClientDataSet* dataset = DataSet();
  if (!dataset || !dataset->Active()) return false;
  TField* field = column->Field();
  return field && !field->ReadOnly() && !field->Calculated();
}

// --- Editor --------------------------------------------------------------------------

void TDBGrid::SetEditorMode(bool open) {
  if (open)
    ShowEditor(true);
  else
    HideEditor();
}

std::string TDBGrid::EditorText() const {
  if (editor_open_) return editor_text_;
  TField* field = SelectedField();
  TClientDataSet* dataset = DataSet();
  if (!field || !dataset->Active() || (dataset->IsEmpty() && !IsEditing())) return "";
  return field->EditText();
}

void TDBGrid::ShowEditor(bool select_all) {
  if (!CanEditColumn()) return;
  if (editor_open_) {
    editor_select_all_ = editor_select_all_ || select_all;
    return;
  }
  std::string text = EditorText();
  editor_open_ = true;
  editor_text_ = std::move(text);
  editor_modified_ = false;
  editor_select_all_ = select_all;
}

void TDBGrid::HideEditor() {
  ClosePickList();
  editor_open_ = false;
  editor_modified_ = false;
  editor_select_all_ = false;
  editor_text_.clear();
}

void TDBGrid::ReloadEditor() {
  if (!editor_open_) return;
  editor_open_ = false;  // EditorText() then reads the field
  editor_text_ = EditorText();
  editor_open_ = true;
  editor_modified_ = false;
}

void TDBGrid::WriteEditor() {
  if (!editor_open_ || !editor_modified_) return;
  TField* field = SelectedField();
  if (!field) {
    editor_modified_ = false;
    return;
  }
  // The field's change notice must not overwrite the text the user typed.
  FlagScope writing(writing_editor_);
  field->SetText(editor_text_);
  editor_modified_ = false;
}

void TDBGrid::EnsureEditing() {
  TClientDataSet* dataset = DataSet();
  if (!dataset || IsEditing()) return;
  if (dataset->IsEmpty())
    dataset->Insert();
  else
    dataset->Edit();
}

// --- Moves ---------------------------------------------------------------------------

int TDBGrid::NextVisibleColumn(int from, int step) const {
  for (int i = from + step; i >= 0 && i < columns_.Count(); i += step)
    if (columns_[i].Visible()) return i;
  return -1;
}

int TDBGrid::FirstVisibleColumn() const { return NextVisibleColumn(-1, 1); }
int TDBGrid::LastVisibleColumn() const { return NextVisibleColumn(columns_.Count(), -1); }

void TDBGrid::ClampSelection() {
  int count = columns_.Count();
  if (count == 0) {
    selected_ = 0;
    return;
  }
  selected_ = std::clamp(selected_, 0, count - 1);
  if (!columns_[selected_].Visible()) {
    int visible = NextVisibleColumn(selected_, 1);
    if (visible < 0) visible = NextVisibleColumn(selected_, -1);
    if (visible >= 0) selected_ = visible;
  }
}

bool TDBGrid::LeaveColumn() {
  int old = selected_;
  WriteEditor();
  if (!in_col_exit_) {
    FlagScope exiting(in_col_exit_);
    if (OnColExit) OnColExit(this);
  }
  return selected_ == old;  // a handler that moved the grid itself wins
}

void TDBGrid::EnterColumn(int col) {
  HideEditor();
  selected_ = col;
  if (OnColEnter) OnColEnter(this);
}

void TDBGrid::MoveCol(int col) {
  if (col == selected_ || col < 0 || col >= columns_.Count()) return;
  if (!LeaveColumn()) return;
  EnterColumn(col);
}

void TDBGrid::MoveRowBy(int distance) {
  TClientDataSet* dataset = DataSet();
  if (!dataset || !dataset->Active() || distance == 0) return;
  WriteEditor();
  dataset->MoveBy(distance);  // posts the row being edited; a refused post stops here
  HideEditor();
  FollowCurrentRow();
}

void TDBGrid::NextRow() {
  TClientDataSet* dataset = DataSet();
  if (!dataset || !dataset->Active()) return;
  WriteEditor();
  if (dataset->State() == dsInsert && !dataset->Modified()) {
    // An inserted row left untouched is dropped rather than saved.
    if (dataset->RecNo() < dataset->RecordCount()) dataset->Cancel();
    return;
  }
  int moved = dataset->MoveBy(1);
  HideEditor();
  FollowCurrentRow();
  if (moved == 0 && !read_only_) dataset->Append();
}

void TDBGrid::PriorRow() {
  TClientDataSet* dataset = DataSet();
  if (!dataset || !dataset->Active()) return;
  WriteEditor();
  if (dataset->State() == dsInsert && !dataset->Modified()) {
    dataset->Cancel();
    HideEditor();
    return;
  }
  MoveRowBy(-1);
}

void TDBGrid::Tab(bool forward) {
  int next = NextVisibleColumn(selected_, forward ? 1 : -1);
  if (next >= 0) {
    MoveCol(next);
    return;
  }
  // Past the last column: the column is left on the row being left, then the row moves.
  int wrap = forward ? FirstVisibleColumn() : LastVisibleColumn();
  if (wrap < 0) return;
  if (wrap != selected_ && !LeaveColumn()) return;
  if (forward)
    NextRow();
  else
    PriorRow();
  if (wrap != selected_) EnterColumn(wrap);
}

void TDBGrid::MoveTo(int recno, int col) {
  TClientDataSet* dataset = DataSet();
  if (col != selected_) {
    MoveCol(col);
    if (selected_ != col) return;
  }
  if (dataset && dataset->Active() && recno != dataset->RecNo()) MoveRowBy(recno - dataset->RecNo());
}

void TDBGrid::CancelEdit() {
  editor_modified_ = false;
  if (IsEditing()) DataSet()->Cancel();
  HideEditor();
}

void TDBGrid::ReturnKey() {
  if (editor_open_) {
    WriteEditor();
    HideEditor();
  } else {
    ShowEditor(true);
  }
}

bool TDBGrid::FocusField(TField& field) {
  int col = -1;
  for (int i = 0; i < columns_.Count() && col < 0; ++i)
    if (columns_[i].Visible() && columns_[i].Field() == &field) col = i;
  if (col < 0) return false;
  MoveCol(col);
  if (selected_ != col) return false;
  if (!Focused()) {
    if (!CanFocus()) return false;
    SetFocus();
    if (!Focused()) return false;
  }
  ShowEditor(true);
  return editor_open_;
}

// --- Typing --------------------------------------------------------------------------

void TDBGrid::TypeInto(const std::string& text, bool backspace) {
  if (!CanEditColumn()) return;  // a read-only cell refuses the key
  EnsureEditing();               // BeforeEdit may refuse: the key is not taken
  if (!editor_open_) ShowEditor(true);
  if (!editor_open_) return;
  if (editor_select_all_) {
    editor_text_.clear();
    editor_select_all_ = false;
  }
  if (backspace)
    PopLastChar(editor_text_);
  else
    editor_text_ += text;
  editor_modified_ = true;
}

void TDBGrid::KeyPress(char& key) {
  // An open pick list takes Enter and Escape; any other key closes it first.
  if (pick_open_ && (key == 13 || key == 27)) {
    PickListKey(key == 13 ? VK_RETURN : VK_ESCAPE, 0);
    return;
  }
  ClosePickList();
  if (OnKeyPress) OnKeyPress(this, key);
  HandleKey(key);
}

void TDBGrid::HandleKey(char key) {
  switch (key) {
    case 0:
      return;  // dropped by OnKeyPress
    case 8:
      TypeInto("", true);
      return;
    case 9:
      Tab(true);
      return;
    case 13:
      ReturnKey();
      return;
    case 27:
      CancelEdit();
      return;
    default:
      if (static_cast<unsigned char>(key) < 32) return;
      TypeInto(std::string(1, key), false);
  }
}

void TDBGrid::KeyPressChar(const std::string& utf8_char) {
  if (utf8_char.empty()) return;
  char key = utf8_char[0];
  if (utf8_char.size() == 1) {
    KeyPress(key);
    return;
  }
  ClosePickList();
  if (OnKeyPress) OnKeyPress(this, key);
  if (key == utf8_char[0])
    TypeInto(utf8_char, false);  // the whole character
  else
    HandleKey(key);  // dropped, or replaced by another key
}

bool TDBGrid::PickListKey(int vk, TShiftState shift) {
  TColumn* column = SelectedColumn();
  const int count = column ? static_cast<int>(column->PickList().size()) : 0;
  if (count == 0) {
    ClosePickList();
    return false;
  }
  switch (vk) {
    case VK_UP:
    case VK_DOWN:
      if (shift & ssAlt) {
        ChoosePickItem(pick_index_);
      } else {
        pick_index_ = std::clamp(pick_index_ + (vk == VK_UP ? -1 : 1), 0, count - 1);
      }
      return true;
    case VK_HOME:
      pick_index_ = 0;
      return true;
    case VK_END:
      pick_index_ = count - 1;
      return true;
    case VK_RETURN:
      ChoosePickItem(pick_index_);
      return true;
    case VK_ESCAPE:
      ClosePickList();
      return true;
    default:
      ClosePickList();
      return false;
  }
}

void TDBGrid::OpenPickList() {
  TColumn* column = SelectedColumn();
  if (!column || column->PickList().empty() || !CanEditColumn()) return;
  ShowEditor(false);  // the list belongs to the cell's editor
  if (!editor_open_) return;
  const auto& items = column->PickList();
  auto at = std::find(items.begin(), items.end(), editor_text_);
  pick_index_ = at == items.end() ? -1 : static_cast<int>(at - items.begin());
  pick_open_ = true;
}

// Closes the list; a highlighted item is chosen (none: nothing changes).
void TDBGrid::ChoosePickItem(int index) {
  ClosePickList();
  TColumn* column = SelectedColumn();
  if (!column || index < 0 || index >= static_cast<int>(column->PickList().size()) || !CanEditColumn()) return;
  std::string choice = column->PickList()[index];
  EnsureEditing();
  if (!editor_open_) ShowEditor(false);
  editor_text_ = choice;
  editor_modified_ = true;
  editor_select_all_ = false;
  WriteEditor();
  ReloadEditor();  // the editor shows what the field took
}

void TDBGrid::RunEditButton() {
  ClosePickList();
  ShowEditor(false);  // the button belongs to the cell's editor
  if (OnEditButtonClick) OnEditButtonClick(this);
}

void TDBGrid::DoKey(int vk, TShiftState shift) {
  if (pick_open_ && PickListKey(vk, shift)) return;
  TColumn* column = SelectedColumn();
  if (vk == VK_DOWN && (shift & ssAlt)) {
    OpenPickList();
    return;
  }
  if (vk == VK_RETURN && (shift & ssCtrl)) {
    // The ellipsis button by keyboard; elsewhere Ctrl+Enter types nothing the grid takes.
    if (column && column->HasEllipsis()) RunEditButton();
    return;
  }
  TClientDataSet* dataset = DataSet();
  switch (vk) {
    case VK_TAB:
      Tab(!(shift & ssShift));
      break;
    case VK_LEFT:
      MoveCol(NextVisibleColumn(selected_, -1));
      break;
    case VK_RIGHT:
      MoveCol(NextVisibleColumn(selected_, 1));
      break;
    case VK_HOME:
      MoveCol(FirstVisibleColumn());
      break;
    case VK_END:
      MoveCol(LastVisibleColumn());
      break;
    case VK_UP:
      PriorRow();
      break;
    case VK_DOWN:
      NextRow();
      break;
    case VK_PRIOR:
      MoveRowBy(-std::max(1, VisibleRowCount()));
      break;
    case VK_NEXT:
      MoveRowBy(std::max(1, VisibleRowCount()));
      break;
    case VK_INSERT:
      if (dataset && dataset->Active() && !read_only_) {
        WriteEditor();
        dataset->Insert();
        HideEditor();
      }
      break;
    case VK_ESCAPE:
      CancelEdit();
      break;
    case VK_RETURN: {  // arrives as a character too, so OnKeyPress sees it first
      char key = 13;
      KeyPress(key);
      break;
    }
    case VK_F2:
      ShowEditor(false);
      break;
    default:
      break;
  }
}

void TDBGrid::DoExit() {
  ClosePickList();
  TClientDataSet* dataset = DataSet();
  if (dataset && dataset->Active()) {
    if (dataset->State() == dsInsert && !dataset->Modified() && !EditorModified())
      dataset->Cancel();
    else
      WriteEditor();
  }
  HideEditor();
  TWinControl::DoExit();
}

// --- Input calls ---------------------------------------------------------------------

bool TDBGrid::Guarded(const std::function<void()>& action) { return Application().Guard(action); }

bool TDBGrid::SelectCell(int recno, int col) {
  TClientDataSet* dataset = DataSet();
  if (col < 0 || col >= columns_.Count() || !columns_[col].Visible()) return false;
  if (!dataset || !dataset->Active() || recno < 1 || recno > dataset->RecordCount()) return false;
  return Guarded([&] {
    ClosePickList();  // a click elsewhere closes the list unchanged
    if (CanFocus() && !Focused()) {
      SetFocus();
      if (!Focused()) return;
    }
    MoveTo(recno, col);
  });
}

bool TDBGrid::Key(int vk, bool shift) { return KeyDown(vk, shift ? ssShift : 0); }

bool TDBGrid::KeyDown(int vk, TShiftState shift) {
  return Guarded([&] { DoKey(vk, shift); });
}

bool TDBGrid::TypeChar(char c) {
  return Guarded([&] {
    char key = c;
    KeyPress(key);
  });
}

bool TDBGrid::TypeText(const std::string& text) {
  return Guarded([&] {
    for (size_t i = 0; i < text.size();) {
      size_t len = std::min(CharLength(static_cast<unsigned char>(text[i])), text.size() - i);
      KeyPressChar(text.substr(i, len));
      i += len;
    }
  });
}

bool TDBGrid::OpenEditor() {
  if (!CanEditColumn()) return false;
  return Guarded([&] { ShowEditor(false); }) && editor_open_;
}

bool TDBGrid::EditButtonClick() {
  TColumn* column = SelectedColumn();
  if (!column || !column->HasEllipsis()) return false;
  return Guarded([&] { RunEditButton(); });
}

bool TDBGrid::PickListChoose(int index) {
  TColumn* column = SelectedColumn();
  if (!column || index < 0 || index >= static_cast<int>(column->PickList().size())) return false;
  if (!CanEditColumn()) return false;
  return Guarded([&] { ChoosePickItem(index); });
}

bool TDBGrid::PickListChoose(const std::string& text) {
  TColumn* column = SelectedColumn();
  if (!column) return false;
  const auto& items = column->PickList();
  auto it = std::find(items.begin(), items.end(), text);
  if (it == items.end()) return false;
  return PickListChoose(static_cast<int>(it - items.begin()));
}

bool TDBGrid::DropDown() {
  TColumn* column = SelectedColumn();
  if (!column || column->PickList().empty() || !CanEditColumn()) return false;
  return Guarded([&] { OpenPickList(); }) && pick_open_;
}

// --- Drawing -------------------------------------------------------------------------

int TDBGrid::VisibleRowCount() const {
  if (Height() <= 0) {
    TClientDataSet* dataset = DataSet();
    return dataset && dataset->Active() ? dataset->RecordCount() : 0;
  }
  return std::max(0, (Height() - TitleHeight() - kGridLine) / (row_height_ + kGridLine));
}

int TDBGrid::ComputeTopRow() const {
  TClientDataSet* dataset = DataSet();
  if (!dataset || !dataset->Active() || dataset->RecordCount() == 0) return 0;
  int current = dataset->RecNo();
  int visible = std::max(1, VisibleRowCount());
  int top = std::max(1, top_row_);
  if (current > 0 && current < top) top = current;
  if (current >= top + visible) top = current - visible + 1;
  int max_top = std::max(1, dataset->RecordCount() - visible + 1);
  return std::clamp(top, 1, max_top);
}

int TDBGrid::TopRow() const { return ComputeTopRow(); }

void TDBGrid::FollowCurrentRow() { top_row_ = std::max(1, ComputeTopRow()); }

TRect TDBGrid::CellRect(int visible_row, int col) const {
  if (col < 0 || col >= columns_.Count() || !columns_[col].Visible()) return {};
  int left = 0;
  for (int i = 0; i < col; ++i)
    if (columns_[i].Visible()) left += columns_[i].Width() + kGridLine;
  int top = visible_row < 0 ? 0 : TitleHeight() + kGridLine + visible_row * (row_height_ + kGridLine);
  int height = visible_row < 0 ? TitleHeight() : row_height_;
  return {left, top, left + columns_[col].Width(), top + height};
}

std::optional<std::pair<int, int>> TDBGrid::CellAt(int x, int y) const {
  int first = TitleHeight() + kGridLine;
  if (y < first || x < 0) return std::nullopt;
  int row = (y - first) / (row_height_ + kGridLine);
  TClientDataSet* dataset = DataSet();
  int top = ComputeTopRow();
  if (top == 0 || row >= VisibleRowCount()) return std::nullopt;
  int recno = top + row;
  if (recno > dataset->RecordCount()) return std::nullopt;
  int left = 0;
  for (int i = 0; i < columns_.Count(); ++i) {
    if (!columns_[i].Visible()) continue;
    int right = left + columns_[i].Width() + kGridLine;
    if (x < right) return std::make_pair(recno, i);
    left = right;
  }
  return std::nullopt;
}

TCanvas& TDBGrid::Canvas() const {
  if (!canvas_) throw EInvalidOperation("The grid's canvas is available only while it paints");
  return *canvas_;
}

TGridDrawState TDBGrid::CellState(int recno, int col) const {
  TGridDrawState state;
  state.selected = col == selected_ && recno == DataSet()->RecNo();
  state.focused = state.selected && Focused();
  return state;
}

void TDBGrid::DefaultDrawColumnCell(const TRect& rect, int /*data_col*/, TColumn& column, TGridDrawState /*state*/) {
  TField* field = column.Field();
  Canvas().TextRect(rect, rect.Left + 2, rect.Top + 2, field ? field->DisplayText() : "");
}

void TDBGrid::Paint(TCanvas& canvas) {
  struct CanvasScope {
    TCanvas*& slot;
    ~CanvasScope() { slot = nullptr; }
  } scope{canvas_};
  canvas_ = &canvas;
  FollowCurrentRow();

  for (int c = 0; c < columns_.Count(); ++c) {
    if (!columns_[c].Visible()) continue;
    TRect rect = CellRect(-1, c);
    std::string caption = columns_[c].Title().Caption();
    canvas.Brush.Color = clBtnFace;
    canvas.Font = Font();
    int width = canvas.TextWidth(caption);
    int x = rect.Left + 2;
    if (columns_[c].Title().Alignment() == taRightJustify) x = rect.Right - width - 2;
    if (columns_[c].Title().Alignment() == taCenter) x = rect.Left + (rect.Width() - width) / 2;
    canvas.TextRect(rect, x, rect.Top + 2, caption);
  }

  TClientDataSet* dataset = DataSet();
  if (!dataset || !dataset->Active() || dataset->RecordCount() == 0) return;
  int rows = VisibleRowCount();
  int count = dataset->RecordCount();
  for (int r = 0; r < rows && top_row_ + r <= count; ++r) {
    int recno = top_row_ + r;
    TReadRecordScope reading(*dataset, recno);  // the row's values, without a scroll
    for (int c = 0; c < columns_.Count(); ++c) {
      TColumn& column = columns_[c];
      if (!column.Visible()) continue;
      TRect rect = CellRect(r, c);
      TGridDrawState state = CellState(recno, c);
      canvas.Brush.Color = Color();
      canvas.Font = Font();
      if (state.selected) {
        canvas.Brush.Color = clHighlight;
        canvas.Font.Color = clHighlightText;
      }
      if (OnDrawColumnCell) {
        OnDrawColumnCell(this, rect, c, column, state);
      } else {
        DefaultDrawColumnCell(rect, c, column, state);
        if (state.focused) canvas.DrawFocusRect(rect);
      }
    }
  }
}

// --- The data link -------------------------------------------------------------------

void TDBGrid::Link::ActiveChanged() {
  grid_.HideEditor();
  grid_.columns_.RebuildDefault();
  grid_.ClampSelection();
  grid_.top_row_ = 1;
}

void TDBGrid::Link::DataSetChanged() {
  grid_.HideEditor();
  grid_.ClampSelection();
  grid_.FollowCurrentRow();
}

void TDBGrid::Link::DataSetScrolled(int /*distance*/) {
  grid_.HideEditor();
  grid_.FollowCurrentRow();
}

void TDBGrid::Link::RecordChanged(TField* field) {
  if (grid_.writing_editor_ || !grid_.editor_open_) return;
  if (!field || field == grid_.SelectedField()) grid_.ReloadEditor();
}

void TDBGrid::Link::StateChanged() {
  TClientDataSet* dataset = DataSet();
  if (!dataset || !dataset->Active())
    grid_.HideEditor();
  else if (!Editing())
    grid_.ReloadEditor();  // posted or cancelled: the editor shows the stored value
}

void TDBGrid::Link::LayoutChanged() {
  grid_.HideEditor();
  grid_.columns_.RebuildDefault();
  grid_.ClampSelection();
}

void TDBGrid::Link::UpdateData() { grid_.WriteEditor(); }

bool TDBGrid::Link::FocusControl(TField& field) { return grid_.FocusField(field); }

}  // namespace rt
