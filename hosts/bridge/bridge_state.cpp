#include "bridge_state.h"

#include <map>
#include <unordered_map>

#include "js_values.h"

namespace fgbridge {

namespace {

std::unordered_map<const void*, NativeKind>& Genuine() {
  static auto* genuine = new std::unordered_map<const void*, NativeKind>;  // used until the very end
  return *genuine;
}

std::map<JSCContext*, ContextState*>& States() {
  static auto* states = new std::map<JSCContext*, ContextState*>;
  return *states;
}

// The instance the probe method last ran on.
gpointer g_noted = nullptr;
void NoteInstance(gpointer instance, gpointer) { g_noted = instance; }

// Runs a method with a value as `this`. The engine refuses (throws) unless
// the value is an instance of a class registered through its API; a proxy,
// a plain object or one made with a class's prototype are refused without
// any of their code running. Reflect.apply is taken before any script ran.
constexpr const char* kProbe = R"((function (apply) {
  return function (method, value) {
    try { apply(method, value, []); return true; } catch (e) { return false; }
  };
})(Reflect.apply))";

// The time of a genuine Date (the engine's own slot, read by the original
// getTime), undefined for anything else, however Date was replaced.
constexpr const char* kDateTime = R"((function (apply, getTime) {
  return function (value) {
    try { return apply(getTime, value, []); } catch (e) { return undefined; }
  };
})(Reflect.apply, Date.prototype.getTime))";

constexpr const char* kNewDate = R"((function (D) { return function (ms) { return new D(ms); }; })(Date))";

// An Error with description and number, placed (line, column, file) at the
// script's call that failed rather than in the bridge: the first frame of
// its stack that names a script file. Only original functions are used and
// properties are defined, not assigned, so none of the script's code runs.
constexpr const char* kMakeError = R"((function (Err, TypeErr, define, apply, split, exec, toNumber) {
  var place = /@(.+):(\d+):(\d+)$/;
  function set(o, k, v) { define(o, k, { value: v, writable: true, enumerable: false, configurable: true }); }
  return function (m, n, typeError) {
    var e = typeError ? new TypeErr(m) : new Err(m);
    set(e, "description", m);
    set(e, "number", n);
    var stack = e.stack;
    var frames = typeof stack === "string" ? apply(split, stack, ["\n"]) : [];
    for (var i = 0; i < frames.length; i++) {
      var f = apply(exec, place, [frames[i]]);
      if (f) { set(e, "sourceURL", f[1]); set(e, "line", toNumber(f[2])); set(e, "column", toNumber(f[3])); break; }
    }
    return e;
  };
})(Error, TypeError, Object.defineProperty, Reflect.apply, String.prototype.split, RegExp.prototype.exec, Number))";

constexpr const char* kRaise = R"((function (e) { throw e; }))";

// One of the bridge's own function texts, evaluated.
JSCValue* EvaluateFunction(JSCContext* context, const char* text) { return jsc_context_evaluate(context, text, -1); }

void Unref(JSCValue*& value) {
  if (value != nullptr) g_object_unref(value);
  value = nullptr;
}

}  // namespace

void Adopt(void* instance, NativeKind kind) { Genuine()[instance] = kind; }

void Forget(void* instance) { Genuine().erase(instance); }

bool IsGenuine(const void* instance, NativeKind kind) {
  auto it = Genuine().find(instance);
  return it != Genuine().end() && it->second == kind;
}

std::vector<void*> GenuineOf(NativeKind kind) {
  std::vector<void*> out;
  for (auto& [instance, k] : Genuine())
    if (k == kind) out.push_back(const_cast<void*>(instance));
  return out;
}

ContextState* StateOf(JSCContext* context) {
  auto it = States().find(context);
  return it != States().end() ? it->second : nullptr;
}

ContextState* CreateState(JSCContext* context) {
  DestroyState(context);
  auto* state = new ContextState;
  state->probe = EvaluateFunction(context, kProbe);
  state->dateTime = EvaluateFunction(context, kDateTime);
  state->newDate = EvaluateFunction(context, kNewDate);
  state->makeError = EvaluateFunction(context, kMakeError);
  state->raise = EvaluateFunction(context, kRaise);
  // The probe method belongs to a class of its own whose constructor and
  // prototype are never handed to a script.
  JSCClass* probeClass = jsc_context_register_class(context, "FgProbe", nullptr, nullptr, nullptr);
  jsc_class_add_method(probeClass, "note", G_CALLBACK(NoteInstance), nullptr, nullptr, G_TYPE_NONE, 0);
  JsValue constructor(jsc_class_add_constructor(probeClass, nullptr, G_CALLBACK(+[](gpointer) -> gpointer { return nullptr; }),
                                                nullptr, nullptr, G_TYPE_POINTER, 0));
  JsValue prototype(jsc_value_object_get_property(constructor.value, "prototype"));
  state->probeMethod = jsc_value_object_get_property(prototype.value, "note");
  States()[context] = state;
  return state;
}

void DestroyState(JSCContext* context) {
  ContextState* state = StateOf(context);
  if (state == nullptr) return;
  States().erase(context);
  for (JSCValue** v : {&state->probe, &state->probeMethod, &state->dateTime, &state->newDate, &state->makeError,
                       &state->raise})
    Unref(*v);
  delete state;
}

void ThrowMadeError(JSCContext* context, const char* description, int code, bool typeError) {
  ContextState* state = StateOf(context);
  // A context the bridge has forgotten (a document back from the page
  // cache) still gets its errors with description and number; the
  // functions are made now, since none were kept for it.
  JsValue make(state != nullptr ? JSC_VALUE(g_object_ref(state->makeError)) : EvaluateFunction(context, kMakeError));
  JsValue raise(state != nullptr ? JSC_VALUE(g_object_ref(state->raise)) : EvaluateFunction(context, kRaise));
  if (make.value == nullptr || raise.value == nullptr) {
    jsc_context_throw(context, description);
    return;
  }
  JsValue error(jsc_value_function_call(make.value, G_TYPE_STRING, description, G_TYPE_INT, code, G_TYPE_BOOLEAN,
                                        typeError, G_TYPE_NONE));
  JsValue ignored(jsc_value_function_call(raise.value, JSC_TYPE_VALUE, error.value, G_TYPE_NONE));
}

void* InstanceOf(JSCContext* context, JSCValue* value, NativeKind kind) {
  ContextState* state = StateOf(context);
  if (state == nullptr || !jsc_value_is_object(value)) return nullptr;
  g_noted = nullptr;
  JsValue ran(jsc_value_function_call(state->probe, JSC_TYPE_VALUE, state->probeMethod, JSC_TYPE_VALUE, value,
                                      G_TYPE_NONE));
  void* noted = g_noted;
  g_noted = nullptr;
  return IsGenuine(noted, kind) ? noted : nullptr;
}

}  // namespace fgbridge
