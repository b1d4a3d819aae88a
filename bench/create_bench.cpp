// Creating and releasing the dialog object through the module's cached
// class factory, against new and delete of the same object in the same run.
#include "dialog/dialog_helper.h"
#include "dialog/dialog_identity.h"
#include "frame/comobject.h"
#include "frame/object_map.h"
#include "ratio_reporter.h"

namespace {

void BaselineNewDelete(benchmark::State& state) {
  for (auto _ : state) {
    auto* object = new CComObject<CDialogHelper>();
    benchmark::DoNotOptimize(object);
    delete object;
  }
}
BENCHMARK(BaselineNewDelete);

void CreateReleaseThroughTheFactory(benchmark::State& state) {
  IClassFactory* factory = nullptr;
  if (FAILED(FrameComModuleGetClassObject(&FrameComModule(), CLSID_DialogHelper, IID_IClassFactory,
                                          reinterpret_cast<void**>(&factory))))
    return state.SkipWithError("no class factory");
  for (auto _ : state) {
    IDispatch* object = nullptr;
    if (FAILED(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)))) {
      state.SkipWithError("CreateInstance failed");
      break;
    }
    object->Release();
  }
  factory->Release();
}
BENCHMARK(CreateReleaseThroughTheFactory);

}  // namespace

FG_BENCHMARK_MAIN("BaselineNewDelete")
