// A change stamp of a database in write-ahead-log mode read from its
// wal-index (the "-shm" region every connection to the database maps), with
// no lock and no system call.
//
// The wal-index begins with two copies of a 48-byte header (bytes 0-47 and
// 48-95, SQLite's "WAL-mode File Format" document, section 2.1). A commit
// rewrites it: the count of committed frames grows, or, after the log
// restarts, its salts change, and its change counter (bytes 8-11) counts
// each transaction. Writers write the second copy, then the first, and a
// reader that finds both equal has a header that a commit finished writing.
// So while the header read stays the same, no other connection committed;
// a commit is visible to a reader only once its header is written, so a
// header read before a read transaction never hides what that transaction
// sees.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>

namespace fgp::reg {

// FNV-1a over bytes: equal bytes give equal digests, and any change gives
// another with near certainty.
uint64_t StampDigest(const void* data, size_t size);

// A digest of the main database's wal-index header; false when there is
// none to read (the database is in memory, or its log was not opened yet),
// when the header is not initialised, or when a commit is writing it at
// this moment. The caller then asks SQLite (PRAGMA data_version), which
// waits for the locks this does not take. The connection must be in
// write-ahead-log mode (for a database in another mode the file's
// shared-memory method would make a "-shm" file) and have run a read
// transaction, and no other thread may use it meanwhile.
bool WalIndexStamp(sqlite3* db, uint64_t& out);

// The number of frames the log holds committed (0: every page is read from
// the database's file); false as for WalIndexStamp. Read inside a read
// transaction, a 0 also means that transaction reads the file alone: a log
// is started over only while no reader uses its frames.
bool WalIndexFrames(sqlite3* db, uint32_t& out);

}  // namespace fgp::reg
