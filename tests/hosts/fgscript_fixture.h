// The console script host as a user runs it: the component registered in
// a store of the test's own, a script file, the dialog answered from a
// file. The test target defines FGSCRIPT_PATH and JSC_LEAKS.
#pragma once

#include <string>

#include "fgplatform/test_process.h"
#include "host_folder.h"

namespace fgtest {

class Fgscript : public fgtest::HostFolderTest {
 protected:
  void SetUp() override {
    HostFolderTest::SetUp();
    m_env += "FARROWGATE_DIALOG_LOG='" + m_dir + "/dialogs.log' LSAN_OPTIONS=print_suppressions=0:suppressions=" +
             JSC_LEAKS + " ";
  }
  // Runs a script with the given dialog answers; its exit status and output.
  int Script(const std::string& text, const std::string& answers, std::string& out, const std::string& extra = "") {
    std::string script = File("script.js", text);
    std::string answersFile = File("answers.txt", answers);
    return fgtest::RunCommand(m_env + extra + " FARROWGATE_DIALOG_ANSWERS='" + answersFile + "' " + FGSCRIPT_PATH +
                                  " //nologo '" + script + "' one 'two words'",
                              &out);
  }
  std::string DialogLog() { return Read("dialogs.log"); }
};

}  // namespace fgtest
