// Demo data (a Brazilian catering business) and large budgets for benchmarks.
// The demo budgets and what each shows are listed in docs/server-rules.md.
#include <cstdio>
#include <tuple>

#include "server/core/booking.h"
#include "server/core/credentials.h"
#include "server/core/migrations.h"
#include "server/core/service_factory.h"
#include "server/core/storage.h"

namespace srv {
namespace {

using Values = std::vector<SqlValue>;

struct Item {
  const char* shift;
  const char* product;
  double quantity;
  std::int64_t charged_cents, paid_cents;
  const char* crew_time;
  std::vector<const char*> crew_times;
};

struct Allocation {
  const char* shift;
  const char* product;
  const char* supplier;
  const char* payment_type;
  std::int64_t paid_cents;
  const char* crew_time;
};

class Seeder {
 public:
  explicit Seeder(Database& db) : db_(db) {}

  void Operator(const std::string& id, const std::string& name, const std::string& password, int iterations,
                std::vector<std::string> branches) {
    db_.Execute("INSERT INTO operators (id, name, password_hash) VALUES (?, ?, ?)",
                {id, name, HashPassword(password, iterations)});
    for (auto& b : branches) db_.Execute("INSERT INTO operator_branches (operator_id, branch) VALUES (?, ?)", {id, b});
  }

  void Professional(const char* supplier, const char* registration, const char* type, const char* trade,
                    const char* legal, const char* payment_type, const SqlValue& payable_type,
                    const std::vector<const char*>& products) {
    db_.Execute(
        "INSERT INTO professionals (supplier_code, registration, registration_type, trade_name, legal_name, "
        "payment_type, payable_type) VALUES (?, ?, ?, ?, ?, ?, ?)",
        {supplier, registration, type, trade, legal, payment_type, payable_type});
    for (const char* p : products) {
      db_.Execute("INSERT INTO product_professionals (product, supplier_code) VALUES (?, ?)", {p, supplier});
    }
  }

  void Budget(const char* branch, const char* number, const char* client, const SqlValue& company) {
    db_.Execute("INSERT INTO budgets (branch, number, client_trade_name, company_code) VALUES (?, ?, ?, ?)",
                {branch, number, client, company});
  }

