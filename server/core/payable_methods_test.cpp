// Accounts payable: the checks before generation, generation, cancellation and every
// refusal key, on each backend.
#include <atomic>
#include <thread>

#include "server/core/methods.h"
#include "server/core/service_fixture.h"

namespace srv {
namespace {

using testing::GridDelta;
using testing::ServiceTest;

class PayableTest : public ServiceTest {
 protected:
  std::vector<rt::Variant> Budget(const char* number, const char* sequence) { return {"0001", number, sequence}; }
  std::vector<rt::Variant> Generate(const char* number, const char* sequence) {
    return {"0001", number, sequence, "demo"};
  }
  // Payables of a budget: "entry:supplier:cents:state" in entry order.
  std::string Payables(const char* number, const char* sequence) {
    const ResultSet r = Connect()->Query(
        "SELECT p.entry_number, p.supplier_code, p.amount_cents, p.state FROM payables p "
        "JOIN payable_budgets pb ON pb.payable_id = p.id WHERE pb.branch = '0001' AND pb.number = ? AND pb.sequence = "
        "? "
        "ORDER BY p.entry_number",
        {number, sequence});
    std::string out;
    for (std::size_t i = 0; i < r.size(); ++i) {
      out += (i ? " " : "") + r.Text(i, 0) + ":" + r.Text(i, 1) + ":" + r.Text(i, 2) + ":" + r.Text(i, 3);
    }
    return out;
  }
  std::string Flags(const char* number, const char* sequence) {
    const ResultSet r = Connect()->Query(
        "SELECT supplier_code, account_generated FROM allocations WHERE branch = '0001' AND number = ? AND sequence = "
        "? "
        "ORDER BY id",
        {number, sequence});
    std::string out;
    for (std::size_t i = 0; i < r.size(); ++i) out += (i ? " " : "") + r.Text(i, 0) + "=" + r.Text(i, 1);
    return out;
  }
};

TEST_P(PayableTest, ChecksBeforeGeneration) {
  EXPECT_EQ(Call("Get_VrPgMObra", Budget("0000000012", "02")), rt::Variant(true));
  EXPECT_EQ(Call("Get_VrPgMObra", Budget("0000000016", "01")), rt::Variant(false));  // account of 0,00
  EXPECT_EQ(Call("GetTpFormPgProf", Budget("0000000012", "02")), rt::Variant(true));
  // Paid by account although registered as paid through the payroll.
  Exec(
      "UPDATE allocations SET payment_type = 'CONTAPAGAR' WHERE number = '0000000012' AND sequence = '02' "
      "AND supplier_code = '1005'");
  EXPECT_EQ(Call("GetTpFormPgProf", Budget("0000000012", "02")), rt::Variant(false));
  Exec(
      "UPDATE allocations SET payment_type = '' WHERE number = '0000000012' AND sequence = '02' "
      "AND supplier_code = '1005'");
  EXPECT_EQ(Call("GetTpFormPgProf", Budget("0000000012", "02")), rt::Variant(false));  // no payment type
  EXPECT_EQ(Refusal("Get_VrPgMObra", Budget("0000000099", "01")), texts::kBudgetUnknown);
}

TEST_P(PayableTest, GenerationThenCancellationRoundTrip) {
  const std::string before = Flags("0000000012", "02");
  EXPECT_TRUE(Call("GeraConta", Generate("0000000012", "02")).IsNull());
  // One payable per professional paid by account, numbered after the branch's last entry.
  EXPECT_EQ(Payables("0000000012", "02"), "0000000005:1003:20000:ABERTA 0000000006:1008:9000:ABERTA");
  EXPECT_EQ(Flags("0000000012", "02"), "1005=N 1008=S 1003=S");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM payables WHERE operator_id = 'demo' AND series = 'U' AND "
                  "payable_type = 'PRESTSERV' AND company_code = '01' AND operation_type = 'ENT01' AND "
                  "entry_number IN ('0000000005', '0000000006')"),
            2);
  const auto loaded = Call("GetAlocaForne", Budget("0000000012", "02")).AsArray();
  EXPECT_EQ(Column(loaded[3].AsPacket(), "NRLANCTONF"), "0000000005 0000000006");
  EXPECT_EQ(Column(loaded[1].AsPacket(), "IDCONTAGERADA"), "N S S");

  // Generated: a second generation answers with what exists; the allocations are frozen.
  EXPECT_EQ(Call("GeraConta", Generate("0000000012", "02")), rt::Variant("0000000005,0000000006"));
  EXPECT_EQ(Refusal("SetForneMao", {GridDelta({{"0000000012",
                                                "02",
                                                "01",
                                                "MO005",
                                                {"1005", "1100", "FOLHAPAGA", 90},
                                                {"1005", "1100", "FOLHAPAGA", 95}}})}),
            texts::kAccountsExist);

