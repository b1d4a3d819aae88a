// Fuzzes VariantChangeType with hostile input. The first byte chooses the
// target type, the second the source: text (the rest, as 16-bit units) or a
// number of the chosen kind (its bytes from the rest).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fgplatform/win32.h"

namespace {

constexpr VARTYPE kTargets[] = {VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_INT,
                                VT_UINT, VT_R4, VT_R8, VT_BOOL, VT_BSTR, VT_EMPTY, VT_ERROR, VT_VARIANT};
constexpr VARTYPE kSources[] = {VT_BSTR, VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4,
                                VT_UI8, VT_R4, VT_R8, VT_BOOL, VT_INT, VT_UINT, VT_EMPTY};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  VARTYPE target = kTargets[data[0] % (sizeof kTargets / sizeof kTargets[0])];
  VARTYPE source = kSources[data[1] % (sizeof kSources / sizeof kSources[0])];
  USHORT flags = (data[0] & 0x80) != 0 ? VARIANT_NOVALUEPROP : 0;
  data += 2;
  size -= 2;
  VARIANT in;
  VariantInit(&in);
  in.vt = source;
  if (source == VT_BSTR) {
    in.bstrVal = SysAllocStringLen(nullptr, static_cast<UINT>(size / 2));
    if (in.bstrVal == nullptr) return 0;
    std::memcpy(in.bstrVal, data, size / 2 * 2);
  } else {
    std::memcpy(&in.llVal, data, size < 8 ? size : 8);  // the number's bytes, whatever its kind
  }
  VARIANT out;
  VariantInit(&out);
  if (SUCCEEDED(VariantChangeType(&out, &in, flags, target))) VariantClear(&out);
  VariantClear(&in);
  return 0;
}
