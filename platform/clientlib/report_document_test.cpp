// A report run laid out: groups break on their keys, captions and detail cells take
// their formats with the user's separators, totals per group and split value, the
// empty report, and the CSV export.
#include "platform/clientlib/report_document.h"
#include "platform/clientlib/routines.h"

#include <gtest/gtest.h>

namespace clib {
namespace {

const char* const kLayout = R"json({
  "header": [{"label": "Orçamento", "field": "ORC"}],
  "notes": [{"param": "P_TUDO", "equals": "S", "text": "Todas as sequências."}],
  "empty": "Nada.",
  "groups": [
    {"keys": ["SEQ"], "total": "Total da sequência", "caption": [{"label": "Seq", "field": "SEQ"},
                                                                  {"label": "Data", "field": "DATA", "format": "datetime"}]},
    {"keys": ["ITEM"], "total": "Total do item", "split": true, "caption": [{"label": "Item", "field": "ITEM"}]}
  ],
  "detail": {"present": "COD", "absent": "(livre)", "columns": [
    {"title": "Nome", "field": "NOME"},
    {"title": "Inscrição", "field": "INSC", "format": "registration", "type_field": "TIPO"},
    {"title": "Pagamento", "field": "PAG", "map": {"FOLHAPAGA": "EM FOLHA", "": "", "*": "GERAR CONTA"}},
    {"title": "Valor", "field": "VALOR", "format": "#,##0.00", "align": "right"},
    {"title": "Hr", "field": "HORA", "format": "crew_time"},
    {"title": "Horas", "field": "DUR", "format": "hours"},
    {"title": "Conta", "field": "GERADA", "map": {"S": "GERADA", "*": ""}}]},
  "totals": {"field": "VALOR", "format": "#,##0.00", "split": "PAG", "blank": "SEM TIPO",
             "report": "Total do orçamento", "report_split": true}
})json";

TReportRun RunOf(std::vector<rt::Row> rows, std::string tudo = "N") {
  TReportRun run;
  run.title = "Alocação";
  run.layout = kLayout;
  run.params = {{"P_TUDO", tudo}};
  for (const char* name :
       {"ORC", "SEQ", "DATA", "ITEM", "COD", "NOME", "INSC", "TIPO", "PAG", "VALOR", "HORA", "DUR", "GERADA"}) {
    rt::FieldDef f;
    f.name = name;
    f.type = std::string(name) == "VALOR" || std::string(name) == "DUR" ? rt::FieldType::Float : rt::FieldType::String;
    run.rows.fields.push_back(f);
  }
  run.rows.rows = std::move(rows);
  return run;
}

rt::Row Unit(const char* seq, const char* item, const rt::Variant& cod, const rt::Variant& name,
             const rt::Variant& insc, const rt::Variant& type, const rt::Variant& pay, const rt::Variant& amount,
             const rt::Variant& hour, const rt::Variant& generated) {
  return {"12", seq, "2026-12-19T19:30:00", item, cod, name, insc, type, pay, amount, hour, 6.5, generated};
}

