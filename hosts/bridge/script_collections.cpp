// Arrays and collections as scripts see them: the opaque value an array
// result arrives as, VBArray over it, and Enumerator over script arrays,
// arrays and objects that offer _NewEnum.
#include <map>
#include <vector>

#include "automation_bridge.h"
#include "js_values.h"

namespace fgbridge {

namespace {

// The opaque value of an array result; VBArray reads it.
struct ArrayHolder {
  SAFEARRAY* array = nullptr;
};

struct Enumeration {
  std::vector<JSCValue*> items;
  size_t at = 0;
};

std::map<JSCContext*, JSCClass*> g_arrayClasses;

void DestroyArray(gpointer instance) {
  auto* holder = static_cast<ArrayHolder*>(instance);
  if (holder->array != nullptr) SafeArrayDestroy(holder->array);
  delete holder;
}

void DestroyEnumeration(gpointer instance) {
  auto* e = static_cast<Enumeration*>(instance);
  for (JSCValue* v : e->items) g_object_unref(v);
  delete e;
}

// The array behind an opaque value or a VBArray; null for anything else.
SAFEARRAY* ArrayOf(JSCValue* value) {
  // The bridge's array objects answer to a method of their own.
  if (!jsc_value_is_object(value) || !jsc_value_object_has_property(value, "__fgArray")) return nullptr;
  JsValue pointer(jsc_value_object_invoke_method(value, "__fgArray", G_TYPE_NONE));
  if (pointer.value == nullptr || !jsc_value_is_number(pointer.value)) return nullptr;
  return reinterpret_cast<SAFEARRAY*>(static_cast<uintptr_t>(jsc_value_to_double(pointer.value)));
}

double ArrayAddress(gpointer instance, gpointer) {
  return static_cast<double>(reinterpret_cast<uintptr_t>(static_cast<ArrayHolder*>(instance)->array));
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

LONG Dimension(GPtrArray* args, guint index) {
  if (args->len <= index) return 1;
  return static_cast<LONG>(jsc_value_to_int32(static_cast<JSCValue*>(args->pdata[index])));
}

JSCValue* ToArray(gpointer instance, GPtrArray*, gpointer) {
  JSCContext* context = jsc_context_get_current();
  std::vector<JSCValue*> items;
  bool ok = AllElements(context, static_cast<ArrayHolder*>(instance)->array, items);
  GPtrArray* list = g_ptr_array_new_with_free_func(g_object_unref);
  for (JSCValue* v : items) g_ptr_array_add(list, v);
  JSCValue* result = ok ? jsc_value_new_array_from_garray(context, list) : nullptr;
  g_ptr_array_unref(list);
  return result;
}

JSCValue* Bound(gpointer instance, GPtrArray* args, bool upper) {
  JSCContext* context = jsc_context_get_current();
  LONG bound = 0;
  HRESULT hr = upper ? SafeArrayGetUBound(static_cast<ArrayHolder*>(instance)->array, static_cast<UINT>(Dimension(args, 0)), &bound)
                     : SafeArrayGetLBound(static_cast<ArrayHolder*>(instance)->array, static_cast<UINT>(Dimension(args, 0)), &bound);
  if (FAILED(hr)) {
    ThrowFailure(context, hr == DISP_E_BADINDEX ? E_INVALIDARG : hr, nullptr);
    return nullptr;
  }
  return jsc_value_new_number(context, bound);
}

JSCValue* LBound(gpointer instance, GPtrArray* args, gpointer) { return Bound(instance, args, false); }
JSCValue* UBound(gpointer instance, GPtrArray* args, gpointer) { return Bound(instance, args, true); }

JSCValue* Dimensions(gpointer instance, GPtrArray*, gpointer) {
  return jsc_value_new_number(jsc_context_get_current(), SafeArrayGetDim(static_cast<ArrayHolder*>(instance)->array));
}

JSCValue* GetItem(gpointer instance, GPtrArray* args, gpointer) {
  JSCContext* context = jsc_context_get_current();
  SAFEARRAY* array = static_cast<ArrayHolder*>(instance)->array;
  if (args->len != SafeArrayGetDim(array)) {
    ThrowFailure(context, DISP_E_BADPARAMCOUNT, nullptr);
    return nullptr;
  }
  std::vector<LONG> indices(args->len);
  for (guint i = 0; i < args->len; ++i) indices[i] = jsc_value_to_int32(static_cast<JSCValue*>(args->pdata[i]));
  return Element(context, array, indices.data());
}

// VBArray(value): a copy of the array the value holds.
gpointer ConstructVBArray(GPtrArray* args, gpointer) {
  JSCContext* context = jsc_context_get_current();
  SAFEARRAY* source = args->len > 0 ? ArrayOf(static_cast<JSCValue*>(args->pdata[0])) : nullptr;
  SAFEARRAY* copy = nullptr;
  if (source == nullptr || FAILED(SafeArrayCopy(source, &copy))) {
    ThrowFailure(context, source == nullptr ? DISP_E_TYPEMISMATCH : E_OUTOFMEMORY, nullptr);
    return nullptr;
  }
  return new ArrayHolder{copy};
}

// The items of _NewEnum's enumerator.
bool EnumeratedItems(JSCContext* context, IDispatch* dispatch, std::vector<JSCValue*>& out) {
  ComponentCall call(context);
  if (call.Refused()) return false;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = dispatch->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result,
                                nullptr, nullptr);
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
  for (ULONG n = 0; ok && n < 1000000; ++n) {
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

gpointer ConstructEnumerator(GPtrArray* args, gpointer) {
  JSCContext* context = jsc_context_get_current();
  auto* e = new Enumeration;
  JSCValue* source = args->len > 0 ? static_cast<JSCValue*>(args->pdata[0]) : nullptr;
  bool ok = true;
  if (source == nullptr || jsc_value_is_undefined(source)) {
    // An enumerator of nothing is at its end.
  } else if (jsc_value_is_array(source)) {
    JsValue length(jsc_value_object_get_property(source, "length"));
    for (int i = 0, n = jsc_value_to_int32(length.value); i < n; ++i)
      e->items.push_back(jsc_value_object_get_property_at_index(source, static_cast<guint>(i)));
  } else if (SAFEARRAY* array = ArrayOf(source)) {
    ok = AllElements(context, array, e->items);
  } else if (IDispatch* dispatch = DispatchOf(source)) {
    ok = EnumeratedItems(context, dispatch, e->items);
  } else {
    ThrowFailure(context, DISP_E_TYPEMISMATCH, nullptr);
    ok = false;
  }
  if (ok) return e;
  DestroyEnumeration(e);
  return nullptr;
}

JSCValue* AtEnd(gpointer instance, GPtrArray*, gpointer) {
  auto* e = static_cast<Enumeration*>(instance);
  return jsc_value_new_boolean(jsc_context_get_current(), e->at >= e->items.size());
}

JSCValue* Item(gpointer instance, GPtrArray*, gpointer) {
  auto* e = static_cast<Enumeration*>(instance);
  if (e->at >= e->items.size()) return jsc_value_new_undefined(jsc_context_get_current());
  return JSC_VALUE(g_object_ref(e->items[e->at]));
}

JSCValue* MoveFirst(gpointer instance, GPtrArray*, gpointer) {
  static_cast<Enumeration*>(instance)->at = 0;
  return jsc_value_new_undefined(jsc_context_get_current());
}

JSCValue* MoveNext(gpointer instance, GPtrArray*, gpointer) {
  auto* e = static_cast<Enumeration*>(instance);
  if (e->at < e->items.size()) ++e->at;
  return jsc_value_new_undefined(jsc_context_get_current());
}

void AddMethod(JSCClass* cls, const char* name, JSCValue* (*method)(gpointer, GPtrArray*, gpointer)) {
  jsc_class_add_method_variadic(cls, name, G_CALLBACK(method), nullptr, nullptr, JSC_TYPE_VALUE);
}

}  // namespace

void InstallCollections(JSCContext* context) {
  JSCClass* opaque = jsc_context_register_class(context, "FgSafeArray", nullptr, nullptr, DestroyArray);
  jsc_class_add_method(opaque, "__fgArray", G_CALLBACK(ArrayAddress), nullptr, nullptr, G_TYPE_DOUBLE, 0);
  g_arrayClasses[context] = opaque;

  JSCClass* vbarray = jsc_context_register_class(context, "VBArray", nullptr, nullptr, DestroyArray);
  jsc_class_add_method(vbarray, "__fgArray", G_CALLBACK(ArrayAddress), nullptr, nullptr, G_TYPE_DOUBLE, 0);
  AddMethod(vbarray, "toArray", ToArray);
  AddMethod(vbarray, "lbound", LBound);
  AddMethod(vbarray, "ubound", UBound);
  AddMethod(vbarray, "dimensions", Dimensions);
  AddMethod(vbarray, "getItem", GetItem);
  JsValue vbarrayConstructor(jsc_class_add_constructor_variadic(vbarray, "VBArray", G_CALLBACK(ConstructVBArray),
                                                                nullptr, nullptr, G_TYPE_POINTER));
  jsc_context_set_value(context, "VBArray", vbarrayConstructor.value);

  JSCClass* enumerator = jsc_context_register_class(context, "Enumerator", nullptr, nullptr, DestroyEnumeration);
  AddMethod(enumerator, "atEnd", AtEnd);
  AddMethod(enumerator, "item", Item);
  AddMethod(enumerator, "moveFirst", MoveFirst);
  AddMethod(enumerator, "moveNext", MoveNext);
  JsValue enumeratorConstructor(jsc_class_add_constructor_variadic(
      enumerator, "Enumerator", G_CALLBACK(ConstructEnumerator), nullptr, nullptr, G_TYPE_POINTER));
  jsc_context_set_value(context, "Enumerator", enumeratorConstructor.value);
}

SAFEARRAY* SafeArrayOf(JSCValue* value) { return ArrayOf(value); }

JSCValue* NewSafeArrayValue(JSCContext* context, SAFEARRAY* copy) {
  return jsc_value_new_object(context, new ArrayHolder{copy}, g_arrayClasses[context]);
}

}  // namespace fgbridge
