// Sign-in, sessions, dispatch and the read methods, on each backend.
#include "server/core/alloc_service.h"

#include <chrono>
#include <sstream>
#include <thread>
#include <utility>

#include "platform/runtime/packet_json.h"

#include "server/core/credentials.h"
#include "server/core/methods.h"
#include "server/core/service_fixture.h"

namespace srv {
namespace {

using testing::ServiceTest;

class SessionTest : public ServiceTest {};

TEST_P(SessionTest, SignInOpensASessionSharedByEveryInstanceOnTheDatabase) {
  const auto login = service_->Login("demo", "demo");
  ASSERT_TRUE(login);
  EXPECT_EQ(login->token.size(), 64u);
  EXPECT_EQ(login->session.branches, std::vector<std::string>{"0001"});
  auto other_instance = OpenService(config_);
  const auto session = other_instance->Authenticate(login->token);
  ASSERT_TRUE(session);
  EXPECT_EQ(session->operator_id, "demo");
  EXPECT_EQ(session->branches, std::vector<std::string>{"0001"});
  // Only the token's hash is stored.
  EXPECT_EQ(Count("SELECT COUNT(*) FROM sessions WHERE token_hash = ?", {login->token}), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM sessions WHERE token_hash = ?", {Sha256Hex(login->token)}), 1);
}

TEST_P(SessionTest, ASessionCarriesEveryBranchOfItsOperatorOrNone) {
  StorageConfig read_every_call = config_;
  read_every_call.session_recheck_ms = 0;
  auto service = OpenService(read_every_call);
  const auto login = service->Login("demo", "demo");
  ASSERT_TRUE(login);
  Exec("INSERT INTO operator_branches (operator_id, branch) VALUES ('demo', '0004'), ('demo', '0002')");
  auto session = service->Authenticate(login->token);
  ASSERT_TRUE(session);
  EXPECT_EQ(session->branches, (std::vector<std::string>{"0001", "0002", "0004"}));
  Exec("DELETE FROM operator_branches WHERE operator_id = 'demo'");
  session = service->Authenticate(login->token);
  ASSERT_TRUE(session) << "a valid session of an operator without branches";
  EXPECT_EQ(session->operator_id, "demo");
  EXPECT_TRUE(session->branches.empty());
}

// Sessions are trusted for a while once checked (session_cache.h): a session deleted in
// the database is refused once that while has passed, and two operators' sessions never mix.
TEST_P(SessionTest, ARecheckedSessionSeesItsDeletionWithinTheBound) {
  StorageConfig short_trust = config_;
  short_trust.session_recheck_ms = 50;
  auto service = OpenService(short_trust);
  const auto demo = service->Login("demo", "demo");
  const auto ana = service->Login("ana", "ana");
  ASSERT_TRUE(demo && ana);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(service->Authenticate(demo->token)->operator_id, "demo");
    EXPECT_EQ(service->Authenticate(ana->token)->operator_id, "ana");
    EXPECT_EQ(service->Authenticate(ana->token)->branches, std::vector<std::string>{"0002"});
  }
  Exec("DELETE FROM sessions WHERE token_hash = ?", {Sha256Hex(demo->token)});
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_FALSE(service->Authenticate(demo->token));
  EXPECT_EQ(service->Authenticate(ana->token)->operator_id, "ana");
}

TEST_P(SessionTest, WrongCredentialsAndBadTokensAreRefused) {
  EXPECT_FALSE(service_->Login("demo", "DEMO"));
  EXPECT_FALSE(service_->Login("demo", ""));
  EXPECT_FALSE(service_->Login("ninguem", "demo"));
  EXPECT_FALSE(service_->Login("demo' OR '1'='1", "x' OR '1'='1"));
  EXPECT_FALSE(service_->Authenticate(NewSessionToken()));  // forged: well formed, never issued
  EXPECT_FALSE(service_->Authenticate(""));
  EXPECT_FALSE(service_->Authenticate("' OR 1=1 --"));
  const auto login = service_->Login("demo", "demo");
  ASSERT_TRUE(login);
  std::string upper = login->token;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(ch));
  EXPECT_FALSE(service_->Authenticate(upper));
}

TEST_P(SessionTest, ExpiredSessionsAreRefused) {
  StorageConfig short_lived = config_;
  short_lived.session_seconds = 0;
  auto service = OpenService(short_lived);
  const auto login = service->Login("demo", "demo");
  ASSERT_TRUE(login);
  EXPECT_FALSE(service->Authenticate(login->token));
  EXPECT_FALSE(service_->Authenticate(login->token));
}

TEST_P(SessionTest, OperatorsReachOnlyTheirBranches) {
  const auto ana = service_->Login("ana", "ana");
  ASSERT_TRUE(ana);
  EXPECT_EQ(ana->session.branches, std::vector<std::string>{"0002"});
  struct Case {
    const char* method;
    std::vector<rt::Variant> params;
  };
  const std::vector<Case> cases = {
      {"GetPesqOrca", {"0002", "", ""}},
      {"GetAlocaForne", {"0002", "0000000021", "01"}},
      {"GetProdForn", {"MO001", "F52998224725", "0002", "0000000021"}},
      {"GetVrPgMObra", {"MO001", "0000000021", "01", "0002"}},
      {"GetTurma", {"0002", "0000000021", "01", "02", "MO001"}},
      {"Get_VrPgMObra", {"0002", "0000000021", "01"}},
      {"GetTpFormPgProf", {"0002", "0000000021", "01"}},
      {"GeraConta", {"0002", "0000000021", "01", "demo"}},
      {"SetCancelaConta", {"0002", "0000000021", "01"}},
      {"SetForneMao",
       {testing::GridDelta(
           {{"0000000021", "01", "02", "MO001", {"1001", "1900", "CONTAPAGAR", 120}, {"*", "", "", 0}, "0002"}})}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Refusal(c.method, c.params), "Filial \"0002\" não permitida para o operador demo.") << c.method;
  }
  EXPECT_EQ(Count("SELECT COUNT(*) FROM allocations WHERE branch = '0002'"), 3);  // as seeded
  // GetSequencial has no branch: it looks in the operator's branches only.
  EXPECT_EQ(Call("GetSequencial", {"0000000021", "01"}).AsPacket().rows.size(), 0u);
  std::vector<rt::Variant> params = {"0000000021", "01"};
  EXPECT_EQ(service_->Call(ana->session, "GetSequencial", params).AsPacket().rows.size(), 1u);
}

TEST_P(SessionTest, ParametersAreCheckedBeforeAnyWork) {
  struct Case {
    const char* method;
    std::vector<rt::Variant> params;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"GetPesqOrca", {"0001", ""}, "GetPesqOrca expects 3 parameter(s), got 2"},
      {"GetTurma", {"0001", "1", "01", "01", "MO001", "x"}, "GetTurma expects 5 parameter(s), got 6"},
      {"GetSequencial", {"0000000012", 1}, "GetSequencial: parameter 2 must be a string, got integer"},
      {"GeraConta", {"0001", "0000000012", "02", nullptr}, "GeraConta: parameter 4 must be a string, got null"},
      {"SetForneMao", {"delta"}, "SetForneMao: parameter 1 must be a delta packet, got string"},
      {"SetForneMao", {rt::DataPacket{}}, "SetForneMao: parameter 1 must be a delta packet, got a data packet"},
      {"GetPesqOrca",
       {"0001", "", "2"},
       "GetPesqOrca: mode must be \"\" (search list) or \"1\" (one budget), got \"2\""},
  };
  for (const Case& c : cases) {
    try {
      Call(c.method, c.params);
      ADD_FAILURE() << c.method << " accepted";
    } catch (const InvalidParams& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
  EXPECT_THROW(Call("DropEverything", {}), UnknownMethod);
  EXPECT_THROW(Call("getpesqorca", {"0001", "", ""}), UnknownMethod);
}

INSTANTIATE_TEST_SUITE_P(Backends, SessionTest, ::testing::Values(testing::Backend::Sqlite, testing::Backend::Postgres),
                         testing::BackendName);

class QueryTest : public ServiceTest {};

TEST_P(QueryTest, BudgetSearchAndChecks) {
  const rt::DataPacket list = Call("GetPesqOrca", {"0001", "", ""}).AsPacket();
  EXPECT_EQ(Column(list, "NRORCAEVENTO"),
            "0000000012 0000000013 0000000014 0000000015 0000000016 0000000017 0000000018 0000000019 0000000020 "
            "0000000022 0000000023 0000000024 0000000025 0000000027");
  EXPECT_EQ(list.fields[0].display_label, "Filial");
  EXPECT_EQ(list.fields[1].display_label, "Nr. Orçamento");
  EXPECT_EQ(list.fields[1].display_width, 12);
  EXPECT_FALSE(list.fields[2].visible);

  const rt::DataPacket one = Call("GetPesqOrca", {"0001", "0000000012", "1"}).AsPacket();
  EXPECT_EQ(Column(one, "CDFILIAL") + "/" + Column(one, "NRORCAEVENTO") + "/" + Column(one, "NRSEQORCAEVE"),
            "0001/0000000012/01");
  EXPECT_TRUE(Call("GetPesqOrca", {"0001", "0000000099", "1"}).AsPacket().rows.empty());
  EXPECT_TRUE(Call("GetPesqOrca", {"0001", "0' OR '1'='1", "1"}).AsPacket().rows.empty());

  EXPECT_EQ(Call("GetSequencial", {"0000000012", "02"}).AsPacket().rows.size(), 1u);
  EXPECT_TRUE(Call("GetSequencial", {"0000000012", "03"}).AsPacket().rows.empty());
}

TEST_P(QueryTest, GridLoadHasOneRecordPerAllocationOrOneBlankPerEmptyItem) {
  const rt::Variant answer = Call("GetAlocaForne", {"0001", "0000000012", "01"});
  ASSERT_EQ(answer.AsArray().size(), 4u);
  const rt::DataPacket& header = answer.AsArray()[0].AsPacket();
  const rt::DataPacket& alloc = answer.AsArray()[1].AsPacket();
  const rt::DataPacket& items = answer.AsArray()[2].AsPacket();
  const rt::DataPacket& payables = answer.AsArray()[3].AsPacket();

  ASSERT_EQ(header.rows.size(), 1u);
  EXPECT_EQ(Column(header, "NMFANTCLIE") + "|" + Column(header, "NMTIPOEVENTO") + "|" + Column(header, "NMTPSERVEVEN") +
                "|" + Column(header, "DTEVENTO") + "|" + Column(header, "QTCONVORCEVE") + "|" +
                Column(header, "QTHREVENTO"),
            "Buffet Aurora|Casamento|Jantar|2026-12-19T19:30:00|150|6.5");

  std::string names;
  for (const auto& f : alloc.fields) names += f.name + " ";
  EXPECT_EQ(names,
            "VRPAGOFORNORC VRCOBRMOBRA NRFORNE CDPRODUTO NMPRODUTO NRINSJURFORN NMRAZSOCFORN NMFANTFORN QTPRODMOBRA "
            "IDTPIJURFORN IDCONTAGERADA CDFORNECED CDFILIAL NRORCAEVENTO NRSEQORCAEVE NRTURNO NMFORNMOBRA "
            "HRINITUMOBRA QTHREVENTO IDTIPOPAGAFORN ");
  EXPECT_EQ(alloc.fields[static_cast<std::size_t>(alloc.FieldIndex("HRINITUMOBRA"))].size, 4);
  EXPECT_EQ(alloc.fields[static_cast<std::size_t>(alloc.FieldIndex("CDFORNECED"))].size, 21);

  // Items by product name then shift; allocations in the order they were made.
  std::string story;
  for (std::size_t r = 0; r < alloc.rows.size(); ++r) {
    auto at = [&](const char* f) { return alloc.rows[r][static_cast<std::size_t>(alloc.FieldIndex(f))]; };
    std::ostringstream quantity;
    quantity << at("QTPRODMOBRA").AsFloat();
    story += at("NMPRODUTO").AsString() + "/" + at("NRTURNO").AsString() + "/" + quantity.str() + ":" +
             (at("CDFORNECED").AsString().empty()
                  ? "-"
                  : at("CDFORNECED").AsString() + "@" + at("VRPAGOFORNORC").Describe() + "," +
                        at("HRINITUMOBRA").AsString() + "," + at("IDTIPOPAGAFORN").AsString()) +
             " ";
  }
  EXPECT_EQ(story,
            "COPEIRA/02/2:1005@100,1900,FOLHAPAGA COZINHEIRO/01/0:- GARÇOM/01/3:1001@120,0800,CONTAPAGAR "
            "GARÇOM/01/3:1003@120,0830,CONTAPAGAR GARÇOM/02/2.9:1004@150,1900,CONTAPAGAR MAÎTRE/02/1:- ");
  EXPECT_EQ(Column(items, "CDPRODUTO"), "MO002 MO003 MO001 MO001 MO004");
  EXPECT_TRUE(payables.rows.empty());

  const rt::DataPacket related = Call("GetAlocaForne", {"0001", "0000000013", "01"}).AsArray()[3].AsPacket();
  EXPECT_EQ(Column(related, "NRLANCTONF"), "0000000001 0000000002");
  EXPECT_EQ(Column(related, "CDFORNECED"), "1001 1008");

  const rt::Variant unknown = Call("GetAlocaForne", {"0001", "0000000099", "01"});
  for (const rt::Variant& p : unknown.AsArray()) EXPECT_TRUE(p.AsPacket().rows.empty());
}

// Within an item the records follow the order the allocations were made, not the
// professionals' codes: a professional added later with a lower code comes last.
TEST_P(QueryTest, GridLoadKeepsEachItemsAllocationsInTheOrderMade) {
  Exec(
      "INSERT INTO allocations (branch, number, sequence, shift, product, supplier_code, stored_name, crew_time, "
      "payment_type, paid_cents) VALUES ('0001', '0000000012', '01', '01', 'MO001', '1002', 'Maria', '0800', "
      "'FOLHAPAGA', 9000)");
  const rt::DataPacket alloc = Call("GetAlocaForne", {"0001", "0000000012", "01"}).AsArray()[1].AsPacket();
  std::string garcom;
  for (std::size_t r = 0; r < alloc.rows.size(); ++r) {
    auto at = [&](const char* f) { return alloc.rows[r][static_cast<std::size_t>(alloc.FieldIndex(f))]; };
    if (at("CDPRODUTO").AsString() == "MO001" && at("NRTURNO").AsString() == "01")
      garcom += at("CDFORNECED").AsString() + "#" + at("NRFORNE").Describe() + " ";
  }
  EXPECT_EQ(garcom, "1001#1 1003#2 1002#3 ");
}

// The grid load written straight from the rows is the same text as its variants
// encoded: on the demo budgets (accented names, payables, an unknown budget), a generated
// large one, and a stored name longer than its field (cut to the same characters).
TEST_P(QueryTest, GridLoadWrittenAsTextIsTheEncodedAnswerByteForByte) {
  const std::string large = GenerateLargeBudget(config_, 300);
  Exec("UPDATE allocations SET stored_name = ? WHERE number = '0000000012' AND supplier_code = '1004'",
       {"Ç" + std::string(80, 'y') + "ÎÎÎ"});
  for (const auto& [number, sequence] : std::vector<std::pair<std::string, std::string>>{
           {"0000000012", "01"}, {"0000000012", "02"}, {"0000000013", "01"}, {"0000000099", "01"}, {large, "01"}}) {
    std::vector<rt::Variant> params = {"0001", number, sequence};
    std::string encoded;
    rt::EncodeVariantTo(encoded, service_->Call(session_, "GetAlocaForne", params));
    std::string written = "{";  // appended to, as the answer's text is
    ASSERT_TRUE(service_->CallToText(session_, "GetAlocaForne", params, written));
    EXPECT_EQ(written, "{" + encoded) << number << "/" << sequence;
  }
  std::vector<rt::Variant> params = {"0000000012", "01"};
  std::string untouched;
  EXPECT_FALSE(service_->CallToText(session_, "GetSequencial", params, untouched));
  EXPECT_TRUE(untouched.empty());
  EXPECT_THROW(service_->CallToText(session_, "GetAlocaForne", params, untouched), InvalidParams);
}

TEST_P(QueryTest, ProfessionalListAndValidation) {
  const rt::VariantArray list = Call("GetProdForn", {"MO001", "", "", ""}).AsArray();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(Column(list[0].AsPacket(), "CDFORNECED"), "1003 1001 1008 1002 1004");
  EXPECT_EQ(Column(list[0].AsPacket(), "NMFANTFORN"),
            "Garçons Aurora João da Silva Lúcia Ferreira Maria Souza Pedro Oliveira");
  EXPECT_EQ(Column(list[0].AsPacket(), "IDTIPOPAGAPROF"), "CONTAPAGAR CONTAPAGAR CONTAPAGAR FOLHAPAGA CONTAPAGAR");
  EXPECT_TRUE(list[1].AsPacket().rows.empty());

  std::vector<rt::Variant> params = {"MO001", "F529.982.247-25", "0001", "0000000012"};
  rt::VariantArray found = service_->Call(session_, "GetProdForn", params).AsArray();
  EXPECT_EQ(params[1].AsString(), "52998224725");  // normalised, by reference
  EXPECT_EQ(Column(found[0].AsPacket(), "CDFORNECED") + "|" + Column(found[0].AsPacket(), "NMRAZSOCFORN"),
            "1001|João Carlos da Silva");
  EXPECT_EQ(Column(found[1].AsPacket(), "NRORCAEVENTO") + "|" + Column(found[1].AsPacket(), "CDPRODUTO") + "|" +
                Column(found[1].AsPacket(), "HRINITUMOBRA"),
            "0000000012|MO001|0800");

  struct Case {
    const char* product;
    const char* registration;
    const char* found;
  };
  for (const Case& c :
       {Case{"MO001", "52998224725", "1001"}, Case{"MO001", "J52998224725", ""}, Case{"MO002", "F52998224725", ""},
        Case{"MO001", "F00000000000", ""}, Case{"MO001", "' OR ''='", ""}, Case{"MO001", "J11222333000181", "1003"},
        // A key that is nothing once normalised finds nobody: a validation never answers the list.
        Case{"MO001", "   ", ""}, Case{"MO001", " .-/ ", ""}, Case{"MO001", "F", ""}}) {
    const auto answer = Call("GetProdForn", {c.product, c.registration, "0001", "0000000012"}).AsArray();
    EXPECT_EQ(Column(answer[0].AsPacket(), "CDFORNECED"), c.found) << c.product << " " << c.registration;
  }

  // Lúcia (1008) works at budget 15, whose event starts at the same date and hour.
  const auto booked = Call("GetProdForn", {"MO001", "F15350946056", "0001", "0000000012"}).AsArray();
  EXPECT_EQ(Column(booked[1].AsPacket(), "NRORCAEVENTO") + "|" + Column(booked[1].AsPacket(), "NRSEQORCAEVE"),
            "0000000012 0000000015|02 01");
}

// With the unit's key (sequence, shift, crew time) the lookup reports bookings that
// overlap the unit's, and the list puts those free then first.
TEST_P(QueryTest, AvailabilityAtTheUnitsTime) {
  auto booked = [&](std::vector<rt::Variant> params) {
    const auto answer = Call("GetProdForn", std::move(params)).AsArray();
    const rt::DataPacket& p = answer[1].AsPacket();
    return Column(p, "NRORCAEVENTO") + "|" + Column(p, "NRSEQORCAEVE") + "|" + Column(p, "NMPRODUTO") + "|" +
           Column(p, "DSINICIO");
  };
  // Lúcia (1008) works 15/01 that evening: reported for 12/01's evening crew of another
  // product, not for a morning crew.
  EXPECT_EQ(booked({"MO002", "F15350946056", "0001", "0000000012", "01", "02", "1900"}),
            "0000000015|01|GARÇOM|19/12 19:00");
  EXPECT_EQ(booked({"MO001", "F15350946056", "0001", "0000000012", "01", "01", "0800"}), "|||");
  // João (1001) works 12/01's morning: not reported for 12/02, the next day's lunch.
  EXPECT_EQ(booked({"MO001", "F52998224725", "0001", "0000000012", "02", "01", ""}), "|||");
  // João (1001) works 12/01's morning crew: free for 27/01's evening, booked for its own.
  EXPECT_EQ(booked({"MO001", "F52998224725", "0001", "0000000027", "01", "02", ""}), "|||");
  // Carlos (1007) works an event of branch 0002 that evening: never named to branch 0001.
  EXPECT_EQ(booked({"MO003", "F71428793860", "0001", "0000000027", "01", "02", ""}), "|||");

  auto list = [&](std::vector<rt::Variant> params) {
    const auto answer = Call("GetProdForn", std::move(params)).AsArray();
    const rt::DataPacket& p = answer[0].AsPacket();
    std::string out;
    for (const rt::Row& row : p.rows) {
      const std::string where = row[static_cast<std::size_t>(p.FieldIndex("DSALOCACAO"))].AsString();
      out += (out.empty() ? "" : " ") + row[static_cast<std::size_t>(p.FieldIndex("CDFORNECED"))].AsString() +
             (where.empty() ? "" : "=" + where);
    }
    return out;
  };
  // 27/01's waiters at 20:30: those of 12/01's evening and of 15/01 come last.
  EXPECT_EQ(list({"MO001", "", "0001", "0000000027", "01", "02", ""}),
            "1003 1001 1002 1008=15/01 GARÇOM 19:00 1004=12/01 GARÇOM 19:00");
  EXPECT_EQ(list({"MO003", "", "0001", "0000000027", "01", "02", ""}), "1002 1007=*");
  // Without a unit the list is as it always was.
  EXPECT_EQ(list({"MO001", "", "", ""}), "1003 1001 1008 1002 1004");
}

TEST_P(QueryTest, LabourItemDefaultsAndCrewTimes) {
  const rt::DataPacket values = Call("GetVrPgMObra", {"MO001", "0000000012", "01", "0001"}).AsPacket();
  EXPECT_EQ(Column(values, "NRTURNO") + "|" + Column(values, "DSTURNO") + "|" + Column(values, "VRPAGOMOBRA") + "|" +
                Column(values, "VRCOBRMOBRA") + "|" + Column(values, "HRINITUMOBRA") + "|" +
                Column(values, "CDARVPROD"),
            "01 02|DIURNO NOTURNO|120 150|180 200|0800 1900|03.02.MO001 03.02.MO001");
  EXPECT_EQ(values.fields[static_cast<std::size_t>(values.FieldIndex("HRINITUMOBRA"))].edit_mask, "99:99;0");
  EXPECT_TRUE(values.fields[static_cast<std::size_t>(values.FieldIndex("NRSEQORCAEVE"))].fixed_length);
  EXPECT_EQ(Column(Call("GetTurma", {"0001", "0000000012", "01", "01", "MO001"}).AsPacket(), "HRINITUMOBRA"),
            "0800 0830");
  EXPECT_TRUE(Call("GetTurma", {"0001", "0000000012", "01", "09", "MO001"}).AsPacket().rows.empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, QueryTest, ::testing::Values(testing::Backend::Sqlite, testing::Backend::Postgres),
                         testing::BackendName);

}  // namespace
}  // namespace srv
