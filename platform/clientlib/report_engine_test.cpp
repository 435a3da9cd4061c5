// The report engine's client side: the parameter list, and the server calls that list
// a code's reports and run one (names and values travel as data; the client holds no SQL).
#include "platform/clientlib/report_engine.h"

#include <gtest/gtest.h>

#include "platform/clientlib/report_dialog.h"
#include "platform/clientlib/server_result.h"

namespace clib {
namespace {

TEST(ReportParamsTest, ExistParamAndParamByName) {
  TReportParams params({"P_CDFILIAL", "P_NRORCAEVENTO"});
  EXPECT_TRUE(ExistParam(params, "P_CDFILIAL"));
  EXPECT_TRUE(ExistParam(params, "p_nrorcaevento"));
  EXPECT_FALSE(ExistParam(params, "P_NRSEQDE"));
  EXPECT_TRUE(params.ParamByName("P_CDFILIAL").IsNull());
  try {
    params.ParamByName("P_NRSEQDE");
    FAIL() << "no error for an undeclared parameter";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "Parameter 'P_NRSEQDE' not found");
  }
}

// Answers the two report methods from fixed values and writes every call down.
struct TReportServer : IAppServer {
  std::vector<std::string> calls;
  rt::Variant list = rt::VariantArray{rt::VariantArray{"Primeiro", "Título 1", rt::VariantArray{"P_A", "P_B"}},
                                      rt::VariantArray{"Segundo", "Título 2", rt::VariantArray{}}};
  rt::Variant run;
  std::string refusal;
  TReportServer() {
    rt::DataPacket rows;
    rt::FieldDef name;
    name.name = "NOME";
    rows.fields.push_back(name);
    rows.rows.push_back({"Ana"});
    run = rt::VariantArray{"Título 1", "{}", rows};
  }
  ServerAnswer Call(const std::string& method, std::vector<Arg> args) override {
    std::string line = method;
    for (const Arg& a : args) line += " " + a.Value().Describe();
    calls.push_back(line);
    if (!refusal.empty()) return {false, rt::Variant(), refusal, -32000};
    return {true, method == "GetRelatorios" ? list : run, "", 0};
  }
};

TEST(ReportServerCallsTest, ValuesTravelAsNamedDataAndTheRunBringsRowsAndLayout) {
  TReportServer server;
  const std::vector<TReportInfo> reports = ListReports(server, "0001", "TST");
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].title, "Título 1");
  EXPECT_EQ(reports[0].params, (std::vector<std::string>{"P_A", "P_B"}));
  TReportParams params(reports[0].params);
  params.ParamByName("P_A").SetAsString("0' OR '1'='1");
  const TReportRun run = FetchReport(server, "0001", "TST", "Primeiro", params);
  EXPECT_EQ(server.calls.back(),
            "GetDadosRelatorio \"0001\" \"TST\" \"Primeiro\" [[\"P_A\", \"0' OR '1'='1\"], [\"P_B\", null]]");
  EXPECT_EQ(run.title, "Título 1");
  EXPECT_EQ(run.layout, "{}");
  ASSERT_EQ(run.rows.rows.size(), 1u);
  EXPECT_EQ(run.params[0].second, std::optional<std::string>("0' OR '1'='1"));
  EXPECT_EQ(run.params[1].second, std::nullopt);
}

TEST(ReportServerCallsTest, RefusalsAndAnswersOfAnotherShapeRaiseWithAText) {
  TReportServer server;
  server.refusal = "Parâmetro \"P_B\" do relatório \"Primeiro\" não informado.";
  try {
    FetchReport(server, "0001", "TST", "Primeiro", TReportParams({"P_A"}));
    FAIL() << "no error";
  } catch (const EServerError& e) {
    EXPECT_EQ(std::string(e.what()), server.refusal);
  }
  server.refusal.clear();
  for (const rt::Variant& bad : {rt::Variant("x"), rt::Variant(rt::VariantArray{"Primeiro"}),
                                 rt::Variant(rt::VariantArray{rt::VariantArray{"Primeiro", "T", "P_A"}})}) {
    server.list = bad;
    EXPECT_THROW(ListReports(server, "0001", "TST"), EServerError) << bad.Describe();
  }
  server.run = rt::VariantArray{"T", "{}", "not rows"};
  EXPECT_THROW(FetchReport(server, "0001", "TST", "Primeiro", TReportParams()), EServerError);
}

struct TRecordingProvider : IReportDataProvider {
  std::vector<std::string> reports;
  void RunReport(const TReportRun& run) override { reports.push_back(run.report); }
};

TEST(ReportDialogTest, AsksTheReportsOnceLetsTheScreenFillTheValuesAndHandsTheRunOn) {
  TReportServer server;
  auto provider = std::make_shared<TRecordingProvider>();
  SetReportDataProvider(provider);
  TReportDesignerDialog dialog;
  EXPECT_THROW(dialog.ReportNames(), std::logic_error) << "no connection";
  dialog.SetReportCode("TST");
  dialog.SetConnection(&server);
  EXPECT_EQ(dialog.ReportNames(), (std::vector<std::string>{"Primeiro", "Segundo"}));
  dialog.BeforeGetQueryParams = [](rt::TObject*, TReportParams& p) {
    if (ExistParam(p, "P_B")) p.ParamByName("P_B").SetAsString("b");
  };
  dialog.Execute("Primeiro");
  EXPECT_EQ(server.calls.size(), 2u) << "the list is asked once";
  EXPECT_EQ(server.calls.back(), "GetDadosRelatorio \"\" \"TST\" \"Primeiro\" [[\"P_A\", null], [\"P_B\", \"b\"]]");
  EXPECT_EQ(provider->reports, (std::vector<std::string>{"Primeiro"}));
  EXPECT_THROW(dialog.Execute("Terceiro"), std::invalid_argument);
  server.refusal = "Relatório \"Segundo\" não cadastrado para o código TST.";
  EXPECT_THROW(dialog.Execute("Segundo"), EServerError);
  EXPECT_EQ(provider->reports.size(), 1u) << "a refused run reaches no provider";
  EXPECT_EQ(dialog.LastRun()->report, "Primeiro");
  SetReportDataProvider(nullptr);
}

}  // namespace
}  // namespace clib
