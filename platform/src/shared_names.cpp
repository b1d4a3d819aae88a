#include "shared_names.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include "fgplatform/kernel.h"

namespace fgp {

namespace {

struct CreatedNames {
  std::mutex lock;
  std::map<std::string, pid_t> names;  // and the process that made each
};

CreatedNames& Created() {
  static auto* created = new CreatedNames;  // used until the very end
  return *created;
}

void RemoveAllAtExit() {
  CreatedNames& c = Created();
  std::lock_guard<std::mutex> guard(c.lock);
  for (const auto& [name, creator] : c.names)
    if (creator == getpid()) shm_unlink(name.c_str());
  c.names.clear();
}

}  // namespace

bool PosixSharedName(LPCSTR name, const char* kind, std::string& out) {
  if (name == nullptr || *name == 0) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  std::string text(name);
  if (text.size() > kMaxSharedName) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  for (char& c : text)
    if (c == '/' || c == '\\') c = '_';
  out = "/fg." + std::to_string(getuid()) + "." + kind + text;
  return true;
}

void RememberSharedName(const std::string& posixName) {
  static bool registered = (std::atexit(RemoveAllAtExit), true);
  (void)registered;
  CreatedNames& c = Created();
  std::lock_guard<std::mutex> guard(c.lock);
  c.names[posixName] = getpid();
}

void ForgetSharedName(const std::string& posixName) {
  CreatedNames& c = Created();
  std::lock_guard<std::mutex> guard(c.lock);
  auto it = c.names.find(posixName);
  if (it == c.names.end()) return;
  if (it->second == getpid()) shm_unlink(posixName.c_str());
  c.names.erase(it);
}

}  // namespace fgp
