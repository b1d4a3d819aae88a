// The built component module, loaded by its path as a host loads it, and
// its exported entry points.
#pragma once

#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/win32.h"

namespace fgtest {

inline std::u16string ComponentModulePath() {
  std::string path = FARROWGATE_MODULE_PATH;
  return std::u16string(path.begin(), path.end());
}

inline HMODULE LoadComponentModule() { return LoadLibraryW(ComponentModulePath().c_str()); }

// The export `name` of a module as a function of type F; null when missing.
template <class F>
F ExportOf(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The component's one class.
inline constexpr CLSID kDialogHelperClass = {0x4C3A0C4C, 0x1D37, 0x4C85, {0x81, 0xC5, 0xCD, 0x3F, 0xFD, 0xB5, 0x9C, 0x65}};
typedef HRESULT(STDAPICALLTYPE* GetClassObjectFunc)(REFCLSID, REFIID, LPVOID*);

// A test with the component module loaded and its DllGetClassObject found;
// the module is freed at the end, before the baseline is checked.
class ComponentModuleTest : public BaselineTest {
 protected:
  void SetUp() override {
    BaselineTest::SetUp();
    m_module = LoadComponentModule();
    ASSERT_NE(m_module, nullptr);
    m_getClassObject = ExportOf<GetClassObjectFunc>(m_module, "DllGetClassObject");
    ASSERT_NE(m_getClassObject, nullptr);
  }
  void TearDown() override {
    if (m_module != nullptr) {
      EXPECT_TRUE(FreeLibrary(m_module));
    }
    BaselineTest::TearDown();
  }
  HMODULE m_module = nullptr;
  GetClassObjectFunc m_getClassObject = nullptr;
};

}  // namespace fgtest
