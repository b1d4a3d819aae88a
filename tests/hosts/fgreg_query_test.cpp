// The registry tool's query switches, copy and compare, run as a user runs
// them.
#include <gtest/gtest.h>

#include <string>

#include "fgreg_fixture.h"

namespace {

class FgregQuery : public Fgreg {
 protected:
  void SetUp() override {
    Fgreg::SetUp();
    const char* adds[] = {
        "'HKCU\\Software\\Fg' /ve /d 'Default Text'",
        "'HKCU\\Software\\Fg' /v Count /t REG_DWORD /d 42",
        "'HKCU\\Software\\Fg' /v List /t REG_MULTI_SZ /d 'a\\0bc'",
        "'HKCU\\Software\\Fg\\Sub' /v Color /d text",
        "'HKCU\\Software\\Fg\\Empty'",
    };
    for (const char* add : adds) ASSERT_EQ(Run(std::string("add ") + add), 0) << add;
  }
  std::string Query(const std::string& args, int expected = 0) {
    std::string out;
    EXPECT_EQ(Run("query " + args, &out), expected) << args << "\n" << out;
    return out;
  }
};

TEST_F(FgregQuery, ShowsValuesThenABlankLineThenSubkeys) {
  EXPECT_EQ(Query("'HKCU\\Software\\Fg'"),
            "HKEY_CURRENT_USER\\Software\\Fg\n"
            "    (Default)    REG_SZ    Default Text\n"
            "    Count    REG_DWORD    0x2a\n"
            "    List    REG_MULTI_SZ    a\\0bc\n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\Fg\\Empty\n"
            "HKEY_CURRENT_USER\\Software\\Fg\\Sub\n"
            "\n");
  EXPECT_EQ(Query("'HKCU\\Software\\Fg\\Empty' /ve"),
            "HKEY_CURRENT_USER\\Software\\Fg\\Empty\n    (Default)    REG_SZ    (value not set)\n\n");
  EXPECT_EQ(Query("'HKCU\\Software\\Fg' /t REG_DWORD /z"),
            "HKEY_CURRENT_USER\\Software\\Fg\n    Count    REG_DWORD (4)    0x2a\n\n"
            "HKEY_CURRENT_USER\\Software\\Fg\\Empty\nHKEY_CURRENT_USER\\Software\\Fg\\Sub\n\n");
  std::string out = Query("'HKCU\\Software\\Fg' /v List /se ';'");
  EXPECT_NE(out.find("List    REG_MULTI_SZ    a;bc"), std::string::npos) << out;
  out = Query("'HKCU\\Software\\Fg' /s /t REG_SZ,REG_MULTI_SZ");
  EXPECT_NE(out.find("List"), std::string::npos) << out;
  EXPECT_EQ(out.find("Count"), std::string::npos) << "/t keeps other types out: " << out;
  EXPECT_NE(out.find("    Color    REG_SZ    text"), std::string::npos) << "/s reaches the subkeys: " << out;
}

TEST_F(FgregQuery, SearchesWhereItIsToldAndCountsTheMatches) {
  // Without /k, /v or /d every place is searched: "sub" is a key name here.
  EXPECT_EQ(Query("'HKCU\\Software' /f sub /s"), "HKEY_CURRENT_USER\\Software\\Fg\\Sub\nEnd of search: 1 match(es) found.\n");
  // "t" is in value names (Count, List), in data (Default Text, text) and in
  // a key name (Empty); a value found by both its name and data counts once.
  std::string all = Query("'HKCU\\Software' /f t /s");
  EXPECT_NE(all.find("End of search: 5 match(es) found."), std::string::npos) << all;
  EXPECT_NE(Query("'HKCU\\Software' /f t /s /k").find("End of search: 1 match(es) found."), std::string::npos);
  EXPECT_NE(Query("'HKCU\\Software' /f t /s /v").find("End of search: 2 match(es) found."), std::string::npos);
  EXPECT_NE(Query("'HKCU\\Software' /f t /s /d").find("End of search: 2 match(es) found."), std::string::npos);
  EXPECT_NE(Query("'HKCU\\Software' /f t /s /v /d").find("End of search: 4 match(es) found."), std::string::npos)
      << "/v and /d together: names and data, not keys";
  // Case counts with /c; the whole text must match with /e.
  EXPECT_NE(Query("'HKCU\\Software' /f TEXT /s /d").find("2 match(es)"), std::string::npos);
  EXPECT_NE(Query("'HKCU\\Software' /f TEXT /s /d /c", 1).find("0 match(es)"), std::string::npos);
  EXPECT_EQ(Query("'HKCU\\Software' /f text /s /d /e"),
            "HKEY_CURRENT_USER\\Software\\Fg\\Sub\n    Color    REG_SZ    text\n\nEnd of search: 1 match(es) found.\n");
  EXPECT_NE(Query("HKCU /f nowhere /s", 1).find("End of search: 0 match(es) found."), std::string::npos);
  std::string out;
  EXPECT_EQ(Run("query HKCU /k", &out), 2) << "/k goes with /f: " << out;
  EXPECT_EQ(Run("query HKCU /f x /ve", &out), 2) << out;
  EXPECT_EQ(Run("query HKCU /t REG_WHAT", &out), 2) << out;
  EXPECT_EQ(Run("query HKCU /se ab", &out), 2) << out;
}

TEST_F(FgregQuery, CopyCopiesTreesAndAsksBeforeOverwriting) {
  std::string out;
  ASSERT_EQ(Run("copy 'HKCU\\Software\\Fg' 'HKCU\\Copy' /s", &out), 0) << out;
  EXPECT_EQ(Run("compare 'HKCU\\Software\\Fg' 'HKCU\\Copy' /s", &out), 0) << out;
  EXPECT_NE(out.find("Result Compared: Identical"), std::string::npos) << out;
  // Into its own tree: the source is read whole first, so the copy ends.
  ASSERT_EQ(Run("copy 'HKCU\\Software\\Fg' 'HKCU\\Software\\Fg\\Sub\\Inner' /s", &out), 0) << out;
  EXPECT_EQ(Run("query 'HKCU\\Software\\Fg\\Sub\\Inner\\Sub' /v Color"), 0);
  EXPECT_EQ(Run("query 'HKCU\\Software\\Fg\\Sub\\Inner\\Sub\\Inner'"), 1);
  // Without /s only the values; an overwrite needs /f off a terminal.
  ASSERT_EQ(Run("add 'HKCU\\Copy' /v Count /t REG_DWORD /d 7 /f"), 0);
  EXPECT_EQ(Run("copy 'HKCU\\Software\\Fg' 'HKCU\\Copy' </dev/null", &out), 1) << out;
  EXPECT_NE(out.find("/f"), std::string::npos) << out;
  EXPECT_NE(Query("'HKCU\\Copy' /v Count").find("0x7"), std::string::npos) << "refused means nothing written";
  EXPECT_EQ(Run("copy 'HKCU\\Software\\Fg' 'HKCU\\Copy' /f", &out), 0) << out;
  EXPECT_NE(Query("'HKCU\\Copy' /v Count").find("0x2a"), std::string::npos);
  EXPECT_EQ(Run("copy 'HKCU\\Missing' 'HKCU\\Copy2'", &out), 1) << out;
  EXPECT_EQ(Run("query 'HKCU\\Copy2'"), 1) << "a failed copy makes nothing";
}

TEST_F(FgregQuery, CompareMarksEachSideAndAnswersTheUsualStatus) {
  std::string out;
  ASSERT_EQ(Run("copy 'HKCU\\Software\\Fg' 'HKCU\\Other' /s"), 0);
  ASSERT_EQ(Run("add 'HKCU\\Other' /v Count /t REG_DWORD /d 7 /f"), 0);
  ASSERT_EQ(Run("add 'HKCU\\Other\\Sub' /v Extra /d x"), 0);
  ASSERT_EQ(Run("delete 'HKCU\\Other\\Empty' /f"), 0);
  EXPECT_EQ(Run("compare 'HKCU\\Software\\Fg' 'HKCU\\Other' /s", &out), 2) << out;
  EXPECT_EQ(out,
            "< HKEY_CURRENT_USER\\Software\\Fg  Count  REG_DWORD  0x2a\n"
            "> HKEY_CURRENT_USER\\Other  Count  REG_DWORD  0x7\n"
            "< HKEY_CURRENT_USER\\Software\\Fg\\Empty\n"
            "> HKEY_CURRENT_USER\\Other\\Sub  Extra  REG_SZ  x\n"
            "Result Compared: Different\n"
            "The operation completed successfully.\n");
  EXPECT_EQ(Run("compare 'HKCU\\Software\\Fg' 'HKCU\\Other' /os", &out), 2);
  EXPECT_NE(out.find("= HKEY_CURRENT_USER\\Software\\Fg  List  REG_MULTI_SZ  a\\0bc"), std::string::npos) << out;
  EXPECT_EQ(out.find("<"), std::string::npos) << out;
  EXPECT_EQ(Run("compare 'HKCU\\Software\\Fg' 'HKCU\\Other' /v List", &out), 0) << out;
  EXPECT_EQ(Run("compare 'HKCU\\Software\\Fg' 'HKCU\\Other' /on", &out), 2);
  EXPECT_EQ(out, "Result Compared: Different\nThe operation completed successfully.\n");
  EXPECT_EQ(Run("compare 'HKCU\\Software\\Fg' 'HKCU\\Nowhere'", &out), 1) << out;
}

TEST_F(FgregQuery, AddAndDeleteReportAlike) {
  std::string added, deleted;
  ASSERT_EQ(Run("add 'HKCU\\R' /v v /d x", &added), 0);
  ASSERT_EQ(Run("delete 'HKCU\\R' /v v /f", &deleted), 0);
  EXPECT_EQ(added, "The operation completed successfully.\n");
  EXPECT_EQ(deleted, added);
  ASSERT_EQ(Run("delete 'HKCU\\R' /f", &deleted), 0);
  EXPECT_EQ(deleted, added);
  std::string a, d;
  EXPECT_EQ(Run("delete 'HKCU\\R' /f", &d), 1);
  EXPECT_EQ(d.rfind("fgreg: cannot delete HKCU\\R: no such key or value", 0), 0u) << d;
}

}  // namespace
