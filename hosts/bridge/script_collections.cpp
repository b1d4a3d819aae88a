// Arrays and collections as scripts see them: the opaque value an array
// result arrives as, VBArray over it, and Enumerator over script arrays,
// arrays and objects that offer _NewEnum.
#include <vector>

#include "automation_bridge.h"
#include "bridge_state.h"
#include "js_values.h"

namespace fgbridge {

namespace {

// The opaque value of an array result, or a VBArray over a copy of one.
// Null once released at the end.
struct ArrayHolder {
  SAFEARRAY* array = nullptr;
};

// The items an Enumerator walks, taken when it was made.
struct Enumeration {
  std::vector<JSCValue*> items;
  size_t at = 0;
};

constexpr size_t kMaxEnumeratedItems = 1000000;

ArrayHolder* NewArrayHolder(SAFEARRAY* array) {
  auto* holder = new ArrayHolder{array};
  Adopt(holder, NativeKind::Array);
  return holder;
}

void DestroyArray(gpointer instance) {
  Forget(instance);
  auto* holder = static_cast<ArrayHolder*>(instance);
  if (holder->array != nullptr) SafeArrayDestroy(holder->array);
  delete holder;
}

void FreeEnumeration(Enumeration* e) {
  for (JSCValue* v : e->items) g_object_unref(v);
  delete e;
}

void DestroyEnumeration(gpointer instance) {
  Forget(instance);
  FreeEnumeration(static_cast<Enumeration*>(instance));
}

// The array a method was called on; null, with a TypeError or
// RPC_E_DISCONNECTED thrown, when `this` is not a live VBArray of ours.
SAFEARRAY* ThisArray(JSCContext* context, gpointer instance) {
  auto* holder = GenuineAs<ArrayHolder>(instance, NativeKind::Array);
  if (holder == nullptr) {
    ThrowTypeError(context, kVBArrayExpected, "VBArray expected");
    return nullptr;
  }
  if (holder->array == nullptr) ThrowFailure(context, RPC_E_DISCONNECTED, nullptr);
  return holder->array;
}

Enumeration* ThisEnumeration(JSCContext* context, gpointer instance) {
  auto* e = GenuineAs<Enumeration>(instance, NativeKind::Enumeration);
  if (e == nullptr) ThrowTypeError(context, kEnumeratorExpected, "Enumerator object expected");
  return e;
}

// Element `indices` (first dimension first) as a script value.
JSCValue* Element(JSCContext* context, SAFEARRAY* array, LONG* indices) {
  VARTYPE vt = VT_VARIANT;
  (void)SafeArrayGetVartype(array, &vt);
  VARIANT v;
  VariantInit(&v);
  HRESULT hr;
  if (vt == VT_VARIANT) {
    hr = SafeArrayGetElement(array, indices, &v);
  } else {
    hr = SafeArrayGetElement(array, indices, &v.llVal);
    if (SUCCEEDED(hr)) v.vt = vt;
  }
  if (FAILED(hr)) {
    ThrowFailure(context, hr, nullptr);
    return nullptr;
  }
  JSCValue* result = FromVariant(context, v);
  VariantClear(&v);
  return result;
}

// Every element, the first dimension running fastest.
bool AllElements(JSCContext* context, SAFEARRAY* array, std::vector<JSCValue*>& out) {
  UINT dims = SafeArrayGetDim(array);
  std::vector<LONG> lower(dims), upper(dims), at(dims);
  for (UINT d = 0; d < dims; ++d) {
    (void)SafeArrayGetLBound(array, d + 1, &lower[d]);
    (void)SafeArrayGetUBound(array, d + 1, &upper[d]);
    if (upper[d] < lower[d]) return true;  // empty
    at[d] = lower[d];
  }
  for (;;) {
    JSCValue* item = Element(context, array, at.data());
    if (item == nullptr) return false;
    out.push_back(item);
    UINT d = 0;
    while (d < dims && ++at[d] > upper[d]) at[d] = lower[d], ++d;
    if (d == dims) return true;
  }
}

// Whole numbers of the arguments from `first` on. They are converted
// before anything native is read: a conversion may run the script's own
// code.
std::vector<LONG> Integers(GPtrArray* args, guint first) {
  std::vector<LONG> out;
  for (guint i = first; i < args->len; ++i) out.push_back(jsc_value_to_int32(static_cast<JSCValue*>(args->pdata[i])));
  return out;
}

bool Failed(JSCContext* context) { return jsc_context_get_exception(context) != nullptr; }

JSCValue* ToArray(gpointer instance, GPtrArray*, gpointer) {
  JSCContext* context = jsc_context_get_current();
  SAFEARRAY* array = ThisArray(context, instance);
  if (array == nullptr) return nullptr;
  std::vector<JSCValue*> items;
  bool ok = AllElements(context, array, items);
  GPtrArray* list = g_ptr_array_new_with_free_func(g_object_unref);
  for (JSCValue* v : items) g_ptr_array_add(list, v);
  JSCValue* result = ok ? jsc_value_new_array_from_garray(context, list) : nullptr;
  g_ptr_array_unref(list);
  return result;
}

JSCValue* Bound(gpointer instance, GPtrArray* args, bool upper) {
  JSCContext* context = jsc_context_get_current();
  std::vector<LONG> dimension = Integers(args, 0);
  if (Failed(context)) return nullptr;
  SAFEARRAY* array = ThisArray(context, instance);
  if (array == nullptr) return nullptr;
  UINT d = dimension.empty() ? 1u : static_cast<UINT>(dimension[0]);
  LONG bound = 0;
  HRESULT hr = upper ? SafeArrayGetUBound(array, d, &bound) : SafeArrayGetLBound(array, d, &bound);
  if (FAILED(hr)) {
    ThrowFailure(context, hr == DISP_E_BADINDEX ? E_INVALIDARG : hr, nullptr);
    return nullptr;
  }
  return jsc_value_new_number(context, bound);
}

JSCValue* LBound(gpointer instance, GPtrArray* args, gpointer) { return Bound(instance, args, false); }
JSCValue* UBound(gpointer instance, GPtrArray* args, gpointer) { return Bound(instance, args, true); }

JSCValue* Dimensions(gpointer instance, GPtrArray*, gpointer) {
  JSCContext* context = jsc_context_get_current();
  SAFEARRAY* array = ThisArray(context, instance);
  return array != nullptr ? jsc_value_new_number(context, SafeArrayGetDim(array)) : nullptr;
}

JSCValue* GetItem(gpointer instance, GPtrArray* args, gpointer) {
  JSCContext* context = jsc_context_get_current();
  std::vector<LONG> indices = Integers(args, 0);
  if (Failed(context)) return nullptr;
  SAFEARRAY* array = ThisArray(context, instance);
  if (array == nullptr) return nullptr;
  if (indices.size() != SafeArrayGetDim(array)) {
    ThrowFailure(context, DISP_E_BADPARAMCOUNT, nullptr);
    return nullptr;
  }
  return Element(context, array, indices.data());
}

// VBArray(value): a copy of the array of a genuine array value.
gpointer ConstructVBArray(GPtrArray* args, gpointer) {
  JSCContext* context = jsc_context_get_current();
  JSCValue* value = args->len > 0 ? static_cast<JSCValue*>(args->pdata[0]) : nullptr;
  SAFEARRAY* source = nullptr;
  if (value == nullptr || !BridgeArrayOf(context, value, source)) {
    ThrowTypeError(context, kVBArrayExpected, "VBArray expected");
    return nullptr;
  }
  SAFEARRAY* copy = nullptr;
  HRESULT hr = source != nullptr ? SafeArrayCopy(source, &copy) : RPC_E_DISCONNECTED;
  if (FAILED(hr)) {
    ThrowFailure(context, hr, nullptr);
    return nullptr;
  }
  return NewArrayHolder(copy);
}

// The items of _NewEnum's enumerator. The object is held for the call.
bool EnumeratedItems(JSCContext* context, IDispatch* dispatch, std::vector<JSCValue*>& out) {
  ComponentCall call(context);
  if (call.Refused()) return false;
  dispatch->AddRef();
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = dispatch->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result,
                                nullptr, nullptr);
  dispatch->Release();
  IEnumVARIANT* items = nullptr;
  if (SUCCEEDED(hr) && (result.vt == VT_UNKNOWN || result.vt == VT_DISPATCH) && result.punkVal != nullptr)
    hr = result.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items));
  else if (SUCCEEDED(hr))
    hr = DISP_E_TYPEMISMATCH;
  VariantClear(&result);
  if (FAILED(hr)) {
    ThrowFailure(context, hr, nullptr);
    return false;
  }
  bool ok = true;
  for (size_t n = 0; ok && n < kMaxEnumeratedItems; ++n) {
    VARIANT item;
    VariantInit(&item);
    ULONG fetched = 0;
    if (items->Next(1, &item, &fetched) != S_OK || fetched != 1) break;
    JSCValue* value = FromVariant(context, item);
    VariantClear(&item);
    ok = value != nullptr;
    if (ok) out.push_back(value);
  }
  items->Release();
  return ok;
}

