// Activation as a host does it: a thread initialises, the class key is
// written into the registry by fgreg, CoCreateInstance loads the component
// module once and creates the object through its factory, and
// CoFreeUnusedLibraries unloads the module when it holds nothing.
#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_registry.h"
#include "fgplatform/win32.h"

namespace {

const CLSID kClass = {0x4C3A0C4C, 0x1D37, 0x4C85, {0x81, 0xC5, 0xCD, 0x3F, 0xFD, 0xB5, 0x9C, 0x65}};
const char* const kClassKey = "HKCR\\CLSID\\{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}";

class Activation : public fgtest::BaselineTest {
 protected:
  void SetUp() override {
    BaselineTest::SetUp();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    CoUninitialize();
    BaselineTest::TearDown();
  }
  // Runs fgreg against the test's registry; answers its exit status.
  int Fgreg(const std::string& args) {
    std::string command = std::string(FGREG_PATH) + " --registry '" + m_registry.Path() + "' " + args + " >/dev/null 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void RegisterServer(const std::string& path, const char* type = "REG_SZ") {
    ASSERT_EQ(Fgreg(std::string("add '") + kClassKey + "\\InprocServer32' /ve /t " + type + " /d '" + path + "' /f"), 0);
  }
  static std::u16string Title(IDispatch* object) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    if (FAILED(object->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr))) return u"<failed>";
    std::u16string text = result.bstrVal != nullptr ? result.bstrVal : u"<null>";
    VariantClear(&result);
    return text;
  }
  static HRESULT PutTitle(IDispatch* object, const char16_t* text) {
    VARIANT arg;
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocString(text);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &named, 1, 1};
    HRESULT hr = object->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
    VariantClear(&arg);
    return hr;
  }
  fgtest::TemporaryRegistry m_registry;
};

TEST(ThreadInitialisation, IsCountedPerThreadAndKeepsItsModel) {
  IUnknown* object = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoGetClassObject(kClass, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  std::thread other([] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "each thread has its own";
    CoUninitialize();
  });
  other.join();
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
            CO_E_NOTINITIALIZED)
      << "undone as often as it was done";
}

TEST_F(Activation, AHostKnowingOnlyTheClassIdCreatesUsesAndUnloadsTheComponent) {
  RegisterServer(FARROWGATE_MODULE_PATH);
  long before = fgtest::Live().modules;
  IDispatch* object = nullptr;
  ASSERT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)),
            S_OK);
  EXPECT_EQ(fgtest::Live().modules, before + 1) << "the server is loaded";
  ASSERT_EQ(PutTitle(object, u"Choose"), S_OK);
  EXPECT_EQ(Title(object), u"Choose");
  CoFreeUnusedLibraries();
  EXPECT_EQ(fgtest::Live().modules, before + 1) << "a live object keeps its server";
  EXPECT_EQ(object->Release(), 0u);
  CoFreeUnusedLibraries();
  EXPECT_EQ(fgtest::Live().modules, before) << "unloaded once it holds nothing";
  std::string path = FARROWGATE_MODULE_PATH;
  EXPECT_EQ(GetModuleHandleW(std::u16string(path.begin(), path.end()).c_str()), nullptr) << "no longer mapped";
}

TEST_F(Activation, ConcurrentFirstActivationsLoadTheServerOnce) {
  RegisterServer(FARROWGATE_MODULE_PATH);
  long before = fgtest::Live().modules;
  std::atomic<int> created{0};
  std::atomic<long> mostModules{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&] {
      if (FAILED(CoInitialize(nullptr))) return;
      IUnknown* object = nullptr;
      if (SUCCEEDED(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&object)))) {
        ++created;
        long now = fgtest::Live().modules;
        for (long seen = mostModules; now > seen && !mostModules.compare_exchange_weak(seen, now);) {
        }
        object->Release();
      }
      CoUninitialize();
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(created, 8);
  EXPECT_EQ(mostModules, before + 1) << "one load for all";
}

TEST_F(Activation, MissingClassesModulesAndEntryPointsGiveTheirCodes) {
  IUnknown* object = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG) << "no class key";
  EXPECT_EQ(object, nullptr);
  RegisterServer("/no/such/module.so");
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
            CO_E_DLLNOTFOUND);
  RegisterServer(TEST_MODULE_PATH);
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
            CO_E_ERRORINDLL) << "a module without DllGetClassObject";
  RegisterServer(FARROWGATE_MODULE_PATH);
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG) << "only in-process servers";
  const CLSID other = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
  ASSERT_EQ(Fgreg("add 'HKCR\\CLSID\\{12345678-0000-0000-0000-000000000002}\\InprocServer32' /ve /d '" +
                  std::string(FARROWGATE_MODULE_PATH) + "'"),
            0);
  EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
            CLASS_E_CLASSNOTAVAILABLE) << "the module's own answer for a class it does not serve";
  Reports();
}

TEST_F(Activation, ExpandablePathsAndCurrentVersionsAreFollowed) {
  std::string path = FARROWGATE_MODULE_PATH;
  size_t slash = path.rfind('/');
  setenv("FG_SERVER_DIR", path.substr(0, slash).c_str(), 1);
  RegisterServer("%FG_SERVER_DIR%" + path.substr(slash), "REG_EXPAND_SZ");
  IUnknown* object = nullptr;
  ASSERT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
            S_OK);
  object->Release();
  unsetenv("FG_SERVER_DIR");

  ASSERT_EQ(Fgreg("add 'HKCR\\Farrowgate.DialogHelper.1\\CLSID' /ve /d '{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}'"), 0);
  ASSERT_EQ(Fgreg("add 'HKCR\\Farrowgate.DialogHelper\\CurVer' /ve /d 'Farrowgate.DialogHelper.1'"), 0);
  CLSID found{};
  ASSERT_EQ(CLSIDFromProgID(u"Farrowgate.DialogHelper", &found), S_OK);
  EXPECT_EQ(found, kClass);
  EXPECT_EQ(CLSIDFromProgID(u"Farrowgate.Nothing", &found), CO_E_CLASSSTRING);
}

}  // namespace
