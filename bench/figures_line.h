// One line a script can read at the end of a benchmark run: every benchmark's time and
// counters as name=value pairs, the median when the run has repetitions.
//   figures: BM_BuildRows/1000.ms=1.23 BM_BuildRows/1000.s/unit=1.23e-06 ...
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace bench_support {

class TFiguresReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      const std::string name = run.run_name.str();
      if (!median && medians_.count(name) != 0) continue;
      if (median) medians_.insert(name);
      std::map<std::string, double>& figures = figures_[name];
      figures["ms"] = run.GetAdjustedRealTime() * ToMilliseconds(run.time_unit);
      for (const auto& [counter, value] : run.counters) figures[counter] = value.value;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::string line = "figures:";
    for (const auto& [name, figures] : figures_) {
      for (const auto& [figure, value] : figures) {
        char text[64];
        std::snprintf(text, sizeof text, "%.6g", value);
        line += " " + name + "." + figure + "=" + text;
      }
    }
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }

 private:
  static double ToMilliseconds(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond:
        return 1e-6;
      case benchmark::kMicrosecond:
        return 1e-3;
      case benchmark::kMillisecond:
        return 1;
      case benchmark::kSecond:
        return 1e3;
    }
    return 1;
  }

  std::map<std::string, std::map<std::string, double>> figures_;
  std::set<std::string> medians_;
};

// Runs the registered benchmarks with the figures line at the end.
inline void RunWithFiguresLine() {
  TFiguresReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
}

// A benchmark program's main: the library's options, the benchmarks, the figures line.
inline int BenchmarkMain(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RunWithFiguresLine();
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench_support
