// The application's exception handler, form life cycle (close actions, deferred
// release, failed creation), the screen cursor and the host-service registry.
#include <memory>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "platform/runtime/abort.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/input.h"
#include "platform/runtime/ui/testing/scripted_services.h"

namespace rt {
namespace {

// --- The exception handler ---------------------------------------------------------------

struct GuardCase {
  const char* name;
  std::function<void()> body;
  bool ok;
  const char* shown;
};

class GuardTest : public ::testing::TestWithParam<GuardCase> {
 protected:
  testing::TScriptedServices services;
};

TEST_P(GuardTest, ShowsEveryFailureButTheAbortOnceAndLetsNothingEscape) {
  const auto& c = GetParam();
  bool ok = true;
  EXPECT_NO_THROW(ok = Application().Guard(c.body));
  EXPECT_EQ(ok, c.ok);
  EXPECT_EQ(services.Log(), c.shown);
  EXPECT_EQ(Application().GuardDepth(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GuardTest,
    ::testing::Values(GuardCase{"Normal", [] {}, true, ""}, GuardCase{"SilentAbort", [] { Abort(); }, false, ""},
                      GuardCase{"Error", [] { throw std::runtime_error("Orçamento não cadastrado."); }, false,
                                "Error: Orçamento não cadastrado."},
                      GuardCase{"NonStandard", [] { throw 42; }, false, "Error: Unknown error"},
                      GuardCase{"NestedErrorShownOnce",
                                [] {
                                  Application().Guard([] { throw std::runtime_error("inner"); });
                                  throw std::runtime_error("outer");
                                },
                                false, "Error: inner | Error: outer"},
                      GuardCase{"AbortAfterAMessage",
                                [] {
                                  MessageDlg("Conta gerada com sucesso.", mtInformation, {mbOK}, 0);
                                  Abort();
                                },
                                false, "MessageDlg(information, OK): Conta gerada com sucesso. -> OK"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Guard, AFailingErrorDialogDoesNotEscapeEither) {
  struct Failing : testing::TScriptedServices {
    void ShowError(const std::string&) override { throw std::runtime_error("no display"); }
  } services;
  EXPECT_NO_THROW(Application().Guard([] { throw std::runtime_error("x"); }));
}

TEST(Guard, AButtonHandlerErrorReachesTheUserOnceThroughTheInputCall) {
  testing::TScriptedServices services;
  TForm form;
  auto* button = Create<TSpeedButton>(&form, "sbtGeraConta");
  button->SetParent(&form);
  button->OnClick = [](TObject*) { throw std::runtime_error("Servidor indisponível"); };
  form.Show();
  EXPECT_FALSE(Input::Click(*button));
  EXPECT_EQ(services.Log(), "Error: Servidor indisponível");
}

// --- Closing forms -------------------------------------------------------------------------

class CloseTest : public ::testing::Test {
 protected:
  CloseTest() {
    form = new TForm(&Application());
    form->AddDestroyObserver([this](TComponent*) { destroyed = true; });
  }
  ~CloseTest() override {
    if (!destroyed) delete form;
  }
  testing::TScriptedServices services;
  TForm* form;
  bool destroyed = false;
};

struct CloseCase {
  const char* name;
  TFormStyle style;
  std::optional<TCloseAction> action;  // set by OnClose; none: no handler
  bool shown;
  TWindowState state;
  bool destroyed;
};

class CloseActionTest : public CloseTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseActionTest, TheCloseActionDecidesWhatHappensToTheForm) {
  const auto& c = GetParam();
  form->SetFormStyle(c.style);
  if (c.action) form->OnClose = [&](TObject*, TCloseAction& action) { action = *c.action; };
  form->Show();
  EXPECT_TRUE(Input::CloseForm(*form));
  EXPECT_EQ(destroyed, c.destroyed);
  if (!destroyed) {
    EXPECT_EQ(form->IsShown(), c.shown);
    EXPECT_EQ(form->WindowState(), c.state);
  }
}

INSTANTIATE_TEST_SUITE_P(Actions, CloseActionTest,
                         ::testing::Values(CloseCase{"DefaultHides", fsNormal, std::nullopt, false, wsNormal, false},
                                           CloseCase{"DefaultMinimisesAnMdiChild", fsMDIChild, std::nullopt, true,
                                                     wsMinimized, false},
                                           CloseCase{"None", fsMDIChild, caNone, true, wsNormal, false},
                                           CloseCase{"Hide", fsMDIChild, caHide, false, wsNormal, false},
                                           CloseCase{"Minimize", fsNormal, caMinimize, true, wsMinimized, false},
                                           CloseCase{"Free", fsMDIChild, caFree, false, wsNormal, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CloseTest, ACaFreeFormLivesUntilTheInputCallReturns) {
  auto* button = Create<TSpeedButton>(form, "sbtFechar");
  button->SetParent(form);
  bool alive_after_close = false;
  form->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
  button->OnClick = [&](TObject*) {
    form->Close();
    alive_after_close = !destroyed && form->ReleasePending();
    form->SetCaption("still usable");  // the handler may touch its form after closing it
  };
  form->Show();
  EXPECT_TRUE(Input::Click(*button));
  EXPECT_TRUE(alive_after_close);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(Screen().ActiveForm(), nullptr);
}

TEST_F(CloseTest, ReleasedFormsGoWhenTheOutermostGuardEndsThenTheHostRefreshes) {
  std::string story;
  form->AddDestroyObserver([&](TComponent*) { story += "destroyed "; });
  Application().OnIdle = [&] { story += "idle "; };
  Application().Guard([&] {
    Application().Guard([&] { form->Release(); });
    story += destroyed ? "gone-too-early " : "inner-returned ";
  });
  Application().OnIdle = nullptr;
  EXPECT_EQ(story, "inner-returned destroyed idle ");
}

TEST_F(CloseTest, AReleasedFormDestroyedByItsOwnerMeanwhileIsNotDestroyedTwice) {
  Application().Guard([&] {
    form->Release();
    delete form;
  });
  EXPECT_TRUE(destroyed);
}

TEST_F(CloseTest, OnCloseQueryCanRefuse) {
  form->OnCloseQuery = [](TObject*, bool& can_close) { can_close = false; };
  bool on_close = false;
  form->OnClose = [&](TObject*, TCloseAction&) { on_close = true; };
  form->Show();
  Input::CloseForm(*form);
  EXPECT_TRUE(form->IsShown());
  EXPECT_FALSE(on_close);
}

TEST_F(CloseTest, AnAbortInOnCloseKeepsTheFormAsItWas) {
  form->OnClose = [](TObject*, TCloseAction& action) {
    action = caFree;
    Abort();
  };
  form->Show();
  EXPECT_FALSE(Input::CloseForm(*form));
  EXPECT_FALSE(destroyed);
  EXPECT_TRUE(form->IsShown());
}

TEST_F(CloseTest, TheMainFormReferenceIsDroppedWhenItIsDestroyed) {
  Application().SetMainForm(form);
  delete form;
  destroyed = true;
  EXPECT_EQ(Application().MainForm(), nullptr);
}

// --- Creation ----------------------------------------------------------------------------

class CountedForm : public TForm {
 public:
  using TForm::TForm;
  std::string ClassName() const override { return "TCountedForm"; }
  void FormCreate(TObject*) {
    ++creations;
    if (fail) throw std::runtime_error("creation failed");
  }
  static inline int creations = 0;
  static inline bool fail = false;

 protected:
  void PublishHandlers() override { Publish("FormCreate", &CountedForm::FormCreate); }
  std::vector<std::string> LayoutResources() const override { return {}; }
};

TEST(CreateForm, RunsTheCreationHandlerOnceAndAFailureDestroysTheForm) {
  CountedForm::creations = 0;
  CountedForm::fail = false;
  // No layout here: the creation handler is wired by hand.
  struct Wired : CountedForm {
    using CountedForm::CountedForm;
    void PublishHandlers() override {
      CountedForm::PublishHandlers();
      OnCreate = Handlers().Get<void(TObject*)>("FormCreate");
    }
  };
  size_t forms_before = Screen().Forms().size();
  auto* form = CreateForm<Wired>(&Application());
  EXPECT_EQ(CountedForm::creations, 1);
  delete form;

  CountedForm::fail = true;
  EXPECT_THROW(CreateForm<Wired>(&Application()), std::runtime_error);
  EXPECT_EQ(Screen().Forms().size(), forms_before);
  EXPECT_EQ(Application().ComponentCount(), 0);
}

TEST(Screen, TheActiveFormFollowsShowingFocusingAndHiding) {
  testing::TScriptedServices services;
  TForm first, second;
  auto* edit = Create<TEdit>(&first, "edtA");
  edit->SetParent(&first);
  first.Show();
  second.Show();
  EXPECT_EQ(Screen().ActiveForm(), &second);
  Input::FocusControl(*edit);
  EXPECT_EQ(Screen().ActiveForm(), &first);
  EXPECT_EQ(Screen().ActiveControl(), edit);
  first.HideForm();
  EXPECT_EQ(Screen().ActiveForm(), &second);
}

// --- The screen cursor and the services registry ---------------------------------------------

TEST(ScreenCursor, ChangesReachTheHost) {
  testing::TScriptedServices services;
  Screen().SetCursor(crHourGlass);
  Screen().SetCursor(crDefault);
  EXPECT_EQ(services.Cursors(), (std::vector<TCursor>{-11, 0}));
  EXPECT_EQ(Screen().Cursor(), crDefault);
}

TEST(Services, WithNothingInstalledQuestionsAreAnsweredCautiously) {
  // No scripted services here: the headless fallback answers.
  EXPECT_EQ(MessageDlg("Confirma exclusão?", mtConfirmation, {mbYes, mbNo}, 0), mrNo);
  EXPECT_EQ(MessageDlg("Erro", mtError, {mbOK}, 0), mrOk);
  EXPECT_EQ(Dialogs().PickList("Orçamento", "", {{"Filial", 10}}, {{"0001"}}), std::nullopt);
}

TEST(Services, ScopesPutThePreviousServicesBack) {
  testing::TScriptedServices outer;
  {
    testing::TScriptedServices inner;
    inner.Answer(mrYes);
    EXPECT_EQ(MessageDlg("Confirma operação?", mtConfirmation, {mbYes, mbNo}, 0), mrYes);
  }
  Dialogs().ShowError("depois");
  EXPECT_EQ(outer.Log(), "Error: depois");
}

TEST(Services, TheScriptedDoubleRecordsPickListsAndBusyIndicators) {
  testing::TScriptedServices services;
  services.ChooseRow(1);
  services.CancelPick();
  BusyIndicator().Show(1);
  auto first = Dialogs().PickList("Orçamento", "Não há orçamento cadastrado.", {{"Filial", 10}, {"Nr. Orçamento", 12}},
                                  {{"0001", "0000000012"}, {"0001", "0000000013"}});
  auto second = Dialogs().PickList("Profissional", "", {{"Código", 20}}, {{"1"}});
  BusyIndicator().Hide();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, std::nullopt);
  EXPECT_EQ(services.Log(),
            "Busy(1) | PickList(Orçamento; Filial|Nr. Orçamento; 2 rows) -> 1 | "
            "PickList(Profissional; Código; 1 rows) -> cancelled | Busy off");
  EXPECT_TRUE(services.BusyBalanced());
  EXPECT_TRUE(services.ScriptUsed());
  BusyIndicator().Hide();
  EXPECT_FALSE(services.BusyBalanced());
}

}  // namespace
}  // namespace rt