std::vector<rt::Row> Demo() {
  return {Unit("01", "GARÇOM", "1001", "João", "52998224725", "F", "CONTAPAGAR", 1234.5, "0800", "S"),
          Unit("01", "GARÇOM", "1002", "Maria", "11222333000181", "J", "FOLHAPAGA", 100.0, "0830", "N"),
          Unit("01", "MAÎTRE", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
          Unit("02", "GARÇOM", "1004", "Pedro", "1234", "X", "", 10.0, "", "N")};
}

std::string Dump(const TReportDocument& doc) {
  std::string out;
  for (const TReportLine& line : doc.lines) {
    static const char* kinds[] = {"G", "C", "D", "S", "T"};
    out += std::string(kinds[static_cast<int>(line.kind)]) + std::to_string(line.level) + " " + line.text;
    for (const std::string& c : line.cells) out += "|" + c;
    out += "\n";
  }
  return out;
}

TEST(ReportDocumentTest, GroupsDetailsAndTotalsInTheUsersFormats) {
  const TReportDocument doc = BuildReportDocument(RunOf(Demo()), rt::FormatSettings{});
  EXPECT_EQ(doc.title, "Alocação");
  EXPECT_EQ(doc.header, (std::vector<std::string>{"Orçamento: 12"}));
  EXPECT_TRUE(doc.notes.empty());
  EXPECT_EQ(doc.total_column, 3);
  EXPECT_EQ(Dump(doc),
            "G0 Seq: 01   Data: 19/12/2026 19:30\n"
            "G1 Item: GARÇOM\n"
            "C2 |Nome|Inscrição|Pagamento|Valor|Hr|Horas|Conta\n"
            "D2 |João|529.982.247-25|GERAR CONTA|1.234,50|08:00|06:30|GERADA\n"
            "D2 |Maria|11.222.333/0001-81|EM FOLHA|100,00|08:30|06:30|\n"
            "S1 GERAR CONTA|1.234,50\n"
            "S1 EM FOLHA|100,00\n"
            "T1 Total do item: GARÇOM|1.334,50\n"
            "G1 Item: MAÎTRE\n"
            "C2 |Nome|Inscrição|Pagamento|Valor|Hr|Horas|Conta\n"
            "D2 |(livre)||||||\n"
            "T1 Total do item: MAÎTRE|0,00\n"
            "T0 Total da sequência: 01|1.334,50\n"
            "G0 Seq: 02   Data: 19/12/2026 19:30\n"
            "G1 Item: GARÇOM\n"
            "C2 |Nome|Inscrição|Pagamento|Valor|Hr|Horas|Conta\n"
            "D2 |Pedro|1234||10,00||06:30|\n"
            "S1 SEM TIPO|10,00\n"
            "T1 Total do item: GARÇOM|10,00\n"
            "T0 Total da sequência: 02|10,00\n"
            "S-1 GERAR CONTA|1.234,50\n"
            "S-1 EM FOLHA|100,00\n"
            "S-1 SEM TIPO|10,00\n"
            "T-1 Total do orçamento|1.344,50\n");
  // Other separators, and the note of a parameter's value.
  const TReportDocument us = BuildReportDocument(RunOf(Demo(), "S"), rt::FormatSettings{'.', ',', '.', '-'});
  EXPECT_EQ(us.lines[0].text, "Seq: 01   Data: 19-12-2026 19.30");
  EXPECT_EQ(us.lines[3].cells[3], "1,234.50");
  EXPECT_EQ(us.lines.back().cells[0], "1,344.50");
  EXPECT_EQ(us.notes, (std::vector<std::string>{"Todas as sequências."}));
}

TEST(ReportDocumentTest, NoRowsGiveTheEmptyTextAndABadLayoutIsRefused) {
  const TReportDocument doc = BuildReportDocument(RunOf({}), rt::FormatSettings{});
  EXPECT_TRUE(doc.lines.empty());
  EXPECT_TRUE(doc.header.empty());
  EXPECT_EQ(doc.empty_text, "Nada.");
  TReportRun run = RunOf(Demo());
  run.layout = "{\"detail\": {\"columns\": [{\"title\": \"X\", \"field\": \"NAO_EXISTE\"}]}}";
  EXPECT_THROW(BuildReportDocument(run, rt::FormatSettings{}), std::invalid_argument);
  run.layout = "{";
  EXPECT_THROW(BuildReportDocument(run, rt::FormatSettings{}), std::invalid_argument);
}

TEST(ReportCsvTest, RowsWithTheUsersSeparatorsQuotedAndGuardedAgainstFormulas) {
  std::vector<rt::Row> rows = Demo();
  rows[1][5] = "Maria \"Cia\"; Ltda";
  rows[3][5] = "=HYPERLINK(\"x\")";
  const std::string csv = ReportCsv(RunOf(rows), rt::FormatSettings{});
  EXPECT_EQ(csv,
            "\xEF\xBB\xBF"
            "Seq;Data;Item;Nome;Inscrição;Pagamento;Valor;Hr;Horas;Conta\r\n"
            "01;19/12/2026 19:30;GARÇOM;João;529.982.247-25;GERAR CONTA;1234,50;08:00;06:30;GERADA\r\n"
            "01;19/12/2026 19:30;GARÇOM;\"Maria \"\"Cia\"\"; Ltda\";11.222.333/0001-81;EM FOLHA;100,00;08:30;06:30;\r\n"
            "01;19/12/2026 19:30;MAÎTRE;(livre);;;;;;\r\n"
            "02;19/12/2026 19:30;GARÇOM;\"'=HYPERLINK(\"\"x\"\")\";1234;;10,00;;06:30;\r\n");
  const std::string us = ReportCsv(RunOf(Demo()), rt::FormatSettings{'.', ',', ':', '/'});
  EXPECT_NE(us.find("\r\n01,19/12/2026 19:30,GARÇOM,João,529.982.247-25,GERAR CONTA,1234.50,"), std::string::npos)
      << us;
}

// A report of labour units: items whose rows are their filled units, the range asked,
// a parameter that may run blank, and a summary per professional.
const char* const kStaffingLayout = R"json({
  "header": [{"label": "Orçamento", "field": "ORC"}],
  "parameters": [{"label": "Pedido", "param": "P_ORC"}],
  "range": {"label": "Sequências", "from": "P_DE", "to": "P_ATE", "pad": 2, "all_param": "P_TUDO", "all_equals": "S"},
  "empty": "Nada.",
  "missing": {"param": "P_ORC", "text": "Nenhum orçamento informado."},
  "groups": [
    {"keys": ["SEQ"], "caption": [{"label": "Seq", "field": "SEQ"}]},
    {"keys": ["ITEM"], "units": "QT", "filled": "Preenchidas",
     "caption": [{"label": "Item", "field": "ITEM"}, {"label": "Qtd", "field": "QT", "format": "units"}]}
  ],
  "detail": {"present": "COD", "absent": "(livre)", "columns": [
    {"title": "Nome", "field": "NOME"},
    {"title": "Pagamento", "field": "PAG", "map": {"FOLHAPAGA": "EM FOLHA", "*": "GERAR CONTA"}},
    {"title": "Valor", "field": "VALOR", "format": "#,##0.00"},
    {"title": "Conta", "field": "LANC"}]},
  "totals": {"field": "VALOR", "format": "#,##0.00", "report": "Total do orçamento", "report_range": "Total das sequências"},
  "summary": {"title": "Resumo", "keys": ["COD", "PAG", "LANC"], "total": "Total dos profissionais", "columns": [
    {"title": "Profissional", "field": "NOME"}, {"title": "Pagamento", "field": "PAG"},
    {"title": "A receber", "field": "VALOR"}, {"title": "Lançamento", "field": "LANC"}]}
})json";

