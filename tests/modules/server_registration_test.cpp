// The component's registration exports, called in the built module as a
// registrar tool calls them, against a temporary registry.
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_fault_loop.h"
#include "fgplatform/test_registry.h"
#include "fgplatform/win32.h"
#include "component_module.h"

namespace {

typedef HRESULT(STDAPICALLTYPE* EntryFunc)();

#define CLASS_KEY u"CLSID\\{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}"
#define LIBID_TEXT u"{F05A841F-D724-47D4-BA1A-685429E8B427}"

class ServerRegistration : public fgtest::BaselineTest {
 protected:
  void SetUp() override {
    BaselineTest::SetUp();
    m_module = fgtest::LoadComponentModule();
    ASSERT_NE(m_module, nullptr);
    m_register = fgtest::ExportOf<EntryFunc>(m_module, "DllRegisterServer");
    m_unregister = fgtest::ExportOf<EntryFunc>(m_module, "DllUnregisterServer");
    ASSERT_NE(m_register, nullptr);
    ASSERT_NE(m_unregister, nullptr);
    char16_t buffer[512];
    DWORD n = GetModuleFileNameW(m_module, buffer, 512);
    m_path = std::string(buffer, buffer + n);
  }
  void TearDown() override {
    if (m_module != nullptr) FreeLibrary(m_module);
    BaselineTest::TearDown();
  }
  static std::string Hex(const std::u16string& text) {
    std::string out;
    for (char16_t c : text + u'\0') {
      char pair[8];
      std::snprintf(pair, sizeof pair, "%02x%02x", c & 0xFF, c >> 8);
      out += pair;
    }
    return out;
  }
  static std::string Sz(const char* name, const std::u16string& text) {
    return std::string("  ") + name + " 1:" + Hex(text) + "\n";
  }
  // Everything registration writes, in the order the registry lists it.
  std::string Registered() const {
    const std::u16string clsid = u"{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}";
    const std::u16string appid = u"{F05A841F-D724-47D4-BA1A-685429E8B427}";
    const std::u16string iface = u"{67AA1779-F0F0-4C56-B3CE-D87CC43BCB2E}";
    const std::u16string object = u"CDialogHelper Object";
    std::u16string path(m_path.begin(), m_path.end());
    std::u16string folder = path.substr(0, path.rfind(u'/'));
    auto n = [](const std::u16string& s) { return std::string(s.begin(), s.end()); };
    return "[]\n"
           "[\\AppID]\n"
           "[\\AppID\\Farrowgate.DLL]\n" + Sz("AppID", appid) +
           "[\\AppID\\" + n(appid) + "]\n" + Sz("@", u"Farrowgate") +
           "[\\CLSID]\n"
           "[\\CLSID\\" + n(clsid) + "]\n" + Sz("@", object) + Sz("AppID", appid) +
           "[\\CLSID\\" + n(clsid) + "\\InprocServer32]\n" + Sz("@", path) + Sz("ThreadingModel", u"apartment") +
           "[\\CLSID\\" + n(clsid) + "\\ProgID]\n" + Sz("@", u"Farrowgate.DialogHelper.1") +
           "[\\CLSID\\" + n(clsid) + "\\Programmable]\n"
           "[\\CLSID\\" + n(clsid) + "\\TypeLib]\n" + Sz("@", appid) +
           "[\\CLSID\\" + n(clsid) + "\\VersionIndependentProgID]\n" + Sz("@", u"Farrowgate.DialogHelper") +
           "[\\Farrowgate.DialogHelper]\n" + Sz("@", object) +
           "[\\Farrowgate.DialogHelper\\CLSID]\n" + Sz("@", clsid) +
           "[\\Farrowgate.DialogHelper\\CurVer]\n" + Sz("@", u"Farrowgate.DialogHelper.1") +
           "[\\Farrowgate.DialogHelper.1]\n" + Sz("@", object) +
           "[\\Farrowgate.DialogHelper.1\\CLSID]\n" + Sz("@", clsid) +
           "[\\Interface]\n"
           "[\\Interface\\" + n(iface) + "]\n" + Sz("@", u"IDialogHelper") +
           "[\\Interface\\" + n(iface) + "\\ProxyStubClsid]\n" + Sz("@", u"{00020424-0000-0000-C000-000000000046}") +
           "[\\Interface\\" + n(iface) + "\\ProxyStubClsid32]\n" + Sz("@", u"{00020424-0000-0000-C000-000000000046}") +
           "[\\Interface\\" + n(iface) + "\\TypeLib]\n" + Sz("@", appid) + Sz("Version", u"1.0") +
           "[\\TypeLib]\n"
           "[\\TypeLib\\" + n(appid) + "]\n"
           "[\\TypeLib\\" + n(appid) + "\\1.0]\n" + Sz("@", u"Farrowgate 1.0 Type Library") +
           "[\\TypeLib\\" + n(appid) + "\\1.0\\0]\n"
           "[\\TypeLib\\" + n(appid) + "\\1.0\\0\\win32]\n" + Sz("@", path) +
           "[\\TypeLib\\" + n(appid) + "\\1.0\\FLAGS]\n" + Sz("@", u"0") +
           "[\\TypeLib\\" + n(appid) + "\\1.0\\HELPDIR]\n" + Sz("@", folder);
  }
  static std::string Classes() { return fgtest::RegistryDump(HKEY_CLASSES_ROOT); }

