// Fuzzes the readers of what lies beside the registry store and other
// processes write: the record of a checked store (any bytes as the record:
// it names the store only when it is exactly the line recorded for it) and
// the shared header of the store's log (any bytes as its two copies: a
// reading is given only when both copies are equal and the header says it
// was initialised, and then it is the header's own).
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "store_check_record.h"
#include "wal_index_stamp.h"

namespace {

constexpr size_t kHeaderBytes = 96;  // the header's two copies

struct Setup {
  std::string store;
  std::string record;       // the record made for the store
  sqlite3* db = nullptr;    // a connection with the log's header mapped
  unsigned char* header = nullptr;  // the same header, mapped here to be written
  unsigned char original[kHeaderBytes] = {};
};
Setup g;

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void FuzzRecord(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(g.store + "-checked", std::ios::binary | std::ios::trunc) << bytes;
  if (fgp::reg::CheckedRecordMatches(g.store) != (bytes == g.record)) Fail("the record matched wrongly");
}

void FuzzHeader(const uint8_t* data, size_t size) {
  unsigned char header[kHeaderBytes];
  std::memcpy(header, g.original, kHeaderBytes);
  std::memcpy(header, data, size < kHeaderBytes ? size : kHeaderBytes);
  std::memcpy(g.header, header, kHeaderBytes);
  bool readable = std::memcmp(header, header + 48, 48) == 0 && header[12] == 1;
  uint64_t stamp = 0;
  uint32_t frames = 0, expected = 0;
  std::memcpy(&expected, header + 16, 4);
  if (fgp::reg::WalIndexStamp(g.db, stamp) != readable) Fail("a header read wrongly");
  if (fgp::reg::WalIndexFrames(g.db, frames) != readable || (readable && frames != expected))
    Fail("the frames read wrongly");
  std::memcpy(g.header, g.original, kHeaderBytes);  // the connection's own header again
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = std::string(tmp != nullptr ? tmp : "/tmp") + "/fg-sidefiles.XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) Fail("no folder");
  g.store = folder + "/registry.db";
  static std::string removal = "rm -rf '" + folder + "'";
  std::atexit([] { (void)std::system(removal.c_str()); });
  if (sqlite3_open(g.store.c_str(), &g.db) != SQLITE_OK ||
      sqlite3_exec(g.db, "PRAGMA journal_mode=WAL; CREATE TABLE t(x); INSERT INTO t VALUES(1); SELECT * FROM t",
                   nullptr, nullptr, nullptr) != SQLITE_OK)
    Fail("no database");
  int fd = open((g.store + "-shm").c_str(), O_RDWR);
  void* mapped = fd < 0 ? MAP_FAILED : mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (fd >= 0) close(fd);
  if (mapped == MAP_FAILED) Fail("no shared header");
  g.header = static_cast<unsigned char*>(mapped);
  std::memcpy(g.original, g.header, kHeaderBytes);
  // The record is made once the file is old enough to be recorded.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  fgp::reg::RecordChecked(g.store);
  g.record = Contents(g.store + "-checked");
  if (g.record.empty() || !fgp::reg::CheckedRecordMatches(g.store)) Fail("no record");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) {
    FuzzRecord(data + 1, size - 1);
  } else {
    FuzzHeader(data + 1, size - 1);
  }
  return 0;
}
