// The real package library, loaded as a host loads it: exports, unit start-up, the
// screens' lifecycle through the factories, the report form's parameters, and the
// language resource module. Each test loads its own copy of the library file from a
// fresh folder (with or without the English module beside it), so that every test
// starts from a newly attached library.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "alloc/frm_aloca_mao.h"
#include "module/package.h"
#include "platform/clientlib/components.h"
#include "platform/clientlib/package_loader.h"
#include "platform/clientlib/report_dialog.h"
#include "platform/clientlib/session.h"
#include "platform/clientlib/unit.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/input.h"
#include "platform/runtime/ui/layout.h"
#include "platform/runtime/ui/testing/scripted_services.h"

// The library carries its own copy of the runtime whose symbols bind to this program's
// copies (one runtime for host and module): for the address sanitizer these are the
// same globals defined twice, which is the design here, not an error.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the sanitizer runtime looks this name up.
extern "C" const char* __asan_default_options() { return "detect_odr_violation=0"; }

namespace {

namespace fs = std::filesystem;

// An in-process application server that counts the connections opened to it and
// answers only the report calls: the reports of `reports` (the allocation report with
// its five parameters unless a test changes it), each run without rows.
struct TConnectCounter : clib::IAppServer {
  explicit TConnectCounter(const rt::VariantArray* reports) : reports_(reports) {}
  clib::ServerAnswer Call(const std::string& method, std::vector<clib::Arg>) override {
    if (method == "GetRelatorios") return {true, *reports_, "", 0};
    if (method == "GetDadosRelatorio") return {true, rt::VariantArray{"", "{}", rt::DataPacket()}, "", 0};
    return {false, rt::Variant(), "no method " + method, -32601};
  }
  const rt::VariantArray* reports_;
};

rt::Variant Report(const std::string& name, std::vector<std::string> params) {
  rt::VariantArray declared(params.begin(), params.end());
  return rt::VariantArray{name, name, declared};
}

// The layout files the build lists ("RESOURCE=file|RESOURCE=file...") as pairs.
std::vector<std::pair<std::string, std::string>> LayoutFiles() {
  std::vector<std::pair<std::string, std::string>> files;
  const std::string all = ALLOC_LAYOUTS;
  for (size_t start = 0; start < all.size();) {
    size_t end = all.find('|', start);
    if (end == std::string::npos) end = all.size();
    const std::string entry = all.substr(start, end - start);
    files.emplace_back(entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1));
    start = end + 1;
  }
  return files;
}

void CollectNames(const nlohmann::json& entry, std::vector<std::string>& names) {
  if (entry.contains("name")) names.push_back(entry["name"].get<std::string>());
  if (entry.contains("children"))
    for (const nlohmann::json& child : entry["children"]) CollectNames(child, names);
}

class PackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clib::Session().host = "10.1.2.3";
    clib::Session().port = 9311;
    clib::TNetConnectionComponent::SetAppServerProvider([this](clib::TNetConnectionComponent& c) {
      if (fail_connect_) throw std::runtime_error("socket layer broken");
      ++connections_;
      last_connection_ = &c;
      return std::make_shared<TConnectCounter>(&reports_);
    });
    Load(false);
  }

  void TearDown() override {
    for (rt::TForm* f : std::vector<rt::TForm*>(rt::Screen().Forms())) f->Close();
    rt::Application().ProcessMessages();
    package_.reset();
    clib::TNetConnectionComponent::SetAppServerProvider(nullptr);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // A fresh copy of the library (and of the English module when asked) in its own folder.
  void Load(bool english) {
    if (package_) {
      for (rt::TForm* f : std::vector<rt::TForm*>(rt::Screen().Forms())) f->Close();
      rt::Application().ProcessMessages();
      package_.reset();
      std::error_code ec;
      fs::remove_all(dir_, ec);  // the copy loaded before this one
    }
    // A folder of its own: a name made from the process id can be left by a killed run.
    std::string pattern = (fs::temp_directory_path() / "pkg_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << "cannot create a folder in " << fs::temp_directory_path();
    dir_ = pattern;
    fs::path built = PKG_EVT04700_PATH;
    fs::copy_file(built, dir_ / built.filename());
    if (english) fs::copy_file(built.string() + ".en", dir_ / (built.filename().string() + ".en"));
    setenv("ALLOC_UI_LANG", "en", 1);
    package_ = clib::TPackage::Load((dir_ / built.filename()).string());
  }

  void Call(const char* name) { package_->Call(name); }
  bool Created() { return *package_->Symbol<bool>("boStCriado"); }
  TfrmAlocaMao* Aloc() { return *package_->Symbol<TfrmAlocaMao*>("frmAlocaMao"); }
  rt::TForm* Rel() { return *package_->Symbol<rt::TForm*>("frmRelAlocMObra"); }
  int FormsOfClass(const std::string& name) {
    int n = 0;
    for (rt::TForm* f : rt::Screen().Forms()) n += f->ClassName() == name;
    return n;
  }
  void CloseAndRelease(rt::TForm* form) {
    ASSERT_TRUE(rt::Input::CloseForm(*form));
    rt::Application().ProcessMessages();
  }
  // The allocation screen's sequence box (its filter panel is another part's: a test
  // puts the box there).
  void SetAllocationSequence(const std::string& text) {
    auto* seq = Aloc()->Find<rt::TEdit>("edtSeq");
    if (!seq) seq = rt::Create<rt::TEdit>(Aloc(), "edtSeq");
    seq->SetText(text);
  }
  void LoadBudgetHeader(const std::string& filial, const std::string& numero) {
    rt::TClientDataSet& header = clib::DataSetOf(*Aloc(), "cdsOrcaEvento");
    rt::DataPacket packet;
    packet.fields = header.FieldDefs();
    rt::Row row(packet.fields.size());
    row[packet.FieldIndex("CDFILIAL")] = filial;
    row[packet.FieldIndex("NRORCAEVENTO")] = numero;
    row[packet.FieldIndex("NRSEQORCAEVE")] = "01";
    packet.rows.push_back(row);
    header.SetData(packet);
  }
  std::string RunReportParams(const std::string& report = "Alocação de Mão de Obra") {
    clib::TReportRun dialog = Rel()->Find<clib::TReportDesignerDialog>("rpddPadrao")->Execute(report);
    std::string out;
    for (const auto& [name, value] : dialog.params)
      out += (out.empty() ? "" : " ") + name + "=" + (value ? "'" + *value + "'" : std::string("null"));
    return out;
  }

  rt::testing::TScriptedServices services_;
  std::unique_ptr<clib::TPackage> package_;
  fs::path dir_;
  int connections_ = 0;
  rt::VariantArray reports_ = {
      Report("Alocação de Mão de Obra", {"P_CDFILIAL", "P_NRORCAEVENTO", "P_NRSEQDE", "P_NRSEQATE", "P_IDRESULTANTE"})};
  bool fail_connect_ = false;
  clib::TNetConnectionComponent* last_connection_ = nullptr;
};

TEST_F(PackageTest, ExportsAndUnitTableInOrder) {
  for (const char* name : {"Initialize", "Finalize", "GetPackageInfoTable", "IniProc", "CriaAlocaMaoObra",
                           "CriaRelAlocMObra", "frmAlocaMao", "boStCriado", "frmRelAlocMObra", "CreateFormOfClass"})
    EXPECT_NE(package_->FindSymbol(name), nullptr) << name;
  EXPECT_EQ(package_->FindSymbol("boRelCriado"), nullptr);  // the report flag stays inside
  const PackageInfoTable* table = package_->Symbol<const PackageInfoTable*()>("GetPackageInfoTable")();
  ASSERT_EQ(table->UnitCount, 3);  // the client library's unit, Cli_evt04701, Cli_evt04700
  EXPECT_FALSE(Created());
}

TEST_F(PackageTest, InitializationRunsOnceHoweverOftenTheTableIsWalked) {
  Call("CriaAlocaMaoObra");
  ASSERT_TRUE(Created());
  int library_starts = clib::UnitStartCount();  // the required library's unit, shared with the host
  ASSERT_GE(library_starts, 1);
  Call("Initialize");  // a second walk only counts: the flag of the live screen stays
  EXPECT_TRUE(Created());
  EXPECT_EQ(clib::UnitStartCount(), library_starts + 1);
  Call("Finalize");  // balances the extra walk; closes nothing
  EXPECT_EQ(clib::UnitStartCount(), library_starts);
  EXPECT_EQ(FormsOfClass("TfrmAlocaMao"), 1);
}

TEST_F(PackageTest, SecondCallShowsTheSameScreenAgainAtNormalSize) {
  Call("CriaAlocaMaoObra");
  TfrmAlocaMao* first = Aloc();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->IsShown());
  first->SetWindowState(rt::wsMinimized);
  Call("CriaAlocaMaoObra");
  EXPECT_EQ(Aloc(), first);
  EXPECT_EQ(FormsOfClass("TfrmAlocaMao"), 1);
  EXPECT_EQ(first->WindowState(), rt::wsNormal);
  EXPECT_EQ(connections_, 1);
  EXPECT_EQ(services_.Cursors(), (std::vector<rt::TCursor>{-11, 0, -11, 0}));
}

