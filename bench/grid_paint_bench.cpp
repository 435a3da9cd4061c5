// Painting one visible page of the allocation grid on the desktop host's canvas
// (TQtCanvas on a QPainter into a QImage, Qt's offscreen platform). The screen is opened
// through its factory, signed in to the real application server on loopback (SQLite,
// demo data plus a generated budget of 48 labour units), and the budget is loaded as a
// user does, so the grid holds the screen's real rows and the screen's own drawing
// handler (OnDrawColumnCell) draws every cell. Figures, side by side:
//   BM_PaintPage         the grid's Paint of a 40-row page through the screen's handler;
//   BM_PaintPageDefault  the same page with the grid's own cell drawing (no handler):
//                        the cost of the canvas and the grid alone, the handler's floor.
// Counters: rows and columns painted, "s/cell" (seconds per cell). Judged by: BM_PaintPage under 2 ms.
// Run with --benchmark_repetitions=N and read the medians.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "alloc/cli_evt04700.h"
#include "alloc/frm_aloca_mao.h"
#include "bench/screen_bench_support.h"
#include "desktop/qt_canvas.h"
#include "module/package.h"
#include "platform/clientlib/session.h"
#include "platform/runtime/ui/input.h"
#include "platform/runtime/ui/services.h"
#include "server/core/service_factory.h"
#include "server/rpc/server_process_for_tests.h"

namespace {

constexpr int kPageRows = 40;
constexpr int kBudgetUnits = 48;  // more rows than the page shows

using bench_support::TQuietServices;

QGuiApplication& QtApp() {
  static int argc = 1;
  static char name[] = "grid_paint_bench";
  static char* argv[] = {name, nullptr};
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static QGuiApplication app(argc, argv);
  return app;
}

// The server with the budget, and the screen with the budget loaded, made once per run.
struct TBench {
  srv::fakes::TempDir data;
  srv::fakes::ServerProcess server;
  TQuietServices services;
  rt::TServicesScope scope{&services, &services};
  TfrmAlocaMao* form = nullptr;

  TBench() {
    QtApp();
    desk::MapSystemColors(QGuiApplication::palette());
    auto config = srv::StorageConfig::Sqlite((data.path() / "alloc.db").string());
    const std::string budget = srv::GenerateLargeBudget(config, kBudgetUnits);
    form = bench_support::StartServerAndOpenScreen(server, data.path());
    // The budget typed and the panel left for the grid, as the clerk does.
    rt::Input::FocusControl(form->edtNrOrcamento());
    rt::Input::TypeText(budget);
    rt::Input::PressTab();
    rt::Input::TypeText("01");
    rt::Input::FocusControl(form->dbgPadrao());
    if (form->cdsForneMao().RecordCount() < kPageRows) {
      std::fprintf(stderr, "the budget loaded %d rows, fewer than a page\n", form->cdsForneMao().RecordCount());
      std::abort();
    }
    // A page of 40 rows, every visible column in its width.
    rt::TDBGrid& grid = form->dbgPadrao();
    int width = 0;
    for (int c = 0; c < grid.Columns().Count(); ++c)
      if (grid.Columns()[c].Visible()) width += grid.Columns()[c].Width() + 1;
    const int height = grid.TitleHeight() + 1 + kPageRows * (grid.DefaultRowHeight() + 1);
    grid.SetBounds(grid.Left(), grid.Top(), width, height);
  }
};

TBench& Bench() {
  static TBench bench;
  return bench;
}

int VisibleColumns(const rt::TDBGrid& grid) {
  int count = 0;
  for (int c = 0; c < grid.Columns().Count(); ++c) count += grid.Columns()[c].Visible() ? 1 : 0;
  return count;
}

void PaintPages(benchmark::State& state, rt::TDBGrid& grid) {
  QImage image(grid.Width(), grid.Height(), QImage::Format_RGB32);
  const QFont font = QGuiApplication::font();
  for (auto _ : state) {
    QPainter painter(&image);
    desk::TQtCanvas canvas(painter, font);
    grid.Paint(canvas);
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  const int rows = std::min(grid.VisibleRowCount(), grid.DataSet()->RecordCount());
  const int columns = VisibleColumns(grid);
  state.counters["rows"] = rows;
  state.counters["columns"] = columns;
  // Seconds per cell drawn.
  state.counters["s/cell"] = benchmark::Counter(
      static_cast<double>(rows) * columns, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_PaintPage(benchmark::State& state) {
  rt::TDBGrid& grid = Bench().form->dbgPadrao();
  if (!grid.OnDrawColumnCell) state.SkipWithError("the screen's grid has no drawing handler");
  PaintPages(state, grid);
}

void BM_PaintPageDefault(benchmark::State& state) {
  rt::TDBGrid& grid = Bench().form->dbgPadrao();
  rt::TDrawColumnCellEvent handler = std::move(grid.OnDrawColumnCell);
  grid.OnDrawColumnCell = nullptr;
  PaintPages(state, grid);
  grid.OnDrawColumnCell = std::move(handler);
}

BENCHMARK(BM_PaintPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintPageDefault)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench_support::RunScreenBenchmarks(argc, argv); }
