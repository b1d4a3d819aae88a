// The cost of tracing: a trace call whose line the settings do not admit,
// and an admitted line written to a report routine that discards it,
// against an empty call of a function that is not inlined, in the same run.
#include <cstdarg>

#include "ratio_reporter.h"
#include "trace/trace.h"
#include "trace/trace_settings.h"
#include "trace/trace_tool.h"

namespace {

__attribute__((noinline)) void EmptyCall(int value) { benchmark::DoNotOptimize(value); }

void BaselineEmptyCall(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) EmptyCall(++i);
}
BENCHMARK(BaselineEmptyCall);

void NotAdmitted(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) FGTRACE(traceString, 2, "Warning: implicit LoadString(%u) failed\n", ++i);
}

// With the default settings: module and category inherit the process's level 0.
void TraceNotAdmitted(benchmark::State& state) { NotAdmitted(state); }
BENCHMARK(TraceNotAdmitted);

// The library's module disabled, the way a user silences it.
void TraceNotAdmittedModuleDisabled(benchmark::State& state) {
  TraceModifyModule(nullptr, TraceLibraryModule(), 0, TraceStatusDisabled);
  NotAdmitted(state);
  TraceModifyModule(nullptr, TraceLibraryModule(), 0, TraceStatusInherit);
}
BENCHMARK(TraceNotAdmittedModuleDisabled);

// The category enabled at a level below the line's.
void TraceNotAdmittedCategoryLevelLower(benchmark::State& state) {
  TraceModifyCategory(nullptr, traceString.Handle(), 1, TraceStatusEnabled);
  NotAdmitted(state);
  TraceModifyCategory(nullptr, traceString.Handle(), 0, TraceStatusInherit);
}
BENCHMARK(TraceNotAdmittedCategoryLevelLower);

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
