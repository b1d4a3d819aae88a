// Fuzzes the readers of the shared trace settings store: each input is
// written over a store region (its first half at the region's start, where
// the process and module records are, its second half at the end, where
// the category records are), which a settings tool then opens, snapshots
// and reads, and in which a module and a category are registered and
// removed. Another process may write anything there.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fgplatform/win32.h"
#include "trace/trace_tool.h"

namespace {

constexpr DWORD kRegionSize = 256 * 1024;
std::string g_name;
BYTE* g_region = nullptr;

void ReadEverything(CTraceAllocator* store) {
  TraceSnapshotProcess(store);
  TraceProcessInfo process{};
  TraceGetProcessInfo(store, &process);
  for (int m = 0; m < process.nModules && m < 64; ++m) {
    TraceModuleInfo module{};
    TraceGetModuleInfo(store, m, &module);
    for (int c = 0; c < module.nCategories && c < 64; ++c) {
      TraceCategoryInfo category{};
      try {
        TraceGetCategoryInfo(store, module.hModule, c, &category);
      } catch (...) {
        break;  // a chain shorter than its count: refused, as it should be
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_name = "FgFuzzTraceStore_" + std::to_string(getpid());
  HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kRegionSize, g_name.c_str());
  g_region = map != nullptr ? static_cast<BYTE*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, 0)) : nullptr;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_region == nullptr || size > kRegionSize) return 0;
  std::memset(g_region, 0, kRegionSize);
  size_t front = size / 2;
  std::memcpy(g_region, data, front);
  std::memcpy(g_region + kRegionSize - (size - front), data + front, size - front);
  CTraceAllocator store;
  if (!store.OpenStore(g_name.c_str())) return 0;
  try {
    ReadEverything(&store);
  } catch (...) {
    // Refusals of records that are not there are exceptions by design.
  }
  store.ReleaseSnapshot();
  LONG module = store.AddModule(nullptr);
  if (module >= 0) {
    (void)store.AddCategory(module, u"fuzz");
    (void)store.RemoveModule(module);
  }
  store.CloseStore(true);
  return 0;
}
