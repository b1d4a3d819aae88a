// Looking one name up with GetIDsOfNames against a plain scan of the same
// fifteen names with _wcsicmp in the same run.
#include "dialog/dialog_helper.h"
#include "frame/comobject.h"
#include "frame/dispatch.h"
#include "ratio_reporter.h"

namespace {

// The last name of the table: the longest walk.
const char16_t* const kName = u"put_filter";

void BaselinePlainScan(benchmark::State& state) {
  for (auto _ : state) {
    DISPID found = DISPID_UNKNOWN;
    for (const DispatchNameEntry& row : DispatchNameTable)
      if (_wcsicmp(kName, row.name) == 0) {
        found = row.id;
        break;
      }
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BaselinePlainScan);

void GetIDsOfNamesOneName(benchmark::State& state) {
  IDialogHelper* object = nullptr;
  if (FAILED(CComCreators<CDialogHelper>::CreatePlain(nullptr, IID_IDialogHelper, reinterpret_cast<void**>(&object))))
    return state.SkipWithError("the object cannot be made");
  LPOLESTR names[] = {const_cast<LPOLESTR>(kName)};
  for (auto _ : state) {
    DISPID id = 0;
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id))) {
      state.SkipWithError("the name was not found");
      break;
    }
    benchmark::DoNotOptimize(id);
  }
  object->Release();
}
BENCHMARK(GetIDsOfNamesOneName);

}  // namespace

FG_BENCHMARK_MAIN("BaselinePlainScan")