TEST_F(PackageTest, IniProcIsTheSameEntry) {
  Call("IniProc");
  TfrmAlocaMao* first = Aloc();
  Call("CriaAlocaMaoObra");
  Call("IniProc");
  EXPECT_EQ(Aloc(), first);
  EXPECT_EQ(FormsOfClass("TfrmAlocaMao"), 1);
}

TEST_F(PackageTest, CreationConnectsAndPreparesTheScreen) {
  // The creation step alone (the exported class entry), before any showing moves the
  // focus into the screen.
  auto create = package_->Symbol<rt::TForm*(const char*, rt::TComponent*)>("CreateFormOfClass");
  std::unique_ptr<rt::TForm> form(create("TfrmAlocaMao", &rt::Application()));
  ASSERT_NE(form, nullptr);
  auto* f = static_cast<TfrmAlocaMao*>(form.get());
  EXPECT_EQ(f->Caption(), "Alocação de Mão de Obra");
  EXPECT_EQ(f->FormStyle(), rt::fsMDIChild);
  EXPECT_EQ(f->Find<rt::TLabel>("lblCodTela")->Caption(), "EVT04700");
  clib::TNetConnectionComponent& net = f->netAloc();
  EXPECT_TRUE(net.Connected());
  EXPECT_EQ(last_connection_, &net);
  EXPECT_EQ(net.Host(), "10.1.2.3");  // set by netAlocBeforeConnect from the session
  EXPECT_EQ(net.Port(), 9311);
  EXPECT_EQ(net.ServerName(), "EVT04700.rdmAloc");
  for (const char* name : {"cdsForneMao", "cdsForneAux"}) {
    EXPECT_TRUE(clib::DataSetOf(*f, name).Active()) << name;
    EXPECT_TRUE(clib::DataSetOf(*f, name).IsEmpty()) << name;
  }
  EXPECT_EQ(clib::DataSetOf(*f, "cdsForneMao").FieldCount(), 21);
  EXPECT_EQ(clib::DataSetOf(*f, "cdsForneAux").FieldCount(), 16);
  EXPECT_FALSE(clib::DataSetOf(*f, "cdsOrcaEvento").Active());
  EXPECT_TRUE(f->stInscricao.empty());
  EXPECT_FALSE(Created());  // the class entry leaves the factory's flag alone
  EXPECT_EQ(create("TfrmOutro", &rt::Application()), nullptr);
}

TEST_F(PackageTest, ClosingClearsTheFlagAndTheNextCallCreatesAFreshScreen) {
  Call("CriaAlocaMaoObra");
  Aloc()->stInscricao = "F12345678901";
  clib::DataSetOf(*Aloc(), "cdsForneAux").Append();
  clib::DataSetOf(*Aloc(), "cdsForneAux").Post();
  CloseAndRelease(Aloc());
  EXPECT_FALSE(Created());
  EXPECT_EQ(FormsOfClass("TfrmAlocaMao"), 0);  // closing disposes of the screen

  Call("CriaAlocaMaoObra");
  EXPECT_TRUE(Created());
  EXPECT_EQ(FormsOfClass("TfrmAlocaMao"), 1);
  EXPECT_EQ(connections_, 2);  // a new connection
  EXPECT_TRUE(Aloc()->stInscricao.empty());
  EXPECT_TRUE(clib::DataSetOf(*Aloc(), "cdsForneAux").IsEmpty());
}

TEST_F(PackageTest, FailedCreationReachesTheCallerWithTheFlagFalse) {
  fail_connect_ = true;
  EXPECT_THROW(Call("CriaAlocaMaoObra"), std::runtime_error);
  EXPECT_FALSE(Created());
  EXPECT_EQ(FormsOfClass("TfrmAlocaMao"), 0);
  EXPECT_EQ(rt::Screen().Cursor(), rt::crDefault);  // the hour-glass does not stay behind
  fail_connect_ = false;
  Call("CriaAlocaMaoObra");
  EXPECT_TRUE(Created());
}

