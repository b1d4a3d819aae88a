// The services of the platform that can be made to fail on purpose, one
// fault countdown each. Each service's wrapper asks the fault injector
// before it takes its resource; the test controls arm the countdowns.
#pragma once

namespace fgp {

enum class FaultService {
  Heap,             // HeapAlloc/HeapReAlloc on every heap the program made
  TaskMemory,       // CoTaskMemAlloc/Realloc
  SystemString,     // SysAlloc*/SysReAlloc*
  SafeArray,        // array descriptors and data
  CriticalSection,  // InitializeCriticalSection*
  ErrorInfo,        // CreateErrorInfo
  RegistryWrite,    // statements of registry calls that change the store
  Mapping,          // CreateFileMapping
  Count
};

}  // namespace fgp