  void Sequence(const char* branch, const char* number, const char* sequence, const char* service, const char* event,
                const char* at, double guests, double adults, double children, double hours) {
    db_.Execute(
        "INSERT INTO budget_sequences (branch, number, sequence, service_type_name, event_type_name, event_at, "
        "guests, adults, children, duration_hours) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        {branch, number, sequence, service, event, at, guests, adults, children, hours});
  }

  void Items(const char* branch, const char* number, const char* sequence, const std::vector<Item>& items) {
    for (const Item& i : items) {
      db_.Execute(
          "INSERT INTO labour_items (branch, number, sequence, shift, product, quantity, charged_cents, "
          "default_paid_cents, default_crew_time, product_tree_code) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
          {branch, number, sequence, i.shift, i.product, i.quantity, i.charged_cents, i.paid_cents, i.crew_time,
           std::string("03.02.") + i.product});
      for (const char* t : i.crew_times) {
        db_.Execute(
            "INSERT INTO labour_item_crew_times (branch, number, sequence, shift, product, crew_time) "
            "VALUES (?, ?, ?, ?, ?, ?)",
            {branch, number, sequence, i.shift, i.product, t});
      }
    }
  }

  void Allocations(const char* branch, const char* number, const char* sequence, const std::vector<Allocation>& list,
                   const char* generated = "N") {
    for (const Allocation& a : list) {
      db_.Execute(
          "INSERT INTO allocations (branch, number, sequence, shift, product, supplier_code, stored_name, "
          "crew_time, payment_type, paid_cents, account_generated) "
          "SELECT ?, ?, ?, ?, ?, ?, legal_name, ?, ?, ?, ? FROM professionals WHERE supplier_code = ?",
          {branch, number, sequence, a.shift, a.product, a.supplier, a.crew_time, a.payment_type, a.paid_cents,
           a.payment_type == std::string("CONTAPAGAR") ? generated : "N", a.supplier});
    }
  }

  void Payable(const char* branch, const char* number, const char* sequence, const char* entry, const char* supplier,
               std::int64_t cents, const char* state) {
    const ResultSet id = db_.Query(
        "INSERT INTO payables (branch, entry_number, supplier_code, amount_cents, state, operation_type, payable_type, "
        "series, company_code, operator_id, created_at) VALUES (?, ?, ?, ?, ?, 'ENT01', 'PRESTSERV', 'U', '01', "
        "'demo', 1764547200) RETURNING id",
        {branch, entry, supplier, cents, state});
    db_.Execute("INSERT INTO payable_budgets (payable_id, branch, number, sequence) VALUES (?, ?, ?, ?)",
                {id.Int(0, 0), branch, number, sequence});
  }

  Database& db() { return db_; }

 private:
  Database& db_;
};

void SeedCatalogue(Seeder& s) {
  Database& db = s.db();
  db.Execute("INSERT INTO branches (code, name) VALUES ('0001', 'Aurora Eventos - Matriz São Paulo')");
  db.Execute("INSERT INTO branches (code, name) VALUES ('0002', 'Aurora Eventos - Campinas')");
  db.Execute(
      "INSERT INTO companies (code, name, state_registration) VALUES "
      "('01', 'Aurora Eventos e Buffet Ltda', '110042490114')");
  db.Execute(
      "INSERT INTO companies (code, name, state_registration) VALUES "
      "('02', 'Aurora Campinas Eventos Ltda', NULL)");
  db.Execute(
      "INSERT INTO companies (code, name, state_registration) VALUES "
      "('03', 'Aurora Litoral Eventos Ltda', NULL)");
  db.Execute("INSERT INTO branch_companies (branch, company_code) VALUES ('0001', '01')");
  db.Execute("INSERT INTO branch_companies (branch, company_code) VALUES ('0002', '02')");
  db.Execute("INSERT INTO branch_companies (branch, company_code) VALUES ('0001', '03')");
  // Branch 0001 has every generation parameter; branch 0002 has none (N_PARAM_TIPOOPERPAG);
  // branch 0003's operation type has no payable type (N_PARAM_TPCTPAG); branch 0004 has
  // no entry series (N_PARAM_SERIEENTR).
  db.Execute("INSERT INTO branches (code, name) VALUES ('0003', 'Aurora Eventos - Santos')");
  db.Execute("INSERT INTO branches (code, name) VALUES ('0004', 'Aurora Eventos - Ribeirão Preto')");
  db.Execute("INSERT INTO branch_companies (branch, company_code) VALUES ('0003', '01')");
  db.Execute("INSERT INTO branch_companies (branch, company_code) VALUES ('0004', '01')");
  db.Execute(
      "INSERT INTO branch_payable_params (branch, entry_operation_type, entry_series) VALUES ('0001', 'ENT01', 'U')");
  db.Execute(
      "INSERT INTO branch_payable_params (branch, entry_operation_type, entry_series) VALUES ('0003', 'ENT03', 'U')");
  db.Execute(
      "INSERT INTO branch_payable_params (branch, entry_operation_type, entry_series) VALUES ('0004', 'ENT01', NULL)");
  db.Execute("INSERT INTO operation_payable_types (operation_type, payable_type) VALUES ('ENT01', 'PRESTSERV')");
  db.Execute("INSERT INTO entry_counters (branch, last_number) VALUES ('0001', 4)");

  db.Execute("INSERT INTO shifts (code, description) VALUES ('01', 'DIURNO')");
  db.Execute("INSERT INTO shifts (code, description) VALUES ('02', 'NOTURNO')");
  const std::vector<std::pair<const char*, const char*>> products = {
      {"MO001", "GARÇOM"}, {"MO002", "COPEIRA"},       {"MO003", "COZINHEIRO"},
      {"MO004", "MAÎTRE"}, {"MO005", "RECEPCIONISTA"}, {"MO006", "SEGURANÇA"}};
  for (auto& [code, name] : products)
    db.Execute("INSERT INTO labour_products (code, name) VALUES (?, ?)", {code, name});

  const SqlValue none;
  s.Professional("1001", "52998224725", "F", "João da Silva", "João Carlos da Silva", "CONTAPAGAR",
                 std::string("PRESTSERV"), {"MO001", "MO004"});
  s.Professional("1002", "11144477735", "F", "Maria Souza", "Maria Aparecida de Souza", "FOLHAPAGA", none,
                 {"MO001", "MO003"});
  s.Professional("1003", "11222333000181", "J", "Garçons Aurora", "Aurora Serviços de Garçom e Segurança Ltda",
                 "CONTAPAGAR", std::string("PRESTSERV"), {"MO001", "MO006"});
  s.Professional("1004", "39053344705", "F", "Pedro Oliveira", "Pedro Henrique Oliveira", "CONTAPAGAR",
                 std::string("PRESTSERV"), {"MO001", "MO004"});
  s.Professional("1005", "86288366757", "F", "Ana Lima", "Ana Paula Lima", "FOLHAPAGA", none, {"MO002", "MO005"});
  s.Professional("1006", "45997418000153", "J", "Copa & Cia", "Copa e Cia Apoio a Eventos Ltda", "CONTAPAGAR",
                 std::string("PRESTSERV"), {"MO002"});
  s.Professional("1007", "71428793860", "F", "Carlos Pereira", "Carlos Eduardo Pereira", "CONTAPAGAR", none,
                 {"MO003", "MO006"});
  s.Professional("1008", "15350946056", "F", "Lúcia Ferreira", "Lúcia Helena Ferreira", "CONTAPAGAR",
                 std::string("PRESTSERV"), {"MO001", "MO002", "MO005"});
}

void SeedBudgets(Seeder& s) {
  // 12/01: the main demo — one product in two shifts, quantities 3, 2.9, 2, 0 and 1.
  s.Budget("0001", "0000000012", "Buffet Aurora", std::string("01"));
  s.Sequence("0001", "0000000012", "01", "Jantar", "Casamento", "2026-12-19T19:30:00", 150, 120, 30, 6.5);
  s.Items("0001", "0000000012", "01",
          {{"01", "MO001", 3, 18000, 12000, "0800", {"0800", "0830"}},
           {"02", "MO001", 2.9, 20000, 15000, "1900", {"1900", "1930"}},
           {"02", "MO002", 2, 15000, 10000, "1900", {"1830", "1900"}},
           {"01", "MO003", 0, 25000, 18000, "0800", {"0800"}},
           {"02", "MO004", 1, 35000, 25000, "1830", {"1830"}}});
  s.Allocations("0001", "0000000012", "01",
                {{"01", "MO001", "1001", "CONTAPAGAR", 12000, "0800"},
                 {"01", "MO001", "1003", "CONTAPAGAR", 12000, "0830"},
                 {"02", "MO001", "1004", "CONTAPAGAR", 15000, "1900"},
                 {"02", "MO002", "1005", "FOLHAPAGA", 10000, "1900"}});
  // 12/02: complete and ready for generation.
  s.Sequence("0001", "0000000012", "02", "Almoço", "Casamento", "2026-12-20T12:00:00", 80, 70, 10, 4);
  s.Items(
      "0001", "0000000012", "02",
      {{"01", "MO005", 2, 13000, 9000, "1100", {"1100", "1130"}}, {"01", "MO006", 1, 26000, 20000, "1000", {"1000"}}});
  s.Allocations("0001", "0000000012", "02",
                {{"01", "MO005", "1005", "FOLHAPAGA", 9000, "1100"},
                 {"01", "MO005", "1008", "CONTAPAGAR", 9000, "1130"},
                 {"01", "MO006", "1003", "CONTAPAGAR", 20000, "1000"}});

  // 13/01: payables generated and open (cancellation allowed).
  s.Budget("0001", "0000000013", "Colégio Santa Clara", std::string("01"));
  s.Sequence("0001", "0000000013", "01", "Coquetel", "Formatura", "2026-11-28T21:00:00", 300, 280, 20, 5);
  s.Items("0001", "0000000013", "01", {{"02", "MO001", 2, 18000, 13000, "2000", {"2000"}}});
  s.Allocations(
      "0001", "0000000013", "01",
      {{"02", "MO001", "1001", "CONTAPAGAR", 13000, "2000"}, {"02", "MO001", "1008", "CONTAPAGAR", 13000, "2000"}},
      "S");
  s.Payable("0001", "0000000013", "01", "0000000001", "1001", 13000, "ABERTA");
  s.Payable("0001", "0000000013", "01", "0000000002", "1008", 13000, "ABERTA");

  // 14/01: payables generated, one settled (cancellation refused).
  s.Budget("0001", "0000000014", "Construtora Horizonte", std::string("01"));
  s.Sequence("0001", "0000000014", "01", "Almoço", "Confraternização", "2026-12-12T12:30:00", 200, 190, 10, 4.5);
  s.Items("0001", "0000000014", "01",
          {{"01", "MO001", 1, 16000, 11000, "1100", {"1100"}}, {"01", "MO006", 1, 24000, 18000, "1000", {"1000"}}});
  s.Allocations(
      "0001", "0000000014", "01",
      {{"01", "MO001", "1004", "CONTAPAGAR", 11000, "1100"}, {"01", "MO006", "1003", "CONTAPAGAR", 18000, "1000"}},
      "S");
  s.Payable("0001", "0000000014", "01", "0000000003", "1003", 18000, "BAIXADA");
  s.Payable("0001", "0000000014", "01", "0000000004", "1004", 11000, "ABERTA");

  // 15/01: no company code on the budget (N_PARAM_CDEMPRESAORCA); same date and hour
  // as 12/01, so professional 1008 shows as booked when validated for 12/01.
  s.Budget("0001", "0000000015", "Família Andrade", SqlValue());
  s.Sequence("0001", "0000000015", "01", "Jantar", "Aniversário de 15 anos", "2026-12-19T19:30:00", 100, 80, 20, 5);
  s.Items("0001", "0000000015", "01", {{"02", "MO001", 1, 19000, 14000, "1900", {"1900"}}});
  s.Allocations("0001", "0000000015", "01", {{"02", "MO001", "1008", "CONTAPAGAR", 14000, "1900"}});

  // 16/01: an account to pay of zero (Get_VrPgMObra answers false).
  s.Budget("0001", "0000000016", "Clube Atlético Paulistano", std::string("01"));
  s.Sequence("0001", "0000000016", "01", "Festa", "Festa Junina", "2026-06-20T18:00:00", 400, 300, 100, 6);
  s.Items("0001", "0000000016", "01", {{"02", "MO002", 1, 12000, 0, "1800", {"1800"}}});
  s.Allocations("0001", "0000000016", "01", {{"02", "MO002", "1006", "CONTAPAGAR", 0, "1800"}});

  // One complete budget of a single unit per refusal of the server: the budget's
  // professional, product, payment type and amount decide the check it fails.
  struct OneUnit {
    const char* branch;
    const char* number;
    const char* client;
    SqlValue company;
    const char* event;
    const char* at;
    const char* product;
    const char* supplier;
    const char* payment_type;
  };
  const SqlValue company_01 = std::string("01");
  const OneUnit refused[] = {
      // GetTpFormPgProf false: Maria is paid through the payroll, allocated as paid by account.
      {"0001", "0000000017", "Hotel Vista Mar", company_01, "Lançamento de Produto", "2027-01-15T19:00:00", "MO001",
       "1002", "CONTAPAGAR"},
      // The company is not related to the branch: N_PARAM_EMPRESARELAC.
      {"0001", "0000000018", "Instituto Horizonte", std::string("02"), "Palestra", "2027-01-22T09:00:00", "MO001",
       "1004", "CONTAPAGAR"},
      // The company has no state registration: N_PARAM_NRINSCESTA.
      {"0001", "0000000019", "Pousada Maré Alta", std::string("03"), "Casamento", "2027-02-06T17:00:00", "MO001",
       "1004", "CONTAPAGAR"},
      // Only payroll professionals, nothing to pay by account: N_PARAM_S_FORMA_PAGTO.
      {"0001", "0000000020", "Escola Nova Esperança", company_01, "Festa Junina", "2027-06-12T18:00:00", "MO002",
       "1005", "FOLHAPAGA"},
      // Carlos is paid by account but has no payable type: N_PARAM_TPCTPAGFORN.
      {"0001", "0000000022", "Restaurante Sabor da Serra", company_01, "Jantar Beneficente", "2027-03-20T20:00:00",
       "MO003", "1007", "CONTAPAGAR"},
      // Branch 0003 (operator caio): its operation type has no payable type: N_PARAM_TPCTPAG|ENT03.
      {"0003", "0000000031", "Clube de Regatas Santos", company_01, "Regata", "2027-04-03T10:00:00", "MO001", "1001",
       "CONTAPAGAR"},
      // Branch 0004 (operator caio): no entry series: N_PARAM_SERIEENTR.
      {"0004", "0000000041", "Usina Boa Vista", company_01, "Confraternização", "2027-05-08T12:00:00", "MO001", "1001",
       "CONTAPAGAR"},
  };
  for (const OneUnit& u : refused) {
    s.Budget(u.branch, u.number, u.client, u.company);
    s.Sequence(u.branch, u.number, "01", "Coquetel", u.event, u.at, 100, 90, 10, 5);
    s.Items(u.branch, u.number, "01", {{"02", u.product, 1, 18000, 12000, "1800", {"1800"}}});
    s.Allocations(u.branch, u.number, "01", {{"02", u.product, u.supplier, u.payment_type, 12000, "1800"}});
  }

  // 23/01 and 24/01: payables generated, a bank slip issued or discounted (cancellation
  // refused with N_PARAM_EMITIDO and N_PARAM_DESCONTADO). Their entries were keyed
  // outside the counter; generation skips them.
  const std::tuple<const char*, const char*, const char*, const char*> issued[] = {
      {"0000000023", "Academia Corpo em Forma", "0000000901", "EMITIDO"},
      {"0000000024", "Feira do Livro Paulista", "0000000902", "DESCONTADO"}};
  for (const auto& [number, client, entry, state] : issued) {
    s.Budget("0001", number, client, company_01);
    s.Sequence("0001", number, "01", "Coquetel", "Inauguração", "2027-02-27T19:00:00", 150, 150, 0, 4);
    s.Items("0001", number, "01", {{"02", "MO001", 1, 18000, 12000, "1900", {"1900"}}});
    s.Allocations("0001", number, "01", {{"02", "MO001", "1004", "CONTAPAGAR", 12000, "1900"}}, "S");
    s.Payable("0001", number, "01", entry, "1004", 12000, state);
  }

  // 25/01 and 25/02: a two-day congress, long enough that its allocation report runs
  // over two pages; units free on both days.
  s.Budget("0001", "0000000025", "Congresso Paulista de Gastronomia", company_01);
  s.Sequence("0001", "0000000025", "01", "Coffee break", "Congresso", "2027-03-17T08:00:00", 400, 400, 0, 10);
  s.Items("0001", "0000000025", "01",
          {{"01", "MO001", 6, 18000, 12000, "0700", {"0700", "0730"}},
           {"01", "MO002", 4, 15000, 10000, "0700", {"0700"}},
           {"01", "MO005", 3, 13000, 9000, "0730", {"0730"}},
           {"01", "MO006", 2, 26000, 20000, "0700", {"0700"}}});
  s.Allocations("0001", "0000000025", "01",
                {{"01", "MO001", "1001", "CONTAPAGAR", 12000, "0700"},
                 {"01", "MO001", "1002", "FOLHAPAGA", 12000, "0700"},
                 {"01", "MO001", "1003", "CONTAPAGAR", 12000, "0730"},
                 {"01", "MO001", "1004", "CONTAPAGAR", 12000, "0730"},
                 {"01", "MO001", "1008", "CONTAPAGAR", 12000, "0700"},
                 {"01", "MO002", "1005", "FOLHAPAGA", 10000, "0700"},
                 {"01", "MO002", "1006", "CONTAPAGAR", 10000, "0700"},
                 {"01", "MO005", "1005", "FOLHAPAGA", 9000, "0730"},
                 {"01", "MO005", "1008", "CONTAPAGAR", 9000, "0730"},
                 {"01", "MO006", "1003", "CONTAPAGAR", 20000, "0700"},
                 {"01", "MO006", "1007", "CONTAPAGAR", 20000, "0700"}});
  s.Sequence("0001", "0000000025", "02", "Almoço", "Congresso", "2027-03-18T11:00:00", 350, 350, 0, 6);
  s.Items("0001", "0000000025", "02",
          {{"01", "MO001", 5, 18000, 12000, "1030", {"1030"}},
           {"01", "MO003", 3, 25000, 18000, "0900", {"0900"}},
           {"02", "MO004", 2, 35000, 25000, "1000", {"1000"}},
           {"02", "MO002", 3, 15000, 10000, "1030", {"1030"}}});
  s.Allocations("0001", "0000000025", "02",
                {{"01", "MO001", "1001", "CONTAPAGAR", 12000, "1030"},
                 {"01", "MO001", "1003", "CONTAPAGAR", 12000, "1030"},
                 {"01", "MO001", "1004", "CONTAPAGAR", 12000, "1030"},
                 {"01", "MO003", "1002", "FOLHAPAGA", 18000, "0900"},
                 {"01", "MO003", "1007", "CONTAPAGAR", 18000, "0900"},
                 {"02", "MO004", "1001", "CONTAPAGAR", 25000, "1000"},
                 {"02", "MO004", "1004", "CONTAPAGAR", 25000, "1000"},
                 {"02", "MO002", "1006", "CONTAPAGAR", 10000, "1030"},
                 {"02", "MO002", "1008", "CONTAPAGAR", 10000, "1030"}});

  // 27/01: a cocktail party the same evening as 12/01 (19/12 from 21:00, 3 h), nobody
  // allocated: whoever works 12/01's evening crews is booked for it. Carlos (1007) works
  // an event of branch 0002 at that time, which the demo operator may not see.
  s.Budget("0001", "0000000027", "Galeria Arte Viva", std::string("01"));
  s.Sequence("0001", "0000000027", "01", "Coquetel", "Vernissage", "2026-12-19T21:00:00", 90, 90, 0, 3);
  s.Items("0001", "0000000027", "01",
          {{"02", "MO001", 2, 18000, 12000, "2030", {"2030", "2100"}},
           {"02", "MO002", 1, 15000, 10000, "2030", {"2030"}},
           {"02", "MO003", 1, 25000, 18000, "2030", {"2030"}}});
  s.Budget("0002", "0000000026", "Buffet Aurora Campinas", std::string("02"));
  s.Sequence("0002", "0000000026", "01", "Jantar", "Bodas de Prata", "2026-12-19T20:00:00", 60, 60, 0, 4);
  s.Items("0002", "0000000026", "01", {{"02", "MO006", 1, 20000, 15000, "1930", {"1930"}}});
  s.Allocations("0002", "0000000026", "01", {{"02", "MO006", "1007", "CONTAPAGAR", 15000, "1930"}});

  // 21/01 in branch 0002: complete, but the branch has no parameters (N_PARAM_TIPOOPERPAG).
  s.Budget("0002", "0000000021", "Buffet Aurora Campinas", std::string("02"));
  s.Sequence("0002", "0000000021", "01", "Jantar", "Casamento", "2026-12-05T20:00:00", 120, 100, 20, 6);
  s.Items("0002", "0000000021", "01", {{"02", "MO001", 2, 18000, 12000, "1900", {"1900"}}});
  s.Allocations(
      "0002", "0000000021", "01",
      {{"02", "MO001", "1001", "CONTAPAGAR", 12000, "1900"}, {"02", "MO001", "1004", "CONTAPAGAR", 12000, "1900"}});
}

bool Seeded(Database& db) { return !db.Query("SELECT 1 FROM operators WHERE id = 'demo'").empty(); }

}  // namespace

bool SeedDemo(const StorageConfig& config) {
  auto db = OpenDatabase(config);
  Migrate(*db);
  Transaction tx(*db, true);
  if (Seeded(*db)) return false;
  Seeder s(*db);
  SeedCatalogue(s);
  s.Operator("demo", "Operador de Demonstração", "demo", config.pbkdf2_iterations, {"0001"});
  // A second clerk of branch 0001, to staff one budget together (live updates).
  s.Operator("bia", "Bia Aurora", "bia", config.pbkdf2_iterations, {"0001"});
  s.Operator("ana", "Ana Campinas", "ana", config.pbkdf2_iterations, {"0002"});
  s.Operator("caio", "Caio Santos", "caio", config.pbkdf2_iterations, {"0003", "0004"});
  SeedBudgets(s);
  FillMissingBookings(*db);
  tx.Commit();
  return true;
}

std::string GenerateLargeBudget(const StorageConfig& config, int units) {
  if (units < 1) throw std::invalid_argument("units must be positive");
  SeedDemo(config);
  auto db = OpenDatabase(config);
  constexpr int kItems = 50, kProducts = 25;
  const int per_item_max = (units + kItems - 1) / kItems;
  char number[16];
  std::snprintf(number, sizeof number, "9%09d", units);
  std::string n = number;

  Transaction tx(*db, true);
  for (int p = 1; p <= kProducts; ++p) {
    char code[8], name[40];
    std::snprintf(code, sizeof code, "BM%02d", p);
    std::snprintf(name, sizeof name, "MÃO DE OBRA DE TESTE %02d", p);
    if (db->Query("SELECT 1 FROM labour_products WHERE code = ?", {std::string(code)}).empty()) {
      db->Execute("INSERT INTO labour_products (code, name) VALUES (?, ?)", {std::string(code), std::string(name)});
    }
  }
  for (int k = 1; k <= per_item_max; ++k) {
    char supplier[16], registration[16], trade[40];
    std::snprintf(supplier, sizeof supplier, "B%06d", k);
    std::snprintf(registration, sizeof registration, "9%010d", k);
    std::snprintf(trade, sizeof trade, "Profissional %06d", k);
    if (!db->Query("SELECT 1 FROM professionals WHERE supplier_code = ?", {std::string(supplier)}).empty()) continue;
    db->Execute(
        "INSERT INTO professionals (supplier_code, registration, registration_type, trade_name, legal_name, "
        "payment_type, payable_type) VALUES (?, ?, 'F', ?, ?, 'CONTAPAGAR', 'PRESTSERV')",
        {std::string(supplier), std::string(registration), std::string(trade), std::string(trade) + " ME"});
    for (int p = 1; p <= kProducts; ++p) {
      char code[8];
      std::snprintf(code, sizeof code, "BM%02d", p);
      db->Execute("INSERT INTO product_professionals (product, supplier_code) VALUES (?, ?)",
                  {std::string(code), std::string(supplier)});
    }
  }
  // Replace an earlier budget of the same size.
  const Values key = {std::string("0001"), n};
  db->Execute("DELETE FROM allocations WHERE branch = ? AND number = ?", key);
  db->Execute("DELETE FROM labour_item_crew_times WHERE branch = ? AND number = ?", key);
  db->Execute("DELETE FROM labour_items WHERE branch = ? AND number = ?", key);
  db->Execute("DELETE FROM budget_sequences WHERE branch = ? AND number = ?", key);
  db->Execute("DELETE FROM budgets WHERE branch = ? AND number = ?", key);
  db->Execute(
      "INSERT INTO budgets (branch, number, client_trade_name, company_code) VALUES (?, ?, 'Feira Expo Center', '01')",
      key);
  db->Execute(
      "INSERT INTO budget_sequences (branch, number, sequence, service_type_name, event_type_name, event_at, "
      "guests, adults, children, duration_hours) VALUES (?, ?, '01', 'Coquetel', 'Feira de Negócios', "
      "'2027-03-10T09:00:00', ?, ?, 0, 10)",
      {std::string("0001"), n, static_cast<double>(units * 10), static_cast<double>(units * 10)});
  for (int i = 0; i < kItems; ++i) {
    const int quantity = units / kItems + (i < units % kItems ? 1 : 0);
    char product[8];
    std::snprintf(product, sizeof product, "BM%02d", i % kProducts + 1);
    const std::string shift = i < kProducts ? "01" : "02";
    db->Execute(
        "INSERT INTO labour_items (branch, number, sequence, shift, product, quantity, charged_cents, "
        "default_paid_cents, default_crew_time, product_tree_code) VALUES (?, ?, '01', ?, ?, ?, 15000, 10000, "
        "'0800', '03.02.BENCH')",
        {std::string("0001"), n, shift, std::string(product), static_cast<double>(quantity)});
    for (const char* t : {"0800", "1400"}) {
      db->Execute(
          "INSERT INTO labour_item_crew_times (branch, number, sequence, shift, product, crew_time) "
          "VALUES (?, ?, '01', ?, ?, ?)",
          {std::string("0001"), n, shift, std::string(product), std::string(t)});
    }
    const int allocated = quantity * 9 / 10;  // most units allocated, some free
    for (int k = 1; k <= allocated; ++k) {
      char supplier[16];
      std::snprintf(supplier, sizeof supplier, "B%06d", k);
      db->Execute(
          "INSERT INTO allocations (branch, number, sequence, shift, product, supplier_code, stored_name, "
          "crew_time, payment_type, paid_cents) VALUES (?, ?, '01', ?, ?, ?, 'Profissional de teste', '0800', "
          "'CONTAPAGAR', 10000)",
          {std::string("0001"), n, shift, std::string(product), std::string(supplier)});
    }
  }
  FillMissingBookings(*db);
  // The planner's statistics for the rows just written, as autovacuum would take them a
  // little later: queries run right after see the indexes' worth.
  if (db->backend() == Database::Backend::Postgres) db->Execute("ANALYZE allocations");
  tx.Commit();
  return n;
}

}  // namespace srv
