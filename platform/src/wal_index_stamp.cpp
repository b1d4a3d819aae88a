#include "wal_index_stamp.h"

#include <atomic>
#include <cstring>

namespace fgp::reg {

namespace {

constexpr int kWalIndexRegionSize = 32768;  // the size of each region of the wal-index
constexpr size_t kHeaderWords = 12;        // one copy of the header: 48 bytes
constexpr size_t kIsInitByte = 12;         // 1 once the header was initialised

}  // namespace

uint64_t StampDigest(const void* data, size_t size) {
  uint64_t hash = 14695981039346656037ull;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

bool WalIndexStamp(sqlite3* db, uint64_t& out) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || file == nullptr) return false;
  const sqlite3_io_methods* methods = file->pMethods;
  if (methods == nullptr || methods->iVersion < 2 || methods->xShmMap == nullptr) return false;
  // Not extending: the region the connection mapped when it opened the
  // log, or nothing.
  void volatile* region = nullptr;
  if (methods->xShmMap(file, 0, kWalIndexRegionSize, 0, &region) != SQLITE_OK || region == nullptr) return false;
  const auto* shared = static_cast<const volatile uint32_t*>(region);
  uint32_t first[kHeaderWords], second[kHeaderWords];
  // The reverse of the writers' order: first copy, then second.
  for (size_t i = 0; i < kHeaderWords; ++i) first[i] = shared[i];
  std::atomic_thread_fence(std::memory_order_seq_cst);
  for (size_t i = 0; i < kHeaderWords; ++i) second[i] = shared[kHeaderWords + i];
  if (std::memcmp(first, second, sizeof first) != 0) return false;
  if (reinterpret_cast<const unsigned char*>(first)[kIsInitByte] != 1) return false;
  out = StampDigest(first, sizeof first);
  return true;
}

}  // namespace fgp::reg
