// Saving the grid (SetForneMao): inserts into free units, changes, removals, optimistic
// concurrency, validation and atomicity, on each backend.
#include <atomic>
#include <thread>
#include <utility>

#include "server/core/methods.h"
#include "server/core/service_fixture.h"

namespace srv {
namespace {

using testing::GridDelta;
using testing::ServiceTest;
using testing::Unit;
using testing::UnitChange;

const Unit kFree{};

class SaveTest : public ServiceTest {
 protected:
  // Allocations of budget 12/01, item (shift, product): "supplier@cents,crew,payment" in id order.
  std::string Stored(const std::string& shift, const std::string& product) {
    const ResultSet r = Connect()->Query(
        "SELECT supplier_code, paid_cents, crew_time, payment_type, stored_name FROM allocations "
        "WHERE branch = '0001' AND number = '0000000012' AND sequence = '01' AND shift = ? AND product = ? ORDER BY id",
        {shift, product});
    std::string out;
    for (std::size_t i = 0; i < r.size(); ++i) {
      out += (i ? " " : "") + r.Text(i, 0) + "@" + r.Text(i, 1) + "," + r.Text(i, 2) + "," + r.Text(i, 3);
    }
    return out;
  }
  std::string Save(const std::vector<UnitChange>& changes) { return Refusal("SetForneMao", {GridDelta(changes)}); }

  static UnitChange Change(const char* shift, const char* product, Unit from, Unit to) {
    return {"0000000012", "01", shift, product, std::move(from), std::move(to)};
  }
  const Unit joao{"1001", "0800", "CONTAPAGAR", 120.0};  // as loaded in 12/01, GARÇOM shift 01
};

TEST_P(SaveTest, FreeUnitTakesAProfessionalUntilTheItemIsFull) {
  // GARÇOM/01 has 3 units and 2 allocations.
  EXPECT_EQ(Save({Change("01", "MO001", kFree, {"1004", "0830", "FOLHAPAGA", 99.999})}), "");
  EXPECT_EQ(Stored("01", "MO001"), "1001@12000,0800,CONTAPAGAR 1003@12000,0830,CONTAPAGAR 1004@10000,0830,FOLHAPAGA");
  EXPECT_EQ(Save({Change("01", "MO001", kFree, {"1008", "", "", 0})}), texts::kNoFreeUnit);
  // GARÇOM/02 has quantity 2.9: two units, one allocated.
  EXPECT_EQ(Save({Change("02", "MO001", kFree, {"1008", "1930", "CONTAPAGAR", 150})}), "");
  EXPECT_EQ(Save({Change("02", "MO001", kFree, {"1002", "", "", 0})}), texts::kNoFreeUnit);
  // COZINHEIRO/01 has quantity 0: no unit at all.
  EXPECT_EQ(Save({Change("01", "MO003", kFree, {"1002", "", "", 0})}), texts::kNoFreeUnit);
}

TEST_P(SaveTest, ChangesAndRemovalsLocateTheAllocationByItsLoadedValues) {
  EXPECT_EQ(Save({Change("01", "MO001", joao, {"1001", "08:30", "FOLHAPAGA", 130.5})}), "");  // as typed in the mask
  EXPECT_EQ(Stored("01", "MO001"), "1001@13050,0830,FOLHAPAGA 1003@12000,0830,CONTAPAGAR");
  EXPECT_EQ(Save({Change("01", "MO001", {"1001", "0830", "FOLHAPAGA", 130.5}, {"1008", "0830", "FOLHAPAGA", 130.5})}),
            "");
  EXPECT_EQ(Stored("01", "MO001"), "1008@13050,0830,FOLHAPAGA 1003@12000,0830,CONTAPAGAR");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM allocations WHERE number = '0000000012' AND sequence = '01' AND "
                  "supplier_code = '1008' AND stored_name = ?",
                  {"Lúcia Helena Ferreira"}),
            1);  // the name stored is the professional's, never the client's text
  EXPECT_EQ(Save({Change("01", "MO001", {"1008", "0830", "FOLHAPAGA", 130.5}, {"*", "*", "", 0})}), "");
  EXPECT_EQ(Stored("01", "MO001"), "1003@12000,0830,CONTAPAGAR");
  // The unit removed earlier in the same grid (old "*") takes a professional again.
  EXPECT_EQ(Save({Change("01", "MO001", {"*", "*", "", 0}, {"1004", "", "", 0})}), "");
  // A free unit marked for removal stays free.
  EXPECT_EQ(Save({Change("02", "MO004", kFree, {"*", "*", "", 0})}), "");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM allocations WHERE product = 'MO004'"), 0);
}

