// One row's edit-to-saved round trip on the allocation screen against the real
// application server on loopback (SQLite, a generated 1,000-unit budget), driven through
// the grid's input calls as a clerk edits: the professional typed and the column left
// (GetProdForn, GetVrPgMObra), a new amount typed, the row posted (GetProdForn,
// GetTurma) and saved (SetForneMao). Every iteration changes the stored amount.
// Figures: the time per round trip, and its median and 99th percentile over the run
// ("median_ms", "p99_ms"). Target: median under 5 ms. Run with
// --benchmark_repetitions=N and read the medians.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "bench/screen_bench_support.h"
#include "platform/runtime/ui/input.h"
#include "server/core/service_factory.h"

namespace {

using Clock = std::chrono::steady_clock;

enum Col { kProf = 2, kValor = 5 };

struct TBench {
  srv::fakes::TempDir data;
  srv::fakes::ServerProcess server;
  bench_support::TQuietServices services;
  rt::TServicesScope scope{&services, &services};
  TfrmAlocaMao* form = nullptr;

  TBench() {
    auto config = srv::StorageConfig::Sqlite((data.path() / "alloc.db").string());
    const std::string number = srv::GenerateLargeBudget(config, 1000);
    form = bench_support::StartServerAndOpenScreen(server, data.path());
    rt::Input::FocusControl(form->edtNrOrcamento());
    rt::Input::TypeText(number);
    rt::Input::FocusControl(form->edtSeq());
    form->edtSeq().SetText("01");
    rt::Input::FocusControl(form->dbgPadrao());  // the budget loads
  }
};

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

void BM_EditRowToSaved(benchmark::State& state) {
  static TBench bench;
  rt::TDBGrid& grid = bench.form->dbgPadrao();
  rt::TClientDataSet& rows = bench.form->cdsForneMao();
  std::vector<double> times;
  int amount = 100;
  for (auto _ : state) {
    const auto start = Clock::now();
    grid.SelectCell(1, kProf);
    grid.TypeText("90000000001");  // the row's own professional, typed again
    grid.Key(rt::VK_TAB);
    grid.SelectCell(1, kValor);
    grid.TypeText(std::to_string(++amount % 50 + 101));
    if (!grid.Key(rt::VK_DOWN) || rows.ChangeCount() != 0) state.SkipWithError("the row was not saved");
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  if (!times.empty()) {
    state.counters["median_ms"] = Percentile(times, 0.5);
    state.counters["p99_ms"] = Percentile(times, 0.99);
  }
}
BENCHMARK(BM_EditRowToSaved)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) { return bench_support::RunScreenBenchmarks(argc, argv); }
