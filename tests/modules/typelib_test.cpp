// The component's type library read back through LoadTypeLib, ITypeLib and
// ITypeInfo: the member table of the interface in both views, the class,
// the help strings byte for byte, and the refusals of missing and damaged
// libraries.
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_fault_loop.h"
#include "fgplatform/test_registry.h"
#include "fgplatform/typelib_format.h"
#include "fgplatform/win32.h"

namespace {

const GUID kInterface = {0x67AA1779, 0xF0F0, 0x4C56, {0xB3, 0xCE, 0xD8, 0x7C, 0xC4, 0x3B, 0xCB, 0x2E}};
const GUID kClass = {0x4C3A0C4C, 0x1D37, 0x4C85, {0x81, 0xC5, 0xCD, 0x3F, 0xFD, 0xB5, 0x9C, 0x65}};
const GUID kLibrary = {0xF05A841F, 0xD724, 0x47D4, {0xBA, 0x1A, 0x68, 0x54, 0x29, 0xE8, 0xB4, 0x27}};

std::u16string Take(BSTR s) {
  std::u16string text = s != nullptr ? std::u16string(s, SysStringLen(s)) : u"<null>";
  SysFreeString(s);
  return text;
}

class TypeLibrary : public fgtest::BaselineTest {
 protected:
  void SetUp() override {
    BaselineTest::SetUp();
    std::string path = FARROWGATE_MODULE_PATH;
    ASSERT_EQ(LoadTypeLib(std::u16string(path.begin(), path.end()).c_str(), &m_lib), S_OK);
  }
  void TearDown() override {
    if (m_lib != nullptr) {
      EXPECT_EQ(m_lib->Release(), 0u) << "every type information released its library";
    }
    BaselineTest::TearDown();
  }
  ITypeLib* m_lib = nullptr;
};

TEST_F(TypeLibrary, TheLibraryCarriesItsAttributesAndTwoTypes) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(m_lib->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, kLibrary);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->lcid, 0u);
  EXPECT_EQ(attr->syskind, SYS_WIN32);
  EXPECT_EQ(attr->wLibFlags, 0);
  m_lib->ReleaseTLibAttr(attr);
  BSTR name = nullptr, doc = nullptr, file = reinterpret_cast<BSTR>(1);
  ASSERT_EQ(m_lib->GetDocumentation(-1, &name, &doc, nullptr, &file), S_OK);
  EXPECT_EQ(Take(name), u"Farrowgate");
  EXPECT_EQ(Take(doc), u"Farrowgate 1.0 Type Library");
  EXPECT_EQ(file, nullptr) << "no help file";
  EXPECT_EQ(m_lib->GetTypeInfoCount(), 2u);
  ITypeInfo* none = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(m_lib->GetTypeInfo(2, &none), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(m_lib->GetTypeInfoOfGuid(IID_IDispatch, &none), TYPE_E_ELEMENTNOTFOUND);
  BOOL found = FALSE;
  char16_t member[] = u"multiselect";
  ASSERT_EQ(m_lib->IsName(member, 0, &found), S_OK);
  EXPECT_TRUE(found);
}

TEST_F(TypeLibrary, DocumentationIsAllOrNothingWhenATextCannotBeCopied) {
  BSTR name = nullptr, doc = nullptr;
  DWORD context = 7;
  auto read = [&] { return static_cast<long>(m_lib->GetDocumentation(-1, &name, &doc, &context, nullptr)); };
  auto complete = [&](const fgtest::FaultRun& run) {
    if (run.succeeded) {
      EXPECT_EQ(Take(name), u"Farrowgate");
      EXPECT_EQ(Take(doc), u"Farrowgate 1.0 Type Library");
    } else {
      EXPECT_EQ(name, nullptr) << "no text half delivered: " << run.Describe();
      EXPECT_EQ(doc, nullptr);
    }
    name = doc = nullptr;
  };
  fgtest::FaultLoopCounts counts =
      fgtest::RunFaultLoop(fgtest::Service::SystemString, S_OK, E_OUTOFMEMORY, read, complete);
  EXPECT_EQ(counts.once, 2) << "one copy for each text asked for";
}

