// A console reporter that also prints, at the end, the time of each
// benchmark as a ratio to the run's baseline benchmark (the one whose name
// starts with "Baseline").
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) m_runs.push_back({run.benchmark_name(), run.GetAdjustedRealTime()});
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    double baseline = 0;
    for (const auto& [name, time] : m_runs)
      if (name.rfind("Baseline", 0) == 0) baseline = time;
    if (baseline <= 0) return;
    for (const auto& [name, time] : m_runs) std::printf("ratio %-40s %8.2f\n", name.c_str(), time / baseline);
  }

 private:
  std::vector<std::pair<std::string, double>> m_runs;
};

#define FG_BENCHMARK_MAIN()                                  \
  int main(int argc, char** argv) {                          \
    benchmark::Initialize(&argc, argv);                      \
    RatioReporter reporter;                                  \
    benchmark::RunSpecifiedBenchmarks(&reporter);            \
    benchmark::Shutdown();                                   \
    return 0;                                                \
  }
