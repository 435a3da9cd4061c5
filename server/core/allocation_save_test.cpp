// Saving the grid (SetForneMao): inserts into free units, changes, removals, optimistic
// concurrency, validation and atomicity, on each backend.
#include <array>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <utility>

#include "server/core/history.h"
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

  // Makes two calls at once, the first through this server and the second through
  // another one on the same database; answers their refusals ("" when done). Any
  // failure counts, a deadlock reported by the database included.
  std::array<std::string, 2> AtOnce(const std::string& first_method, std::vector<rt::Variant> first_params,
                                    const std::string& second_method, std::vector<rt::Variant> second_params) {
    if (!second_server_) {
      second_server_ = OpenService(config_);
      const auto login = second_server_->Login("demo", "demo");
      if (!login) throw std::runtime_error("the demo operator cannot sign in to the second server");
      second_session_ = login->session;
    }
    struct Clerk {
      AllocService* service;
      const Session* session;
      const std::string& method;
      std::vector<rt::Variant>& params;
    };
    const std::array<Clerk, 2> clerks = {Clerk{service_.get(), &session_, first_method, first_params},
                                         Clerk{second_server_.get(), &second_session_, second_method, second_params}};
    std::array<std::string, 2> refusals;
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < clerks.size(); ++i) {
      threads.emplace_back([&, i] {
        ++ready;
        while (ready < 2) std::this_thread::yield();
        try {
          clerks[i].service->Call(*clerks[i].session, clerks[i].method, clerks[i].params);
        } catch (const std::exception& e) {
          refusals[i] = e.what();
        }
      });
    }
    for (auto& t : threads) t.join();
    return refusals;
  }

  std::unique_ptr<AllocService> second_server_;
  Session second_session_;
};

