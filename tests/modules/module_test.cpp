// The loader and resources: a module loaded by path and as a data file,
// the main program's resources, and the documented failures.
#include <elf.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fgplatform/resource_format.h"
#include "fgplatform/test_baseline.h"
#include "fgplatform/win32.h"

namespace {

class Module : public fgtest::BaselineTest {
 protected:
  void SetUp() override {
    BaselineTest::SetUp();
    unsetenv("FG_TESTMODULE_EVENTS");
    unsetenv("FG_TESTMODULE_STATIC");
    unsetenv("FG_TESTMODULE_REFUSE");
  }
  static std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
  }
  static std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }
  static std::string RegistryScript() {
    std::ifstream f(REGISTRY_SCRIPT_PATH, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }
  static std::string Resource(HMODULE h, LPCWSTR name, LPCWSTR type) {
    HRSRC r = FindResourceW(h, name, type);
    if (r == nullptr) return "<missing>";
    const char* p = static_cast<const char*>(LockResource(LoadResource(h, r)));
    return std::string(p, SizeofResource(h, r));
  }
  static std::u16string String(HMODULE h, UINT id) {
    char16_t buf[256];
    int n = LoadStringW(h, id, buf, 256);
    return std::u16string(buf, static_cast<size_t>(n));
  }
};

TEST(RegistryScriptFile, HoldsTheElevenLinesWithCrlfAndTabs) {
  std::ifstream f(REGISTRY_SCRIPT_PATH, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text,
            "HKCR\r\n{\r\n\tNoRemove AppID\r\n\t{\r\n\t\t'%APPID%' = s 'Farrowgate'\r\n\t\t'Farrowgate.DLL'\r\n"
            "\t\t{\r\n\t\t\tval AppID = s '%APPID%'\r\n\t\t}\r\n\t}\r\n}\r\n");
}

TEST_F(Module, LoadedByPathItsEntryPointAndStaticsSeeAttachAndDetach) {
  std::u16string path = Wide(TEST_MODULE_PATH);
  HMODULE h = LoadLibraryW(path.c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Env("FG_TESTMODULE_EVENTS"), "attach,");
  EXPECT_EQ(Env("FG_TESTMODULE_STATIC"), "constructed");
  EXPECT_EQ(String(h, 100), u"Farrowgate");
  EXPECT_EQ(Resource(h, MAKEINTRESOURCEW(101), u"REGISTRY"), RegistryScript()) << "byte for byte";
  EXPECT_EQ(Resource(h, MAKEINTRESOURCEW(101), u"registry"), RegistryScript()) << "type names ignore case";

  auto answer = reinterpret_cast<int (*)()>(reinterpret_cast<void*>(GetProcAddress(h, "TestModuleAnswer")));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(GetProcAddress(h, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  HMODULE fromAddress = nullptr;
  EXPECT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(answer), &fromAddress));
  EXPECT_EQ(fromAddress, h) << "a module finds its own handle from an address inside it";
  EXPECT_EQ(GetModuleHandleW(u"fg_test_module.so"), h);

  char16_t name[4096];
  DWORD n = GetModuleFileNameW(h, name, 4096);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::u16string(name, n).substr(n - 17), u"fg_test_module.so");

  EXPECT_EQ(LoadLibraryW(path.c_str()), h) << "a second load shares the module";
  EXPECT_EQ(Env("FG_TESTMODULE_EVENTS"), "attach,") << "and does not attach again";
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(Env("FG_TESTMODULE_STATIC"), "constructed");
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(Env("FG_TESTMODULE_EVENTS"), "attach,detach,");
  EXPECT_EQ(Env("FG_TESTMODULE_STATIC"), "destroyed") << "unloading ran the static destructors";
  EXPECT_FALSE(FreeLibrary(h));
}

