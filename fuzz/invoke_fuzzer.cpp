// Fuzzes the dialog object's Invoke with any DISPID, flags, argument count,
// named argument ids and tagged values. The input is read as:
//   byte 0: the DISPID (signed); byte 1: the flags; byte 2: the argument
//   count (low two bits) and the named count (next two bits);
//   then per argument a type byte and eight value bytes (a text argument
//   takes a length byte and that many 16-bit units instead);
//   then one byte per named id.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dialog/dialog_helper.h"
#include "frame/comobject.h"

namespace {

constexpr VARTYPE kTypes[] = {VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_BSTR, VT_BOOL,
                              VT_ERROR, VT_I1,   VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, 0x7FF};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
  void Bytes(void* out, size_t n) {
    std::memset(out, 0, n);
    size_t take = m_at < m_size ? std::min(n, m_size - m_at) : 0;
    std::memcpy(out, m_data + m_at, take);
    m_at += take;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

VARIANT Argument(Reader& in) {
  VARIANT v;
  VariantInit(&v);
  v.vt = kTypes[in.Byte() % (sizeof kTypes / sizeof kTypes[0])];
  if (v.vt != VT_BSTR) {
    in.Bytes(&v.llVal, 8);
    return v;
  }
  UINT length = in.Byte() % 64;
  v.bstrVal = SysAllocStringLen(nullptr, length);
  if (v.bstrVal != nullptr) in.Bytes(v.bstrVal, length * 2);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in(data, size);
  auto dispid = static_cast<DISPID>(static_cast<int8_t>(in.Byte()));
  auto flags = static_cast<WORD>(in.Byte());
  uint8_t counts = in.Byte();
  std::vector<VARIANT> args(counts & 3);
  std::vector<DISPID> named((counts >> 2) & 3);
  for (VARIANT& v : args) v = Argument(in);
  for (DISPID& id : named) id = static_cast<DISPID>(static_cast<int8_t>(in.Byte()));

  IDialogHelper* object = nullptr;
  if (FAILED(CComCreators<CDialogHelper>::CreatePlain(nullptr, IID_IDialogHelper, reinterpret_cast<void**>(&object))))
    return 0;
  DISPPARAMS params{args.data(), named.data(), static_cast<UINT>(args.size()), static_cast<UINT>(named.size())};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep{};
  UINT argErr = 0;
  (void)object->Invoke(dispid, IID_NULL, 0, flags, &params, &result, &excep, &argErr);
  VariantClear(&result);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  IErrorInfo* error = nullptr;
  if (GetErrorInfo(0, &error) == S_OK) error->Release();
  object->Release();
  for (VARIANT& v : args) VariantClear(&v);
  return 0;
}