TEST_P(SaveTest, FreeUnitTakesAProfessionalUntilTheItemIsFull) {
  // GARÇOM/01 has 3 units and 2 allocations.
  EXPECT_EQ(Save({Change("01", "MO001", kFree, {"1004", "0830", "FOLHAPAGA", 99.999})}), "");
  EXPECT_EQ(Stored("01", "MO001"), "1001@12000,0800,CONTAPAGAR 1003@12000,0830,CONTAPAGAR 1004@10000,0830,FOLHAPAGA");
  EXPECT_EQ(Save({Change("01", "MO001", kFree, {"1008", "", "", 0})}), texts::kNoFreeUnit);
  // GARÇOM/02 has quantity 2.9: two units, one allocated.
  EXPECT_EQ(Save({Change("02", "MO001", kFree, {"1002", "1930", "CONTAPAGAR", 150})}), "");
  EXPECT_EQ(Save({Change("02", "MO001", kFree, {"1001", "", "", 0})}), texts::kNoFreeUnit);
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
  EXPECT_EQ(Save({Change("01", "MO001", {"*", "*", "", 0}, {"1004", "0800", "", 0})}), "");
  // A free unit marked for removal stays free.
  EXPECT_EQ(Save({Change("02", "MO004", kFree, {"*", "*", "", 0})}), "");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM allocations WHERE number = '0000000012' AND product = 'MO004'"), 0);
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
    EXPECT_EQ(Save({c.change, Change("02", "MO001", kFree, {"1002", "1930", "CONTAPAGAR", 150})}), "") << c.what;
    EXPECT_EQ(Stored("01", "MO001"), c.stored) << c.what;
    EXPECT_EQ(Stored("02", "MO001"), "1004@15000,1900,CONTAPAGAR 1002@15000,1930,CONTAPAGAR") << c.what;
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
      // The morning crew: both professionals are free then (booked that evening).
      std::vector<rt::Variant> params = {GridDelta({Change("01", "MO001", kFree, {clerk.supplier, "0800", "", 10})})};
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

// A save that would book a professional at two overlapping units is refused, naming the
// booking where the operator may see it; the unit's own allocation never counts.
TEST_P(SaveTest, NobodyIsBookedAtTwoOverlappingUnits) {
  auto at27 = [](const char* product, Unit to) {
    return UnitChange{"0000000027", "01", "02", product, kFree, std::move(to)};
  };
  struct Case {
    const char* name;
    UnitChange change;
    std::string refusal;
  } cases[] = {
      {"12/01's evening waiter at 27/01", at27("MO001", {"1004", "2030", "CONTAPAGAR", 120}),
       texts::ProfBookedAt("12/01", "GARÇOM", "19/12 19:00")},
      {"under another product", at27("MO002", {"1008", "2030", "CONTAPAGAR", 100}),
       texts::ProfBookedAt("15/01", "GARÇOM", "19/12 19:00")},
      {"booked in a branch the operator may not see", at27("MO003", {"1007", "2030", "CONTAPAGAR", 100}),
       texts::kProfBookedElsewhere},
      {"the crew time moved onto another booking",
       Change("01", "MO001", {"1003", "0830", "CONTAPAGAR", 120}, {"1003", "", "CONTAPAGAR", 120}), ""},
      {"free that evening", at27("MO001", {"1001", "2030", "CONTAPAGAR", 120}), ""},
      {"and its own allocation does not count: a new amount",
       {"0000000027", "01", "02", "MO001", {"1001", "2030", "CONTAPAGAR", 120}, {"1001", "2100", "CONTAPAGAR", 125}},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Save({c.change}), c.refusal);
  }
  // 1003 moved to the event's start (19:30): booked on both of 12/01's shifts would be
  // refused, but 1003 holds only the morning one, so the move is taken.
  EXPECT_EQ(Count("SELECT COUNT(*) FROM allocations WHERE supplier_code = '1001' AND number = '0000000027'"), 1);
}

// Two servers book one professional on two overlapping events at once: exactly one wins.
TEST_P(SaveTest, ConcurrentBookingsOfOneProfessionalAtOneTimeLetExactlyOneWin) {
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    const UnitChange at12{"0000000012", "01", "02", "MO001", kFree, {"1002", "1930", "CONTAPAGAR", 150}};
    const UnitChange at27{"0000000027", "01", "02", "MO001", kFree, {"1002", "2030", "CONTAPAGAR", 120}};
    const auto refusals =
        round % 2 ? AtOnce("SetForneMao", {GridDelta({at12})}, "SetForneMao", {GridDelta({at27})})
                  : AtOnce("SetForneMao", {GridDelta({at27})}, "SetForneMao", {GridDelta({at12})});
    EXPECT_EQ(refusals[0].empty() + refusals[1].empty(), 1) << refusals[0] << " / " << refusals[1];
    EXPECT_NE((refusals[0] + refusals[1]).find("O profissional já está alocado no mesmo horário"), std::string::npos)
        << refusals[0] << " / " << refusals[1];
    EXPECT_EQ(Count("SELECT COUNT(*) FROM allocations WHERE supplier_code = '1002' AND number IN ('0000000012', "
                    "'0000000027')"),
              1);
    TearDown();
    SetUp();
    second_server_.reset();  // the next round's second server opens the new database
  }
}

// Two clerks send the same two-row change at once, its rows in opposite orders, round
// after round: whatever the order the rows are locked in, neither save waits for the
// other in a cycle (a deadlock would refuse one), the first applies the change and the
// second finds it applied; nothing is lost or doubled.
TEST_P(SaveTest, SavesOfTheSameRowsInOppositeOrdersNeitherDeadlockNorDouble) {
  struct Case {
    const char* name;
    Unit first_from, first_to;    // 12/01, GARÇOM shift 01
    Unit second_from, second_to;  // 12/01, COPEIRO shift 02
  };
  const Unit ana{"1005", "1900", "FOLHAPAGA", 100.0};
  const Case cases[] = {
      {"new values", joao, {"1001", "0800", "CONTAPAGAR", 121.0}, ana, {"1005", "1900", "FOLHAPAGA", 101.0}},
      {"other professionals", joao, {"1008", "0800", "CONTAPAGAR", 120.0}, ana, {"1006", "1900", "FOLHAPAGA", 100.0}},
  };
  constexpr int kRounds = 8;
  for (const Case& c : cases) {
    const std::int64_t lines_before = Count("SELECT COUNT(*) FROM allocation_history");
    for (int round = 0; round < kRounds; ++round) {
      const bool back = round % 2 == 1;
      const UnitChange first =
          Change("01", "MO001", back ? c.first_to : c.first_from, back ? c.first_from : c.first_to);
      const UnitChange second =
          Change("02", "MO002", back ? c.second_to : c.second_from, back ? c.second_from : c.second_to);
      const auto refusals =
          AtOnce("SetForneMao", {GridDelta({first, second})}, "SetForneMao", {GridDelta({second, first})});
      ASSERT_EQ(refusals[0] + refusals[1], "") << c.name << ", round " << round;
    }
    EXPECT_EQ(Stored("01", "MO001"), "1001@12000,0800,CONTAPAGAR 1003@12000,0830,CONTAPAGAR") << c.name;
    EXPECT_EQ(Stored("02", "MO002"), "1005@10000,1900,FOLHAPAGA") << c.name;
    EXPECT_EQ(Count("SELECT COUNT(*) FROM allocation_history") - lines_before, 2 * kRounds) << c.name;
  }
}

