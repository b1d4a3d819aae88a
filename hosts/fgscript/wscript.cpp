#include "wscript.h"

#include <unistd.h>

#include <cstdio>

#include "fgplatform/win32.h"
#include "js_values.h"

namespace fgscript {

namespace {

constexpr int kMaxSleepMs = 24 * 60 * 60 * 1000;

WScriptState* g_state = nullptr;

void Echo(const char* text, gpointer) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

void WriteErr(const char* text, gpointer) { std::fprintf(stderr, "%s", text); }
void WriteOut(const char* text, gpointer) {
  std::printf("%s", text);
  std::fflush(stdout);
}

void Sleep(double ms, gpointer) {
  if (ms > 0) usleep(static_cast<useconds_t>(ms < kMaxSleepMs ? ms : kMaxSleepMs) * 1000);
}

// WScript.Quit: the code converted, then the host's end.
void Quit(JSCValue* code, gpointer) {
  JSCContext* context = jsc_context_get_current();
  VARIANT given, number;
  VariantInit(&number);
  if (!fgbridge::ToVariant(context, code, &given)) return;
  HRESULT hr = VariantChangeType(&number, &given, 0, VT_I4);
  VariantClear(&given);
  if (FAILED(hr)) {
    fgbridge::ThrowFailure(context, hr, nullptr);
    return;
  }
  g_state->end(number.lVal);
}

void SetFunction(JSCValue* object, const char* name, GCallback callback, GType parameter) {
  JSCValue* f = jsc_value_new_function(jsc_value_get_context(object), name, callback, nullptr, nullptr, G_TYPE_NONE, 1,
                                       parameter);
  jsc_value_object_set_property(object, name, f);
  g_object_unref(f);
}

// WScript in script, over the native calls.
constexpr const char* kWScript = R"((function (native, args, fullName) {
  function text(values) { return Array.prototype.map.call(values, function (v) { return String(v); }).join(" "); }
  var Arguments = function (i) { return args[i]; };
  Object.defineProperty(Arguments, "length", { value: args.length });
  Arguments.Item = function (i) { return args[i]; };
  Arguments.Count = function () { return args.length; };
  var name = fullName.substring(fullName.lastIndexOf("/") + 1);
  return {
    Echo: function () { native.echo(text(arguments)); },
    Arguments: Arguments,
    Quit: function (code) { native.quit(code); },
    ScriptName: name,
    ScriptFullName: fullName,
    Name: "Farrowgate Script Host",
    Sleep: function (ms) { native.sleep(Number(ms)); },
    StdOut: { WriteLine: function (s) { native.out(String(s) + "\n"); }, Write: function (s) { native.out(String(s)); } },
    StdErr: { WriteLine: function (s) { native.err(String(s) + "\n"); }, Write: function (s) { native.err(String(s)); } }
  };
}))";

}  // namespace

void InstallWScript(JSCContext* context, const std::string& fullPath, const std::vector<std::string>& args,
                    WScriptState& state) {
  g_state = &state;
  JSCValue* native = jsc_value_new_object(context, nullptr, nullptr);
  SetFunction(native, "echo", G_CALLBACK(Echo), G_TYPE_STRING);
  SetFunction(native, "out", G_CALLBACK(WriteOut), G_TYPE_STRING);
  SetFunction(native, "err", G_CALLBACK(WriteErr), G_TYPE_STRING);
  SetFunction(native, "sleep", G_CALLBACK(Sleep), G_TYPE_DOUBLE);
  SetFunction(native, "quit", G_CALLBACK(Quit), JSC_TYPE_VALUE);
  GPtrArray* list = g_ptr_array_new_with_free_func(g_object_unref);
  for (const std::string& a : args) g_ptr_array_add(list, jsc_value_new_string(context, a.c_str()));
  JSCValue* argArray = jsc_value_new_array_from_garray(context, list);
  g_ptr_array_unref(list);
  JSCValue* path = jsc_value_new_string(context, fullPath.c_str());
  JSCValue* factory = jsc_context_evaluate(context, kWScript, -1);
  JSCValue* wscript = jsc_value_function_call(factory, JSC_TYPE_VALUE, native, JSC_TYPE_VALUE, argArray,
                                              JSC_TYPE_VALUE, path, G_TYPE_NONE);
  jsc_context_set_value(context, "WScript", wscript);
  for (JSCValue* v : {native, argArray, path, factory, wscript}) g_object_unref(v);
}

}  // namespace fgscript