TEST_F(PackageTest, ReportFormTakesTheSequenceOnceAndKeepsItsWindowState) {
  Call("CriaAlocaMaoObra");
  SetAllocationSequence("03");
  Call("CriaRelAlocMObra");
  rt::TForm* rel = Rel();
  ASSERT_NE(rel, nullptr);
  EXPECT_EQ(rel->Caption(), "Relatório de Alocação de Mão de Obra");
  auto* de = rel->Find<rt::TEdit>("edtSeqDe");
  auto* ate = rel->Find<rt::TEdit>("edtSeqAte");
  EXPECT_EQ(de->Text(), "03");
  EXPECT_EQ(ate->Text(), "03");

  de->SetText("01");  // the user's range survives a reopening
  SetAllocationSequence("07");
  rel->SetWindowState(rt::wsMinimized);
  Call("CriaRelAlocMObra");
  EXPECT_EQ(Rel(), rel);
  EXPECT_EQ(rel->WindowState(), rt::wsMinimized);
  EXPECT_EQ(de->Text(), "01");
  EXPECT_EQ(ate->Text(), "03");
  EXPECT_EQ(FormsOfClass("TfrmRelAlocMObra"), 1);

  CloseAndRelease(rel);
  Call("CriaRelAlocMObra");  // a new instance reads the screen again
  EXPECT_EQ(Rel()->Find<rt::TEdit>("edtSeqDe")->Text(), "07");
}

TEST_F(PackageTest, ReportFormWithBlankSequenceStartsEmpty) {
  Call("CriaAlocaMaoObra");
  SetAllocationSequence("  ");
  Call("CriaRelAlocMObra");
  EXPECT_EQ(Rel()->Find<rt::TEdit>("edtSeqDe")->Text(), "");
  EXPECT_EQ(Rel()->Find<rt::TEdit>("edtSeqAte")->Text(), "");
}

TEST_F(PackageTest, ReportParametersFollowTheScreenAndTheCopyChoice) {
  Call("CriaAlocaMaoObra");
  LoadBudgetHeader("0001", "0000000012");
  SetAllocationSequence("02");
  Call("CriaRelAlocMObra");
  rt::TForm* rel = Rel();
  rel->Find<rt::TEdit>("edtSeqAte")->SetText("05");
  EXPECT_EQ(RunReportParams(),
            "P_CDFILIAL='0001' P_NRORCAEVENTO='0000000012' P_NRSEQDE='02' P_NRSEQATE='05' P_IDRESULTANTE='N'");

  auto* ckb = rel->Find<rt::TCheckBox>("ckbMostrarCopia");
  ASSERT_TRUE(rt::Input::Click(*ckb));
  for (const char* name : {"edtSeqDe", "edtSeqAte", "lblDe", "lblAte"})
    EXPECT_FALSE(rel->Find<rt::TControl>(name)->Enabled()) << name;
  // The range still passes while its boxes are disabled.
  EXPECT_EQ(RunReportParams(),
            "P_CDFILIAL='0001' P_NRORCAEVENTO='0000000012' P_NRSEQDE='02' P_NRSEQATE='05' P_IDRESULTANTE='S'");
  ASSERT_TRUE(rt::Input::Click(*ckb));
  for (const char* name : {"edtSeqDe", "edtSeqAte", "lblDe", "lblAte"})
    EXPECT_TRUE(rel->Find<rt::TControl>(name)->Enabled()) << name;
  EXPECT_EQ(rel->Find<rt::TEdit>("edtSeqDe")->Text(), "02");
}

TEST_F(PackageTest, OnlyTheParametersAQueryDeclaresAreSet) {
  reports_ = {Report("Dois", {"P_CDFILIAL", "P_NRORCAEVENTO", "OUTRO"}), Report("Nenhum", {"OUTRO"})};
  Call("CriaAlocaMaoObra");
  LoadBudgetHeader("0002", "0000000099");
  Call("CriaRelAlocMObra");
  EXPECT_EQ(RunReportParams("Dois"), "P_CDFILIAL='0002' P_NRORCAEVENTO='0000000099' OUTRO=null");
  EXPECT_EQ(RunReportParams("Nenhum"), "OUTRO=null");
}

