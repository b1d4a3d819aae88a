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
// Throws a TypeError with the message; with a code, also as its
// description and number, as the usual engines' TypeErrors carry them.
void ThrowTypeError(JSCContext* context, const std::string& message);
void ThrowTypeError(JSCContext* context, HRESULT code, const std::string& message);

// The codes the usual script engines give the errors a script meets.
constexpr HRESULT kVBArrayExpected = static_cast<HRESULT>(0x800A1395);    // 5013 "VBArray expected"
constexpr HRESULT kEnumeratorExpected = static_cast<HRESULT>(0x800A1397);  // 5015 "Enumerator object expected"
constexpr HRESULT kNotACollection = static_cast<HRESULT>(0x800A01C3);     // 451 "Object not a collection"

// One call into a component at a time. A host whose dialog runs its own
// loop (a page's timers and events keep running while the chooser is open)
// would otherwise let a script call in again: a second dialog over the
// first, or an object changed under a call still running. A nested call is
// refused: RPC_E_CALL_REJECTED is thrown into the script.
//
// A host may also gate every call (the page host admits only its trusted
// document's own context): a call the gate refuses throws E_ACCESSDENIED.
class ComponentCall {
 public:
  explicit ComponentCall(JSCContext* context);
  ~ComponentCall();
  ComponentCall(const ComponentCall&) = delete;
  ComponentCall& operator=(const ComponentCall&) = delete;
  bool Refused() const { return m_refused; }

 private:
  static int s_running;
  bool m_refused;
};

// The objects of the bridge's own classes inside script values, known by
// the engine's private data behind them (never by anything a script can
// set).
// True for one of the bridge's own objects (arrays), with its dispatch
// (array) in `out`: null once released.
bool BridgeObjectOf(JSCContext* context, JSCValue* value, IDispatch*& out);
bool BridgeArrayOf(JSCContext* context, JSCValue* value, SAFEARRAY*& out);
// New script values over an object (a reference of their own) and over an
// array (taken over; destroyed if no value could be made). Null, with
// nothing thrown, in a context the bridge is not installed in.
JSCValue* NewDispatchValue(JSCContext* context, IDispatch* dispatch);
JSCValue* NewSafeArrayValue(JSCContext* context, SAFEARRAY* copy);
// Destroys the arrays every array value holds (at the end, with the
// objects): a later use throws.
void ReleaseArrays();

}  // namespace fgbridge
