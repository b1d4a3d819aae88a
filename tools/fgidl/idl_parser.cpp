#include "idl_parser.h"

#include <cstdlib>
#include <map>

#include "fgplatform/typeinfo.h"
#include "idl_lexer.h"

namespace fgidl {

namespace {

// Bounds on what one definition may declare, kept with the library's.
constexpr size_t kMaxMethods = 512;
constexpr size_t kMaxParams = 32;

// The attributes of one bracketed list, as read.
struct Attributes {
  std::map<std::string, std::string> values;  // name -> argument ("" when none)
  int line = 0;
  bool Has(const char* name) const { return values.count(name) != 0; }
  const std::string& Get(const char* name) const { return values.at(name); }
};

bool ParseGuid(const std::string& text, fgtlb::Guid& out) {
  // 8-4-4-4-12 hexadecimal digits.
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
  std::string digits;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) continue;
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    digits.push_back(text[i]);
  }
  auto hex = [&](size_t at, size_t n) { return std::strtoul(digits.substr(at, n).c_str(), nullptr, 16); };
  out.data1 = static_cast<uint32_t>(hex(0, 8));
  out.data2 = static_cast<uint16_t>(hex(8, 4));
  out.data3 = static_cast<uint16_t>(hex(12, 4));
  for (size_t i = 0; i < 8; ++i) out.data4[i] = static_cast<uint8_t>(hex(16 + 2 * i, 2));
  return true;
}

class Parser {
 public:
  explicit Parser(const std::string& text) : m_lex(text) {}

  Library Run() {
    while (m_lex.Peek().kind != Token::End) TopLevel();
    if (!m_lib.defined) throw IdlError(m_lex.Line(), "no library is defined");
    for (const Coclass& c : m_lib.coclasses)
      for (const CoclassInterface& i : c.interfaces)
        if (FindInterface(i.name) == nullptr) throw IdlError(i.line, "unknown interface " + i.name);
    return std::move(m_lib);
  }

 private:
  [[noreturn]] void Fail(const Token& t, const std::string& what) { throw IdlError(t.line, what); }
  bool IsMark(const Token& t, char c) { return t.kind == Token::Mark && t.text.size() == 1 && t.text[0] == c; }
  bool IsWord(const Token& t, const char* w) { return t.kind == Token::Name && t.text == w; }
  void Expect(char c) {
    Token t = m_lex.Next();
    if (!IsMark(t, c)) Fail(t, std::string("expected '") + c + "'" + (t.text.empty() ? "" : ", found " + t.text));
  }
  bool Accept(char c) {
    if (!IsMark(m_lex.Peek(), c)) return false;
    m_lex.Next();
    return true;
  }
  std::string Name() {
    Token t = m_lex.Next();
    if (t.kind != Token::Name) Fail(t, "expected a name" + (t.text.empty() ? std::string() : ", found " + t.text));
    return t.text;
  }
  std::string String() {
    Token t = m_lex.Next();
    if (t.kind != Token::String) Fail(t, "expected a string");
    return t.text;
  }

  const Interface* FindInterface(const std::string& name) const {
    for (const Interface& i : m_lib.interfaces)
      if (i.name == name) return &i;
    return nullptr;
  }

  // "[" attribute {"," attribute} "]"; the argument of uuid and version is
  // read raw, that of helpstring as a string, of the others as a token.
  Attributes ReadAttributes() {
    Attributes a;
    a.line = m_lex.Peek().line;
    Expect('[');
    do {
      Token name = m_lex.Next();
      if (name.kind != Token::Name) Fail(name, "expected an attribute");
      std::string value;
      if (Accept('(')) {
        if (name.text == "uuid" || name.text == "version") {
          value = m_lex.RawUntilParenthesis();
        } else {
          Token arg = m_lex.Next();
          if (arg.kind == Token::End || IsMark(arg, ')')) Fail(arg, "expected an argument of " + name.text);
          value = arg.text;
        }
        Expect(')');
      }
      if (a.values.count(name.text)) Fail(name, "attribute " + name.text + " given twice");
      a.values[name.text] = value;
    } while (Accept(','));
    Expect(']');
    return a;
  }

  void TakeGuid(const Attributes& a, fgtlb::Guid& guid, bool& has) {
    if (!a.Has("uuid")) return;
    if (!ParseGuid(a.Get("uuid"), guid)) throw IdlError(a.line, "a bad uuid: " + a.Get("uuid"));
    has = true;
  }

