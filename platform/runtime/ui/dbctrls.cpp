#include "platform/runtime/ui/dbctrls.h"

#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/dbgrid.h"
#include "platform/runtime/ui/layout.h"
#include "platform/runtime/ui/services.h"

namespace rt {

namespace {

using json = nlohmann::json;

TDataSourceResolver& Resolver() {
  static TDataSourceResolver resolver;
  return resolver;
}

constexpr std::pair<const char*, TColumnButtonStyle> kButtonStyles[] = {
    {"cbsAuto", cbsAuto}, {"cbsEllipsis", cbsEllipsis}, {"cbsNone", cbsNone}};
constexpr std::pair<const char*, TAlignment> kAlignments[] = {
    {"taLeftJustify", taLeftJustify}, {"taRightJustify", taRightJustify}, {"taCenter", taCenter}};
constexpr std::pair<const char*, TNavigateBtn> kNavButtons[] = {
    {"nbFirst", nbFirst},   {"nbPrior", nbPrior}, {"nbNext", nbNext}, {"nbLast", nbLast},     {"nbInsert", nbInsert},
    {"nbDelete", nbDelete}, {"nbEdit", nbEdit},   {"nbPost", nbPost}, {"nbCancel", nbCancel}, {"nbRefresh", nbRefresh}};

// "DataSource": the name of a component of the form that stands for a data source.
template <class T>
void DataSourceProperty(TClassBuilder<T>& builder) {
  builder.Property("DataSource", [](T& control, const json& value, TLayoutContext& ctx) {
    std::string name = LayoutString(value);
    T* self = &control;
    ctx.Defer([self, name, &ctx] {
      TDataSource* source = ResolveDataSource(ctx.Resolve(name));
      if (!source) throw ELayoutError("DataSource: \"" + name + "\" is not a data source");
      self->SetDataSource(source);
    });
  });
}

// One column of a layout's "Columns" list:
// {"FieldName": "NRINSJURFORN", "ReadOnly": false, "Width": 120, "ButtonStyle": "cbsEllipsis",
//  "PickList": ["EM FOLHA", "GERAR CONTA"], "Visible": true,
//  "Title": {"Caption": "Profissional", "Alignment": "taRightJustify"}}
void ReadColumn(TColumn& column, const json& value) {
  if (!value.is_object()) throw ELayoutError("Columns: a column object was expected");
  for (const auto& [key, v] : value.items()) {
    if (key == "FieldName") {
      column.SetFieldName(LayoutString(v));
    } else if (key == "ReadOnly") {
      column.SetReadOnly(LayoutBool(v));
    } else if (key == "Width") {
      column.SetWidth(LayoutInt(v));
    } else if (key == "Visible") {
      column.SetVisible(LayoutBool(v));
    } else if (key == "ButtonStyle") {
      column.SetButtonStyle(LayoutEnum(v, kButtonStyles));
    } else if (key == "PickList") {
      if (!v.is_array()) throw ELayoutError("Columns: PickList must be a list of texts");
      std::vector<std::string> items;
      for (const auto& item : v) items.push_back(LayoutString(item));
      column.SetPickList(std::move(items));
    } else if (key == "Title") {
      if (!v.is_object()) throw ELayoutError("Columns: Title must be an object");
      for (const auto& [title_key, t] : v.items()) {
        if (title_key == "Caption")
          column.Title().SetCaption(LayoutString(t));
        else if (title_key == "Alignment")
          column.Title().SetAlignment(LayoutEnum(t, kAlignments));
        else
          throw ELayoutError("Columns: unknown title property " + title_key);
      }
    } else {
      throw ELayoutError("Columns: unknown column property " + key);
    }
  }
}

}  // namespace

// --- Resolving data sources --------------------------------------------------------

void SetDataSourceResolver(TDataSourceResolver resolver) { Resolver() = std::move(resolver); }

TDataSource* ResolveDataSource(TComponent& component) {
  if (Resolver()) {
    if (TDataSource* source = Resolver()(component)) return source;
  }
  if (auto* holder = dynamic_cast<IDataSourceHolder*>(&component)) return &holder->HeldDataSource();
  return nullptr;
}

// --- Registration ------------------------------------------------------------------

void RegisterDataControls(TClassRegistry& registry) {
  if (registry.IsRegistered("TDBGrid")) return;

  auto grid = RegisterClass<TDBGrid>(registry, "TDBGrid", "TWinControl");
  DataSourceProperty(grid);
  grid.Bool("ReadOnly", &TDBGrid::SetReadOnly)
      .Int("DefaultRowHeight", &TDBGrid::SetDefaultRowHeight)
      .Property("Columns",
                [](TDBGrid& g, const json& value, TLayoutContext&) {
                  if (!value.is_array()) throw ELayoutError("Columns: a list of columns was expected");
                  g.Columns().Clear();
                  for (const auto& item : value) ReadColumn(g.Columns().Add(), item);
                })
      .Event<void(TObject*)>("OnColEnter", &TDBGrid::OnColEnter)
      .Event<void(TObject*)>("OnColExit", &TDBGrid::OnColExit)
      .Event<void(TObject*)>("OnEditButtonClick", &TDBGrid::OnEditButtonClick)
      .Event<void(TObject*, char&)>("OnKeyPress", &TDBGrid::OnKeyPress)
      .Event<void(TObject*, const TRect&, int, TColumn&, TGridDrawState)>("OnDrawColumnCell",
                                                                          &TDBGrid::OnDrawColumnCell);

  auto text = RegisterClass<TDBText>(registry, "TDBText", "TControl");
  DataSourceProperty(text);
  text.String("DataField", &TDBText::SetDataField);

  auto navigator = RegisterClass<TDBNavigator>(registry, "TDBNavigator", "TWinControl");
  DataSourceProperty(navigator);
  navigator.Bool("ConfirmDelete", &TDBNavigator::SetConfirmDelete)
      .Property("VisibleButtons",
                [](TDBNavigator& n, const json& value, TLayoutContext&) {
                  if (!value.is_array()) throw ELayoutError("VisibleButtons: a list of button names was expected");
                  TNavButtonSet buttons;
                  for (const auto& item : value) buttons.insert(LayoutEnum(item, kNavButtons));
                  n.SetVisibleButtons(std::move(buttons));
                })
      .Property("Hints",
                [](TDBNavigator& n, const json& value, TLayoutContext&) {
                  if (!value.is_array()) throw ELayoutError("Hints: a list of texts was expected");
                  std::vector<std::string> hints;
                  for (const auto& item : value) hints.push_back(LayoutString(item));
                  try {
                    n.SetHints(hints);
                  } catch (const EListError& e) {
                    throw ELayoutError(std::string("Hints: ") + e.what());
                  }
                })
      .Event<void(TObject*, TNavigateBtn)>("BeforeAction", &TDBNavigator::BeforeAction)
      .Event<void(TObject*, TNavigateBtn)>("OnClick", &TDBNavigator::OnClick);
}

void RegisterDataControls() { RegisterDataControls(TClassRegistry::Instance()); }

namespace {
// Linking the data controls in makes them creatable from layouts.
const bool kRegistered = (RegisterDataControls(), true);
}  // namespace

// --- TDBText -----------------------------------------------------------------------

TDBText::TDBText(TComponent* owner) : TControl(owner) {}

TDBText::~TDBText() { link_.SetDataSource(nullptr); }

void TDBText::SetDataSource(TDataSource* source) {
  link_.SetDataSource(source);
  Refresh();
}

void TDBText::SetDataField(const std::string& field_name) {
  data_field_ = field_name;
  Refresh();
}

TField* TDBText::Field() const {
  TClientDataSet* dataset = link_.DataSet();
  if (!dataset || data_field_.empty()) return nullptr;
  return dataset->FindField(data_field_);
}

std::string TDBText::DisplayText() const {
  TField* field = Field();
  if (!field) return "";
  TClientDataSet& dataset = field->DataSet();
  if (!dataset.Active() || (dataset.IsEmpty() && !link_.Editing())) return "";
  return field->Text();
}

void TDBText::Refresh() { SetCaption(DisplayText()); }

// --- TDBNavigator ------------------------------------------------------------------

const char* NavigateBtnName(TNavigateBtn button) {
  for (const auto& [name, b] : kNavButtons)
    if (b == button) return name;
  return "?";
}

TDBNavigator::TDBNavigator(TComponent* owner) : TWinControl(owner) {
  for (const auto& entry : kNavButtons) visible_buttons_.insert(entry.second);
  SetHints({});
}

void TDBNavigator::SetHints(const std::vector<std::string>& hints) {
  static const std::array<const char*, nbRefresh + 1> kDefaultHints = {
      "Primeiro", "Anterior", "Próximo", "Último", "Incluir", "Excluir", "Alterar", "Gravar", "Cancelar", "Atualizar"};
  if (hints.size() > hints_.size())
    throw EListError("a navigator has " + std::to_string(hints_.size()) + " buttons, not " +
                     std::to_string(hints.size()) + " hints");
  for (size_t b = 0; b < hints_.size(); ++b)
    hints_[b] = b < hints.size() && !hints[b].empty() ? hints[b] : kDefaultHints[b];
}

TDBNavigator::~TDBNavigator() { link_.SetDataSource(nullptr); }

bool TDBNavigator::ButtonEnabled(TNavigateBtn button) const {
  if (!EnabledInChain() || !visible_buttons_.count(button)) return false;
  TClientDataSet* dataset = link_.DataSet();
  if (!dataset || !dataset->Active()) return false;
  bool editing = link_.Editing();
  bool empty = dataset->IsEmpty();
  int recno = dataset->RecNo();
  switch (button) {
    case nbFirst:
    case nbPrior:
      return !empty && recno > 1;
    case nbNext:
    case nbLast:
      return !empty && recno < dataset->RecordCount();
    case nbInsert:
      return true;
    case nbDelete:
    case nbEdit:
      return !empty && !editing;
    case nbPost:
    case nbCancel:
      return editing;
    case nbRefresh:
      return !editing;
  }
  return false;
}

void TDBNavigator::BtnClick(TNavigateBtn button) {
  TClientDataSet* dataset = link_.DataSet();
  if (!dataset) return;
  switch (button) {
    case nbFirst:
      dataset->First();
      break;
    case nbPrior:
      dataset->Prior();
      break;
    case nbNext:
      dataset->Next();
      break;
    case nbLast:
      dataset->Last();
      break;
    case nbInsert:
      dataset->Insert();
      break;
    case nbDelete:
      if (confirm_delete_ && MessageDlg("Excluir registro?", mtConfirmation, {mbOK, mbCancel}, 0) != mrOk) return;
      dataset->Delete();
      break;
    case nbEdit:
      dataset->Edit();
      break;
    case nbPost:
      dataset->Post();
      break;
    case nbCancel:
      dataset->Cancel();
      break;
    case nbRefresh:
      dataset->CheckBrowseMode();
      dataset->DataEvent(deDataSetChange);
      break;
  }
}

bool TDBNavigator::Press(TNavigateBtn button) {
  if (!ButtonEnabled(button)) return false;
  return Application().Guard([&] {
    if (BeforeAction) BeforeAction(this, button);
    BtnClick(button);
    if (OnClick) OnClick(this, button);
  });
}

}  // namespace rt