TEST_P(SaveTest, StaleRowRefusesTheWholeDelta) {
  const std::string before = Stored("01", "MO001");
  struct Case {
    const char* what;
    Unit loaded;
  };
  for (const Case& c :
       {Case{"amount", {"1001", "0800", "CONTAPAGAR", 110.0}}, Case{"crew time", {"1001", "0830", "CONTAPAGAR", 120.0}},
        Case{"payment type", {"1001", "0800", "FOLHAPAGA", 120.0}},
        Case{"professional", {"1004", "0800", "CONTAPAGAR", 120.0}}}) {
    // A valid first row, then the stale one: nothing of the delta may stay.
    EXPECT_EQ(Save({Change("01", "MO001", {"1003", "0830", "CONTAPAGAR", 120.0}, {"1003", "0800", "CONTAPAGAR", 1}),
                    Change("01", "MO001", c.loaded, {"1002", "0800", "FOLHAPAGA", 90})}),
              texts::kStale)
        << c.what;
    EXPECT_EQ(Stored("01", "MO001"), before) << c.what;
  }
  // Two clerks loaded the same row; the first save wins, the second is refused.
  EXPECT_EQ(Save({Change("01", "MO001", joao, {"1001", "0800", "CONTAPAGAR", 125})}), "");
  EXPECT_EQ(Save({Change("01", "MO001", joao, {"1001", "0800", "CONTAPAGAR", 126})}), texts::kStale);
  EXPECT_EQ(Save({Change("01", "MO001", joao, {"*", "*", "", 0})}), texts::kStale);
  EXPECT_EQ(Stored("01", "MO001"), "1001@12500,0800,CONTAPAGAR 1003@12000,0830,CONTAPAGAR");
}

TEST_P(SaveTest, DeltaSentAgainAfterItsAnswerWasLostIsAppliedOnce) {
  struct Case {
    const char* what;
    UnitChange change;
    const char* stored;  // GARÇOM/01 after the first save and after the second
  };
  bool fresh = true;
  for (const Case& c : {
           Case{"insert", Change("01", "MO001", kFree, {"1004", "0830", "FOLHAPAGA", 99.999}),
                "1001@12000,0800,CONTAPAGAR 1003@12000,0830,CONTAPAGAR 1004@10000,0830,FOLHAPAGA"},
           Case{"change of values", Change("01", "MO001", joao, {"1001", "0830", "FOLHAPAGA", 130.5}),
                "1001@13050,0830,FOLHAPAGA 1003@12000,0830,CONTAPAGAR"},
           Case{"change of professional", Change("01", "MO001", joao, {"1008", "0800", "CONTAPAGAR", 120}),
                "1008@12000,0800,CONTAPAGAR 1003@12000,0830,CONTAPAGAR"},
       }) {
    if (!std::exchange(fresh, false)) {  // each case on the demo data as seeded
      TearDown();
      SetUp();
    }
    EXPECT_EQ(Save({c.change}), "") << c.what;
    EXPECT_EQ(Stored("01", "MO001"), c.stored) << c.what;
    // Sent again with the next change of the grid: the first is not applied twice.
    EXPECT_EQ(Save({c.change, Change("02", "MO001", kFree, {"1008", "1930", "CONTAPAGAR", 150})}), "") << c.what;
    EXPECT_EQ(Stored("01", "MO001"), c.stored) << c.what;
    EXPECT_EQ(Stored("02", "MO001"), "1004@15000,1900,CONTAPAGAR 1008@15000,1930,CONTAPAGAR") << c.what;
  }
  // A removal sent again is refused as stale (the professional may never have been
  // there): nothing is doubled and the clerk reloads.
  TearDown();
  SetUp();
  EXPECT_EQ(Save({Change("01", "MO001", joao, {"*", "*", "", 0})}), "");
  EXPECT_EQ(Save({Change("01", "MO001", joao, {"*", "*", "", 0})}), texts::kStale);
  EXPECT_EQ(Stored("01", "MO001"), "1003@12000,0830,CONTAPAGAR");
}

