// The interface-definition compiler, run as the build runs it: the
// component's own definition read back field by field from the binary
// library, and definitions it must refuse, with their lines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "fgplatform/test_process.h"
#include "fgplatform/typelib_format.h"
#include "fgplatform/win32.h"

namespace {

class Fgidl : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    m_dir = std::string(tmp != nullptr ? tmp : "/tmp") + "/fgidl-" + std::to_string(getpid());
    std::string make = "mkdir -p " + m_dir;
    ASSERT_EQ(std::system(make.c_str()), 0);
  }
  void TearDown() override {
    std::string remove = "rm -rf " + m_dir;
    (void)std::system(remove.c_str());
  }
  // Runs fgidl; answers its exit status and fills its standard error.
  int Run(const std::string& idl, const std::string& out, std::string* errors = nullptr) {
    return fgtest::RunCommand(std::string(FGIDL_PATH) + " '" + idl + "' -o '" + out + "'", errors);
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::string path = m_dir + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }
  std::string m_dir;
};

template <class T>
T At(const std::string& bytes, size_t offset) {
  T v;
  std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}

std::string Text(const std::string& lib, uint32_t stringsOffset, uint32_t at) {
  if (at == fgtlb::kNoString) return "<none>";
  return std::string(lib.data() + stringsOffset + at);
}

TEST_F(Fgidl, TheComponentsDefinitionBecomesItsLibrary) {
  std::string out = m_dir + "/Farrowgate.tlb";
  ASSERT_EQ(Run(IDL_PATH, out), 0);
  std::string lib = Read(out);
  auto h = At<fgtlb::LibraryHeader>(lib, 0);
  EXPECT_EQ(h.magic, fgtlb::kMagic);
  EXPECT_EQ(h.version, fgtlb::kVersion);
  EXPECT_EQ(h.libid.data1, 0xF05A841Fu);
  EXPECT_EQ(h.majorVersion, 1);
  EXPECT_EQ(h.minorVersion, 0);
  EXPECT_EQ(h.lcid, 0u);
  EXPECT_EQ(h.sysKind, static_cast<uint32_t>(SYS_WIN32));
  EXPECT_EQ(h.codePage, 936u);
  auto str = [&](uint32_t at) { return Text(lib, h.stringsOffset, at); };
  EXPECT_EQ(str(h.name), "Farrowgate");
  EXPECT_EQ(str(h.helpString), "Farrowgate 1.0 Type Library");
  ASSERT_EQ(h.typeCount, 2u);
  ASSERT_EQ(h.importCount, 1u);
  auto import = At<fgtlb::ImportRecord>(lib, h.importsOffset);
  EXPECT_EQ(str(import.fileName), "stdole2.tlb");
  EXPECT_EQ(str(import.typeName), "IDispatch");

  auto iface = At<fgtlb::TypeRecord>(lib, h.typesOffset);
  EXPECT_EQ(iface.typeKind, static_cast<uint32_t>(TKIND_DISPATCH));
  EXPECT_EQ(iface.guid.data1, 0x67AA1779u);
  EXPECT_EQ(str(iface.name), "IDialogHelper");
  EXPECT_EQ(str(iface.helpString), "IDialogHelper Interface");
  EXPECT_EQ(iface.typeFlags, static_cast<uint32_t>(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE));
  EXPECT_EQ(iface.vtableSlots, 17u);
  ASSERT_EQ(iface.funcCount, 10u);
  ASSERT_EQ(iface.implCount, 1u);
  EXPECT_EQ(At<fgtlb::ImplRecord>(lib, iface.implsOffset).ref, fgtlb::kImportedRef | 0u) << "based on IDispatch";

  struct Expected {
    int32_t id;
    uint32_t kind;
    const char* name;
    const char* help;
    const char* param;
    uint16_t flags;
    uint16_t vt, pointee;
  };
  const Expected members[] = {
      {1, INVOKE_FUNC, "OpenDialog", "method OpenDialog", "<none>", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, VT_PTR, VT_BOOL},
      {2, INVOKE_PROPERTYGET, "Title", "property Title", "pVal", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, VT_PTR, VT_BSTR},
      {2, INVOKE_PROPERTYPUT, "Title", "property Title", "<none>", PARAMFLAG_FIN, VT_BSTR, 0},
      {3, INVOKE_PROPERTYGET, "FileName", "property FileName", "pVal", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, VT_PTR, VT_BSTR},
      {3, INVOKE_PROPERTYPUT, "FileName", "property FileName", "<none>", PARAMFLAG_FIN, VT_BSTR, 0},
      {4, INVOKE_PROPERTYGET, "MultiSelect", "property MultiSelect", "pVal", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, VT_PTR,
       VT_BOOL},
      {4, INVOKE_PROPERTYPUT, "MultiSelect", "property MultiSelect", "<none>", PARAMFLAG_FIN, VT_BOOL, 0},
      {5, INVOKE_PROPERTYGET, "FileNames", "\xCA\xF4\xD0\xD4 FileNames", "pVal", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL,
       VT_PTR, VT_VARIANT},
      {6, INVOKE_PROPERTYGET, "Filter", "property Filter", "Filter", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, VT_PTR, VT_BSTR},
      {6, INVOKE_PROPERTYPUT, "Filter", "property Filter", "<none>", PARAMFLAG_FIN, VT_BSTR, 0},
  };
  for (uint32_t i = 0; i < 10; ++i) {
    const Expected& e = members[i];
    auto f = At<fgtlb::FuncRecord>(lib, iface.funcsOffset + i * sizeof(fgtlb::FuncRecord));
    SCOPED_TRACE(e.name);
    EXPECT_EQ(f.memberId, e.id);
    EXPECT_EQ(f.invokeKind, e.kind);
    EXPECT_EQ(f.vtableSlot, 7 + i);
    EXPECT_EQ(f.returnType, VT_HRESULT);
    EXPECT_EQ(str(f.name), e.name);
    EXPECT_EQ(str(f.helpString), e.help) << "help strings byte for byte, the Chinese one in code page 936";
    ASSERT_EQ(f.paramCount, 1u);
    auto p = At<fgtlb::ParamRecord>(lib, f.paramsOffset);
    EXPECT_EQ(str(p.name), e.param);
    EXPECT_EQ(p.flags, e.flags);
    EXPECT_EQ(p.vt, e.vt);
    EXPECT_EQ(p.pointee, e.pointee);
  }

  auto coclass = At<fgtlb::TypeRecord>(lib, h.typesOffset + sizeof(fgtlb::TypeRecord));
  EXPECT_EQ(coclass.typeKind, static_cast<uint32_t>(TKIND_COCLASS));
  EXPECT_EQ(coclass.guid.data1, 0x4C3A0C4Cu);
  EXPECT_EQ(str(coclass.name), "CDialogHelper");
  EXPECT_EQ(str(coclass.helpString), "DialogHelper Class");
  EXPECT_EQ(coclass.typeFlags, static_cast<uint32_t>(TYPEFLAG_FCANCREATE));
  ASSERT_EQ(coclass.implCount, 1u);
  auto impl = At<fgtlb::ImplRecord>(lib, coclass.implsOffset);
  EXPECT_EQ(impl.ref, 0u) << "IDialogHelper, the library's first type";
  EXPECT_EQ(impl.implTypeFlags, static_cast<uint32_t>(IMPLTYPEFLAG_FDEFAULT));
}

