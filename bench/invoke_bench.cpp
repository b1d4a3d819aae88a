// Reading the Title property late-bound, through Invoke, against a direct
// call of get_Title through the interface table in the same run.
#include "dialog/dialog_helper.h"
#include "frame/comobject.h"
#include "ratio_reporter.h"

namespace {

IDialogHelper* MakeObject() {
  IDialogHelper* object = nullptr;
  if (FAILED(CComCreators<CDialogHelper>::CreatePlain(nullptr, IID_IDialogHelper, reinterpret_cast<void**>(&object))))
    return nullptr;
  BSTR title = SysAllocString(u"Pick a file");
  (void)object->put_Title(title);
  SysFreeString(title);
  return object;
}

void BaselineDirectGetTitle(benchmark::State& state) {
  IDialogHelper* object = MakeObject();
  if (object == nullptr) return state.SkipWithError("the object cannot be made");
  for (auto _ : state) {
    BSTR title = nullptr;
    (void)object->get_Title(&title);
    benchmark::DoNotOptimize(title);
    SysFreeString(title);
  }
  object->Release();
}
BENCHMARK(BaselineDirectGetTitle);

void InvokeGetTitle(benchmark::State& state) {
  IDialogHelper* object = MakeObject();
  if (object == nullptr) return state.SkipWithError("the object cannot be made");
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  for (auto _ : state) {
    VARIANT result;
    HRESULT hr = object->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    if (FAILED(hr)) {
      state.SkipWithError("Invoke failed");
      break;
    }
    benchmark::DoNotOptimize(result.bstrVal);
    VariantClear(&result);
  }
  object->Release();
}
BENCHMARK(InvokeGetTitle);

}  // namespace

FG_BENCHMARK_MAIN("BaselineDirectGetTitle")
