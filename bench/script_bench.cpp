// The cost of the automation bridge: one property read from script
// (o.Title, through GetIDsOfNames' cache and Invoke), against the same read
// through Invoke from C++, in the same run. The component is registered in
// a store in memory.
#include <jsc/jsc.h>

#include <string>

#include "automation_bridge.h"
#include "fgplatform/win32.h"
#include "ratio_reporter.h"
#include "registered_component.h"

namespace {

RegisteredComponent& TheComponent() {
  static RegisteredComponent component = [] {
    setenv("FARROWGATE_REGISTRY", ":memory:", 1);
    return RegisteredComponent();
  }();
  return component;
}

void BaselineInvokeFromCpp(benchmark::State& state) {
  IDispatch* object = TheComponent().object;
  if (object == nullptr) {
    state.SkipWithError("the component could not be created");
    return;
  }
  LPOLESTR name[] = {const_cast<LPOLESTR>(u"Title")};
  DISPID id = 0;
  (void)object->GetIDsOfNames(IID_NULL, name, 1, 0, &id);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  for (auto _ : state) {
    VARIANT result;
    VariantInit(&result);
    if (FAILED(object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr))) {
      state.SkipWithError("Invoke failed");
      break;
    }
    VariantClear(&result);
  }
}
BENCHMARK(BaselineInvokeFromCpp);

void PropertyReadFromScript(benchmark::State& state) {
  if (TheComponent().object == nullptr) {
    state.SkipWithError("the component could not be created");
    return;
  }
  JSCContext* context = jsc_context_new();
  fgbridge::Install(context);
  JSCValue* read = jsc_context_evaluate(
      context, "var o = new ActiveXObject('Farrowgate.DialogHelper'); (function () { return o.Title; })", -1);
  for (auto _ : state) {
    JSCValue* title = jsc_value_function_call(read, G_TYPE_NONE);
    if (title == nullptr || jsc_context_get_exception(context) != nullptr) {
      state.SkipWithError("the script's read failed");
      break;
    }
    g_object_unref(title);
  }
  g_object_unref(read);
  fgbridge::ReleaseAll();
  fgbridge::Uninstall(context);
  g_object_unref(context);
}
BENCHMARK(PropertyReadFromScript);

}  // namespace

FG_BENCHMARK_MAIN("BaselineInvokeFromCpp")
