// The console script host as a user runs it: the component registered in
// a store of the test's own, scripts that drive it, the dialog answered
// from a file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "fgscript_fixture.h"
#include "fgplatform/test_process.h"

namespace {

using fgtest::Fgscript;

TEST_F(Fgscript, EachResultOfTheDialogReachesTheScript) {
  std::string out;
  ASSERT_EQ(Script("var o = new ActiveXObject('Farrowgate.DialogHelper');\n"
                   "o.Title = 'Pick'; o.Filter = 'Text|*.txt|All|*.*';\n"
                   "WScript.Echo(o.OpenDialog(), o.FileName);\n"
                   "WScript.Echo(o.OpenDialog());\n"
                   "o.MultiSelect = true;\n"
                   "WScript.Echo(o.OpenDialog(), o.FileName, new VBArray(o.FileNames).toArray().join(','));\n"
                   "for (var e = new Enumerator(o.FileNames); !e.atEnd(); e.moveNext()) WScript.Echo('item', e.item());\n"
                   "try { o.OpenDialog(); } catch (x) { WScript.Echo(x.description, x.number); }\n"
                   "o.MultiSelect = false; WScript.Echo(o.OpenDialog(), o.FileName);\n",
                   "files\t/etc/hosts\ncancel\nfiles\t/etc/hostname\t/etc/hosts\nerror 0x3002\nfiles-readonly\t/etc/passwd\n",
                   out),
            0)
      << out;
  EXPECT_EQ(out,
            "true /etc/hosts\n"
            "false\n"
            "true /etc|hostname|hosts /etc/hostname,/etc/hosts\n"
            "item /etc/hostname\n"
            "item /etc/hosts\n"
            "\xE6\x96\x87\xE4\xBB\xB6\xE5\x90\x8D\xE6\x97\xA0\xE6\x95\x88" "ErrorCode:12290 -2147352567\n"
            "true /etc/passwd\n");
  EXPECT_NE(DialogLog().find("Pick"), std::string::npos) << "the title reached the dialog";
}

TEST_F(Fgscript, ConversionsAsAScriptSeesThem) {
  std::string out;
  ASSERT_EQ(Script("var o = new ActiveXObject('Farrowgate.DialogHelper');\n"
                   "WScript.Echo(typeof o.FileNames, typeof o.OpenDialog);\n"
                   "o.MultiSelect = 1; WScript.Echo(o.MultiSelect);\n"
                   "o.MultiSelect = false; o.MultiSelect = 'True'; WScript.Echo(o.MultiSelect);\n"
                   "o.Title = 5; WScript.Echo(typeof o.Title, o.Title);\n"
                   "o.Title = new Date(2020, 0, 2); WScript.Echo(o.Title);\n"
                   "o.Title = new Date(2020, 0, 2, 18, 30); WScript.Echo(o.Title);\n"
                   "try { o.MultiSelect = 'nonsense'; } catch (x) { WScript.Echo(x.number, x.description); }\n"
                   "try { o.Title = function () {}; } catch (x) { WScript.Echo(x.name, x.message); }\n"
                   "try { o.Title = {}; } catch (x) { WScript.Echo(x.name, x.message); }\n"

                   "WScript.Echo(WScript.Arguments.length, WScript.Arguments(1), WScript.Arguments.Item(0), "
                   "WScript.Arguments.Count(), WScript.ScriptName);\n",
                   "", out),
            0)
      << out;
  EXPECT_EQ(out,
            "undefined function\n"
            "true\n"
            "true\n"
            "string 5\n"
            "1/2/2020\n"
            "1/2/2020 6:30:00 PM\n"
            "-2147352571 Type mismatch\n"
            "TypeError a function cannot be passed to an automation object\n"
            "TypeError a script object cannot be passed to an automation object\n"
            "2 two words one 2 script.js\n");
  EXPECT_EQ(DialogLog(), "") << "reading OpenDialog shows no dialog";
}

TEST_F(Fgscript, TheHostObjectAndArrayMembers) {
  std::string out;
  ASSERT_EQ(Script("var o = new ActiveXObject('Farrowgate.DialogHelper');\n"
                   "o.MultiSelect = true; o.OpenDialog();\n"
                   "var a = new VBArray(o.FileNames);\n"
                   "WScript.Echo(a.dimensions(), a.lbound(1), a.ubound(1), a.getItem(1));\n"
                   "try { a.getItem(1, 2); } catch (x) { WScript.Echo('bad count', x.number); }\n"
                   "var copy = new VBArray(a); WScript.Echo(copy.toArray().length);\n"
                   "var e = new Enumerator([1, 'two']); e.moveNext(); WScript.Echo(e.item()); e.moveFirst(); "
                   "WScript.Echo(e.item(), e.atEnd());\n"
                   "var start = Date.now(); WScript.Sleep(50); WScript.Echo(Date.now() - start >= 45);\n"
                   "WScript.StdOut.WriteLine('to stdout'); WScript.StdErr.WriteLine('to stderr');\n"
                   "WScript.Echo(WScript.ScriptFullName.charAt(0) === '/', WScript.ScriptFullName.slice(-9));\n"
                   "try { new VBArray(5); } catch (x) { WScript.Echo('not an array', x.name, x.number, x.description); }\n",
                   "files\t/etc/hostname\t/etc/hosts\n", out),
            0)
      << out;
  EXPECT_EQ(out,
            "1 0 1 /etc/hosts\n"
            "bad count -2147352562\n"
            "2\n"
            "two\n"
            "1 false\n"
            "true\n"
            "to stdout\n"
            "to stderr\n"
            "true script.js\n"
            "not an array TypeError -2146823275 VBArray expected\n");
}

// The host options of the usual console hosts, before the file and in any
// case; WScript's host properties.
TEST_F(Fgscript, HostOptionsAndHostPropertiesAsTheUsualHostsHaveThem) {
  std::string script = File("host.js",
                            "WScript.Echo(WScript.Interactive, WScript.Timeout, WScript.Version, WScript.BuildVersion);\n"
                            "WScript.Echo(WScript.FullName == WScript.Path + '/' + WScript.FullName.split('/').pop());\n"
                            "WScript.Echo(typeof WScript.CreateObject('Farrowgate.DialogHelper').OpenDialog);\n"
                            "try { WScript.GetObject('x'); } catch (e) { WScript.Echo(e.number); }\n"
                            "WScript.Interactive = true; WScript.Echo(WScript.Interactive, WScript.Arguments(0));\n");
  auto run = [&](const std::string& options, std::string& out) {
    return fgtest::RunCommand(m_env + FGSCRIPT_PATH + " " + options, &out);
  };
  std::string out;
  ASSERT_EQ(run("//b //T:30 '" + script + "' //nologo", out), 0) << out;
  EXPECT_EQ(out, "false 30 1.0 1\ntrue\nfunction\n-2146827859\ntrue //nologo\n")
      << "batch mode shows no logo; options after the file are the script's";
  ASSERT_EQ(run("//LOGO //I '" + script + "'", out), 0) << out;
  EXPECT_EQ(out.rfind("Farrowgate Script Host 1.0\n\ntrue 0 1.0 1\n", 0), 0u) << out;

  std::string forever = File("forever.js", "WScript.Echo('started'); while (true) {}\n");
  EXPECT_EQ(run("//nologo //T:1 '" + forever + "'", out), 1) << out;
  EXPECT_NE(out.find("Script execution time was exceeded on script \"" + forever +
                     "\".\nScript execution was terminated."),
            std::string::npos)
      << out;
  std::string later = File("later.js", "WScript.Timeout = 1; WScript.Echo(WScript.Timeout); while (true) {}\n");
  EXPECT_EQ(run("//nologo '" + later + "'", out), 1) << "a timeout the script sets: " << out;

  ASSERT_EQ(run("//?", out), 0);
  EXPECT_EQ(out.rfind("usage: fgscript", 0), 0u) << out;
  EXPECT_EQ(run("//T:0 '" + script + "'", out), 2) << out;
  EXPECT_EQ(run("//T:40000 '" + script + "'", out), 2) << out;
  EXPECT_EQ(run("//X '" + script + "'", out), 2) << out;
}

// Arguments as the usual hosts split them (named /name:value and /flag,
// names without regard to case, the rest unnamed), each collection walked
// by Enumerator; standard input read by line, by character and whole.
TEST_F(Fgscript, ArgumentCollectionsAndStandardInput) {
  std::string script = File(
      "io.js",
      "var a = WScript.Arguments;\n"
      "WScript.Echo(a.length, a.Named.length, a.Named.Count(), a.Unnamed.length, a.Named('NAME'), "
      "a.Named.Item('flag'), a.Named.Exists('FLAG'), a.Named.Exists('x'), a.Unnamed(1));\n"
      "function walk(c) { var s = []; for (var e = new Enumerator(c); !e.atEnd(); e.moveNext()) s.push(e.item()); "
      "return s.join('|'); }\n"
      "WScript.Echo(walk(a), walk(a.Named), walk(a.Unnamed), walk([1, 2]));\n"
      "var i = WScript.StdIn;\n"
      "WScript.Echo(i.AtEndOfStream, i.ReadLine(), i.Read(3), i.AtEndOfLine, i.ReadLine());\n"
      "i.SkipLine(); WScript.StdOut.Write(JSON.stringify(i.ReadAll())); WScript.StdOut.WriteBlankLines(2);\n"
      "WScript.StdErr.WriteLine('err');\n"
      "try { i.ReadLine(); } catch (x) { WScript.Echo(i.AtEndOfStream, x.number, x.description); }\n"
      "try { i.SkipLine(); } catch (x) { WScript.Echo(x.description); }\n"
      "WScript.Echo(JSON.stringify(i.ReadAll()));\n");
  std::string out;
  ASSERT_EQ(fgtest::RunCommand("{ printf 'first line\\r\\nab\\303\\251d\\nskipped\\nrest\\nend' | " + m_env +
                                   FGSCRIPT_PATH + " //nologo '" + script + "' one /Name:value /flag 'two words'; }",
                               &out),
            0)
      << out;
  EXPECT_EQ(out,
            "4 2 2 2 value undefined true false two words\n"
            "one|/Name:value|/flag|two words Name|flag one|two words 1|2\n"
            "false first line ab\xC3\xA9 false d\n"
            "\"rest\\nend\"\n\nerr\n"
            "true -2146828226 Input past end of file\n"
            "Input past end of file\n"
            "\"\"\n");
}

TEST_F(Fgscript, ErrorsArePrintedWithTheirPlaceAndCode) {
  std::string out;
  EXPECT_EQ(Script("WScript.Echo('before');\nnoSuchFunction();\n", "", out), 1);
  EXPECT_NE(out.find("before\n"), std::string::npos);
  EXPECT_NE(out.find("script.js(2, "), std::string::npos) << out;
  EXPECT_NE(out.find("Script runtime error: Can't find variable: noSuchFunction (0x800A1391)"), std::string::npos);

  EXPECT_EQ(Script("WScript.Echo('never');\nvar x = ;\n", "", out), 1);
  EXPECT_EQ(out.find("never"), std::string::npos) << "a syntax error stops the script before it runs";
  EXPECT_NE(out.find("script.js(2, "), std::string::npos) << out;
  EXPECT_NE(out.find("Script compilation error"), std::string::npos) << out;
  EXPECT_NE(out.find("(0x800A03EA)"), std::string::npos) << out;

  EXPECT_EQ(Script("var o = new ActiveXObject('No.Such.Class');\n", "", out), 1);
  EXPECT_NE(out.find("script.js(1, "), std::string::npos) << out;
  EXPECT_NE(out.find("Automation server can't create object (0x800401F3)"), std::string::npos) << out;

  EXPECT_EQ(Script("var o = new ActiveXObject('Farrowgate.DialogHelper');\no.MultiSelect = 'x';\n", "", out), 1);
  EXPECT_NE(out.find("script.js(2, "), std::string::npos) << "the failing call's line, not the bridge's: " << out;
  EXPECT_NE(out.find("Type mismatch (0x80020005)"), std::string::npos) << out;

  EXPECT_EQ(Script("WScript.Quit(7);\nWScript.Echo('never');\n", "", out), 7);
  EXPECT_EQ(out, "");
  EXPECT_EQ(fgtest::RunCommand(std::string(FGSCRIPT_PATH) + " '" + File("hello.js", "WScript.Echo('hello');") + "'",
                               &out),
            0);
  EXPECT_EQ(out.substr(0, 26), "Farrowgate Script Host 1.0") << "the banner without //nologo";
  EXPECT_EQ(fgtest::RunCommand(std::string(FGSCRIPT_PATH) + " //nologo " + m_dir + "/missing.js", &out), 2);
  EXPECT_EQ(fgtest::RunCommand(std::string(FGSCRIPT_PATH), &out), 2);
}

TEST_F(Fgscript, ObjectsKeptAtTheEndAreReleasedAndTheComponentUnloaded) {
  std::string out;
  ASSERT_EQ(Script("var kept = new ActiveXObject('Farrowgate.DialogHelper');\nvar again = kept;\n"
                   "var names = kept.FileNames;\nWScript.Echo('kept');\n",
                   "", out, "LD_DEBUG=files"),
            0)
      << out;
  size_t unloaded = out.find("Farrowgate.so [0];  destroying link map");
  size_t programEnd = out.find("calling fini:  [0]");
  ASSERT_NE(unloaded, std::string::npos) << "the component was unloaded, its static destructors run";
  EXPECT_LT(unloaded, programEnd) << "before the program itself ended";
}

}  // namespace
