// alloc-report: a report's PDF (and CSV) without a display, for scripts. It signs in to
// the application server as the desktop does, runs the report through the same engine
// (the report dialog, the server's definitions) with the values the report form would
// pass, and writes the same PDF the desktop's preview saves. The password is read from
// the environment variable ALLOC_PASSWORD or from a file, never from the command line.
#include <CLI/CLI.hpp>

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "desktop/report_view.h"
#include "platform/clientlib/components.h"
#include "platform/clientlib/report_dialog.h"
#include "platform/clientlib/routines.h"
#include "platform/clientlib/server_result.h"
#include "platform/clientlib/session.h"
#include "platform/runtime/locale_format.h"

namespace {

struct Options {
  std::string server = "127.0.0.1";
  int port = 8211;
  std::string operator_name, branch, password_file;
  std::string code = "EVT047", report;
  std::string budget, from, to;
  bool resulting = false;
  std::string pdf, csv;
};

// The password: the first line of the file when one is named, else ALLOC_PASSWORD.
bool ReadPassword(const Options& o, std::string& password, std::string& error) {
  if (!o.password_file.empty()) {
    std::ifstream in(o.password_file);
    if (!in || !std::getline(in, password)) return error = "cannot read the password file " + o.password_file, false;
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
  }
  if (const char* env = std::getenv("ALLOC_PASSWORD")) return password = env, true;
  error = "no password: set ALLOC_PASSWORD or give --password-file";
  return false;
}

// The values the report form passes, for the parameters the report declares.
void FillParams(const Options& o, clib::TReportParams& params) {
  const std::pair<const char*, std::string> values[] = {
      {"P_CDFILIAL", o.branch}, {"P_NRORCAEVENTO", clib::Ajusta(o.budget, 10)}, {"P_NRSEQDE", o.from},
      {"P_NRSEQATE", o.to},     {"P_IDRESULTANTE", o.resulting ? "S" : "N"},
  };
  for (const auto& [name, value] : values)
    if (clib::ExistParam(params, name)) params.ParamByName(name).SetAsString(value);
}

int Run(const Options& o) {
  std::string password, error;
  if (!ReadPassword(o, password, error)) {
    std::cerr << "alloc-report: " << error << "\n";
    return 2;
  }
  clib::TSession& session = clib::Session();
  session.host = o.server;
  session.port = o.port;
  session.operator_name = o.operator_name;
  session.password = password;
  session.branch = o.branch;

  clib::TNetConnectionComponent net;
  net.SetHost(o.server);
  net.SetPort(o.port);
  net.SetConnected(true);
  if (!net.Connected()) {
    std::cerr << "alloc-report: " << net.LastError() << "\n";
    return 1;
  }
  clib::TReportDesignerDialog dialog;
  dialog.SetReportCode(o.code);
  dialog.SetConnection(&net);
  dialog.BeforeGetQueryParams = [&o](rt::TObject*, clib::TReportParams& params) { FillParams(o, params); };
  try {
    const std::vector<std::string> names = dialog.ReportNames();
    if (names.empty()) {
      std::cerr << "alloc-report: the server has no report for the code " << o.code << "\n";
      return 1;
    }
    const clib::TReportRun run = dialog.Execute(o.report.empty() ? names.front() : o.report);
    if (!o.pdf.empty()) {
      const QString failed = desk::WriteReportPdf(clib::BuildReportDocument(run, rt::CurrentFormatSettings()),
                                                  QString::fromStdString(o.pdf));
      if (!failed.isEmpty()) throw std::runtime_error(failed.toStdString());
    }
    if (!o.csv.empty()) {
      const QString failed = desk::WriteReportCsv(run, QString::fromStdString(o.csv));
      if (!failed.isEmpty()) throw std::runtime_error(failed.toStdString());
    }
    std::cout << run.rows.rows.size() << " row(s) of \"" << run.report << "\"\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "alloc-report: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CLI::App cli{
      "Writes a report of the application server as PDF and/or CSV, without a display.\n"
      "The password comes from ALLOC_PASSWORD or --password-file, never from the command line."};
  cli.add_option("--server", o.server, "application server host")->capture_default_str();
  cli.add_option("--port", o.port, "application server port")->capture_default_str();
  cli.add_option("--operator", o.operator_name, "operator to sign in as")->required();
  cli.add_option("--branch", o.branch, "the operator's branch; also the report's branch")->required();
  cli.add_option("--password-file", o.password_file, "file whose first line is the password");
  cli.add_option("--code", o.code, "report code")->capture_default_str();
  cli.add_option("--report", o.report, "report name (default: the code's first report)");
  cli.add_option("--budget", o.budget, "budget number (padded to 10 digits)")->required();
  cli.add_option("--from", o.from, "first sequence of the range (blank: from the first)");
  cli.add_option("--to", o.to, "last sequence of the range (blank: to the last)");
  cli.add_flag("--resulting", o.resulting, "the resulting copy: every sequence of the budget");
  cli.add_option("--pdf", o.pdf, "PDF file to write");
  cli.add_option("--csv", o.csv, "CSV file to write (the user's separators)");
  CLI11_PARSE(cli, argc, argv);
  if (o.pdf.empty() && o.csv.empty()) {
    std::cerr << "alloc-report: nothing to write: give --pdf FILE and/or --csv FILE\n";
    return 2;
  }
  // Fonts and the PDF writer need a GUI application, not a display.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  return Run(o);
}
