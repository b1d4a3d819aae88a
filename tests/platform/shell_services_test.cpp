// The component category manager and the shell's executable-type query.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_fault_loop.h"
#include "fgplatform/test_registry.h"
#include "fgplatform/win32.h"

namespace {

const CLSID kClass = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
CATID kCategories[2] = {{0xAAAAAAAA, 0x0001, 0x0001, {1, 1, 1, 1, 1, 1, 1, 1}},
                        {0xBBBBBBBB, 0x0002, 0x0002, {2, 2, 2, 2, 2, 2, 2, 2}}};
#define CLASS_KEY u"CLSID\\{11111111-2222-3333-4444-555555555555}"
#define IMPL0 CLASS_KEY u"\\Implemented Categories\\{AAAAAAAA-0001-0001-0101-010101010101}"
#define IMPL1 CLASS_KEY u"\\Implemented Categories\\{BBBBBBBB-0002-0002-0202-020202020202}"
#define REQ0 CLASS_KEY u"\\Required Categories\\{AAAAAAAA-0001-0001-0101-010101010101}"

class CategoryManager : public fgtest::BaselineTest {
 protected:
  void SetUp() override {
    BaselineTest::SetUp();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                               reinterpret_cast<void**>(&m_cat)),
              S_OK);
  }
  void TearDown() override {
    if (m_cat != nullptr) m_cat->Release();
    CoUninitialize();
    BaselineTest::TearDown();
  }
  fgtest::TemporaryRegistry m_registry;
  ICatRegister* m_cat = nullptr;
};

TEST_F(CategoryManager, ClassCategoriesComeAndGoLeavingTheContainerKeys) {
  ASSERT_EQ(m_cat->RegisterClassImplCategories(kClass, 2, kCategories), S_OK);
  ASSERT_EQ(m_cat->RegisterClassReqCategories(kClass, 1, kCategories), S_OK);
  EXPECT_TRUE(fgtest::ClassesKeyExists(IMPL0));
  EXPECT_TRUE(fgtest::ClassesKeyExists(IMPL1));
  EXPECT_TRUE(fgtest::ClassesKeyExists(REQ0));

  ASSERT_EQ(m_cat->UnRegisterClassImplCategories(kClass, 2, kCategories), S_OK);
  ASSERT_EQ(m_cat->UnRegisterClassReqCategories(kClass, 1, kCategories), S_OK);
  EXPECT_FALSE(fgtest::ClassesKeyExists(IMPL0));
  EXPECT_FALSE(fgtest::ClassesKeyExists(IMPL1));
  EXPECT_FALSE(fgtest::ClassesKeyExists(REQ0));
  EXPECT_TRUE(fgtest::ClassesKeyExists(CLASS_KEY u"\\Implemented Categories")) << "left for the class to remove";
  EXPECT_EQ(m_cat->UnRegisterClassImplCategories(kClass, 2, kCategories), S_OK) << "missing keys are no failure";

  EXPECT_EQ(m_cat->RegisterClassImplCategories(kClass, 1, nullptr), E_POINTER);
  EXPECT_EQ(m_cat->RegisterClassImplCategories(kClass, 0, nullptr), S_OK);
  IUnknown* outer = reinterpret_cast<IUnknown*>(m_cat);
  IUnknown* inner = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&inner)),
            CLASS_E_NOAGGREGATION);
}

TEST_F(CategoryManager, ACategoryDescriptionIsStoredUnderItsLocale) {
  CATEGORYINFO info{kCategories[0], 0x409, u"Safe for scripting"};
  ASSERT_EQ(m_cat->RegisterCategories(1, &info), S_OK);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Component Categories\\{AAAAAAAA-0001-0001-0101-010101010101}", 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  char16_t text[128] = {};
  DWORD size = sizeof text;
  EXPECT_EQ(RegQueryValueExW(key, u"409", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(std::u16string(text), u"Safe for scripting");
  ASSERT_EQ(m_cat->UnRegisterCategories(1, kCategories), S_OK);
  EXPECT_FALSE(fgtest::ClassesKeyExists(u"Component Categories\\{AAAAAAAA-0001-0001-0101-010101010101}"));
}

TEST_F(CategoryManager, AFailedWriteAnswersTheRegistrysCode) {
  auto registerBoth = [&] { return static_cast<long>(m_cat->RegisterClassImplCategories(kClass, 2, kCategories)); };
  auto clean = [&](const fgtest::FaultRun&) { (void)RegDeleteTreeW(HKEY_CLASSES_ROOT, u"CLSID"); };
  fgtest::FaultLoopCounts counts =
      fgtest::RunFaultLoop(fgtest::Service::RegistryWrite, S_OK, HRESULT_FROM_WIN32(ERROR_REGISTRY_IO_FAILED), registerBoth, clean);
  EXPECT_GT(counts.once, 2);
}

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

TEST(ShellFileInfo, OnlyProgramsHaveAnExecutableType) {
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  SHFILEINFOW info{};
  EXPECT_EQ(SHGetFileInfoW(Wide(self).c_str(), 0, &info, sizeof info, SHGFI_EXETYPE), 0x00004550u) << "a program";
  EXPECT_EQ(SHGetFileInfoW(Wide(FGPLATFORM_PATH).c_str(), 0, &info, sizeof info, SHGFI_EXETYPE), 0u) << "a library";
  std::string text = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/not-a-program.txt";
  std::ofstream(text) << "\x7f" "ELF but no more\n";
  EXPECT_EQ(SHGetFileInfoW(Wide(text).c_str(), 0, &info, sizeof info, SHGFI_EXETYPE), 0u) << "a cut header";
  EXPECT_EQ(SHGetFileInfoW(u"/no/such/file", 0, &info, sizeof info, SHGFI_EXETYPE), 0u);
  EXPECT_EQ(SHGetFileInfoW(Wide(self).c_str(), 0, &info, sizeof info, 0), 0u) << "only the executable type is offered";
}

}  // namespace
