// Registration of the library's component classes with the runtime's class registry:
// which layout properties and events each offers.
#include <mutex>

#include "platform/clientlib/components.h"
#include "platform/clientlib/report_dialog.h"
#include "platform/runtime/ui/layout.h"

namespace clib {
namespace {

using json = nlohmann::json;
using rt::TLayoutContext;

// One field definition of a layout: {"name", "type", "size", "label", "displayWidth",
// "visible", "readOnly", "required", "calculated", "fixedLength", "editMask",
// "applied"}; "applied": false gives the empty provider flags.
rt::FieldDef FieldDefFromLayout(const json& j) {
  if (!j.is_object() || !j.contains("name")) throw rt::ELayoutError("A field definition needs a name");
  rt::FieldDef def;
  def.name = rt::LayoutString(j.at("name"));
  std::string type = j.contains("type") ? rt::LayoutString(j.at("type")) : "string";
  auto parsed = rt::FieldTypeFromName(type);
  if (!parsed) throw rt::ELayoutError("Field " + def.name + ": unknown type \"" + type + "\"");
  def.type = *parsed;
  if (j.contains("size")) def.size = rt::LayoutInt(j.at("size"));
  if (j.contains("label")) def.display_label = rt::LayoutString(j.at("label"));
  if (j.contains("displayWidth")) def.display_width = rt::LayoutInt(j.at("displayWidth"));
  if (j.contains("visible")) def.visible = rt::LayoutBool(j.at("visible"));
  if (j.contains("readOnly")) def.read_only = rt::LayoutBool(j.at("readOnly"));
  if (j.contains("required")) def.required = rt::LayoutBool(j.at("required"));
  if (j.contains("calculated")) def.calculated = rt::LayoutBool(j.at("calculated"));
  if (j.contains("fixedLength")) def.fixed_length = rt::LayoutBool(j.at("fixedLength"));
  if (j.contains("editMask")) def.edit_mask = rt::LayoutString(j.at("editMask"));
  if (j.contains("applied") && !rt::LayoutBool(j.at("applied"))) def.provider_flags = rt::ProviderFlags::NotApplied();
  return def;
}

std::vector<std::string> StringList(const json& v) {
  if (!v.is_array()) throw rt::ELayoutError("Expected a list of texts");
  std::vector<std::string> out;
  for (const auto& item : v) out.push_back(rt::LayoutString(item));
  return out;
}

using DataSetEvent = void(rt::TClientDataSet&);

// A dataset event property wired to a form handler of shape void(TClientDataSet&).
auto DataSetEventSetter(rt::TClientDataSet::TDataSetNotifyEvent rt::TClientDataSet::*member) {
  return [member](TClientDataSetComponent& c, const json& v, TLayoutContext& ctx) {
    c.DataSet().*member = ctx.Handlers().Get<DataSetEvent>(rt::LayoutString(v));
  };
}

void RegisterAll() {
  rt::RegisterClass<TMessages>("TMessages", "").Property("Items", [](TMessages& m, const json& v, TLayoutContext&) {
    m.SetItems(StringList(v));
  });

  rt::RegisterClass<TButtonFlat>("TButtonFlat", "TSpeedButton");
  rt::RegisterClass<TBtnPesquisa>("TBtnPesquisa", "TButtonFlat")
      .String("Titulo", &TBtnPesquisa::SetTitulo)
      .String("TextoVazio", &TBtnPesquisa::SetTextoVazio)
      .Property("Edit", [](TBtnPesquisa& b, const json& v, TLayoutContext& ctx) {
        std::string name = rt::LayoutString(v);
        ctx.Defer([&b, &ctx, name] {
          auto* edit = dynamic_cast<rt::TEdit*>(&ctx.Resolve(name));
          if (!edit) throw rt::ELayoutError("Edit of " + b.Name() + ": " + name + " is not an edit");
          b.SetEdit(edit);
        });
      });

  if (!rt::TClassRegistry::Instance().IsRegistered("TComboBox"))
    rt::RegisterClass<TComboBox>("TComboBox", "TWinControl")
        .Bool("Flat", &TComboBox::SetFlat)
        .Property("Items", [](TComboBox& c, const json& v, TLayoutContext&) { c.SetItems(StringList(v)); })
        .Int("ItemIndex", &TComboBox::SetItemIndex)
        .Event<void(rt::TObject*)>("OnChange", &TComboBox::OnChange);

  rt::RegisterClass<TClientDataSetComponent>("TClientDataSet", "")
      .Property("FieldDefs",
                [](TClientDataSetComponent& c, const json& v, TLayoutContext&) {
                  if (!v.is_array()) throw rt::ELayoutError("FieldDefs of " + c.Name() + " must be a list");
                  std::vector<rt::FieldDef> defs;
                  for (const auto& f : v) defs.push_back(FieldDefFromLayout(f));
                  c.DataSet().SetFieldDefs(std::move(defs));
                })
      .Property("IndexFieldNames", [](TClientDataSetComponent& c, const json& v,
                                      TLayoutContext&) { c.DataSet().SetIndexFieldNames(rt::LayoutString(v)); })
      .Property("BeforeInsert", DataSetEventSetter(&rt::TClientDataSet::BeforeInsert))
      .Property("BeforeEdit", DataSetEventSetter(&rt::TClientDataSet::BeforeEdit))
      .Property("BeforePost", DataSetEventSetter(&rt::TClientDataSet::BeforePost))
      .Property("BeforeDelete", DataSetEventSetter(&rt::TClientDataSet::BeforeDelete))
      .Property("AfterPost", DataSetEventSetter(&rt::TClientDataSet::AfterPost))
      .Property("OnCalcFields", DataSetEventSetter(&rt::TClientDataSet::OnCalcFields));

  rt::RegisterClass<TDataSourceComponent>("TDataSource", "")
      .Property("DataSet",
                [](TDataSourceComponent& s, const json& v, TLayoutContext& ctx) {
                  std::string name = rt::LayoutString(v);
                  ctx.Defer([&s, &ctx, name] {
                    auto* ds = dynamic_cast<TClientDataSetComponent*>(&ctx.Resolve(name));
                    if (!ds)
                      throw rt::ELayoutError("DataSet of " + s.Name() + ": " + name + " is not a client dataset");
                    s.Source().SetDataSet(&ds->DataSet());
                  });
                })
      .Event<void(rt::TObject*)>("OnStateChange", &TDataSourceComponent::OnStateChange);

  rt::RegisterClass<TNetConnectionComponent>("TNetConnection", "")
      .String("Host", &TNetConnectionComponent::SetHost)
      .Int("Port", &TNetConnectionComponent::SetPort)
      .String("ServerName", &TNetConnectionComponent::SetServerName)
      .Event<void(rt::TObject*)>("BeforeConnect", &TNetConnectionComponent::BeforeConnect);

  rt::RegisterClass<TReportDesignerDialog>("TReportDesignerDialog", "")
      .String("ReportCode", &TReportDesignerDialog::SetReportCode)
      .Property("Connection",
                [](TReportDesignerDialog& d, const json& v, TLayoutContext& ctx) {
                  std::string name = rt::LayoutString(v);
                  ctx.Defer([&d, &ctx, name] {
                    auto* net = dynamic_cast<TNetConnectionComponent*>(&ctx.Resolve(name));
                    if (!net)
                      throw rt::ELayoutError("Connection of " + d.Name() + ": " + name + " is not a TNetConnection");
                    d.SetConnection(net);
                  });
                })
      .Event<TReportDesignerDialog::TBeforeGetQueryParamsEvent>("BeforeGetQueryParams",
                                                                &TReportDesignerDialog::BeforeGetQueryParams);
}

}  // namespace

void RegisterComponentClasses() {
  static std::once_flag once;
  std::call_once(once, RegisterAll);
}

}  // namespace clib
