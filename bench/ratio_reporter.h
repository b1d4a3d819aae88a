// A console reporter that also prints, at the end, the time of each
// benchmark as a ratio to the run's baseline: the one benchmark named to
// FG_BENCHMARK_MAIN. Times are compared in seconds, whatever unit each
// benchmark reports in; repetitions of a benchmark are averaged, and a
// benchmark is known by its function's name (without "/iterations:N"). A run
// without its baseline, or whose baseline failed, ends with an error.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(std::string baseline) : m_baseline(std::move(baseline)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      const std::string& name = run.run_name.function_name;
      if (run.error_occurred) {
        m_failed.push_back(name);
        continue;
      }
      Timing& t = m_times[name];
      t.seconds += run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      ++t.runs;
      if (t.runs == 1) m_order.push_back(name);
    }
  }

  // False when the baseline is missing; the ratios are printed otherwise.
  bool PrintRatios() const {
    auto base = m_times.find(m_baseline);
    if (base == m_times.end()) {
      std::fprintf(stderr, "error: the baseline benchmark %s did not run\n", m_baseline.c_str());
      return false;
    }
    double baseline = base->second.seconds / base->second.runs;
    for (const std::string& name : m_order) {
      const Timing& t = m_times.at(name);
      std::printf("ratio %-40s %8.2f\n", name.c_str(), t.seconds / t.runs / baseline);
    }
    return true;
  }
  bool AnyFailed() const {
    for (const std::string& name : m_failed) std::fprintf(stderr, "error: benchmark %s failed\n", name.c_str());
    return !m_failed.empty();
  }

 private:
  struct Timing {
    double seconds = 0;
    int runs = 0;
  };
  std::string m_baseline;
  std::map<std::string, Timing> m_times;
  std::vector<std::string> m_order;
  std::vector<std::string> m_failed;
};

// main() of a benchmark program whose baseline is the benchmark `baseline`;
// exits with 1 when the baseline is missing or a benchmark failed.
#define FG_BENCHMARK_MAIN(baseline)                          \
  int main(int argc, char** argv) {                          \
    benchmark::Initialize(&argc, argv);                      \
    RatioReporter reporter(baseline);                        \
    benchmark::RunSpecifiedBenchmarks(&reporter);            \
    benchmark::Shutdown();                                   \
    bool ok = reporter.PrintRatios();                        \
    return reporter.AnyFailed() || !ok ? 1 : 0;              \
  }
