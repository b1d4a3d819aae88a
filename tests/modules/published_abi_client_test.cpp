// A client written elsewhere: it knows the component only through its
// exported entry points and the published interfaces, which it declares
// here from their published ids and slot orders (none of this project's
// headers is included), and drives the built module through its factory,
// identity, late-bound calls, type information and error information.
//
// Where each published value is documented:
// - IUnknown {00000000-0000-0000-C000-000000000046}, IDispatch
//   {00020400-…-000000000046} and ITypeInfo {00020401-…-000000000046}:
//   [MS-OAUT] 1.9 "Standards Assignments".
// - IClassFactory {00000001-0000-0000-C000-000000000046}: its GuidAttribute
//   in the Visual Studio OLE interop reference ("IClassFactory Interface").
// - IErrorInfo {1CF2B120-547D-101B-8E65-08002B2BD119} and ISupportErrorInfo
//   {DF0B3D60-548F-101B-8E65-08002B2BD119}: their GuidAttributes in the
//   Visual Studio shell interop and SQL Server references.
// - Slot orders: IUnknown, IClassFactory (CreateInstance, LockServer),
//   IDispatch (GetTypeInfoCount, GetTypeInfo, GetIDsOfNames, Invoke),
//   ITypeInfo (GetTypeAttr at 3, GetDocumentation at 12, ReleaseTypeAttr at
//   19: [MS-OAUT] 3.7.4 opnums), IErrorInfo (GetGUID, GetSource,
//   GetDescription, GetHelpFile, GetHelpContext), ISupportErrorInfo
//   (InterfaceSupportsErrorInfo).
// - DISPATCH_METHOD 1, DISPATCH_PROPERTYGET 2, DISPATCH_PROPERTYPUT 4,
//   DISPID_PROPERTYPUT -3, VT_BSTR 8, the VARIANT, DISPPARAMS and EXCEPINFO
//   layouts: [MS-OAUT] 2.2, "Common Data Types".
// - S_OK 0, E_NOINTERFACE 0x80004002, DISP_E_EXCEPTION 0x80020009:
//   [MS-ERREF] 2.1, "HRESULT".
// The component's own ids (its class and IDialogHelper) and DISPIDs are its
// published interface, as its type library states them.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace client {

using HResult = int32_t;
using Bstr = char16_t*;

