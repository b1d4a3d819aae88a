// Script objects that stand for automation objects: ActiveXObject, member
// access through GetIDsOfNames and Invoke, and the lifetime of the
// references the wrappers hold.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "automation_bridge.h"
#include "bridge_state.h"
#include "js_values.h"

namespace fgbridge {

namespace {

enum class MemberKind { Unknown, Property, Method };

struct Member {
  DISPID id;
  MemberKind kind;
};

// One automation object as the scripts hold it: its reference, and the
// members found by name. Counted: the script object holds one count, each
// method function read from it one, and each call in progress one, so
// that whatever a script does while a call runs (drop its last reference
// and make the engine collect, say) the call never meets freed memory.
struct Wrapper {
  int refs = 1;
  IDispatch* dispatch = nullptr;  // null once released
  std::map<std::string, Member> members;
};

std::set<Wrapper*>& Live() {
  static auto* live = new std::set<Wrapper*>;  // used until the very end
  return *live;
}

Wrapper* NewWrapper(IDispatch* dispatch) {
  auto* wrapper = new Wrapper;
  wrapper->dispatch = dispatch;
  Live().insert(wrapper);
  return wrapper;
}

void ReleaseDispatch(Wrapper* wrapper) {
  IDispatch* dispatch = wrapper->dispatch;
  wrapper->dispatch = nullptr;
  if (dispatch != nullptr) dispatch->Release();
}

void AddRefWrapper(Wrapper* wrapper) { ++wrapper->refs; }

void ReleaseWrapper(Wrapper* wrapper) {
  if (--wrapper->refs > 0) return;
  Live().erase(wrapper);
  ReleaseDispatch(wrapper);
  delete wrapper;
}

// Holds a count on a wrapper for a scope.
class WrapperRef {
 public:
  explicit WrapperRef(Wrapper* wrapper) : m_wrapper(wrapper) { AddRefWrapper(wrapper); }
  ~WrapperRef() { ReleaseWrapper(m_wrapper); }
  WrapperRef(const WrapperRef&) = delete;
  WrapperRef& operator=(const WrapperRef&) = delete;

