// The allocation report of a 1,000-unit budget, from the server's query to the finished
// PDF, on SQLite (or PostgreSQL when BENCH_PG holds a libpq connection string):
//   BareSql        the report's own SQL with its values bound, run on the database API
//   ServerRun      GetDadosRelatorio in the business layer (definition, checks, query, packet)
//   Wire           the answer written as JSON and read back, as it travels to the client
//   Document       the run laid out (groups, formats, totals)
//   Pdf            the document painted into a PDF file
//   QueryToPdf     all of it, one after the other
// Medians of repeated runs, and the ratios the targets name: ServerRun / BareSql (within
// 2x) and QueryToPdf (under 300 ms).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "desktop/report_view.h"
#include "platform/clientlib/report_document.h"
#include "platform/runtime/packet_json.h"
#include "server/core/report_query.h"
#include "server/core/service_factory.h"
#include "server/core/storage.h"

namespace {

struct World {
  srv::StorageConfig config;
  std::unique_ptr<srv::AllocService> service;
  std::unique_ptr<srv::Database> db;
  srv::Session session;
  std::string number;
  std::string query;
  std::filesystem::path pdf;
};

World& W() {
  static World* w = [] {
    auto* w = new World;
    const auto dir = std::filesystem::temp_directory_path() / "alloc_report_bench";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    w->config = srv::StorageConfig::Sqlite((dir / "alloc.db").string());
    if (const char* pg = std::getenv("BENCH_PG")) w->config = srv::StorageConfig::Postgres(pg, "bench_report");
    w->config.pbkdf2_iterations = 1000;
    w->service = srv::OpenService(w->config);
    srv::SeedDemo(w->config);
    w->session = w->service->Login("demo", "demo")->session;
    w->number = srv::GenerateLargeBudget(w->config, 1000);
    w->db = srv::OpenDatabase(w->config);
    w->query = w->db->Query("SELECT query_text FROM report_definitions WHERE report_code = 'EVT047'").Text(0, 0);
    w->pdf = dir / "report.pdf";
    return w;
  }();
  return *w;
}

std::vector<std::pair<std::string, srv::SqlValue>> Values() {
  return {{"P_CDFILIAL", std::string("0001")},
          {"P_NRORCAEVENTO", W().number},
          {"P_NRSEQDE", std::string("01")},
          {"P_NRSEQATE", std::string("01")},
          {"P_IDRESULTANTE", std::string("N")}};
}

rt::Variant ServerRun() {
  rt::VariantArray pairs;
  for (const auto& [name, value] : Values()) pairs.push_back(rt::VariantArray{name, std::get<std::string>(value)});
  std::vector<rt::Variant> params = {"0001", "EVT047", "Alocação de Mão de Obra", pairs};
  return W().service->Call(W().session, "GetDadosRelatorio", params);
}

// The run as the client holds it after the answer crossed the wire.
clib::TReportRun ClientRun(const rt::Variant& answer) {
  const rt::Variant back = rt::DecodeVariant(rt::EncodeVariant(answer));
  const rt::VariantArray& parts = back.AsArray();
  clib::TReportRun run;
  run.report = "Alocação de Mão de Obra";
  run.title = parts[0].AsString();
  run.layout = parts[1].AsString();
  run.rows = parts[2].AsPacket();
  return run;
}

void BM_BareSql(benchmark::State& state) {
  const srv::PositionalQuery q = srv::ToPositional(W().query, Values());
  std::size_t rows = 0;
  for (auto _ : state) rows = W().db->Query(q.sql, q.params).size();
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_BareSql)->Unit(benchmark::kMillisecond);

void BM_ServerRun(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ServerRun());
}
BENCHMARK(BM_ServerRun)->Unit(benchmark::kMillisecond);

void BM_Wire(benchmark::State& state) {
  const rt::Variant answer = ServerRun();
  for (auto _ : state) benchmark::DoNotOptimize(ClientRun(answer));
}
BENCHMARK(BM_Wire)->Unit(benchmark::kMillisecond);

void BM_Document(benchmark::State& state) {
  const clib::TReportRun run = ClientRun(ServerRun());
  for (auto _ : state) benchmark::DoNotOptimize(clib::BuildReportDocument(run, rt::FormatSettings{}));
}
BENCHMARK(BM_Document)->Unit(benchmark::kMillisecond);

void BM_Pdf(benchmark::State& state) {
  const clib::TReportDocument doc = clib::BuildReportDocument(ClientRun(ServerRun()), rt::FormatSettings{});
  for (auto _ : state) desk::WriteReportPdf(doc, QString::fromStdString(W().pdf.string()));
  state.counters["KiB"] = static_cast<double>(std::filesystem::file_size(W().pdf)) / 1024;
}
BENCHMARK(BM_Pdf)->Unit(benchmark::kMillisecond);

void BM_QueryToPdf(benchmark::State& state) {
  for (auto _ : state) {
    const clib::TReportDocument doc = clib::BuildReportDocument(ClientRun(ServerRun()), rt::FormatSettings{});
    desk::WriteReportPdf(doc, QString::fromStdString(W().pdf.string()));
  }
}
BENCHMARK(BM_QueryToPdf)->Unit(benchmark::kMillisecond);

// Keeps the median of each benchmark for the ratios printed at the end.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
        medians[r.run_name.function_name] = r.GetAdjustedRealTime();
  }
  std::map<std::string, double> medians;  // milliseconds
};

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);  // fonts for the PDF; no display
  std::vector<char*> args(argv, argv + argc);
  std::string repetitions = "--benchmark_repetitions=9";
  std::string only_aggregates = "--benchmark_report_aggregates_only=true";
  args.push_back(repetitions.data());
  args.push_back(only_aggregates.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& m = reporter.medians;
  if (m.count("BM_BareSql") && m.count("BM_ServerRun")) {
    std::printf("\nserver part / bare SQL of the same rows: %.2f ms / %.2f ms = %.2fx (target within 2x)\n",
                m["BM_ServerRun"], m["BM_BareSql"], m["BM_ServerRun"] / m["BM_BareSql"]);
  }
  if (m.count("BM_QueryToPdf")) {
    std::printf(
        "server query to finished PDF, 1,000 units: %.1f ms (target under 300 ms) = server %.1f + wire %.1f "
        "+ document %.1f + PDF %.1f\n",
        m["BM_QueryToPdf"], m["BM_ServerRun"], m["BM_Wire"], m["BM_Document"], m["BM_Pdf"]);
  }
  benchmark::Shutdown();
  return 0;
}