struct Guid {
  uint32_t d1;
  uint16_t d2, d3;
  uint8_t d4[8];
  bool operator==(const Guid& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" read the published way: the first
// three groups as numbers, the last two as bytes in order.
Guid Parse(const char* text) {
  Guid g{};
  unsigned b[8] = {};
  std::sscanf(text, "{%8x-%4hx-%4hx-%2x%2x-%2x%2x%2x%2x%2x%2x}", &g.d1, &g.d2, &g.d3, &b[0], &b[1], &b[2], &b[3],
              &b[4], &b[5], &b[6], &b[7]);
  for (int i = 0; i < 8; ++i) g.d4[i] = static_cast<uint8_t>(b[i]);
  return g;
}

const Guid kIUnknown = Parse("{00000000-0000-0000-C000-000000000046}");
const Guid kIClassFactory = Parse("{00000001-0000-0000-C000-000000000046}");
const Guid kIDispatch = Parse("{00020400-0000-0000-C000-000000000046}");
const Guid kIErrorInfo = Parse("{1CF2B120-547D-101B-8E65-08002B2BD119}");
const Guid kISupportErrorInfo = Parse("{DF0B3D60-548F-101B-8E65-08002B2BD119}");
const Guid kNull{};
const Guid kDialogHelperClass = Parse("{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}");
const Guid kIDialogHelper = Parse("{67AA1779-F0F0-4C56-B3CE-D87CC43BCB2E}");

constexpr HResult kOk = 0;
constexpr HResult kNoInterface = static_cast<HResult>(0x80004002);
constexpr HResult kDispException = static_cast<HResult>(0x80020009);

struct Unknown {
  virtual HResult QueryInterface(const Guid& iid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
};

struct ClassFactory : Unknown {
  virtual HResult CreateInstance(Unknown* outer, const Guid& iid, void** out) = 0;
  virtual HResult LockServer(int32_t lock) = 0;
};

struct Variant {
  uint16_t vt;
  uint16_t reserved1, reserved2, reserved3;
  union {
    int16_t boolVal;
    Bstr bstrVal;
    void* record[2];
  };
};
static_assert(sizeof(Variant) == 8 + 2 * sizeof(void*), "the published VARIANT");

struct DispParams {
  Variant* rgvarg;
  int32_t* rgdispidNamedArgs;
  uint32_t cArgs;
  uint32_t cNamedArgs;
};

struct ExcepInfo {
  uint16_t wCode;
  uint16_t wReserved;
  Bstr bstrSource;
  Bstr bstrDescription;
  Bstr bstrHelpFile;
  uint32_t dwHelpContext;
  void* pvReserved;
  void* pfnDeferredFillIn;
  int32_t scode;
};

struct Dispatch : Unknown {
  virtual HResult GetTypeInfoCount(uint32_t* count) = 0;
  virtual HResult GetTypeInfo(uint32_t index, uint32_t lcid, void** info) = 0;
  virtual HResult GetIDsOfNames(const Guid& iid, char16_t** names, uint32_t count, uint32_t lcid, int32_t* ids) = 0;
  virtual HResult Invoke(int32_t id, const Guid& iid, uint32_t lcid, uint16_t flags, DispParams* params,
                         Variant* result, ExcepInfo* excep, uint32_t* argErr) = 0;
};

// The slots before GetDocumentation and ReleaseTypeAttr are declared only
// to keep their places.
struct TypeInfo : Unknown {
  virtual HResult GetTypeAttr(void** attr) = 0;  // the attributes start with the type's GUID
  virtual HResult Slot4() = 0;
  virtual HResult Slot5() = 0;
  virtual HResult Slot6() = 0;
  virtual HResult Slot7() = 0;
  virtual HResult Slot8() = 0;
  virtual HResult Slot9() = 0;
  virtual HResult Slot10() = 0;
  virtual HResult Slot11() = 0;
  virtual HResult GetDocumentation(int32_t member, Bstr* name, Bstr* doc, uint32_t* context, Bstr* helpFile) = 0;
  virtual HResult Slot13() = 0;
  virtual HResult Slot14() = 0;
  virtual HResult Slot15() = 0;
  virtual HResult Slot16() = 0;
  virtual HResult Slot17() = 0;
  virtual HResult Slot18() = 0;
  virtual void ReleaseTypeAttr(void* attr) = 0;
};

struct ErrorInfo : Unknown {
  virtual HResult GetGUID(Guid* guid) = 0;
  virtual HResult GetSource(Bstr* source) = 0;
  virtual HResult GetDescription(Bstr* description) = 0;
  virtual HResult GetHelpFile(Bstr* file) = 0;
  virtual HResult GetHelpContext(uint32_t* context) = 0;
};

struct SupportErrorInfo : Unknown {
  virtual HResult InterfaceSupportsErrorInfo(const Guid& iid) = 0;
};

}  // namespace client

namespace {

using namespace client;

class PublishedAbiClient : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/fg-abi-client-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    m_folder = folder;
    setenv("FARROWGATE_REGISTRY", (m_folder + "/registry.db").c_str(), 1);
    m_module = dlopen(FARROWGATE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(m_module, nullptr) << dlerror();
    m_getClassObject = reinterpret_cast<HResult (*)(const Guid&, const Guid&, void**)>(
        dlsym(m_module, "DllGetClassObject"));
    m_canUnloadNow = reinterpret_cast<HResult (*)()>(dlsym(m_module, "DllCanUnloadNow"));
    m_register = reinterpret_cast<HResult (*)()>(dlsym(m_module, "DllRegisterServer"));
    m_unregister = reinterpret_cast<HResult (*)()>(dlsym(m_module, "DllUnregisterServer"));
    // The automation runtime the module runs on: its string and error calls.
    m_allocString = reinterpret_cast<Bstr (*)(const char16_t*)>(dlsym(m_module, "SysAllocString"));
    m_freeString = reinterpret_cast<void (*)(Bstr)>(dlsym(m_module, "SysFreeString"));
    m_getErrorInfo = reinterpret_cast<HResult (*)(uint32_t, ErrorInfo**)>(dlsym(m_module, "GetErrorInfo"));
    ASSERT_TRUE(m_getClassObject && m_canUnloadNow && m_register && m_unregister && m_allocString && m_freeString &&
                m_getErrorInfo);
  }
  void TearDown() override {
    if (m_module != nullptr) dlclose(m_module);
    unsetenv("FARROWGATE_DIALOG_ANSWERS");
    std::system(("rm -rf '" + m_folder + "'").c_str());
  }
  std::u16string Take(Bstr text) {
    std::u16string out = text != nullptr ? text : u"";
    m_freeString(text);
    return out;
  }

  std::string m_folder;
  void* m_module = nullptr;
  HResult (*m_getClassObject)(const Guid&, const Guid&, void**) = nullptr;
  HResult (*m_canUnloadNow)() = nullptr;
  HResult (*m_register)() = nullptr;
  HResult (*m_unregister)() = nullptr;
  Bstr (*m_allocString)(const char16_t*) = nullptr;
  void (*m_freeString)(Bstr) = nullptr;
  HResult (*m_getErrorInfo)(uint32_t, ErrorInfo**) = nullptr;
};

TEST_F(PublishedAbiClient, DrivesTheComponentThroughThePublishedInterfacesAlone) {
  ASSERT_EQ(m_register(), kOk);

  // Factory and identity.
  ClassFactory* factory = nullptr;
  ASSERT_EQ(m_getClassObject(kDialogHelperClass, kIClassFactory, reinterpret_cast<void**>(&factory)), kOk);
  Unknown* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, kIUnknown, reinterpret_cast<void**>(&object)), kOk);
  factory->Release();
  Dispatch* dispatch = nullptr;
  ASSERT_EQ(object->QueryInterface(kIDispatch, reinterpret_cast<void**>(&dispatch)), kOk);
  Unknown* again = nullptr;
  ASSERT_EQ(dispatch->QueryInterface(kIUnknown, reinterpret_cast<void**>(&again)), kOk);
  EXPECT_EQ(again, object) << "one identity";
  again->Release();
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(object->QueryInterface(kIClassFactory, &none), kNoInterface);
  EXPECT_EQ(none, nullptr);

