// Test support of the allocation screen tests (tests only): an in-process double of the
// application server behind the connection seam that records every call and answers
// from small fixtures, one journal in which server calls and everything the screen
// shows appear in the order they happened, and the screen opened through its factory.
#pragma once

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "alloc/cli_evt04700.h"
#include "alloc/frm_aloca_mao.h"
#include "module/package.h"
#include "platform/clientlib/components.h"
#include "platform/clientlib/session.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/input.h"
#include "platform/runtime/ui/testing/scripted_services.h"

namespace alloc::testing {

using Values = std::map<std::string, rt::Variant>;

// A data packet with the stored (not calculated) fields of `like`, each row given by
// field name (fields not named are null).
inline rt::DataPacket PacketLike(const rt::TClientDataSet& like, const std::vector<Values>& rows) {
  rt::DataPacket packet;
  for (const rt::FieldDef& def : like.FieldDefs())
    if (!def.calculated) packet.fields.push_back(def);
  for (const Values& values : rows) {
    rt::Row row;
    for (const rt::FieldDef& def : packet.fields) {
      auto it = values.find(def.name);
      row.push_back(it == values.end() ? rt::Variant() : it->second);
    }
    packet.rows.push_back(std::move(row));
  }
  return packet;
}

// A record of the allocation packet: a labour item, allocated when `forn` is not blank.
inline Values Aux(const std::string& turno, const std::string& produto, const std::string& nome, double qt,
                  const std::string& forn = "", rt::Variant valor = rt::Variant()) {
  Values v{{"NRTURNO", turno}, {"CDPRODUTO", produto}, {"NMPRODUTO", nome}, {"QTPRODMOBRA", qt}, {"CDFORNECED", forn}};
  if (!forn.empty()) {
    v["NRINSJURFORN"] = "529982247" + forn.substr(forn.size() - 2);
    v["IDTPIJURFORN"] = "F";
    v["NMFANTFORN"] = "Fantasia " + forn;
    v["NMRAZSOCFORN"] = "Razão " + forn;
    v["NMFORNMOBRA"] = "Razão " + forn;
    v["HRINITUMOBRA"] = "0800";
    v["IDTIPOPAGAFORN"] = "CONTAPAGAR";
    v["IDCONTAGERADA"] = "N";
    v["VRPAGOFORNORC"] = valor;
    v["NRFORNE"] = 7.0;  // the packet's own numbering, which the screen ignores
  }
  return v;
}

// The in-process application server: records "Method(arg, arg, ...)" in the journal and
// answers from the fixtures below; a method named in `fail` answers with a failure.
class TFakeServer : public clib::IAppServer {
 public:
  explicit TFakeServer(std::vector<std::string>& journal) : journal_(journal) {}

  // Fixtures. Budgets known to the server as (branch, number, sequence).
  struct Budget {
    std::string filial, numero, seq;
  };
  std::vector<Budget> budgets{{"0001", "0000000012", "00"}, {"0001", "0000000012", "02"}, {"0001", "0000000013", "01"}};
  std::vector<Values> allocations;  // the allocation packet of GetAlocaForne
  std::vector<Values> payables;     // its payables packet
  rt::Variant qt_hr_evento = 6.5;
  std::map<std::string, std::string> fail;  // method -> the server's failure text
  int fail_code = -32000;  // the server refused; 0: the server could not be reached
  // Professionals: the cdsProdForn fields plus "PRODUTO", the labour product they serve.
  std::vector<Values> professionals;
  // Allocations the server reports for a professional (cdsVdProf rows, by CDFORNECED).
  std::vector<Values> allocated;
  // The labour item's defaults (GetVrPgMObra; none: an empty answer) and crew times.
  std::optional<Values> defaults = Values{{"VRPAGOMOBRA", 120.5}, {"HRINITUMOBRA", "0830"}};
  std::vector<Values> other_shifts;  // further GetVrPgMObra rows, after `defaults`
  std::vector<std::string> crew_times{"0800", "0830"};
  // Answers of the checks before generation and of GeraConta.
  bool value_check = true, payment_check = true;
  rt::Variant gera_conta;
  // The unit the last GetProdForn carried: "sequence shift crew".
  std::string unit_sent;
  // Packets shaped like the screen's own datasets (set by the fixture).
  std::function<rt::DataPacket(const std::string& dataset, const std::vector<Values>&)> packet;

