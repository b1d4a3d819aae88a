// Fuzzes the automation bridge with scripts run in-process against the
// component, its dialog answered from a file. An input is either a script
// text (when it starts with "//") or a list of bytes, each choosing one
// statement of the bridge's API: objects, methods read and called,
// properties, VBArray, Enumerator, forged values, arguments whose
// valueOf, getters and traps drop references and make the engine collect.
// Every input runs in a context of its own; at its end every object is
// released as a host releases them.
#include <jsc/jsc.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "automation_bridge.h"
#include "fgplatform/win32.h"

namespace {

constexpr size_t kMaxStatements = 64;
constexpr size_t kMaxScriptBytes = 8192;

constexpr const char* kPrelude =
    "var o, m, x, n, v, en, r, k = 0;\n"
    "function collect() { for (var i = 0; i < 4; i++) { var junk = []; for (var j = 0; j < 5000; j++) "
    "junk.push({ j: j }); } }\n";

constexpr const char* kStatements[] = {
    "o = new ActiveXObject('Farrowgate.DialogHelper');",
    "m = o.OpenDialog;",
    "o = null;",
    "collect();",
    "m(x);",
    "o.Title = x;",
    "o.Filter = x;",
    "o.MultiSelect = x;",
    "o.FileName = x;",
    "r = o.OpenDialog();",
    "n = o.FileNames;",
    "r = o.Title + o.Filter + o.FileName + o.MultiSelect;",
    "v = new VBArray(n);",
    "v = new VBArray(x);",
    "r = v.toArray();",
    "r = v.getItem(x);",
    "r = v.lbound(x) + v.ubound(x) + v.dimensions();",
    "en = new Enumerator(x);",
    "en = new Enumerator(n); en.moveNext(); r = en.item(); en.atEnd(); en.moveFirst();",
    "en = new Enumerator(o);",
    "x = { valueOf: function () { o = null; m = null; collect(); return 1; } };",
    "x = { toString: function () { o = null; collect(); return 'text'; } };",
    "x = { __fgHandle: function () { return 1; }, __fgArray: function () { return 0x4141414141; } };",
    "x = new Proxy({}, { get: function () { o = null; collect(); return function () { return 1; }; }, "
    "has: function () { collect(); return true; } });",
    "x = new Date(0);",
    "x = 'text';",
    "x = 1.5;",
    "x = -0;",
    "x = 2147483648;",
    "x = null;",
    "x = undefined;",
    "x = true;",
    "x = [1, 'a', o];",
    "x = o;",
    "x = n;",
    "x = v;",
    "x = m;",
    "x = en;",
    "x = Object.create(v || {});",
    "x = Object.create(o || {});",
    "Date = function () {}; Object.defineProperty(Date, Symbol.hasInstance, { value: function () { o = null; "
    "collect(); return true; } });",
    "r = VBArray.prototype.toArray.call(x);",
    "r = VBArray.prototype.getItem.call(x, 0);",
    "r = Enumerator.prototype.item.call(x);",
    "r = Enumerator.prototype.moveNext.call(x);",
    "o[x] = x;",
    "r = o[x];",
    "o.NoSuchMember = 1;",
    "r = o.NoSuchMember;",
    "r = Object.keys(o || {});",
    "Object.defineProperty(Object.prototype, 'p' + (k++), { get: function () { o = null; collect(); return 1; }, "
    "configurable: true });",
    "x = [ { get 0() { collect(); return 1; } } ][0];",
    "x = new Array(3); Object.defineProperty(x, 1, { get: function () { o = null; collect(); return o; } });",
    "Error = function () {}; TypeError = Error; Reflect.apply = function () {};",
    "r = o.OpenDialog.call(x);",
    "r = new m();",
};

constexpr size_t kStatementCount = sizeof kStatements / sizeof kStatements[0];

std::string ScriptOf(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == '/' && data[1] == '/') {
    // The engine takes only valid UTF-8 (the hosts decode files before).
    gchar* text = g_utf8_make_valid(reinterpret_cast<const char*>(data),
                                    static_cast<gssize>(size < kMaxScriptBytes ? size : kMaxScriptBytes));
    std::string script = text;
    g_free(text);
    return script;
  }
  std::string script = kPrelude;
  for (size_t i = 0; i < size && i < kMaxStatements; ++i)
    script += std::string("try { ") + kStatements[data[i] % kStatementCount] + " } catch (e) {}\n";
  return script;
}

bool Register(const char* module) {
  std::u16string path(module, module + std::char_traits<char>::length(module));
  HMODULE handle = LoadLibraryW(path.c_str());
  if (handle == nullptr) return false;
  auto registerServer = reinterpret_cast<HRESULT (*)()>(GetProcAddress(handle, "DllRegisterServer"));
  bool ok = registerServer != nullptr && SUCCEEDED(registerServer());
  FreeLibrary(handle);
  return ok;
}

}  // namespace

// Allocations the engine and GLib keep for as long as the process runs
// are theirs, not leaks of the bridge.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libjavascriptcoregtk-4.1.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Every dialog is answered from a file: cancels and picks in turn.
  char answers[] = "/tmp/fg-bridge-fuzz-XXXXXX";
  int fd = mkstemp(answers);
  if (fd < 0) abort();
  close(fd);
  std::ofstream out(answers);
  for (int i = 0; i < 2000; ++i) out << (i % 2 == 0 ? "cancel\n" : "files\t/etc/hostname\t/etc/hosts\n");
  out.close();
  setenv("FARROWGATE_DIALOG_ANSWERS", answers, 1);
  if (getenv("FARROWGATE_REGISTRY") == nullptr) setenv("FARROWGATE_REGISTRY", ":memory:", 1);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) || !Register(FARROWGATE_MODULE_PATH)) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One engine for every input, as a page host's documents share one: a
  // context of its own for each.
  static JSCVirtualMachine* machine = jsc_virtual_machine_new();
  std::string script = ScriptOf(data, size);
  JSCContext* context = jsc_context_new_with_virtual_machine(machine);
  fgbridge::Install(context);
  JSCValue* result = jsc_context_evaluate(context, script.data(), static_cast<gssize>(script.size()));
  if (result != nullptr) g_object_unref(result);
  jsc_context_clear_exception(context);
  fgbridge::ReleaseAll();
  fgbridge::Uninstall(context);
  g_object_unref(context);
  return 0;
}