// A save of a budget and the generation of its payables at once: either the save lands
// first (its history line comes before the generation's, and the payable includes a
// professional paid by account), or it is refused as the budget is frozen; a save
// waiting behind the generation must see the payables it made, also for a professional
// paid through the payroll, whose allocation generation does not flag. Round after round
// (cancelled in between) so that both orders come up.
TEST_P(SaveTest, SaveRacingGenerationLandsBeforeItOrIsRefused) {
  struct Case {
    const char* supplier;
    const char* crew;
    const char* payment;
  };
  const Case cases[] = {{"1008", "1130", "CONTAPAGAR"}, {"1005", "1100", "FOLHAPAGA"}};  // 12/02, 01/MO005
  constexpr int kRounds = 8;
  for (const Case& c : cases) {
    const std::string paid =
        std::string(
            "SELECT paid_cents FROM allocations WHERE number = '0000000012' AND sequence = '02' AND "
            "supplier_code = '") +
        c.supplier + "'";
    const auto last_line = [&](const char* action) {
      return Count("SELECT COALESCE(MAX(id), 0) FROM allocation_history WHERE action = ?", {std::string(action)});
    };
    for (int round = 0; round < kRounds; ++round) {
      const std::int64_t stored = Count(paid);
      const UnitChange raise{"0000000012",
                             "02",
                             "01",
                             "MO005",
                             {c.supplier, c.crew, c.payment, static_cast<double>(stored) / 100},
                             {c.supplier, c.crew, c.payment, static_cast<double>(stored + 100) / 100}};
      const auto refusals =
          AtOnce("SetForneMao", {GridDelta({raise})}, "GeraConta", {"0001", "0000000012", "02", "demo"});
      ASSERT_EQ(refusals[1], "") << c.supplier << ", round " << round;
      ASSERT_TRUE(refusals[0] == "" || refusals[0] == texts::kAccountsExist) << refusals[0];
      const bool saved = refusals[0].empty();
      EXPECT_EQ(Count(paid), saved ? stored + 100 : stored) << c.supplier << ", round " << round;
      if (saved) {
        EXPECT_LT(last_line(history::kChanged), last_line(history::kPayablesGenerated))
            << c.supplier << ", round " << round << ": the save landed after the generation";
      }
      EXPECT_EQ(Count("SELECT COALESCE(SUM(p.amount_cents), 0) FROM payables p JOIN payable_budgets pb ON "
                      "pb.payable_id = p.id WHERE pb.number = '0000000012' AND pb.sequence = '02' AND "
                      "p.supplier_code = '1008'"),
                Count("SELECT paid_cents FROM allocations WHERE number = '0000000012' AND sequence = '02' AND "
                      "supplier_code = '1008'"))
          << c.supplier << ", round " << round;
      EXPECT_TRUE(Call("SetCancelaConta", {"0001", "0000000012", "02"}).IsNull());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, SaveTest, ::testing::Values(testing::Backend::Sqlite, testing::Backend::Postgres),
                         testing::BackendName);

}  // namespace
}  // namespace srv
