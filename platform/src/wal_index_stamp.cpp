#include "wal_index_stamp.h"

#include <atomic>
#include <cstring>

namespace fgp::reg {

uint64_t StampDigest(const void* data, size_t size) {
  uint64_t hash = 14695981039346656037ull;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

namespace {

constexpr int kWalIndexRegionSize = 32768;  // the size of each region of the wal-index
constexpr size_t kHeaderWords = 12;        // one copy of the header: 48 bytes
constexpr size_t kIsInitByte = 12;         // 1 once the header was initialised
constexpr size_t kFramesWord = 4;          // bytes 16-19: the log's committed frames

// One copy of the main database's wal-index header, when both copies are
// equal and the header is initialised.
bool ReadHeader(sqlite3* db, uint32_t (&out)[kHeaderWords]) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || file == nullptr) return false;
  const sqlite3_io_methods* methods = file->pMethods;
  if (methods == nullptr || methods->iVersion < 2 || methods->xShmMap == nullptr) return false;
  // Not extending: the region the connection mapped when it opened the
  // log, or nothing.
  void volatile* region = nullptr;
  if (methods->xShmMap(file, 0, kWalIndexRegionSize, 0, &region) != SQLITE_OK || region == nullptr) return false;
  const auto* shared = static_cast<const volatile uint32_t*>(region);
  uint32_t second[kHeaderWords];
  // The reverse of the writers' order: first copy, then second.
  for (size_t i = 0; i < kHeaderWords; ++i) out[i] = shared[i];
  std::atomic_thread_fence(std::memory_order_seq_cst);
  for (size_t i = 0; i < kHeaderWords; ++i) second[i] = shared[kHeaderWords + i];
  if (std::memcmp(out, second, sizeof second) != 0) return false;
  return reinterpret_cast<const unsigned char*>(out)[kIsInitByte] == 1;
}

}  // namespace

bool WalIndexStamp(sqlite3* db, uint64_t& out) {
  uint32_t header[kHeaderWords];
  if (!ReadHeader(db, header)) return false;
  out = StampDigest(header, sizeof header);
  return true;
}

bool WalIndexFrames(sqlite3* db, uint32_t& out) {
  uint32_t header[kHeaderWords];
  if (!ReadHeader(db, header)) return false;
  out = header[kFramesWord];
  return true;
}

}  // namespace fgp::reg