// The elements of a script array. Its elements may be getters that run
// the script's code; a throw ends the enumeration.
bool ScriptArrayItems(JSCContext* context, JSCValue* source, std::vector<JSCValue*>& out) {
  JsValue length(jsc_value_object_get_property(source, "length"));
  double n = length.value != nullptr ? jsc_value_to_double(length.value) : 0;
  if (Failed(context)) return false;
  if (!(n <= static_cast<double>(kMaxEnumeratedItems))) {
    ThrowFailure(context, E_OUTOFMEMORY, nullptr);
    return false;
  }
  for (guint i = 0; i < static_cast<guint>(n); ++i) {
    out.push_back(jsc_value_object_get_property_at_index(source, i));
    if (Failed(context)) return false;
  }
  return true;
}

// The items of a genuine array or object value, or of a script array.
bool CollectionItems(JSCContext* context, JSCValue* source, std::vector<JSCValue*>& out) {
  if (jsc_value_is_array(source)) return ScriptArrayItems(context, source, out);
  if (SAFEARRAY* array = nullptr; BridgeArrayOf(context, source, array)) {
    if (array == nullptr) ThrowFailure(context, RPC_E_DISCONNECTED, nullptr);
    return array != nullptr && AllElements(context, array, out);
  }
  if (IDispatch* dispatch = nullptr; BridgeObjectOf(context, source, dispatch)) {
    if (dispatch == nullptr) ThrowFailure(context, RPC_E_DISCONNECTED, nullptr);
    return dispatch != nullptr && EnumeratedItems(context, dispatch, out);
  }
  ThrowTypeError(context, kNotACollection, "Object not a collection");
  return false;
}

