// Dialog patterns turned into the toolkit's case-sensitive globs; fnmatch
// in a UTF-8 locale stands in for the toolkit's matcher, which has the same
// classes and reads UTF-8.
#include <fnmatch.h>

#include <clocale>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chooser_patterns.h"

namespace {

using fgp::gtk::CaselessPattern;

bool Matches(const std::string& windowsPattern, const std::string& name) {
  static const bool utf8 = std::setlocale(LC_ALL, "C.UTF-8") != nullptr;
  EXPECT_TRUE(utf8);
  return fnmatch(CaselessPattern(windowsPattern).c_str(), name.c_str(), 0) == 0;
}

TEST(ChooserPatterns, MatchWithoutRegardToCase) {
  EXPECT_TRUE(Matches("*.txt", "A.TXT"));
  EXPECT_TRUE(Matches("*.txt", "b.txt"));
  EXPECT_TRUE(Matches("*.TxT", "c.tXt"));
  EXPECT_FALSE(Matches("*.txt", "c.log"));
  EXPECT_FALSE(Matches("*.txt", "a.txt.bak"));
  EXPECT_TRUE(Matches("*.*", "README")) << "*.* takes names without a dot too";
  EXPECT_TRUE(Matches("[x].txt", "[X].TXT")) << "a bracket is itself";
  EXPECT_FALSE(Matches("[x].txt", "x.txt"));
  EXPECT_TRUE(Matches("*.\u00e9t\u00e9", "NOTE.\u00c9T\u00c9")) << "letters beyond ASCII";
  EXPECT_TRUE(Matches("data?.csv", "DATA1.CSV"));
}

TEST(ChooserPatterns, ListsSplitAtSemicolons) {
  EXPECT_EQ(fgp::gtk::SplitPatterns("*.txt; *.log ;;*.c"), (std::vector<std::string>{"*.txt", "*.log", "*.c"}));
  EXPECT_TRUE(fgp::gtk::SplitPatterns("").empty());
  EXPECT_TRUE(fgp::gtk::SplitPatterns(" ; ").empty());
}

}  // namespace
