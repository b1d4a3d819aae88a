// The registrar: its variable table and the runs of script resources from
// a module file, including a module whose path holds a quote.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_fault_loop.h"
#include "fgplatform/test_registry.h"
#include "registration/regobject.h"
#include "registration/server_registration.h"

namespace {

class Registrar : public fgtest::BaselineTest {
 protected:
  bool Traced(const std::string& line) {
    std::vector<std::string> lines = TraceLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  fgtest::TemporaryRegistry m_registry;
};

TEST_F(Registrar, VariablesMatchWithoutCaseAndTheEarliestWins) {
  CRegObject registrar;
  EXPECT_EQ(registrar.QueryInterface(IID_IUnknown, nullptr), E_NOTIMPL);
  EXPECT_EQ(registrar.AddRef(), 1u);
  EXPECT_EQ(registrar.Release(), 0u);
  ASSERT_EQ(registrar.AddVariable(u"APPID", u"{first}"), S_OK);
  ASSERT_EQ(registrar.AddVariable(u"APPID", u"{second}"), S_OK);
  EXPECT_EQ(std::u16string(registrar.LookupVariable(u"appid")), u"{first}");
  EXPECT_EQ(registrar.LookupVariable(u"Absent"), nullptr);
  EXPECT_TRUE(Traced("Map Entry not found\n"));
  EXPECT_EQ(registrar.AddVariable(nullptr, u"v"), E_INVALIDARG);
  EXPECT_EQ(registrar.AddVariable(u"n", nullptr), E_INVALIDARG);
  EXPECT_EQ(registrar.ClearVariables(), S_OK);
  EXPECT_EQ(registrar.LookupVariable(u"APPID"), nullptr);
  TraceLines();
}

TEST_F(Registrar, AnAdditionThatRunsOutOfMemoryAddsNothing) {
  CRegObject registrar;
  ASSERT_EQ(registrar.AddVariable(u"Kept", u"k"), S_OK);
  int added = 0;
  auto add = [&] {
    HRESULT hr = registrar.AddVariable(u"Name", u"Value");
    if (hr == S_OK) ++added;
    return static_cast<long>(hr);
  };
  auto check = [&](const fgtest::FaultRun& run) {
    EXPECT_EQ(std::u16string(registrar.LookupVariable(u"Kept")), u"k");
    LPCOLESTR value = registrar.LookupVariable(u"Name");
    EXPECT_EQ(value != nullptr, added > 0) << "a failed addition leaves no half entry";
    if (value != nullptr) {
      EXPECT_EQ(std::u16string(value), u"Value");
    }
    (void)run;
  };
  fgtest::FaultLoopCounts counts = fgtest::RunFaultLoop(fgtest::Service::Heap, S_OK, E_OUTOFMEMORY, add, check);
  EXPECT_EQ(counts.once, 4) << "two copies and two arrays";
  TraceLines();
}

class ScriptResources : public Registrar {
 protected:
  void SetUp() override {
    Registrar::SetUp();
    // The module is copied into a folder whose name holds a quote.
    const char* tmp = std::getenv("TMPDIR");
    m_folder = std::string(tmp != nullptr ? tmp : "/tmp") + "/fg it's here";
    mkdir(m_folder.c_str(), 0700);
    m_copy = m_folder + "/fg_script_module.so";
    std::ifstream in(SCRIPT_MODULE_PATH, std::ios::binary);
    std::ofstream out(m_copy, std::ios::binary);
    out << in.rdbuf();
    out.close();
    m_module = LoadLibraryW(Wide(m_copy).c_str());
    ASSERT_NE(m_module, nullptr);
  }
  void TearDown() override {
    if (m_module != nullptr) FreeLibrary(m_module);
    unlink(m_copy.c_str());
    unlink(m_tlb.c_str());
    rmdir(m_folder.c_str());
    Registrar::TearDown();
  }
  static std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }
  static std::u16string Text(const char16_t* path, const char16_t* name) {
    return fgtest::RegistryText(HKEY_CLASSES_ROOT, path, name);
  }

