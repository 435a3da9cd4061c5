// What the benchmarks that drive the allocation screen in-process share: quiet dialog
// services, the server and the screen signed in to it, and the way such a run ends.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "alloc/cli_evt04700.h"
#include "alloc/frm_aloca_mao.h"
#include "bench/figures_line.h"
#include "module/package.h"
#include "platform/clientlib/session.h"
#include "platform/runtime/heap_tuning.h"
#include "platform/runtime/ui/services.h"
#include "server/rpc/server_process_for_tests.h"

namespace bench_support {

// Dialogs and animation of a bench run: nothing is shown; an error ends the run loudly.
struct TQuietServices : rt::IDialogService, rt::IBusyIndicator {
  rt::TModalResult MessageDlg(const std::string& text, rt::TMsgDlgType, const rt::TMsgDlgButtons&, int) override {
    std::fprintf(stderr, "unexpected question: %s\n", text.c_str());
    std::abort();
  }
  void ShowError(const std::string& text) override {
    std::fprintf(stderr, "unexpected error: %s\n", text.c_str());
    std::abort();
  }
  std::optional<int> PickList(const std::string&, const std::string&, const std::vector<rt::TPickColumn>&,
                              const std::vector<std::vector<std::string>>&) override {
    return std::nullopt;
  }
  void Show(int) override {}
  void Hide() override {}
};

// Starts the application server on the data folder (its database already written) and
// opens the allocation screen through the module's factory, signed in as the demo
// operator. A server that does not start ends the run.
inline TfrmAlocaMao* StartServerAndOpenScreen(srv::fakes::ServerProcess& server, const std::filesystem::path& data) {
  if (!server.Start({"--port", "0", "--data", data.string()})) {
    std::fprintf(stderr, "alloc-server did not start: %s\n", server.Output().c_str());
    std::abort();
  }
  Initialize();
  clib::Session() = {"0001", "demo", "demo", "127.0.0.1", server.Port()};
  CriaAlocaMaoObra();
  return frmAlocaMao;
}

// Runs the registered benchmarks. The module's detach entry (module/entry.cpp) frees the
// report registry a second time when the module's objects are linked into an
// executable, so the run ends without static destructors.
inline int RunScreenBenchmarks(int argc, char** argv) {
  rt::TuneHeapForLargePackets();  // as the desktop client does
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RunWithFiguresLine();
  benchmark::Shutdown();
  std::fflush(nullptr);
  std::_Exit(0);
}

}  // namespace bench_support
