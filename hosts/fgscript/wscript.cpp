#include "wscript.h"

#include <unistd.h>

#include <cstdio>

#include "fgplatform/win32.h"
#include "console_input.h"
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

void Timeout(double seconds, gpointer) {
  if (g_state->timeout != nullptr) g_state->timeout(seconds > 0 && seconds <= 32767 ? static_cast<int>(seconds) : 0);
}

// The host program's own path.
std::string HostPath() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string("fgscript");
}

void SetFunction(JSCValue* object, const char* name, GCallback callback, GType parameter) {
  JSCValue* f = jsc_value_new_function(jsc_value_get_context(object), name, callback, nullptr, nullptr, G_TYPE_NONE, 1,
                                       parameter);
  jsc_value_object_set_property(object, name, f);
  g_object_unref(f);
}

// WScript in script, over the native calls. The argument collections keep
// copies of the arguments in this closure, so nothing a script does to them
// reaches the host; Enumerator is wrapped so that it walks them as the
// usual hosts' collections (the arguments, the named ones' names, the
// unnamed ones).
constexpr const char* kWScript = R"((function (native, args, fullName, host) {
  function text(values) { return Array.prototype.map.call(values, function (v) { return String(v); }).join(" "); }
  function failure(number, description) {
    var e = new Error(description);
    e.number = number;
    e.description = description;
    return e;
  }
  function pastEnd() { return failure(-2146828226, "Input past end of file"); }  /* 0x800A003E */
  function collection(items, item) {
    var c = function (i) { return item(i); };
    Object.defineProperty(c, "length", { value: items.length });
    c.Item = function (i) { return item(i); };
    c.Count = function () { return items.length; };
    return c;
  }
  function byIndex(items) { return function (i) { return items[i]; }; }
  // Named arguments: /name:value, or /name alone; names without regard to case.
  var names = [], named = new Map(), unnamed = [];
  args.forEach(function (a) {
    if (a.length < 2 || a.charAt(0) !== "/") { unnamed.push(a); return; }
    var colon = a.indexOf(":");
    var name = colon < 0 ? a.substring(1) : a.substring(1, colon);
    var key = name.toLowerCase();
    if (!named.has(key)) names.push(name);
    named.set(key, colon < 0 ? undefined : a.substring(colon + 1));
  });
  var Named = collection(names, function (name) { return named.get(String(name).toLowerCase()); });
  Named.Exists = function (name) { return named.has(String(name).toLowerCase()); };
  var Unnamed = collection(unnamed, byIndex(unnamed));
  var Arguments = collection(args, byIndex(args));
  Arguments.Named = Named;
  Arguments.Unnamed = Unnamed;
  var NativeEnumerator = Enumerator;
  var walked = new Map([[Arguments, args], [Named, names], [Unnamed, unnamed]]);
  var ScriptEnumerator = function (c) {
    var items = walked.get(c);
    return items !== undefined ? new NativeEnumerator(items.slice()) : new NativeEnumerator(c);
  };
  ScriptEnumerator.prototype = NativeEnumerator.prototype;
  Enumerator = ScriptEnumerator;
  function writer(write) {
    return {
      Write: function (s) { write(String(s)); },
      WriteLine: function (s) { write((arguments.length ? String(s) : "") + "\n"); },
      WriteBlankLines: function (n) { var k = Math.max(0, Math.min(Number(n) || 0, 1 << 20)); write("\n".repeat(k)); }
    };
  }
  var StdIn = {
    ReadLine: function () { var s = native.readLine(); if (s === null) throw pastEnd(); return s; },
    Read: function (n) { var s = native.read(Number(n)); if (s === null) throw pastEnd(); return s; },
    ReadAll: function () { return native.readAll(); },
    SkipLine: function () { if (!native.skipLine()) throw pastEnd(); }
  };
  Object.defineProperty(StdIn, "AtEndOfStream", { get: function () { return native.atEnd(); }, enumerable: true });
  Object.defineProperty(StdIn, "AtEndOfLine", { get: function () { return native.atEndOfLine(); }, enumerable: true });
  var name = fullName.substring(fullName.lastIndexOf("/") + 1);
  var interactive = host.interactive, timeout = host.timeout;
  var ActiveX = ActiveXObject;  /* as installed, whatever the script does to the global */
  var wscript = {
    Echo: function () { native.echo(text(arguments)); },
    Arguments: Arguments,
    Quit: function (code) { native.quit(code); },
    ScriptName: name,
    ScriptFullName: fullName,
    Name: "Farrowgate Script Host",
    Sleep: function (ms) { native.sleep(Number(ms)); },
    StdIn: StdIn,
    StdOut: writer(native.out),
    StdErr: writer(native.err),
    CreateObject: function (progId) { return new ActiveX(progId); },
    GetObject: function () {
      /* 0x800A01AD, "ActiveX component can't create object" */
      throw failure(-2146827859, "GetObject is not supported: this host has no running objects to bind to");
    },
    Version: "1.0",
    BuildVersion: 1,
    FullName: host.fullName,
    Path: host.fullName.substring(0, host.fullName.lastIndexOf("/"))
  };
  Object.defineProperty(wscript, "Interactive", {
    get: function () { return interactive; }, set: function (v) { interactive = !!v; }, enumerable: true });
  Object.defineProperty(wscript, "Timeout", {
    get: function () { return timeout; },
    set: function (v) { timeout = Number(v) > 0 ? Math.floor(Number(v)) : 0; native.timeout(timeout); },
    enumerable: true });
  return wscript;
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
  SetFunction(native, "timeout", G_CALLBACK(Timeout), G_TYPE_DOUBLE);
  AddConsoleInput(native);
  GPtrArray* list = g_ptr_array_new_with_free_func(g_object_unref);
  for (const std::string& a : args) g_ptr_array_add(list, jsc_value_new_string(context, a.c_str()));
  JSCValue* argArray = jsc_value_new_array_from_garray(context, list);
  g_ptr_array_unref(list);
  JSCValue* path = jsc_value_new_string(context, fullPath.c_str());
  JSCValue* host = jsc_value_new_object(context, nullptr, nullptr);
  JSCValue* interactive = jsc_value_new_boolean(context, state.interactive);
  JSCValue* timeout = jsc_value_new_number(context, state.timeoutSeconds);
  JSCValue* hostPath = jsc_value_new_string(context, HostPath().c_str());
  jsc_value_object_set_property(host, "interactive", interactive);
  jsc_value_object_set_property(host, "timeout", timeout);
  jsc_value_object_set_property(host, "fullName", hostPath);
  JSCValue* factory = jsc_context_evaluate(context, kWScript, -1);
  JSCValue* wscript = jsc_value_function_call(factory, JSC_TYPE_VALUE, native, JSC_TYPE_VALUE, argArray,
                                              JSC_TYPE_VALUE, path, JSC_TYPE_VALUE, host, G_TYPE_NONE);
  jsc_context_set_value(context, "WScript", wscript);
  for (JSCValue* v : {native, argArray, path, host, interactive, timeout, hostPath, factory, wscript}) g_object_unref(v);
}

}  // namespace fgscript