  clib::ServerAnswer Call(const std::string& method, std::vector<clib::Arg> args) override {
    std::string line = method + "(";
    // GetProdForn's unit (sequence, shift, crew time) is kept apart: journals read the
    // four arguments every lookup has.
    std::size_t shown = args.size();
    if (method == "GetProdForn") {
      unit_sent.clear();
      for (std::size_t i = 4; i < args.size(); ++i) unit_sent += (i > 4 ? " " : "") + args[i].Value().AsString();
      shown = std::min<std::size_t>(shown, 4);
    }
    for (std::size_t i = 0; i < shown; ++i) {
      const rt::Variant& v = args[i].Value();
      line += (i ? ", " : "") + (v.type() == rt::Variant::Type::String ? v.AsString() : v.Describe());
    }
    if (method == "SetForneMao") line = "SetForneMao(" + DeltaText(args.at(0).Value().AsPacket());
    journal_.push_back(line + ")");
    if (auto it = fail.find(method); it != fail.end()) return {false, rt::Variant(), it->second, fail_code};
    auto text = [&](std::size_t i) { return args.at(i).Value().AsString(); };
    if (method == "GetPesqOrca") {
      std::vector<Values> rows;
      for (const Budget& b : budgets) {
        if (b.filial != text(0)) continue;
        if (text(2) == "1" ? b.numero != text(1)
                           : !rows.empty() && rows.back()["NRORCAEVENTO"] == rt::Variant(b.numero))
          continue;
        rows.push_back({{"CDFILIAL", b.filial}, {"NRORCAEVENTO", b.numero}, {"NRSEQORCAEVE", b.seq}});
      }
      return Ok(packet(text(2) == "1" ? "cdsVdOrcaEven" : "cdsPesqOrca", rows));
    }
    if (method == "GetSequencial") {
      std::vector<Values> rows;
      for (const Budget& b : budgets)
        if (b.numero == text(0) && b.seq == text(1))
          rows.push_back({{"NRORCAEVENTO", b.numero}, {"NRSEQORCAEVE", b.seq}});
      return Ok(packet("cdsSequencial", rows));
    }
    if (method == "GetAlocaForne") {
      Values header{{"CDFILIAL", text(0)},
                    {"NRORCAEVENTO", text(1)},
                    {"NRSEQORCAEVE", text(2)},
                    {"NMFANTCLIE", "Buffet Aurora"},
                    {"QTHREVENTO", qt_hr_evento}};
      return Ok(rt::VariantArray{packet("cdsOrcaEvento", {header}), packet("cdsFornMaoAux", allocations),
                                 packet("cdsItMaoObra", {}), packet("cdsNfRelacOrc", payables)});
    }
    if (method == "GetProdForn") {
      std::vector<Values> found, elsewhere;
      for (Values p : professionals) {
        if (p["PRODUTO"].AsString() != text(0)) continue;
        const std::string reg = p["NRINSJURFORN"].AsString();
        const std::string key = (reg.size() == 11 ? "F" : reg.size() == 14 ? "J" : "") + reg;
        if (text(1).empty() || text(1) == key) found.push_back(p);
      }
      if (!text(1).empty() && !found.empty())
        for (const Values& a : allocated)
          if (a.at("CDFORNECED") == found.front()["CDFORNECED"]) elsewhere.push_back(a);
      return Ok(rt::VariantArray{packet(text(1).empty() ? "cdsProdForn" : "cdsVdForn", found),
                                 packet("cdsVdProf", elsewhere)});
    }
    if (method == "GetVrPgMObra") {
      std::vector<Values> rows;
      if (defaults) rows.push_back(*defaults);
      rows.insert(rows.end(), other_shifts.begin(), other_shifts.end());
      return Ok(packet("cdsVrPagMObra", rows));
    }
    if (method == "GetTurma") {
      std::vector<Values> rows;
      for (const std::string& t : crew_times) rows.push_back({{"HRINITUMOBRA", t}});
      return Ok(packet("cdsTurma", rows));
    }
    if (method == "SetForneMao" || method == "SetCancelaConta") return Ok(rt::Variant());
    if (method == "GetRelatorios") {  // the report form lists the allocation report
      rt::VariantArray params{"P_CDFILIAL", "P_NRORCAEVENTO", "P_NRSEQDE", "P_NRSEQATE", "P_IDRESULTANTE"};
      return Ok(rt::VariantArray{rt::VariantArray{"Alocação de Mão de Obra", "Alocação de Mão de Obra", params}});
    }
    if (method == "Get_VrPgMObra") return Ok(value_check);
    if (method == "GetTpFormPgProf") return Ok(payment_check);
    if (method == "GeraConta") return Ok(gera_conta);
    return {false, rt::Variant(), "Método desconhecido: " + method, -32601};
  }

