// Reports on the server, on each backend: the list of a report code, the allocation
// report of the demo budgets, values bound as data, and the refusals.
#include "server/core/methods.h"
#include "server/core/service_fixture.h"

namespace srv {
namespace {

using testing::ServiceTest;

constexpr const char* kAllocation = "Alocação de Mão de Obra";

rt::Variant Pairs(const std::vector<std::pair<std::string, rt::Variant>>& values) {
  rt::VariantArray list;
  for (const auto& [name, value] : values) list.push_back(rt::VariantArray{name, value});
  return list;
}

class ReportTest : public ServiceTest {
 protected:
  // The allocation report's five values.
  static rt::Variant Budget(const std::string& number, const std::string& from, const std::string& to,
                            const std::string& resulting = "N", const std::string& branch = "0001") {
    return Pairs({{"P_CDFILIAL", branch},
                  {"P_NRORCAEVENTO", number},
                  {"P_NRSEQDE", from},
                  {"P_NRSEQATE", to},
                  {"P_IDRESULTANTE", resulting}});
  }
  rt::VariantArray Run(const std::string& name, rt::Variant values) {
    return Call("GetDadosRelatorio", {"0001", "EVT047", name, std::move(values)}).AsArray();
  }
  rt::DataPacket Rows(rt::Variant values, const std::string& name = kAllocation) {
    return Run(name, std::move(values)).at(2).AsPacket();
  }
  std::string Refused(rt::Variant values, const std::string& name = kAllocation, const std::string& branch = "0001") {
    return Refusal("GetDadosRelatorio", {branch, "EVT047", name, std::move(values)});
  }
  // A second report of the code whose query declares only two of the five values.
  void AddTwoParameterReport() {
    Exec(
        "INSERT INTO report_definitions (report_code, name, position, title, query_text, branch_param, layout) "
        "VALUES ('EVT047', 'Dois', 2, 'Dois', "
        "'SELECT number AS NUMERO, client_trade_name AS CLIENTE FROM budgets "
        "WHERE branch = :P_CDFILIAL AND number = :P_NRORCAEVENTO', 'P_CDFILIAL', '{}')");
    Exec(
        "INSERT INTO report_parameters (report_code, report_name, position, name) VALUES "
        "('EVT047', 'Dois', 1, 'P_CDFILIAL')");
    Exec(
        "INSERT INTO report_parameters (report_code, report_name, position, name) VALUES "
        "('EVT047', 'Dois', 2, 'P_NRORCAEVENTO')");
  }
};

TEST_P(ReportTest, TheCodeListsItsReportsWithTheParametersTheyDeclare) {
  const rt::VariantArray reports = Call("GetRelatorios", {"0001", "EVT047"}).AsArray();
  ASSERT_EQ(reports.size(), 1u);
  const rt::VariantArray& report = reports[0].AsArray();
  EXPECT_EQ(report[0].AsString(), kAllocation);
  EXPECT_EQ(report[1].AsString(), "Relatório de Alocação de Mão de Obra");
  std::string params;
  for (const rt::Variant& p : report[2].AsArray()) params += p.AsString() + " ";
  EXPECT_EQ(params, "P_CDFILIAL P_NRORCAEVENTO P_NRSEQDE P_NRSEQATE P_IDRESULTANTE ");
  EXPECT_TRUE(Call("GetRelatorios", {"0001", "EVT999"}).AsArray().empty());
  EXPECT_NE(Refusal("GetRelatorios", {"0002", "EVT047"}).find("não permitida"), std::string::npos);
}

TEST_P(ReportTest, AllocationReportHoldsTheUnitsOfTheRangeInOrder) {
  const rt::VariantArray answer = Run(kAllocation, Budget("0000000012", "01", "01"));
  EXPECT_EQ(answer[0].AsString(), "Relatório de Alocação de Mão de Obra");
  EXPECT_NE(answer[1].AsString().find("\"groups\""), std::string::npos) << "the layout travels with the rows";
  const rt::DataPacket rows = answer[2].AsPacket();
  // Items by name, then shift: COPEIRA 02, GARÇOM 01 (two), GARÇOM 02, MAÎTRE 02 free;
  // COZINHEIRO has quantity 0 and no allocation.
  EXPECT_EQ(Column(rows, "NMPRODUTO"), "COPEIRA GARÇOM GARÇOM GARÇOM MAÎTRE");
  EXPECT_EQ(Column(rows, "CDFORNECED"), "1005 1001 1003 1004 null");
  EXPECT_EQ(Column(rows, "IDTIPOPAGAFORN"), "FOLHAPAGA CONTAPAGAR CONTAPAGAR CONTAPAGAR null");
  EXPECT_EQ(Column(rows, "VRPAGOFORNORC"), "100 120 120 150 null");
  EXPECT_EQ(Column(rows, "NMRAZSOCFORN").substr(0, 14), "Ana Paula Lima");
  EXPECT_EQ(Column(rows, "NMFANTCLIE"), "Buffet Aurora Buffet Aurora Buffet Aurora Buffet Aurora Buffet Aurora");
  EXPECT_EQ(rows.fields[static_cast<std::size_t>(rows.FieldIndex("QTCONVORCEVE"))].type, rt::FieldType::Float);

  // One-character bounds are the padded sequences; a blank bound is open.
  EXPECT_EQ(Column(Rows(Budget("0000000012", "1", "2")), "NRSEQORCAEVE"), "01 01 01 01 01 02 02 02");
  EXPECT_EQ(Column(Rows(Budget("0000000012", "02", "")), "NRSEQORCAEVE"), "02 02 02");
  EXPECT_TRUE(Rows(Budget("0000000012", "03", "09")).rows.empty());
  // The resulting copy: every sequence, whatever the range says.
  EXPECT_EQ(Column(Rows(Budget("0000000012", "09", "01", "S")), "NRSEQORCAEVE"), "01 01 01 01 01 02 02 02");
  EXPECT_EQ(Column(Rows(Budget("0000000013", "01", "01")), "IDCONTAGERADA"), "S S");
  // The entry number of the payable generated for each allocation's professional.
  EXPECT_EQ(Column(Rows(Budget("0000000013", "01", "01")), "NRLANCTONF"), "0000000001 0000000002");
  EXPECT_EQ(Column(rows, "NRLANCTONF"), "null null null null null");
  // No budget loaded on the screen: empty values find nothing.
  EXPECT_TRUE(Rows(Budget("", "", "", "N", "")).rows.empty());
}

TEST_P(ReportTest, ValuesAreBoundAsDataNeverSplicedIntoTheQuery) {
  const std::int64_t allocations = Count("SELECT COUNT(*) FROM allocations");
  for (const char* hostile : {"0' OR '1'='1", "0000000012' --", "'; DROP TABLE allocations; --", "S' OR 'S'='S"}) {
    SCOPED_TRACE(hostile);
    EXPECT_TRUE(Rows(Budget(hostile, "01", "99")).rows.empty());
    EXPECT_TRUE(Rows(Budget("0000000012", hostile, hostile)).rows.empty());
    // Not "S": the range applies, and it finds no sequence named like that.
    EXPECT_TRUE(Rows(Budget("0000000012", "98", "99", hostile)).rows.empty());
  }
  EXPECT_EQ(Count("SELECT COUNT(*) FROM allocations"), allocations);
}

TEST_P(ReportTest, AReportDeclaringTwoParametersReceivesThoseTwo) {
  AddTwoParameterReport();
  const rt::VariantArray reports = Call("GetRelatorios", {"0001", "EVT047"}).AsArray();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1].AsArray()[2].AsArray(), (rt::VariantArray{"P_CDFILIAL", "P_NRORCAEVENTO"}));
  const rt::DataPacket rows = Rows(Pairs({{"p_nrorcaevento", "0000000013"}, {"P_CDFILIAL", "0001"}}), "Dois");
  EXPECT_EQ(Column(rows, "CLIENTE"), "Colégio Santa Clara");
  EXPECT_EQ(Refused(Pairs({{"P_CDFILIAL", "0001"}, {"P_NRORCAEVENTO", "13"}, {"P_NRSEQDE", "01"}}), "Dois"),
            "O relatório \"Dois\" não tem o parâmetro \"P_NRSEQDE\".");
}

