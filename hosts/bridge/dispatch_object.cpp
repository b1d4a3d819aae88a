// Script objects that stand for automation objects: ActiveXObject, member
// access through GetIDsOfNames and Invoke, and the lifetime of the
// references the wrappers hold.
#include <map>
#include <string>
#include <vector>

#include "automation_bridge.h"
#include "js_values.h"

namespace fgbridge {

namespace {

enum class MemberKind { Unknown, Property, Method };

struct Member {
  DISPID id;
  MemberKind kind;
};

// One script object: its reference, and the members found by name.
struct Wrapper {
  unsigned handle = 0;
  IDispatch* dispatch = nullptr;  // null once released
  std::map<std::string, Member> members;
};

std::map<unsigned, Wrapper*>& Live() {
  static auto* live = new std::map<unsigned, Wrapper*>;  // used until the very end
  return *live;
}
unsigned g_nextHandle = 0;
std::map<JSCContext*, JSCClass*> g_classes;

void DestroyWrapper(gpointer instance) {
  auto* wrapper = static_cast<Wrapper*>(instance);
  Live().erase(wrapper->handle);
  if (wrapper->dispatch != nullptr) wrapper->dispatch->Release();
  delete wrapper;
}

double HandleOf(gpointer instance, gpointer) { return static_cast<double>(static_cast<Wrapper*>(instance)->handle); }

// The kind of a member as the object's type information says; Property
// without type information.
MemberKind KindFromTypeInfo(IDispatch* dispatch, DISPID id) {
  ITypeInfo* info = nullptr;
  if (FAILED(dispatch->GetTypeInfo(0, 0, &info)) || info == nullptr) return MemberKind::Property;
  MemberKind kind = MemberKind::Property;
  TYPEATTR* attr = nullptr;
  if (SUCCEEDED(info->GetTypeAttr(&attr))) {
    for (UINT i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* func = nullptr;
      if (FAILED(info->GetFuncDesc(i, &func))) continue;
      bool match = func->memid == id;
      if (match && func->invkind == INVOKE_FUNC) kind = MemberKind::Method;
      info->ReleaseFuncDesc(func);
      if (match && kind == MemberKind::Method) break;
    }
    info->ReleaseTypeAttr(attr);
  }
  info->Release();
  return kind;
}

// The member of a name; false when the object has none.
bool FindMember(Wrapper* wrapper, const char* name, Member& out) {
  auto it = wrapper->members.find(name);
  if (it != wrapper->members.end()) {
    out = it->second;
    return true;
  }
  std::u16string wide = Utf16(name);
  LPOLESTR names[1] = {wide.data()};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(wrapper->dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id))) return false;
  out = Member{id, KindFromTypeInfo(wrapper->dispatch, id)};
  wrapper->members[name] = out;
  return true;
}

bool Released(JSCContext* context, Wrapper* wrapper) {
  if (wrapper->dispatch != nullptr) return false;
  ThrowFailure(context, RPC_E_DISCONNECTED, nullptr);
  return true;
}

// Invokes a member with arguments in script order; the result, or null
// with an exception thrown.
JSCValue* Call(JSCContext* context, Wrapper* wrapper, DISPID id, WORD flags, JSCValue** args, guint count) {
  if (Released(context, wrapper)) return nullptr;
  ComponentCall call(context);
  if (call.Refused()) return nullptr;
  std::vector<VARIANT> params(count);
  guint converted = 0;
  bool ok = true;
  for (; ok && converted < count; ++converted) ok = ToVariant(context, args[converted], &params[count - 1 - converted]);
  JSCValue* result = nullptr;
  if (ok) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS dp{params.data(), flags == DISPATCH_PROPERTYPUT ? &named : nullptr, count,
                  flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    VARIANT out;
    VariantInit(&out);
    EXCEPINFO info{};
    UINT argError = 0;
    IDispatch* dispatch = wrapper->dispatch;
    dispatch->AddRef();  // the call may release the script's last reference
    HRESULT hr = dispatch->Invoke(id, IID_NULL, 0, flags, &dp, &out, &info, &argError);
    dispatch->Release();
    if (SUCCEEDED(hr))
      result = FromVariant(context, out);
    else
      ThrowFailure(context, hr, &info);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    VariantClear(&out);
  }
  for (guint i = 0; i < converted; ++i) VariantClear(&params[count - 1 - i]);
  return result;
}

