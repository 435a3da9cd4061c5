// Focus moves between controls and their containers: event order, refusals by exit
// handlers, nested moves, controls that cannot take the focus, tab order.
#include <memory>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "platform/runtime/abort.h"
#include "platform/runtime/ui/forms.h"
#include "platform/runtime/ui/input.h"
#include "platform/runtime/ui/testing/scripted_services.h"

namespace rt {
namespace {

// form
//   panA: edt1, panA2: edt3
//   panB: edt2
//   edt4
//   lbl (label), sbt (tool button)
class FocusTest : public ::testing::Test {
 public:
  void SetUp() override {
    form = std::make_unique<TForm>();
    panA = Make<TPanel>("panA", form.get());
    edt1 = Make<TEdit>("edt1", panA);
    panA2 = Make<TPanel>("panA2", panA);
    edt3 = Make<TEdit>("edt3", panA2);
    panB = Make<TPanel>("panB", form.get());
    edt2 = Make<TEdit>("edt2", panB);
    edt4 = Make<TEdit>("edt4", form.get());
    Create<TLabel>(form.get(), "lbl")->SetParent(form.get());
    Create<TSpeedButton>(form.get(), "sbt")->SetParent(form.get());
    for (TWinControl* c :
         {static_cast<TWinControl*>(panA), static_cast<TWinControl*>(panA2), static_cast<TWinControl*>(panB),
          static_cast<TWinControl*>(edt1), static_cast<TWinControl*>(edt2), static_cast<TWinControl*>(edt3),
          static_cast<TWinControl*>(edt4)}) {
      c->OnEnter = [this](TObject* s) { Log("enter:" + static_cast<TComponent*>(s)->Name()); };
      c->OnExit = [this](TObject* s) { Log("exit:" + static_cast<TComponent*>(s)->Name()); };
    }
  }

  template <class T>
  T* Make(const std::string& name, TWinControl* parent) {
    T* c = Create<T>(form.get(), name);
    c->SetParent(parent);
    return c;
  }
  void Log(const std::string& event) { log += (log.empty() ? "" : " ") + event; }
  std::string Focused() const { return form->ActiveControl() ? form->ActiveControl()->Name() : std::string("(none)"); }
  // Shows the form with the focus on `start`, then forgets the events so far.
  void ShowWithFocusOn(TWinControl* start) {
    form->SetActiveControl(start);
    form->Show();
    log.clear();
  }
  TWinControl* ByName(const std::string& name) { return form->Find<TWinControl>(name); }

