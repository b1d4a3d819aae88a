// A console reporter that also prints, at the end, each benchmark's time
// per iteration (the least, the median and the most of its repetitions:
// run with --benchmark_repetitions=N) and its median as a ratio to the
// median of the run's baseline: the one benchmark named to
// FG_BENCHMARK_MAIN. Times are compared in seconds, whatever unit each
// benchmark reports in; a benchmark is known by its registered name
// (without "/iterations:N"). A run without its baseline, or whose baseline
// failed, ends with an error.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
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
      std::vector<double>& times = m_times[name];
      times.push_back(run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit));
      if (times.size() == 1) m_order.push_back(name);
    }
  }

  // False when the baseline is missing; the ratios are printed otherwise.
  bool PrintRatios() const {
    auto base = m_times.find(m_baseline);
    if (base == m_times.end()) {
      std::fprintf(stderr, "error: the baseline benchmark %s did not run\n", m_baseline.c_str());
      return false;
    }
    double baseline = Median(base->second);
    for (const std::string& name : m_order) {
      const std::vector<double>& t = m_times.at(name);
      std::printf("ratio %-40s %8.2f   time min %s median %s max %s (%zu runs)\n", name.c_str(),
                  Median(t) / baseline, Show(*std::min_element(t.begin(), t.end())).c_str(), Show(Median(t)).c_str(),
                  Show(*std::max_element(t.begin(), t.end())).c_str(), t.size());
    }
    return true;
  }
  bool AnyFailed() const {
    for (const std::string& name : m_failed) std::fprintf(stderr, "error: benchmark %s failed\n", name.c_str());
    return !m_failed.empty();
  }

 private:
  static double Median(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    size_t n = t.size();
    return n % 2 == 1 ? t[n / 2] : (t[n / 2 - 1] + t[n / 2]) / 2;
  }
  // Seconds in the unit that suits them.
  static std::string Show(double seconds) {
    const char* units[] = {"s", "ms", "us", "ns"};
    int unit = 0;
    while (unit < 3 && seconds < 1) {
      seconds *= 1000;
      ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3g %s", seconds, units[unit]);
    return text;
  }

  std::string m_baseline;
  std::map<std::string, std::vector<double>> m_times;
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