  std::string m_folder;
  std::string m_copy;
  std::string m_tlb;
  HMODULE m_module = nullptr;
};

TEST_F(ScriptResources, AQuoteInTheModulePathReachesTheScriptDoubled) {
  const RegistrarVariable variables[] = {{u"CALLER", u"given"}, {nullptr, nullptr}};
  ASSERT_EQ(UpdateFromScriptResource(m_module, 101, TRUE, variables), S_OK);
  char16_t path[512];
  DWORD n = GetModuleFileNameW(m_module, path, 512);
  std::u16string real(path, n);
  ASSERT_NE(real.find(u'\''), std::u16string::npos);
  EXPECT_EQ(Text(u"Fg.ModulePath", nullptr), real) << "%MODULE% in a quoted token reads as the true path";
  EXPECT_EQ(Text(u"Fg.ModulePath", u"Raw"), real);
  EXPECT_EQ(Text(u"Fg.ModulePath", u"Caller"), u"given");
  ASSERT_EQ(UpdateFromScriptResource(m_module, 101, FALSE, variables), S_OK);
  EXPECT_FALSE(fgtest::ClassesKeyExists(u"Fg.ModulePath"));
  TraceLines();
}

TEST_F(ScriptResources, MissingAndEmptyResourcesFailWithThePlatformsCode) {
  const RegistrarVariable none[] = {{nullptr, nullptr}};
  EXPECT_EQ(UpdateFromScriptResource(m_module, 999, TRUE, none), HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_TRUE(Traced("Failed to FindResource on ID:999 TYPE:REGISTRY\n"));
  EXPECT_EQ(UpdateFromScriptResource(m_module, 102, TRUE, none), HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER))
      << "an empty script fails at its conversion";

  CRegObject registrar;
  std::u16string missing = Wide(m_folder + "/no-such-module.so");
  EXPECT_EQ(registrar.ResourceRegister(missing.c_str(), 101, u"REGISTRY"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Traced("Failed to LoadLibrary on " + m_folder + "/no-such-module.so\n"));
  EXPECT_EQ(fgtest::RegistryDump(HKEY_CLASSES_ROOT), "[]\n") << "nothing was written";
}

TEST_F(ScriptResources, TheTypeLibraryIsFoundBesideAModuleWithoutOne) {
  BSTR path = nullptr;
  ITypeLib* lib = nullptr;
  EXPECT_EQ(LoadModuleTypeLibrary(m_module, nullptr, &path, &lib), TYPE_E_CANTLOADLIBRARY)
      << "neither in the module nor beside it";
  EXPECT_EQ(path, nullptr);
  EXPECT_EQ(lib, nullptr);

  m_tlb = m_folder + "/fg_script_module.tlb";
  std::ifstream in(TYPELIB_PATH, std::ios::binary);
  std::ofstream(m_tlb, std::ios::binary) << in.rdbuf();
  ASSERT_EQ(LoadModuleTypeLibrary(m_module, nullptr, &path, &lib), S_OK);
  EXPECT_EQ(std::u16string(path), Wide(m_tlb)) << "the path that loaded";
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  lib->ReleaseTLibAttr(attr);
  lib->Release();
  SysFreeString(path);

  EXPECT_EQ(LoadModuleTypeLibrary(m_module, nullptr, nullptr, &lib), E_POINTER);
  EXPECT_EQ(LoadModuleTypeLibrary(m_module, u"2", &path, &lib), E_INVALIDARG) << "one type library per module";
  ASSERT_EQ(RegisterTypeLibrary(m_module), S_OK);
  EXPECT_TRUE(fgtest::ClassesKeyExists(u"TypeLib\\{F05A841F-D724-47D4-BA1A-685429E8B427}\\1.0"));
  ASSERT_EQ(UnregisterTypeLibrary(m_module), S_OK);
  EXPECT_FALSE(fgtest::ClassesKeyExists(u"TypeLib\\{F05A841F-D724-47D4-BA1A-685429E8B427}"));
  Reports();
}

}  // namespace