using Params = std::vector<std::pair<std::string, std::optional<std::string>>>;

TReportRun StaffingRun(std::vector<rt::Row> rows, Params params = {{"P_ORC", "12"}, {"P_DE", "1"}, {"P_ATE", "1"}}) {
  TReportRun run;
  run.layout = kStaffingLayout;
  run.params = std::move(params);
  for (const char* name : {"ORC", "SEQ", "ITEM", "QT", "COD", "NOME", "PAG", "VALOR", "LANC"}) {
    rt::FieldDef f;
    f.name = name;
    const std::string n = name;
    f.type = n == "QT" || n == "VALOR" ? rt::FieldType::Float : rt::FieldType::String;
    run.rows.fields.push_back(f);
  }
  run.rows.rows = std::move(rows);
  return run;
}

rt::Row Filled(const char* seq, const char* item, double qt, const char* cod, const char* name, const char* pay,
               double amount, const rt::Variant& entry = nullptr) {
  return {"12", seq, item, qt, cod, name, pay, amount, entry};
}
rt::Row Nobody(const char* seq, const char* item, double qt) {
  return {"12", seq, item, qt, nullptr, nullptr, nullptr, nullptr, nullptr};
}

std::vector<rt::Row> Staffing() {
  return {Filled("01", "GARÇOM", 3, "1001", "João", "CONTAPAGAR", 120, "0000000005"),
          Filled("01", "GARÇOM", 3, "1002", "Maria", "FOLHAPAGA", 100),
          Filled("01", "COPA", 2.9, "1001", "João", "CONTAPAGAR", 80, "0000000005"),
          Nobody("01", "MAÎTRE", 1),
          Filled("01", "SEGURANÇA", 1, "1003", "Aurora", "CONTAPAGAR", 50),
          Filled("01", "SEGURANÇA", 1, "1004", "Pedro", "CONTAPAGAR", 50),
          Filled("02", "GARÇOM", 2, "1001", "João", "CONTAPAGAR", 30, "0000000007")};
}

