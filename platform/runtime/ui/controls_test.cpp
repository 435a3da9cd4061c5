// Text boxes, check boxes, tool buttons, menus and short-cuts, and the enabling of a
// container's children, driven through the input calls.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/runtime/abort.h"
#include "platform/runtime/ui/forms.h"
#include "platform/runtime/ui/input.h"
#include "platform/runtime/ui/testing/scripted_services.h"

namespace rt {
namespace {

class ControlsTest : public ::testing::Test {
 protected:
  ControlsTest() : form(std::make_unique<TForm>()) {
    edit = Create<TEdit>(form.get(), "edtNr");
    edit->SetParent(form.get());
    edit->OnChange = [this](TObject*) { changes += "[" + edit->Text() + "]"; };
  }
  void ShowFocused(TWinControl* control) {
    form->SetActiveControl(control);
    form->Show();
  }

  testing::TScriptedServices services;
  std::unique_ptr<TForm> form;
  TEdit* edit;
  std::string changes;
};

// --- Typing into a text box -------------------------------------------------------------

bool LettersDigitsBackspace(char c) {
  return c == 8 || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

struct TypingCase {
  const char* name;
  TEditCharCase char_case;
  int max_length;
  bool filter;  // keeps letters, digits and backspace only
  bool read_only;
  const char* typed;
  const char* text;
  const char* changes;
};

class TypingTest : public ControlsTest, public ::testing::WithParamInterface<TypingCase> {};

TEST_P(TypingTest, KeysGoThroughTheFilterThenIntoTheText) {
  const TypingCase& c = GetParam();
  edit->SetCharCase(c.char_case);
  edit->SetMaxLength(c.max_length);
  edit->SetReadOnly(c.read_only);
  if (c.filter)
    edit->OnKeyPress = [](TObject*, char& key) {
      if (!LettersDigitsBackspace(key)) key = 0;
    };
  ShowFocused(edit);
  Input::TypeText(c.typed);
  EXPECT_EQ(edit->Text(), c.text);
  EXPECT_EQ(changes, c.changes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TypingTest,
    ::testing::Values(
        TypingCase{"Plain", ecNormal, 0, false, false, "ab1", "ab1", "[a][ab][ab1]"},
        TypingCase{"FilterDropsPunctuationBlanksAndEnter", ecNormal, 0, true, false, "1.2- 3\r", "123", "[1][12][123]"},
        TypingCase{"UpperCase", ecUpperCase, 0, false, false, "a1b", "A1B", "[A][A1][A1B]"},
        TypingCase{"UpperCaseAccents", ecUpperCase, 0, false, false, "çã", "ÇÃ", "[Ç][ÇÃ]"},
        TypingCase{"MaxLengthInCharacters", ecNormal, 2, false, false, "ção", "çã", "[ç][çã]"},
        TypingCase{"Backspace", ecNormal, 0, true, false, "12\b3", "13", "[1][12][1][13]"},
        TypingCase{"BackspaceOnEmpty", ecNormal, 0, false, false, "\b", "", ""},
        TypingCase{"BackspaceFreesRoomUnderMaxLength", ecNormal, 2, false, false, "12\b34", "13", "[1][12][1][13]"},
        TypingCase{"ReadOnly", ecNormal, 0, false, true, "ab\b", "", ""},
        TypingCase{"FilterDropsAccentedLetters", ecNormal, 0, true, false, "aç", "a", "[a]"},
        TypingCase{"MalformedUtf8ReadAsLatin1", ecNormal, 0, false, false, "a\xE7\xC3", "açÃ", "[a][aç][açÃ]"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControlsTest, AKeyFilterCanReplaceTheKey) {
  edit->OnKeyPress = [](TObject*, char& key) {
    if (key == ',') key = '.';
  };
  ShowFocused(edit);
  Input::TypeText("1,5");
  EXPECT_EQ(edit->Text(), "1.5");
}

TEST_F(ControlsTest, ALoneKeyByteAboveAsciiIsALatin1Character) {
  ShowFocused(edit);
  Input::TypeKey('\xE7');
  EXPECT_EQ(edit->Text(), "ç");
}

TEST_F(ControlsTest, TextSetByCodeRaisesOnChangeOnlyWhenItChanges) {
  edit->SetText("0000000012");
  edit->SetText("0000000012");
  edit->SetText("");
  EXPECT_EQ(changes, "[0000000012][]");
}

TEST_F(ControlsTest, UpperCaseAppliesToTextSetByCode) {
  edit->SetCharCase(ecUpperCase);
  edit->SetText("abc");
  EXPECT_EQ(edit->Text(), "ABC");
  edit->SetText("ABC");
  EXPECT_EQ(changes, "[ABC]");
}

TEST_F(ControlsTest, KeysGoToTheFocusedControlOnlyWhileItCanTakeInput) {
  auto* other = Create<TEdit>(form.get(), "edtOther");
  other->SetParent(form.get());
  ShowFocused(edit);
  Input::TypeKey('a');
  Input::FocusControl(*other);
  Input::TypeKey('b');
  other->SetEnabled(false);
  EXPECT_FALSE(Input::TypeKey('c'));
  EXPECT_EQ(edit->Text() + "|" + other->Text(), "a|b");
}

TEST_F(ControlsTest, AnErrorInAKeyHandlerIsShownOnceAndTheKeyIsNotTaken) {
  edit->OnKeyPress = [](TObject*, char&) { throw std::runtime_error("Tecla inválida"); };
  ShowFocused(edit);
  EXPECT_FALSE(Input::TypeKey('a'));
  EXPECT_EQ(edit->Text(), "");
  EXPECT_EQ(services.Log(), "Error: Tecla inválida");
}

// --- Selection on entry ------------------------------------------------------------------

// A number box whose exit presets the next box (a two-digit sequence) to "00", as the
// budget selection does; the user then enters the sequence box and types.
struct EntryCase {
  const char* name;
  bool auto_select;
  void (*enter)(TEdit& sequence);  // how the user gets into the sequence box
  const char* typed;
  const char* text;
};

void TabForward(TEdit&) { Input::PressTab(); }
void TabBackward(TEdit&) { Input::PressTab(true); }
void ClickInto(TEdit& sequence) { Input::FocusControl(sequence); }

class EntryTest : public ControlsTest, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(EntryTest, TheFirstKeyReplacesATextSelectedOnEntry) {
  const EntryCase& c = GetParam();
  auto* sequence = Create<TEdit>(form.get(), "edtSeq");
  sequence->SetParent(form.get());
  sequence->SetMaxLength(2);
  sequence->SetAutoSelect(c.auto_select);
  sequence->OnKeyPress = [](TObject*, char& key) {
    if (key != 8 && (key < '0' || key > '9')) key = 0;
  };
  edit->OnExit = [sequence](TObject*) { sequence->SetText("00"); };
  ShowFocused(edit);
  c.enter(*sequence);
  ASSERT_TRUE(sequence->Focused());
  Input::TypeText(c.typed);
  EXPECT_EQ(sequence->Text(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Cases, EntryTest,
                         ::testing::Values(EntryCase{"TabThenDigits", true, TabForward, "01", "01"},
                                           EntryCase{"ShiftTabThenDigits", true, TabBackward, "01", "01"},
                                           EntryCase{"BackspaceClearsTheSelection", true, TabForward, "\b7", "7"},
                                           EntryCase{"ADroppedKeyKeepsTheSelection", true, TabForward, "x1", "1"},
                                           EntryCase{"AClickSelectsNothing", true, ClickInto, "\b1", "01"},
                                           EntryCase{"WithoutAutoSelectTypingAppends", false, TabForward, "1", "00"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControlsTest, TheSelectionIsTheWholeTextUntilTextIsSetByCode) {
  edit->SetText("0012");
  auto* other = Create<TEdit>(form.get(), "edtOther");
  other->SetParent(form.get());
  ShowFocused(other);
  Input::PressTab();
  ASSERT_TRUE(edit->Focused());
  EXPECT_EQ(edit->SelStart(), 0);
  EXPECT_EQ(edit->SelLength(), 4);
  EXPECT_EQ(edit->SelText(), "0012");
  edit->SetText("0013");
  EXPECT_EQ(edit->SelLength(), 0);
  EXPECT_EQ(edit->SelStart(), 4);
  Input::TypeText("4");
  EXPECT_EQ(edit->Text(), "00134");
}

// --- Check boxes -------------------------------------------------------------------------

TEST_F(ControlsTest, CheckBoxRaisesOnClickWheneverItsStateChanges) {
  auto* check = Create<TCheckBox>(form.get(), "ckbCopia");
  check->SetParent(form.get());
  std::string clicks;
  check->OnClick = [&](TObject*) { clicks += check->Checked() ? "on " : "off "; };
  ShowFocused(edit);

  check->SetChecked(true);  // by code
  check->SetChecked(true);  // no change: no event
  Input::Click(*check);     // by the user: focus, then toggle
  EXPECT_EQ(form->ActiveControl(), check);
  Input::TypeKey(' ');  // space toggles as a click does
  EXPECT_EQ(clicks, "on off on ");
}

TEST_F(ControlsTest, ClickingACheckBoxIsCancelledWhenTheFocusCannotLeave) {
  auto* check = Create<TCheckBox>(form.get(), "ckbCopia");
  check->SetParent(form.get());
  edit->OnExit = [](TObject*) { Abort(); };
  ShowFocused(edit);
  Input::Click(*check);
  EXPECT_FALSE(check->Checked());
  EXPECT_EQ(form->ActiveControl(), edit);
}

// --- Tool buttons --------------------------------------------------------------------------

TEST_F(ControlsTest, ToolButtonsRunOnlyWhenEnabledAndNeverTakeTheFocus) {
  auto* panel = Create<TPanel>(form.get(), "panMenu");
  panel->SetParent(form.get());
  auto* button = Create<TSpeedButton>(form.get(), "sbtGeraConta");
  button->SetParent(panel);
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  ShowFocused(edit);

  EXPECT_TRUE(Input::Click(*button));
  button->SetEnabled(false);
  EXPECT_FALSE(Input::Click(*button));
  button->SetEnabled(true);
  panel->SetEnabled(false);
  EXPECT_FALSE(Input::Click(*button));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(form->ActiveControl(), edit);
}

// --- Menus and short-cuts -----------------------------------------------------------------

struct ShortCutTextCase {
  const char* text;
  TShortCut code;
  const char* canonical;
};

class ShortCutTextTest : public ::testing::TestWithParam<ShortCutTextCase> {};

TEST_P(ShortCutTextTest, ReadsAndWritesShortCuts) {
  const auto& c = GetParam();
  auto code = TextToShortCut(c.text);
  ASSERT_TRUE(code.has_value()) << c.text;
  EXPECT_EQ(*code, c.code);
  EXPECT_EQ(ShortCutToText(*code), c.canonical);
}

INSTANTIATE_TEST_SUITE_P(Texts, ShortCutTextTest,
                         ::testing::Values(ShortCutTextCase{"Ctrl+L", scCtrl | 'L', "Ctrl+L"},
                                           ShortCutTextCase{"ctrl+p", scCtrl | 'P', "Ctrl+P"},
                                           ShortCutTextCase{"Ctrl+Shift+F5", scCtrl | scShift | 0x74, "Shift+Ctrl+F5"},
                                           ShortCutTextCase{"F2", 0x71, "F2"},
                                           ShortCutTextCase{"Alt+Del", scAlt | 0x2E, "Alt+Del"}));

TEST(ShortCutText, RejectsWhatItCannotRead) {
  for (const char* text : {"", "Ctrl+", "Hyper+L", "Ctrl+LL", "F13", "+"}) EXPECT_FALSE(TextToShortCut(text)) << text;
}

class MenuTest : public ControlsTest {
 protected:
  MenuTest() {
    menu = Create<TMainMenu>(form.get(), "mnuMenu");
    form->SetMenu(menu);
    manutencao = Item("mnuManutencao", "Manutenção", "", &menu->Items());
    Item("N1", "-", "", manutencao);
    limpa = Item("mnuLimpaForn", "Limpar Profissionais", "Ctrl+L", manutencao);
    gera = Item("mnuGeraConta", "Gerar Conta a Pagar", "Ctrl+P", manutencao);
    operacao = Item("mnuOperacao", "Operação", "", &menu->Items());
    listagem = Item("mnuListagem", "Listagem", "Ctrl+A", operacao);
    form->Show();
  }
  TMenuItem* Item(const std::string& name, const std::string& caption, const std::string& short_cut,
                  TMenuItem* parent) {
    auto* item = Create<TMenuItem>(form.get(), name);
    item->SetCaption(caption);
    if (!short_cut.empty()) item->SetShortCut(*TextToShortCut(short_cut));
    item->OnClick = [this, name](TObject*) { ran += name + " "; };
    parent->Add(item);
    return item;
  }

  TMainMenu* menu;
  TMenuItem *manutencao, *operacao, *limpa, *gera, *listagem;
  std::string ran;
};

TEST_F(MenuTest, ShortCutsReachOnlyEnabledItemsUnderEnabledMenus) {
  gera->SetEnabled(false);
  operacao->SetEnabled(false);
  EXPECT_TRUE(Input::ShortCut(*form, "Ctrl+L"));
  EXPECT_FALSE(Input::ShortCut(*form, "Ctrl+P"));  // disabled item
  EXPECT_FALSE(Input::ShortCut(*form, "Ctrl+A"));  // item under a disabled menu
  EXPECT_FALSE(Input::ShortCut(*form, "Ctrl+Q"));  // nobody carries it
  EXPECT_EQ(ran, "mnuLimpaForn ");
  gera->SetEnabled(true);
  EXPECT_TRUE(Input::ShortCut(*form, "Ctrl+P"));
  EXPECT_EQ(ran, "mnuLimpaForn mnuGeraConta ");
}

TEST_F(MenuTest, ClickingADisabledItemDoesNothing) {
  limpa->SetEnabled(false);
  EXPECT_FALSE(Input::Click(*limpa));
  EXPECT_TRUE(Input::Click(*gera));
  EXPECT_EQ(ran, "mnuGeraConta ");
}

TEST_F(MenuTest, ItemsKeepTheirOrderAndSeparators) {
  std::string captions;
  for (TMenuItem* item : manutencao->Items()) captions += (item->IsLine() ? "---" : item->Caption()) + ";";
  EXPECT_EQ(captions, "---;Limpar Profissionais;Gerar Conta a Pagar;");
}

TEST_F(MenuTest, DestroyingAnItemTakesItOutOfItsMenu) {
  delete limpa;
  EXPECT_EQ(manutencao->Count(), 2);
  EXPECT_FALSE(Input::ShortCut(*form, "Ctrl+L"));
}

// --- Enabling the children of a container ---------------------------------------------------

TEST(SetChildEnabled, ReachesEveryDepthButNotTheContainer) {
  TForm form;
  auto* outer = Create<TPanel>(&form, "panOuter");
  outer->SetParent(&form);
  auto* inner = Create<TGroupBox>(&form, "grbInner");
  inner->SetParent(outer);
  auto* label = Create<TLabel>(&form, "lblDe");
  label->SetParent(inner);
  auto* edit = Create<TEdit>(&form, "edtSeqDe");
  edit->SetParent(inner);

  SetChildEnabled(*outer, false);
  EXPECT_TRUE(outer->Enabled());
  EXPECT_FALSE(inner->Enabled());
  EXPECT_FALSE(label->Enabled());
  EXPECT_FALSE(edit->Enabled());
  SetChildEnabled(*outer, true);
  EXPECT_TRUE(inner->Enabled() && label->Enabled() && edit->Enabled());
}

// --- Pages ---------------------------------------------------------------------------------

TEST(PageControl, OnlyTheActivePageShowsItsControls) {
  TForm form;
  auto* pages = Create<TPageControl>(&form, "pgcPadrao");
  pages->SetParent(&form);
  auto* first = Create<TTabSheet>(&form, "tshPadrao");
  first->SetParent(pages);
  auto* second = Create<TTabSheet>(&form, "tshOutra");
  second->SetParent(pages);
  auto* edit = Create<TEdit>(&form, "edtNaSegunda");
  edit->SetParent(second);
  form.Show();

  EXPECT_EQ(pages->ActivePage(), first);
  EXPECT_FALSE(edit->CanFocus());
  pages->SetActivePage(second);
  EXPECT_TRUE(edit->CanFocus());
  delete second;
  EXPECT_EQ(pages->ActivePage(), nullptr);
}

// --- Ownership -----------------------------------------------------------------------------

TEST(Components, NamesAreUniquePerOwnerIgnoringCase) {
  TForm form;
  Create<TEdit>(&form, "edtNr");
  EXPECT_THROW(Create<TEdit>(&form, "EDTNR"), EComponentError);
  EXPECT_THROW(Create<TEdit>(&form, "1abc"), EComponentError);
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_NE(form.Find<TEdit>("EdtNr"), nullptr);
  EXPECT_EQ(form.Find<TLabel>("edtNr"), nullptr);
}

TEST(Components, TheOwnerDestroysWhatItOwnsAndADestroyedComponentLeavesItsOwner) {
  std::string destroyed;
  {
    TForm form;
    auto* panel = Create<TPanel>(&form, "panA");
    auto* edit = Create<TEdit>(&form, "edtA");
    edit->SetParent(panel);
    edit->AddDestroyObserver([&](TComponent* c) { destroyed += c->Name() + " "; });
    panel->AddDestroyObserver([&](TComponent* c) { destroyed += c->Name() + " "; });
    auto* label = Create<TLabel>(&form, "lbl");
    delete label;
    EXPECT_EQ(form.ComponentCount(), 2);
  }
  EXPECT_EQ(destroyed, "edtA panA ");
}

}  // namespace
}  // namespace rt