  EXPECT_TRUE(Call("SetCancelaConta", Budget("0000000012", "02")).IsNull());
  EXPECT_EQ(Payables("0000000012", "02"), "");
  EXPECT_EQ(Flags("0000000012", "02"), before);
  EXPECT_EQ(Refusal("SetCancelaConta", Budget("0000000012", "02")), "Não há conta a pagar gerada para o orçamento.");
  EXPECT_TRUE(Call("GeraConta", Generate("0000000012", "02")).IsNull());
  EXPECT_EQ(Payables("0000000012", "02"), "0000000007:1003:20000:ABERTA 0000000008:1008:9000:ABERTA");
}

TEST_P(PayableTest, MissingParametersRefuseGenerationWithTheirKey) {
  struct Case {
    const char* change;
    const char* undo;
    const char* key;
  };
  const std::vector<Case> cases = {
      {"UPDATE branch_payable_params SET entry_operation_type = NULL",
       "UPDATE branch_payable_params SET entry_operation_type = 'ENT01'", "N_PARAM_TIPOOPERPAG"},
      {"DELETE FROM operation_payable_types",
       "INSERT INTO operation_payable_types (operation_type, payable_type) VALUES ('ENT01', 'PRESTSERV')",
       "N_PARAM_TPCTPAG|ENT01"},
      {"UPDATE branch_payable_params SET entry_series = ''", "UPDATE branch_payable_params SET entry_series = 'U'",
       "N_PARAM_SERIEENTR"},
      {"UPDATE budgets SET company_code = NULL WHERE number = '0000000012'",
       "UPDATE budgets SET company_code = '01' WHERE number = '0000000012'", "N_PARAM_CDEMPRESAORCA"},
      {"DELETE FROM branch_companies WHERE branch = '0001'",
       "INSERT INTO branch_companies (branch, company_code) VALUES ('0001', '01')", "N_PARAM_EMPRESARELAC"},
      {"UPDATE companies SET state_registration = ' ' WHERE code = '01'",
       "UPDATE companies SET state_registration = '110042490114' WHERE code = '01'", "N_PARAM_NRINSCESTA"},
      {"UPDATE allocations SET payment_type = 'FOLHAPAGA' WHERE number = '0000000012' AND sequence = '02' AND "
       "supplier_code <> '1005'",
       "UPDATE allocations SET payment_type = 'CONTAPAGAR' WHERE number = '0000000012' AND sequence = '02' AND "
       "supplier_code <> '1005'",
       "N_PARAM_S_FORMA_PAGTO"},
      {"UPDATE professionals SET payable_type = NULL WHERE supplier_code = '1008'",
       "UPDATE professionals SET payable_type = 'PRESTSERV' WHERE supplier_code = '1008'", "N_PARAM_TPCTPAGFORN"},
  };
  const std::int64_t payables = Count("SELECT COUNT(*) FROM payables");
  for (const Case& c : cases) {
    // One missing parameter at a time.
    Exec(c.change);
    EXPECT_EQ(Refusal("GeraConta", Generate("0000000012", "02")), c.key) << c.change;
    EXPECT_EQ(Count("SELECT COUNT(*) FROM payables"), payables) << c.change;
    EXPECT_EQ(Count("SELECT COUNT(*) FROM allocations WHERE account_generated = 'S' AND number = '0000000012'"), 0);
    Exec(c.undo);
  }
  EXPECT_TRUE(Call("GeraConta", Generate("0000000012", "02")).IsNull());  // every parameter back
}

TEST_P(PayableTest, DemoBudgetsShowTheirRefusals) {
  EXPECT_EQ(Refusal("GeraConta", Generate("0000000015", "01")), "N_PARAM_CDEMPRESAORCA");
  EXPECT_EQ(Refusal("GeraConta", Generate("0000000016", "01")), texts::kZeroAmount);
  EXPECT_EQ(Refusal("GeraConta", Generate("0000000012", "01")),
            "Existe mão de obra sem profissional cadastrado. Conta não pode ser gerada.");
  const auto ana = service_->Login("ana", "ana");
  ASSERT_TRUE(ana);
  std::vector<rt::Variant> params = {"0002", "0000000021", "01", "ana"};
  try {
    service_->Call(ana->session, "GeraConta", params);
    ADD_FAILURE() << "generated without parameters";
  } catch (const ServiceError& e) {
    EXPECT_STREQ(e.what(), "N_PARAM_TIPOOPERPAG");
  }
}

