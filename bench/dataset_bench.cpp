// The client dataset under the allocation grid's load: 21 fields as the grid has them.
//
//   BM_AppendPost        append + post of N rows, handlers detached, controls disabled
//                        (with and without the grid's index); target < 1 µs per row
//   BM_SetIndex          IndexFieldNames "NMPRODUTO;NRFORNE" on N rows; target < 50 ms
//   BM_EditDeltaMerge    edit one row among N, take the delta, merge; must not grow with N
//   BM_Memory            heap bytes held by N rows (malloc statistics); target < 64 MiB
//
// Per-row figures are the counters "per_row" (seconds per row).
#include <benchmark/benchmark.h>

#include <malloc.h>
#include "bench/figures_line.h"

#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/client_dataset.h"

namespace {

using rt::FieldDef;
using rt::FieldType;
using rt::Variant;

FieldDef Def(const char* name, FieldType type, int size = 20, bool calculated = false) {
  FieldDef def;
  def.name = name;
  def.type = type;
  def.size = size;
  def.calculated = calculated;
  return def;
}

std::vector<FieldDef> GridFields() {
  const FieldType S = FieldType::String, F = FieldType::Float;
  return {Def("VRCOBRMOBRA", F),      Def("NRFORNE", F),          Def("CDPRODUTO", S, 10),
          Def("NMPRODUTO", S, 50),    Def("NRINSJURFORN", S, 20), Def("NMRAZSOCFORN", S, 40),
          Def("NMFANTFORN", S, 40),   Def("QTPRODMOBRA", F),      Def("IDTPIJURFORN", S, 1),
          Def("CDFORNECED", S, 21),   Def("CDFILIAL", S, 4),      Def("NRORCAEVENTO", S, 10),
          Def("NRSEQORCAEVE", S, 2),  Def("NRTURNO", S, 2),       Def("NMFORNMOBRA", S, 50),
          Def("HRINITUMOBRA", S, 5),  Def("QTHREVENTO", F),       Def("QTHORAS", S, 8, true),
          Def("IDCONTAGERADA", S, 1), Def("VRPAGOFORNORC", F),    Def("IDTIPOPAGAFORN", S, 10)};
}

// Values of row i, in field order (the calculated field null): plausible lengths, a few
// hundred labour products, units numbered within each.
rt::Row GridRow(int i, bool full_width) {
  static const char* kProducts[] = {
      "GARCOM",    "COPEIRO",        "MAITRE DE SALAO", "AJUDANTE DE COZINHA", "BARMAN", "RECEPCIONISTA BILINGUE",
      "SEGURANCA", "CHEF DE COZINHA"};
  const std::vector<FieldDef> fields = GridFields();
  auto text = [&](int field, std::string value) {
    if (full_width) value.resize(fields[field].size, 'X');
    return Variant(std::move(value));
  };
  const int product = i % 400;
  return {Variant(180.0 + product),
          Variant(static_cast<double>(i / 400 + 1)),
          text(2, "MO" + std::to_string(1000 + product)),
          text(3, std::string(kProducts[product % 8]) + " " + std::to_string(product)),
          text(4, std::to_string(10000000000 + i)),
          text(5, "PROFISSIONAL DA SILVA " + std::to_string(i)),
          text(6, "PROF " + std::to_string(i)),
          Variant(3.0),
          text(8, "F"),
          text(9, "F" + std::to_string(10000000000 + i)),
          text(10, "0001"),
          text(11, "0000001234"),
          text(12, "00"),
          text(13, std::to_string(10 + product % 3)),
          text(14, "PROFISSIONAL DA SILVA " + std::to_string(i)),
          text(15, "0830"),
          Variant(6.5),
          Variant(),
          text(18, "N"),
          Variant(150.0),
          text(20, "FOLHAPAGA")};
}

std::vector<rt::Row> GridRows(int n, bool full_width = false) {
  std::vector<rt::Row> rows;
  rows.reserve(n);
  for (int i = 0; i < n; ++i) rows.push_back(GridRow(i, full_width));
  return rows;
}

rt::DataPacket GridPacket(int n) {
  rt::DataPacket packet;
  for (const FieldDef& def : GridFields()) {
    if (!def.calculated) packet.fields.push_back(def);
  }
  for (rt::Row& row : GridRows(n)) {
    row.erase(row.begin() + 17);  // QTHORAS does not travel
    packet.rows.push_back(std::move(row));
  }
  return packet;
}

// The load of the grid: handlers detached, controls disabled, one append + post a row.
void Load(rt::TClientDataSet& ds, const std::vector<rt::Row>& rows) {
  const std::vector<rt::TField*>& fields = ds.Fields();
  ds.DisableControls();
  for (const rt::Row& row : rows) {
    ds.Append();
    for (std::size_t f = 0; f < fields.size(); ++f) {
      if (!fields[f]->Calculated()) fields[f]->SetValue(row[f]);
    }
    ds.Post();
  }
  ds.EnableControls();
}

void BM_AppendPost(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool indexed = state.range(1) != 0;
  const std::vector<rt::Row> rows = GridRows(n);
  for (auto _ : state) {
    auto ds = std::make_unique<rt::TClientDataSet>("cdsForneMao");
    ds->SetFieldDefs(GridFields());
    if (indexed) ds->SetIndexFieldNames("NMPRODUTO;NRFORNE");
    ds->CreateDataSet();
    Load(*ds, rows);
    ds->MergeChangeLog();
    benchmark::DoNotOptimize(ds->RecordCount());
    state.PauseTiming();  // the dataset's destruction is not the load
    ds.reset();
    state.ResumeTiming();
  }
  state.counters["per_row"] = benchmark::Counter(
      static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_SetIndex(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  rt::TClientDataSet ds("cdsForneMao");
  ds.SetFieldDefs(GridFields());
  ds.SetData(GridPacket(n));
  for (auto _ : state) {
    ds.SetIndexFieldNames("NMPRODUTO;NRFORNE");
    state.PauseTiming();
    ds.SetIndexFieldNames("");
    state.ResumeTiming();
  }
}

void BM_EditDeltaMerge(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  rt::TClientDataSet ds("cdsForneMao");
  ds.SetFieldDefs(GridFields());
  ds.SetData(GridPacket(n));
  ds.SetIndexFieldNames("NMPRODUTO;NRFORNE");
  rt::TField& paid = ds.FieldByName("VRPAGOFORNORC");
  int recno = 1;
  double amount = 1;
  for (auto _ : state) {
    ds.SetRecNo(recno);
    ds.Edit();
    paid.SetAsFloat(amount);
    ds.Post();
    rt::DataPacket delta = ds.Delta();
    benchmark::DoNotOptimize(delta);
    ds.MergeChangeLog();
    recno = recno % n + 1;
    amount += 1;
  }
}

std::size_t HeapInUse() { return mallinfo2().uordblks; }

void BM_Memory(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool full_width = state.range(1) != 0;
  const std::vector<rt::Row> rows = GridRows(n, full_width);
  double bytes = 0;
  for (auto _ : state) {
    const std::size_t before = HeapInUse();
    rt::TClientDataSet ds("cdsForneMao");
    ds.SetFieldDefs(GridFields());
    ds.SetIndexFieldNames("NMPRODUTO;NRFORNE");
    ds.CreateDataSet();
    Load(ds, rows);
    ds.MergeChangeLog();
    bytes = static_cast<double>(HeapInUse() - before);
  }
  state.counters["MiB"] = bytes / (1024.0 * 1024.0);
  state.counters["bytes_per_row"] = bytes / n;
}

BENCHMARK(BM_AppendPost)->Args({100000, 0})->Args({100000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetIndex)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditDeltaMerge)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memory)->Args({100000, 0})->Args({100000, 1})->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench_support::BenchmarkMain(argc, argv); }
