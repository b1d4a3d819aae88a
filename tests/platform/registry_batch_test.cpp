// Registry batches: many calls of one thread as one transaction, kept whole
// or not at all, each call still atomic on its own.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_registry.h"
#include "fgplatform/testing.h"
#include "fgplatform/win32.h"

namespace {

class RegistryBatch : public fgtest::BaselineTest {
 protected:
  void SetUp() override {
    BaselineTest::SetUp();
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Fg\\Kept", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetText(key, u"v", u"before"), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  static LSTATUS SetText(HKEY key, const char16_t* name, const std::u16string& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * 2));
  }
  // Changes made inside a batch: a new tree, an overwritten value, a deleted
  // key; and one call that fails on its own and must undo only itself.
  void Change() {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Fg\\New\\Deep", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetText(key, u"a", u"one"), ERROR_SUCCESS);
    fgtest::FailCall(fgtest::Service::RegistryWrite, 1);
    EXPECT_EQ(SetText(key, u"b", u"two"), ERROR_REGISTRY_IO_FAILED) << "a failed call inside a batch";
    fgtest::ClearFaults();
    EXPECT_EQ(fgtest::RegistryText(HKEY_CURRENT_USER, u"Fg\\New\\Deep", u"b"), u"<no value>")
        << "undid itself";
    EXPECT_EQ(fgtest::RegistryText(HKEY_CURRENT_USER, u"Fg\\New\\Deep", u"a"), u"one")
        << "and nothing before it: the batch sees its own changes";
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Fg\\Kept", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key, u"v", u"after"), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  fgtest::TemporaryRegistry m_registry;
};

TEST_F(RegistryBatch, ARolledBackBatchLeavesTheStoreAsItWas) {
  const std::string before = fgtest::RegistryDump();
  ASSERT_EQ(FgRegistryBeginBatch(TRUE), ERROR_SUCCESS);
  Change();
  ASSERT_EQ(FgRegistryEndBatch(FALSE), ERROR_SUCCESS);
  EXPECT_EQ(fgtest::RegistryDump(), before);
}

TEST_F(RegistryBatch, ACommittedBatchKeepsEveryChangeThatSucceeded) {
  ASSERT_EQ(FgRegistryBeginBatch(TRUE), ERROR_SUCCESS);
  Change();
  ASSERT_EQ(FgRegistryEndBatch(TRUE), ERROR_SUCCESS);
  EXPECT_EQ(fgtest::RegistryText(HKEY_CURRENT_USER, u"Fg\\New\\Deep", u"a"), u"one");
  EXPECT_EQ(fgtest::RegistryText(HKEY_CURRENT_USER, u"Fg\\New\\Deep", u"b"), u"<no value>");
  EXPECT_EQ(fgtest::RegistryText(HKEY_CURRENT_USER, u"Fg\\Kept", u"v"), u"after");
}

// The commit is where a batch reaches the file: a fault there keeps none of
// it, and answers the fault's code.
TEST_F(RegistryBatch, AFailedCommitKeepsNothing) {
  const std::string before = fgtest::RegistryDump();
  ASSERT_EQ(FgRegistryBeginBatch(TRUE), ERROR_SUCCESS);
  Change();
  fgtest::SetFailureCode(fgtest::Service::RegistryWrite, ERROR_CANTWRITE);
  fgtest::FailCall(fgtest::Service::RegistryWrite, 1);
  EXPECT_EQ(FgRegistryEndBatch(TRUE), ERROR_CANTWRITE);
  fgtest::ClearFaults();
  EXPECT_EQ(fgtest::RegistryDump(), before);
  EXPECT_EQ(FgRegistryBeginBatch(TRUE), ERROR_SUCCESS) << "a new batch may begin after a failed one";
  EXPECT_EQ(FgRegistryEndBatch(TRUE), ERROR_SUCCESS);
}

TEST_F(RegistryBatch, BatchesDoNotNestAndOnlyTheirThreadEndsThem) {
  EXPECT_EQ(FgRegistryEndBatch(TRUE), ERROR_INVALID_FUNCTION) << "no batch was begun";
  ASSERT_EQ(FgRegistryBeginBatch(TRUE), ERROR_SUCCESS);
  EXPECT_EQ(FgRegistryBeginBatch(TRUE), ERROR_INVALID_FUNCTION) << "batches do not nest";
  // Another thread's call waits for the batch to end, and then runs on its
  // own: the batch's rollback does not take it away.
  std::atomic<bool> done{false};
  std::thread other([&] {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Fg\\Kept", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
      (void)SetText(key, u"other", u"thread");
      RegCloseKey(key);
    }
    EXPECT_EQ(FgRegistryEndBatch(TRUE), ERROR_INVALID_FUNCTION) << "not this thread's batch";
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(done) << "the other thread waits while the batch is open";
  EXPECT_EQ(FgRegistryEndBatch(FALSE), ERROR_SUCCESS);
  other.join();
  EXPECT_EQ(fgtest::RegistryText(HKEY_CURRENT_USER, u"Fg\\Kept", u"other"), u"thread");
  EXPECT_EQ(FgRegistryEndBatch(FALSE), ERROR_INVALID_FUNCTION) << "ended already";
}

}  // namespace