TEST_F(PackageTest, ReportWithoutALiveAllocationScreenPassesAnEmptyBudget) {
  Call("CriaAlocaMaoObra");
  LoadBudgetHeader("0001", "0000000012");
  SetAllocationSequence("04");
  CloseAndRelease(Aloc());
  Call("CriaRelAlocMObra");  // frmAlocaMao still names the destroyed screen: not read
  EXPECT_EQ(Rel()->Find<rt::TEdit>("edtSeqDe")->Text(), "");
  EXPECT_EQ(RunReportParams(), "P_CDFILIAL='' P_NRORCAEVENTO='' P_NRSEQDE='' P_NRSEQATE='' P_IDRESULTANTE='N'");
}

// Every layout file (the .json beside each screen) is the resource the library carries,
// and the screens read each whole: a screen holds every component the file names.
TEST_F(PackageTest, EveryLayoutFileIsTheResourceTheLibraryReads) {
  const auto files = LayoutFiles();
  ASSERT_EQ(files.size(), 4u) << ALLOC_LAYOUTS;
  Call("CriaAlocaMaoObra");
  Call("CriaRelAlocMObra");
  for (const auto& [resource, path] : files) {
    SCOPED_TRACE(testing::Message() << resource << " from " << path);
    std::ifstream in(path);
    const nlohmann::json file = nlohmann::json::parse(in, nullptr, false);
    ASSERT_FALSE(file.is_discarded()) << "not valid JSON";
    EXPECT_EQ(rt::FindResource(resource), file);
    std::vector<std::string> names;
    for (const nlohmann::json& child : file["children"]) CollectNames(child, names);
    ASSERT_FALSE(names.empty());
    bool read_whole = false;
    for (rt::TForm* form : rt::Screen().Forms()) {
      bool all = true;
      for (const std::string& name : names) all = all && form->FindComponent(name) != nullptr;
      read_whole = read_whole || all;
    }
    EXPECT_TRUE(read_whole) << "no screen holds every component of the file";
  }
}

TEST_F(PackageTest, WithoutALanguageModuleTheOwnTextsServe) {
  Call("CriaAlocaMaoObra");
  clib::TMessages& msg = Aloc()->msgPadrao();
  EXPECT_EQ(msg.Msg("ORCA_N_CAD"), "Orçamento não cadastrado.");
  EXPECT_EQ(msg.Msg("N_PARAM_EMPRESARELAC"), "Empresa ou sua Inscrição Estadual  não esta relacionada a filial. ");
  EXPECT_EQ(msg.Msg("CONTA_PAGAR"), "GERAR CONTA");
  // The 38 of the allocation rules, three of unsaved work, four of availability, six of changes heard.
  EXPECT_EQ(msg.Items().size(), 51u);
}

TEST_F(PackageTest, TheEnglishLanguageModuleOverridesTheTexts) {
  Load(true);
  Call("CriaAlocaMaoObra");
  EXPECT_EQ(Aloc()->Caption(), "Labour Allocation");
  clib::TMessages& msg = Aloc()->msgPadrao();
  EXPECT_EQ(msg.Msg("ORCA_N_CAD"), "Budget not registered.");
  EXPECT_EQ(msg.Msg("FOLHA_PAGA"), "EM FOLHA");  // payment codes' texts stay as stored
  EXPECT_EQ(clib::DataSetOf(*Aloc(), "cdsForneMao").FieldCount(), 21);
  // Column titles, the base screen's hints and menus, the base messages.
  EXPECT_EQ(clib::DataSetOf(*Aloc(), "cdsForneMao").FieldByName("NMPRODUTO").DisplayLabel(), "Labour Description");
  EXPECT_EQ(Aloc()->Find<rt::TControl>("sbtIncluir")->Hint(), "Add");
  EXPECT_EQ(Aloc()->Find<rt::TMenuItem>("mnuManutencao")->Caption(), "&Maintenance");
  Call("CriaRelAlocMObra");
  EXPECT_EQ(Rel()->Find<rt::TCheckBox>("ckbMostrarCopia")->Caption(), "Show Resulting Copy");
}

TEST(PackageLoaderTest, AFileThatIsNoPackageIsRefused) {
  EXPECT_THROW(clib::TPackage::Load("/nonexistent/libPkg.so"), clib::EPackageError);
  EXPECT_THROW(clib::TPackage::Load("libm.so.6"), clib::EPackageError);  // no Initialize
}

}  // namespace
