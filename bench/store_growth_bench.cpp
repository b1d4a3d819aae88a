// How the registry's costs grow with its store: the first registry call of
// a process (the store opened, and checked unless it was recorded as
// checked and is unchanged since) and `fgreg query HKCR /s` (every
// key listed, each enumeration step resuming where the last one stopped),
// at 10, 1,000 and 100,000 keys, against the same at 10 keys.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "fgplatform/win32.h"
#include "ratio_reporter.h"

namespace {

// The benchmark's folder: the registry refuses shared ones.
const std::string& Folder() {
  static const std::string folder = [] {
    std::string f = "/tmp/fg-growth-" + std::to_string(getpid());
    mkdir(f.c_str(), 0700);
    std::atexit([] { (void)std::system(("rm -rf " + Folder()).c_str()); });
    return f;
  }();
  return folder;
}

// Makes a store of `keys` keys under HKCR, a hundred to a parent, in one
// batch; its path, or empty when a call failed.
std::string MakeStore(int keys, const std::string& name) {
  std::string path = Folder() + "/" + name + ".db";
  setenv("FARROWGATE_REGISTRY", path.c_str(), 1);
  if (FgRegistryBeginBatch(TRUE) != ERROR_SUCCESS) return "";
  bool ok = true;
  for (int i = 0; ok && i < keys; ++i) {
    char sub[32];
    std::snprintf(sub, sizeof sub, "G%d\\K%d", i / 100, i % 100);
    std::u16string wide(sub, sub + std::strlen(sub));
    HKEY key = nullptr;
    ok = RegCreateKeyExW(HKEY_CLASSES_ROOT, wide.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
         ERROR_SUCCESS;
    if (ok) RegCloseKey(key);
  }
  ok = FgRegistryEndBatch(ok ? TRUE : FALSE) == ERROR_SUCCESS && ok;
  return ok ? path : "";
}

// Two stores of the same size, so that each timed call opens one anew.
// They are left unchanged for long enough that the first process to check
// one may record it as checked (a file changed within the last two seconds
// never is), as a user's store is between registrations.
struct StorePair {
  std::string a, b;
};
const StorePair& Stores(int keys) {
  static std::map<int, StorePair> made;
  auto it = made.find(keys);
  if (it != made.end()) return it->second;
  std::string base = "k";
  base += std::to_string(keys);
  StorePair pair{MakeStore(keys, base + "a"), MakeStore(keys, base + "b")};
  setenv("FARROWGATE_REGISTRY", (Folder() + "/none.db").c_str(), 1);  // closes the last one: its log folded in
  sleep(3);
  return made[keys] = pair;
}

// The first call of a process on a store, opened anew each time: `checked`
// stores were recorded as checked by an earlier process and left unchanged
// since; the others changed since (their record is removed before each
// call), so the whole store is checked.
void FirstCall(benchmark::State& state, int keys, bool checked) {
  const StorePair& stores = Stores(keys);
  if (stores.a.empty() || stores.b.empty()) return state.SkipWithError("the stores could not be made");
  bool odd = false;
  for (auto _ : state) {
    const std::string& store = odd ? stores.a : stores.b;
    odd = !odd;
    if (!checked) {
      state.PauseTiming();
      unlink((store + "-checked").c_str());
      state.ResumeTiming();
    }
    setenv("FARROWGATE_REGISTRY", store.c_str(), 1);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, u"G0", 0, KEY_READ, &key) != ERROR_SUCCESS) {
      state.SkipWithError("the first call failed");
      break;
    }
    RegCloseKey(key);
  }
}
void FirstCallUnchanged(benchmark::State& state, int keys) { FirstCall(state, keys, true); }
void FirstCallAfterAChange(benchmark::State& state, int keys) { FirstCall(state, keys, false); }
BENCHMARK_CAPTURE(FirstCallUnchanged, keys10, 10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FirstCallUnchanged, keys1000, 1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FirstCallUnchanged, keys100000, 100000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FirstCallAfterAChange, keys10, 10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FirstCallAfterAChange, keys1000, 1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FirstCallAfterAChange, keys100000, 100000)->Unit(benchmark::kMillisecond);

void RecursiveQuery(benchmark::State& state, int keys) {
  const StorePair& stores = Stores(keys);
  if (stores.a.empty()) return state.SkipWithError("the store could not be made");
  std::string line = std::string(FGREG_PATH) + " --registry " + stores.a + " query HKCR /s >/dev/null";
  for (auto _ : state) {
    if (std::system(line.c_str()) == 0) continue;
    state.SkipWithError("fgreg failed");
    break;
  }
}
BENCHMARK_CAPTURE(RecursiveQuery, keys10, 10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RecursiveQuery, keys1000, 1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RecursiveQuery, keys100000, 100000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

FG_BENCHMARK_MAIN("FirstCallUnchanged/keys10")