 private:
  Wrapper* m_wrapper;
};

// The script object is gone: the engine collected it.
void DestroyWrapper(gpointer instance) {
  Forget(instance);
  ReleaseWrapper(static_cast<Wrapper*>(instance));
}

JSCValue* WrapDispatch(JSCContext* context, IDispatch* dispatch) {
  ContextState* state = StateOf(context);
  if (state == nullptr) return nullptr;
  Wrapper* wrapper = NewWrapper(dispatch);
  Adopt(wrapper, NativeKind::Object);
  return jsc_value_new_object(context, wrapper, state->objectClass);
}

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
// with an exception thrown. The wrapper and its object are held for the
// whole call.
JSCValue* Call(JSCContext* context, Wrapper* wrapper, DISPID id, WORD flags, JSCValue** args, guint count) {
  WrapperRef keep(wrapper);
  if (Released(context, wrapper)) return nullptr;
  ComponentCall call(context);
  if (call.Refused()) return nullptr;
  IDispatch* dispatch = wrapper->dispatch;
  dispatch->AddRef();
  std::vector<VARIANT> params(count);
  guint converted = 0;
  bool ok = true;
  for (; ok && converted < count; ++converted) ok = ToVariant(context, args[converted], &params[count - 1 - converted]);
  // A conversion that ended the object's life in the script (the host
  // released every object) ends the call too.
  if (ok && Released(context, wrapper)) ok = false;
  JSCValue* result = nullptr;
  if (ok) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS dp{params.data(), flags == DISPATCH_PROPERTYPUT ? &named : nullptr, count,
                  flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    VARIANT out;
    VariantInit(&out);
    EXCEPINFO info{};
    UINT argError = 0;
    HRESULT hr = dispatch->Invoke(id, IID_NULL, 0, flags, &dp, &out, &info, &argError);
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
  dispatch->Release();
  return result;
}

// A method read from an object: the function holds the object, as the
// usual script engines' method values do.
struct MethodData {
  Wrapper* wrapper;
  DISPID id;
};

JSCValue* CallMethod(GPtrArray* args, gpointer data) {
  auto* method = static_cast<MethodData*>(data);
  JSCContext* context = jsc_context_get_current();
  JSCValue* result =
      Call(context, method->wrapper, method->id, DISPATCH_METHOD, reinterpret_cast<JSCValue**>(args->pdata), args->len);
  return result != nullptr ? result : jsc_value_new_undefined(context);
}

void DestroyMethod(gpointer data) {
  auto* method = static_cast<MethodData*>(data);
  ReleaseWrapper(method->wrapper);
  delete method;
}

// The member of a name, looked up as one call into the component; false
// (with nothing thrown) when the object has none, or with an exception
// thrown when the lookup was refused.
bool LookUp(JSCContext* context, Wrapper* wrapper, const char* name, Member& member, bool& refused) {
  ComponentCall call(context);
  refused = call.Refused();
  return !refused && FindMember(wrapper, name, member);
}

JSCValue* GetProperty(JSCClass*, JSCContext* context, gpointer instance, const char* name) {
  auto* wrapper = GenuineAs<Wrapper>(instance, NativeKind::Object);
  if (wrapper == nullptr) return nullptr;
  WrapperRef keep(wrapper);
  if (Released(context, wrapper)) return jsc_value_new_undefined(context);
  Member member{};
  bool refused = false;
  if (!LookUp(context, wrapper, name, member, refused))
    return refused ? jsc_value_new_undefined(context) : nullptr;  // not the object's: the script's own lookup goes on
  if (member.kind == MemberKind::Method) {
    AddRefWrapper(wrapper);
    return jsc_value_new_function_variadic(context, name, G_CALLBACK(CallMethod), new MethodData{wrapper, member.id},
                                           DestroyMethod, JSC_TYPE_VALUE);
  }
  JSCValue* result = Call(context, wrapper, member.id, DISPATCH_PROPERTYGET, nullptr, 0);
  return result != nullptr ? result : jsc_value_new_undefined(context);
}

gboolean SetProperty(JSCClass*, JSCContext* context, gpointer instance, const char* name, JSCValue* value) {
  auto* wrapper = GenuineAs<Wrapper>(instance, NativeKind::Object);
  if (wrapper == nullptr) return FALSE;
  WrapperRef keep(wrapper);
  if (Released(context, wrapper)) return TRUE;
  Member member{};
  bool refused = false;
  if (!LookUp(context, wrapper, name, member, refused)) {
    if (!refused) ThrowFailure(context, DISP_E_UNKNOWNNAME, nullptr);
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
  Wrapper* wrapper = NewWrapper(dispatch);
  Adopt(wrapper, NativeKind::Object);
  return wrapper;
}

}  // namespace

void InstallCollections(JSCContext* context, ContextState* state);  // script_collections.cpp

void Install(JSCContext* context) {
  ContextState* state = CreateState(context);
  // The engine keeps the table's address: it lives as long as the program.
  static JSCClassVTable vtable = {GetProperty, SetProperty, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  state->objectClass = jsc_context_register_class(context, "ActiveXObject", nullptr, &vtable, DestroyWrapper);
  JsValue constructor(jsc_class_add_constructor_variadic(state->objectClass, "ActiveXObject", G_CALLBACK(Construct),
                                                         nullptr, nullptr, G_TYPE_POINTER));
  jsc_context_set_value(context, "ActiveXObject", constructor.value);
  InstallCollections(context, state);
}

void Uninstall(JSCContext* context) { DestroyState(context); }

JSCValue* NewDispatchValue(JSCContext* context, IDispatch* dispatch) {
  dispatch->AddRef();
  JSCValue* value = WrapDispatch(context, dispatch);
  if (value == nullptr) dispatch->Release();
  return value;
}

bool BridgeObjectOf(JSCContext* context, JSCValue* value, IDispatch*& out) {
  auto* wrapper = static_cast<Wrapper*>(InstanceOf(context, value, NativeKind::Object));
  out = wrapper != nullptr ? wrapper->dispatch : nullptr;
  return wrapper != nullptr;
}

unsigned CodeOfMessage(JSCContext* context, const char* message, unsigned fallback) {
  ContextState* state = StateOf(context);
  if (message == nullptr || state == nullptr || !state->thrown) return fallback;
  return state->lastDescription == message ? state->lastCode : fallback;
}

unsigned CodeOfErrorKind(const char* name) {
  static const std::map<std::string, unsigned> codes = {
      {"SyntaxError", 0x800A03EA}, {"TypeError", 0x800A138F}, {"ReferenceError", 0x800A1391},
      {"RangeError", 0x800A13A5},  {"URIError", 0x800A13A1}};
  auto it = name != nullptr ? codes.find(name) : codes.end();
  return it != codes.end() ? it->second : 0x800A139E;
}

void ReleaseAll() {
  for (Wrapper* wrapper : std::vector<Wrapper*>(Live().begin(), Live().end())) ReleaseDispatch(wrapper);
  ReleaseArrays();
}

int LiveObjects() {
  int count = 0;
  for (Wrapper* wrapper : Live()) count += wrapper->dispatch != nullptr ? 1 : 0;
  return count;
}

}  // namespace fgbridge