  // A delta as "CDPRODUTO#NRFORNE old->new CDFORNECED amount crew payment; ...".
  static std::string DeltaText(const rt::DataPacket& delta) {
    std::string out;
    for (const rt::DeltaRow& row : delta.changes) {
      auto v = [&](const rt::Row& values, const char* name) {
        const rt::Variant& x = values.at(static_cast<std::size_t>(delta.FieldIndex(name)));
        return x.IsNull() ? std::string("null") : x.type() == rt::Variant::Type::String ? x.AsString() : x.Describe();
      };
      out += (out.empty() ? "" : "; ") + v(row.old_values, "CDPRODUTO") + "#" + v(row.old_values, "NRFORNE") + " " +
             v(row.old_values, "CDFORNECED") + "->" + v(row.new_values, "CDFORNECED") + " " +
             v(row.new_values, "VRPAGOFORNORC") + " " + v(row.new_values, "HRINITUMOBRA") + " " +
             v(row.new_values, "IDTIPOPAGAFORN");
    }
    return out;
  }

 private:
  static clib::ServerAnswer Ok(rt::Variant value) { return {true, std::move(value), "", 0}; }
  std::vector<std::string>& journal_;
};

// The dialogs and the busy animation of the scripted services, each event also written
// to the journal, so that calls and what the user sees read as one story.
class TJournalServices : public rt::IDialogService, public rt::IBusyIndicator {
 public:
  TJournalServices(rt::testing::TScriptedServices& inner, std::vector<std::string>& journal)
      : inner_(inner), journal_(journal), scope_(this, this, &inner) {}
  rt::TModalResult MessageDlg(const std::string& text, rt::TMsgDlgType type, const rt::TMsgDlgButtons& buttons,
                              int help) override {
    auto result = inner_.MessageDlg(text, type, buttons, help);
    Copy();
    return result;
  }
  void ShowError(const std::string& text) override {
    inner_.ShowError(text);
    Copy();
  }
  std::optional<int> PickList(const std::string& title, const std::string& empty_text,
                              const std::vector<rt::TPickColumn>& columns,
                              const std::vector<std::vector<std::string>>& rows) override {
    auto result = inner_.PickList(title, empty_text, columns, rows);
    Copy();
    return result;
  }
  void Show(int kind) override {
    inner_.Show(kind);
    Copy();
  }
  void Hide() override {
    inner_.Hide();
    Copy();
  }

 private:
  void Copy() { journal_.push_back(inner_.Events().back()); }
  rt::testing::TScriptedServices& inner_;
  std::vector<std::string>& journal_;
  rt::TServicesScope scope_;
};

// The grid's columns, in the layout's order.
enum GridCol { kNr, kProduto, kProf, kNome, kPgto, kValor, kHoras, kTurma };

// The allocation screen opened through its factory, against the fake server, as the
// operator "demo" of branch 0001.
class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Initialize();
    clib::Session().branch = "0001";
    clib::Session().operator_name = "demo";
    server_ = std::make_shared<TFakeServer>(journal_);
    clib::TNetConnectionComponent::SetAppServerProvider([this](clib::TNetConnectionComponent&) { return server_; });
    CriaAlocaMaoObra();
    ASSERT_TRUE(boStCriado);
    form_ = frmAlocaMao;
    server_->packet = [this](const std::string& dataset, const std::vector<Values>& rows) {
      return PacketLike(form_->DataSet(dataset), rows);
    };
  }

  void TearDown() override {
    if (boStCriado) {
      // What a test leaves unsaved is dropped here, so that closing asks nothing; the
      // tests of closing close the screen themselves.
      rt::TClientDataSet& rows = frmAlocaMao->cdsForneMao();
      if (rows.Active()) {
        rows.Cancel();
        rows.MergeChangeLog();
      }
      rt::Input::CloseForm(*frmAlocaMao);
    }
    rt::Application().ProcessMessages();
    clib::TNetConnectionComponent::SetAppServerProvider(nullptr);
  }

  TfrmAlocaMao& F() { return *form_; }
  TFakeServer& Server() { return *server_; }

  // The journal so far, joined with " | ", and emptied.
  std::string Journal() {
    std::string out;
    for (const auto& e : journal_) out += (out.empty() ? "" : " | ") + e;
    journal_.clear();
    return out;
  }

  // The user clicks into a control and types.
  void TypeInto(rt::TWinControl& control, const std::string& text) {
    rt::Input::FocusControl(control);
    rt::Input::TypeText(text);
  }
  // Number and sequence typed, then the panel left for the grid.
  void OpenBudget(const std::string& numero, const std::string& seq = "") {
    TypeInto(F().edtNrOrcamento(), numero);
    if (!seq.empty()) TypeInto(F().edtSeq(), "\b\b" + seq);  // over the preset "00"
    rt::Input::FocusControl(F().dbgPadrao());
  }
  // A professional typed into a row and the payment picked, then the row posted by
  // moving up (the save follows the post).
  void Allocate(TfrmAlocaMao& form, int row, const std::string& registration, const char* payment) {
    rt::TDBGrid& grid = form.dbgPadrao();
    ASSERT_TRUE(grid.SelectCell(row, kProf));
    ASSERT_TRUE(grid.TypeText(registration));
    ASSERT_TRUE(grid.Key(rt::VK_TAB)) << services_.Log();
    ASSERT_TRUE(grid.SelectCell(row, kPgto));
    ASSERT_TRUE(grid.PickListChoose(payment));
    grid.Key(rt::VK_UP);
  }
  std::string Focused() {
    rt::TWinControl* c = F().ActiveControl();
    return c ? c->Name() : "(none)";
  }

  // The grid rows in view order: "NMPRODUTO/NRTURNO #NRFORNE CDFORNECED" ("-" when free).
  std::string GridRows() {
    rt::TClientDataSet& ds = F().cdsForneMao();
    if (!ds.Active()) return "(closed)";
    if (ds.IsEmpty()) return "";
    std::string out;
    int keep = ds.RecNo();
    for (ds.First(); !ds.Eof(); ds.Next()) {
      std::string forn = ds.FieldByName("CDFORNECED").AsString();
      out += (out.empty() ? "" : " | ") + ds.FieldByName("NMPRODUTO").AsString() + "/" +
             ds.FieldByName("NRTURNO").AsString() + " #" + ds.FieldByName("NRFORNE").AsString() + " " +
             (forn.empty() ? "-" : forn);
    }
    if (keep > 0) ds.SetRecNo(keep);
    return out;
  }

  // Names of the enabled ones among the buttons and menu items the enabling rule sets.
  std::string Enabled() {
    std::string out;
    for (const char* name : {"sbtIncluir", "sbtAlterar", "sbtExcluir", "sbtPesquisar", "sbtVerificar", "sbtImprimir",
                             "sbtLimpaForn", "sbtGeraConta", "sbtCancelaConta"})
      if (F().Control(name).Enabled()) out += std::string(out.empty() ? "" : " ") + name;
    for (const char* name : {"mnuIncluir", "mnuAlterar", "mnuExcluir", "mnuPesquisar", "mnuVerificar", "mnuListagem",
                             "mnuLimpaForn", "mnuGeraConta", "mnuCancelaConta"})
      if (F().MenuItem(name).Enabled()) out += std::string(out.empty() ? "" : " ") + name;
    return out.empty() ? "(none)" : out;
  }

  std::vector<std::string> journal_;
  rt::testing::TScriptedServices services_;
  TJournalServices journal_services_{services_, journal_};
  std::shared_ptr<TFakeServer> server_;
  TfrmAlocaMao* form_ = nullptr;
};

