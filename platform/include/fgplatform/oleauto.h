// Automation runtime: system strings, tagged values and their conversion,
// arrays.
//
// Choices where the documentation leaves a detail open:
// - System strings come from a heap of their own (no string cache), so a
//   freed string is really freed and tests can count live ones. Lengths
//   above 0x7FFFFFF0 bytes fail. SysReAllocString(p, null) frees *p and sets
//   it to null. A source inside the old string is allowed in both reallocs.
// - VarBstrCmp compares code units (after case folding with
//   NORM_IGNORECASE), then lengths; null equals the empty string. The locale
//   must be 0, a default selector or a locale the platform knows, else
//   E_INVALIDARG.
// - VariantInit writes only the type tag. VariantChangeType(Ex) uses "." as
//   the decimal separator in every locale; reals convert to text with 7
//   (VT_R4) or 15 (VT_R8) significant digits; reals convert to integers by
//   rounding half to even; a VARIANT_TRUE converts to an unsigned integer as
//   all bits set. VT_DATE converts to and from the numeric types and VT_BOOL
//   as its number of days (a number outside 1 January 100 to 31 December
//   9999 is DISP_E_OVERFLOW as a date), and to and from VT_BSTR as the
//   short date and long time: "M/d/yyyy h:mm:ss AM" for English locales,
//   the invariant "MM/dd/yyyy HH:mm:ss" for every other locale (the platform
//   has no other date formats); the time alone when the day is 30 December
//   1899, the date alone at midnight. Text reads as a date in those forms or
//   as "yyyy-M-d", with or without a time. VT_CY and VT_DECIMAL are not
//   converted (DISP_E_TYPEMISMATCH). An object converts to a scalar through its
//   DISPID_VALUE property; to another object type through QueryInterface.
// - Text to a number skips white space around the number (" 12 " is 12) and
//   takes "," as a digit group separator in every locale ("1,000" is 1000);
//   text to a boolean takes the words "True" and "False" (any case) with no
//   white space around them (" True " is DISP_E_TYPEMISMATCH), or a number.
//   VARIANT_LOCALBOOL is taken as VARIANT_ALPHABOOL: the platform has no
//   localized names for the two values, so every locale reads and writes
//   the English words.
// - Arrays: the bounds passed to SafeArrayCreate and the index vectors of
//   SafeArrayGetElement/PutElement/PtrOfIndex list dimensions first to last;
//   the descriptor stores the bounds in reverse (rgsabound[cDims - 1] is the
//   first dimension, as published); the first dimension varies fastest in
//   memory. SafeArrayRedim changes rgsabound[0], the last dimension.
//   Arrays of VT_UNKNOWN/VT_DISPATCH carry FADF_HAVEIID with the interface
//   id, others FADF_HAVEVARTYPE; SafeArrayGetVartype answers, in the
//   documented order, the stored type, VT_RECORD, VT_DISPATCH for
//   FADF_DISPATCH and VT_UNKNOWN for FADF_UNKNOWN (and for an IID without
//   either flag). Redimensioning an FADF_FIXEDSIZE array
//   answers E_INVALIDARG; a locked array DISP_E_ARRAYISLOCKED.
#pragma once

#include "fgplatform/oaidl.h"
#include "fgplatform/winnls.h"

// System strings.
FG_API BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz);
FG_API BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* strIn, UINT ui);
FG_API BSTR STDAPICALLTYPE SysAllocStringByteLen(LPCSTR psz, UINT len);
FG_API INT STDAPICALLTYPE SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
FG_API INT STDAPICALLTYPE SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);
FG_API void STDAPICALLTYPE SysFreeString(BSTR bstrString);
FG_API UINT STDAPICALLTYPE SysStringLen(BSTR pbstr);
FG_API UINT STDAPICALLTYPE SysStringByteLen(BSTR bstr);

#define VARCMP_LT 0
#define VARCMP_EQ 1
#define VARCMP_GT 2
#define VARCMP_NULL 3
FG_API HRESULT STDAPICALLTYPE VarBstrCmp(BSTR bstrLeft, BSTR bstrRight, LCID lcid, ULONG dwFlags);
FG_API HRESULT STDAPICALLTYPE VarUI4FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, ULONG* pulOut);

// Tagged values.
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_CALENDAR_HIJRI 0x08
#define VARIANT_LOCALBOOL 0x10

FG_API void STDAPICALLTYPE VariantInit(VARIANTARG* pvarg);
FG_API HRESULT STDAPICALLTYPE VariantClear(VARIANTARG* pvarg);
FG_API HRESULT STDAPICALLTYPE VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
FG_API HRESULT STDAPICALLTYPE VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
FG_API HRESULT STDAPICALLTYPE VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                                USHORT wFlags, VARTYPE vt);
FG_API HRESULT STDAPICALLTYPE VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                                                  USHORT wFlags, VARTYPE vt);

// Arrays.
FG_API SAFEARRAY* STDAPICALLTYPE SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
FG_API SAFEARRAY* STDAPICALLTYPE SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
FG_API HRESULT STDAPICALLTYPE SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** ppsaOut);
FG_API HRESULT STDAPICALLTYPE SafeArrayAllocData(SAFEARRAY* psa);
FG_API HRESULT STDAPICALLTYPE SafeArrayDestroyData(SAFEARRAY* psa);
FG_API HRESULT STDAPICALLTYPE SafeArrayDestroyDescriptor(SAFEARRAY* psa);
FG_API HRESULT STDAPICALLTYPE SafeArrayDestroy(SAFEARRAY* psa);
FG_API HRESULT STDAPICALLTYPE SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
FG_API HRESULT STDAPICALLTYPE SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew);
FG_API HRESULT STDAPICALLTYPE SafeArrayLock(SAFEARRAY* psa);
FG_API HRESULT STDAPICALLTYPE SafeArrayUnlock(SAFEARRAY* psa);
FG_API HRESULT STDAPICALLTYPE SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
FG_API HRESULT STDAPICALLTYPE SafeArrayUnaccessData(SAFEARRAY* psa);
FG_API UINT STDAPICALLTYPE SafeArrayGetDim(SAFEARRAY* psa);
FG_API UINT STDAPICALLTYPE SafeArrayGetElemsize(SAFEARRAY* psa);
FG_API HRESULT STDAPICALLTYPE SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
FG_API HRESULT STDAPICALLTYPE SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
FG_API HRESULT STDAPICALLTYPE SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
FG_API HRESULT STDAPICALLTYPE SafeArrayGetIID(SAFEARRAY* psa, GUID* pguid);
FG_API HRESULT STDAPICALLTYPE SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData);
FG_API HRESULT STDAPICALLTYPE SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
FG_API HRESULT STDAPICALLTYPE SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);

// Error objects, kept per thread. CreateErrorInfo makes an object that
// offers ICreateErrorInfo and IErrorInfo (E_OUTOFMEMORY when it cannot).
// SetErrorInfo replaces the thread's object (null clears it); GetErrorInfo
// takes it off the thread (S_FALSE and null when there is none). The
// object's getters answer new copies of its strings (null when unset).
FG_API HRESULT STDAPICALLTYPE CreateErrorInfo(ICreateErrorInfo** pperrinfo);
FG_API HRESULT STDAPICALLTYPE SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
FG_API HRESULT STDAPICALLTYPE GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