  void TakeVersion(const Attributes& a, uint16_t& major, uint16_t& minor) {
    if (!a.Has("version")) return;
    const std::string& v = a.Get("version");
    char* end = nullptr;
    unsigned long ma = std::strtoul(v.c_str(), &end, 10);
    unsigned long mi = 0;
    if (*end == '.') mi = std::strtoul(end + 1, &end, 10);
    if (*end != '\0' || ma > 0xFFFF || mi > 0xFFFF || v.empty() || !std::isdigit(static_cast<unsigned char>(v[0])))
      throw IdlError(a.line, "a bad version: " + v);
    major = static_cast<uint16_t>(ma);
    minor = static_cast<uint16_t>(mi);
  }

  void CheckKnown(const Attributes& a, std::initializer_list<const char*> known) {
    for (const auto& [name, value] : a.values) {
      bool ok = false;
      for (const char* k : known) ok = ok || name == k;
      if (!ok) throw IdlError(a.line, "attribute " + name + " is not understood here");
    }
  }

  void TopLevel() {
    const Token& t = m_lex.Peek();
    if (IsWord(t, "import")) {
      m_lex.Next();
      String();
      while (Accept(',')) String();
      Expect(';');
      return;
    }
    if (!IsMark(t, '[')) Fail(t, "expected an attributed interface or library, found " + t.text);
    Attributes a = ReadAttributes();
    Token what = m_lex.Next();
    if (IsWord(what, "interface")) return InterfaceDefinition(a, what.line);
    if (IsWord(what, "library")) return LibraryDefinition(a, what);
    Fail(what, "expected interface or library, found " + what.text);
  }

  void InterfaceDefinition(const Attributes& a, int line) {
    CheckKnown(a, {"object", "uuid", "dual", "oleautomation", "nonextensible", "helpstring", "helpcontext",
                   "pointer_default", "hidden", "local"});
    Interface i;
    i.line = line;
    i.name = Name();
    if (FindInterface(i.name) != nullptr) throw IdlError(line, "interface " + i.name + " defined twice");
    TakeGuid(a, i.guid, i.hasGuid);
    if (!i.hasGuid) throw IdlError(line, "interface " + i.name + " has no uuid");
    if (a.Has("helpstring")) i.helpString = a.Get("helpstring");
    if (a.Has("dual")) i.flags |= TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
    if (a.Has("oleautomation")) i.flags |= TYPEFLAG_FOLEAUTOMATION;
    if (a.Has("nonextensible")) i.flags |= TYPEFLAG_FNONEXTENSIBLE;
    if (a.Has("hidden")) i.flags |= TYPEFLAG_FHIDDEN;
    // IUnknown alone has no base: it starts every table.
    if (i.name != "IUnknown" || IsMark(m_lex.Peek(), ':')) {
      Expect(':');
      i.base = Name();
    }
    if (!i.base.empty() && i.base != "IDispatch" && i.base != "IUnknown" && FindInterface(i.base) == nullptr)
      throw IdlError(line, "unknown base interface " + i.base);
    if ((i.flags & TYPEFLAG_FDUAL) && i.base != "IDispatch") throw IdlError(line, "a dual interface derives from IDispatch");
    Expect('{');
    while (!Accept('}')) {
      if (i.methods.size() >= kMaxMethods) Fail(m_lex.Peek(), "more than 512 methods");
      i.methods.push_back(MethodDefinition());
    }
    Accept(';');
    m_lib.interfaces.push_back(std::move(i));
  }

