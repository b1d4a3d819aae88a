// VariantChangeType(Ex): conversion among the scalar types, text, objects
// and arrays of one type.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "case_fold.h"
#include "date_text.h"
#include "fgplatform/oleauto.h"
#include "number_text.h"
#include "variant_types.h"

namespace {

// A scalar source reduced to what a conversion needs.
struct Scalar {
  enum Kind { Signed, Unsigned, Real, Date, Boolean, Text } kind = Signed;
  int64_t s = 0;
  uint64_t u = 0;
  double r = 0;
  bool b = false;
  BSTR text = nullptr;  // borrowed
};

[[nodiscard]] bool ReadScalar(const VARIANT& in, Scalar& out) {
  switch (in.vt) {
    case VT_EMPTY: out.kind = Scalar::Signed; out.s = 0; return true;
    case VT_I1: out.s = in.cVal; return true;
    case VT_I2: out.s = in.iVal; return true;
    case VT_I4: out.s = in.lVal; return true;
    case VT_INT: out.s = in.intVal; return true;
    case VT_I8: out.s = in.llVal; return true;
    case VT_UI1: out.kind = Scalar::Unsigned; out.u = in.bVal; return true;
    case VT_UI2: out.kind = Scalar::Unsigned; out.u = in.uiVal; return true;
    case VT_UI4: out.kind = Scalar::Unsigned; out.u = in.ulVal; return true;
    case VT_UINT: out.kind = Scalar::Unsigned; out.u = in.uintVal; return true;
    case VT_UI8: out.kind = Scalar::Unsigned; out.u = in.ullVal; return true;
    case VT_R4: out.kind = Scalar::Real; out.r = in.fltVal; return true;
    case VT_R8: out.kind = Scalar::Real; out.r = in.dblVal; return true;
    case VT_DATE: out.kind = Scalar::Date; out.r = in.date; return true;
    case VT_BOOL: out.kind = Scalar::Boolean; out.b = in.boolVal != 0; return true;
    case VT_BSTR: out.kind = Scalar::Text; out.text = in.bstrVal; return true;
    default: return false;  // VT_ERROR, VT_CY, VT_DECIMAL, objects
  }
}

[[nodiscard]] HRESULT TextToNumber(BSTR text, fgp::ParsedNumber& n) {
  return fgp::ParseNumberText(text ? text : u"", SysStringLen(text), n) ? S_OK : DISP_E_TYPEMISMATCH;
}

bool EqualsIgnoreCase(BSTR text, const char16_t* word) {
  size_t n = 0;
  while (word[n] != 0) ++n;
  return fgp::CompareFolded(text ? text : u"", SysStringLen(text), word, n, /*ignoreCase=*/true) == 0;
}

[[nodiscard]] HRESULT ToSigned(const Scalar& in, int64_t min, int64_t max, int64_t& out) {
  switch (in.kind) {
    case Scalar::Signed:
      out = in.s;
      return in.s >= min && in.s <= max ? S_OK : DISP_E_OVERFLOW;
    case Scalar::Unsigned:
      out = static_cast<int64_t>(in.u);
      return in.u <= static_cast<uint64_t>(max) ? S_OK : DISP_E_OVERFLOW;
    case Scalar::Real:
    case Scalar::Date: {  // a date converts as its number of days
      double r = fgp::RoundHalfEven(in.r);
      if (!fgp::InSigned(r, min, max)) return DISP_E_OVERFLOW;
      out = static_cast<int64_t>(r);
      return S_OK;
    }
    case Scalar::Boolean:
      out = in.b ? -1 : 0;
      return S_OK;
    case Scalar::Text: {
      fgp::ParsedNumber n;
      HRESULT hr = TextToNumber(in.text, n);
      if (FAILED(hr)) return hr;
      return fgp::NumberToSigned(n, min, max, out) ? S_OK : DISP_E_OVERFLOW;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

[[nodiscard]] HRESULT ToUnsigned(const Scalar& in, uint64_t max, uint64_t& out) {
  switch (in.kind) {
    case Scalar::Signed:
      out = static_cast<uint64_t>(in.s);
      return in.s >= 0 && static_cast<uint64_t>(in.s) <= max ? S_OK : DISP_E_OVERFLOW;
    case Scalar::Unsigned:
      out = in.u;
      return in.u <= max ? S_OK : DISP_E_OVERFLOW;
    case Scalar::Real:
    case Scalar::Date: {
      double r = fgp::RoundHalfEven(in.r);
      if (r == 0) r = 0;  // -0
      if (!fgp::InUnsigned(r, max)) return DISP_E_OVERFLOW;
      out = static_cast<uint64_t>(r);
      return S_OK;
    }
    case Scalar::Boolean:
      out = in.b ? max : 0;  // VARIANT_TRUE as all bits set
      return S_OK;
    case Scalar::Text: {
      fgp::ParsedNumber n;
      HRESULT hr = TextToNumber(in.text, n);
      if (FAILED(hr)) return hr;
      return fgp::NumberToUnsigned(n, max, out) ? S_OK : DISP_E_OVERFLOW;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

[[nodiscard]] HRESULT ToReal(const Scalar& in, double& out) {
  switch (in.kind) {
    case Scalar::Signed: out = static_cast<double>(in.s); return S_OK;
    case Scalar::Unsigned: out = static_cast<double>(in.u); return S_OK;
    case Scalar::Real:
    case Scalar::Date: out = in.r; return S_OK;
    case Scalar::Boolean: out = in.b ? -1.0 : 0.0; return S_OK;
    case Scalar::Text: {
      fgp::ParsedNumber n;
      HRESULT hr = TextToNumber(in.text, n);
      if (FAILED(hr)) return hr;
      if (n.radix && n.tooLarge) return DISP_E_OVERFLOW;
      if (n.isInteger && !n.tooLarge) n.real = static_cast<double>(n.magnitude);
      out = n.negative ? -n.real : n.real;
      return std::isinf(out) ? DISP_E_OVERFLOW : S_OK;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

[[nodiscard]] HRESULT ToBool(const Scalar& in, bool& out) {
  if (in.kind == Scalar::Boolean) {
    out = in.b;
    return S_OK;
  }
  if (in.kind == Scalar::Text && (EqualsIgnoreCase(in.text, u"True") || EqualsIgnoreCase(in.text, u"False"))) {
    out = EqualsIgnoreCase(in.text, u"True");
    return S_OK;
  }
  double r = 0;
  HRESULT hr = ToReal(in, r);
  if (hr == DISP_E_OVERFLOW) {
    out = true;  // a number too large for a real is still not zero
    return S_OK;
  }
  if (FAILED(hr)) return hr;
  out = r != 0;
  return S_OK;
}

std::string RealText(double value, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", digits, value);
  return buf;
}

// A number of days as a date: DISP_E_OVERFLOW outside 1 January 100 to
// 31 December 9999; text is read as date_text.h says.
[[nodiscard]] HRESULT ToDate(const Scalar& in, double& out) {
  if (in.kind == Scalar::Text)
    return fgp::TextToDate(in.text ? in.text : u"", SysStringLen(in.text), out) ? S_OK : DISP_E_TYPEMISMATCH;
  HRESULT hr = ToReal(in, out);
  if (FAILED(hr)) return hr;
  return fgp::DateInRange(out) ? S_OK : DISP_E_OVERFLOW;
}

[[nodiscard]] HRESULT ToText(const Scalar& in, VARTYPE sourceType, LCID lcid, USHORT flags, BSTR& out) {
  std::string text;
  switch (in.kind) {
    case Scalar::Date: {
      std::u16string date;
      if (!fgp::DateToText(in.r, lcid, date)) return DISP_E_OVERFLOW;  // not a date of the calendar
      out = SysAllocStringLen(date.data(), static_cast<UINT>(date.size()));
      return out != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    case Scalar::Signed: text = std::to_string(in.s); break;
    case Scalar::Unsigned: text = std::to_string(in.u); break;
    case Scalar::Real: text = RealText(in.r, sourceType == VT_R4 ? 7 : 15); break;
    case Scalar::Boolean:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
        text = in.b ? "True" : "False";
      else
        text = in.b ? "-1" : "0";
      break;
    case Scalar::Text:
      out = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(in.text), SysStringByteLen(in.text));
      return out != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  if (sourceType == VT_EMPTY) text.clear();
  std::u16string wide(text.begin(), text.end());
  out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  return out != nullptr ? S_OK : E_OUTOFMEMORY;
}

[[nodiscard]] HRESULT ConvertScalar(VARIANT& out, const Scalar& in, VARTYPE sourceType, LCID lcid, USHORT flags,
                                    VARTYPE vt) {
  int64_t s = 0;
  uint64_t u = 0;
  double r = 0;
  bool b = false;
  HRESULT hr = S_OK;
  switch (vt) {
    case VT_I1: hr = ToSigned(in, INT8_MIN, INT8_MAX, s); out.cVal = static_cast<CHAR>(s); break;
    case VT_I2: hr = ToSigned(in, INT16_MIN, INT16_MAX, s); out.iVal = static_cast<SHORT>(s); break;
    case VT_I4: hr = ToSigned(in, INT32_MIN, INT32_MAX, s); out.lVal = static_cast<LONG>(s); break;
    case VT_INT: hr = ToSigned(in, INT32_MIN, INT32_MAX, s); out.intVal = static_cast<INT>(s); break;
    case VT_I8: hr = ToSigned(in, INT64_MIN, INT64_MAX, s); out.llVal = s; break;
    case VT_UI1: hr = ToUnsigned(in, UINT8_MAX, u); out.bVal = static_cast<BYTE>(u); break;
    case VT_UI2: hr = ToUnsigned(in, UINT16_MAX, u); out.uiVal = static_cast<USHORT>(u); break;
    case VT_UI4: hr = ToUnsigned(in, UINT32_MAX, u); out.ulVal = static_cast<ULONG>(u); break;
    case VT_UINT: hr = ToUnsigned(in, UINT32_MAX, u); out.uintVal = static_cast<UINT>(u); break;
    case VT_UI8: hr = ToUnsigned(in, UINT64_MAX, u); out.ullVal = u; break;
    case VT_R4:
      hr = ToReal(in, r);
      if (SUCCEEDED(hr) && std::fabs(r) > FLT_MAX) hr = DISP_E_OVERFLOW;
      out.fltVal = static_cast<float>(r);
      break;
    case VT_R8: hr = ToReal(in, r); out.dblVal = r; break;
    case VT_BOOL: hr = ToBool(in, b); out.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_DATE: hr = ToDate(in, r); out.date = r; break;
    case VT_BSTR: hr = ToText(in, sourceType, lcid, flags, out.bstrVal); break;
    default: return DISP_E_TYPEMISMATCH;
  }
  if (FAILED(hr)) return hr;
  out.vt = vt;
  return S_OK;
}

bool IsObject(VARTYPE vt) { return vt == VT_UNKNOWN || vt == VT_DISPATCH; }

[[nodiscard]] HRESULT Convert(VARIANT& out, const VARIANT& in, LCID lcid, USHORT flags, VARTYPE vt);

// An object's value: its DISPID_VALUE property, converted further.
HRESULT ConvertObjectValue(VARIANT& out, const VARIANT& in, LCID lcid, USHORT flags, VARTYPE vt) {
  if (in.punkVal == nullptr || (flags & VARIANT_NOVALUEPROP)) return DISP_E_TYPEMISMATCH;
  IDispatch* dispatch = nullptr;
  if (FAILED(in.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
    return DISP_E_TYPEMISMATCH;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = dispatch->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, &value,
                                nullptr, nullptr);
  dispatch->Release();
  if (FAILED(hr)) return hr;
  hr = IsObject(value.vt) ? DISP_E_TYPEMISMATCH : Convert(out, value, lcid, flags, vt);
  VariantClear(&value);
  return hr;
}

HRESULT ConvertObject(VARIANT& out, const VARIANT& in, VARTYPE vt) {
  const IID& iid = vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
  out.punkVal = nullptr;
  if (in.punkVal != nullptr && FAILED(in.punkVal->QueryInterface(iid, reinterpret_cast<void**>(&out.punkVal))))
    return DISP_E_TYPEMISMATCH;
  out.vt = vt;
  return S_OK;
}

[[nodiscard]] HRESULT Convert(VARIANT& out, const VARIANT& in, LCID lcid, USHORT flags, VARTYPE vt) {
  if (in.vt == vt) return VariantCopy(&out, &in);
  if (vt == VT_EMPTY) return S_OK;
  if (vt == VT_NULL) {
    if (in.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
    out.vt = VT_NULL;
    return S_OK;
  }
  if ((vt & VT_ARRAY) || (in.vt & VT_ARRAY) || in.vt == VT_NULL) return DISP_E_TYPEMISMATCH;
  if (IsObject(vt)) return IsObject(in.vt) ? ConvertObject(out, in, vt) : DISP_E_TYPEMISMATCH;
  if (IsObject(in.vt)) return ConvertObjectValue(out, in, lcid, flags, vt);
  Scalar scalar;
  if (!ReadScalar(in, scalar)) return DISP_E_TYPEMISMATCH;
  return ConvertScalar(out, scalar, in.vt, lcid, flags, vt);
}

}  // namespace

HRESULT STDAPICALLTYPE VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                                           USHORT wFlags, VARTYPE vt) {
  if (pvargDest == nullptr || pvarSrc == nullptr) return E_INVALIDARG;
  if (!fgp::IsValidVariantType(pvarSrc->vt)) return DISP_E_BADVARTYPE;
  if ((vt & VT_BYREF) || !fgp::IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
  VARIANT source;
  if (pvarSrc->vt & VT_BYREF) {
    HRESULT hr = fgp::DereferenceVariant(pvarSrc, source);
    if (FAILED(hr)) return hr;
  } else {
    source = *pvarSrc;
  }
  VARIANT result;
  std::memset(&result, 0, sizeof(result));
  HRESULT hr = Convert(result, source, lcid, wFlags, vt);
  if (FAILED(hr)) return hr;
  hr = VariantClear(pvargDest);  // also when dest is the source: the result is independent
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *pvargDest = result;
  return S_OK;
}

HRESULT STDAPICALLTYPE VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                                         VARTYPE vt) {
  return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}
