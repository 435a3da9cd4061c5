#include "platform/clientlib/ui_routines.h"

#include <gtest/gtest.h>

#include "platform/clientlib/server_result.h"
#include "platform/runtime/abort.h"
#include "platform/runtime/client_dataset.h"
#include "platform/runtime/ui/testing/scripted_services.h"

namespace clib {
namespace {

// A budget search list: two visible fields with labels, one hidden.
class PesquisarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds_.SetFieldDefs({Def("CDFILIAL", 4, "Filial", 10), Def("NRORCAEVENTO", 10, "Nr. Orçamento", 12),
                      Def("NRSEQORCAEVE", 2, "", 0, false)});
    ds_.CreateDataSet();
    for (const char* n : {"0000000001", "0000000002", "0000000003"}) {
      ds_.Append();
      ds_.FieldByName("CDFILIAL").SetAsString("0001");
      ds_.FieldByName("NRORCAEVENTO").SetAsString(n);
      ds_.FieldByName("NRSEQORCAEVE").SetAsString("00");
      ds_.Post();
    }
    ds_.First();
    source_.SetDataSet(&ds_);
  }
  static rt::FieldDef Def(const char* name, int size, const char* label, int width, bool visible = true) {
    rt::FieldDef def;
    def.name = name;
    def.size = size;
    def.display_label = label;
    def.display_width = width;
    def.visible = visible;
    return def;
  }
  std::string Current() { return ds_.FieldByName("NRORCAEVENTO").AsString(); }

  rt::TClientDataSet ds_{"cdsPesqOrca"};
  rt::TDataSource source_{"dtsPesqOrca"};
  rt::testing::TScriptedServices services_;
};

TEST_F(PesquisarTest, ChosenRowBecomesCurrentWithVisibleFieldsAndTexts) {
  ds_.FieldByName("NRORCAEVENTO").OnGetText = [](rt::TField& f, std::string& text, bool) { text = "#" + f.AsString(); };
  services_.ChooseRow(2);
  EXPECT_TRUE(Pesquisar(source_, "Orçamento|Não há orçamento cadastrado.", false, true));
  EXPECT_EQ(Current(), "0000000003");
  ASSERT_EQ(services_.PickLists().size(), 1u);
  const auto& shown = services_.PickLists()[0];
  EXPECT_EQ(shown.title, "Orçamento");
  EXPECT_EQ(shown.empty_text, "Não há orçamento cadastrado.");
  ASSERT_EQ(shown.columns.size(), 2u);
  EXPECT_EQ(shown.columns[0].title, "Filial");
  EXPECT_EQ(shown.columns[1].title, "Nr. Orçamento");
  EXPECT_EQ(shown.columns[1].width, 12);
  ASSERT_EQ(shown.rows.size(), 3u);
  EXPECT_EQ(shown.rows[1], (std::vector<std::string>{"0001", "#0000000002"}));
}

TEST_F(PesquisarTest, CancelKeepsTheCurrentRow) {
  ds_.Next();
  services_.CancelPick();
  EXPECT_FALSE(Pesquisar(source_, "Orçamento", false, true));
  EXPECT_EQ(Current(), "0000000002");
  EXPECT_EQ(services_.PickLists()[0].empty_text, "");
}

TEST_F(PesquisarTest, EmptyOrClosedListIsShownWithItsTextAndGivesFalse) {
  ds_.EmptyDataSet();
  services_.CancelPick();
  EXPECT_FALSE(Pesquisar(source_, "Profissional|Não há profissional cadastrado para a mão de obra.", false, true));
  ds_.Close();
  services_.CancelPick();
  EXPECT_FALSE(Pesquisar(source_, "Turma", false, true));
  ASSERT_EQ(services_.PickLists().size(), 2u);
  EXPECT_TRUE(services_.PickLists()[0].rows.empty());
  EXPECT_EQ(services_.PickLists()[0].empty_text, "Não há profissional cadastrado para a mão de obra.");
}

TEST_F(PesquisarTest, AllFieldsListsHiddenOnes) {
  services_.ChooseRow(0);
  EXPECT_TRUE(Pesquisar(source_, "x", true, false));
  EXPECT_EQ(services_.PickLists()[0].columns.size(), 3u);
}

TEST(ShowAviTest, NestedCallsShowAndHideOnce) {
  rt::testing::TScriptedServices services;
  ActiveShowAvi(nullptr, 1);
  ActiveShowAvi(nullptr, 6);
  DeactiveShowAvi();
  EXPECT_EQ(ShowAviDepth(), 1);
  DeactiveShowAvi();
  DeactiveShowAvi();  // unmatched: ignored
  EXPECT_EQ(services.Log(), "Busy(1) | Busy off");
  EXPECT_TRUE(services.BusyBalanced());
}

TEST(ServerResultTest, PayloadOrServerTextRaised) {
  EXPECT_EQ(CheckResultServ(ServerAnswer{true, rt::Variant("x"), "", 0}, true, 0), rt::Variant("x"));
  try {
    CheckResultServ(ServerAnswer{false, rt::Variant(), "N_PARAM_TPCTPAG|12", -32000}, true, 7);
    FAIL() << "a failed answer came back";
  } catch (const EServerError& e) {
    EXPECT_STREQ(e.what(), "N_PARAM_TPCTPAG|12");
    EXPECT_EQ(e.Code(), -32000);
    EXPECT_EQ(e.HelpContext(), 7);
  }
  EXPECT_TRUE(CheckResultServ(ServerAnswer{false, rt::Variant(), "down", 0}, false, 0).IsNull());
}

TEST(MensErroTest, ShowsAnErrorThenAbortsSilently) {
  rt::testing::TScriptedServices services;
  EXPECT_THROW(MensErro("Orçamento não cadastrado.", true), rt::EAbort);
  MensErro("only shown", false);
  EXPECT_EQ(services.Log(),
            "MessageDlg(error, OK): Orçamento não cadastrado. -> OK | MessageDlg(error, OK): only shown -> OK");
}

}  // namespace
}  // namespace clib