TEST_F(Module, AsADataFileItsResourcesAreReadAndNoCodeRuns) {
  std::u16string path = Wide(TEST_MODULE_PATH);
  HMODULE h = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Env("FG_TESTMODULE_STATIC"), "") << "no constructor ran";
  EXPECT_EQ(Env("FG_TESTMODULE_EVENTS"), "") << "no entry point ran";
  EXPECT_EQ(String(h, 100), u"Farrowgate");
  EXPECT_EQ(Resource(h, MAKEINTRESOURCEW(101), u"REGISTRY"), RegistryScript());
  EXPECT_EQ(GetProcAddress(h, "TestModuleAnswer"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(Env("FG_TESTMODULE_STATIC"), "");
}

TEST_F(Module, ARefusedAttachDetachesUnloadsAndFails) {
  setenv("FG_TESTMODULE_REFUSE", "1", 1);
  std::u16string path = Wide(TEST_MODULE_PATH);
  EXPECT_EQ(LoadLibraryW(path.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  EXPECT_EQ(Env("FG_TESTMODULE_EVENTS"), "attach,detach,");
  EXPECT_EQ(Env("FG_TESTMODULE_STATIC"), "destroyed");
}

TEST_F(Module, LoadFailuresGiveTheDocumentedCodes) {
  EXPECT_EQ(LoadLibraryW(u"/nonexistent/module.so"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryW(Wide(REGISTRY_SCRIPT_PATH).c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(LoadLibraryExW(Wide(REGISTRY_SCRIPT_PATH).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
}

// A copy of a module file with some bytes changed, for the damage tests.
class DamagedCopy {
 public:
  explicit DamagedCopy(const std::string& from) : m_path(TempPath()) {
    std::ifstream in(from, std::ios::binary);
    m_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ~DamagedCopy() { unlink(m_path.c_str()); }
  template <class T>
  T Read(size_t at) const {
    T v;
    std::memcpy(&v, m_bytes.data() + at, sizeof v);
    return v;
  }
  template <class T>
  void Write(size_t at, T v) {
    std::memcpy(m_bytes.data() + at, &v, sizeof v);
  }
  // The offset of the header of the section `name`.
  size_t SectionHeader(const char* name) const {
    auto eh = Read<Elf64_Ehdr>(0);
    auto names = Read<Elf64_Shdr>(eh.e_shoff + eh.e_shstrndx * sizeof(Elf64_Shdr));
    for (size_t i = 0; i < eh.e_shnum; ++i) {
      size_t at = eh.e_shoff + i * sizeof(Elf64_Shdr);
      if (std::strcmp(m_bytes.data() + names.sh_offset + Read<Elf64_Shdr>(at).sh_name, name) == 0) return at;
    }
    return 0;
  }
  void Cut(size_t size) { m_bytes.resize(size); }
  size_t Size() const { return m_bytes.size(); }
  // The end in the file of the last loadable segment's bytes.
  size_t SegmentsEnd() const {
    auto eh = Read<Elf64_Ehdr>(0);
    size_t end = 0;
    for (size_t i = 0; i < eh.e_phnum; ++i) {
      auto ph = Read<Elf64_Phdr>(eh.e_phoff + i * sizeof(Elf64_Phdr));
      if (ph.p_type == PT_LOAD) end = std::max<size_t>(end, ph.p_offset + ph.p_filesz);
    }
    return end;
  }
  std::u16string Saved() {
    std::ofstream(m_path, std::ios::binary).write(m_bytes.data(), static_cast<std::streamsize>(m_bytes.size()));
    return std::u16string(m_path.begin(), m_path.end());
  }

 private:
  static std::string TempPath() {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp") + "/fg-damaged-" + std::to_string(getpid()) + ".so";
  }
  std::string m_path;
  std::vector<char> m_bytes;
};

TEST_F(Module, DamagedSectionHeadersAreABadImageNeverACrash) {
  struct Damage {
    const char* what;
    void (*apply)(DamagedCopy&);
  };
  const Damage damages[] = {
      {"a resource section far larger than the file",
       [](DamagedCopy& c) { c.Write<uint64_t>(c.SectionHeader(".fgrsrc") + offsetof(Elf64_Shdr, sh_size), 1ull << 46); }},
      {"a resource section that starts past the end",
       [](DamagedCopy& c) { c.Write<uint64_t>(c.SectionHeader(".fgrsrc") + offsetof(Elf64_Shdr, sh_offset), 1ull << 40); }},
      {"a section table past the end", [](DamagedCopy& c) { c.Write<uint64_t>(offsetof(Elf64_Ehdr, e_shoff), 1ull << 50); }},
      {"a name table far larger than the file",
       [](DamagedCopy& c) {
         auto eh = c.Read<Elf64_Ehdr>(0);
         c.Write<uint64_t>(eh.e_shoff + eh.e_shstrndx * sizeof(Elf64_Shdr) + offsetof(Elf64_Shdr, sh_size), ~0ull);
       }},
  };
  for (const Damage& d : damages) {
    DamagedCopy copy(TEST_MODULE_PATH);
    ASSERT_NE(copy.SectionHeader(".fgrsrc"), 0u);
    d.apply(copy);
    std::u16string path = copy.Saved();
    SetLastError(0);
    EXPECT_EQ(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr) << d.what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << d.what;
  }
}

// The system loader maps what the program headers name; of a file cut
// short it would touch pages that are not there and end the process.
TEST_F(Module, AModuleCutShortIsABadImageNeverACrash) {
  DamagedCopy whole(TEST_MODULE_PATH);
  size_t segmentsEnd = whole.SegmentsEnd();
  ASSERT_GT(segmentsEnd, 4096u);
  for (size_t size : {size_t{64}, size_t{1000}, size_t{4096}, segmentsEnd / 2, segmentsEnd - 1}) {
    DamagedCopy copy(TEST_MODULE_PATH);
    copy.Cut(size);
    std::u16string path = copy.Saved();
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(path.c_str()), nullptr) << "cut to " << size << " bytes";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << "cut to " << size << " bytes";
  }
}

TEST_F(Module, NamesAtOddOffsetsAreReadByteWise) {
  DamagedCopy copy(TEST_MODULE_PATH);
  size_t section = copy.Read<Elf64_Shdr>(copy.SectionHeader(".fgrsrc")).sh_offset;
  auto header = copy.Read<fgres::SectionHeader>(section);
  bool moved = false;
  for (uint32_t i = 0; i < header.count && !moved; ++i) {
    size_t at = section + sizeof header + i * sizeof(fgres::ResourceEntry);
    auto entry = copy.Read<fgres::ResourceEntry>(at);
    if (entry.type.isString == 0 || entry.dataSize < 32) continue;
    // The type's name, written again at an odd offset inside the entry's
    // own data, and the entry pointed at it.
    uint32_t odd = entry.dataOffset + 1;
    for (size_t k = 0; k < 9; ++k) copy.Write<char16_t>(section + odd + 2 * k, u"REGISTRY"[k]);
    entry.type.value = odd;
    copy.Write(at, entry);
    moved = true;
  }
  ASSERT_TRUE(moved);
  std::u16string path = copy.Saved();
  HMODULE h = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(h, nullptr);
  EXPECT_NE(FindResourceW(h, MAKEINTRESOURCEW(101), u"registry"), nullptr);
  EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(Module, AMissingDependencyIsAModuleNotFound) {
  std::u16string path = Wide(NEEDS_GONE_MODULE_PATH);
  EXPECT_EQ(LoadLibraryW(path.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(Module, NumberedIdsMayBeWrittenAsHashAndDigits) {
  std::u16string path = Wide(TEST_MODULE_PATH);
  HMODULE h = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(FindResourceW(h, u"#101", u"REGISTRY"), FindResourceW(h, MAKEINTRESOURCEW(101), u"REGISTRY"));
  EXPECT_NE(FindResourceW(h, u"#7", u"#6"), nullptr) << "the string block of ids 96 to 111";
  EXPECT_EQ(FindResourceW(h, u"#", u"REGISTRY"), nullptr) << "a hash alone is a name";
  EXPECT_EQ(FindResourceW(h, u"#70000", u"REGISTRY"), nullptr) << "past 16 bits";
  char16_t buffer[8] = u"kept";
  EXPECT_EQ(LoadStringW(h, 100, buffer, -1), 0) << "a negative buffer size copies nothing";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(std::u16string(buffer), u"kept");
  EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(Module, MissingTypeNameAndLanguageGiveTheirOwnErrors) {
  EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(5), u"NOTYPE"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
  EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(6), u"FGDATA"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(FindResourceExW(nullptr, u"FGDATA", MAKEINTRESOURCEW(5), 0x040C), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
  HRSRC de = FindResourceExW(nullptr, u"FGDATA", MAKEINTRESOURCEW(5), 0x0407);
  ASSERT_NE(de, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(LockResource(LoadResource(nullptr, de))), 2), "DE");
  LCID saved = GetThreadLocale();
  SetThreadLocale(0x0407);
  EXPECT_EQ(Resource(nullptr, MAKEINTRESOURCEW(5), u"FGDATA"), "DE") << "the thread's language first";
  EXPECT_EQ(String(nullptr, 7), u"Hauptprogramm");
  SetThreadLocale(0x0804);
  EXPECT_EQ(Resource(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(5), u"FGDATA"), "EN") << "then 0x0409";
  SetThreadLocale(saved);
  EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
}

TEST_F(Module, StringTablesFollowTheLoadStringRules) {
  LCID saved = GetThreadLocale();
  SetThreadLocale(0x0409);
  EXPECT_EQ(String(nullptr, 8), u"eight");
  EXPECT_EQ(String(nullptr, 31), u"thirty-one") << "the second block";
  char16_t buf[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(LoadStringW(nullptr, 9, buf, 4), 0) << "an empty entry is missing";
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(LoadStringW(nullptr, 500, buf, 4), 0);
  EXPECT_EQ(LoadStringW(nullptr, 8, buf, 4), 3) << "cut to the buffer";
  EXPECT_EQ(std::u16string(buf), u"eig");
  const char16_t* direct = nullptr;
  EXPECT_EQ(LoadStringW(nullptr, 8, reinterpret_cast<LPWSTR>(&direct), 0), 5);
  EXPECT_EQ(std::u16string(direct, 5), u"eight") << "a read-only pointer for a zero-sized buffer";
  SetThreadLocale(saved);
}

TEST_F(Module, FileNameTruncationFollowsTheDocumentedResult) {
  char16_t full[4096];
  DWORD n = GetModuleFileNameW(nullptr, full, 4096);
  ASSERT_GT(n, 5u);
  char16_t small[5];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::u16string(small), std::u16string(full, 4));
  EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x1000), full, 4096), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace

namespace {

using ComponentModule = fgtest::BaselineTest;

TEST_F(ComponentModule, LoadsWithItsResourcesAndUnloadsWhenIdle) {
  std::string path = FARROWGATE_MODULE_PATH;
  std::u16string wide(path.begin(), path.end());
  HMODULE h = LoadLibraryW(wide.c_str());
  ASSERT_NE(h, nullptr);
  char16_t name[64];
  EXPECT_EQ(LoadStringW(h, 100, name, 64), 10);
  EXPECT_EQ(std::u16string(name), u"Farrowgate");
  auto canUnload = reinterpret_cast<HRESULT (*)()>(reinterpret_cast<void*>(GetProcAddress(h, "DllCanUnloadNow")));
  ASSERT_NE(canUnload, nullptr);
  EXPECT_EQ(canUnload(), S_OK);
  EXPECT_EQ(GetProcAddress(h, "FrameBaseModule"), nullptr) << "only the entry points are exported";
  EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(ComponentModule, AFailedCriticalSectionRefusesTheLoad) {
  std::string path = FARROWGATE_MODULE_PATH;
  std::u16string wide(path.begin(), path.end());
  fgtest::FailCall(fgtest::Service::CriticalSection, 1);
  EXPECT_EQ(LoadLibraryW(wide.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  bool sawInitFailure = false;
  for (const fgtest::DebugReport& r : Reports())
    sawInitFailure = sawInitFailure || r.text == "ERROR : Unable to initialize critical section in CFrameBaseModule\n";
  EXPECT_TRUE(sawInitFailure);
  fgtest::ClearFaults();
  HMODULE h = LoadLibraryW(wide.c_str());
  ASSERT_NE(h, nullptr) << "the next load starts afresh";
  FreeLibrary(h);
}

}  // namespace
