// The server's business layer alone, without HTTP: the grid load of a large budget (as
// variants, and as the answer's text the HTTP server writes), a crew-time lookup, and
// the save of one changed row (with its fsync), on SQLite, or on PostgreSQL when
// BENCH_PG holds a libpq connection string. The heap is set as the server sets it.
#include <benchmark/benchmark.h>

#include "bench/figures_line.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include "platform/runtime/heap_tuning.h"
#include "platform/runtime/packet.h"
#include "server/core/service_factory.h"

namespace {
struct World {
  srv::StorageConfig config;
  std::unique_ptr<srv::AllocService> service;
  srv::Session session;
  std::map<int, std::string> budgets;
};
World* world = nullptr;  // made on first use; its service is closed before exit
World& W() {
  static World* w = [] {
    auto* w = world = new World;
    const auto dir = std::filesystem::temp_directory_path() / "alloc_server_core_bench";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    w->config = srv::StorageConfig::Sqlite((dir / "alloc.db").string());
    if (const char* pg = std::getenv("BENCH_PG")) w->config = srv::StorageConfig::Postgres(pg, "bench_core");
    w->config.pbkdf2_iterations = 1000;
    w->service = srv::OpenService(w->config);
    srv::SeedDemo(w->config);
    w->session = w->service->Login("demo", "demo")->session;
    for (int u : {1000, 10000}) w->budgets[u] = srv::GenerateLargeBudget(w->config, u);
    return w;
  }();
  return *w;
}
void BM_GetAlocaForne(benchmark::State& state) {
  auto& w = W();
  const std::string n = w.budgets[static_cast<int>(state.range(0))];
  for (auto _ : state) {
    std::vector<rt::Variant> p = {"0001", n, "01"};
    auto v = w.service->Call(w.session, "GetAlocaForne", p);
    benchmark::DoNotOptimize(v);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GetAlocaForne)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The grid load as the HTTP server runs it: the answer's text written from the rows.
// Argument 0: demo budget 12/01, the small grid of bench/static_compare.sh, where the
// packets' heads weigh the most.
void BM_WriteAlocaForne(benchmark::State& state) {
  auto& w = W();
  const std::string n = state.range(0) == 0 ? "0000000012" : w.budgets[static_cast<int>(state.range(0))];
  std::string text;
  for (auto _ : state) {
    std::vector<rt::Variant> p = {"0001", n, "01"};
    text.clear();
    w.service->CallToText(w.session, "GetAlocaForne", p, text);
    benchmark::DoNotOptimize(text.data());
  }
  if (state.range(0) > 0) state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WriteAlocaForne)->Arg(0)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_GetTurma(benchmark::State& state) {
  auto& w = W();
  for (auto _ : state) {
    std::vector<rt::Variant> p = {"0001", "0000000012", "01", "01", "MO001"};
    benchmark::DoNotOptimize(w.service->Call(w.session, "GetTurma", p));
  }
}
BENCHMARK(BM_GetTurma)->Unit(benchmark::kMicrosecond);

void BM_SetForneMaoChangeAmount(benchmark::State& state) {
  auto& w = W();
  static double amount = 120.0;
  for (auto _ : state) {
    rt::DataPacket d;
    d.kind = rt::DataPacket::Kind::Delta;
    for (const char* f : {"CDFILIAL", "NRORCAEVENTO", "NRSEQORCAEVE", "NRTURNO", "CDPRODUTO", "CDFORNECED",
                          "HRINITUMOBRA", "IDTIPOPAGAFORN", "VRPAGOFORNORC"}) {
      rt::FieldDef fd;
      fd.name = f;
      fd.type = std::string(f) == "VRPAGOFORNORC" ? rt::FieldType::Float : rt::FieldType::String;
      d.fields.push_back(fd);
    }
    d.changes.push_back({rt::RowKind::Modified,
                         {"0001", "0000000012", "01", "01", "MO001", "1001", "0800", "CONTAPAGAR", amount},
                         {"0001", "0000000012", "01", "01", "MO001", "1001", "0800", "CONTAPAGAR", amount + 1}});
    amount += 1;
    std::vector<rt::Variant> p = {rt::Variant(d)};
    w.service->Call(w.session, "SetForneMao", p);
  }
}
BENCHMARK(BM_SetForneMaoChangeAmount)->Unit(benchmark::kMillisecond);

// Availability with 100,000 units in the database (90,000 allocations, most of them at
// one time): the validation of a professional for 12/01's evening unit and the list of
// 27/01's waiters, each call timed; counters median_us and p99_us.
const std::string& HundredThousand() {
  static const std::string n = srv::GenerateLargeBudget(W().config, 100000);
  return n;
}
void TimedCalls(benchmark::State& state, const std::string& method, const std::vector<rt::Variant>& params) {
  auto& w = W();
  HundredThousand();
  std::vector<double> us;
  for (auto _ : state) {
    std::vector<rt::Variant> p = params;
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(w.service->Call(w.session, method, p));
    us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(us.begin(), us.end());
  state.counters["median_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
}
void BM_GetProdFornValidationAt100k(benchmark::State& state) {
  TimedCalls(state, "GetProdForn", {"MO002", "F15350946056", "0001", "0000000012", "01", "02", "1900"});
}
BENCHMARK(BM_GetProdFornValidationAt100k)->Unit(benchmark::kMicrosecond);
void BM_GetProdFornListAt100k(benchmark::State& state) {
  TimedCalls(state, "GetProdForn", {"MO001", "", "0001", "0000000027", "01", "02", ""});
}
BENCHMARK(BM_GetProdFornListAt100k)->Unit(benchmark::kMicrosecond);
}  // namespace
int main(int argc, char** argv) {
  rt::TuneHeapForLargePackets();  // as the server does
  const int rc = bench_support::BenchmarkMain(argc, argv);
  // The service's own threads (the SQLite group flush) must end before the process's
  // statics are torn down.
  if (world != nullptr) world->service.reset();
  return rc;
}