  // Late-bound calls: a put and a get of Title by its name.
  char16_t title[] = u"Title";
  char16_t* names[] = {title};
  int32_t id = 0;
  ASSERT_EQ(dispatch->GetIDsOfNames(kNull, names, 1, 0, &id), kOk);
  EXPECT_EQ(id, 2);
  Variant argument{};
  argument.vt = 8;  // VT_BSTR
  argument.bstrVal = m_allocString(u"Chosen by a client");
  int32_t putId = -3;  // DISPID_PROPERTYPUT
  DispParams put{&argument, &putId, 1, 1};
  ASSERT_EQ(dispatch->Invoke(id, kNull, 0, 4, &put, nullptr, nullptr, nullptr), kOk);
  m_freeString(argument.bstrVal);
  DispParams noArguments{nullptr, nullptr, 0, 0};
  Variant result{};
  ASSERT_EQ(dispatch->Invoke(id, kNull, 0, 2, &noArguments, &result, nullptr, nullptr), kOk);
  EXPECT_EQ(result.vt, 8);
  EXPECT_EQ(Take(result.bstrVal), u"Chosen by a client");

  // Type information: the interface's own id and name.
  uint32_t count = 0;
  ASSERT_EQ(dispatch->GetTypeInfoCount(&count), kOk);
  EXPECT_EQ(count, 1u);
  TypeInfo* info = nullptr;
  ASSERT_EQ(dispatch->GetTypeInfo(0, 0, reinterpret_cast<void**>(&info)), kOk);
  void* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), kOk);
  EXPECT_TRUE(*static_cast<const Guid*>(attr) == kIDialogHelper);
  info->ReleaseTypeAttr(attr);
  Bstr name = nullptr;
  ASSERT_EQ(info->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), kOk);  // MEMBERID_NIL
  EXPECT_EQ(Take(name), u"IDialogHelper");
  info->Release();

  // Error information: a dialog that fails, through the exception record
  // and through the error object on the thread.
  std::string answers = m_folder + "/answers.txt";
  std::ofstream(answers) << "error 0x3002\nerror 0x3002\n";
  setenv("FARROWGATE_DIALOG_ANSWERS", answers.c_str(), 1);
  ExcepInfo excep{};
  ASSERT_EQ(dispatch->Invoke(1, kNull, 0, 1, &noArguments, &result, &excep, nullptr), kDispException);
  std::u16string description = Take(excep.bstrDescription);
  EXPECT_NE(description.find(u"ErrorCode:12290"), std::u16string::npos);
  EXPECT_EQ(Take(excep.bstrSource), u"Farrowgate.DialogHelper.1");
  m_freeString(excep.bstrHelpFile);
  ASSERT_EQ(dispatch->Invoke(1, kNull, 0, 1, &noArguments, &result, nullptr, nullptr), kDispException);
  ErrorInfo* error = nullptr;
  ASSERT_EQ(m_getErrorInfo(0, &error), kOk);
  ASSERT_NE(error, nullptr);
  Unknown* asked = nullptr;
  ASSERT_EQ(error->QueryInterface(kIErrorInfo, reinterpret_cast<void**>(&asked)), kOk) << "by the published id";
  asked->Release();
  Bstr text = nullptr;
  ASSERT_EQ(error->GetDescription(&text), kOk);
  EXPECT_EQ(Take(text), description);
  Guid guid = kIDialogHelper;
  ASSERT_EQ(error->GetGUID(&guid), kOk);
  EXPECT_TRUE(guid == kNull);
  error->Release();
  SupportErrorInfo* support = nullptr;
  ASSERT_EQ(object->QueryInterface(kISupportErrorInfo, reinterpret_cast<void**>(&support)), kOk);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(kIDialogHelper), kOk);
  support->Release();

  dispatch->Release();
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(m_canUnloadNow(), kOk) << "nothing of it is held";
  EXPECT_EQ(m_unregister(), kOk);
}

}  // namespace
