// alloc-report against the real application server (a fresh SQLite database with the
// demo data): the PDF of a demo budget holds its professionals and totals as pdftotext
// reads them back, the CSV takes the user's separators, and the refusals reach the
// caller as an exit status and a message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "server/rpc/server_process_for_tests.h"

namespace {

struct Outcome {
  int status = -1;
  std::string output;  // standard output and error
};

Outcome Shell(const std::string& command) {
  Outcome out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.output.append(buffer, n);
  const int status = pclose(pipe);
  out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

std::string Slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class ReportCommand : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new srv::fakes::ServerProcess;
    data_ = new srv::fakes::TempDir;
    if (!server_->Start(
            {"--port", "0", "--data", data_->path().string(), "--seed-demo", "--password-iterations", "1000"}))
      FAIL() << "alloc-server did not start: " << server_->Output();
  }
  static void TearDownTestSuite() {
    delete server_;
    delete data_;
  }

  // Runs alloc-report signed in as demo (password from the environment unless `env`
  // says otherwise) with further arguments.
  Outcome Report(const std::string& args, const std::string& env = "ALLOC_PASSWORD=demo") {
    return Shell(env + " " ALLOC_REPORT_PATH " --port " + std::to_string(server_->Port()) + " --operator demo " + args);
  }
  std::string PdfText(const std::filesystem::path& pdf) {
    const Outcome text = Shell("pdftotext -layout '" + pdf.string() + "' -");
    EXPECT_EQ(text.status, 0) << text.output;
    return text.output;
  }

  static srv::fakes::ServerProcess* server_;
  static srv::fakes::TempDir* data_;
  srv::fakes::TempDir out_;
};

srv::fakes::ServerProcess* ReportCommand::server_ = nullptr;
srv::fakes::TempDir* ReportCommand::data_ = nullptr;

TEST_F(ReportCommand, ThePdfOfADemoBudgetHoldsItsProfessionalsAndTotals) {
  const auto pdf = out_.path() / "budget-12.pdf";
  const auto csv = out_.path() / "budget-12.csv";
  const Outcome run = Report("--branch 0001 --budget 12 --resulting --pdf " + pdf.string() + " --csv " + csv.string());
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string text = PdfText(pdf);
  for (const char* expected :
       {"Relatório de Alocação de Mão de Obra", "Cliente: Buffet Aurora",
        "Cópia resultante: todas as sequências do orçamento.", "João Carlos da Silva", "529.982.247-25",
        "Lúcia Helena Ferreira", "Aurora Serviços de Garçom", "11.222.333/0001-81", "(sem profissional)",
        "Total da sequência: 01", "490,00", "Total da sequência: 02", "380,00", "Total do orçamento", "870,00",
        "EM FOLHA", "GERAR CONTA", "Página 1 de 1"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << " missing from:\n" << text;
  const std::string lines = Slurp(csv);
  EXPECT_NE(lines.find("\r\n02;Casamento;Almoço;20/12/2026 12:00;80;70;10;RECEPCIONISTA;DIURNO;2;Lúcia Helena Ferreira;"
                       "153.509.460-56;GERAR CONTA;90,00;11:30;04:00;\r\n"),
            std::string::npos)
      << lines;

  // The range without the resulting copy: sequence 01 only; budget 13's accounts are marked.
  const auto one = out_.path() / "one.pdf";
  ASSERT_EQ(Report("--branch 0001 --budget 12 --from 1 --to 1 --pdf " + one.string()).status, 0);
  const std::string first = PdfText(one);
  EXPECT_EQ(first.find("Lúcia Helena Ferreira"), std::string::npos) << first;
  EXPECT_NE(first.find("490,00"), std::string::npos) << first;
  const auto generated = out_.path() / "13.pdf";
  ASSERT_EQ(Report("--branch 0001 --budget 13 --pdf " + generated.string()).status, 0);
  EXPECT_NE(PdfText(generated).find("GERADA"), std::string::npos);
}

// The amounts ("1.234,50") in a text, summed.
double SumOfAmounts(const std::string& text) {
  static const std::regex amount(R"((\d{1,3}(?:\.\d{3})*),(\d{2})(?![\d,]))");
  double sum = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), amount); it != std::sregex_iterator(); ++it) {
    std::string whole = (*it)[1];
    whole.erase(std::remove(whole.begin(), whole.end(), '.'), whole.end());
    sum += std::stod(whole) + std::stod((*it)[2]) / 100;
  }
  return sum;
}

