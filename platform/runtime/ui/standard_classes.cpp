#include "platform/runtime/ui/standard_classes.h"

#include "platform/runtime/ui/forms.h"
#include "platform/runtime/ui/layout.h"
#include "platform/runtime/ui/menus.h"

namespace rt {

namespace {

using json = nlohmann::json;

constexpr std::pair<const char*, TButtonGlyph> kGlyphs[] = {
    {"bgNone", bgNone},      {"bgNew", bgNew},     {"bgEdit", bgEdit},   {"bgDelete", bgDelete},
    {"bgSearch", bgSearch},  {"bgSave", bgSave},   {"bgPrint", bgPrint}, {"bgHelp", bgHelp},
    {"bgClose", bgClose},    {"bgClear", bgClear}, {"bgApply", bgApply}, {"bgCancel", bgCancel},
    {"bgPreview", bgPreview}};
constexpr std::pair<const char*, TAlign> kAligns[] = {{"alNone", alNone}, {"alTop", alTop},     {"alBottom", alBottom},
                                                      {"alLeft", alLeft}, {"alRight", alRight}, {"alClient", alClient}};
constexpr std::pair<const char*, TEditCharCase> kCharCases[] = {
    {"ecNormal", ecNormal}, {"ecUpperCase", ecUpperCase}, {"ecLowerCase", ecLowerCase}};
constexpr std::pair<const char*, TFormStyle> kFormStyles[] = {
    {"fsNormal", fsNormal}, {"fsMDIChild", fsMDIChild}, {"fsMDIForm", fsMDIForm}, {"fsStayOnTop", fsStayOnTop}};
constexpr std::pair<const char*, TWindowState> kWindowStates[] = {
    {"wsNormal", wsNormal}, {"wsMinimized", wsMinimized}, {"wsMaximized", wsMaximized}};

// {"Bold": true, "Color": "clRed", "Name": "Arial", "Size": 8}; omitted keys stay.
void SetFont(TFont& font, const json& value) {
  if (!value.is_object()) throw ELayoutError("a font object was expected");
  for (const auto& [key, v] : value.items()) {
    if (key == "Bold")
      font.Bold = LayoutBool(v);
    else if (key == "Color")
      font.Color = LayoutColor(v);
    else if (key == "Name")
      font.Name = LayoutString(v);
    else if (key == "Size")
      font.Size = LayoutInt(v);
    else
      throw ELayoutError("unknown font property " + key);
  }
}

// A reference to another component of the form, resolved once all exist.
template <class T, class Target>
void Reference(TClassBuilder<T>& builder, const std::string& property, void (T::*set)(Target*)) {
  builder.Property(property, [set, property](T& t, const json& v, TLayoutContext& ctx) {
    std::string name = LayoutString(v);
    T* self = &t;
    ctx.Defer([self, set, name, property, &ctx] {
      auto* target = dynamic_cast<Target*>(&ctx.Resolve(name));
      if (!target) throw ELayoutError(property + ": \"" + name + "\" is not of the expected class");
      (self->*set)(target);
    });
  });
}

}  // namespace

void RegisterStandardClasses(TClassRegistry& registry) {
  RegisterClass<TComponent>(registry, "TComponent", "", false);

  RegisterClass<TControl>(registry, "TControl", "TComponent", false)
      .Int("Left", &TControl::SetLeft)
      .Int("Top", &TControl::SetTop)
      .Int("Width", &TControl::SetWidth)
      .Int("Height", &TControl::SetHeight)
      .Bool("Visible", &TControl::SetVisible)
      .Bool("Enabled", &TControl::SetEnabled)
      .String("Caption", &TControl::SetCaption)
      .String("Text", &TControl::SetText)
      .String("Hint", &TControl::SetHint)
      .Bool("ShowHint", &TControl::SetShowHint)
      .Color("Color", &TControl::SetColor)
      .Int("TabOrder", &TControl::SetTabOrder)
      .Int("Tag", &TControl::SetTag)
      .Property("Align", [](TControl& c, const json& v, TLayoutContext&) { c.SetAlign(LayoutEnum(v, kAligns)); })
      .Property("Font", [](TControl& c, const json& v, TLayoutContext&) { SetFont(c.Font(), v); })
      .Event<void(TObject*)>("OnClick", &TControl::OnClick);

  RegisterClass<TWinControl>(registry, "TWinControl", "TControl", false)
      .Bool("TabStop", &TWinControl::SetTabStop)
      .Event<void(TObject*)>("OnEnter", &TWinControl::OnEnter)
      .Event<void(TObject*)>("OnExit", &TWinControl::OnExit);

  RegisterClass<TPanel>(registry, "TPanel", "TWinControl");
  RegisterClass<TGroupBox>(registry, "TGroupBox", "TWinControl");
  RegisterClass<TScrollBox>(registry, "TScrollBox", "TWinControl");
  RegisterClass<TTabSheet>(registry, "TTabSheet", "TWinControl");
  auto page_control = RegisterClass<TPageControl>(registry, "TPageControl", "TWinControl");
  Reference(page_control, "ActivePage", &TPageControl::SetActivePage);
  RegisterClass<TLabel>(registry, "TLabel", "TControl");

  RegisterClass<TEdit>(registry, "TEdit", "TWinControl")
      .Int("MaxLength", &TEdit::SetMaxLength)
      .Bool("ReadOnly", &TEdit::SetReadOnly)
      .Bool("Flat", &TEdit::SetFlat)
      .Bool("AutoSelect", &TEdit::SetAutoSelect)
      .Property("CharCase", [](TEdit& e, const json& v, TLayoutContext&) { e.SetCharCase(LayoutEnum(v, kCharCases)); })
      .Event<void(TObject*)>("OnChange", &TEdit::OnChange)
      .Event<void(TObject*, char&)>("OnKeyPress", &TEdit::OnKeyPress);

  RegisterClass<TCheckBox>(registry, "TCheckBox", "TWinControl")
      .Bool("Checked", &TCheckBox::SetChecked)
      .Bool("Flat", &TCheckBox::SetFlat);

  RegisterClass<TSpeedButton>(registry, "TSpeedButton", "TControl")
      .Bool("Flat", &TSpeedButton::SetFlat)
      .Property("Glyph", [](TSpeedButton& b, const json& v, TLayoutContext&) { b.SetGlyph(LayoutEnum(v, kGlyphs)); });

  RegisterClass<TMainMenu>(registry, "TMainMenu", "TComponent");
  RegisterClass<TMenuItem>(registry, "TMenuItem", "TComponent")
      .String("Caption", &TMenuItem::SetCaption)
      .Bool("Enabled", &TMenuItem::SetEnabled)
      .Bool("Visible", &TMenuItem::SetVisible)
      .Bool("Checked", &TMenuItem::SetChecked)
      .Property("ShortCut",
                [](TMenuItem& m, const json& v, TLayoutContext&) {
                  std::string text = LayoutString(v);
                  auto code = TextToShortCut(text);
                  if (!code) throw ELayoutError("unknown short-cut \"" + text + "\"");
                  m.SetShortCut(*code);
                })
      .Event<void(TObject*)>("OnClick", &TMenuItem::OnClick);

  auto form =
      RegisterClass<TForm>(registry, "TForm", "TWinControl")
          .Int("ClientWidth", &TForm::SetClientWidth)
          .Int("ClientHeight", &TForm::SetClientHeight)
          .Property("FormStyle",
                    [](TForm& f, const json& v, TLayoutContext&) { f.SetFormStyle(LayoutEnum(v, kFormStyles)); })
          .Property("WindowState",
                    [](TForm& f, const json& v, TLayoutContext&) { f.SetWindowState(LayoutEnum(v, kWindowStates)); })
          .Event<void(TObject*)>("OnCreate", &TForm::OnCreate)
          .Event<void(TObject*)>("OnShow", &TForm::OnShow)
          .Event<void(TObject*)>("OnDestroy", &TForm::OnDestroy)
          .Event<void(TObject*, TCloseAction&)>("OnClose", &TForm::OnClose)
          .Event<void(TObject*, bool&)>("OnCloseQuery", &TForm::OnCloseQuery);
  Reference(form, "Menu", &TForm::SetMenu);
  Reference(form, "ActiveControl", &TForm::SetActiveControl);
  // A form's Visible is never read from its layout: forms are shown by code.
  form.Property("Visible", [](TForm&, const json& v, TLayoutContext&) { LayoutBool(v); });
}

}  // namespace rt