TEST_F(TypeLibrary, TheInterfaceViewHasSeventeenSlotsAndTheMemberTable) {
  ITypeInfo* dispatch = nullptr;
  ASSERT_EQ(m_lib->GetTypeInfoOfGuid(kInterface, &dispatch), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(dispatch->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
  dispatch->ReleaseTypeAttr(attr);
  HREFTYPE ref = 0;
  ASSERT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
  ITypeInfo* iface = nullptr;
  ASSERT_EQ(dispatch->GetRefTypeInfo(ref, &iface), S_OK);
  ASSERT_EQ(iface->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attr->cbSizeVft, 17 * sizeof(void*)) << "three of IUnknown, four of IDispatch, ten of its own";
  ASSERT_EQ(attr->cFuncs, 10);
  iface->ReleaseTypeAttr(attr);

  struct Row {
    MEMBERID id;
    INVOKEKIND kind;
    std::vector<std::u16string> names;
    USHORT flags;
    VARTYPE vt;
    std::u16string help;
  };
  const USHORT out = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
  const Row rows[] = {
      {1, INVOKE_FUNC, {u"OpenDialog"}, out, VT_PTR, u"method OpenDialog"},
      {2, INVOKE_PROPERTYGET, {u"Title", u"pVal"}, out, VT_PTR, u"property Title"},
      {2, INVOKE_PROPERTYPUT, {u"Title"}, PARAMFLAG_FIN, VT_BSTR, u"property Title"},
      {3, INVOKE_PROPERTYGET, {u"FileName", u"pVal"}, out, VT_PTR, u"property FileName"},
      {3, INVOKE_PROPERTYPUT, {u"FileName"}, PARAMFLAG_FIN, VT_BSTR, u"property FileName"},
      {4, INVOKE_PROPERTYGET, {u"MultiSelect", u"pVal"}, out, VT_PTR, u"property MultiSelect"},
      {4, INVOKE_PROPERTYPUT, {u"MultiSelect"}, PARAMFLAG_FIN, VT_BOOL, u"property MultiSelect"},
      {5, INVOKE_PROPERTYGET, {u"FileNames", u"pVal"}, out, VT_PTR, u"\u5C5E\u6027 FileNames"},
      {6, INVOKE_PROPERTYGET, {u"Filter", u"Filter"}, out, VT_PTR, u"property Filter"},
      {6, INVOKE_PROPERTYPUT, {u"Filter"}, PARAMFLAG_FIN, VT_BSTR, u"property Filter"},
  };
  for (UINT i = 0; i < 10; ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(i);
    FUNCDESC* f = nullptr;
    ASSERT_EQ(iface->GetFuncDesc(i, &f), S_OK);
    EXPECT_EQ(f->memid, row.id);
    EXPECT_EQ(f->invkind, row.kind);
    EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(f->callconv, CC_STDCALL);
    EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
    EXPECT_EQ(f->wFuncFlags, 0);
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
    ASSERT_EQ(f->cParams, 1);
    EXPECT_EQ(f->lprgelemdescParam[0].paramdesc.wParamFlags, row.flags);
    EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, row.vt);
    iface->ReleaseFuncDesc(f);
    if (row.kind == INVOKE_PROPERTYGET || row.kind == INVOKE_FUNC) {
      BSTR names[4] = {};
      UINT count = 0;
      ASSERT_EQ(iface->GetNames(row.id, names, 4, &count), S_OK);
      std::vector<std::u16string> got;
      for (UINT k = 0; k < count; ++k) got.push_back(Take(names[k]));
      EXPECT_EQ(got, row.names);
    }
    BSTR help = nullptr;
    UINT index = 0;
    ASSERT_EQ(static_cast<ITypeInfo2*>(iface)->GetFuncIndexOfMemId(row.id, row.kind, &index), S_OK);
    EXPECT_EQ(index, i);
    ASSERT_EQ(iface->GetDocumentation(row.id, nullptr, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(Take(help), row.help) << "converted from code page 936";
  }

  // The dispatch view shows a retval parameter as the member's result.
  FUNCDESC* getTitle = nullptr;
  ASSERT_EQ(dispatch->GetFuncDesc(1, &getTitle), S_OK);
  EXPECT_EQ(getTitle->funckind, FUNC_DISPATCH);
  EXPECT_EQ(getTitle->cParams, 0);
  EXPECT_EQ(getTitle->elemdescFunc.tdesc.vt, VT_BSTR);
  dispatch->ReleaseFuncDesc(getTitle);
  ITypeLib* containing = nullptr;
  UINT at = 9;
  ASSERT_EQ(iface->GetContainingTypeLib(&containing, &at), S_OK);
  EXPECT_EQ(containing, m_lib);
  EXPECT_EQ(at, 0u);
  containing->Release();
  EXPECT_EQ(iface->Release(), 0u);
  EXPECT_EQ(dispatch->Release(), 0u);
}

TEST_F(TypeLibrary, TheClassIsCreatableWithItsDefaultInterface) {
  ITypeInfo* coclass = nullptr;
  ASSERT_EQ(m_lib->GetTypeInfoOfGuid(kClass, &coclass), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE);
  EXPECT_EQ(attr->cImplTypes, 1);
  EXPECT_EQ(attr->wMajorVerNum, 1) << "the class is version 1.0";
  EXPECT_EQ(attr->wMinorVerNum, 0);
  coclass->ReleaseTypeAttr(attr);
  BSTR name = nullptr, doc = nullptr;
  ASSERT_EQ(coclass->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr), S_OK);
  EXPECT_EQ(Take(name), u"CDialogHelper");
  EXPECT_EQ(Take(doc), u"DialogHelper Class");
  INT flags = 0;
  ASSERT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
  HREFTYPE ref = 0;
  ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &ref), S_OK);
  ITypeInfo* iface = nullptr;
  ASSERT_EQ(coclass->GetRefTypeInfo(ref, &iface), S_OK);
  ASSERT_EQ(iface->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, kInterface);
  iface->ReleaseTypeAttr(attr);
  iface->Release();
  coclass->Release();
}

