#include "js_values.h"

#include <cmath>
#include <cstdio>

#include "automation_bridge.h"
#include "bridge_state.h"

namespace fgbridge {

namespace {

constexpr double kMsPerDay = 86400000.0;
constexpr double kDaysFrom1899To1970 = 25569.0;  // automation dates count days from 1899-12-30

std::string TypeName(VARTYPE vt) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%04x", static_cast<unsigned>(vt));
  return text;
}

const char* ShortText(HRESULT hr) {
  switch (hr) {
    case DISP_E_TYPEMISMATCH: return "Type mismatch";
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME: return "Object doesn't support this property or method";
    case DISP_E_BADPARAMCOUNT:
    case DISP_E_PARAMNOTOPTIONAL: return "Wrong number of arguments or invalid property assignment";
    case DISP_E_OVERFLOW: return "Overflow";
    case E_OUTOFMEMORY: return "Out of memory";
    case E_INVALIDARG: return "Invalid procedure call or argument";
    case REGDB_E_CLASSNOTREG:
    case CO_E_CLASSSTRING: return "Automation server can't create object";
    case CO_E_DLLNOTFOUND: return "The component's module was not found";
    case RPC_E_DISCONNECTED: return "The object was released";
    case RPC_E_CALL_REJECTED: return "A call into a component is still running";
    case E_ACCESSDENIED: return "Permission denied: this document may not call components";
    default: return nullptr;
  }
}

// A number that fits a 32-bit integer goes as one, any other as a double.
void NumberToVariant(double number, VARIANT* out) {
  if (std::floor(number) == number && number >= -2147483648.0 && number <= 2147483647.0 &&
      !(number == 0 && std::signbit(number))) {
    out->vt = VT_I4;
    out->lVal = static_cast<LONG>(number);
  } else {
    out->vt = VT_R8;
    out->dblVal = number;
  }
}

// A Date made by the original constructor, whatever the script did to Date.
JSCValue* DateValue(JSCContext* context, double oleDate) {
  ContextState* state = StateOf(context);
  if (state == nullptr) return nullptr;
  double ms = (oleDate - kDaysFrom1899To1970) * kMsPerDay;
  return jsc_value_function_call(state->newDate, G_TYPE_DOUBLE, ms, G_TYPE_NONE);
}

// The time of a genuine Date, in milliseconds; false for any other value.
bool DateTime(JSCContext* context, JSCValue* value, double& ms) {
  ContextState* state = StateOf(context);
  if (state == nullptr) return false;
  JsValue time(jsc_value_function_call(state->dateTime, JSC_TYPE_VALUE, value, G_TYPE_NONE));
  if (time.value == nullptr || !jsc_value_is_number(time.value)) return false;
  ms = jsc_value_to_double(time.value);
  return true;
}

CallGate g_gate = nullptr;

}  // namespace

std::u16string Utf16(const char* utf8) {
  glong written = 0;
  gunichar2* wide = g_utf8_to_utf16(utf8, -1, nullptr, &written, nullptr);
  std::u16string out = wide != nullptr ? std::u16string(reinterpret_cast<char16_t*>(wide), static_cast<size_t>(written))
                                       : std::u16string();
  g_free(wide);
  return out;
}

std::string Utf8(const char16_t* text, size_t length) {
  glong written = 0;
  gchar* narrow = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(text), static_cast<glong>(length), nullptr,
                                  &written, nullptr);
  std::string out = narrow != nullptr ? std::string(narrow, static_cast<size_t>(written)) : std::string();
  g_free(narrow);
  return out;
}

bool ToVariant(JSCContext* context, JSCValue* value, VARIANT* out) {
  VariantInit(out);
  if (jsc_value_is_undefined(value)) return true;  // VT_EMPTY
  if (jsc_value_is_null(value)) {
    out->vt = VT_NULL;
    return true;
  }
  if (jsc_value_is_boolean(value)) {
    out->vt = VT_BOOL;
    out->boolVal = jsc_value_to_boolean(value) ? VARIANT_TRUE : VARIANT_FALSE;
    return true;
  }
  if (jsc_value_is_number(value)) {
    NumberToVariant(jsc_value_to_double(value), out);
    return true;
  }
  if (jsc_value_is_string(value)) {
    gchar* text = jsc_value_to_string(value);
    std::u16string wide = Utf16(text);
    g_free(text);
    out->bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (out->bstrVal == nullptr) {
      ThrowFailure(context, E_OUTOFMEMORY, nullptr);
      return false;
    }
    out->vt = VT_BSTR;
    return true;
  }
  if (IDispatch* dispatch = nullptr; BridgeObjectOf(context, value, dispatch)) {
    if (dispatch == nullptr) {
      ThrowFailure(context, RPC_E_DISCONNECTED, nullptr);
      return false;
    }
    dispatch->AddRef();
    out->vt = VT_DISPATCH;
    out->pdispVal = dispatch;
    return true;
  }
  if (SAFEARRAY* array = nullptr; BridgeArrayOf(context, value, array)) {
    SAFEARRAY* copy = nullptr;
    VARTYPE vt = VT_VARIANT;
    HRESULT hr = array != nullptr ? SafeArrayGetVartype(array, &vt) : RPC_E_DISCONNECTED;
    if (SUCCEEDED(hr)) hr = SafeArrayCopy(array, &copy);
    if (FAILED(hr)) {
      ThrowFailure(context, hr, nullptr);
      return false;
    }
    out->vt = static_cast<VARTYPE>(VT_ARRAY | vt);
    out->parray = copy;
    return true;
  }
  double ms = 0;
  if (DateTime(context, value, ms)) {
    out->vt = VT_DATE;
    out->date = ms / kMsPerDay + kDaysFrom1899To1970;
    return true;
  }
  ThrowTypeError(context, jsc_value_is_function(value) ? "a function cannot be passed to an automation object"
                                                       : "a script object cannot be passed to an automation object");
  return false;
}