  Method MethodDefinition() {
    Method m;
    m.line = m_lex.Peek().line;
    if (IsMark(m_lex.Peek(), '[')) {
      Attributes a = ReadAttributes();
      CheckKnown(a, {"id", "propget", "propput", "propputref", "helpstring", "helpcontext", "hidden", "restricted"});
      if (a.Has("restricted")) m.funcFlags |= FUNCFLAG_FRESTRICTED;
      if (a.Has("hidden")) m.funcFlags |= FUNCFLAG_FHIDDEN;
      if (a.Has("id")) {
        char* end = nullptr;
        const std::string& v = a.Get("id");
        long id = std::strtol(v.c_str(), &end, 0);
        if (*end != '\0' || v.empty()) throw IdlError(a.line, "a bad id: " + v);
        m.id = static_cast<int32_t>(id);
        m.hasId = true;
      }
      if (a.Has("propget")) m.invokeKind = INVOKE_PROPERTYGET;
      if (a.Has("propput")) m.invokeKind = INVOKE_PROPERTYPUT;
      if (a.Has("propputref")) m.invokeKind = INVOKE_PROPERTYPUTREF;
      if (a.Has("helpstring")) m.helpString = a.Get("helpstring");
      if (a.Has("helpcontext")) m.helpContext = static_cast<uint32_t>(std::strtoul(a.Get("helpcontext").c_str(), nullptr, 0));
    }
    Param result = TypeOf(m.line);
    if (result.vt == VT_PTR) throw IdlError(m.line, "a method returns no pointer");
    m.returnType = result.vt;
    m.name = Name();
    Expect('(');
    if (IsWord(m_lex.Peek(), "void")) {
      m_lex.Next();
    } else {
      while (!IsMark(m_lex.Peek(), ')')) {
        if (m.params.size() >= kMaxParams) Fail(m_lex.Peek(), "more than 32 parameters");
        m.params.push_back(ParamDefinition());
        if (!Accept(',')) break;
      }
    }
    Expect(')');
    Expect(';');
    return m;
  }

  Param ParamDefinition() {
    Param p;
    p.line = m_lex.Peek().line;
    uint16_t flags = 0;
    if (IsMark(m_lex.Peek(), '[')) {
      Attributes a = ReadAttributes();
      CheckKnown(a, {"in", "out", "retval", "lcid", "optional"});
      if (a.Has("in")) flags |= PARAMFLAG_FIN;
      if (a.Has("out")) flags |= PARAMFLAG_FOUT;
      if (a.Has("retval")) flags |= PARAMFLAG_FRETVAL;
      if (a.Has("lcid")) flags |= PARAMFLAG_FLCID;
      if (a.Has("optional")) flags |= PARAMFLAG_FOPT;
    }
    Param typed = TypeOf(p.line);
    p.vt = typed.vt;
    p.pointee = typed.pointee;
    p.flags = flags;
    if (m_lex.Peek().kind == Token::Name) p.name = Name();
    if ((flags & PARAMFLAG_FOUT) && p.vt != VT_PTR) throw IdlError(p.line, "an out parameter is a pointer");
    return p;
  }

  // A type with at most one level of pointer (interfaces are pointers
  // already: IDispatch* is VT_DISPATCH, IDispatch** a pointer to it), or
  // void**. The records of the system's interfaces (GUID, DISPPARAMS,
  // EXCEPINFO) are described as void; REFIID as a pointer to it; an
  // interface other than IUnknown and IDispatch as IUnknown.
  Param TypeOf(int line) {
    static const std::map<std::string, uint16_t> kBase = {
        {"HRESULT", VT_HRESULT}, {"VARIANT_BOOL", VT_BOOL},  {"BSTR", VT_BSTR},        {"VARIANT", VT_VARIANT},
        {"long", VT_I4},         {"int", VT_INT},            {"short", VT_I2},         {"char", VT_I1},
        {"double", VT_R8},       {"float", VT_R4},           {"void", VT_VOID},        {"IUnknown", VT_UNKNOWN},
        {"IDispatch", VT_DISPATCH}, {"ITypeInfo", VT_UNKNOWN}, {"UINT", VT_UINT},      {"ULONG", VT_UI4},
        {"LCID", VT_UI4},        {"DISPID", VT_I4},          {"WORD", VT_UI2},         {"LPOLESTR", VT_LPWSTR},
        {"GUID", VT_VOID},       {"DISPPARAMS", VT_VOID},    {"EXCEPINFO", VT_VOID}};
    std::string name = Name();
    Param p;
    if (name == "REFIID") {
      p.vt = VT_PTR;
      p.pointee = VT_VOID;
      return p;
    }
    auto it = kBase.find(name);
    bool isInterface = name == "IUnknown" || name == "IDispatch" || name == "ITypeInfo";
    if (it == kBase.end()) throw IdlError(line, "unknown type " + name);
    p.vt = it->second;
    int stars = 0;
    while (Accept('*')) ++stars;
    if (isInterface) {
      if (stars == 0) throw IdlError(line, "an interface is passed by pointer");
      --stars;
    }
    if (stars == 2 && name == "void") {
      p.vt = VT_PTR;
      p.pointee = VT_PTR;  // a pointer to a pointer to void
      return p;
    }
    if (stars > 1) throw IdlError(line, "more than one level of pointer");
    if (stars == 1) {
      p.pointee = p.vt;
      p.vt = VT_PTR;
    }
    return p;
  }