  fgtest::TemporaryRegistry m_registry;
  HMODULE m_module = nullptr;
  EntryFunc m_register = nullptr;
  EntryFunc m_unregister = nullptr;
  std::string m_path;
};

TEST_F(ServerRegistration, RegisteringWritesExactlyTheEntriesAndUnregisteringRemovesThem) {
  ASSERT_EQ(m_register(), S_OK);
  EXPECT_EQ(Classes(), Registered());

  // Stray subkeys under the class key and its Programmable key go: both
  // are made anew. Under a ProgID key they stay.
  HKEY key = nullptr;
  for (const char16_t* stray : {CLASS_KEY u"\\Stray\\Deep", CLASS_KEY u"\\Programmable\\Stray"}) {
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, stray, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
    RegCloseKey(key);
  }
  ASSERT_EQ(m_register(), S_OK);
  EXPECT_EQ(Classes(), Registered()) << "registering twice gives the same tree";

  ASSERT_EQ(m_unregister(), S_OK);
  EXPECT_EQ(Classes(), "[]\n[\\AppID]\n[\\CLSID]\n[\\Interface]\n[\\TypeLib]\n")
      << "only the shared keys stay";
  EXPECT_EQ(m_unregister(), S_OK) << "unregistering what is not registered removes nothing and succeeds";
  EXPECT_EQ(Classes(), "[]\n[\\AppID]\n[\\CLSID]\n[\\Interface]\n[\\TypeLib]\n");
}

// A registration cut short before its type library leaves the AppID and
// class entries: unregistration removes them all the same.
TEST_F(ServerRegistration, UnregistrationRemovesWhatAnInterruptedRegistrationLeft) {
  ASSERT_EQ(m_register(), S_OK);
  // The type library's keys are written last, all or none.
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"TypeLib\\" LIBID_TEXT), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Interface\\{67AA1779-F0F0-4C56-B3CE-D87CC43BCB2E}"), ERROR_SUCCESS);
  HKEY gone = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"TypeLib\\" LIBID_TEXT, 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(m_unregister(), S_OK);
  EXPECT_EQ(Classes(), "[]\n[\\AppID]\n[\\CLSID]\n[\\Interface]\n[\\TypeLib]\n") << "the AppID entries went too";
}