JSCValue* FromVariant(JSCContext* context, const VARIANT& in) {
  const VARIANT* v = &in;
  while (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal != nullptr) v = v->pvarVal;
  VARIANT plain;
  VariantInit(&plain);
  if ((v->vt & VT_BYREF) != 0) {
    if (FAILED(VariantCopyInd(&plain, v))) {
      ThrowTypeError(context, "a by-reference value of type " + TypeName(v->vt) + " cannot be read");
      return nullptr;
    }
    v = &plain;
  }
  JSCValue* result = nullptr;
  if ((v->vt & VT_ARRAY) != 0) {
    SAFEARRAY* copy = nullptr;
    HRESULT hr = v->parray != nullptr ? SafeArrayCopy(v->parray, &copy) : S_OK;
    if (FAILED(hr)) {
      VariantClear(&plain);
      ThrowFailure(context, hr, nullptr);
      return nullptr;
    }
    result = copy != nullptr ? NewSafeArrayValue(context, copy) : jsc_value_new_null(context);
  } else {
    switch (v->vt) {
      case VT_EMPTY: result = jsc_value_new_undefined(context); break;
      case VT_NULL: result = jsc_value_new_null(context); break;
      case VT_BOOL: result = jsc_value_new_boolean(context, v->boolVal != VARIANT_FALSE); break;
      case VT_BSTR: {
        std::string text = v->bstrVal != nullptr ? Utf8(v->bstrVal, SysStringLen(v->bstrVal)) : std::string();
        result = jsc_value_new_string(context, text.c_str());
        break;
      }
      case VT_DISPATCH:
        result = v->pdispVal != nullptr ? NewDispatchValue(context, v->pdispVal) : jsc_value_new_null(context);
        break;
      case VT_UNKNOWN: {
        IDispatch* dispatch = nullptr;
        if (v->punkVal == nullptr) {
          result = jsc_value_new_null(context);
        } else if (SUCCEEDED(v->punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
          result = NewDispatchValue(context, dispatch);
          dispatch->Release();
        }
        break;
      }
      case VT_DATE: result = DateValue(context, v->date); break;
      case VT_ERROR: result = jsc_value_new_number(context, static_cast<double>(v->scode)); break;
      case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8:
      case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL: {
        VARIANT number;
        VariantInit(&number);
        if (SUCCEEDED(VariantChangeType(&number, v, 0, VT_R8))) result = jsc_value_new_number(context, number.dblVal);
        break;
      }
      default: break;
    }
  }
  VariantClear(&plain);
  if (result == nullptr) ThrowTypeError(context, "a value of automation type " + TypeName(in.vt) + " has no script form");
  return result;
}

namespace {

void Throw(JSCContext* context, HRESULT hr, const std::string& description, bool typeError) {
  if (ContextState* state = StateOf(context)) {
    state->thrown = true;
    state->lastDescription = description;
    state->lastCode = static_cast<unsigned>(hr);
  }
  ThrowMadeError(context, description.c_str(), static_cast<int>(hr), typeError);
}

}  // namespace

void ThrowFailure(JSCContext* context, HRESULT hr, EXCEPINFO* info) {
  if (info != nullptr && info->pfnDeferredFillIn != nullptr) info->pfnDeferredFillIn(info);
  std::string description;
  if (info != nullptr && info->bstrDescription != nullptr)
    description = Utf8(info->bstrDescription, SysStringLen(info->bstrDescription));
  if (info != nullptr && hr == DISP_E_EXCEPTION && info->scode != 0) hr = info->scode;
  if (description.empty()) {
    const char* text = ShortText(hr);
    char fallback[64];
    std::snprintf(fallback, sizeof fallback, "Automation error 0x%08X", static_cast<unsigned>(hr));
    description = text != nullptr ? text : fallback;
  }
  Throw(context, hr, description, /*typeError=*/false);
}

void ThrowTypeError(JSCContext* context, HRESULT code, const std::string& message) {
  Throw(context, code, message, /*typeError=*/true);
}

void ThrowTypeError(JSCContext* context, const std::string& message) {
  jsc_context_throw_with_name(context, "TypeError", message.c_str());
}

int ComponentCall::s_running = 0;

void SetCallGate(CallGate gate) { g_gate = gate; }

ComponentCall::ComponentCall(JSCContext* context) : m_refused(true) {
  if (g_gate != nullptr && !g_gate(context)) {
    ThrowFailure(context, E_ACCESSDENIED, nullptr);
    return;
  }
  if (s_running > 0) {
    ThrowFailure(context, RPC_E_CALL_REJECTED, nullptr);
    return;
  }
  m_refused = false;
  ++s_running;
}

ComponentCall::~ComponentCall() {
  if (!m_refused) --s_running;
}

}  // namespace fgbridge