gpointer ConstructEnumerator(GPtrArray* args, gpointer) {
  JSCContext* context = jsc_context_get_current();
  auto* e = new Enumeration;
  JSCValue* source = args->len > 0 ? static_cast<JSCValue*>(args->pdata[0]) : nullptr;
  // An enumerator of nothing is at its end.
  bool ok = source == nullptr || jsc_value_is_undefined(source) || CollectionItems(context, source, e->items);
  if (!ok) {
    FreeEnumeration(e);
    return nullptr;
  }
  Adopt(e, NativeKind::Enumeration);
  return e;
}

JSCValue* AtEnd(gpointer instance, GPtrArray*, gpointer) {
  JSCContext* context = jsc_context_get_current();
  Enumeration* e = ThisEnumeration(context, instance);
  return e != nullptr ? jsc_value_new_boolean(context, e->at >= e->items.size()) : nullptr;
}

JSCValue* Item(gpointer instance, GPtrArray*, gpointer) {
  JSCContext* context = jsc_context_get_current();
  Enumeration* e = ThisEnumeration(context, instance);
  if (e == nullptr) return nullptr;
  if (e->at >= e->items.size()) return jsc_value_new_undefined(context);
  return JSC_VALUE(g_object_ref(e->items[e->at]));
}

JSCValue* MoveFirst(gpointer instance, GPtrArray*, gpointer) {
  JSCContext* context = jsc_context_get_current();
  Enumeration* e = ThisEnumeration(context, instance);
  if (e == nullptr) return nullptr;
  e->at = 0;
  return jsc_value_new_undefined(context);
}

