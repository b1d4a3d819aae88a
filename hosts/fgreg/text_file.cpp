#include "text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "fgplatform/win32.h"

namespace fgreg {

bool ReadFileBytes(const std::string& file, size_t maxBytes, std::string& bytes, std::string& why) {
  // Non-blocking, so that opening a FIFO nobody writes does not hang.
  int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    why = "cannot read " + file + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    why = file + " is not a regular file";
    return false;
  }
  bytes.clear();
  char chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = "cannot read " + file + ": " + std::strerror(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<size_t>(n) > maxBytes) {
      why = file + " is larger than " + std::to_string(maxBytes) + " bytes";
      close(fd);
      return false;
    }
    bytes.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

bool DecodeText(const std::string& raw, std::u16string& text) {
  text.clear();
  bool little = raw.size() >= 2 && raw[0] == '\xFF' && raw[1] == '\xFE';
  bool big = raw.size() >= 2 && raw[0] == '\xFE' && raw[1] == '\xFF';
  if (little || big) {
    size_t low = little ? 0 : 1;  // where the low byte of each unit is
    for (size_t i = 2; i + 1 < raw.size(); i += 2)
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(raw[i + low]) |
                                           (static_cast<unsigned char>(raw[i + 1 - low]) << 8)));
    return true;
  }
  UINT codePage = CP_THREAD_ACP;
  size_t start = 0;
  if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    start = 3;
    codePage = CP_UTF8;
  }
  if (start == raw.size()) return true;
  int length = static_cast<int>(raw.size() - start);
  text.resize(raw.size() - start);
  int chars = MultiByteToWideChar(codePage, 0, raw.data() + start, length, text.data(), static_cast<int>(text.size()));
  if (chars == 0) return false;
  text.resize(static_cast<size_t>(chars));
  return true;
}

}  // namespace fgreg
