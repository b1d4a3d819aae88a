// The registry tool's tree walk: a key that another process deletes while
// the walk runs is passed over; the top key must be there.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "fgreg_fixture.h"
#include "registry_text.h"
#include "registry_tree.h"

namespace {

class RegistryWalk : public Fgreg {
 protected:
  void SetUp() override {
    Fgreg::SetUp();
    setenv("FARROWGATE_REGISTRY", m_store.c_str(), 1);
    for (const char* key : {"W\\A", "W\\B\\Deep", "W\\C"}) {
      HKEY h = nullptr;
      std::u16string path = fgreg::Widen(key);
      ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
                ERROR_SUCCESS);
      RegCloseKey(h);
    }
  }
};

TEST_F(RegistryWalk, ASubkeyDeletedDuringTheWalkIsPassedOver) {
  std::vector<std::u16string> seen;
  LSTATUS rc = fgreg::Walk(HKEY_CURRENT_USER, u"W", /*recursive=*/true,
                           [&](const std::u16string& at, const std::vector<fgreg::Value>&, const std::vector<std::u16string>& subkeys) {
                             seen.push_back(at);
                             // The listing of W already names B: delete it as another process would.
                             if (at == u"W") {
                               EXPECT_EQ(subkeys.size(), 3u);
                               EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"W\\B"), ERROR_SUCCESS);
                             }
                           });
  EXPECT_EQ(rc, ERROR_SUCCESS);
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"W", u"W\\A", u"W\\C"}));
  EXPECT_EQ(fgreg::Walk(HKEY_CURRENT_USER, u"W\\B", true, [](auto&, auto&, auto&) {}), ERROR_FILE_NOT_FOUND)
      << "the top of a walk must be there";
}

}  // namespace
