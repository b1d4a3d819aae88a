#include "reg_file_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <vector>

#include "reg_file.h"
#include "registry_text.h"
#include "registry_tree.h"
#include "text_file.h"

namespace fgreg {

namespace {

bool WriteAll(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A regular file (or a new one) is written beside itself and renamed over,
// so that a failure leaves the old file; anything else (a device, a pipe)
// is written in place.
bool WriteFile(const std::string& file, const std::string& bytes) {
  struct stat st {};
  bool exists = stat(file.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    int fd = open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes);
    return close(fd) == 0 && ok;
  }
  std::string temporary = file + ".fgreg-XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  mode_t mask = umask(0);
  umask(mask);
  bool ok = fchmod(fd, exists ? st.st_mode & 07777 : 0666 & ~mask) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temporary.c_str(), file.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

// Carries out one entry; `key` is the key the last Key entry opened.
LSTATUS Apply(const RegFileEntry& e, HKEY& key) {
  if (e.kind == RegFileEntry::Kind::Value)
    return RegSetValueExW(key, e.name.c_str(), 0, e.type, reinterpret_cast<const BYTE*>(e.bytes.data()),
                          static_cast<DWORD>(e.bytes.size()));
  // Deleting what is not there is no failure, as with the usual editor.
  if (e.kind == RegFileEntry::Kind::DeleteValue) {
    LSTATUS rc = RegDeleteValueW(key, e.name.c_str());
    return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
  }
  HKEY root = nullptr;
  std::string rootName;
  std::u16string path;
  if (!ParseKey(Narrow(e.key), root, rootName, path)) return ERROR_BAD_PATHNAME;
  if (e.kind == RegFileEntry::Kind::DeleteKey) {
    if (path.empty()) return ERROR_ACCESS_DENIED;  // a root stays
    LSTATUS rc = RegDeleteTreeW(root, path.c_str());
    return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
  }
  if (key != nullptr) RegCloseKey(key);
  key = nullptr;
  return RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
}

}  // namespace

int ExportTree(HKEY root, const std::string& rootName, const std::u16string& path, const std::string& keyText,
               const std::string& file, bool overwrite) {
  RegFileWriter writer;
  LSTATUS rc = Walk(root, path, /*recursive=*/true,
                    [&](const std::u16string& at, const std::vector<Value>& values, const std::vector<std::u16string>&) {
                      writer.Key(Widen(FullName(rootName, at)));
                      for (const Value& v : values) writer.Value(v.name, v.type, v.bytes);
                    });
  if (rc != ERROR_SUCCESS) return Fail("cannot read " + keyText, rc);
  if (!overwrite && access(file.c_str(), F_OK) == 0 &&
      !AskYes("File " + file + " already exists. Overwrite it (y/n)?",
              file + " exists; add /y to overwrite it when not asked at a terminal"))
    return 1;
  if (!WriteFile(file, writer.FileBytes())) {
    std::cerr << "fgreg: cannot write " << file << ": " << std::strerror(errno) << "\n";
    return 1;
  }
  std::cout << "The operation completed successfully.\n";
  return 0;
}

int ImportFile(const std::string& file) {
  std::string bytes, why;
  if (!ReadFileBytes(file, kMaxRegFileBytes, bytes, why)) {
    std::cerr << "fgreg: " << why << "\n";
    return 1;
  }
  std::u16string text;
  std::vector<RegFileEntry> entries;
  if (!DecodeText(bytes, text)) why = "the text cannot be converted";
  if (why.empty() && ParseRegFile(text, entries, why)) why.clear();
  if (!why.empty()) {
    std::cerr << "fgreg: " << file << " " << why << "; nothing was imported\n";
    return 1;
  }
  HKEY key = nullptr;
  for (const RegFileEntry& e : entries) {
    LSTATUS rc = Apply(e, key);
    if (rc == ERROR_SUCCESS) continue;
    if (key != nullptr) RegCloseKey(key);
    return Fail(file + " line " + std::to_string(e.line) + ": cannot import " + Narrow(e.key), rc);
  }
  if (key != nullptr) RegCloseKey(key);
  std::cout << "The operation completed successfully.\n";
  return 0;
}

}  // namespace fgreg
