// Loading the allocation grid of a large budget against the real application server on
// loopback (SQLite, demo data plus budgets of 1,000 and 10,000 labour units made by
// GenerateLargeBudget). Figures, each per budget size:
//   BM_PanelExit    the user's action: leaving the filter panel for the grid, from the
//                   panel's exit to HabilitaBotoes done (two checks, the load, the rows);
//   BM_ServerCall   the GetAlocaForne round trip alone (request, server, JSON decoding);
//   BM_Decode       decoding the answer's JSON text into packets alone;
//   BM_LoadAnswer   sbtVerificarClick with the answer already decoded (in-process): the
//                   four datasets loaded, the rows built, index, merge, button states;
//   BM_BuildRows    building the rows alone from the loaded allocation packet.
// Judged by: BM_PanelExit under 10 ms at 1,000 units and 50 ms at 10,000; "s/unit" of
// BM_BuildRows under 1 us and about equal from 1,000 to 100,000 units (linear growth);
// "grid_MiB" (heap held by the grid's rows) under 64 at 100,000 units. Run with
// --benchmark_repetitions=N and read the medians (the last line has them as name=value).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "alloc/bulk_change.h"
#include "alloc/cli_evt04700.h"
#include "alloc/frm_aloca_mao.h"
#include "alloc/grid_rows.h"
#include "bench/screen_bench_support.h"
#include "module/package.h"
#include "platform/clientlib/server_result.h"
#include "platform/clientlib/session.h"
#include "platform/runtime/packet_json.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/input.h"
#include "platform/runtime/ui/services.h"
#include "server/core/service_factory.h"
#include "server/rpc/server_process_for_tests.h"

namespace {

using Clock = std::chrono::steady_clock;

using bench_support::TQuietServices;

// The server with its data, and the screen signed in to it, made once per run.
struct TBench {
  srv::fakes::TempDir data;
  srv::fakes::ServerProcess server;
  std::map<int, std::string> budget;  // units -> budget number
  TQuietServices services;
  rt::TServicesScope scope{&services, &services};
  TfrmAlocaMao* form = nullptr;

  TBench() {
    auto config = srv::StorageConfig::Sqlite((data.path() / "alloc.db").string());
    for (int units : {1000, 10000, 100000}) budget[units] = srv::GenerateLargeBudget(config, units);
    form = bench_support::StartServerAndOpenScreen(server, data.path());
  }

  // Number and sequence typed in the panel (the focus in the sequence box, grid discarded).
  void Select(int units) {
    rt::Input::FocusControl(form->edtNrOrcamento());
    form->edtNrOrcamento().SetText(budget.at(units));
    rt::Input::FocusControl(form->edtSeq());  // the number is checked and "00" preset
    form->edtSeq().SetText("01");
  }
  rt::Variant Answer(int units) {
    return clib::CheckResultServ(form->netAloc().Call("GetAlocaForne", {"0001", budget.at(units), "01"}), true, 0);
  }
};

TBench& Bench() {
  static TBench bench;
  return bench;
}

void PerUnit(benchmark::State& state, int units) {
  // Seconds per unit of labour: equal at both sizes when the work grows linearly.
  state.counters["s/unit"] =
      benchmark::Counter(units, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_PanelExit(benchmark::State& state) {
  TBench& b = Bench();
  const int units = static_cast<int>(state.range(0));
  for (auto _ : state) {
    b.Select(units);
    auto start = Clock::now();
    rt::Input::FocusControl(b.form->dbgPadrao());
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    if (b.form->cdsForneMao().RecordCount() != units) state.SkipWithError("wrong number of rows");
  }
  PerUnit(state, units);
}

void BM_ServerCall(benchmark::State& state) {
  TBench& b = Bench();
  const int units = static_cast<int>(state.range(0));
  for (auto _ : state) {
    auto start = Clock::now();
    rt::Variant answer = b.Answer(units);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    benchmark::DoNotOptimize(answer);
  }
  PerUnit(state, units);
}

void BM_Decode(benchmark::State& state) {
  const int units = static_cast<int>(state.range(0));
  const std::string text = rt::EncodeVariant(Bench().Answer(units));
  for (auto _ : state) {
    auto start = Clock::now();
    rt::Variant answer = rt::DecodeVariant(text);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    benchmark::DoNotOptimize(answer);
  }
  state.counters["bytes"] = static_cast<double>(text.size());
  PerUnit(state, units);
}

// An application server that answers every call with one answer decoded beforehand.
struct TCachedServer : clib::IAppServer {
  rt::Variant answer;
  clib::ServerAnswer Call(const std::string&, std::vector<clib::Arg>) override { return {true, answer, "", 0}; }
};

void BM_LoadAnswer(benchmark::State& state) {
  TBench& b = Bench();
  const int units = static_cast<int>(state.range(0));
  b.Select(units);
  auto cached = std::make_shared<TCachedServer>();
  cached->answer = b.Answer(units);
  b.form->netAloc().SetAppServer(cached);
  for (auto _ : state) {
    auto start = Clock::now();
    b.form->sbtVerificarClick(nullptr);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  b.form->netAloc().SetAppServer(nullptr);
  if (b.form->cdsForneMao().RecordCount() != units) state.SkipWithError("wrong number of rows");
  PerUnit(state, units);
}

void BM_BuildRows(benchmark::State& state) {
  TBench& b = Bench();
  const int units = static_cast<int>(state.range(0));
  b.Select(units);
  b.form->cdsFornMaoAux().SetData(b.Answer(units).AsArray()[1].AsPacket());
  rt::TClientDataSet& grid = b.form->cdsForneMao();
  const alloc::TGridRowKey key{"0001", b.budget.at(units), "01", 6.5};
  double grid_bytes = 0;
  for (auto _ : state) {
    if (!grid.Active()) grid.CreateDataSet();
    grid.EmptyDataSet();
    const std::size_t heap_before = mallinfo2().uordblks;
    auto start = Clock::now();
    {
      alloc::TBulkChange bulk(grid);
      grid.SetIndexFieldNames("");
      alloc::BuildAllocationRows(b.form->cdsFornMaoAux(), grid, key);
      grid.SetIndexFieldNames("NMPRODUTO;NRFORNE");
    }
    grid.MergeChangeLog();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    grid_bytes = static_cast<double>(mallinfo2().uordblks) - static_cast<double>(heap_before);
  }
  if (grid.RecordCount() != units) state.SkipWithError("wrong number of rows");
  PerUnit(state, units);
  state.counters["grid_MiB"] = grid_bytes / (1024.0 * 1024.0);  // heap the grid's rows hold
}

BENCHMARK(BM_PanelExit)->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServerCall)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAnswer)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildRows)->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench_support::RunScreenBenchmarks(argc, argv); }
