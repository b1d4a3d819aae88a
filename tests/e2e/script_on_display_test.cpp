// A script run by fgscript opens the chooser on a real display and xdotool
// plays the user (display_user.h). Run under Xvfb by ctest.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "display_user.h"
#include "fgplatform/test_process.h"
#include "host_folder.h"

namespace {

class ScriptOnDisplay : public fgtest::HostFolderTest {
 protected:
  void SetUp() override {
    HostFolderTest::SetUp();
    m_files = m_dir + "/files";  // the folder the user looks at holds only these
    ASSERT_EQ(mkdir(m_files.c_str(), 0700), 0);
    for (const char* file : {"A.TXT", "b.txt", "c.log"}) std::ofstream(m_files + "/" + file) << file;
    m_env += "FARROWGATE_DIALOG_ANSWERS= ";
  }
  // Runs the script while `steps` are played into the window titled `title`.
  std::string Run(const std::string& title, const std::string& body, std::vector<std::string> steps) {
    std::string script = m_dir + "/pick.js";
    std::ofstream(script) << "var o = new ActiveXObject('Farrowgate.DialogHelper');\no.Title = '" << title << "';\n"
                          << body;
    User user(title, std::move(steps));
    std::string out;
    // The script's own output; the toolkit's warnings go to a file.
    int status = fgtest::RunCommand("{ " + m_env + FGSCRIPT_PATH + " //nologo '" + script + "' 2>'" + m_dir +
                                        "/stderr.txt'; }",
                                    &out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(user.FoundTheDialog()) << "a window titled " << title;
    return out;
  }
  std::string m_files;
};

TEST_F(ScriptOnDisplay, ATypedPathReachesTheScript) {
  std::string path = m_files + "/b.txt";
  EXPECT_EQ(Run("Script picks one", "o.Filter = 'Text files|*.txt|All files|*.*';\nWScript.Echo(o.OpenDialog(), o.FileName);\n",
                {"key ctrl+l", "type --delay 20 '" + path + "'", "key Return"}),
            "true " + path + "\n");
}

TEST_F(ScriptOnDisplay, TwoFilesComeThroughVBArray) {
  EXPECT_EQ(Run("Script picks several",
                "o.Filter = 'Text files|*.txt|All files|*.*';\no.FileName = '" + m_files +
                    "';\no.MultiSelect = true;\nWScript.Echo(o.OpenDialog(), o.FileName);\n"
                    "var names = new VBArray(o.FileNames).toArray();\nfor (var i = 0; i < names.length; i++) "
                    "WScript.Echo(names[i]);\n",
                {"key ctrl+a", "key Return"}),
            "true " + m_files + "|A.TXT|b.txt\n" + m_files + "/A.TXT\n" + m_files + "/b.txt\n");
}

// Without a session bus, and with no settings back end chosen, the host
// keeps GTK's settings in memory: the toolkit prints no warnings about the
// settings service it cannot reach.
TEST_F(ScriptOnDisplay, ACancelGivesFalseAndNoSessionBusGivesNoWarnings) {
  m_env += "GSETTINGS_BACKEND= DBUS_SESSION_BUS_ADDRESS= XDG_RUNTIME_DIR= ";
  EXPECT_EQ(Run("Script picks nothing", "WScript.Echo(o.OpenDialog());\n", {"key Escape"}), "false\n");
  std::string warnings = Read("stderr.txt");
  EXPECT_EQ(warnings.find("dconf"), std::string::npos) << warnings;
  EXPECT_EQ(warnings.find("WARNING"), std::string::npos) << warnings;
}

}  // namespace
