// Values between JavaScriptCore and automation, and the errors a failing
// call throws into the script.
#pragma once

#include <jsc/jsc.h>

#include <string>

#include "fgplatform/win32.h"

namespace fgbridge {

// Owns a reference to a JSCValue.
struct JsValue {
  JSCValue* value = nullptr;
  explicit JsValue(JSCValue* v = nullptr) : value(v) {}
  ~JsValue() {
    if (value != nullptr) g_object_unref(value);
  }
  JsValue(const JsValue&) = delete;
  JsValue& operator=(const JsValue&) = delete;
  JSCValue* Release() {
    JSCValue* v = value;
    value = nullptr;
    return v;
  }
};

std::u16string Utf16(const char* utf8);
std::string Utf8(const char16_t* text, size_t length);

// Script value to VARIANT; false (a TypeError thrown into the context) for
// a value automation cannot take.
bool ToVariant(JSCContext* context, JSCValue* value, VARIANT* out);
// VARIANT to a new script value; null (a TypeError thrown) for a type the
// script cannot hold.
JSCValue* FromVariant(JSCContext* context, const VARIANT& value);

// Throws an Error for a failed call: the record's description (else a
// short text for the code) as message and description, the code as number.
void ThrowFailure(JSCContext* context, HRESULT hr, EXCEPINFO* info);
// Throws a TypeError with the message.
void ThrowTypeError(JSCContext* context, const std::string& message);

// The objects of the bridge's own classes inside script values.
IDispatch* DispatchOf(JSCValue* value);
SAFEARRAY* SafeArrayOf(JSCValue* value);
JSCValue* NewDispatchValue(JSCContext* context, IDispatch* dispatch);
JSCValue* NewSafeArrayValue(JSCContext* context, SAFEARRAY* copy);

}  // namespace fgbridge
