#include "registry_text.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fgreg {

namespace {

struct TypeRow {
  const char* name;
  DWORD type;
};
constexpr TypeRow kTypes[] = {{"REG_SZ", REG_SZ},         {"REG_EXPAND_SZ", REG_EXPAND_SZ},
                              {"REG_MULTI_SZ", REG_MULTI_SZ}, {"REG_DWORD", REG_DWORD},
                              {"REG_QWORD", REG_QWORD},   {"REG_BINARY", REG_BINARY},
                              {"REG_NONE", REG_NONE}};

std::string Bytes(const std::u16string& s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

std::u16string Units(const std::string& bytes) {
  std::u16string s(bytes.size() / 2, u'\0');
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

// Decimal, or hexadecimal after 0x; a leading zero is not octal.
std::optional<uint64_t> ParseNumber(const std::string& text, uint64_t max) {
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* digits = text.c_str() + (hex ? 2 : 0);
  if (!std::isxdigit(static_cast<unsigned char>(*digits))) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(digits, &end, hex ? 16 : 10);
  if (errno != 0 || *end != '\0' || v > max) return std::nullopt;
  return v;
}

std::string Hex(const std::string& bytes, const char* separator) {
  std::string out;
  char two[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(bytes[i]));
    if (i > 0) out += separator;
    out += two;
  }
  return out;
}

// Text without its terminator (when there is one).
std::u16string StoredText(const std::string& bytes) {
  std::u16string s = Units(bytes);
  if (!s.empty() && s.back() == 0) s.pop_back();
  return s;
}

}  // namespace

std::u16string Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::u16string& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::optional<DWORD> TypeFromName(const std::string& name) {
  for (const TypeRow& row : kTypes)
    if (_stricmp(row.name, name.c_str()) == 0) return row.type;
  return std::nullopt;
}

std::string TypeName(DWORD type) {
  for (const TypeRow& row : kTypes)
    if (row.type == type) return row.name;
  return "REG_TYPE_" + std::to_string(type);
}

std::optional<std::string> ParseData(DWORD type, const std::string& text) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return Bytes(Widen(text) + u'\0');
    case REG_MULTI_SZ: {
      // Strings separated by the two characters \0, as the usual tool takes them.
      std::u16string block;
      std::string rest = text;
      for (size_t at; (at = rest.find("\\0")) != std::string::npos; rest.erase(0, at + 2))
        block += Widen(rest.substr(0, at)) + u'\0';
      if (!rest.empty()) block += Widen(rest) + u'\0';
      block += u'\0';
      return Bytes(block);
    }
    case REG_DWORD: {
      auto v = ParseNumber(text, 0xFFFFFFFFull);
      if (!v) return std::nullopt;
      DWORD d = static_cast<DWORD>(*v);
      return std::string(reinterpret_cast<const char*>(&d), 4);
    }
    case REG_QWORD: {
      auto v = ParseNumber(text, UINT64_MAX);
      if (!v) return std::nullopt;
      return std::string(reinterpret_cast<const char*>(&*v), 8);
    }
    case REG_BINARY:
    case REG_NONE: {
      if (text.size() % 2 != 0) return std::nullopt;
      std::string out;
      for (size_t i = 0; i < text.size(); i += 2) {
        char pair[3] = {text[i], text[i + 1], 0};
        char* end = nullptr;
        long b = std::strtol(pair, &end, 16);
        if (*end != '\0' || !std::isxdigit(static_cast<unsigned char>(pair[0]))) return std::nullopt;
        out.push_back(static_cast<char>(b));
      }
      return out;
    }
    default:
      return std::nullopt;
  }
}

std::string ShowData(DWORD type, const std::string& bytes, const std::string& separator) {
  char buf[32];
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return Narrow(StoredText(bytes));
    case REG_MULTI_SZ: {
      std::u16string s = Units(bytes);
      while (!s.empty() && s.back() == 0) s.pop_back();
      std::string out;
      size_t start = 0;
      for (size_t end; (end = s.find(u'\0', start)) != std::u16string::npos; start = end + 1)
        out += Narrow(s.substr(start, end - start)) + separator;
      return out + Narrow(s.substr(start));
    }
    case REG_DWORD:
      if (bytes.size() != 4) break;
      DWORD d;
      std::memcpy(&d, bytes.data(), 4);
      std::snprintf(buf, sizeof buf, "0x%x", d);
      return buf;
    case REG_QWORD:
      if (bytes.size() != 8) break;
      uint64_t q;
      std::memcpy(&q, bytes.data(), 8);
      std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(q));
      return buf;
    default:
      break;
  }
  return Hex(bytes, "");
}

}  // namespace fgreg