  void LibraryDefinition(const Attributes& a, const Token& at) {
    CheckKnown(a, {"uuid", "version", "lcid", "helpstring", "helpcontext"});
    if (m_lib.defined) Fail(at, "a second library");
    m_lib.defined = true;
    m_lib.name = Name();
    TakeGuid(a, m_lib.guid, m_lib.hasGuid);
    if (!m_lib.hasGuid) Fail(at, "library " + m_lib.name + " has no uuid");
    TakeVersion(a, m_lib.majorVersion, m_lib.minorVersion);
    if (a.Has("lcid")) m_lib.lcid = static_cast<uint32_t>(std::strtoul(a.Get("lcid").c_str(), nullptr, 0));
    if (a.Has("helpstring")) m_lib.helpString = a.Get("helpstring");
    Expect('{');
    while (!Accept('}')) LibraryItem();
    Accept(';');
  }

  void LibraryItem() {
    const Token& t = m_lex.Peek();
    if (IsWord(t, "importlib")) {
      m_lex.Next();
      Expect('(');
      m_lib.importLibs.push_back(String());
      Expect(')');
      Expect(';');
      return;
    }
    if (IsWord(t, "interface")) {  // a reference to an interface defined above
      m_lex.Next();
      Token name = m_lex.Next();
      if (FindInterface(name.text) == nullptr) Fail(name, "unknown interface " + name.text);
      Expect(';');
      return;
    }
    if (!IsMark(t, '[')) Fail(t, "expected importlib, interface or an attributed coclass, found " + t.text);
    Attributes a = ReadAttributes();
    Token what = m_lex.Next();
    if (IsWord(what, "interface")) return InterfaceDefinition(a, what.line);
    if (!IsWord(what, "coclass")) Fail(what, "expected coclass or interface, found " + what.text);
    CoclassDefinition(a, what.line);
  }

  void CoclassDefinition(const Attributes& a, int line) {
    CheckKnown(a, {"uuid", "helpstring", "helpcontext", "version", "noncreatable", "appobject", "hidden"});
    Coclass c;
    c.line = line;
    c.name = Name();
    TakeGuid(a, c.guid, c.hasGuid);
    if (!c.hasGuid) throw IdlError(line, "coclass " + c.name + " has no uuid");
    if (a.Has("helpstring")) c.helpString = a.Get("helpstring");
    TakeVersion(a, c.majorVersion, c.minorVersion);
    if (!a.Has("noncreatable")) c.flags |= TYPEFLAG_FCANCREATE;
    if (a.Has("appobject")) c.flags |= TYPEFLAG_FAPPOBJECT;
    if (a.Has("hidden")) c.flags |= TYPEFLAG_FHIDDEN;
    Expect('{');
    while (!Accept('}')) {
      CoclassInterface i;
      i.line = m_lex.Peek().line;
      if (IsMark(m_lex.Peek(), '[')) {
        Attributes ia = ReadAttributes();
        CheckKnown(ia, {"default", "source", "restricted"});
        if (ia.Has("default")) i.flags |= IMPLTYPEFLAG_FDEFAULT;
        if (ia.Has("source")) i.flags |= IMPLTYPEFLAG_FSOURCE;
        if (ia.Has("restricted")) i.flags |= IMPLTYPEFLAG_FRESTRICTED;
      }
      Token kind = m_lex.Next();
      if (!IsWord(kind, "interface") && !IsWord(kind, "dispinterface")) Fail(kind, "expected interface");
      i.name = Name();
      Expect(';');
      if (c.interfaces.size() >= fgtlb::kMaxImplsPerType) throw IdlError(i.line, "too many interfaces");
      c.interfaces.push_back(i);
    }
    Accept(';');
    m_lib.coclasses.push_back(std::move(c));
  }

  Lexer m_lex;
  Library m_lib;
};

}  // namespace

Library ParseIdl(const std::string& text) { return Parser(text).Run(); }

}  // namespace fgidl
