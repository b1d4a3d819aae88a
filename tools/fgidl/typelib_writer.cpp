#include "typelib_writer.h"

#include <iconv.h>

#include <cstring>
#include <map>

#include "fgplatform/typeinfo.h"
#include "idl_lexer.h"

namespace fgidl {

namespace {

constexpr uint32_t kHelpCodePage = 936;
constexpr fgtlb::Guid kStdole = {0x00020430, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr fgtlb::Guid kIUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr fgtlb::Guid kIDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr uint32_t kUnknownSlots = 3, kDispatchSlots = 7;

// UTF-8 to code page 936, refusing what it cannot hold.
std::string ToCodePage936(const std::string& utf8, int line) {
  iconv_t cd = iconv_open("CP936", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw IdlError(line, "code page 936 is not available");
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size(), outLeft = out.size();
  char* to = out.data();
  size_t rc = iconv(cd, &in, &inLeft, &to, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) throw IdlError(line, "a help string that code page 936 cannot hold");
  out.resize(out.size() - outLeft);
  return out;
}

class Writer {
 public:
  explicit Writer(const Library& lib) : m_lib(lib) {}

  std::string Run() {
    CheckImports();
    fgtlb::LibraryHeader h{};
    h.magic = fgtlb::kMagic;
    h.version = fgtlb::kVersion;
    h.libid = m_lib.guid;
    h.lcid = m_lib.lcid;
    h.majorVersion = m_lib.majorVersion;
    h.minorVersion = m_lib.minorVersion;
    h.sysKind = SYS_WIN32;
    h.codePage = kHelpCodePage;
    h.name = String(m_lib.name);
    h.helpString = Help(m_lib.helpString, 0);
    h.helpFile = fgtlb::kNoString;
    for (const Interface& i : m_lib.interfaces) AddInterface(i);
    for (const Coclass& c : m_lib.coclasses) AddCoclass(c);
    if (m_types.size() > fgtlb::kMaxTypes) throw IdlError(0, "more types than a library holds");
    return Layout(h);
  }

 private:
  struct TypeParts {
    fgtlb::TypeRecord record;
    std::vector<fgtlb::FuncRecord> funcs;
    std::vector<std::vector<fgtlb::ParamRecord>> params;
    std::vector<fgtlb::ImplRecord> impls;
  };

  // Bases that the file does not define come from stdole2.tlb.
  void CheckImports() {
    bool stdole = false;
    for (const std::string& lib : m_lib.importLibs) stdole = stdole || lib == "stdole2.tlb";
    for (const Interface& i : m_lib.interfaces)
      if (!stdole && !i.base.empty() && IndexOfInterface(i.base) < 0)
        throw IdlError(i.line, "the library must importlib(\"stdole2.tlb\") for " + i.base);
  }

  uint32_t String(const std::string& text) {
    if (text.empty()) return fgtlb::kNoString;
    auto it = m_stringAt.find(text);
    if (it != m_stringAt.end()) return it->second;
    uint32_t at = static_cast<uint32_t>(m_strings.size());
    m_strings += text;
    m_strings.push_back('\0');
    m_stringAt[text] = at;
    return at;
  }
  uint32_t Help(const std::string& utf8, int line) { return utf8.empty() ? fgtlb::kNoString : String(ToCodePage936(utf8, line)); }

  uint32_t Import(const fgtlb::Guid& type, const char* name) {
    for (size_t i = 0; i < m_imports.size(); ++i)
      if (std::memcmp(&m_imports[i].typeGuid, &type, sizeof type) == 0) return fgtlb::kImportedRef | static_cast<uint32_t>(i);
    fgtlb::ImportRecord r{};
    r.libid = kStdole;
    r.majorVersion = 2;
    r.minorVersion = 0;
    r.typeGuid = type;
    r.fileName = String("stdole2.tlb");
    r.typeName = String(name);
    m_imports.push_back(r);
    return fgtlb::kImportedRef | static_cast<uint32_t>(m_imports.size() - 1);
  }

  int IndexOfInterface(const std::string& name) const {
    for (size_t i = 0; i < m_lib.interfaces.size(); ++i)
      if (m_lib.interfaces[i].name == name) return static_cast<int>(i);
    return -1;
  }

  // The slots of an interface's table: its base's, then its own.
  uint32_t Slots(const std::string& name) const {
    if (name.empty()) return 0;
    int local = IndexOfInterface(name);
    if (local < 0) return name == "IUnknown" ? kUnknownSlots : kDispatchSlots;
    const Interface& i = m_lib.interfaces[static_cast<size_t>(local)];
    return Slots(i.base) + static_cast<uint32_t>(i.methods.size());
  }

  void AddInterface(const Interface& i) {
    TypeParts t{};
    t.record.typeKind = (i.flags & TYPEFLAG_FDUAL) ? TKIND_DISPATCH : TKIND_INTERFACE;
    t.record.guid = i.guid;
    t.record.name = String(i.name);
    t.record.helpString = Help(i.helpString, i.line);
    t.record.typeFlags = i.flags;
    uint32_t first = Slots(i.base);
    t.record.vtableSlots = first + static_cast<uint32_t>(i.methods.size());
    if (!i.base.empty()) {
      int local = IndexOfInterface(i.base);
      uint32_t base = local >= 0                 ? static_cast<uint32_t>(local)
                      : i.base == "IDispatch" ? Import(kIDispatch, "IDispatch")
                                              : Import(kIUnknown, "IUnknown");
      t.impls.push_back({base, 0});
    }
    for (size_t k = 0; k < i.methods.size(); ++k) AddMethod(t, i.methods[k], first + static_cast<uint32_t>(k), k);
    m_types.push_back(std::move(t));
  }

  void AddMethod(TypeParts& t, const Method& m, uint32_t slot, size_t index) {
    fgtlb::FuncRecord f{};
    f.memberId = m.hasId ? m.id : static_cast<int32_t>(0x60020000 + index);
    f.invokeKind = m.invokeKind;
    f.funcKind = FUNC_PUREVIRTUAL;
    f.callConv = CC_STDCALL;
    f.funcFlags = m.funcFlags;
    f.vtableSlot = slot;
    f.name = String(m.name);
    f.helpString = Help(m.helpString, m.line);
    f.helpContext = m.helpContext;
    f.returnType = m.returnType;
    f.paramCount = static_cast<uint32_t>(m.params.size());
    std::vector<fgtlb::ParamRecord> params;
    bool put = m.invokeKind == INVOKE_PROPERTYPUT || m.invokeKind == INVOKE_PROPERTYPUTREF;
    for (size_t k = 0; k < m.params.size(); ++k) {
      const Param& p = m.params[k];
      fgtlb::ParamRecord r{};
      // The value of a property put carries no name in a type library.
      bool value = put && k + 1 == m.params.size();
      r.name = value ? fgtlb::kNoString : String(p.name);
      r.flags = p.flags;
      r.vt = p.vt;
      r.pointee = p.pointee;
      params.push_back(r);
    }
    t.funcs.push_back(f);
    t.params.push_back(std::move(params));
  }

  void AddCoclass(const Coclass& c) {
    TypeParts t{};
    t.record.typeKind = TKIND_COCLASS;
    t.record.guid = c.guid;
    t.record.name = String(c.name);
    t.record.helpString = Help(c.helpString, c.line);
    t.record.typeFlags = c.flags;
    t.record.majorVersion = c.majorVersion;
    t.record.minorVersion = c.minorVersion;
    for (const CoclassInterface& i : c.interfaces)
      t.impls.push_back({static_cast<uint32_t>(IndexOfInterface(i.name)), i.flags});
    m_types.push_back(std::move(t));
  }

  template <class T>
  static void Put(std::string& out, const T& v) {
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
  }

  std::string Layout(fgtlb::LibraryHeader h) {
    // Offsets: header, types, then each type's functions, parameters and
    // implemented interfaces, then the imports and the strings.
    size_t at = sizeof h + m_types.size() * sizeof(fgtlb::TypeRecord);
    for (TypeParts& t : m_types) {
      t.record.funcCount = static_cast<uint32_t>(t.funcs.size());
      t.record.funcsOffset = static_cast<uint32_t>(at);
      at += t.funcs.size() * sizeof(fgtlb::FuncRecord);
      for (size_t k = 0; k < t.funcs.size(); ++k) {
        t.funcs[k].paramsOffset = static_cast<uint32_t>(at);
        at += t.params[k].size() * sizeof(fgtlb::ParamRecord);
      }
      t.record.implCount = static_cast<uint32_t>(t.impls.size());
      t.record.implsOffset = static_cast<uint32_t>(at);
      at += t.impls.size() * sizeof(fgtlb::ImplRecord);
    }
    h.typeCount = static_cast<uint32_t>(m_types.size());
    h.typesOffset = sizeof h;
    h.importCount = static_cast<uint32_t>(m_imports.size());
    h.importsOffset = static_cast<uint32_t>(at);
    at += m_imports.size() * sizeof(fgtlb::ImportRecord);
    h.stringsOffset = static_cast<uint32_t>(at);
    h.stringsSize = static_cast<uint32_t>(m_strings.size());
    if (at + m_strings.size() > fgtlb::kMaxSize) throw IdlError(0, "the library passes 16 MiB");

    std::string out;
    Put(out, h);
    for (const TypeParts& t : m_types) Put(out, t.record);
    for (const TypeParts& t : m_types) {
      for (const fgtlb::FuncRecord& f : t.funcs) Put(out, f);
      for (const auto& params : t.params)
        for (const fgtlb::ParamRecord& p : params) Put(out, p);
      for (const fgtlb::ImplRecord& i : t.impls) Put(out, i);
    }
    for (const fgtlb::ImportRecord& r : m_imports) Put(out, r);
    out += m_strings;
    return out;
  }

  const Library& m_lib;
  std::vector<TypeParts> m_types;
  std::vector<fgtlb::ImportRecord> m_imports;
  std::string m_strings;
  std::map<std::string, uint32_t> m_stringAt;
};

}  // namespace

std::string WriteTypeLibrary(const Library& library) { return Writer(library).Run(); }

}  // namespace fgidl