  testing::TScriptedServices services;
  std::unique_ptr<TForm> form;
  TPanel *panA, *panA2, *panB;
  TEdit *edt1, *edt2, *edt3, *edt4;
  std::string log;
};

TEST_F(FocusTest, ShowingTheFormEntersTheFirstTabStopFromTheFormDown) {
  form->Show();
  EXPECT_EQ(log, "enter:panA enter:edt1");
  EXPECT_EQ(Focused(), "edt1");
  EXPECT_TRUE(edt1->Focused());
}

TEST_F(FocusTest, ShowingTheFormEntersTheActiveControlSetBeforehand) {
  form->SetActiveControl(edt3);
  form->Show();
  EXPECT_EQ(log, "enter:panA enter:panA2 enter:edt3");
}

struct MoveCase {
  const char* from;
  const char* to;
  const char* events;
};

class FocusMoveTest : public FocusTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(FocusMoveTest, ExitsUpToTheCommonContainerThenEntersDownToTheTarget) {
  const MoveCase& c = GetParam();
  ShowWithFocusOn(ByName(c.from));
  EXPECT_TRUE(Input::FocusControl(*ByName(c.to)));
  EXPECT_EQ(log, c.events);
  EXPECT_EQ(Focused(), c.to);
}

INSTANTIATE_TEST_SUITE_P(
    Moves, FocusMoveTest,
    ::testing::Values(MoveCase{"edt1", "edt2", "exit:edt1 exit:panA enter:panB enter:edt2"},
                      MoveCase{"edt3", "edt2", "exit:edt3 exit:panA2 exit:panA enter:panB enter:edt2"},
                      MoveCase{"edt1", "edt3", "exit:edt1 enter:panA2 enter:edt3"},
                      MoveCase{"edt3", "edt1", "exit:edt3 exit:panA2 enter:edt1"},
                      MoveCase{"edt4", "edt3", "exit:edt4 enter:panA enter:panA2 enter:edt3"},
                      MoveCase{"edt2", "edt4", "exit:edt2 exit:panB enter:edt4"}, MoveCase{"edt2", "edt2", ""}));

TEST_F(FocusTest, AnAbortingExitHandlerKeepsTheFocusAndRunsAgainOnTheNextMove) {
  ShowWithFocusOn(edt1);
  bool refuse = true;
  edt1->OnExit = [&](TObject*) {
    Log("exit:edt1");
    if (refuse) Abort();
  };
  EXPECT_FALSE(Input::FocusControl(*edt2));
  EXPECT_EQ(log, "exit:edt1");
  EXPECT_EQ(Focused(), "edt1");
  EXPECT_EQ(services.Log(), "");  // the abort is silent

  refuse = false;
  log.clear();
  EXPECT_TRUE(Input::FocusControl(*edt2));
  EXPECT_EQ(log, "exit:edt1 exit:panA enter:panB enter:edt2");
}

TEST_F(FocusTest, AContainerThatRefusesKeepsTheFocusOnTheControlAndBothExitsRunAgain) {
  ShowWithFocusOn(edt1);
  bool refuse = true;
  panA->OnExit = [&](TObject*) {
    Log("exit:panA");
    if (refuse) Abort();
  };
  EXPECT_FALSE(Input::FocusControl(*edt2));
  EXPECT_EQ(log, "exit:edt1 exit:panA");
  EXPECT_EQ(Focused(), "edt1");
  refuse = false;
  log.clear();
  Input::FocusControl(*edt2);
  EXPECT_EQ(log, "exit:edt1 exit:panA enter:panB enter:edt2");
}

TEST_F(FocusTest, AContainerExitThatFocusesAControlInsideAndAbortsAbandonsTheOuterMove) {
  ShowWithFocusOn(edt1);
  panA->OnExit = [&](TObject*) {
    Log("exit:panA");
    edt3->SetFocus();  // a validation gives its edit the focus, then aborts
    Abort();
  };
  EXPECT_FALSE(Input::FocusControl(*edt2));
  EXPECT_EQ(log, "exit:edt1 exit:panA enter:panA2 enter:edt3");
  EXPECT_EQ(Focused(), "edt3");
  EXPECT_EQ(services.Log(), "");
}

TEST_F(FocusTest, AnExitHandlerThatRefocusesItsOwnControlAndAbortsRunsNoEvents) {
  ShowWithFocusOn(edt1);
  edt1->OnExit = [&](TObject*) {
    Log("exit:edt1");
    edt1->SetFocus();
    Abort();
  };
  EXPECT_FALSE(Input::FocusControl(*edt2));
  EXPECT_EQ(log, "exit:edt1");
  EXPECT_EQ(Focused(), "edt1");
}

TEST_F(FocusTest, AnExitHandlerThatSendsTheFocusElsewhereWinsOverTheOuterMove) {
  ShowWithFocusOn(edt1);
  edt1->OnExit = [&](TObject*) {
    Log("exit:edt1");
    edt4->SetFocus();
  };
  Input::FocusControl(*edt2);
  EXPECT_EQ(log, "exit:edt1 exit:panA enter:edt4");  // edt1 is not exited twice
  EXPECT_EQ(Focused(), "edt4");
}

TEST_F(FocusTest, AnErrorInAnExitHandlerIsShownOnceAndTheFocusStays) {
  ShowWithFocusOn(edt1);
  edt1->OnExit = [&](TObject*) { throw std::runtime_error("Valor inválido"); };
  EXPECT_FALSE(Input::FocusControl(*edt2));
  EXPECT_EQ(services.Log(), "Error: Valor inválido");
  EXPECT_EQ(Focused(), "edt1");
}

TEST_F(FocusTest, AnEnterHandlerThatRaisesStopsTheRemainingEntersWithTheFocusOnTheTarget) {
  ShowWithFocusOn(edt1);
  panB->OnEnter = [&](TObject*) {
    Log("enter:panB");
    Abort();
  };
  Input::FocusControl(*edt2);
  EXPECT_EQ(log, "exit:edt1 exit:panA enter:panB");
  EXPECT_EQ(Focused(), "edt2");
}

struct UnfocusableCase {
  const char* name;
  std::function<void(FocusTest&)> make_unfocusable;
};

class UnfocusableTest : public FocusTest, public ::testing::WithParamInterface<UnfocusableCase> {};

TEST_P(UnfocusableTest, CannotTakeTheFocusAndTheErrorIsReported) {
  ShowWithFocusOn(edt1);
  GetParam().make_unfocusable(*this);
  EXPECT_FALSE(edt2->CanFocus());
  EXPECT_FALSE(Input::FocusControl(*edt2));
  EXPECT_EQ(services.Log(), "Error: Cannot focus a disabled or invisible window");
  EXPECT_EQ(log, "");
  EXPECT_EQ(Focused(), "edt1");
  EXPECT_THROW(edt2->SetFocus(), EInvalidOperation);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UnfocusableTest,
    ::testing::Values(UnfocusableCase{"Disabled", [](FocusTest& t) { t.edt2->SetEnabled(false); }},
                      UnfocusableCase{"Invisible", [](FocusTest& t) { t.edt2->SetVisible(false); }},
                      UnfocusableCase{"ParentDisabled", [](FocusTest& t) { t.panB->SetEnabled(false); }},
                      UnfocusableCase{"ParentInvisible", [](FocusTest& t) { t.panB->SetVisible(false); }},
                      UnfocusableCase{"Detached", [](FocusTest& t) { t.edt2->SetParent(nullptr); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FocusTest, ControlsOfAHiddenFormCannotTakeTheFocus) {
  EXPECT_FALSE(edt1->CanFocus());
  EXPECT_THROW(edt1->SetFocus(), EInvalidOperation);
}

TEST_F(FocusTest, TabVisitsTabStopsDepthFirstInTabOrderAndWraps) {
  ShowWithFocusOn(edt1);
  std::string visited;
  for (int i = 0; i < 5; ++i) {
    Input::PressTab();
    visited += Focused() + " ";
  }
  EXPECT_EQ(visited, "edt3 edt2 edt4 edt1 edt3 ");
  Input::PressTab(true);
  EXPECT_EQ(Focused(), "edt1");
}

TEST_F(FocusTest, TabFollowsTabOrderAndSkipsControlsThatCannotTakeTheFocus) {
  edt4->SetTabOrder(-1);  // first among the form's own children
  panA2->SetEnabled(false);
  ShowWithFocusOn(edt4);
  std::string visited;
  for (int i = 0; i < 3; ++i) {
    Input::PressTab();
    visited += Focused() + " ";
  }
  EXPECT_EQ(visited, "edt1 edt2 edt4 ");
}

TEST_F(FocusTest, DestroyingTheFocusedControlLeavesNoDanglingFocus) {
  ShowWithFocusOn(edt2);
  delete panB;
  EXPECT_EQ(form->ActiveControl(), nullptr);
  EXPECT_FALSE(Input::TypeKey('x'));
  EXPECT_TRUE(Input::FocusControl(*edt1));
  EXPECT_EQ(log, "enter:panA enter:edt1");
}

}  // namespace
}  // namespace rt
