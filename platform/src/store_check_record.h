// The record that a store's file was checked whole and found sound, so that
// a process opening a store nobody changed since need not read all of it
// again.
//
// The record, "<store>-checked" beside the store, holds the file's
// identity: device, inode, size, and the times of its last modification
// and of its last status change. Any write to the file, by any program,
// changes the times, so an equal identity means the same contents. Two
// writes within one tick of the file system's clock may leave the times
// equal, so a file changed less than two seconds ago is never recorded
// ("too recent to tell"): after that, every later write gives it a later
// time.
//
// The record speaks only of the store's main file. The caller trusts it
// only while its read transaction sees nothing but that file (the log's
// shared header counts no frames), and the store's folder is the user's
// own, so whoever could forge the record could rewrite the store as well.
#pragma once

#include <string>

namespace fgp::reg {

// True when the record beside `storePath` names the file as it is now.
bool CheckedRecordMatches(const std::string& storePath);

// Records that the file as it is now was checked whole; does nothing when
// it changed too recently to tell, and fails silently (a missing record
// only costs the next process a check).
void RecordChecked(const std::string& storePath);

}  // namespace fgp::reg
