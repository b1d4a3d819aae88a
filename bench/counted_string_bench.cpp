// Appending one character a million times to a counted string, against
// std::u16string::push_back in the same run: the growth policy keeps the
// counted string amortised linear.
#include <string>

#include "holders/counted_string.h"
#include "ratio_reporter.h"

namespace {

constexpr int kAppends = 1000000;

void BaselineU16stringPushBack(benchmark::State& state) {
  for (auto _ : state) {
    std::u16string s;
    for (int i = 0; i < kAppends; ++i) s.push_back(u'x');
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK(BaselineU16stringPushBack)->Unit(benchmark::kMillisecond);

void CountedStringAppend(benchmark::State& state) {
  const WCHAR one[] = u"x";
  for (auto _ : state) {
    CCountedString s;
    for (int i = 0; i < kAppends; ++i) s.Append(one, 1);
    benchmark::DoNotOptimize(s.Text());
  }
}
BENCHMARK(CountedStringAppend)->Unit(benchmark::kMillisecond);

}  // namespace

FG_BENCHMARK_MAIN("BaselineU16stringPushBack")