TEST(ReportStaffingTest, EveryFreeUnitIsALineAndEachItemCountsItsUnitsAsTheGridDoes) {
  const TReportDocument doc = BuildReportDocument(StaffingRun(Staffing()), rt::FormatSettings{});
  const std::string dump = Dump(doc);
  const std::string first = dump.substr(0, dump.find("G0 Seq: 02"));
  EXPECT_EQ(first,
            "G0 Seq: 01\n"
            "G1 Item: GARÇOM   Qtd: 3   Preenchidas: 2 de 3\n"
            "C2 |Nome|Pagamento|Valor|Conta\n"
            "D2 |João|GERAR CONTA|120,00|0000000005\n"
            "D2 |Maria|EM FOLHA|100,00|\n"
            "D2 |(livre)|||\n"
            // 2.9 is two units, as in the grid, the save and the generation.
            "G1 Item: COPA   Qtd: 2   Preenchidas: 1 de 2\n"
            "C2 |Nome|Pagamento|Valor|Conta\n"
            "D2 |João|GERAR CONTA|80,00|0000000005\n"
            "D2 |(livre)|||\n"
            "G1 Item: MAÎTRE   Qtd: 1   Preenchidas: 0 de 1\n"
            "C2 |Nome|Pagamento|Valor|Conta\n"
            "D2 |(livre)|||\n"
            // More professionals than units (a quantity lowered later): all shown, none free.
            "G1 Item: SEGURANÇA   Qtd: 1   Preenchidas: 2 de 1\n"
            "C2 |Nome|Pagamento|Valor|Conta\n"
            "D2 |Aurora|GERAR CONTA|50,00|\n"
            "D2 |Pedro|GERAR CONTA|50,00|\n")
      << dump;
  EXPECT_NE(dump.find("G1 Item: GARÇOM   Qtd: 2   Preenchidas: 1 de 2\nC2 |Nome|Pagamento|Valor|Conta\n"
                      "D2 |João|GERAR CONTA|30,00|0000000007\nD2 |(livre)|||\n"),
            std::string::npos)
      << dump;
  // The CSV has the same free units, one row each.
  const std::string csv = ReportCsv(StaffingRun(Staffing()), rt::FormatSettings{});
  EXPECT_NE(csv.find("01;GARÇOM;3;(livre);;;\r\n01;COPA;2;João;GERAR CONTA;80,00;0000000005\r\n01;COPA;2;(livre);;;\r\n"),
            std::string::npos)
      << csv;
}