TEST_F(Fgidl, DefinitionsItCannotReadAreRefusedWithTheirLine) {
  const std::string head =
      "[uuid(F05A841F-D724-47D4-BA1A-685429E8B427), version(1.0)]\nlibrary L\n{\nimportlib(\"stdole2.tlb\");\n";
  struct Case {
    const char* what;
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"an unknown type",
       "[object, uuid(67AA1779-F0F0-4C56-B3CE-D87CC43BCB2E), dual]\ninterface I : IDispatch\n{\n"
       "  HRESULT M([in] DWORD x);\n};\n" + head + "};\n",
       ":4: error: unknown type DWORD"},
      {"a bad uuid", "[uuid(not-a-guid)]\nlibrary L { };\n", ":1: error: a bad uuid: not-a-guid"},
      {"a library without uuid", "[version(1.0)]\nlibrary L { };\n", ":2: error: library L has no uuid"},
      {"an unterminated string", head + "[uuid(4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65), helpstring(\"open\n", ":5: error: unterminated string"},
      {"an unknown attribute", "[object, uuid(67AA1779-F0F0-4C56-B3CE-D87CC43BCB2E), shiny]\ninterface I : IDispatch {};\n",
       ":1: error: attribute shiny is not understood here"},
      {"an unknown interface in a class",
       head + "[uuid(4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65)]\ncoclass C { [default] interface INope; };\n};\n",
       ":6: error: unknown interface INope"},
      {"no library", "import \"oaidl.idl\";\n", "error: no library is defined"},
  };
  for (const Case& c : cases) {
    std::string path = Write("bad.idl", c.text);
    std::string out = m_dir + "/bad.tlb", errors;
    EXPECT_EQ(Run(path, out, &errors), 1) << c.what;
    EXPECT_NE(errors.find(c.error), std::string::npos) << c.what << ": " << errors;
    EXPECT_NE(access(out.c_str(), F_OK), 0) << c.what << ": nothing is written";
  }
  std::string errors;
  EXPECT_EQ(Run(IDL_PATH, "/dev/full", &errors), 1);
  EXPECT_NE(errors.find("cannot write the type library"), std::string::npos) << errors;
}

}  // namespace
