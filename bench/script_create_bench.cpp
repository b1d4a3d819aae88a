// The cost of creating the component from script after the first creation:
// `new ActiveXObject("Farrowgate.DialogHelper")` (the ProgID and the class's
// server read from the registry, the cached class factory, the bridge's
// wrapper), against creating a plain script object in the same run. The
// component is registered in a file store, as a user's is.
#include <jsc/jsc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "automation_bridge.h"
#include "fgplatform/win32.h"
#include "ratio_reporter.h"
#include "registered_component.h"

namespace {

RegisteredComponent& TheComponent() {
  static RegisteredComponent component = [] {
    static const std::string folder = "/tmp/fg-bench-create-" + std::to_string(getpid());
    mkdir(folder.c_str(), 0700);
    setenv("FARROWGATE_REGISTRY", (folder + "/registry.db").c_str(), 1);
    std::atexit([] { (void)std::system(("rm -rf " + folder).c_str()); });
    return RegisteredComponent();
  }();
  return component;
}

// Calls `make` (a script function that creates one object) in each
// iteration; the objects go with the engine's garbage, as a script's do.
void CreateInScript(benchmark::State& state, const char* make) {
  if (TheComponent().object == nullptr) return state.SkipWithError("the component could not be registered");
  JSCContext* context = jsc_context_new();
  fgbridge::Install(context);
  JSCValue* create = jsc_context_evaluate(context, make, -1);
  JSCValue* first = jsc_value_function_call(create, G_TYPE_NONE);  // the first creation loads the module
  if (first != nullptr) g_object_unref(first);
  for (auto _ : state) {
    JSCValue* object = jsc_value_function_call(create, G_TYPE_NONE);
    if (object == nullptr || jsc_context_get_exception(context) != nullptr) {
      state.SkipWithError("the script's creation failed");
      break;
    }
    g_object_unref(object);
  }
  g_object_unref(create);
  fgbridge::ReleaseAll();
  fgbridge::Uninstall(context);
  g_object_unref(context);
}

void BaselinePlainScriptObject(benchmark::State& state) {
  CreateInScript(state, "(function () { return new Object(); })");
}
BENCHMARK(BaselinePlainScriptObject);

void ComponentFromScript(benchmark::State& state) {
  CreateInScript(state, "(function () { return new ActiveXObject('Farrowgate.DialogHelper'); })");
}
BENCHMARK(ComponentFromScript);

}  // namespace

FG_BENCHMARK_MAIN("BaselinePlainScriptObject")
