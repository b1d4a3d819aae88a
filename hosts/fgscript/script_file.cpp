#include "script_file.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "fgplatform/win32.h"

namespace fgscript {

namespace {

constexpr UINT kWestern = 1252;

bool StartsWith(const std::string& bytes, const char* mark, size_t n) {
  return bytes.size() >= n && std::memcmp(bytes.data(), mark, n) == 0;
}

bool Utf16ToUtf8(const char16_t* units, size_t count, std::string& text) {
  glong written = 0;
  gchar* narrow = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(units), static_cast<glong>(count), nullptr,
                                  &written, nullptr);
  if (narrow == nullptr) return false;
  text.assign(narrow, static_cast<size_t>(written));
  g_free(narrow);
  return true;
}

bool DecodeUtf16(const std::string& bytes, bool bigEndian, std::string& text) {
  if (bytes.size() % 2 != 0) return false;
  std::vector<char16_t> units((bytes.size() - 2) / 2);
  for (size_t i = 0; i < units.size(); ++i) {
    auto hi = static_cast<unsigned char>(bytes[2 + 2 * i + (bigEndian ? 0 : 1)]);
    auto lo = static_cast<unsigned char>(bytes[2 + 2 * i + (bigEndian ? 1 : 0)]);
    units[i] = static_cast<char16_t>(hi << 8 | lo);
  }
  return Utf16ToUtf8(units.data(), units.size(), text);
}

bool DecodeCodePage(const std::string& bytes, UINT codePage, std::string& text) {
  if (bytes.empty()) return true;
  if (bytes.size() > static_cast<size_t>(INT_MAX)) return false;
  int length = static_cast<int>(bytes.size());
  int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (units <= 0) return false;
  std::vector<char16_t> wide(static_cast<size_t>(units));
  if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, wide.data(), units) != units)
    return false;
  return Utf16ToUtf8(wide.data(), wide.size(), text);
}

}  // namespace

bool DecodeScript(const std::string& bytes, std::string& text, std::string& error) {
  bool ok;
  if (StartsWith(bytes, "\xFF\xFE", 2)) {
    ok = DecodeUtf16(bytes, /*bigEndian=*/false, text);
  } else if (StartsWith(bytes, "\xFE\xFF", 2)) {
    ok = DecodeUtf16(bytes, /*bigEndian=*/true, text);
  } else if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) {
    ok = g_utf8_validate_len(bytes.data() + 3, bytes.size() - 3, nullptr);
    if (ok) text = bytes.substr(3);
  } else if (g_utf8_validate_len(bytes.data(), bytes.size(), nullptr)) {
    text = bytes;
    ok = true;
  } else {
    UINT ansi = GetACP();
    ok = DecodeCodePage(bytes, ansi == CP_UTF8 ? kWestern : ansi, text);
  }
  if (!ok) error = "cannot be decoded as text";
  return ok;
}

bool ReadScriptFile(const std::string& path, std::string& text, std::string& error) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = std::string("cannot read: ") + std::strerror(errno);
    return false;
  }
  struct stat st {};
  std::string bytes;
  bool ok = fstat(fd, &st) == 0;
  if (!ok) error = std::string("cannot read: ") + std::strerror(errno);
  if (ok && !S_ISREG(st.st_mode)) {
    error = S_ISDIR(st.st_mode) ? "cannot read: it is a folder" : "cannot read: it is not a regular file";
    ok = false;
  }
  if (ok && static_cast<unsigned long long>(st.st_size) > kMaxScriptBytes) {
    error = "is larger than " + std::to_string(kMaxScriptBytes) + " bytes";
    ok = false;
  }
  // Read to the end (the file may have grown since fstat), within the bound.
  char buffer[65536];
  while (ok) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::string("cannot read: ") + std::strerror(errno);
      ok = false;
    } else if (n == 0) {
      break;
    } else if (bytes.size() + static_cast<size_t>(n) > kMaxScriptBytes) {
      error = "is larger than " + std::to_string(kMaxScriptBytes) + " bytes";
      ok = false;
    } else {
      bytes.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  return ok && DecodeScript(bytes, text, error);
}

}  // namespace fgscript
