// alloc-report against the real application server (a fresh SQLite database with the
// demo data): the PDF of a demo budget holds its professionals and totals as pdftotext
// reads them back, the CSV takes the user's separators, and the refusals reach the
// caller as an exit status and a message.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

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
