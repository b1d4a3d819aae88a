// The registry as the registry tool walks it: key names with their roots,
// the values and subkeys of a key, a depth-first walk, and the message for
// a failed call.
#pragma once

#include <string>
#include <vector>

#include "fgplatform/win32.h"

namespace fgreg {

// Splits "HKCR\\a\\b" (a root's short or long name, then the path) into
// the root, the root's long name and the subkey path.
bool ParseKey(const std::string& text, HKEY& root, std::string& rootName, std::u16string& path);
std::string FullName(const std::string& rootName, const std::u16string& path);

struct Value {
  std::u16string name;
  DWORD type;
  std::string bytes;
};

// The values and the subkey names of an open key, in their order.
LSTATUS ReadValues(HKEY key, std::vector<Value>& out);
LSTATUS ReadSubkeys(HKEY key, std::vector<std::u16string>& out);

// Prints "fgreg: WHAT: reason (error N)" and answers exit status 1.
int Fail(const std::string& what, LSTATUS status);

// Asks `question` at the terminal and answers whether the user said yes.
// Off a terminal nothing is asked: `refusal` is printed (after "fgreg: ")
// and the answer is no.
bool AskYes(const std::string& question, const std::string& refusal);

// Runs `work`, which answers an exit status, as one registry batch: its
// changes are kept only when it answers 0, and then all of them; another
// process sees none of them before. A store that cannot begin a batch is
// left to `work`, whose calls then report the store's error themselves.
template <class Work>
int AllOrNothing(Work work) {
  bool batched = FgRegistryBeginBatch(TRUE) == ERROR_SUCCESS;
  int status = work();
  if (!batched) return status;
  LSTATUS kept = FgRegistryEndBatch(status == 0 ? TRUE : FALSE);
  if (status == 0 && kept != ERROR_SUCCESS) return Fail("the changes could not be kept; none were made", kept);
  return status;
}

// Whether a key vanished under a walk: another process deleted it.
inline bool IsGone(LSTATUS rc) { return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_KEY_DELETED; }

// Visits the key `name` of `parent` (at `path`) and, when `recursive`,
// every key beneath it, depth first. Each key is opened from its parent's
// handle, so a walk costs one open a key, however deep the tree. A subkey
// that is deleted while the walk runs is skipped; the top key must be there.
template <class Visit>
LSTATUS WalkFrom(HKEY parent, const std::u16string& name, const std::u16string& path, bool recursive, bool top,
                 Visit& visit) {
  HKEY key = nullptr;
  LSTATUS rc = RegOpenKeyExW(parent, name.empty() ? nullptr : name.c_str(), 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) return !top && IsGone(rc) ? ERROR_SUCCESS : rc;
  std::vector<Value> values;
  std::vector<std::u16string> subkeys;
  rc = ReadValues(key, values);
  if (rc == ERROR_SUCCESS) rc = ReadSubkeys(key, subkeys);
  if (rc == ERROR_SUCCESS) visit(path, values, subkeys);
  for (size_t i = 0; rc == ERROR_SUCCESS && recursive && i < subkeys.size(); ++i)
    rc = WalkFrom(key, subkeys[i], path.empty() ? subkeys[i] : path + u"\\" + subkeys[i], /*recursive=*/true,
                  /*top=*/false, visit);
  RegCloseKey(key);
  return !top && IsGone(rc) ? ERROR_SUCCESS : rc;
}

template <class Visit>
LSTATUS Walk(HKEY root, const std::u16string& path, bool recursive, Visit visit) {
  return WalkFrom(root, path, path, recursive, /*top=*/true, visit);
}

// Runs `work`, which only reads, on one snapshot of the store: each of its
// calls sees the store as it was when it began, and a walk of many keys
// costs one transaction instead of one a call. Without a snapshot (a store
// that cannot begin one) `work` runs all the same.
template <class Work>
int OnSnapshot(Work work) {
  bool batched = FgRegistryBeginBatch(FALSE) == ERROR_SUCCESS;
  int status = work();
  if (batched) (void)FgRegistryEndBatch(FALSE);
  return status;
}

}  // namespace fgreg