TEST_F(ServerRegistration, TheCallersLocaleComesBackOnSuccessAndOnFailure) {
  ASSERT_TRUE(SetThreadLocale(0x0804));
  auto registerIt = [&] { return static_cast<long>(m_register()); };
  std::string full;
  auto check = [&](const fgtest::FaultRun& run) {
    EXPECT_EQ(GetThreadLocale(), 0x0804u) << "the caller's locale is back";
    if (run.succeeded) {
      EXPECT_EQ(Classes(), Registered()) << "success means every entry";
    }
    (void)RegDeleteTreeW(HKEY_CLASSES_ROOT, nullptr);
  };
  fgtest::FaultLoopCounts counts =
      fgtest::RunFaultLoop(fgtest::Service::RegistryWrite, S_OK,
                           {HRESULT_FROM_WIN32(ERROR_REGISTRY_IO_FAILED), TYPE_E_REGISTRYACCESS}, registerIt, check);
  EXPECT_GT(counts.once, 20);

  auto unregistered = [&](const fgtest::FaultRun& run) {
    EXPECT_EQ(GetThreadLocale(), 0x0804u);
    if (run.succeeded) {
      EXPECT_EQ(Classes(), "[]\n[\\AppID]\n[\\CLSID]\n[\\Interface]\n[\\TypeLib]\n");
    }
    (void)RegDeleteTreeW(HKEY_CLASSES_ROOT, nullptr);
  };
  // Registration runs without faults before each run: only the writes of
  // unregistration fail.
  ASSERT_EQ(m_register(), S_OK);
  auto onlyUnregister = [&] { return static_cast<long>(m_unregister()); };
  auto reRegister = [&](const fgtest::FaultRun& run) {
    unregistered(run);
    EXPECT_EQ(m_register(), S_OK);
  };
  counts = fgtest::RunFaultLoop(fgtest::Service::RegistryWrite, S_OK,
                                {HRESULT_FROM_WIN32(ERROR_REGISTRY_IO_FAILED), TYPE_E_REGISTRYACCESS}, onlyUnregister,
                                reRegister);
  EXPECT_GT(counts.once, 5);
  EXPECT_EQ(m_unregister(), S_OK);
  ASSERT_TRUE(SetThreadLocale(LOCALE_USER_DEFAULT));
}

TEST_F(ServerRegistration, MemoryFaultsFailWithTheirCodeAndAFullRunLeavesTheWholeTree) {
  // A failed registration may leave part of the tree (registration is not a
  // transaction); what it leaves, unregistration removes. A failed
  // unregistration of a registered server leaves the type library's keys
  // or removes them, never anything the other entries need to run again.
  const std::string shared = "[]\n[\\AppID]\n[\\CLSID]\n[\\Interface]\n[\\TypeLib]\n";
  for (fgtest::Service service : {fgtest::Service::Heap, fgtest::Service::TaskMemory, fgtest::Service::SystemString}) {
    auto registerIt = [&] { return static_cast<long>(m_register()); };
    auto whole = [&](const fgtest::FaultRun& run) {
      if (run.succeeded) {
        EXPECT_EQ(Classes(), Registered()) << run.Describe();
      }
      EXPECT_EQ(m_register(), S_OK) << "a later registration completes: " << run.Describe();
      EXPECT_EQ(Classes(), Registered());
      EXPECT_EQ(m_unregister(), S_OK);
      EXPECT_EQ(Classes(), shared) << run.Describe();
    };
    fgtest::FaultLoopCounts counts = fgtest::RunFaultLoop(service, S_OK, {E_OUTOFMEMORY}, registerIt, whole);
    EXPECT_GT(counts.once, 0) << fgtest::ServiceName(service);

    ASSERT_EQ(m_register(), S_OK);
    auto unregisterIt = [&] { return static_cast<long>(m_unregister()); };
    auto gone = [&](const fgtest::FaultRun& run) {
      if (run.succeeded) {
        EXPECT_EQ(Classes(), shared) << run.Describe();
      }
      EXPECT_EQ(m_register(), S_OK) << run.Describe();
    };
    counts = fgtest::RunFaultLoop(service, S_OK, {E_OUTOFMEMORY}, unregisterIt, gone);
    EXPECT_GT(counts.once, 0) << fgtest::ServiceName(service);
    ASSERT_EQ(m_unregister(), S_OK);
    EXPECT_EQ(Classes(), shared);
  }
  Reports();
}

}  // namespace
