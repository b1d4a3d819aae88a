// Type libraries in the platform's format: LoadTypeLib, and the ITypeLib
// and ITypeInfo2 objects over a checked library (typelib_data.h).
//
// A dual interface appears twice, as ITypeInfo does it: the library's type
// is the dispatch view (TKIND_DISPATCH: members callable through Invoke,
// an [out, retval] parameter shown as the member's result), and
// GetRefTypeOfImplType(-1) leads to the interface view (TKIND_INTERFACE:
// every member returns HRESULT from its slot of the table).
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>

#include "codepage.h"
#include "fgplatform/win32.h"
#include "typelib_data.h"

namespace {

using fgp::TypeLibData;

// A reference to the interface view of a dual type: this bit and the index.
constexpr HREFTYPE kInterfaceView = 0x40000000u;

// A help string in the library's code page (a byte it cannot read becomes
// U+FFFD); null for none.
BSTR Wide(const std::string& text, UINT codePage) {
  if (text.empty()) return nullptr;
  std::u16string wide;
  (void)fgp::DecodeCodePage(codePage, text, /*strict=*/false, wide);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// A name (ASCII in every library the compiler writes).
BSTR Name(const std::string& text) { return Wide(text, CP_UTF8); }

// The texts of GetDocumentation, each filled only when asked for. All or
// nothing: when a text that exists cannot be copied the call answers
// E_OUTOFMEMORY and every out-parameter it fills is null.
HRESULT FillDocumentation(const std::string& name, const std::string& help, UINT codePage, DWORD context,
                          const std::string& helpFile, BSTR* pName, BSTR* pDoc, DWORD* pContext, BSTR* pHelpFile) {
  BSTR texts[3] = {pName != nullptr ? Name(name) : nullptr, pDoc != nullptr ? Wide(help, codePage) : nullptr,
                   pHelpFile != nullptr ? Name(helpFile) : nullptr};
  bool lost = (pName != nullptr && texts[0] == nullptr && !name.empty()) ||
              (pDoc != nullptr && texts[1] == nullptr && !help.empty()) ||
              (pHelpFile != nullptr && texts[2] == nullptr && !helpFile.empty());
  if (lost) {
    for (BSTR& text : texts) {
      SysFreeString(text);
      text = nullptr;
    }
  }
  if (pName != nullptr) *pName = texts[0];
  if (pDoc != nullptr) *pDoc = texts[1];
  if (pContext != nullptr) *pContext = context;
  if (pHelpFile != nullptr) *pHelpFile = texts[2];
  return lost ? E_OUTOFMEMORY : S_OK;
}

GUID ToGuid(const fgtlb::Guid& g) {
  GUID out;
  static_assert(sizeof out == sizeof g);
  std::memcpy(&out, &g, sizeof out);
  return out;
}

bool SameText(const std::string& name, LPCOLESTR wanted) {
  std::u16string wide = fgp::Utf8ToWide(name);
  return lstrcmpiW(wide.c_str(), wanted) == 0;
}

// Whether the name asks for the standard automation library, which the
// platform carries among its own resources.
bool IsStandardLibrary(LPCOLESTR file) { return lstrcmpiW(file, u"stdole2.tlb") == 0; }

class CTypeLib;

// The reference count of the library's objects: the last Release deletes.
template <class Derived>
class Counted {
 public:
  ULONG AddRefCount() { return ++m_refs; }
  ULONG ReleaseCount() {
    ULONG left = --m_refs;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

 private:
  std::atomic<ULONG> m_refs{1};
};

class CTypeInfo final : public ITypeInfo2, public Counted<CTypeInfo> {
 public:
  CTypeInfo(CTypeLib* lib, uint32_t index, bool interfaceView);
  ~CTypeInfo();

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_ITypeInfo && riid != IID_ITypeInfo2) return E_NOINTERFACE;
    *ppv = static_cast<ITypeInfo2*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefCount(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseCount(); }

  STDMETHODIMP GetTypeAttr(TYPEATTR** ppTypeAttr) override;
  STDMETHODIMP GetTypeComp(ITypeComp** ppTComp) override {
    if (ppTComp != nullptr) *ppTComp = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override;
  STDMETHODIMP GetVarDesc(UINT, VARDESC** ppVarDesc) override {
    if (ppVarDesc != nullptr) *ppVarDesc = nullptr;
    return ppVarDesc == nullptr ? E_INVALIDARG : TYPE_E_ELEMENTNOTFOUND;
  }
  STDMETHODIMP GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) override;
  STDMETHODIMP GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override;
  STDMETHODIMP GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override;
  STDMETHODIMP GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override;
  STDMETHODIMP Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                BSTR* pBstrHelpFile) override;
  STDMETHODIMP GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return TYPE_E_BADMODULEKIND; }
  STDMETHODIMP GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override;
  STDMETHODIMP AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv) override {
    if (ppv != nullptr) *ppv = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP CreateInstance(IUnknown*, REFIID, PVOID* ppvObj) override {
    if (ppvObj != nullptr) *ppvObj = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetMops(MEMBERID, BSTR* pBstrMops) override {
    if (pBstrMops == nullptr) return E_INVALIDARG;
    *pBstrMops = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override;
  STDMETHODIMP_(void) ReleaseTypeAttr(TYPEATTR* pTypeAttr) override { delete pTypeAttr; }
  STDMETHODIMP_(void) ReleaseFuncDesc(FUNCDESC* pFuncDesc) override;
  STDMETHODIMP_(void) ReleaseVarDesc(VARDESC*) override {}

  STDMETHODIMP GetTypeKind(TYPEKIND* pTypeKind) override {
    if (pTypeKind == nullptr) return E_INVALIDARG;
    *pTypeKind = Kind();
    return S_OK;
  }
  STDMETHODIMP GetTypeFlags(ULONG* pTypeFlags) override {
    if (pTypeFlags == nullptr) return E_INVALIDARG;
    *pTypeFlags = m_type.typeFlags;
    return S_OK;
  }
  STDMETHODIMP GetFuncIndexOfMemId(MEMBERID memid, INVOKEKIND invKind, UINT* pFuncIndex) override;
  STDMETHODIMP GetVarIndexOfMemId(MEMBERID, UINT*) override { return TYPE_E_ELEMENTNOTFOUND; }
  STDMETHODIMP GetCustData(REFGUID, VARIANT* pVarVal) override { return NoCustomData(pVarVal); }
  STDMETHODIMP GetFuncCustData(UINT, REFGUID, VARIANT* pVarVal) override { return NoCustomData(pVarVal); }
  STDMETHODIMP GetParamCustData(UINT, UINT, REFGUID, VARIANT* pVarVal) override { return NoCustomData(pVarVal); }
  STDMETHODIMP GetVarCustData(UINT, REFGUID, VARIANT* pVarVal) override { return NoCustomData(pVarVal); }
  STDMETHODIMP GetImplTypeCustData(UINT, REFGUID, VARIANT* pVarVal) override { return NoCustomData(pVarVal); }
  STDMETHODIMP GetDocumentation2(MEMBERID memid, LCID, BSTR* pbstrHelpString, DWORD* pdwHelpStringContext,
                                 BSTR* pbstrHelpStringDll) override {
    if (pbstrHelpStringDll != nullptr) *pbstrHelpStringDll = nullptr;
    return GetDocumentation(memid, nullptr, pbstrHelpString, pdwHelpStringContext, nullptr);
  }
  STDMETHODIMP GetAllCustData(CUSTDATA* p) override { return NoCustomData(p); }
  STDMETHODIMP GetAllFuncCustData(UINT, CUSTDATA* p) override { return NoCustomData(p); }
  STDMETHODIMP GetAllParamCustData(UINT, UINT, CUSTDATA* p) override { return NoCustomData(p); }
  STDMETHODIMP GetAllVarCustData(UINT, CUSTDATA* p) override { return NoCustomData(p); }
  STDMETHODIMP GetAllImplTypeCustData(UINT, CUSTDATA* p) override { return NoCustomData(p); }

 private:
  static HRESULT NoCustomData(VARIANT* v) {
    if (v == nullptr) return E_INVALIDARG;
    VariantInit(v);
    return S_OK;
  }
  static HRESULT NoCustomData(CUSTDATA* c) {
    if (c == nullptr) return E_INVALIDARG;
    *c = CUSTDATA{0, nullptr};
    return S_OK;
  }
  const TypeLibData& Data() const;
  UINT CodePage() const;
  bool DispatchView() const { return m_type.typeKind == TKIND_DISPATCH && !m_interfaceView; }
  TYPEKIND Kind() const { return m_interfaceView ? TKIND_INTERFACE : static_cast<TYPEKIND>(m_type.typeKind); }
  // Whether the dispatch view shows the function's last parameter as its result.
  bool ResultFromRetval(const fgtlb::FuncRecord& f) const;
  int FindFunc(MEMBERID memid) const;
  // A type of another library: only the standard library is found (the
  // one every library this compiler writes imports).
  HRESULT ImportedTypeInfo(uint32_t import, ITypeInfo** ppTInfo);

  CTypeLib* m_lib;
  uint32_t m_index;
  bool m_interfaceView;
  fgtlb::TypeRecord m_type;
};

class CTypeLib final : public ITypeLib, public Counted<CTypeLib> {
 public:
  explicit CTypeLib(TypeLibData data) : m_data(std::move(data)) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_ITypeLib) return E_NOINTERFACE;
    *ppv = static_cast<ITypeLib*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefCount(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseCount(); }

  STDMETHODIMP_(UINT) GetTypeInfoCount() override { return m_data.Header().typeCount; }
  STDMETHODIMP GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override {
    if (ppTInfo == nullptr) return E_INVALIDARG;
    *ppTInfo = nullptr;
    if (index >= m_data.Header().typeCount) return TYPE_E_ELEMENTNOTFOUND;
    *ppTInfo = new (std::nothrow) CTypeInfo(this, index, /*interfaceView=*/false);
    return *ppTInfo != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP GetTypeInfoType(UINT index, TYPEKIND* pTKind) override {
    if (pTKind == nullptr) return E_INVALIDARG;
    if (index >= m_data.Header().typeCount) return TYPE_E_ELEMENTNOTFOUND;
    *pTKind = static_cast<TYPEKIND>(m_data.Type(index).typeKind);
    return S_OK;
  }
  STDMETHODIMP GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override {
    if (ppTinfo == nullptr) return E_INVALIDARG;
    *ppTinfo = nullptr;
    for (UINT i = 0; i < m_data.Header().typeCount; ++i)
      if (ToGuid(m_data.Type(i).guid) == guid) return GetTypeInfo(i, ppTinfo);
    return TYPE_E_ELEMENTNOTFOUND;
  }
  STDMETHODIMP GetLibAttr(TLIBATTR** ppTLibAttr) override {
    if (ppTLibAttr == nullptr) return E_INVALIDARG;
    const fgtlb::LibraryHeader& h = m_data.Header();
    *ppTLibAttr = new (std::nothrow) TLIBATTR{ToGuid(h.libid), h.lcid, static_cast<SYSKIND>(h.sysKind), h.majorVersion,
                                              h.minorVersion, static_cast<WORD>(h.libFlags)};
    return *ppTLibAttr != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP GetTypeComp(ITypeComp** ppTComp) override {
    if (ppTComp != nullptr) *ppTComp = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                BSTR* pBstrHelpFile) override {
    const fgtlb::LibraryHeader& h = m_data.Header();
    if (index >= 0) {
      if (static_cast<UINT>(index) >= h.typeCount) return TYPE_E_ELEMENTNOTFOUND;
      ITypeInfo* info = nullptr;
      HRESULT hr = GetTypeInfo(static_cast<UINT>(index), &info);
      if (FAILED(hr)) return hr;
      hr = info->GetDocumentation(MEMBERID_NIL, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
      info->Release();
      return hr;
    }
    if (index != -1) return TYPE_E_ELEMENTNOTFOUND;
    return FillDocumentation(m_data.Text(h.name), m_data.Text(h.helpString), h.codePage, h.helpContext,
                             m_data.Text(h.helpFile), pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
  }
  STDMETHODIMP IsName(LPOLESTR szNameBuf, ULONG, BOOL* pfName) override {
    if (szNameBuf == nullptr || pfName == nullptr) return E_INVALIDARG;
    *pfName = FALSE;
    for (UINT i = 0; i < m_data.Header().typeCount && !*pfName; ++i) {
      fgtlb::TypeRecord t = m_data.Type(i);
      *pfName = SameText(m_data.Text(t.name), szNameBuf);
      for (UINT k = 0; k < t.funcCount && !*pfName; ++k) *pfName = SameText(m_data.Text(m_data.Func(t, k).name), szNameBuf);
    }
    return S_OK;
  }
  STDMETHODIMP FindName(LPOLESTR szNameBuf, ULONG, ITypeInfo** ppTInfo, MEMBERID* rgMemId, USHORT* pcFound) override {
    if (szNameBuf == nullptr || ppTInfo == nullptr || rgMemId == nullptr || pcFound == nullptr) return E_INVALIDARG;
    USHORT found = 0;
    for (UINT i = 0; i < m_data.Header().typeCount && found < *pcFound; ++i) {
      fgtlb::TypeRecord t = m_data.Type(i);
      MEMBERID id = MEMBERID_NIL;
      bool match = SameText(m_data.Text(t.name), szNameBuf);
      for (UINT k = 0; k < t.funcCount && !match; ++k) {
        fgtlb::FuncRecord f = m_data.Func(t, k);
        match = SameText(m_data.Text(f.name), szNameBuf);
        id = f.memberId;
      }
      if (!match) continue;
      if (FAILED(GetTypeInfo(i, &ppTInfo[found]))) break;
      rgMemId[found++] = id;
    }
    *pcFound = found;
    return S_OK;
  }
  STDMETHODIMP_(void) ReleaseTLibAttr(TLIBATTR* pTLibAttr) override { delete pTLibAttr; }

  const TypeLibData& Data() const { return m_data; }

 private:
  TypeLibData m_data;
};

CTypeInfo::CTypeInfo(CTypeLib* lib, uint32_t index, bool interfaceView)
    : m_lib(lib), m_index(index), m_interfaceView(interfaceView), m_type(lib->Data().Type(index)) {
  m_lib->AddRef();
}

CTypeInfo::~CTypeInfo() { m_lib->Release(); }

const TypeLibData& CTypeInfo::Data() const { return m_lib->Data(); }
UINT CTypeInfo::CodePage() const { return Data().Header().codePage; }

bool CTypeInfo::ResultFromRetval(const fgtlb::FuncRecord& f) const {
  if (!DispatchView() || f.paramCount == 0) return false;
  fgtlb::ParamRecord last = Data().Param(f, f.paramCount - 1);
  return (last.flags & PARAMFLAG_FRETVAL) != 0 && last.vt == VT_PTR;
}

int CTypeInfo::FindFunc(MEMBERID memid) const {
  for (uint32_t i = 0; i < m_type.funcCount; ++i)
    if (Data().Func(m_type, i).memberId == memid) return static_cast<int>(i);
  return -1;
}

HRESULT CTypeInfo::GetTypeAttr(TYPEATTR** ppTypeAttr) {
  if (ppTypeAttr == nullptr) return E_INVALIDARG;
  auto* a = new (std::nothrow) TYPEATTR{};
  *ppTypeAttr = a;
  if (a == nullptr) return E_OUTOFMEMORY;
  a->guid = ToGuid(m_type.guid);
  a->lcid = Data().Header().lcid;
  a->memidConstructor = a->memidDestructor = MEMBERID_NIL;
  a->typekind = Kind();
  a->cFuncs = static_cast<WORD>(m_type.funcCount);
  a->cImplTypes = static_cast<WORD>(m_type.implCount);
  // The dispatch view's table is IDispatch's; the interface view's has
  // every slot, the inherited ones included.
  bool hasTable = m_type.typeKind != TKIND_COCLASS;
  WORD slots = static_cast<WORD>(DispatchView() ? 7 : m_type.vtableSlots);
  a->cbSizeVft = hasTable ? static_cast<WORD>(slots * sizeof(void*)) : 0;
  a->cbSizeInstance = sizeof(void*);
  a->cbAlignment = sizeof(void*);
  a->wTypeFlags = static_cast<WORD>(m_type.typeFlags);
  a->wMajorVerNum = m_type.majorVersion;
  a->wMinorVerNum = m_type.minorVersion;
  return S_OK;
}

HRESULT CTypeInfo::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) {
  if (ppFuncDesc == nullptr) return E_INVALIDARG;
  *ppFuncDesc = nullptr;
  if (index >= m_type.funcCount) return TYPE_E_ELEMENTNOTFOUND;
  fgtlb::FuncRecord f = Data().Func(m_type, index);
  bool retval = ResultFromRetval(f);
  UINT shown = f.paramCount - (retval ? 1 : 0);
  // One block: the description, its parameters, and the pointee types of
  // pointer parameters and of the result, freed together.
  struct Block {
    FUNCDESC desc;
    TYPEDESC resultPointee;
  };
  size_t bytes = sizeof(Block) + shown * (sizeof(ELEMDESC) + 2 * sizeof(TYPEDESC));
  auto* raw = static_cast<unsigned char*>(::operator new(bytes, std::nothrow));
  if (raw == nullptr) return E_OUTOFMEMORY;
  std::memset(raw, 0, bytes);
  auto* block = reinterpret_cast<Block*>(raw);
  auto* params = reinterpret_cast<ELEMDESC*>(raw + sizeof(Block));
  auto* pointees = reinterpret_cast<TYPEDESC*>(params + shown);
  TYPEDESC* voids = pointees + shown;  // what a pointer to a pointer points at
  FUNCDESC& d = block->desc;
  d.memid = f.memberId;
  d.funckind = DispatchView() ? FUNC_DISPATCH : static_cast<FUNCKIND>(f.funcKind);
  d.invkind = static_cast<INVOKEKIND>(f.invokeKind);
  d.callconv = static_cast<CALLCONV>(f.callConv);
  d.cParams = static_cast<SHORT>(shown);
  d.oVft = static_cast<SHORT>(DispatchView() ? 0 : f.vtableSlot * sizeof(void*));
  d.wFuncFlags = static_cast<WORD>(f.funcFlags);
  d.lprgelemdescParam = shown != 0 ? params : nullptr;
  for (UINT k = 0; k < shown; ++k) {
    fgtlb::ParamRecord p = Data().Param(f, k);
    params[k].tdesc.vt = p.vt;
    params[k].paramdesc.wParamFlags = p.flags;
    if (p.vt == VT_PTR) {
      pointees[k].vt = p.pointee;
      params[k].tdesc.lptdesc = &pointees[k];
      if (p.pointee == VT_PTR) {
        voids[k].vt = VT_VOID;
        pointees[k].lptdesc = &voids[k];
      }
    } else if (p.vt == VT_USERDEFINED) {
      params[k].tdesc.hreftype = p.userType;
    }
  }
  d.elemdescFunc.tdesc.vt = f.returnType;
  if (retval) d.elemdescFunc.tdesc.vt = Data().Param(f, f.paramCount - 1).pointee;
  *ppFuncDesc = &d;
  return S_OK;
}

void CTypeInfo::ReleaseFuncDesc(FUNCDESC* pFuncDesc) { ::operator delete(pFuncDesc); }

HRESULT CTypeInfo::GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) {
  if (rgBstrNames == nullptr || pcNames == nullptr) return E_INVALIDARG;
  *pcNames = 0;
  int index = FindFunc(memid);
  if (index < 0) return TYPE_E_ELEMENTNOTFOUND;
  fgtlb::FuncRecord f = Data().Func(m_type, static_cast<uint32_t>(index));
  UINT count = 0;
  if (count < cMaxNames) rgBstrNames[count++] = Name(Data().Text(f.name));
  UINT shown = f.paramCount - (ResultFromRetval(f) ? 1 : 0);
  // Names stop at the first parameter that has none (a put's value).
  for (UINT k = 0; k < shown && count < cMaxNames; ++k) {
    fgtlb::ParamRecord p = Data().Param(f, k);
    if (p.name == fgtlb::kNoString) break;
    rgBstrNames[count++] = Name(Data().Text(p.name));
  }
  *pcNames = count;
  return S_OK;
}

HRESULT CTypeInfo::GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) {
  if (pRefType == nullptr) return E_INVALIDARG;
  if (index == static_cast<UINT>(-1)) {
    // A dual interface's dispatch view leads to its interface view.
    if (!DispatchView() || !(m_type.typeFlags & TYPEFLAG_FDUAL)) return TYPE_E_ELEMENTNOTFOUND;
    *pRefType = kInterfaceView | m_index;
    return S_OK;
  }
  if (index >= m_type.implCount) return TYPE_E_ELEMENTNOTFOUND;
  *pRefType = Data().Impl(m_type, index).ref;
  return S_OK;
}

HRESULT CTypeInfo::GetImplTypeFlags(UINT index, INT* pImplTypeFlags) {
  if (pImplTypeFlags == nullptr) return E_INVALIDARG;
  if (index >= m_type.implCount) return TYPE_E_ELEMENTNOTFOUND;
  *pImplTypeFlags = static_cast<INT>(Data().Impl(m_type, index).implTypeFlags);
  return S_OK;
}

HRESULT CTypeInfo::GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) {
  if (rgszNames == nullptr || pMemId == nullptr || cNames == 0) return E_INVALIDARG;
  HRESULT hr = DISP_E_UNKNOWNNAME;
  for (uint32_t i = 0; i < m_type.funcCount && FAILED(hr); ++i) {
    fgtlb::FuncRecord f = Data().Func(m_type, i);
    if (!SameText(Data().Text(f.name), rgszNames[0])) continue;
    pMemId[0] = f.memberId;
    hr = S_OK;
    for (UINT n = 1; n < cNames; ++n) {
      pMemId[n] = DISPID_UNKNOWN;
      for (UINT k = 0; k < f.paramCount; ++k)
        if (SameText(Data().Text(Data().Param(f, k).name), rgszNames[n])) pMemId[n] = static_cast<MEMBERID>(k);
      if (pMemId[n] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
  }
  return hr;
}

HRESULT CTypeInfo::GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                    BSTR* pBstrHelpFile) {
  uint32_t name = m_type.name, help = m_type.helpString, context = m_type.helpContext;
  if (memid != MEMBERID_NIL) {
    int index = FindFunc(memid);
    if (index < 0) return TYPE_E_ELEMENTNOTFOUND;
    fgtlb::FuncRecord f = Data().Func(m_type, static_cast<uint32_t>(index));
    name = f.name;
    help = f.helpString;
    context = f.helpContext;
  }
  return FillDocumentation(Data().Text(name), Data().Text(help), CodePage(), context,
                           Data().Text(Data().Header().helpFile), pBstrName, pBstrDocString, pdwHelpContext,
                           pBstrHelpFile);
}

HRESULT CTypeInfo::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) {
  if (ppTInfo == nullptr) return E_INVALIDARG;
  *ppTInfo = nullptr;
  bool view = (hRefType & kInterfaceView) != 0 && (hRefType & fgtlb::kImportedRef) == 0;
  uint32_t index = hRefType & ~kInterfaceView;
  if (hRefType & fgtlb::kImportedRef) return ImportedTypeInfo(hRefType & ~fgtlb::kImportedRef, ppTInfo);
  if (index >= Data().Header().typeCount) return E_INVALIDARG;
  *ppTInfo = new (std::nothrow) CTypeInfo(m_lib, index, view);
  return *ppTInfo != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CTypeInfo::ImportedTypeInfo(uint32_t import, ITypeInfo** ppTInfo) {
  if (import >= Data().Header().importCount) return E_INVALIDARG;
  fgtlb::ImportRecord r = Data().Import(import);
  std::u16string file = fgp::Utf8ToWide(Data().Text(r.fileName));
  if (!IsStandardLibrary(file.c_str())) return TYPE_E_CANTLOADLIBRARY;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLib(file.c_str(), &lib);
  if (FAILED(hr)) return hr;
  hr = lib->GetTypeInfoOfGuid(ToGuid(r.typeGuid), ppTInfo);
  lib->Release();
  return hr;
}

HRESULT CTypeInfo::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) {
  if (ppTLib == nullptr) return E_INVALIDARG;
  m_lib->AddRef();
  *ppTLib = m_lib;
  if (pIndex != nullptr) *pIndex = m_index;
  return S_OK;
}

HRESULT CTypeInfo::GetFuncIndexOfMemId(MEMBERID memid, INVOKEKIND invKind, UINT* pFuncIndex) {
  if (pFuncIndex == nullptr) return E_INVALIDARG;
  for (uint32_t i = 0; i < m_type.funcCount; ++i) {
    fgtlb::FuncRecord f = Data().Func(m_type, i);
    if (f.memberId != memid || (f.invokeKind & static_cast<uint32_t>(invKind)) == 0) continue;
    *pFuncIndex = i;
    return S_OK;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT ReadResource(HMODULE module, std::vector<uint8_t>& out) {
  HRSRC r = FindResourceW(module, MAKEINTRESOURCEW(1), u"TYPELIB");
  const auto* p = r != nullptr ? static_cast<const uint8_t*>(LockResource(LoadResource(module, r))) : nullptr;
  if (p == nullptr) return TYPE_E_CANTLOADLIBRARY;
  out.assign(p, p + SizeofResource(module, r));
  return S_OK;
}

// The library's bytes: the platform's standard library, a library file as
// it is, or the "TYPELIB" resource 1 of a module file.
HRESULT ReadLibrary(LPCOLESTR file, std::vector<uint8_t>& out) {
  if (IsStandardLibrary(file)) {
    HMODULE platform = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&IsStandardLibrary), &platform))
      return TYPE_E_CANTLOADLIBRARY;
    return ReadResource(platform, out);
  }
  HMODULE module = LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module != nullptr) {
    HRESULT hr = ReadResource(module, out);
    FreeLibrary(module);
    return hr;
  }
  std::ifstream in(fgp::WideToUtf8(file), std::ios::binary | std::ios::ate);
  if (!in || in.tellg() < 0 || in.tellg() > static_cast<std::streamoff>(fgtlb::kMaxSize)) return TYPE_E_CANTLOADLIBRARY;
  out.resize(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()))) return TYPE_E_CANTLOADLIBRARY;
  uint32_t magic = 0;
  if (out.size() >= 4) std::memcpy(&magic, out.data(), 4);
  return magic == fgtlb::kMagic ? S_OK : TYPE_E_CANTLOADLIBRARY;
}

}  // namespace

HRESULT STDAPICALLTYPE LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib) {
  if (pptlib == nullptr || szFile == nullptr) return E_INVALIDARG;
  *pptlib = nullptr;
  try {
    std::vector<uint8_t> bytes;
    HRESULT hr = ReadLibrary(szFile, bytes);
    if (FAILED(hr)) return hr;
    TypeLibData data;
    if (!data.Check(std::move(bytes))) return TYPE_E_INVDATAREAD;
    *pptlib = new CTypeLib(std::move(data));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