struct MethodData {
  unsigned handle;
  DISPID id;
};

JSCValue* CallMethod(GPtrArray* args, gpointer data) {
  auto* method = static_cast<MethodData*>(data);
  JSCContext* context = jsc_context_get_current();
  auto it = Live().find(method->handle);
  if (it == Live().end()) {
    ThrowFailure(context, RPC_E_DISCONNECTED, nullptr);
    return nullptr;
  }
  JSCValue* result =
      Call(context, it->second, method->id, DISPATCH_METHOD, reinterpret_cast<JSCValue**>(args->pdata), args->len);
  return result != nullptr ? result : jsc_value_new_undefined(context);
}

JSCValue* GetProperty(JSCClass*, JSCContext* context, gpointer instance, const char* name) {
  auto* wrapper = static_cast<Wrapper*>(instance);
  if (std::string(name).rfind("__fg", 0) == 0 || wrapper->dispatch == nullptr) return nullptr;
  Member member{};
  bool found = false;
  {
    ComponentCall call(context);
    if (call.Refused()) return jsc_value_new_undefined(context);
    found = FindMember(wrapper, name, member);
  }
  if (!found) return nullptr;  // not the object's: the script's own lookup goes on
  if (member.kind == MemberKind::Method)
    return jsc_value_new_function_variadic(context, name, G_CALLBACK(CallMethod), new MethodData{wrapper->handle, member.id},
                                           [](gpointer p) { delete static_cast<MethodData*>(p); }, JSC_TYPE_VALUE);
  JSCValue* result = Call(context, wrapper, member.id, DISPATCH_PROPERTYGET, nullptr, 0);
  return result != nullptr ? result : jsc_value_new_undefined(context);
}

gboolean SetProperty(JSCClass*, JSCContext* context, gpointer instance, const char* name, JSCValue* value) {
  auto* wrapper = static_cast<Wrapper*>(instance);
  if (Released(context, wrapper)) return TRUE;
  Member member{};
  bool found = false;
  {
    ComponentCall call(context);
    if (call.Refused()) return TRUE;
    found = FindMember(wrapper, name, member);
  }
  if (!found) {
    ThrowFailure(context, DISP_E_UNKNOWNNAME, nullptr);
    return TRUE;
  }
  JSCValue* args[1] = {value};
  JsValue ignored(Call(context, wrapper, member.id, DISPATCH_PROPERTYPUT, args, 1));
  return TRUE;
}

// new ActiveXObject("ProgID"): the object created in-process.
gpointer Construct(GPtrArray* args, gpointer) {
  JSCContext* context = jsc_context_get_current();
  if (args->len < 1 || !jsc_value_is_string(static_cast<JSCValue*>(args->pdata[0]))) {
    ThrowFailure(context, E_INVALIDARG, nullptr);
    return nullptr;
  }
  gchar* progId = jsc_value_to_string(static_cast<JSCValue*>(args->pdata[0]));
  std::u16string wide = Utf16(progId);
  g_free(progId);
  ComponentCall call(context);
  if (call.Refused()) return nullptr;
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid);
  IDispatch* dispatch = nullptr;
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  if (FAILED(hr)) {
    ThrowFailure(context, hr, nullptr);
    return nullptr;
  }
  auto* wrapper = new Wrapper;
  wrapper->handle = ++g_nextHandle;
  wrapper->dispatch = dispatch;
  Live()[wrapper->handle] = wrapper;
  return wrapper;
}

}  // namespace

