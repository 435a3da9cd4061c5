// The allocation history: what each change writes, that a refused change writes nothing,
// that the table refuses updates and deletes, and GetHistorico's branch check, on each
// backend.
#include "server/core/history.h"

#include <gmock/gmock.h>

#include "server/core/methods.h"
#include "server/core/service_fixture.h"

namespace srv {
namespace {

using testing::GridDelta;
using ::testing::HasSubstr;
using testing::ServiceTest;
using testing::Unit;
using testing::UnitChange;

class HistoryTest : public ServiceTest {
 protected:
  // The history of budget 0001/<number> as GetHistorico answers it, one line per entry:
  // "operator action seq shift/product old->new" or "operator action seq entries".
  std::string History(const char* number) {
    const rt::Variant answer = Call("GetHistorico", {"0001", number});
    const rt::DataPacket& p = answer.AsPacket();
    std::string out;
    for (const rt::Row& row : p.rows) {
      auto text = [&](const char* field) {
        const rt::Variant& v = row.at(static_cast<std::size_t>(p.FieldIndex(field)));
        return v.IsNull() ? std::string("null") : v.type() == rt::Variant::Type::String ? v.AsString() : v.Describe();
      };
      std::string line = text("CDOPERADOR") + " " + text("DSOPERACAO") + " " + text("NRSEQORCAEVE");
      if (!text("NRLANCTONF").empty()) {
        line += " " + text("NRLANCTONF");
      } else {
        line += " " + text("NRTURNO") + "/" + text("CDPRODUTO") + " " + text("CDFORNANTERIOR") + "@" +
                text("VRPAGOANTERIOR") + "->" + text("CDFORNECED") + "@" + text("VRPAGOFORNORC");
      }
      out += (out.empty() ? "" : " | ") + line;
    }
    return out;
  }
  std::int64_t Lines() { return Count("SELECT COUNT(*) FROM allocation_history"); }
};

const Unit kFree{};
const Unit kJoao{"1001", "0800", "CONTAPAGAR", 120.0};  // as loaded in 12/01, GARÇOM shift 01

TEST_P(HistoryTest, EveryAllocationChangeAndPayableOperationIsWritten) {
  const std::vector<UnitChange> changes = {
      {"0000000012", "01", "01", "MO001", kFree, {"1004", "0830", "FOLHAPAGA", 99.5}},  // allocation
      {"0000000012", "01", "01", "MO001", kJoao, {"1008", "0800", "CONTAPAGAR", 130}},  // change
  };
  ASSERT_EQ(Refusal("SetForneMao", {GridDelta(changes)}), "");
  ASSERT_EQ(
      Refusal(
          "SetForneMao",
          {GridDelta({{"0000000012", "01", "01", "MO001", {"1004", "0830", "FOLHAPAGA", 99.5}, {"*", "", "", 0}}})}),
      "");  // clearing
  ASSERT_TRUE(Call("GeraConta", {"0001", "0000000012", "02", "someone else"}).IsNull());
  ASSERT_TRUE(Call("SetCancelaConta", {"0001", "0000000012", "02"}).IsNull());
  EXPECT_EQ(History("0000000012"),
            "demo ALOCACAO 01 01/MO001 @null->1004@99.5 | "
            "demo ALTERACAO 01 01/MO001 1001@120->1008@130 | "
            "demo LIMPEZA 01 01/MO001 1004@99.5->@null | "
            "demo GERACAO_CONTA 02 0000000005,0000000006 | "
            "demo CANCELAMENTO_CONTA 02 0000000005,0000000006");
  // The unit is the allocation's own number; a generation that finds payables already
  // there changes nothing and writes nothing.
  EXPECT_EQ(Count("SELECT COUNT(*) FROM allocation_history h JOIN allocations a ON a.id = h.allocation_id "
                  "WHERE h.action = 'ALTERACAO' AND a.supplier_code = '1008'"),
            1);
  const std::int64_t before = Lines();
  ASSERT_FALSE(Call("GeraConta", {"0001", "0000000013", "01", "demo"}).IsNull());
  EXPECT_EQ(Lines(), before);

  auto db = Connect();
  const std::vector<HistoryEntry> entries = BudgetHistory(*db, "0001", "0000000012");
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_THAT(DescribeHistoryEntry(entries[1]), HasSubstr(" demo ALTERACAO 0001/0000000012/01 item 01/MO001 unidade "));
  EXPECT_THAT(DescribeHistoryEntry(entries[1]), HasSubstr(": 1001 R$ 120,00 turma 0800 CONTAPAGAR -> 1008 R$ 130,00"));
  EXPECT_THAT(DescribeHistoryEntry(entries[3]), HasSubstr(" lançamentos 0000000005,0000000006"));
}

TEST_P(HistoryTest, RefusedChangesWriteNothing) {
  struct Case {
    const char* what;
    const char* method;
    std::vector<rt::Variant> params;
  };
  // A delta whose first row would apply and whose second is refused.
  const rt::Variant half_valid = GridDelta({{"0000000012", "01", "01", "MO001", kFree, {"1004", "", "", 10}},
                                            {"0000000012", "01", "01", "MO001", kJoao, {"9999", "", "", 10}}});
  const std::vector<Case> cases = {
      {"second row refused", "SetForneMao", {half_valid}},
      {"frozen budget", "SetForneMao", {GridDelta({{"0000000013", "01", "01", "MO001", kFree, {"1004", "", "", 10}}})}},
      {"generation with a free unit", "GeraConta", {"0001", "0000000012", "01", "demo"}},
      {"cancellation of a settled payable", "SetCancelaConta", {"0001", "0000000014", "01"}},
      {"cancellation without payables", "SetCancelaConta", {"0001", "0000000012", "01"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_NE(Refusal(c.method, c.params), "");
    EXPECT_EQ(Lines(), 0);
  }
}

TEST_P(HistoryTest, TheTableIsAppendOnly) {
  ASSERT_EQ(
      Refusal("SetForneMao", {GridDelta({{"0000000012", "01", "01", "MO001", kFree, {"1004", "0800", "", 10}}})}), "");
  ASSERT_EQ(Lines(), 1);
  for (const char* sql : {"UPDATE allocation_history SET operator_id = 'x'", "DELETE FROM allocation_history"}) {
    SCOPED_TRACE(sql);
    EXPECT_THROW(Exec(sql), DbError);
  }
  EXPECT_EQ(Count("SELECT COUNT(*) FROM allocation_history WHERE operator_id = 'demo'"), 1);
}

TEST_P(HistoryTest, HistoryIsReadOnlyInGrantedBranches) {
  EXPECT_EQ(Refusal("GetHistorico", {"0002", "0000000021"}), "Filial \"0002\" não permitida para o operador demo.");
  EXPECT_EQ(History("0000000099"), "");
  EXPECT_THROW(Call("GetHistorico", {"0001"}), InvalidParams);
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryTest, ::testing::Values(testing::Backend::Sqlite, testing::Backend::Postgres),
                         testing::BackendName);

}  // namespace
}  // namespace srv
