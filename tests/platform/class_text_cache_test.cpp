// The class root's texts that activation reads (a ProgID's class, a class's
// server) are kept between activations, and read anew as soon as this
// process or any other changes the store.
#include <cstdlib>
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_registry.h"
#include "fgplatform/win32.h"

namespace {

constexpr char16_t kFirst[] = u"{0D6E1B10-0000-4000-8000-000000000001}";
constexpr char16_t kSecond[] = u"{0D6E1B10-0000-4000-8000-000000000002}";

class ClassTextCache : public fgtest::BaselineTest {
 protected:
  static void SetClass(const char16_t* text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Fg.Cached\\CLSID", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    std::u16string value = text;
    ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * 2)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  static std::u16string ClassOf(const char16_t* progId) {
    CLSID clsid{};
    if (CLSIDFromProgID(progId, &clsid) != S_OK) return u"<none>";
    char16_t text[40];
    StringFromGUID2(clsid, text, 40);
    return text;
  }
  fgtest::TemporaryRegistry m_registry;
};

TEST_F(ClassTextCache, AProgIdIsReadAnewWhenAnyProcessChangesIt) {
  SetClass(kFirst);
  EXPECT_EQ(ClassOf(u"Fg.Cached"), kFirst);
  EXPECT_EQ(ClassOf(u"Fg.Cached"), kFirst) << "kept";
  std::string other = std::string(REGISTRY_SET_PATH) + " 'Fg.Cached\\CLSID' '" +
                      std::string(kSecond, kSecond + std::char_traits<char16_t>::length(kSecond)) + "'";
  ASSERT_EQ(std::system(other.c_str()), 0);
  EXPECT_EQ(ClassOf(u"Fg.Cached"), kSecond) << "another process's change is seen at once";
  SetClass(kFirst);
  EXPECT_EQ(ClassOf(u"Fg.Cached"), kFirst) << "and so is this process's own";
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Fg.Cached"), ERROR_SUCCESS);
  EXPECT_EQ(ClassOf(u"Fg.Cached"), u"<none>") << "a deleted ProgID is gone";
  // A batch that is rolled back takes its change away from the reader too.
  ASSERT_EQ(FgRegistryBeginBatch(TRUE), ERROR_SUCCESS);
  SetClass(kSecond);
  EXPECT_EQ(ClassOf(u"Fg.Cached"), kSecond) << "the batch reads its own change";
  ASSERT_EQ(FgRegistryEndBatch(FALSE), ERROR_SUCCESS);
  EXPECT_EQ(ClassOf(u"Fg.Cached"), u"<none>");
}

// The server a class names is read anew too: a module that is not there,
// then (changed by another process) one that is there but serves no class.
TEST_F(ClassTextCache, AClassesServerIsReadAnewWhenAnotherProcessChangesIt) {
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  std::string key = "CLSID\\" + std::string(kFirst, kFirst + std::char_traits<char16_t>::length(kFirst)) +
                    "\\InprocServer32";
  ASSERT_EQ(std::system((std::string(REGISTRY_SET_PATH) + " '" + key + "' /nonexistent/server.so").c_str()), 0);
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromString(kFirst, &clsid), S_OK);
  IUnknown* factory = nullptr;
  EXPECT_EQ(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown, reinterpret_cast<void**>(&factory)),
            CO_E_DLLNOTFOUND);
  EXPECT_EQ(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown, reinterpret_cast<void**>(&factory)),
            CO_E_DLLNOTFOUND);
  ASSERT_EQ(std::system((std::string(REGISTRY_SET_PATH) + " '" + key + "' " FGPLATFORM_PATH).c_str()), 0);
  EXPECT_EQ(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown, reinterpret_cast<void**>(&factory)),
            CO_E_ERRORINDLL)
      << "the new server was loaded: it has no DllGetClassObject";
  EXPECT_EQ(factory, nullptr);
  CoUninitialize();
}

}  // namespace