void InstallCollections(JSCContext* context);  // script_collections.cpp

// Throws an Error with description and number, placed (line, column,
// file) at the script's call that failed rather than in this helper: the
// first frame of its stack that names a script file.
constexpr const char* kThrower = R"((function (m, n) {
  var e = new Error(m);
  e.description = m;
  e.number = n;
  var frames = String(e.stack || "").split("\n");
  for (var i = 0; i < frames.length; i++) {
    var f = /@(.+):(\d+):(\d+)$/.exec(frames[i]);
    if (f) { e.sourceURL = f[1]; e.line = Number(f[2]); e.column = Number(f[3]); break; }
  }
  globalThis.__fgLastError = e;
  throw e;
}))";

void Install(JSCContext* context) {
  JsValue thrower(jsc_context_evaluate(context, kThrower, -1));
  jsc_context_set_value(context, "__fgThrow", thrower.value);
  // The engine keeps the table's address: it lives as long as the program.
  static JSCClassVTable vtable = {GetProperty, SetProperty, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  JSCClass* cls = jsc_context_register_class(context, "ActiveXObject", nullptr, &vtable, DestroyWrapper);
  jsc_class_add_method(cls, "__fgHandle", G_CALLBACK(HandleOf), nullptr, nullptr, G_TYPE_DOUBLE, 0);
  JsValue constructor(jsc_class_add_constructor_variadic(cls, "ActiveXObject", G_CALLBACK(Construct), nullptr, nullptr,
                                                         G_TYPE_POINTER));
  jsc_context_set_value(context, "ActiveXObject", constructor.value);
  g_classes[context] = cls;
  InstallCollections(context);
}

JSCValue* NewDispatchValue(JSCContext* context, IDispatch* dispatch) {
  auto* wrapper = new Wrapper;
  wrapper->handle = ++g_nextHandle;
  wrapper->dispatch = dispatch;
  dispatch->AddRef();
  Live()[wrapper->handle] = wrapper;
  return jsc_value_new_object(context, wrapper, g_classes[context]);
}

IDispatch* DispatchOf(JSCValue* value) {
  if (!jsc_value_is_object(value) || !jsc_value_object_has_property(value, "__fgHandle")) return nullptr;
  JsValue handle(jsc_value_object_invoke_method(value, "__fgHandle", G_TYPE_NONE));
  if (handle.value == nullptr || !jsc_value_is_number(handle.value)) return nullptr;
  auto it = Live().find(static_cast<unsigned>(jsc_value_to_double(handle.value)));
  return it != Live().end() ? it->second->dispatch : nullptr;
}

unsigned CodeOfMessage(JSCContext* context, const char* message, unsigned fallback) {
  JsValue last(jsc_context_get_value(context, "__fgLastError"));
  if (message == nullptr || last.value == nullptr || !jsc_value_is_object(last.value)) return fallback;
  JsValue lastMessage(jsc_value_object_get_property(last.value, "message"));
  JsValue number(jsc_value_object_get_property(last.value, "number"));
  gchar* text = jsc_value_to_string(lastMessage.value);
  bool same = text != nullptr && std::string(text) == message;
  g_free(text);
  return same && jsc_value_is_number(number.value) ? static_cast<unsigned>(jsc_value_to_int32(number.value)) : fallback;
}

unsigned CodeOf(JSCContext* context, JSCException* exception, unsigned fallback) {
  return CodeOfMessage(context, jsc_exception_get_message(exception), fallback);
}

void ReleaseAll() {
  for (auto& [handle, wrapper] : Live()) {
    if (wrapper->dispatch != nullptr) wrapper->dispatch->Release();
    wrapper->dispatch = nullptr;
  }
}

int LiveObjects() {
  int count = 0;
  for (auto& [handle, wrapper] : Live()) count += wrapper->dispatch != nullptr ? 1 : 0;
  return count;
}

}  // namespace fgbridge
