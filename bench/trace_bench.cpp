// The cost of tracing: a trace call whose line the settings do not admit,
// and an admitted line written to a report routine that discards it,
// against an empty call of a function that is not inlined, in the same run.
#include <cstdarg>

#include "ratio_reporter.h"
#include "trace/trace.h"
#include "trace/trace_settings.h"

namespace {

__attribute__((noinline)) void EmptyCall(int value) { benchmark::DoNotOptimize(value); }

void BaselineEmptyCall(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) EmptyCall(++i);
}
BENCHMARK(BaselineEmptyCall);

void TraceNotAdmitted(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) FGTRACE(traceString, 2, "Warning: implicit LoadString(%u) failed\n", ++i);
}
BENCHMARK(TraceNotAdmitted);

int __cdecl Discard(int, const char*, int, const char*, const char*, ...) { return 0; }

void Write(DWORD_PTR module, DWORD_PTR category, const char* format, ...) {
  va_list args;
  va_start(args, format);
  TraceWriteA(module, __FILE__, __LINE__, category, 0, format, args);
  va_end(args);
}

void TraceAdmittedToADiscardingSink(benchmark::State& state) {
  DWORD_PTR module = TraceRegister(GetModuleHandleW(nullptr), Discard);
  DWORD_PTR category = TraceRegisterCategoryA(module, "bench");
  if (module == 0 || category == 0) state.SkipWithError("no room in the trace store");
  int i = 0;
  for (auto _ : state) Write(module, category, "line %d of the benchmark\n", ++i);
  (void)TraceUnregister(module);
}
BENCHMARK(TraceAdmittedToADiscardingSink);

}  // namespace

FG_BENCHMARK_MAIN("BaselineEmptyCall")