// The demo budgets listed in docs/server-rules.md, one per refusal of the server.
TEST_P(PayableTest, EveryRefusalHasItsDemoBudget) {
  EXPECT_EQ(Call("Get_VrPgMObra", Budget("0000000017", "01")), rt::Variant(true));
  EXPECT_EQ(Call("GetTpFormPgProf", Budget("0000000017", "01")), rt::Variant(false));
  EXPECT_EQ(Refusal("GeraConta", Generate("0000000017", "01")), texts::kPaymentTypeBlocked);
  const std::pair<const char*, const char*> generation[] = {{"0000000018", "N_PARAM_EMPRESARELAC"},
                                                            {"0000000019", "N_PARAM_NRINSCESTA"},
                                                            {"0000000020", "N_PARAM_S_FORMA_PAGTO"},
                                                            {"0000000022", "N_PARAM_TPCTPAGFORN"}};
  for (const auto& [number, key] : generation) {
    EXPECT_EQ(Call("Get_VrPgMObra", Budget(number, "01")), rt::Variant(true)) << number;
    EXPECT_EQ(Call("GetTpFormPgProf", Budget(number, "01")), rt::Variant(true)) << number;
    EXPECT_EQ(Refusal("GeraConta", Generate(number, "01")), key) << number;
  }
  EXPECT_EQ(Refusal("SetCancelaConta", Budget("0000000023", "01")), "N_PARAM_EMITIDO");
  EXPECT_EQ(Refusal("SetCancelaConta", Budget("0000000024", "01")), "N_PARAM_DESCONTADO");
  EXPECT_EQ(Refusal("SetCancelaConta", Budget("0000000014", "01")), "N_PARAM_CONTABAIXADA");

  const auto caio = service_->Login("caio", "caio");
  ASSERT_TRUE(caio);
  const std::pair<const char*, const char*> branches[] = {{"0003", "N_PARAM_TPCTPAG|ENT03"},
                                                          {"0004", "N_PARAM_SERIEENTR"}};
  for (const auto& [branch, key] : branches) {
    std::vector<rt::Variant> params = {branch, std::string("00000000") + branch[3] + "1", "01", "caio"};
    try {
      service_->Call(caio->session, "GeraConta", params);
      ADD_FAILURE() << "generated in branch " << branch;
    } catch (const ServiceError& e) {
      EXPECT_EQ(std::string(e.what()), key);
    }
  }
}

TEST_P(PayableTest, GenerationSkipsEntryNumbersTakenOutsideTheCounter) {
  Exec("UPDATE entry_counters SET last_number = 900 WHERE branch = '0001'");  // 901 and 902 are budgets 23, 24
  EXPECT_TRUE(Call("GeraConta", Generate("0000000012", "02")).IsNull());
  EXPECT_EQ(Payables("0000000012", "02"), "0000000903:1003:20000:ABERTA 0000000904:1008:9000:ABERTA");
  EXPECT_EQ(Count("SELECT last_number FROM entry_counters WHERE branch = '0001'"), 904);
}

TEST_P(PayableTest, CancellationIsRefusedOnceAPayableMoved) {
  EXPECT_EQ(Refusal("SetCancelaConta", Budget("0000000014", "01")), "N_PARAM_CONTABAIXADA");
  struct Case {
    const char* state;
    const char* key;
  };
  for (const Case& c : {Case{"EMITIDO", "N_PARAM_EMITIDO"}, Case{"DESCONTADO", "N_PARAM_DESCONTADO"}}) {
    Exec("UPDATE payables SET state = ? WHERE entry_number = '0000000002'", {c.state});
    EXPECT_EQ(Refusal("SetCancelaConta", Budget("0000000013", "01")), c.key);
    EXPECT_EQ(Payables("0000000013", "01"),
              std::string("0000000001:1001:13000:ABERTA 0000000002:1008:13000:") + c.state);
  }
  Exec("UPDATE payables SET state = 'ABERTA'");
  EXPECT_EQ(Refusal("SetCancelaConta", Budget("0000000013", "01")), "");
  EXPECT_EQ(Flags("0000000013", "01"), "1001=N 1008=N");
}

// Two servers generate the same budget's accounts at once: one generates, the other is
// told they exist; no professional is paid twice.
TEST_P(PayableTest, ConcurrentGenerationsPayOnce) {
  auto second_server = OpenService(config_);
  const auto second_login = second_server->Login("demo", "demo");
  ASSERT_TRUE(second_login);
  std::vector<std::pair<AllocService*, Session>> clerks = {{service_.get(), session_},
                                                           {second_server.get(), second_login->session}};
  std::vector<rt::Variant> answers(2);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < 2; ++i) {
    threads.emplace_back([&, i] {
      std::vector<rt::Variant> params = Generate("0000000012", "02");
      ++ready;
      while (ready < 2) std::this_thread::yield();
      try {
        answers[i] = clerks[i].first->Call(clerks[i].second, "GeraConta", params);
      } catch (const std::exception& e) {
        answers[i] = std::string("error: ") + e.what();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(answers[0].IsNull() + answers[1].IsNull(), 1) << answers[0].Describe() << " " << answers[1].Describe();
  EXPECT_EQ((answers[0].IsNull() ? answers[1] : answers[0]), rt::Variant("0000000005,0000000006"));
  EXPECT_EQ(Payables("0000000012", "02"), "0000000005:1003:20000:ABERTA 0000000006:1008:9000:ABERTA");
}

INSTANTIATE_TEST_SUITE_P(Backends, PayableTest, ::testing::Values(testing::Backend::Sqlite, testing::Backend::Postgres),
                         testing::BackendName);

}  // namespace
}  // namespace srv