TEST(TypeLibraryFiles, MissingAndDamagedLibrariesAreRefused) {
  ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
  EXPECT_EQ(LoadTypeLib(u"/no/such/file.tlb", &lib), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(lib, nullptr);
  std::string path = std::string(std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp") + "/fg-" +
                     std::to_string(getpid()) + ".tlb";
  std::u16string wide(path.begin(), path.end());
  std::ifstream in(TYPELIB_PATH, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 200u);
  std::ofstream(path, std::ios::binary) << bytes;
  ASSERT_EQ(LoadTypeLib(wide.c_str(), &lib), S_OK) << "a library file as it is";
  EXPECT_EQ(lib->Release(), 0u);
  std::ofstream(path, std::ios::binary) << bytes.substr(0, 200);
  EXPECT_EQ(LoadTypeLib(wide.c_str(), &lib), TYPE_E_INVDATAREAD) << "records past the end";
  std::string bad = bytes;
  const uint32_t farAway = 0x7FFFFFFF;  // the library's name, far outside the string pool
  std::memcpy(&bad[offsetof(fgtlb::LibraryHeader, name)], &farAway, sizeof farAway);
  std::ofstream(path, std::ios::binary) << bad;
  EXPECT_EQ(LoadTypeLib(wide.c_str(), &lib), TYPE_E_INVDATAREAD);
  std::ofstream(path, std::ios::binary) << "not a library";
  EXPECT_EQ(LoadTypeLib(wide.c_str(), &lib), TYPE_E_CANTLOADLIBRARY);
  unlink(path.c_str());
}

TEST_F(TypeLibrary, TheBaseInterfacesComeFromTheStandardLibrary) {
  ITypeInfo* dispatch = nullptr;
  ASSERT_EQ(m_lib->GetTypeInfoOfGuid(kInterface, &dispatch), S_OK);
  HREFTYPE ref = 0;
  ASSERT_EQ(dispatch->GetRefTypeOfImplType(0, &ref), S_OK);
  ITypeInfo* base = nullptr;
  ASSERT_EQ(dispatch->GetRefTypeInfo(ref, &base), S_OK) << "IDispatch, imported from stdole2.tlb";
  BSTR name = nullptr;
  ASSERT_EQ(base->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Take(name), u"IDispatch");
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(base->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_IDispatch);
  EXPECT_EQ(attr->cFuncs, 4);
  EXPECT_EQ(attr->cbSizeVft, 7 * sizeof(void*));
  base->ReleaseTypeAttr(attr);
  FUNCDESC* invoke = nullptr;
  ASSERT_EQ(base->GetFuncDesc(3, &invoke), S_OK);
  EXPECT_EQ(invoke->memid, 0x60010003);
  EXPECT_EQ(invoke->oVft, static_cast<SHORT>(6 * sizeof(void*)));
  EXPECT_EQ(invoke->cParams, 8);
  EXPECT_EQ(invoke->wFuncFlags, FUNCFLAG_FRESTRICTED);
  base->ReleaseFuncDesc(invoke);
  ASSERT_EQ(base->GetRefTypeOfImplType(0, &ref), S_OK);
  ITypeInfo* unknown = nullptr;
  ASSERT_EQ(base->GetRefTypeInfo(ref, &unknown), S_OK);
  ASSERT_EQ(unknown->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_IUnknown);
  EXPECT_EQ(attr->cImplTypes, 0) << "IUnknown starts every table";
  unknown->ReleaseTypeAttr(attr);
  FUNCDESC* query = nullptr;
  ASSERT_EQ(unknown->GetFuncDesc(0, &query), S_OK);
  ASSERT_EQ(query->cParams, 2);
  EXPECT_EQ(query->lprgelemdescParam[1].tdesc.vt, VT_PTR);
  EXPECT_EQ(query->lprgelemdescParam[1].tdesc.lptdesc->vt, VT_PTR);
  EXPECT_EQ(query->lprgelemdescParam[1].tdesc.lptdesc->lptdesc->vt, VT_VOID) << "void**";
  unknown->ReleaseFuncDesc(query);
  unknown->Release();
  base->Release();
  dispatch->Release();

  ITypeLib* stdole = nullptr;
  ASSERT_EQ(LoadTypeLib(u"STDOLE2.TLB", &stdole), S_OK) << "the name is the platform's own library, any case";
  TLIBATTR* lib = nullptr;
  ASSERT_EQ(stdole->GetLibAttr(&lib), S_OK);
  EXPECT_EQ(lib->wMajorVerNum, 2);
  stdole->ReleaseTLibAttr(lib);
  EXPECT_EQ(stdole->Release(), 0u);
}

class TypeLibraryRegistration : public TypeLibrary {
 protected:
  static bool Exists(const char16_t* path) { return fgtest::ClassesKeyExists(path); }
  static std::u16string Value(const char16_t* path, const char16_t* name = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return u"<no key>";
    char16_t buffer[512];
    DWORD size = sizeof buffer;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::u16string(buffer) : u"<no value>";
  }
  fgtest::TemporaryRegistry m_registry;
  const std::u16string m_path = [] {
    std::string p = FARROWGATE_MODULE_PATH;
    return std::u16string(p.begin(), p.end());
  }();
};

#define LIB u"TypeLib\\{F05A841F-D724-47D4-BA1A-685429E8B427}"
#define IFACE u"Interface\\{67AA1779-F0F0-4C56-B3CE-D87CC43BCB2E}"

TEST_F(TypeLibraryRegistration, RegisteringWritesTheDocumentedKeysAndUnregisteringRemovesThem) {
  ITypeLib* found = nullptr;
  EXPECT_EQ(LoadRegTypeLib(kLibrary, 1, 0, 0, &found), TYPE_E_LIBNOTREGISTERED);
  ASSERT_EQ(RegisterTypeLib(m_lib, m_path.c_str(), nullptr), S_OK);
  EXPECT_EQ(Value(LIB u"\\1.0"), u"Farrowgate 1.0 Type Library");
  EXPECT_EQ(Value(LIB u"\\1.0\\FLAGS"), u"0");
  EXPECT_EQ(Value(LIB u"\\1.0\\0\\win32"), m_path);
  EXPECT_EQ(Value(LIB u"\\1.0\\HELPDIR"), m_path.substr(0, m_path.rfind(u'/')));
  EXPECT_EQ(Value(IFACE), u"IDialogHelper");
  EXPECT_EQ(Value(IFACE u"\\ProxyStubClsid32"), u"{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(Value(IFACE u"\\TypeLib"), u"{F05A841F-D724-47D4-BA1A-685429E8B427}");
  EXPECT_EQ(Value(IFACE u"\\TypeLib", u"Version"), u"1.0");
  EXPECT_FALSE(Exists(u"Interface\\{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}")) << "a class is no interface";

  ASSERT_EQ(LoadRegTypeLib(kLibrary, 1, 0, 0x0409, &found), S_OK) << "the neutral locale serves any";
  EXPECT_EQ(found->GetTypeInfoCount(), 2u);
  found->Release();
  EXPECT_EQ(LoadRegTypeLib(kLibrary, 2, 0, 0, &found), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(found, nullptr);

  ASSERT_EQ(UnRegisterTypeLib(kLibrary, 1, 0, 0, SYS_WIN32), S_OK);
  EXPECT_FALSE(Exists(LIB));
  EXPECT_FALSE(Exists(IFACE));
  EXPECT_EQ(UnRegisterTypeLib(kLibrary, 1, 0, 0, SYS_WIN32), TYPE_E_REGISTRYACCESS) << "not registered";
}

TEST_F(TypeLibraryRegistration, ThePerUserCallsFoundByNameWriteTheUsersOwnClasses) {
  HMODULE oleaut = GetModuleHandleW(u"oleaut32.dll");
  ASSERT_NE(oleaut, nullptr) << "the platform stands in for the automation library";
  typedef HRESULT(STDAPICALLTYPE * RegisterFunc)(ITypeLib*, OLECHAR*, OLECHAR*);
  typedef HRESULT(STDAPICALLTYPE * UnregisterFunc)(REFGUID, WORD, WORD, LCID, SYSKIND);
  auto registerForUser =
      reinterpret_cast<RegisterFunc>(reinterpret_cast<void*>(GetProcAddress(oleaut, "RegisterTypeLibForUser")));
  auto unregisterForUser =
      reinterpret_cast<UnregisterFunc>(reinterpret_cast<void*>(GetProcAddress(oleaut, "UnRegisterTypeLibForUser")));
  ASSERT_NE(registerForUser, nullptr);
  ASSERT_NE(unregisterForUser, nullptr);

  std::u16string path = m_path;
  ASSERT_EQ(registerForUser(m_lib, path.data(), nullptr), S_OK);
  EXPECT_FALSE(Exists(LIB)) << "nothing under the machine's classes";
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Classes\\" LIB u"\\1.0\\0\\win32", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(unregisterForUser(kLibrary, 1, 0, 0, SYS_WIN32), S_OK);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Classes\\" LIB, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Classes\\" IFACE, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(unregisterForUser(kLibrary, 1, 0, 0, SYS_WIN32), TYPE_E_REGISTRYACCESS);
}

TEST_F(TypeLibraryRegistration, AFailedWriteLeavesNoHalfRegistration) {
  auto registerIt = [&] { return static_cast<long>(RegisterTypeLib(m_lib, m_path.c_str(), nullptr)); };
  // A single failed write is cleaned up completely. When every write from
  // then on fails, the clean-up cannot write either, and what was written
  // stays (removed here for the next run).
  auto allOrNothing = [&](const fgtest::FaultRun& run) {
    if (!run.persistent || run.succeeded) {
      EXPECT_EQ(Exists(LIB), run.succeeded);
      EXPECT_EQ(Exists(IFACE), run.succeeded);
    }
    (void)RegDeleteTreeW(HKEY_CLASSES_ROOT, LIB);
    (void)RegDeleteTreeW(HKEY_CLASSES_ROOT, IFACE);
  };
  fgtest::FaultLoopCounts counts = fgtest::RunFaultLoop(fgtest::Service::RegistryWrite, S_OK, TYPE_E_REGISTRYACCESS,
                                                        registerIt, allOrNothing);
  EXPECT_GT(counts.once, 10);
}

}  // namespace
