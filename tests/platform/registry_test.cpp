// The platform's registry: documented codes, names, access, damage,
// concurrent processes and a process killed while writing.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_fault_loop.h"
#include "fgplatform/test_registry.h"
#include "fgplatform/win32.h"

namespace {

class Registry : public fgtest::BaselineTest {
 protected:
  HKEY Create(HKEY parent, const char16_t* path, DWORD* disposition = nullptr, REGSAM sam = KEY_ALL_ACCESS) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(parent, path, 0, nullptr, 0, sam, nullptr, &key, disposition), ERROR_SUCCESS);
    return key;
  }
  fgtest::TemporaryRegistry m_registry;
  const std::string& m_path = m_registry.Path();
};

TEST_F(Registry, CreateOpenAndDispositionAcrossLevels) {
  DWORD disposition = 0;
  HKEY deep = Create(HKEY_CURRENT_USER, u"Software\\Fg\\A\\B", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  HKEY again = Create(HKEY_CURRENT_USER, u"software\\FG\\a\\b", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY)) << "names compare without case";
  HKEY opened = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Fg\\A", 0, KEY_READ, &opened), ERROR_SUCCESS);
  char16_t name[8];
  DWORD size = 8;
  EXPECT_EQ(RegEnumKeyExW(opened, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"B") << "the name keeps the case it was created with";
  EXPECT_EQ(size, 1u);
  HKEY missing = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Nothing", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"\\Software", 0, KEY_READ, &missing), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Fg", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND)
      << "each root is separate";
  for (HKEY k : {deep, again, opened}) EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(deep), ERROR_INVALID_HANDLE) << "closed twice";
  EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
}

