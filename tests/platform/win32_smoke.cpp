// A program that knows only the umbrella header: it allocates, compares,
// converts and frees system strings, tagged values and arrays, and exits
// non-zero at the first result that differs from the documented one.
#include "fgplatform/win32.h"

#include <cstdio>
#include <string>

static int g_failures = 0;
#define CHECK(cond)                                             \
  do {                                                          \
    if (!(cond)) {                                              \
      std::fprintf(stderr, "%d: check failed: %s\n", __LINE__, #cond); \
      ++g_failures;                                             \
    }                                                           \
  } while (0)

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "locale") {
    std::printf("system locale 0x%04x code page %u\n", GetSystemDefaultLCID(), GetACP());
    return 0;
  }
  BSTR hello = SysAllocString(u"Hello");
  CHECK(SysStringLen(hello) == 5 && SysStringByteLen(hello) == 10 && hello[5] == 0);
  BSTR upper = SysAllocString(u"HELLO");
  CHECK(VarBstrCmp(hello, upper, LOCALE_USER_DEFAULT, NORM_IGNORECASE) == VARCMP_EQ);
  CHECK(VarBstrCmp(hello, upper, LOCALE_USER_DEFAULT, 0) == VARCMP_GT);
  BSTR empty = SysAllocString(u"");
  CHECK(VarBstrCmp(nullptr, empty, 0, 0) == VARCMP_EQ);
  SysFreeString(empty);

  VARIANT v, text;
  VariantInit(&v);
  VariantInit(&text);
  v.vt = VT_I4;
  v.lVal = 42;
  CHECK(VariantChangeType(&text, &v, 0, VT_BSTR) == S_OK && text.vt == VT_BSTR);
  CHECK(VarBstrCmp(text.bstrVal, nullptr, 0, 0) == VARCMP_GT);
  ULONG parsed = 0;
  CHECK(VarUI4FromStr(text.bstrVal, LOCALE_USER_DEFAULT, 0, &parsed) == S_OK && parsed == 42);

  SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  CHECK(psa != nullptr);
  LONG index = 1;
  CHECK(SafeArrayPutElement(psa, &index, &text) == S_OK);
  CHECK(SafeArrayLock(psa) == S_OK);
  CHECK(SafeArrayDestroy(psa) == DISP_E_ARRAYISLOCKED);
  CHECK(SafeArrayUnlock(psa) == S_OK);
  CHECK(SafeArrayDestroy(psa) == S_OK);

  CHECK(VariantClear(&text) == S_OK && text.vt == VT_EMPTY);
  SysFreeString(hello);
  SysFreeString(upper);
  std::printf("%s\n", g_failures == 0 ? "win32 smoke: ok" : "win32 smoke: FAILED");
  return g_failures == 0 ? 0 : 1;
}
