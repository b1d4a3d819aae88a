// The files behind the named objects several processes share (file
// mappings, events): made whole before they get their name, trusted only
// when they are this user's, and removed once their creator has ended.
//
// Each object is a file in /dev/shm named by PosixSharedName. Its first page
// holds a SharedHeader (what it is, its payload size, and the process that
// made it, by id and start time); the payload starts one page in, so no view
// of a mapping ever reaches the header. A file is made without a name
// (O_TMPFILE), filled in, and only then linked under its name, so that no one
// ever opens a name whose header is not yet written.
//
// Choices of this system (Windows keeps an object while any handle is open and
// checks a security descriptor; none of that exists here):
// - An object is usable only when fstat on the opened descriptor shows a
//   regular file owned by this user that no one else may write. Anything
//   else under the name is Foreign: openers answer ERROR_FILE_NOT_FOUND as for
//   a missing object, and creators ERROR_ACCESS_DENIED, because they can
//   neither make the name nor take what holds it.
// - An object whose creator has ended, or whose header is not whole, is
//   Stale: the name counts as free, and the process that finds it removes it.
//   The first process of a user that makes a named object also removes every
//   stale object of that user.
#pragma once

#include <cstdint>
#include <string>

#include "fgplatform/basetypes.h"

namespace fgp {

enum class SharedKind : uint32_t { Any = 0, Mapping = 1, Event = 2 };

struct SharedHeader {
  uint32_t magic;
  uint32_t kind;
  uint64_t size;  // payload bytes, after the header page
  int32_t creatorPid;
  uint32_t reserved;
  uint64_t creatorStart;  // the creator's start time, clock ticks after boot
};

enum class SharedVerdict { Usable, Missing, Foreign, Stale };

uint64_t SharedPageBytes();

// A descriptor of a new, still nameless object of `kind` with `payload`
// bytes after its header page, made by this process; -1 (errno set) when it
// cannot be made.
int MakeSharedObject(SharedKind kind, uint64_t payload);

// Gives the object open as `fd` its name: 0, or an errno (EEXIST when the
// name is taken).
int PublishSharedObject(int fd, const std::string& posixName);

// Opens the object of a name and judges it; the descriptor is returned (and
// `header` filled) only for Usable. A Stale object is removed on the way.
int OpenSharedObject(const std::string& posixName, bool writable, SharedKind kind, SharedHeader& header,
                     SharedVerdict& verdict);

// Gives the object made as `fd` its name, or finds this user's live object
// of `kind` that holds the name (a stale one is removed and the name tried
// again). ERROR_SUCCESS: `fd`'s object has the name, which this process now
// removes when done (RememberSharedName); ERROR_ALREADY_EXISTS: `existing`
// is a writable descriptor of the live object and `header` its header;
// ERROR_ACCESS_DENIED: the name holds an object this user may not trust;
// ERROR_NOT_ENOUGH_MEMORY for anything else. `fd` stays open in every case.
DWORD PublishOrJoin(int fd, const std::string& posixName, SharedKind kind, int& existing, SharedHeader& header);

// Removes the name when it still names the object judged Stale (not one made
// meanwhile under the same name).
void RemoveStaleObject(const std::string& posixName);

// Removes every stale object of this user, once per process.
void SweepStaleObjects();

}  // namespace fgp