// A budget with one allocated and one free unit of waiters, and two professionals the
// server offers for waiters.
class EditingScreenTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    Server().allocations = {Aux("01", "GAR", "GARÇOM", 2, "1001", 150.0)};
    Server().professionals = {
        Professional("1001", "52998224701", "Fantasia 1001", "Razão 1001", "CONTAPAGAR"),
        Professional("1002", "11144477735", "Ana", "Ana Souza Eventos", "FOLHAPAGA"),
    };
    OpenBudget("12");
    Journal();
  }

  static Values Professional(const std::string& code, const std::string& reg, const std::string& fant,
                             const std::string& razao, const std::string& pgto) {
    return {{"PRODUTO", "GAR"},   {"CDFORNECED", code},    {"NRINSJURFORN", reg},   {"IDTPIJURFORN", "F"},
            {"NMFANTFORN", fant}, {"NMRAZSOCFORN", razao}, {"IDTIPOPAGAPROF", pgto}};
  }

  rt::TDBGrid& Grid() { return F().dbgPadrao(); }
  rt::TClientDataSet& Rows() { return F().cdsForneMao(); }
  std::string Field(const char* name) { return Rows().FieldByName(name).AsString(); }
  // The row's professional and allocation as "CDFORNECED reg name | payment amount crew".
  std::string Row() {
    auto text = [&](const char* name) {
      rt::TField& f = Rows().FieldByName(name);
      return f.IsNull() ? std::string("null") : f.AsString();
    };
    return text("CDFORNECED") + " " + text("NRINSJURFORN") + " " + text("NMFORNMOBRA") + " | " +
           text("IDTIPOPAGAFORN") + " " + text("VRPAGOFORNORC") + " " + text("HRINITUMOBRA");
  }
  std::string State() {
    switch (Rows().State()) {
      case rt::dsEdit:
        return "edit";
      case rt::dsBrowse:
        return "browse";
      default:
        return "other";
    }
  }
  std::string Column() { return Grid().SelectedField() ? Grid().SelectedField()->FieldName() : "(none)"; }
};

}  // namespace alloc::testing

// The test program's entry (it replaces gtest_main's). The module's detach entry
// (module/entry.cpp, a destructor function) unregisters the module's reports after the
// report registry's own static destructor has run when the module's objects are linked
// into an executable, which frees that registry twice at exit. Until the entry is fixed
// there, the program ends right after the tests, without static destructors.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::fflush(nullptr);
  std::_Exit(result);
}