// The text between the first `from` and the next `to` after it.
std::string Between(const std::string& text, const std::string& from, const std::string& to) {
  const std::size_t begin = text.find(from);
  if (begin == std::string::npos) return "";
  const std::size_t end = text.find(to, begin);
  return text.substr(begin + from.size(), end == std::string::npos ? std::string::npos : end - begin - from.size());
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST_F(ReportCommand, TheReportTellsWhichUnitsAreOpenWhatWasAskedAndWhatEachProfessionalIsOwed) {
  const auto pdf = out_.path() / "12-01.pdf";
  ASSERT_EQ(Report("--branch 0001 --budget 12 --from 01 --to 01 --pdf " + pdf.string()).status, 0);
  const std::string text = PdfText(pdf);
  // 12/01: GARÇOM 01 has one of three units free, GARÇOM 02 one of two (2.9), COPEIRA one
  // of two, MAÎTRE its only one.
  EXPECT_EQ(Occurrences(text, "(sem profissional)"), 4u) << text;
  bool garcom_diurno = false;
  for (const std::string& line : Lines(text))
    if (line.find("GARÇOM") != std::string::npos && line.find("DIURNO") != std::string::npos)
      garcom_diurno = line.find("Quantidade: 3") != std::string::npos && line.find("Preenchidas: 2 de 3") != std::string::npos;
  EXPECT_TRUE(garcom_diurno) << text;
  bool garcom_noturno = false;  // 2.9 counts 2 units (pdftotext's spacing between the two varies)
  for (const std::string& line : Lines(text))
    if (line.find("GARÇOM") != std::string::npos && line.find("NOTURNO") != std::string::npos)
      garcom_noturno = line.find("Quantidade: 2 ") != std::string::npos && line.find("Preenchidas: 1 de 2") != std::string::npos;
  EXPECT_TRUE(garcom_noturno) << "2.9 counts 2 units\n" << text;
  EXPECT_EQ(text.find("2,9"), std::string::npos) << text;
  for (const char* expected : {"Orçamento solicitado: 0000000012", "Sequências: 01", "por demo", "Emitido em "})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << " missing from:\n" << text;
  EXPECT_EQ(text.find("Total do orçamento"), std::string::npos) << "one sequence asked, not the budget\n" << text;
  const std::string total = Between(text, "Total das sequências: 01", "\n");
  EXPECT_DOUBLE_EQ(SumOfAmounts(total), 490.0) << text;
  // What each professional is owed adds up to the total.
  const std::string summary = Between(text, "Resumo por profissional", "Total dos profissionais");
  EXPECT_NE(summary.find("João Carlos da Silva"), std::string::npos) << text;
  EXPECT_DOUBLE_EQ(SumOfAmounts(summary), 490.0) << summary;

  // Generated payables show their entry numbers in the summary.
  const auto generated = out_.path() / "13-summary.pdf";
  ASSERT_EQ(Report("--branch 0001 --budget 13 --pdf " + generated.string()).status, 0);
  const std::string payables = Between(PdfText(generated), "Resumo por profissional", "Total dos profissionais");
  EXPECT_NE(payables.find("0000000001"), std::string::npos) << payables;
  EXPECT_NE(payables.find("0000000002"), std::string::npos) << payables;
}

TEST_F(ReportCommand, EveryPageNamesItsBudgetAndTheCsvSumsToTheSameTotals) {
  const auto pdf = out_.path() / "25.pdf";
  const auto csv = out_.path() / "25.csv";
  ASSERT_EQ(Report("--branch 0001 --budget 25 --pdf " + pdf.string() + " --csv " + csv.string()).status, 0);
  const Outcome second = Shell("pdftotext -layout -f 2 -l 2 '" + pdf.string() + "' -");
  ASSERT_EQ(second.status, 0) << second.output;
  EXPECT_NE(second.output.find("Página 2 de"), std::string::npos) << second.output;
  for (const char* id : {"Filial: 0001", "Orçamento: 0000000025", "Cliente: Congresso Paulista de Gastronomia"})
    EXPECT_NE(second.output.find(id), std::string::npos) << id << " missing from page 2:\n" << second.output;
  const std::string text = PdfText(pdf);
  const double total = SumOfAmounts(Between(text, "Total do orçamento", "\n"));
  EXPECT_GT(total, 0) << text;
  EXPECT_DOUBLE_EQ(SumOfAmounts(Between(text, "Resumo por profissional", "Total dos profissionais")), total);

  // The CSV: the detail rows (with one per free unit) and the summary each sum to it.
  const std::string lines = Slurp(csv);
  const std::size_t summary_at = lines.find("\r\n\r\n");
  ASSERT_NE(summary_at, std::string::npos) << lines;
  auto column_sum = [](const std::string& part, const std::string& title) {
    const std::vector<std::string> rows = Lines(part);
    std::size_t title_row = 0, column = 0;
    for (; title_row < rows.size(); ++title_row) {
      std::vector<std::string> cells;
      std::stringstream split(rows[title_row]);
      for (std::string cell; std::getline(split, cell, ';');) cells.push_back(cell);
      const auto at = std::find(cells.begin(), cells.end(), title);
      if (at != cells.end()) {
        column = static_cast<std::size_t>(at - cells.begin());
        break;
      }
    }
    double sum = 0;
    for (std::size_t r = title_row + 1; r < rows.size(); ++r) {
      std::vector<std::string> cells;
      std::stringstream split(rows[r]);
      for (std::string cell; std::getline(split, cell, ';');) cells.push_back(cell);
      if (column < cells.size() && !cells[column].empty() && cells[column] != "\r") {
        std::string number = cells[column];
        std::replace(number.begin(), number.end(), ',', '.');
        sum += std::stod(number);
      }
    }
    return sum;
  };
  const std::string detail = lines.substr(0, summary_at), summary = lines.substr(summary_at);
  EXPECT_NEAR(column_sum(detail, "Valor"), total, 0.005) << detail;
  EXPECT_NEAR(column_sum(summary, "A receber"), total, 0.005) << summary;
  // 25/01 GARÇOM has one free unit of six; 25/02 GARÇOM two of five: rows of their own.
  EXPECT_EQ(Occurrences(detail, ";GARÇOM;DIURNO;6;(sem profissional);"), 1u) << detail;
  EXPECT_EQ(Occurrences(detail, ";GARÇOM;DIURNO;5;(sem profissional);"), 2u) << detail;
}

TEST_F(ReportCommand, AnUnknownBudgetGivesTheEmptyReport) {
  const auto pdf = out_.path() / "none.pdf";
  const Outcome run = Report("--branch 0001 --budget 777 --pdf " + pdf.string());
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(PdfText(pdf).find("Nenhuma mão de obra encontrada"), std::string::npos);
}

TEST_F(ReportCommand, RefusalsEndWithAStatusAndTheReason) {
  const auto pdf = (out_.path() / "x.pdf").string();
  const struct {
    std::string args, env;
    int status;
    std::string message;
  } cases[] = {
      {"--branch 0001 --budget 12 --pdf " + pdf, "ALLOC_PASSWORD=", 1, "Operador ou senha inválidos."},
      {"--branch 0001 --budget 12 --pdf " + pdf, "env -u ALLOC_PASSWORD", 2, "no password"},
      {"--branch 0001 --budget 12 --pdf " + pdf + " --password-file /nonexistent", "ALLOC_PASSWORD=demo", 2,
       "cannot read the password file"},
      {"--branch 0002 --budget 21 --pdf " + pdf, "ALLOC_PASSWORD=demo", 1, "Filial \"0002\" não permitida"},
      {"--branch 0001 --budget 12 --report Outro --pdf " + pdf, "ALLOC_PASSWORD=demo", 1, "Outro"},
      {"--branch 0001 --budget 12", "ALLOC_PASSWORD=demo", 2, "nothing to write"},
  };
  for (const auto& c : cases) {
    const Outcome run = Report(c.args, c.env);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << c.args << "\n" << run.output;
  }
  EXPECT_FALSE(std::filesystem::exists(pdf));
}

}  // namespace