TEST_P(SaveTest, InvalidRowsAreRefusedWithTheClerksText) {
  struct Case {
    UnitChange change;
    std::string refusal;
  };
  const std::vector<Case> cases = {
      {Change("01", "MO001", kFree, {"1005", "", "", 0}), texts::kProfNotAllowed},
      {Change("01", "MO001", kFree, {"'; DELETE FROM allocations; --", "", "", 0}), texts::kProfNotAllowed},
      {Change("01", "MO001", kFree, {"1001", "", "", 0}), texts::kProfAllocated},
      {Change("01", "MO001", joao, {"1003", "0800", "CONTAPAGAR", 120}), texts::kProfAllocated},
      {Change("01", "MO001", kFree, {"1004", "0815", "", 0}), texts::kCrewTimeUnknown},
      {Change("01", "MO001", kFree, {"1004", "", "DINHEIRO", 0}), "Tipo de pagamento inválido: \"DINHEIRO\"."},
      {Change("01", "MO001", kFree, {"1004", "", "", -1}), "Valor pago não pode ser negativo."},
      {Change("01", "MO001", joao, {"", "", "", 0}), "Profissional deve ser informado."},
      {Change("01", "MO009", kFree, {"1004", "", "", 0}), "Mão de obra não cadastrada no orçamento."},
      {{"0000000013", "01", "02", "MO001", {"1001", "2000", "CONTAPAGAR", 130}, {"*", "*", "", 0}},
       texts::kAccountsExist},
      // Refused for the budget's payables alone: the unit is not one whose account was generated.
      {{"0000000013", "01", "02", "MO001", kFree, {"1004", "", "", 0}}, texts::kAccountsExist},
      {{"0000000099", "01", "02", "MO001", kFree, {"1001", "", "", 0}}, texts::kBudgetUnknown},
  };
  const std::int64_t before = Count("SELECT COUNT(*) FROM allocations");
  for (const Case& c : cases) {
    EXPECT_EQ(Save({c.change}), c.refusal) << c.change.product << " " << c.change.new_unit.supplier;
  }
  EXPECT_EQ(Count("SELECT COUNT(*) FROM allocations"), before);
  EXPECT_EQ(Stored("01", "MO001"), "1001@12000,0800,CONTAPAGAR 1003@12000,0830,CONTAPAGAR");
}

TEST_P(SaveTest, MalformedDeltasAreRefused) {
  rt::DataPacket inserted = GridDelta({Change("01", "MO001", kFree, {"1004", "", "", 0})}).AsPacket();
  inserted.changes[0].kind = rt::RowKind::Inserted;
  EXPECT_NE(Refusal("SetForneMao", {inserted}), "");

  rt::DataPacket no_key = inserted;
  no_key.changes[0].kind = rt::RowKind::Modified;
  no_key.fields[4].name = "PRODUTO";
  EXPECT_THROW(Call("SetForneMao", {no_key}), InvalidParams);

  rt::DataPacket short_row = GridDelta({Change("01", "MO001", kFree, {"1004", "", "", 0})}).AsPacket();
  short_row.changes[0].new_values.pop_back();
  EXPECT_THROW(Call("SetForneMao", {short_row}), InvalidParams);

  rt::DataPacket text_amount = GridDelta({Change("01", "MO001", kFree, {"1004", "", "", 0})}).AsPacket();
  text_amount.changes[0].new_values[static_cast<std::size_t>(text_amount.FieldIndex("VRPAGOFORNORC"))] = "12,50";
  EXPECT_THROW(Call("SetForneMao", {text_amount}), InvalidParams);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM allocations WHERE number = '0000000012' AND supplier_code = '1004' "
                  "AND shift = '01'"),
            0);
}

// Two servers on one database (and two threads) save the last free unit of the same
// labour item at once: exactly one wins.
TEST_P(SaveTest, ConcurrentSavesOfTheLastFreeUnitLetExactlyOneWin) {
  auto second_server = OpenService(config_);
  const auto second_login = second_server->Login("demo", "demo");
  ASSERT_TRUE(second_login);
  struct Clerk {
    AllocService* service;
    Session session;
    std::string supplier;
    std::string refusal;
  };
  std::vector<Clerk> clerks = {{service_.get(), session_, "1004", ""},
                               {second_server.get(), second_login->session, "1008", ""}};
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  threads.reserve(std::size(clerks));
  for (Clerk& clerk : clerks) {
    threads.emplace_back([&clerk, &ready] {
      std::vector<rt::Variant> params = {GridDelta({Change("01", "MO001", kFree, {clerk.supplier, "", "", 10})})};
      ++ready;
      while (ready < 2) std::this_thread::yield();
      try {
        clerk.service->Call(clerk.session, "SetForneMao", params);
      } catch (const std::exception& e) {
        clerk.refusal = e.what();
      }
    });
  }
  for (auto& t : threads) t.join();
  const int winners = (clerks[0].refusal.empty() ? 1 : 0) + (clerks[1].refusal.empty() ? 1 : 0);
  EXPECT_EQ(winners, 1) << clerks[0].refusal << " / " << clerks[1].refusal;
  EXPECT_EQ(clerks[0].refusal + clerks[1].refusal, texts::kNoFreeUnit);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM allocations WHERE number = '0000000012' AND sequence = '01' AND shift = '01' "
                  "AND product = 'MO001'"),
            3);
}

INSTANTIATE_TEST_SUITE_P(Backends, SaveTest, ::testing::Values(testing::Backend::Sqlite, testing::Backend::Postgres),
                         testing::BackendName);

}  // namespace
}  // namespace srv
