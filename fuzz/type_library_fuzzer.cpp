// Fuzzes the type-library reader: the input is a library file, loaded
// with LoadTypeLib and, when it loads, walked through every call a host
// makes of it: attributes, documentation, each type's attributes,
// functions, names, implemented types and their references.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fgplatform/win32.h"

namespace {

void Walk(ITypeInfo* info, int depth) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return;
  for (UINT f = 0; f < attr->cFuncs; ++f) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(f, &desc))) continue;
    BSTR names[8] = {};
    UINT count = 0;
    if (SUCCEEDED(info->GetNames(desc->memid, names, 8, &count)))
      for (UINT k = 0; k < count; ++k) SysFreeString(names[k]);
    BSTR doc = nullptr;
    if (SUCCEEDED(info->GetDocumentation(desc->memid, nullptr, &doc, nullptr, nullptr))) SysFreeString(doc);
    info->ReleaseFuncDesc(desc);
  }
  for (UINT i = 0; i < attr->cImplTypes && depth < 4; ++i) {
    HREFTYPE ref = 0;
    ITypeInfo* other = nullptr;
    if (SUCCEEDED(info->GetRefTypeOfImplType(i, &ref)) && SUCCEEDED(info->GetRefTypeInfo(ref, &other))) {
      Walk(other, depth + 1);
      other->Release();
    }
  }
  HREFTYPE view = 0;
  ITypeInfo* other = nullptr;
  if (depth < 4 && SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &view)) &&
      SUCCEEDED(info->GetRefTypeInfo(view, &other))) {
    Walk(other, depth + 1);
    other->Release();
  }
  info->ReleaseTypeAttr(attr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/fg-fuzz-library-" + std::to_string(getpid()) + ".tlb";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  std::u16string wide(path.begin(), path.end());
  ITypeLib* lib = nullptr;
  if (FAILED(LoadTypeLib(wide.c_str(), &lib))) return 0;
  TLIBATTR* attr = nullptr;
  if (SUCCEEDED(lib->GetLibAttr(&attr))) lib->ReleaseTLibAttr(attr);
  BSTR name = nullptr, doc = nullptr;
  if (SUCCEEDED(lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr))) {
    SysFreeString(name);
    SysFreeString(doc);
  }
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(lib->GetTypeInfo(i, &info))) continue;
    Walk(info, 0);
    info->Release();
  }
  lib->Release();
  return 0;
}