TEST_F(Registry, ValuesOfEveryTypeRoundTripByteForByte) {
  HKEY key = Create(HKEY_CLASSES_ROOT, u"FgValues");
  struct Case {
    const char16_t* name;
    DWORD type;
    std::string bytes;
  };
  const Case cases[] = {
      {u"", REG_SZ, std::string("d\0e\0\0\0", 6)},
      {u"expand", REG_EXPAND_SZ, std::string("%\0X\0%\0\0\0", 8)},
      {u"multi", REG_MULTI_SZ, std::string("a\0\0\0b\0c\0\0\0\0\0", 12)},
      {u"dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
      {u"qword", REG_QWORD, std::string("\1\2\3\4\5\6\7\x08", 8)},
      {u"binary", REG_BINARY, std::string("\0\xFF\0", 3)},
      {u"none", REG_NONE, std::string()},
  };
  for (const Case& c : cases)
    ASSERT_EQ(RegSetValueExW(key, c.name, 0, c.type, reinterpret_cast<const BYTE*>(c.bytes.data()),
                             static_cast<DWORD>(c.bytes.size())),
              ERROR_SUCCESS);
  for (const Case& c : cases) {
    DWORD type = 99, size = 0;
    ASSERT_EQ(RegQueryValueExW(key, c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, c.bytes.size());
    std::string back(size, '\0');
    ASSERT_EQ(RegQueryValueExW(key, c.name, nullptr, nullptr, reinterpret_cast<BYTE*>(back.data()), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(back, c.bytes);
  }
  BYTE small[2];
  DWORD size = sizeof small;
  EXPECT_EQ(RegQueryValueExW(key, u"DWORD", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u) << "the needed size comes back";
  EXPECT_EQ(RegQueryValueExW(key, u"absent", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);

  char16_t name[8];
  DWORD nameSize = 8, type = 0, dataSize = 0;
  EXPECT_EQ(RegEnumValueW(key, 1, name, &nameSize, nullptr, &type, nullptr, &dataSize), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"expand") << "values enumerate in the order first written";
  nameSize = 3;
  EXPECT_EQ(RegEnumValueW(key, 2, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  nameSize = 8;
  EXPECT_EQ(RegEnumValueW(key, 7, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  DWORD values = 0, maxName = 0, maxData = 0;
  EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &maxName, &maxData,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 7u);
  EXPECT_EQ(maxName, 6u);
  EXPECT_EQ(maxData, 12u);
  EXPECT_EQ(RegDeleteValueW(key, u"Multi"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, u"multi"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(Registry, DeletionRulesAndDeletedHandles) {
  HKEY parent = Create(HKEY_CLASSES_ROOT, u"FgParent\\Child");
  RegCloseKey(parent);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"FgParent"), ERROR_ACCESS_DENIED) << "it has a subkey";
  HKEY child = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"FgParent\\Child", 0, KEY_ALL_ACCESS, &child), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"FgParent\\Child"), ERROR_SUCCESS);
  DWORD one = 1;
  EXPECT_EQ(RegSetValueExW(child, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_KEY_DELETED);
  EXPECT_EQ(RegQueryValueExW(child, u"x", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED)
      << "not a missing value: a missing key";
  EXPECT_EQ(RegQueryInfoKeyW(child, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"FgParent"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"FgParent"), ERROR_FILE_NOT_FOUND);

  HKEY tree = Create(HKEY_CLASSES_ROOT, u"FgTree\\a\\b\\c");
  RegCloseKey(tree);
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"FgTree"), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"FgTree", 0, KEY_READ, &tree), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, AccessMasksAreEnforced) {
  HKEY writable = Create(HKEY_CLASSES_ROOT, u"FgAccess");
  RegCloseKey(writable);
  HKEY reader = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"FgAccess", 0, KEY_READ, &reader), ERROR_SUCCESS);
  DWORD one = 1;
  EXPECT_EQ(RegSetValueExW(reader, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_ACCESS_DENIED);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExW(reader, u"Sub", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_ACCESS_DENIED);
  RegCloseKey(reader);
  HKEY writer = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"FgAccess", 0, KEY_SET_VALUE, &writer), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(writer, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
  DWORD size = 4;
  EXPECT_EQ(RegQueryValueExW(writer, u"x", nullptr, nullptr, reinterpret_cast<BYTE*>(&one), &size),
            ERROR_ACCESS_DENIED);
  RegCloseKey(writer);
}

TEST_F(Registry, KeyNamesUpTo255Characters) {
  std::u16string longest(255, u'k');
  HKEY key = Create(HKEY_CLASSES_ROOT, (u"FgLong\\" + longest).c_str());
  RegCloseKey(key);
  std::u16string tooLong(256, u'k');
  EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, tooLong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  HKEY parent = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"FgLong", 0, KEY_READ, &parent), ERROR_SUCCESS);
  char16_t name[256];
  DWORD size = 256;
  EXPECT_EQ(RegEnumKeyExW(parent, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(size, 255u);
  size = 255;
  EXPECT_EQ(RegEnumKeyExW(parent, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  size = 256;
  EXPECT_EQ(RegEnumKeyExW(parent, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(parent);
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"FgLong"), ERROR_SUCCESS);
}

TEST_F(Registry, AFailedWriteReportsTheChosenCodeAndChangesNothing) {
  HKEY key = Create(HKEY_CLASSES_ROOT, u"FgFault");
  fgtest::SetFailureCode(fgtest::Service::RegistryWrite, ERROR_CANTWRITE);
  fgtest::FailCall(fgtest::Service::RegistryWrite, 1);
  DWORD one = 1;
  EXPECT_EQ(RegSetValueExW(key, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_CANTWRITE);
  EXPECT_EQ(RegQueryValueExW(key, u"x", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  fgtest::FailCall(fgtest::Service::RegistryWrite, 1);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExW(key, u"Sub\\Deeper", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            ERROR_CANTWRITE);
  EXPECT_EQ(RegOpenKeyExW(key, u"Sub", 0, KEY_READ, &sub), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

// Everything under a key, one line a key or value, in enumeration order.
std::string DumpTree(HKEY key, const std::string& indent = "") {
  std::string out;
  char16_t name[256];
  BYTE data[256];
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = 256, dataSize = sizeof data, type = 0;
    if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
    out += indent + "value " + std::string(name, name + nameSize) + " " + std::to_string(type) + " " +
           std::string(reinterpret_cast<char*>(data), dataSize) + "\n";
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = 256;
    if (RegEnumKeyExW(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out += indent + "key " + std::string(name, name + nameSize) + "\n";
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
    out += DumpTree(child, indent + "  ");
    RegCloseKey(child);
  }
  return out;
}

TEST_F(Registry, AWriteFaultInTheMiddleOfAChangeRollsAllOfItBack) {
  HKEY base = Create(HKEY_CURRENT_USER, u"Fg\\Base");
  ASSERT_EQ(RegSetValueExW(base, u"kept", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"x"), 4), ERROR_SUCCESS);
  RegCloseKey(base);
  const std::string before = DumpTree(HKEY_CURRENT_USER);

  // Three missing levels: three rows and three parents touched, then the commit.
  auto createDeep = [] {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, u"Fg\\Base\\A\\B\\C", 0, nullptr, 0, KEY_ALL_ACCESS,
                                     nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    return static_cast<long>(status);
  };
  auto createdOrUnchanged = [&](const fgtest::FaultRun& run) {
    if (!run.succeeded) {
      EXPECT_EQ(DumpTree(HKEY_CURRENT_USER), before) << "the store is as before";
      return;
    }
    HKEY deep = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Fg\\Base\\A\\B\\C", 0, KEY_READ, &deep), ERROR_SUCCESS);
    RegCloseKey(deep);
    ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Fg\\Base\\A"), ERROR_SUCCESS);
  };
  fgtest::FaultLoopCounts counts = fgtest::RunFaultLoop(fgtest::Service::RegistryWrite, ERROR_SUCCESS,
                                                        ERROR_REGISTRY_IO_FAILED, createDeep, createdOrUnchanged);
  EXPECT_GE(counts.once, 4) << "faults fire after some rows changed, not only before the first";
  EXPECT_EQ(DumpTree(HKEY_CURRENT_USER), before);

  // Deleting a tree of keys and values: its statements, then the commit.
  auto fill = [] {
    HKEY leaf = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Fg\\Base\\T\\U", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &leaf,
                              nullptr),
              ERROR_SUCCESS);
    DWORD one = 1;
    ASSERT_EQ(RegSetValueExW(leaf, u"n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
    RegCloseKey(leaf);
  };
  fill();
  const std::string filled = DumpTree(HKEY_CURRENT_USER);
  auto deleteTree = [] { return static_cast<long>(RegDeleteTreeW(HKEY_CURRENT_USER, u"Fg\\Base\\T")); };
  auto deletedOrUnchanged = [&](const fgtest::FaultRun& run) {
    if (!run.succeeded) {
      EXPECT_EQ(DumpTree(HKEY_CURRENT_USER), filled) << "the whole tree is still there";
      return;
    }
    EXPECT_EQ(DumpTree(HKEY_CURRENT_USER), before);
    fill();
  };
  counts = fgtest::RunFaultLoop(fgtest::Service::RegistryWrite, ERROR_SUCCESS, ERROR_REGISTRY_IO_FAILED, deleteTree,
                                deletedOrUnchanged);
  EXPECT_GE(counts.once, 2);
  EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Fg"), ERROR_SUCCESS);
}

TEST_F(Registry, ADamagedStoreIsReportedOnceAndNeverReplaced) {
  {
    std::ofstream f(m_path, std::ios::binary);
    f << std::string(8192, 'x');
  }
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, &key), ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_REGISTRY_CORRUPT);
  std::string output = Output();
  EXPECT_NE(output.find(m_path), std::string::npos);
  EXPECT_EQ(output.find(m_path), output.rfind(m_path)) << "said once";
  std::ifstream f(m_path, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, std::string(8192, 'x')) << "the damaged file is left as it was";

  setenv("FARROWGATE_REGISTRY", "/proc/no-such-dir/registry.db", 1);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, &key), ERROR_REGISTRY_IO_FAILED);
  Output();
}

// Whoever may write the store's folder could plant the store or its side
// files, and through them the modules the registry loads.
TEST_F(Registry, AStoreIsKeptOnlyInAFolderOfTheUsersOwn) {
  std::string folder = m_path.substr(0, m_path.rfind('/'));
  std::string store = folder + "/planted.db";
  setenv("FARROWGATE_REGISTRY", store.c_str(), 1);
  HKEY key = nullptr;
  ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_NE(access(store.c_str(), F_OK), 0) << "nothing was created in it";
  EXPECT_NE(Output().find("others may write its folder " + folder), std::string::npos) << "said, with the folder";
  ASSERT_EQ(chmod(folder.c_str(), 0700), 0);

  std::string elsewhere = folder + "/elsewhere.db";
  ASSERT_EQ(symlink(elsewhere.c_str(), store.c_str()), 0);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key), ERROR_ACCESS_DENIED) << "a link is no store";
  EXPECT_NE(access(elsewhere.c_str(), F_OK), 0);
  ASSERT_EQ(unlink(store.c_str()), 0);
  Output();

  // A store of the user's own is the user's alone, and so are its side files.
  key = Create(HKEY_CURRENT_USER, u"Software\\Fg");
  ASSERT_NE(key, nullptr);
  RegCloseKey(key);
  struct stat st {};
  ASSERT_EQ(stat(store.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(stat((store + "-wal").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  if (geteuid() != 0) {
    GTEST_LOG_(INFO) << "not root: the folder and file of another user are not tried";
  } else {
    ASSERT_EQ(chown(store.c_str(), 65534, 65534), 0);
    setenv("FARROWGATE_REGISTRY", m_path.c_str(), 1);
    (void)RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key);  // lets go of the store
    setenv("FARROWGATE_REGISTRY", store.c_str(), 1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key), ERROR_ACCESS_DENIED)
        << "a store another user planted";
    ASSERT_EQ(chown(store.c_str(), 0, 0), 0);
    ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key), ERROR_ACCESS_DENIED)
        << "a folder another user made first";
    EXPECT_NE(Output().find("belongs to another user"), std::string::npos);
    ASSERT_EQ(chown(folder.c_str(), 0, 0), 0);
  }
  setenv("FARROWGATE_REGISTRY", m_path.c_str(), 1);
}

TEST_F(Registry, AnInMemoryStoreLeavesNoFileAndEmptiesByRoot) {
  setenv("FARROWGATE_REGISTRY", ":memory:", 1);
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Fg\\Deep");
  ASSERT_NE(key, nullptr);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Fg\\Deep", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, nullptr), ERROR_SUCCESS) << "a null path empties the root";
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_NE(access(":memory:", F_OK), 0) << "no file of that name";
  setenv("FARROWGATE_REGISTRY", m_path.c_str(), 1);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND)
      << "the file store never saw the memory store's keys";
}

// Starts the writer helper; returns its output stream and fills its pid.
// A start time (realtime clock, milliseconds) holds its first call till then.
FILE* StartWriter(const std::string& prefix, int count, pid_t& pid, long long startMs = 0) {
  std::string command = std::string(REGISTRY_WRITER_PATH) + " " + prefix + " " + std::to_string(count);
  if (startMs != 0) command += " " + std::to_string(startMs);
  FILE* out = popen(command.c_str(), "r");
  int value = 0;
  pid = fscanf(out, "%d", &value) == 1 ? value : -1;
  return out;
}

// Reads the writer's output to its end and answers its exit status.
int FinishWriter(FILE* out) {
  char line[64];
  while (fgets(line, sizeof line, out) != nullptr) {
  }
  return pclose(out);
}

DWORD CountValues() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\FgConcurrency", 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD values = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(key);
  return values;
}

// A snapshot takes no write lock: another process writes meanwhile, and
// the snapshot's calls see the store as it was when it began; a write in it
// is refused and changes nothing.
TEST_F(Registry, ASnapshotSeesOneStateWhileOthersWrite) {
  pid_t pid = 0;
  ASSERT_EQ(FinishWriter(StartWriter("s", 2, pid)), 0);
  ASSERT_EQ(CountValues(), 2u);
  ASSERT_EQ(FgRegistryBeginBatch(FALSE), ERROR_SUCCESS);
  EXPECT_EQ(FinishWriter(StartWriter("t", 3, pid)), 0) << "another process writes while the snapshot is open";
  EXPECT_EQ(CountValues(), 2u) << "the snapshot keeps the state it began with";
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\InSnapshot", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(FgRegistryEndBatch(FALSE), ERROR_SUCCESS);
  EXPECT_EQ(CountValues(), 5u);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\InSnapshot", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, TwoProcessesWritingAtOnceLoseNoWrite) {
  pid_t a = 0, b = 0;
  FILE* outA = StartWriter("a", 300, a);
  FILE* outB = StartWriter("b", 300, b);
  EXPECT_EQ(FinishWriter(outA), 0);
  EXPECT_EQ(FinishWriter(outB), 0);
  EXPECT_EQ(CountValues(), 600u);
}

// Processes that find no store yet all create it at the same moment: each
// must either create it or join the one another has just made.
TEST_F(Registry, ProcessesCreatingTheStoreTogetherAllSucceed) {
  for (int round = 0; round < 20; ++round) {
    std::string path = m_path + "." + std::to_string(round);
    setenv("FARROWGATE_REGISTRY", path.c_str(), 1);
    std::vector<FILE*> writers;
    long long start = std::chrono::duration_cast<std::chrono::milliseconds>(
                          (std::chrono::system_clock::now() + std::chrono::milliseconds(150)).time_since_epoch())
                          .count();
    for (const char* prefix : {"a", "b", "c"}) {
      pid_t pid = 0;
      writers.push_back(StartWriter(prefix, 2, pid, start));
    }
    for (FILE* out : writers) EXPECT_EQ(FinishWriter(out), 0) << "round " << round;
    EXPECT_EQ(CountValues(), 6u) << "round " << round;
    for (const char* suffix : {"", "-wal", "-shm"}) unlink((path + suffix).c_str());
  }
  setenv("FARROWGATE_REGISTRY", m_path.c_str(), 1);
  EXPECT_EQ(Output(), "") << "no store was reported damaged or unopenable";
}

TEST_F(Registry, AProcessKilledWhileWritingLeavesEveryCompletedWrite) {
  pid_t pid = 0;
  FILE* out = StartWriter("k", 1000000, pid);
  ASSERT_GT(pid, 0);
  int last = -1, value = 0;
  while (last < 200 && fscanf(out, "%d", &value) == 1) last = value;
  kill(pid, SIGKILL);
  pclose(out);
  ASSERT_GE(last, 200);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\FgConcurrency", 0, KEY_READ, &key), ERROR_SUCCESS);
  for (int i = 0; i <= last; ++i) {
    std::string name = "k" + std::to_string(i);
    std::u16string wide(name.begin(), name.end());
    DWORD data = 0, size = 4;
    ASSERT_EQ(RegQueryValueExW(key, wide.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size),
              ERROR_SUCCESS)
        << "write " << i << " was reported complete";
    ASSERT_EQ(data, static_cast<DWORD>(i));
  }
  RegCloseKey(key);
}

}  // namespace