JSCValue* MoveNext(gpointer instance, GPtrArray*, gpointer) {
  JSCContext* context = jsc_context_get_current();
  Enumeration* e = ThisEnumeration(context, instance);
  if (e == nullptr) return nullptr;
  if (e->at < e->items.size()) ++e->at;
  return jsc_value_new_undefined(context);
}

void AddMethod(JSCClass* cls, const char* name, JSCValue* (*method)(gpointer, GPtrArray*, gpointer)) {
  jsc_class_add_method_variadic(cls, name, G_CALLBACK(method), nullptr, nullptr, JSC_TYPE_VALUE);
}

}  // namespace

void InstallCollections(JSCContext* context, ContextState* state) {
  // The opaque value of an array result is a VBArray too: one class, so
  // that both are known as arrays by their private data.
  JSCClass* vbarray = jsc_context_register_class(context, "VBArray", nullptr, nullptr, DestroyArray);
  AddMethod(vbarray, "toArray", ToArray);
  AddMethod(vbarray, "lbound", LBound);
  AddMethod(vbarray, "ubound", UBound);
  AddMethod(vbarray, "dimensions", Dimensions);
  AddMethod(vbarray, "getItem", GetItem);
  JsValue vbarrayConstructor(jsc_class_add_constructor_variadic(vbarray, "VBArray", G_CALLBACK(ConstructVBArray),
                                                                nullptr, nullptr, G_TYPE_POINTER));
  jsc_context_set_value(context, "VBArray", vbarrayConstructor.value);
  state->arrayClass = vbarray;

  JSCClass* enumerator = jsc_context_register_class(context, "Enumerator", nullptr, nullptr, DestroyEnumeration);
  AddMethod(enumerator, "atEnd", AtEnd);
  AddMethod(enumerator, "item", Item);
  AddMethod(enumerator, "moveFirst", MoveFirst);
  AddMethod(enumerator, "moveNext", MoveNext);
  JsValue enumeratorConstructor(jsc_class_add_constructor_variadic(
      enumerator, "Enumerator", G_CALLBACK(ConstructEnumerator), nullptr, nullptr, G_TYPE_POINTER));
  jsc_context_set_value(context, "Enumerator", enumeratorConstructor.value);
}

bool BridgeArrayOf(JSCContext* context, JSCValue* value, SAFEARRAY*& out) {
  auto* holder = static_cast<ArrayHolder*>(InstanceOf(context, value, NativeKind::Array));
  out = holder != nullptr ? holder->array : nullptr;
  return holder != nullptr;
}

JSCValue* NewSafeArrayValue(JSCContext* context, SAFEARRAY* copy) {
  ContextState* state = StateOf(context);
  if (state == nullptr) {
    SafeArrayDestroy(copy);
    return nullptr;
  }
  return jsc_value_new_object(context, NewArrayHolder(copy), state->arrayClass);
}

void ReleaseArrays() {
  for (void* instance : GenuineOf(NativeKind::Array)) {
    auto* holder = static_cast<ArrayHolder*>(instance);
    if (holder->array != nullptr) SafeArrayDestroy(holder->array);
    holder->array = nullptr;
  }
}

}  // namespace fgbridge
