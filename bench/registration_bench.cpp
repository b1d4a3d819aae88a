// The cost of registering the component: a DllRegisterServer +
// DllUnregisterServer round trip of the built module on the durable
// registry (a file store), against the same round trip on a store in
// memory in the same run.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fgplatform/win32.h"
#include "ratio_reporter.h"

namespace {

typedef HRESULT(STDAPICALLTYPE* EntryFunc)();

// Runs round trips on the store FARROWGATE_REGISTRY names.
void RoundTrips(benchmark::State& state, const std::string& store) {
  setenv("FARROWGATE_REGISTRY", store.c_str(), 1);
  std::string path = FARROWGATE_MODULE_PATH;
  HMODULE module = LoadLibraryW(std::u16string(path.begin(), path.end()).c_str());
  auto entry = [module](const char* name) {
    return reinterpret_cast<EntryFunc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  };
  EntryFunc registerServer = module != nullptr ? entry("DllRegisterServer") : nullptr;
  EntryFunc unregisterServer = module != nullptr ? entry("DllUnregisterServer") : nullptr;
  if (registerServer == nullptr || unregisterServer == nullptr) {
    state.SkipWithError("the component module or its registration exports are missing");
  } else {
    for (auto _ : state) {
      if (registerServer() == S_OK && unregisterServer() == S_OK) continue;
      state.SkipWithError("a registration call failed");
      break;
    }
  }
  if (module != nullptr) FreeLibrary(module);
}

void BaselineInMemoryRoundTrip(benchmark::State& state) { RoundTrips(state, ":memory:"); }
BENCHMARK(BaselineInMemoryRoundTrip)->Unit(benchmark::kMillisecond);

void DurableRoundTrip(benchmark::State& state) {
  // A folder of the benchmark's own: the registry refuses shared ones.
  std::string folder = "/tmp/fg-bench-registration-" + std::to_string(getpid());
  mkdir(folder.c_str(), 0700);
  std::string path = folder + "/registry.db";
  RoundTrips(state, path);
  for (const char* suffix : {"", "-wal", "-shm"}) unlink((path + suffix).c_str());
  rmdir(folder.c_str());
}
BENCHMARK(DurableRoundTrip)->Unit(benchmark::kMillisecond);

}  // namespace

FG_BENCHMARK_MAIN("BaselineInMemoryRoundTrip")