TEST(ReportStaffingTest, SummaryPerProfessionalAndPayableAddsUpToTheReportsTotal) {
  const TReportDocument doc = BuildReportDocument(StaffingRun(Staffing(), {}), rt::FormatSettings{});
  const std::string dump = Dump(doc);
  EXPECT_NE(dump.find("T-1 Total do orçamento|430,00\n"
                      "G0 Resumo\n"
                      "C2 |Profissional|Pagamento|A receber|Lançamento\n"
                      "D2 |Aurora|GERAR CONTA|50,00|\n"
                      // One line per payable: what the generation made from the sum of the amounts.
                      "D2 |João|GERAR CONTA|200,00|0000000005\n"
                      "D2 |João|GERAR CONTA|30,00|0000000007\n"
                      "D2 |Maria|EM FOLHA|100,00|\n"
                      "D2 |Pedro|GERAR CONTA|50,00|\n"
                      "T-1 Total dos profissionais|430,00\n"),
            std::string::npos)
      << dump;
  const std::string csv = ReportCsv(StaffingRun(Staffing(), {}), rt::FormatSettings{});
  EXPECT_NE(csv.find("\r\n\r\nResumo\r\nProfissional;Pagamento;A receber;Lançamento\r\n"
                     "Aurora;GERAR CONTA;50,00;\r\nJoão;GERAR CONTA;200,00;0000000005\r\n"
                     "João;GERAR CONTA;30,00;0000000007\r\nMaria;EM FOLHA;100,00;\r\nPedro;GERAR CONTA;50,00;\r\n"),
            std::string::npos)
      << csv;
  EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
}

TEST(ReportStaffingTest, TheHeaderSaysWhatWasAskedWhenAndByWhomAndTheTotalIsNamedForIt) {
  const struct {
    const char *from, *to, *all, *range, *total;
  } cases[] = {
      {"1", "1", "N", "Sequências: 01", "Total das sequências: 01"},
      {"01", "3", "N", "Sequências: 01 a 03", "Total das sequências: 01 a 03"},
      {"02", "", "N", "Sequências: a partir de 02", "Total das sequências: a partir de 02"},
      {"", "02", "N", "Sequências: até 02", "Total das sequências: até 02"},
      {"", "", "N", "Sequências: todas", "Total do orçamento"},
      {"01", "01", "S", "Sequências: todas", "Total do orçamento"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.range);
    TReportRun run = StaffingRun(Staffing(), {{"P_ORC", "12"}, {"P_DE", c.from}, {"P_ATE", c.to}, {"P_TUDO", c.all}});
    const TReportDocument doc = BuildReportDocument(run, rt::FormatSettings{});
    EXPECT_EQ(doc.parameters, (std::vector<std::string>{"Pedido: 12", c.range}));
    std::string total;
    for (const TReportLine& line : doc.lines)
      if (line.kind == TReportLineKind::Total && line.level < 0 && total.empty()) total = line.text;
    EXPECT_EQ(total, c.total);
  }
  TReportRun run = StaffingRun(Staffing());
  EXPECT_TRUE(BuildReportDocument(run, rt::FormatSettings{}).issued.empty()) << "nothing printed that is not known";
  run.made_at = rt::DateTime{2026, 12, 10, 14, 5, 59};
  run.made_by = "demo";
  const TReportDocument doc = BuildReportDocument(run, rt::FormatSettings{});
  EXPECT_EQ(doc.issued, "Emitido em 10/12/2026 14:05 por demo");
  EXPECT_EQ(doc.header, (std::vector<std::string>{"Orçamento: 12"}));
}

TEST(ReportStaffingTest, NoBudgetGivenSaysSoInsteadOfFindingNothing) {
  for (const std::optional<std::string>& blank : {std::optional<std::string>(""), std::optional<std::string>()}) {
    const TReportDocument doc = BuildReportDocument(StaffingRun({}, {{"P_ORC", blank}}), rt::FormatSettings{});
    EXPECT_EQ(doc.empty_text, "Nenhum orçamento informado.");
    EXPECT_EQ(doc.parameters.front(), "Pedido: (não informado)");
  }
  EXPECT_EQ(BuildReportDocument(StaffingRun({}), rt::FormatSettings{}).empty_text, "Nada.");
}

TEST(ReportDocumentTest, HoursAsTheScreenShowsThem) {
  const std::pair<double, const char*> cases[] = {{5.5, "05:30"}, {10.1, "10:06"}, {2.33, "02:20"},
                                                  {0, "00:00"},   {-1, "00:00"},   {0.999, "01:00"}};
  for (const auto& [hours, text] : cases) EXPECT_EQ(HoursText(hours), text) << hours;
}

}  // namespace
}  // namespace clib