TEST_P(ReportTest, UnknownReportMissingOrRepeatedParameterAndForeignBranchAreRefused) {
  EXPECT_EQ(Refused(Budget("0000000012", "01", "01"), "Outro"),
            "Relatório \"Outro\" não cadastrado para o código EVT047.");
  EXPECT_EQ(Refused(Pairs({{"P_CDFILIAL", "0001"}, {"P_NRORCAEVENTO", "0000000012"}})),
            "Parâmetro \"P_NRSEQDE\" do relatório \"Alocação de Mão de Obra\" não informado.");
  EXPECT_EQ(Refused(Pairs({{"P_CDFILIAL", "0001"}, {"P_CDFILIAL", "0002"}})),
            "Parâmetro \"P_CDFILIAL\" informado mais de uma vez para o relatório \"Alocação de Mão de Obra\".");
  // The call's branch and the report's branch value must both be granted.
  EXPECT_EQ(Refused(Budget("0000000021", "01", "01", "N", "0002")),
            "Filial \"0002\" não permitida para o operador demo.");
  EXPECT_EQ(Refused(Budget("0000000012", "01", "01"), kAllocation, "0002"),
            "Filial \"0002\" não permitida para o operador demo.");
  // A value that is neither text nor null, or a list of another shape.
  std::vector<rt::Variant> bad = {"0001", "EVT047", kAllocation, Pairs({{"P_CDFILIAL", 1}})};
  EXPECT_THROW(service_->Call(session_, "GetDadosRelatorio", bad), InvalidParams);
  bad[3] = "P_CDFILIAL=0001";
  EXPECT_THROW(service_->Call(session_, "GetDadosRelatorio", bad), InvalidParams);
}

INSTANTIATE_TEST_SUITE_P(Backends, ReportTest, ::testing::Values(testing::Backend::Sqlite, testing::Backend::Postgres),
                         testing::BackendName);

}  // namespace
}  // namespace srv
