// VarBstrCmp and VarUI4FromStr.
#include "case_fold.h"
#include "fgplatform/oleauto.h"
#include "locale_table.h"
#include "number_text.h"

namespace {

bool KnownLocale(LCID lcid) {
  return lcid == 0 || lcid == LOCALE_SYSTEM_DEFAULT || lcid == LOCALE_USER_DEFAULT || fgp::TableCodePage(lcid) != 0;
}

}  // namespace

HRESULT STDAPICALLTYPE VarBstrCmp(BSTR bstrLeft, BSTR bstrRight, LCID lcid, ULONG dwFlags) {
  if (!KnownLocale(lcid)) return E_INVALIDARG;
  UINT nl = SysStringLen(bstrLeft);
  UINT nr = SysStringLen(bstrRight);
  int c = fgp::CompareFolded(bstrLeft ? bstrLeft : u"", nl, bstrRight ? bstrRight : u"", nr,
                             (dwFlags & NORM_IGNORECASE) != 0);
  return c < 0 ? VARCMP_LT : (c > 0 ? VARCMP_GT : VARCMP_EQ);
}

HRESULT STDAPICALLTYPE VarUI4FromStr(LPCOLESTR strIn, LCID lcid, ULONG, ULONG* pulOut) {
  if (strIn == nullptr || pulOut == nullptr) return E_INVALIDARG;
  if (!KnownLocale(lcid)) return E_INVALIDARG;
  size_t length = 0;
  while (strIn[length] != 0) ++length;
  fgp::ParsedNumber n;
  if (!fgp::ParseNumberText(strIn, length, n)) return DISP_E_TYPEMISMATCH;
  uint64_t value = 0;
  if (!fgp::NumberToUnsigned(n, UINT32_MAX, value)) return DISP_E_OVERFLOW;
  *pulOut = static_cast<ULONG>(value);
  return S_OK;
}
