// Scripts that attack the console host through the automation bridge: they
// drop references and make the engine collect while a call converts its
// arguments, forge the bridge's values, call its methods on the wrong
// objects, try to outlive WScript.Quit, and hand the host files that are
// not UTF-8 or not files. None may crash the host or steer a pointer; the
// sanitizer build runs the same tests.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "fgscript_fixture.h"

namespace {

using fgtest::Fgscript;

// Enough allocation for the engine to collect, several times over.
constexpr const char* kCollect =
    "function collect() { for (var i = 0; i < 40; i++) { var junk = []; for (var j = 0; j < 20000; j++) "
    "junk.push({ n: j }); } }\n";

TEST_F(Fgscript, ACallHoldsItsObjectWhateverTheScriptCollects) {
  std::string out;
  // Each argument's own code (a handle callback, a getter, valueOf, a
  // replaced Date, a proxy's traps) drops the script's last reference to
  // the object and makes the engine collect while the call converts it.
  ASSERT_EQ(Script(std::string(kCollect) +
                       "var o, m;\n"
                       "function fresh() { o = new ActiveXObject('Farrowgate.DialogHelper'); m = o.OpenDialog; }\n"
                       "function drop() { o = null; collect(); }\n"
                       "var forged = {}; Object.defineProperty(forged, '__fgHandle', { get: function () { drop(); "
                       "return function () { return 1; }; } });\n"
                       "var counted = { valueOf: function () { drop(); return 1; }, toString: function () { drop(); "
                       "return 'x'; } };\n"
                       "var trapped = new Proxy({}, { has: function () { drop(); return true; }, get: function () { "
                       "drop(); return function () { return 1; }; } });\n"
                       "var RealDate = Date; Date = function () {};\n"
                       "Object.defineProperty(Date, Symbol.hasInstance, { value: function () { drop(); return true; } "
                       "});\n"
                       "[forged, counted, trapped, {}].forEach(function (arg) {\n"
                       "  fresh();\n"
                       "  try { m(arg); WScript.Echo('converted'); } catch (e) { WScript.Echo(e.name); }\n"
                       "  drop();\n"
                       "  WScript.Echo('still', m());\n"
                       "});\n",
                   "cancel\ncancel\ncancel\ncancel\n", out),
            0)
      << out;
  EXPECT_EQ(out,
            "TypeError\nstill false\nTypeError\nstill false\nTypeError\nstill false\nTypeError\nstill false\n")
      << "script objects are refused, and a method read from an object holds it through every collection";
}

TEST_F(Fgscript, ForgedBridgeValuesAreRefused) {
  std::string out;
  ASSERT_EQ(Script("function show(f) { try { f(); WScript.Echo('accepted'); } catch (e) { WScript.Echo(e.name, "
                   "e.number, e.message); } }\n"
                   "var address = { __fgArray: function () { return 0x4141414141; } };\n"
                   "show(function () { new VBArray(address); });\n"
                   "show(function () { new Enumerator(address); });\n"
                   "var o = new ActiveXObject('Farrowgate.DialogHelper');\n"
                   "show(function () { o.Title = address; });\n"
                   "show(function () { o.Title = { __fgHandle: function () { return 1; } }; });\n"
                   "o.MultiSelect = true; o.OpenDialog();\n"
                   "var names = o.FileNames, a = new VBArray(names);\n"
                   "WScript.Echo(typeof names.__fgArray, typeof a.__fgArray, typeof o.__fgHandle);\n"
                   // The engine hands a class's methods any wrapped instance: each must check its own.
                   "show(function () { VBArray.prototype.getItem.call(o, 0); });\n"
                   "show(function () { VBArray.prototype.toArray.call(new Enumerator([1])); });\n"
                   "show(function () { Enumerator.prototype.item.call(a); });\n"
                   "show(function () { Object.create(VBArray.prototype).toArray(); });\n"
                   "show(function () { new VBArray(Object.create(a)); });\n"
                   "show(function () { new VBArray(new Proxy(a, {})); });\n"
                   "WScript.Echo(a.toArray().join(','), new VBArray(names).ubound(1), new Enumerator(names).item());\n",
                   "files\t/etc/hostname\t/etc/hosts\n", out),
            0)
      << out;
  EXPECT_EQ(out,
            "TypeError -2146823275 VBArray expected\n"
            "TypeError -2146827837 Object not a collection\n"
            "TypeError undefined a script object cannot be passed to an automation object\n"
            "TypeError undefined a script object cannot be passed to an automation object\n"
            "undefined undefined undefined\n"
            "TypeError -2146823275 VBArray expected\n"
            "TypeError -2146823275 VBArray expected\n"
            "TypeError -2146823273 Enumerator object expected\n"
            "TypeError undefined invalid instance type in method\n"
            "TypeError -2146823275 VBArray expected\n"
            "TypeError -2146823275 VBArray expected\n"
            "/etc/hostname,/etc/hosts 1 /etc/hostname\n");
}

TEST_F(Fgscript, QuitEndsTheScriptAtOnce) {
  std::string out;
  EXPECT_EQ(Script("try { WScript.Quit(3); } catch (e) { WScript.Echo('caught'); }\nWScript.Echo('after');\n", "", out),
            3);
  EXPECT_EQ(out, "") << "Quit cannot be caught";
  EXPECT_EQ(Script("function f() { try { WScript.Quit(4); } finally { return 1; } }\nf();\nWScript.Echo('after');\n",
                   "", out),
            4);
  EXPECT_EQ(out, "") << "a finally does not cancel Quit";
  EXPECT_EQ(Script("var list = [1]; Object.defineProperty(list, 0, { get: function () { WScript.Quit(5); } });\n"
                   "try { new Enumerator(list); } catch (e) {}\nWScript.Echo('after');\n",
                   "", out),
            5);
  EXPECT_EQ(out, "") << "Quit inside a callback the bridge runs ends the script too";
  EXPECT_EQ(Script("var o = new ActiveXObject('Farrowgate.DialogHelper');\nWScript.Quit();\n", "", out,
                   "LD_DEBUG=files"),
            0);
  size_t unloaded = out.find("Farrowgate.so [0];  destroying link map");
  ASSERT_NE(unloaded, std::string::npos) << "the object was released and the component unloaded";
  EXPECT_LT(unloaded, out.find("calling fini:  [0]")) << "before the program itself ended";

  // The code converts as an automation argument converts to a 32-bit integer.
  EXPECT_EQ(Script("WScript.Quit(2.5);", "", out), 2) << "rounded half to even";
  EXPECT_EQ(Script("WScript.Quit('7');", "", out), 7);
  EXPECT_EQ(Script("WScript.Quit(-1);", "", out), 255) << "the system keeps the low 8 bits";
  EXPECT_EQ(Script("try { WScript.Quit(1e12); } catch (e) { WScript.Echo(e.number, e.description); }\n"
                   "try { WScript.Quit('abc'); } catch (e) { WScript.Echo(e.number, e.description); }\n"
                   "WScript.Quit(true);\n",
                   "", out),
            255);
  EXPECT_EQ(out, "-2147352566 Overflow\n-2147352571 Type mismatch\n");
}

TEST_F(Fgscript, TheExampleReportsACancel) {
  std::string out;
  std::string example = std::string(EXAMPLES_DIR) + "/pick-files.js";
  EXPECT_EQ(fgtest::RunCommand(m_env + " FARROWGATE_DIALOG_ANSWERS='" + EXAMPLES_DIR + "/answers/cancel.txt' " +
                                   FGSCRIPT_PATH + " //nologo " + example,
                               &out),
            0);
  EXPECT_EQ(out, "Nothing was chosen.\n");
}

TEST_F(Fgscript, ScriptFilesAreReadInTheirEncoding) {
  std::string out;
  auto run = [&](const std::string& path) {
    return fgtest::RunCommand(m_env + FGSCRIPT_PATH + " //nologo '" + path + "'", &out);
  };
  EXPECT_EQ(run(File("latin1.js", "// caf\xE9\nWScript.Echo('caf\xE9'.length, 'caf\xE9'.charCodeAt(3));\n")), 0) << out;
  EXPECT_EQ(out, "4 233\n") << "not UTF-8: the ANSI code page (1252 where the locale is UTF-8)";
  EXPECT_EQ(run(File("utf8.js", "\xEF\xBB\xBFWScript.Echo('\xC3\xA9'.length);\n")), 0) << out;
  EXPECT_EQ(out, "1\n");
  std::string text = "WScript.Echo('\xE2\x82\xAC'.charCodeAt(0));\n";
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (char c : std::string("WScript.Echo('")) le += std::string{c, '\0'}, be += std::string{'\0', c};
  le += std::string("\xAC\x20", 2), be += std::string("\x20\xAC", 2);
  for (char c : std::string("'.charCodeAt(0));\n")) le += std::string{c, '\0'}, be += std::string{'\0', c};
  EXPECT_EQ(run(File("le.js", le)), 0) << out;
  EXPECT_EQ(out, "8364\n");
  EXPECT_EQ(run(File("be.js", be)), 0) << out;
  EXPECT_EQ(out, "8364\n");
  EXPECT_EQ(run(File("odd.js", le + "x")), 2) << "an odd number of bytes is no UTF-16";
  EXPECT_NE(out.find("cannot be decoded"), std::string::npos) << out;
  EXPECT_EQ(run(File("surrogate.js", std::string("\xFF\xFE\x00\xD8", 4))), 2) << "a lone surrogate";
  EXPECT_EQ(run(File("bad-utf8.js", "\xEF\xBB\xBF\xC3(\n")), 2) << "marked UTF-8 that is not";

  EXPECT_EQ(run(m_dir), 2);
  EXPECT_NE(out.find("cannot read: it is a folder"), std::string::npos) << out;
  std::string fifo = m_dir + "/fifo.js";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(run(fifo), 2) << "a FIFO is refused without waiting for a writer";
  EXPECT_NE(out.find("not a regular file"), std::string::npos) << out;
}

// The codes of the usual script engines' runtime and syntax errors, from
// their published lists ("JScript Run-time Errors": 5007 object expected,
// 5009 undefined identifier, 5022 exception thrown and not caught; "JScript
// Syntax Errors": 1002 syntax error).
TEST_F(Fgscript, ErrorLinesNameTheirPlaceKindAndCode) {
  std::string out;
  EXPECT_EQ(Script("\nthrow 42;\n", "", out), 1);
  EXPECT_EQ(out, m_dir + "/script.js Script runtime error: Exception thrown and not caught (0x800A139E)\n");
  EXPECT_EQ(Script("var e = new Error('plain');\ne.number = 0x800A0005 | 0; e.description = 'Own text';\nthrow e;\n",
                   "", out),
            1);
  EXPECT_EQ(out, m_dir + "/script.js(1, 18) Script runtime error: Own text (0x800A0005)\n");
  EXPECT_EQ(Script("throw { number: 7, description: 'plain object' };", "", out), 1);
  EXPECT_EQ(out, m_dir + "/script.js Script runtime error: plain object (0x00000007)\n");
  EXPECT_EQ(Script("\n  null.x;\n", "", out), 1);
  EXPECT_EQ(out, m_dir + "/script.js(2, 7) Script runtime error: null is not an object (evaluating 'null.x') (0x800A138F)\n");
  EXPECT_EQ(Script("var ok = 1;\nvar x = ;\n", "", out), 1);
  EXPECT_EQ(out, m_dir + "/script.js(2, 9) Script compilation error: Unexpected token ';' (0x800A03EA)\n");
  EXPECT_EQ(Script("var bar = 1;\nfoo bar\n", "", out), 1);
  EXPECT_EQ(out, m_dir + "/script.js(2, 5) Script compilation error: Unexpected identifier 'bar' (0x800A03EA)\n");
}

}  // namespace
