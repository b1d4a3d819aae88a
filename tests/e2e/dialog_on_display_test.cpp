// The open-file dialog on a real display: the object opens the toolkit's
// chooser, and xdotool plays the user (display_user.h). Run under Xvfb by
// ctest.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "../dialog/test_dialog_helper.h"
#include "display_user.h"

namespace {

class DialogOnDisplay : public DialogObjectTest {
 protected:
  void SetUp() override {
    DialogObjectTest::SetUp();
    unsetenv("FARROWGATE_DIALOG_ANSWERS");
    char name[] = "/tmp/fg-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    m_dir = name;
    for (const char* file : {"A.TXT", "b.txt", "c.log"}) std::ofstream(m_dir + "/" + file) << file;
  }
  void TearDown() override {
    std::system(("rm -rf '" + m_dir + "'").c_str());
    DialogObjectTest::TearDown();
  }
  static std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }
  // Opens the dialog while `steps` are played into the window titled `title`.
  HRESULT Open(const std::string& title, std::vector<std::string> steps, VARIANT_BOOL& result) {
    Put(&IDialogHelper::put_Title, Wide(title).c_str());
    User user(title, std::move(steps));
    HRESULT hr = m_object->OpenDialog(&result);
    EXPECT_TRUE(user.FoundTheDialog()) << "a window titled " << title;
    return hr;
  }
  std::string m_dir;
};

TEST_F(DialogOnDisplay, ATypedPathIsChosen) {
  Put(&IDialogHelper::put_Filter, u"Text files|*.txt|All files|*.*");
  std::string path = m_dir + "/b.txt";
  VARIANT_BOOL result = 0;
  ASSERT_EQ(Open("Choose one", {"key ctrl+l", "type --delay 20 '" + path + "'", "key Return"}, result),
            S_OK);
  EXPECT_EQ(result, VARIANT_TRUE);
  EXPECT_EQ(FileName(), Wide(path));
  EXPECT_EQ(FileNames(), std::vector<std::u16string>{Wide(path)});
}

// The folder is offered as the first name; selecting all under "*.txt"
// takes A.TXT (patterns match without regard to case) and b.txt, not c.log.
TEST_F(DialogOnDisplay, TwoFilesAreChosenInMultiSelectMode) {
  Put(&IDialogHelper::put_Filter, u"Text files|*.txt|All files|*.*");
  Put(&IDialogHelper::put_FileName, Wide(m_dir).c_str());
  ASSERT_EQ(m_object->put_MultiSelect(VARIANT_TRUE), S_OK);
  VARIANT_BOOL result = 0;
  ASSERT_EQ(Open("Choose several", {"key ctrl+a", "key Return"}, result), S_OK);
  EXPECT_EQ(result, VARIANT_TRUE);
  EXPECT_EQ(FileName(), Wide(m_dir + "|A.TXT|b.txt"));
  EXPECT_EQ(FileNames(), (std::vector<std::u16string>{Wide(m_dir + "/A.TXT"), Wide(m_dir + "/b.txt")}));
}

TEST_F(DialogOnDisplay, CancelLeavesTheNameAlone) {
  Put(&IDialogHelper::put_FileName, u"before");
  VARIANT_BOOL result = -1;
  ASSERT_EQ(Open("Choose nothing", {"key Escape"}, result), S_OK);
  EXPECT_EQ(result, VARIANT_FALSE);
  EXPECT_EQ(FileName(), u"before");
  EXPECT_TRUE(FileNames().empty());
  EXPECT_EQ(TakeDescription(), u"<none>");
}

// A name that is not UTF-8 has no UTF-16 form: the dialog fails with
// FNERR_INVALIDFILENAME, reported as the object reports every failure.
TEST_F(DialogOnDisplay, ANameWithoutAUtf16FormFailsTheDialog) {
  std::string odd = m_dir + "/odd";
  ASSERT_EQ(mkdir(odd.c_str(), 0700), 0);
  std::ofstream(odd + "/\xff\xfe.txt") << "x";
  Put(&IDialogHelper::put_FileName, Wide(odd).c_str());
  ASSERT_EQ(m_object->put_MultiSelect(VARIANT_TRUE), S_OK);
  VARIANT_BOOL result = -1;
  EXPECT_EQ(Open("Choose the odd one", {"key ctrl+a", "key Return"}, result), DISP_E_EXCEPTION);
  EXPECT_EQ(result, VARIANT_FALSE);
  EXPECT_EQ(TakeDescription(), u"\u6587\u4EF6\u540D\u65E0\u6548ErrorCode:12290");
}

}  // namespace
